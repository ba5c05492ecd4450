#include "pattern/Pattern.h"

#include <re2/re2.h>

namespace mivora {

namespace {
RE2::Options ByteOptions() {
  RE2::Options options;
  options.set_encoding(RE2::Options::EncodingLatin1);
  options.set_log_errors(false);
  options.set_dot_nl(false);
  return options;
}
}  // namespace

Pattern::Pattern(std::string_view expression)
    : regex_(std::make_unique<re2::RE2>(re2::StringPiece(expression.data(), expression.size()),
                                        ByteOptions())) {}
Pattern::~Pattern() = default;
Pattern::Pattern(Pattern&&) noexcept = default;
Pattern& Pattern::operator=(Pattern&&) noexcept = default;

bool Pattern::ok() const { return regex_ && regex_->ok(); }

std::optional<PatternMatch> Pattern::Find(std::string_view text) const {
  if (!ok()) return std::nullopt;
  re2::StringPiece input(text.data(), text.size());
  re2::StringPiece match;
  if (!regex_->Match(input, 0, input.size(), RE2::UNANCHORED, &match, 1)) return std::nullopt;
  return PatternMatch{static_cast<size_t>(match.data() - input.data()), match.size()};
}

std::string_view Pattern::FindText(std::string_view text) const {
  auto match = Find(text);
  return match ? text.substr(match->start, match->length) : std::string_view{};
}

std::optional<PatternMatch> FindPattern(std::string_view expression, std::string_view text) {
  return Pattern(expression).Find(text);
}

}  // namespace mivora
