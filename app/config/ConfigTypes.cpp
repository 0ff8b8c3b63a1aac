#include "app/config/ConfigTypes.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <sstream>
#include <vector>

namespace tarnix {

namespace {

std::string_view TrimAscii(std::string_view text) {
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && isSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool ParseInt(std::string_view text, int& value) {
  text = TrimAscii(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 10);
  return ec == std::errc() && end == text.data() + text.size();
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

[[noreturn]] void ThrowConvert(std::string_view text, const char* kind, std::string_view path) {
  throw EConvertError("'" + std::string(text) + "' is not a valid " + kind + " value at " + std::string(path));
}

}  // namespace

std::string NodePath(pugi::xml_node node) {
  std::vector<std::string> names;
  for (pugi::xml_node n = node; n && n.type() == pugi::node_element; n = n.parent()) names.emplace_back(n.name());
  std::string path;
  for (auto it = names.rbegin(); it != names.rend(); ++it) {
    if (!path.empty()) path += '/';
    path += *it;
  }
  return path;
}

std::string NodeXml(pugi::xml_node node) {
  std::ostringstream out;
  node.print(out, "", pugi::format_raw, pugi::encoding_utf8);
  return out.str();
}

int ParseConfigInt(std::string_view text, std::string_view path) {
  int value = 0;
  if (!ParseInt(text, value)) ThrowConvert(text, "integer", path);
  return value;
}

bool ParseConfigBool(std::string_view text, std::string_view path) {
  const std::string_view trimmed = TrimAscii(text);
  if (EqualsNoCase(trimmed, "true")) return true;
  if (EqualsNoCase(trimmed, "false")) return false;
  int value = 0;
  if (!ParseInt(trimmed, value)) ThrowConvert(text, "boolean", path);
  return value != 0;
}

const char* ConfigBoolText(bool value) { return value ? "True" : "False"; }

std::string TXMLNode::Path() const {
  std::scoped_lock lock(ConfigLock());
  return NodePath(node_);
}

std::string TXMLNode::Xml() const {
  std::scoped_lock lock(ConfigLock());
  return NodeXml(node_);
}

pugi::xml_node TXMLNode::Child(const char* name) const {
  pugi::xml_node child = node_.child(name);
  if (!child) child = Node().append_child(name);
  return child;
}

std::string TXMLNode::GetText(const char* name) const {
  std::scoped_lock lock(ConfigLock());
  return Child(name).text().get();
}

void TXMLNode::SetText(const char* name, std::string_view value) const {
  std::scoped_lock lock(ConfigLock());
  Child(name).text().set(std::string(value).c_str());
}

int TXMLNode::GetInt(const char* name) const {
  std::scoped_lock lock(ConfigLock());
  const pugi::xml_node child = Child(name);
  return ParseConfigInt(child.text().get(), NodePath(child));
}

void TXMLNode::SetInt(const char* name, int value) const {
  std::scoped_lock lock(ConfigLock());
  Child(name).text().set(std::to_string(value).c_str());
}

bool TXMLNode::GetBool(const char* name) const {
  std::scoped_lock lock(ConfigLock());
  const pugi::xml_node child = Child(name);
  return ParseConfigBool(child.text().get(), NodePath(child));
}

void TXMLNode::SetBool(const char* name, bool value) const {
  std::scoped_lock lock(ConfigLock());
  Child(name).text().set(ConfigBoolText(value));
}

int TXMLNode::GetIntAttribute(const char* name) const {
  std::scoped_lock lock(ConfigLock());
  return ParseConfigInt(node_.attribute(name).value(), NodePath(node_) + "/@" + name);
}

void TXMLNode::SetIntAttribute(const char* name, int value) const {
  std::scoped_lock lock(ConfigLock());
  pugi::xml_attribute attribute = node_.attribute(name);
  if (!attribute) attribute = Node().append_attribute(name);
  attribute.set_value(std::to_string(value).c_str());
}

int TXMLMemberListType::Count() const {
  std::scoped_lock lock(ConfigLock());
  int count = 0;
  for ([[maybe_unused]] pugi::xml_node member : node_.children("member")) ++count;
  return count;
}

TXMLMemberType TXMLMemberListType::Item(int index) const {
  std::scoped_lock lock(ConfigLock());
  int i = 0;
  if (index >= 0) {
    for (pugi::xml_node member : node_.children("member")) {
      if (i++ == index) return TXMLMemberType(doc_, member);
    }
  }
  throw std::out_of_range("member index " + std::to_string(index) + " out of range (count " +
                          std::to_string(Count()) + ")");
}

TXMLMemberType TXMLMemberListType::Add() const {
  std::scoped_lock lock(ConfigLock());
  return TXMLMemberType(doc_, Node().append_child("member"));
}

TXMLMemberType TXMLMemberListType::Insert(int index) const {
  std::scoped_lock lock(ConfigLock());
  if (index == Count()) return Add();
  const pugi::xml_node before = Item(index).Node();
  return TXMLMemberType(doc_, Node().insert_child_before("member", before));
}

void TXMLMemberListType::Delete(int index) const {
  std::scoped_lock lock(ConfigLock());
  Node().remove_child(Item(index).Node());
}

bool TXMLMemberListType::Remove(const TXMLMemberType& member) const {
  std::scoped_lock lock(ConfigLock());
  const pugi::xml_node node = member.Node();
  if (!node || node.parent() != node_ || std::string_view(node.name()) != "member") return false;
  return Node().remove_child(node);
}

void TXMLMemberListType::Clear() const {
  std::scoped_lock lock(ConfigLock());
  while (pugi::xml_node member = node_.child("member")) Node().remove_child(member);
}

TXMLConfigType::TXMLConfigType(std::shared_ptr<TConfigDocument> doc) {
  std::scoped_lock lock(doc->Lock());
  pugi::xml_node root = doc->Xml().document_element();
  if (!root) {
    root = doc->Xml().append_child("config");
  } else if (std::string_view(root.name()) != "config") {
    throw std::invalid_argument(std::string("root element is '") + root.name() + "', not 'config'");
  }
  node_ = root;
  doc_ = std::move(doc);
}

}  // namespace tarnix
