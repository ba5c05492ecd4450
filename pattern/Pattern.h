#pragma once
// Regular-expression search over 8-bit text: the leftmost match with its
// start and length. Patterns are compiled once and may be shared by threads.
//
// Supported (and used): literals, "\d", "\.", bracket classes with ranges and
// "\d" inside, "+", "{n}" and "{n,}". Text is treated as bytes, so any input,
// valid UTF-8 or not, can be searched.

#include <memory>
#include <optional>
#include <string_view>

namespace re2 {
class RE2;
}

namespace mivora {

struct PatternMatch {
  size_t start = 0;
  size_t length = 0;
};

class Pattern {
 public:
  explicit Pattern(std::string_view expression);
  ~Pattern();
  Pattern(Pattern&&) noexcept;
  Pattern& operator=(Pattern&&) noexcept;

  // False when the expression did not compile; such a pattern matches nothing.
  bool ok() const;
  std::optional<PatternMatch> Find(std::string_view text) const;
  // The matched text itself, or empty when there is no match.
  std::string_view FindText(std::string_view text) const;

 private:
  std::unique_ptr<re2::RE2> regex_;
};

// One-shot search.
std::optional<PatternMatch> FindPattern(std::string_view expression, std::string_view text);

}  // namespace mivora
