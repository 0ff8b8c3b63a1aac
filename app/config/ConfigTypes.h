#pragma once
// Typed access to the configuration document (root "config").
//
// TConfigDocument owns the parsed XML (pugixml) and its lock. The accessor
// classes are small handles over one element each; they share ownership of
// the document, so a handle never outlives the tree it points into (a handle
// to an element that was deleted from the tree must not be used).
//
// Naming: every scalar child element <x> has GetX()/SetX(value) with only the
// first letter of the element name capitalised (<packettype> gives
// GetPackettype/SetPackettype); child elements with a class of their own are
// reached with GetX() as well (GetServer(), GetMainform()).
// Types: integers are decimal int; booleans read "True"/"False" in any case or
// an integer (0 false, anything else true) and are written "True"/"False";
// text is UTF-8. Surrounding ASCII white space is ignored when converting.
// Getting an element that does not exist creates it empty. Getting an integer
// or boolean from empty or malformed text raises EConvertError naming the
// element path and the text.
//
// Threads: the main thread owns the document; connection threads read a few
// values and may write a member's key. Every accessor call takes the
// document's recursive lock, so single calls are safe from any thread. A
// sequence that must see one consistent state (find a member, then read its
// key), and any direct use of Node() or of pugixml, must hold ConfigLock()
// itself for the whole sequence.
#include <filesystem>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>

#include <pugixml.hpp>

namespace tarnix {

// A value in the document that cannot be converted to its type.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TConfigDocument {
 public:
  TConfigDocument() = default;
  TConfigDocument(const TConfigDocument&) = delete;
  TConfigDocument& operator=(const TConfigDocument&) = delete;

  // The tree; guarded by Lock().
  pugi::xml_document& Xml() { return xml_; }
  std::recursive_mutex& Lock() { return mutex_; }
  // The file SaveConfig(config) writes; empty for a document not bound to one.
  const std::filesystem::path& File() const { return file_; }
  void SetFile(std::filesystem::path file) { file_ = std::move(file); }

 private:
  std::recursive_mutex mutex_;
  pugi::xml_document xml_;      // guarded by mutex_
  std::filesystem::path file_;  // set once, before the document is shared
};

// "a/b/c" from the root element down to node.
std::string NodePath(pugi::xml_node node);
// The node's subtree as XML text, without declaration or indentation.
std::string NodeXml(pugi::xml_node node);
// The conversions of the accessors; path only names the value in the error.
int ParseConfigInt(std::string_view text, std::string_view path);
bool ParseConfigBool(std::string_view text, std::string_view path);
const char* ConfigBoolText(bool value);  // "True" / "False"

// Base of the accessors: one element of a shared document.
class TXMLNode {
 public:
  TXMLNode() = default;
  TXMLNode(std::shared_ptr<TConfigDocument> doc, pugi::xml_node node) : doc_(std::move(doc)), node_(node) {}

  bool IsNull() const { return !doc_ || !node_; }
  // The element itself, for code that handles XML the accessors do not know
  // (plugin settings). Hold ConfigLock() while using it.
  pugi::xml_node Node() const { return node_; }
  const std::shared_ptr<TConfigDocument>& Document() const { return doc_; }
  std::recursive_mutex& ConfigLock() const { return doc_->Lock(); }
  std::string Path() const;
  std::string Xml() const;

 protected:
  pugi::xml_node Child(const char* name) const;  // created when missing
  std::string GetText(const char* name) const;
  void SetText(const char* name, std::string_view value) const;
  int GetInt(const char* name) const;
  void SetInt(const char* name, int value) const;
  bool GetBool(const char* name) const;
  void SetBool(const char* name, bool value) const;
  // Attributes: a missing one reads as empty text (a conversion error).
  int GetIntAttribute(const char* name) const;
  void SetIntAttribute(const char* name, int value) const;
  template <class T>
  T ChildAs(const char* name) const {
    std::scoped_lock lock(ConfigLock());
    return T(doc_, Child(name));
  }

  std::shared_ptr<TConfigDocument> doc_;
  pugi::xml_node node_;
};

// memberList/member
class TXMLMemberType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
  std::string GetName() const { return GetText("name"); }
  void SetName(std::string_view v) const { SetText("name", v); }
  std::string GetAuth() const { return GetText("auth"); }
  void SetAuth(std::string_view v) const { SetText("auth", v); }
  int GetPort() const { return GetInt("port"); }
  void SetPort(int v) const { SetInt("port", v); }
  std::string GetAddr() const { return GetText("addr"); }
  void SetAddr(std::string_view v) const { SetText("addr", v); }
  std::string GetDispname() const { return GetText("dispname"); }
  void SetDispname(std::string_view v) const { SetText("dispname", v); }
  bool GetAnonymous() const { return GetBool("anonymous"); }
  void SetAnonymous(bool v) const { SetBool("anonymous", v); }
};

// config/memberList: the "member" children in document order. Other children
// are ignored by the index. Index errors raise std::out_of_range.
class TXMLMemberListType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
  int Count() const;
  TXMLMemberType Item(int index) const;
  // A new, empty member element at the end / before Item(index) (index ==
  // Count() appends). The caller fills in the fields.
  TXMLMemberType Add() const;
  TXMLMemberType Insert(int index) const;
  void Delete(int index) const;
  // Removes the element itself when it is one of this list's members.
  bool Remove(const TXMLMemberType& member) const;
  void Clear() const;
};

class TXMLServerType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
  int GetPort() const { return GetInt("port"); }
  void SetPort(int v) const { SetInt("port", v); }
  bool GetUpnp() const { return GetBool("upnp"); }
  void SetUpnp(bool v) const { SetBool("upnp", v); }
};

class TXMLSenderType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
  int GetPackettype() const { return GetInt("packettype"); }
  void SetPackettype(int v) const { SetInt("packettype", v); }
  int GetBuffersize() const { return GetInt("buffersize"); }
  void SetBuffersize(int v) const { SetInt("buffersize", v); }
  int GetMaxsendcount() const { return GetInt("maxsendcount"); }
  void SetMaxsendcount(int v) const { SetInt("maxsendcount", v); }
};

class TXMLReceiverType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
  bool GetSound() const { return GetBool("sound"); }
  void SetSound(bool v) const { SetBool("sound", v); }
};

class TXMLRegistationType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
  std::string GetName() const { return GetText("name"); }
  void SetName(std::string_view v) const { SetText("name", v); }
  std::string GetPass() const { return GetText("pass"); }
  void SetPass(std::string_view v) const { SetText("pass", v); }
  bool GetEnabled() const { return GetBool("enabled"); }
  void SetEnabled(bool v) const { SetBool("enabled", v); }
};

class TXMLProfileType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
  std::string GetDispname() const { return GetText("dispname"); }
  void SetDispname(std::string_view v) const { SetText("dispname", v); }
  bool GetConfigured() const { return GetBool("configured"); }
  void SetConfigured(bool v) const { SetBool("configured", v); }
};

// setting/plugin: one child per plugin module, named after it, holding
// whatever XML that plugin stored. No typed children: use Node() under
// ConfigLock(); a plugin's element is replaced whole.
class TXMLPluginType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
};

class TXMLSettingType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
  TXMLServerType GetServer() const { return ChildAs<TXMLServerType>("server"); }
  TXMLSenderType GetSender() const { return ChildAs<TXMLSenderType>("sender"); }
  TXMLReceiverType GetReceiver() const { return ChildAs<TXMLReceiverType>("receiver"); }
  TXMLRegistationType GetRegistation() const { return ChildAs<TXMLRegistationType>("registation"); }
  TXMLProfileType GetProfile() const { return ChildAs<TXMLProfileType>("profile"); }
  TXMLPluginType GetPlugin() const { return ChildAs<TXMLPluginType>("plugin"); }
};

// syscon/mainform: the window geometry as the attributes left, top, width, height.
class TXMLMainformType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
  int GetLeft() const { return GetIntAttribute("left"); }
  void SetLeft(int v) const { SetIntAttribute("left", v); }
  int GetTop() const { return GetIntAttribute("top"); }
  void SetTop(int v) const { SetIntAttribute("top", v); }
  int GetWidth() const { return GetIntAttribute("width"); }
  void SetWidth(int v) const { SetIntAttribute("width", v); }
  int GetHeight() const { return GetIntAttribute("height"); }
  void SetHeight(int v) const { SetIntAttribute("height", v); }
};

class TXMLSysconType : public TXMLNode {
 public:
  using TXMLNode::TXMLNode;
  int GetLaunchnum() const { return GetInt("launchnum"); }
  void SetLaunchnum(int v) const { SetInt("launchnum", v); }
  TXMLMainformType GetMainform() const { return ChildAs<TXMLMainformType>("mainform"); }
  bool GetWinstart() const { return GetBool("winstart"); }
  void SetWinstart(bool v) const { SetBool("winstart", v); }
  bool GetVercheck() const { return GetBool("vercheck"); }
  void SetVercheck(bool v) const { SetBool("vercheck", v); }
  bool GetAutohide() const { return GetBool("autohide"); }
  void SetAutohide(bool v) const { SetBool("autohide", v); }
  bool GetTaskbutton() const { return GetBool("taskbutton"); }
  void SetTaskbutton(bool v) const { SetBool("taskbutton", v); }
  std::string GetLanguage() const { return GetText("language"); }
  void SetLanguage(std::string_view v) const { SetText("language", v); }
  bool GetShowonstart() const { return GetBool("showonstart"); }
  void SetShowonstart(bool v) const { SetBool("showonstart", v); }
};

// The root element "config": the bound document. Copies share the document.
class TXMLConfigType : public TXMLNode {
 public:
  TXMLConfigType() = default;
  // Binds doc's root element, which must be "config" (created when the
  // document has no root; std::invalid_argument for another root name).
  explicit TXMLConfigType(std::shared_ptr<TConfigDocument> doc);

  TXMLMemberListType GetMemberList() const { return ChildAs<TXMLMemberListType>("memberList"); }
  TXMLSettingType GetSetting() const { return ChildAs<TXMLSettingType>("setting"); }
  TXMLSysconType GetSyscon() const { return ChildAs<TXMLSysconType>("syscon"); }
};

}  // namespace tarnix
