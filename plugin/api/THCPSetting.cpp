#include "plugin/api/THCPSetting.h"

#include <mutex>
#include <string>

#include "app/config/hcConfig.h"
#include "core/bus/ExceptionText.h"
#include "transport/log/Log.h"

namespace tarnix {
namespace {

// The text a plugin's settings are parsed from. The declaration names the
// encoding the settings were written in; here 8-bit text is UTF-8 and the
// parser is told so.
constexpr std::string_view kSettingHeader = "<?xml version=\"1.0\" encoding=\"shift-jis\" ?>\r\n";

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

// A well-formed document has exactly one element at its top (the parser
// itself accepts fragments).
bool IsSingleRoot(const pugi::xml_document& document) {
  int elements = 0;
  for (const pugi::xml_node node : document.children()) {
    if (node.type() == pugi::node_element) ++elements;
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) return false;
  }
  return elements == 1;
}

}  // namespace

bool IsElementName(std::string_view name) {
  if (name.empty() || !IsNameStart(static_cast<unsigned char>(name.front()))) return false;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (!IsNameStart(c) && !(c >= '0' && c <= '9') && c != '-' && c != '.') return false;
  }
  return true;
}

HCPtr<IHCPSetting> THCPSetting::Create(std::shared_ptr<const THCHandlerContext> context) {
  if (!context || context->config.IsNull()) return nullptr;
  return HCPtr<IHCPSetting>::Adopt(new THCPSetting(std::move(context)));
}

HCRESULT THCPSetting::SetSetting(const char* moduleName, HCBSTR xml) {
  if (moduleName == nullptr) return HCPE_INTERNAL_ERROR;
  try {
    std::string text(kSettingHeader);
    text += BstrToUtf8(xml);
    text += "\r\n";
    pugi::xml_document parsed;
    const pugi::xml_parse_result result =
        parsed.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
    const pugi::xml_node root = parsed.document_element();
    if (!result || !root || !IsSingleRoot(parsed)) {
      WriteLog(std::string("SetSetting: the settings of ") + moduleName +
               " do not parse: " + (result ? "not one root element" : result.description()));
      return HCPE_INTERNAL_ERROR;
    }
    const TXMLPluginType plugins = context_->config.GetSetting().GetPlugin();
    {
      std::scoped_lock lock(plugins.ConfigLock());
      pugi::xml_node element = plugins.Node();
      if (pugi::xml_node old = element.child(moduleName)) element.remove_child(old);
      if (!element.append_copy(root)) return HCPE_INTERNAL_ERROR;
    }
    SaveConfig(context_->config);
    return HCPE_ALLRIGHT;
  } catch (...) {
    const ExceptionText e = DescribeCurrentException();
    WriteLog(std::string("SetSetting failed: ") + moduleName + ", " + e.className + " - " +
             e.message);
    return HCPE_INTERNAL_ERROR;
  }
}

HCBSTR THCPSetting::GetSetting(const char* moduleName) {
  if (moduleName == nullptr || !IsElementName(moduleName)) return nullptr;
  try {
    const TXMLPluginType plugins = context_->config.GetSetting().GetPlugin();
    std::scoped_lock lock(plugins.ConfigLock());
    pugi::xml_node element = plugins.Node();
    pugi::xml_node child = element.child(moduleName);
    if (!child) child = element.append_child(moduleName);
    return TBstr::FromUtf8(NodeXml(child)).Detach();
  } catch (...) {
    return nullptr;
  }
}

HCBSTR THCPSetting::Language() {
  try {
    return TBstr::FromUtf8(context_->config.GetSyscon().GetLanguage()).Detach();
  } catch (...) {
    return nullptr;
  }
}

int32_t THCPSetting::MaxSendCount() {
  try {
    return context_->config.GetSetting().GetSender().GetMaxsendcount();
  } catch (...) {
    return 0;
  }
}

}  // namespace tarnix
