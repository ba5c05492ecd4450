#pragma once
// Element and attribute access to profile files, and saving them in the
// layout the line reader (Profile.h) depends on.
//
// Loading: no DTD processing at all. A document with a document type
// declaration is refused, entities other than the five predefined ones and
// character references are never expanded, and files larger than
// kMaxXmlFileBytes are refused, so no file can make loading slow or large.
//
// Saving writes, whatever the document held before:
//   <?xml ...?>                 the declaration, on its own line
//   <Root ...>                  the root start tag, on its own line
//       <Child a="1" b="2"/>    each child element of the root on its own line,
//                               attributes in their order, new ones last
//   </Root>                     alone on the last line, then a line feed
// Attribute values are escaped so that a value never holds a raw double quote
// or line break, keeping every element on one line.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tinyxml2 {
class XMLDocument;
class XMLElement;
}  // namespace tinyxml2

namespace mivora {

inline constexpr uint64_t kMaxXmlFileBytes = 16u << 20;

// A handle to one element, or the empty handle on which every operation does
// nothing and every read yields its default. Valid while its document lives.
class XmlNode {
 public:
  XmlNode() = default;
  explicit XmlNode(tinyxml2::XMLElement* element) : element_(element) {}

  bool IsEmpty() const { return element_ == nullptr; }
  explicit operator bool() const { return !IsEmpty(); }

  // First child element whose local name (the part after any prefix) equals
  // `name`. When there is none and `create` is set, a new empty element is
  // appended as the last child; a name that is not a valid XML name is never
  // created.
  XmlNode SelectChild(std::string_view name, bool create);
  // The value, or `fallback` when the attribute is missing or empty.
  std::string GetAttribute(std::string_view name, std::string_view fallback) const;
  // Leading decimal number of the value (0 when it starts with none), or
  // `fallback` when the attribute is missing or empty.
  int32_t GetIntAttribute(std::string_view name, int32_t fallback) const;
  // Creates or replaces the attribute; false on an empty handle or an invalid name.
  bool SetAttribute(std::string_view name, std::string_view value);
  void SetIntAttribute(std::string_view name, int32_t value);
  // Appends a text node as the last child.
  void AppendText(std::string_view text);

  // Tree reading: name, child elements in document order, attributes in
  // document order.
  std::string Name() const;
  std::vector<XmlNode> ChildElements() const;
  std::vector<std::pair<std::string, std::string>> Attributes() const;

 private:
  tinyxml2::XMLElement* element_ = nullptr;
};

class XmlDocument {
 public:
  XmlDocument();
  ~XmlDocument();
  XmlDocument(const XmlDocument&) = delete;
  XmlDocument& operator=(const XmlDocument&) = delete;

  // Parses the file; true when it parsed. An empty path loads nothing. The
  // path is remembered for Save.
  bool Load(std::string_view path);
  // The same over text in memory (no path is remembered).
  bool LoadText(std::string_view text);
  // The root element; empty when nothing is loaded.
  XmlNode Root() const;
  // Writes the document (to the remembered path when `path` is empty)
  // through a temporary file that replaces the old one only when complete.
  // False when nothing is loaded or the file cannot be written.
  bool Save(std::string_view path = {});
  // The text Save writes.
  std::string SaveText() const;
  // Why the last Load or Save failed.
  const std::string& Error() const { return error_; }

 private:
  std::unique_ptr<tinyxml2::XMLDocument> document_;
  bool loaded_ = false;
  std::string path_;
  std::string error_;
};

}  // namespace mivora
