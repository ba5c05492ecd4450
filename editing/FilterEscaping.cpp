#include "editing/FilterEscaping.h"

namespace mivora {
namespace {

// Characters that would end a segment, an option, a quote or a label, or that
// the Windows splitting rules treat specially, plus the escape itself.
bool NeedsPercent(unsigned char c, bool isPath) {
  if (c < 0x20 || c == 0x7F) return true;
  switch (c) {
    case '%': case '"': case '\'': case ',': case ';': case '[': case ']':
      return true;
    case ':': case '\\':
      return !isPath;  // paths use '#' and '$' for these
    case '#': case '$':
      return isPath;   // so that '#' and '$' in a path stay unambiguous
    default:
      return false;
  }
}

std::string Encode(std::string_view text, bool isPath) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (NeedsPercent(c, isPath)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else if (isPath && c == ':') {
      out += '#';
    } else if (isPath && c == '\\') {
      out += '$';
    } else {
      out += ch;
    }
  }
  return out;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string Decode(std::string_view text, bool isPath) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out += static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      i += 2;
    } else if (isPath && c == '#') {
      out += ':';
    } else if (isPath && c == '$') {
      out += '\\';
    } else {
      out += c;  // a lone '%' from an older writer stays as it is
    }
  }
  return out;
}

}  // namespace

std::string EncodeFilterText(std::string_view text) { return Encode(text, false); }
std::string EscapeFilterPath(std::string_view path) { return Encode(path, true); }
std::string DecodeFilterText(std::string_view encoded) { return Decode(encoded, false); }
std::string UnescapeFilterPath(std::string_view escaped) { return Decode(escaped, true); }

}  // namespace mivora
