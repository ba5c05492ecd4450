#include "profiles/XmlDocument.h"

#include <cstdio>
#include <tinyxml2.h>

#include "common/Log.h"
#include "common/ReplaceFile.h"
#include "profiles/Profile.h"

namespace mivora {
namespace {

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}
bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}
bool IsXmlName(std::string_view name) {
  if (name.empty() || !IsNameStart(name[0])) return false;
  for (unsigned char c : name)
    if (!IsNameChar(c)) return false;
  return true;
}

std::string_view LocalName(std::string_view name) {
  size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

// Escapes what would end a value or a line; '>' and apostrophes stay as they
// are, so the line reader sees the same text as the document reader.
void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      case '\t': out += "&#9;"; break;
      default: out += c;
    }
  }
}

bool IsBlankText(std::string_view text) {
  return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// True when the text after the last line feed holds only blanks.
bool CurrentLineIsBlank(const std::string& out) {
  size_t feed = out.rfind('\n');
  std::string_view line = feed == std::string::npos ? std::string_view(out)
                                                    : std::string_view(out).substr(feed + 1);
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

void AppendStartTag(std::string& out, const tinyxml2::XMLElement& element) {
  out += '<';
  out += element.Name();
  for (auto* a = element.FirstAttribute(); a != nullptr; a = a->Next()) {
    out += ' ';
    out += a->Name();
    out += "=\"";
    AppendEscaped(out, a->Value());
    out += '"';
  }
}

// An element and everything inside it, on the current line.
void AppendElement(std::string& out, const tinyxml2::XMLElement& element) {
  AppendStartTag(out, element);
  // Declarations and other unknown nodes are not written, so an element
  // holding nothing else is written as an empty element.
  std::string content;
  for (auto* node = element.FirstChild(); node != nullptr; node = node->NextSibling()) {
    if (auto* child = node->ToElement()) AppendElement(content, *child);
    else if (auto* text = node->ToText()) AppendEscaped(content, text->Value());
    else if (auto* comment = node->ToComment()) content += std::string("<!--") + comment->Value() + "-->";
  }
  if (content.empty()) {
    out += "/>";
    return;
  }
  out += '>';
  out += content;
  out += "</";
  out += element.Name();
  out += '>';
}

bool ReadWholeFile(const std::string& path, std::string* text, std::string* error) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) {
    *error = "cannot open " + path;
    return false;
  }
  text->clear();
  char chunk[1 << 16];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
    if (text->size() + got > kMaxXmlFileBytes) {
      *error = "larger than " + std::to_string(kMaxXmlFileBytes) + " bytes: " + path;
      return false;
    }
    text->append(chunk, got);
  }
  if (std::ferror(file.get())) {
    *error = "cannot read " + path;
    return false;
  }
  return true;
}

}  // namespace

// ---- XmlNode ------------------------------------------------------------------

XmlNode XmlNode::SelectChild(std::string_view name, bool create) {
  if (!element_) return {};
  for (auto* child = element_->FirstChildElement(); child; child = child->NextSiblingElement())
    if (LocalName(child->Name()) == name) return XmlNode(child);
  if (!create || !IsXmlName(name)) return {};
  auto* added = element_->GetDocument()->NewElement(std::string(name).c_str());
  element_->InsertEndChild(added);
  return XmlNode(added);
}

std::string XmlNode::GetAttribute(std::string_view name, std::string_view fallback) const {
  const char* value = element_ ? element_->Attribute(std::string(name).c_str()) : nullptr;
  if (value == nullptr || *value == '\0') return std::string(fallback);
  return value;
}

int32_t XmlNode::GetIntAttribute(std::string_view name, int32_t fallback) const {
  const char* value = element_ ? element_->Attribute(std::string(name).c_str()) : nullptr;
  if (value == nullptr || *value == '\0') return fallback;
  return LeadingInteger(value);
}

bool XmlNode::SetAttribute(std::string_view name, std::string_view value) {
  if (!element_ || !IsXmlName(name)) return false;
  element_->SetAttribute(std::string(name).c_str(), std::string(value).c_str());
  return true;
}

void XmlNode::SetIntAttribute(std::string_view name, int32_t value) {
  SetAttribute(name, std::to_string(value));
}

void XmlNode::AppendText(std::string_view text) {
  if (!element_) return;
  element_->InsertEndChild(element_->GetDocument()->NewText(std::string(text).c_str()));
}

std::string XmlNode::Name() const { return element_ ? element_->Name() : ""; }

std::vector<XmlNode> XmlNode::ChildElements() const {
  std::vector<XmlNode> children;
  if (!element_) return children;
  for (auto* child = element_->FirstChildElement(); child; child = child->NextSiblingElement())
    children.emplace_back(child);
  return children;
}

std::vector<std::pair<std::string, std::string>> XmlNode::Attributes() const {
  std::vector<std::pair<std::string, std::string>> attributes;
  if (!element_) return attributes;
  for (auto* a = element_->FirstAttribute(); a; a = a->Next())
    attributes.emplace_back(a->Name(), a->Value());
  return attributes;
}

// ---- XmlDocument --------------------------------------------------------------

XmlDocument::XmlDocument()
    : document_(std::make_unique<tinyxml2::XMLDocument>(true, tinyxml2::PRESERVE_WHITESPACE)) {}

XmlDocument::~XmlDocument() = default;

bool XmlDocument::Load(std::string_view path) {
  loaded_ = false;
  path_ = path;
  if (path.empty()) {
    error_ = "no path";
    return false;
  }
  std::string text;
  if (!ReadWholeFile(path_, &text, &error_) || !LoadText(text)) {
    MLOG("XmlDocument::Load, %s", error_.c_str());
    return false;
  }
  return true;
}

bool XmlDocument::LoadText(std::string_view text) {
  loaded_ = false;
  document_->Clear();
  if (document_->Parse(text.data(), text.size()) != tinyxml2::XML_SUCCESS) {
    error_ = std::string("not well-formed: ") + document_->ErrorStr();
    return false;
  }
  int roots = 0;
  for (auto* node = document_->FirstChild(); node; node = node->NextSibling()) {
    if (node->ToElement() && ++roots > 1) {
      error_ = "more than one root element";
      document_->Clear();
      return false;
    }
    auto* unknown = node->ToUnknown();
    if (unknown && std::string_view(unknown->Value()).starts_with("DOCTYPE")) {
      error_ = "document type declarations are not accepted";
      document_->Clear();
      return false;
    }
  }
  if (document_->RootElement() == nullptr) {
    error_ = "no root element";
    return false;
  }
  error_.clear();
  loaded_ = true;
  return true;
}

XmlNode XmlDocument::Root() const {
  return loaded_ ? XmlNode(document_->RootElement()) : XmlNode();
}

std::string XmlDocument::SaveText() const {
  if (!loaded_) return {};
  std::string out;
  const tinyxml2::XMLDeclaration* declaration = nullptr;
  for (auto* node = document_->FirstChild(); node && !declaration; node = node->NextSibling())
    declaration = node->ToDeclaration();
  out += declaration ? std::string("<?") + declaration->Value() + "?>"
                     : std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  out += '\n';
  const tinyxml2::XMLElement& root = *document_->RootElement();
  AppendStartTag(out, root);
  out += ">\n";
  for (auto* node = root.FirstChild(); node; node = node->NextSibling()) {
    if (auto* text = node->ToText()) {
      std::string_view value = text->Value();
      if (IsBlankText(value)) {
        // Layout only. Skipped on a line that is still blank, so that layout
        // text appended after every write never piles up into blank lines.
        if (CurrentLineIsBlank(out)) continue;
        for (char c : value)
          if (c != '\r') out += c;
      } else {
        // Stray text beside the elements: kept, without the blanks around it,
        // so that saving again gives the same file.
        size_t first = value.find_first_not_of(" \t\r\n");
        size_t last = value.find_last_not_of(" \t\r\n");
        AppendEscaped(out, value.substr(first, last - first + 1));
      }
      continue;
    }
    auto* element = node->ToElement();
    auto* comment = node->ToComment();
    if (!element && !comment) continue;
    if (!CurrentLineIsBlank(out)) out += '\n';
    if (out.back() == '\n') out += "    ";
    if (element) AppendElement(out, *element);
    else out += std::string("<!--") + comment->Value() + "-->";
  }
  if (CurrentLineIsBlank(out)) out.erase(out.rfind('\n') + 1);
  else out += '\n';
  out += "</";
  out += root.Name();
  out += ">\n";
  return out;
}

bool XmlDocument::Save(std::string_view path) {
  if (!loaded_) {
    error_ = "nothing loaded";
    return false;
  }
  std::string target = path.empty() ? path_ : std::string(path);
  if (target.empty()) {
    error_ = "no path";
    return false;
  }
  // A profile keeps the mode its owner gave it.
  if (!ReplaceFile(target, SaveText(), ReplacedFileMode::kKeep)) {
    error_ = "cannot write " + target;
    MLOG("XmlDocument::Save, %s", error_.c_str());
    return false;
  }
  return true;
}

}  // namespace mivora
