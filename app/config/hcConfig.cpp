#include "app/config/hcConfig.h"

#include <fstream>
#include <iterator>
#include <mutex>
#include <sstream>
#include <vector>

#include "app/config/AtomicFile.h"
#include "app/config/XMLMarge.h"
#include "transport/crypto/CryptUtils.h"

namespace tarnix {

namespace {

// "雪解け水路" in Shift_JIS: 90E1 (雪) 89F0 (解) 82AF (け) 9085 (水) 9848 (路).
constexpr char kConfigKey[] = {'\x90', '\xE1', '\x89', '\xF0', '\x82', '\xAF', '\x90', '\x85', '\x98', '\x48'};

constexpr std::string_view kDefaultConfig = R"XML(
<?xml version="1.0" encoding="utf-8" ?>
<config>
  <memberList/>
  <setting>
    <server>
      <port>8007</port>
      <upnp>0</upnp>
    </server>
    <sender>
      <packettype>0</packettype>
      <buffersize>32767</buffersize>
      <maxsendcount>3</maxsendcount>
    </sender>
    <receiver>
      <sound>0</sound>
    </receiver>
    <registation>
      <name></name>
      <pass></pass>
      <enabled>0</enabled>
    </registation>
    <profile>
      <dispname></dispname>
      <configured>0</configured>
    </profile>
    <plugin></plugin>
  </setting>
  <syscon>
    <launchnum>0</launchnum>
    <mainform left="70" top="100" width="225" height="300"></mainform>
    <winstart>0</winstart>
    <vercheck>1</vercheck>
    <autohide>0</autohide>
    <taskbutton>0</taskbutton>
    <language>japanese</language>
    <showonstart>1</showonstart>
  </syscon>
</config>
)XML";

// Comments and processing instructions are kept so hand edits survive a
// save. Line ends are left as they are (no parse_eol): the writer puts a
// carriage return in text out as is, and a value must read back unchanged.
// A whitespace-only text is kept when it is an element's whole content.
constexpr unsigned kParseOptions = (pugi::parse_default & ~pugi::parse_eol) | pugi::parse_declaration |
                                   pugi::parse_comments | pugi::parse_pi | pugi::parse_ws_pcdata_single |
                                   pugi::parse_fragment;

bool IsBlank(std::string_view text) { return text.find_first_not_of(" \t\r\n") == std::string_view::npos; }

// pugixml accepts fragments; a configuration is exactly one element with
// nothing but markup and white space around it.
void CheckSingleRoot(const pugi::xml_document& xml) {
  int elements = 0;
  for (pugi::xml_node node : xml.children()) {
    switch (node.type()) {
      case pugi::node_element:
        ++elements;
        break;
      case pugi::node_pcdata:
      case pugi::node_cdata:
        if (!IsBlank(node.value())) throw EConfigError("not well-formed XML (text outside the root element)");
        break;
      default:
        break;
    }
  }
  if (elements > 1) throw EConfigError("not well-formed XML (more than one root element)");
}

// White space between elements is layout; the writer lays the tree out
// anew and the reader drops such text where it has element siblings. Dropping
// it before writing keeps a saved file reading back as the same tree.
void DropLayoutText(pugi::xml_node root) {
  std::vector<pugi::xml_node> pending{root};
  while (!pending.empty()) {
    pugi::xml_node node = pending.back();
    pending.pop_back();
    bool hasElement = false;
    for (pugi::xml_node child : node.children()) {
      if (child.type() == pugi::node_element) {
        hasElement = true;
        pending.push_back(child);
      }
    }
    if (!hasElement) continue;
    for (pugi::xml_node child = node.first_child(); child;) {
      const pugi::xml_node next = child.next_sibling();
      if (child.type() == pugi::node_pcdata && IsBlank(child.value())) node.remove_child(child);
      child = next;
    }
  }
}

// Version "1.0", encoding "utf-8", as the first node.
void SetDeclaration(pugi::xml_document& xml) {
  pugi::xml_node declaration = xml.first_child();
  if (declaration.type() != pugi::node_declaration) {
    for (pugi::xml_node node : xml.children()) {
      if (node.type() == pugi::node_declaration) {
        xml.remove_child(node);
        break;
      }
    }
    declaration = xml.prepend_child(pugi::node_declaration);
  }
  for (const char* name : {"version", "encoding"}) {
    if (!declaration.attribute(name)) declaration.append_attribute(name);
  }
  declaration.attribute("version").set_value("1.0");
  declaration.attribute("encoding").set_value("utf-8");
}

// Only the program marks entries anonymous, always with a valid value; a
// missing or unreadable flag belongs to a stored member, which is kept.
bool IsAnonymous(pugi::xml_node member) {
  const pugi::xml_node flag = member.child("anonymous");
  if (!flag) return false;
  try {
    return ParseConfigBool(flag.text().get(), NodePath(flag));
  } catch (const EConvertError&) {
    return false;
  }
}

std::string Describe(const ConfigFile& file, const std::string& cause) {
  return "config file " + file.path.string() + ": " + cause;
}

}  // namespace

ConfigFile ConfigFile::ForProgramFolder(const std::filesystem::path& programFolder) {
  return ConfigFile{programFolder / "config" / "config.dat"};
}

std::string_view ConfigKeyText() { return std::string_view(kConfigKey, sizeof(kConfigKey)); }

std::string EncryptText(std::string_view plain, std::string_view key) { return BlowfishCbcEncrypt(plain, key); }

std::string DecryptText(std::string_view cipher, std::string_view key) { return BlowfishCbcDecrypt(cipher, key); }

std::string DefaultConfigText() {
  std::string_view text = kDefaultConfig;
  const size_t first = text.find_first_not_of(" \t\r\n");
  const size_t last = text.find_last_not_of(" \t\r\n");
  return std::string(text.substr(first, last - first + 1));
}

TXMLConfigType ParseConfigText(std::string_view text) {
  auto doc = std::make_shared<TConfigDocument>();
  pugi::xml_document& xml = doc->Xml();
  if (!IsBlank(text)) {
    const pugi::xml_parse_result result =
        xml.load_buffer(text.data(), text.size(), kParseOptions, pugi::encoding_auto);
    if (!result) {
      throw EConfigError(std::string("not well-formed XML (") + result.description() + " at offset " +
                         std::to_string(result.offset) + ")");
    }
    CheckSingleRoot(xml);
    if (!xml.document_element()) throw EConfigError("not well-formed XML (no root element)");
  }
  SetDeclaration(xml);
  try {
    return TXMLConfigType(std::move(doc));
  } catch (const std::invalid_argument& e) {
    throw EConfigError(e.what());
  }
}

namespace {

std::string ReadFileBytes(const ConfigFile& file) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file.path, ec);
  if (ec) throw EConfigError(Describe(file, "cannot read: " + ec.message()));
  if (size > kMaxConfigFileSize) throw EConfigError(Describe(file, "too large (" + std::to_string(size) + " bytes)"));
  std::ifstream in(file.path, std::ios::binary);
  if (!in) throw EConfigError(Describe(file, "cannot open"));
  std::string bytes;
  bytes.reserve(static_cast<size_t>(size));
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  if (in.bad() || bytes.size() > kMaxConfigFileSize) throw EConfigError(Describe(file, "cannot read"));
  return bytes;
}

std::string DecryptFileBytes(std::string_view bytes) {
  try {
    return DecryptText(bytes, ConfigKeyText());
  } catch (const std::exception& e) {
    throw EConfigError(e.what());
  }
}

// Steps shared by every load: the user's text parsed, the default merged
// under it, stored members marked not anonymous.
TXMLConfigType BuildConfig(std::string_view text) {
  const TXMLConfigType defaults = ParseConfigText(DefaultConfigText());
  TXMLConfigType config = ParseConfigText(text);
  MergeNode(defaults.Node(), config.Node(), false, true);
  // Anonymous entries live only in memory; a stored one is a plain member.
  for (pugi::xml_node member : config.GetMemberList().Node().children("member")) {
    TXMLMemberType(config.Document(), member).SetAnonymous(false);
  }
  return config;
}

}  // namespace

std::string ReadConfigFileText(const ConfigFile& file) {
  const std::string bytes = ReadFileBytes(file);
  try {
    return DecryptFileBytes(bytes);
  } catch (const EConfigError& e) {
    throw EConfigError(Describe(file, e.what()));
  }
}

TXMLConfigType ConfigFromFileBytes(std::string_view bytes) { return BuildConfig(DecryptFileBytes(bytes)); }

std::string ConfigText(const TXMLConfigType& config) {
  std::scoped_lock lock(config.ConfigLock());
  pugi::xml_document& xml = config.Document()->Xml();
  SetDeclaration(xml);
  DropLayoutText(xml.document_element());
  std::ostringstream out;
  xml.save(out, "  ", pugi::format_indent, pugi::encoding_utf8);
  return out.str();
}

TXMLConfigType LoadConfig(const ConfigFile& file) {
  std::error_code ec;
  const bool exists = std::filesystem::exists(file.path, ec);
  if (ec) throw EConfigError(Describe(file, "cannot read: " + ec.message()));
  TXMLConfigType config;
  if (exists) {
    const std::string bytes = ReadFileBytes(file);
    try {
      config = ConfigFromFileBytes(bytes);
    } catch (const EConfigError& e) {
      throw EConfigError(Describe(file, e.what()));
    }
  } else {
    config = BuildConfig(DefaultConfigText());
  }
  config.Document()->SetFile(file.path);
  return config;
}

void SaveConfig(const TXMLConfigType& config) {
  const std::filesystem::path& path = config.Document()->File();
  if (path.empty()) throw EConfigError("config file: the document is bound to no file");
  SaveConfig(config, ConfigFile{path});
}

void SaveConfig(const TXMLConfigType& config, const ConfigFile& file) {
  std::string cipher;
  {
    std::scoped_lock lock(config.ConfigLock());
    pugi::xml_node members = config.Node().child("memberList");
    for (pugi::xml_node member = members.last_child(); member;) {
      const pugi::xml_node previous = member.previous_sibling();
      if (std::string_view(member.name()) == "member" && IsAnonymous(member)) members.remove_child(member);
      member = previous;
    }
    cipher = EncryptText(ConfigText(config), ConfigKeyText());
  }
  try {
    WriteFileAtomically(file.path, cipher);
  } catch (const EFileWriteError& e) {
    throw EConfigError(e.what());
  }
}

}  // namespace tarnix
