#include "plugin/system/THCPluginSystem.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <optional>
#include <stdexcept>

#include "core/members/MemberList.h"
#include "transport/log/Log.h"
#include "transport/wire/WireFormat.h"

namespace tarnix {
namespace {

std::atomic<THCPluginSystem*> gSystemPlugin{nullptr};

// Results of the services besides the HCPE codes.
constexpr intptr_t kFailed = HC_E_FAIL;             // 0x80004005
constexpr intptr_t kUnexpected = HC_E_UNEXPECTED;   // 0x8000FFFF
constexpr intptr_t kInvalidHandle = HC_E_HANDLE;    // 0x80070006
constexpr intptr_t kInvalidArg = HCPE_INVALID_ARG;  // 0x80070057

const char* Text(intptr_t pointer) {
  return reinterpret_cast<const char*>(pointer);
}

// An icon value: 0, or a pointer to the UTF-8 path of an image file.
std::string IconPath(intptr_t icon) {
  return icon != 0 ? std::string(Text(icon)) : std::string();
}

const THCSystemEnvironment* Environment() {
  const THCPluginSystem* system = SystemPlugin();
  return system != nullptr ? &system->Environment() : nullptr;
}

THCMemberList* Members() {
  const THCSystemEnvironment* environment = Environment();
  return environment != nullptr && environment->host ? environment->host->members : nullptr;
}

IHCSystemUi* Ui() {
  const THCSystemEnvironment* environment = Environment();
  return environment != nullptr ? environment->ui : nullptr;
}

// Deletes a member that failed to come up, together with its element.
void DeleteMember(THCMemberList& members, const THCMemberPtr& member) {
  if (!member) return;
  try {
    const int index = members.IndexOf(member.get());
    if (index >= 0) members.Delete(index, true);
  } catch (...) {
  }
}

// The node registry's reply to query, or nullopt.
std::optional<std::string> FetchNodeRegistry(const std::string& query) {
  const THCSystemEnvironment* environment = Environment();
  if (environment == nullptr || !environment->http || !environment->host) return std::nullopt;
  const auto& serviceUrl = environment->host->ports.serviceUrl;
  if (!serviceUrl) return std::nullopt;
  return environment->http->HttpGet(NodeRegistryUrl(serviceUrl()) + query, kNodeRegistryAgent);
}

}  // namespace

// The fifteen services. Each catches its own failures and answers the value
// of its contract.
struct TSystemServices {
  static intptr_t HCCALL AddAnonymous(intptr_t wParam, intptr_t) {
    THCMemberList* members = Members();
    if (members == nullptr || wParam == 0) return kUnexpected;
    const std::string name = Text(wParam);
    THCMemberPtr member;
    try {
      if (members->FindByName(name)) return kFailed;
      member = members->AddAnonymous();
      const TXMLMemberType& entry = member->Node();
      entry.SetName(name);
      entry.SetDispname(name);
      entry.SetAnonymous(true);
      const auto& getMemberAddress = Environment()->host->ports.getMemberAddress;
      if (getMemberAddress) getMemberAddress(*member);
      member->Connect();
      return 0;
    } catch (...) {
      DeleteMember(*members, member);
      return kUnexpected;
    }
  }

  static intptr_t HCCALL DeleteAnonymous(intptr_t wParam, intptr_t) {
    THCMemberList* members = Members();
    if (members == nullptr || wParam < INT32_MIN || wParam > INT32_MAX) return kInvalidArg;
    try {
      const int index = members->IndexOfUserID(static_cast<int32_t>(wParam));
      if (index < 0) return kInvalidArg;
      const THCMemberPtr member = members->Get(index);
      if (!member || !member->Anonymous()) return kFailed;
      members->Delete(index, true);
      return 0;
    } catch (...) {
      return kUnexpected;
    }
  }

  static intptr_t HCCALL ConnectAsAnonymous(intptr_t wParam, intptr_t lParam) {
    THCMemberList* members = Members();
    if (members == nullptr || wParam == 0 || lParam < INT32_MIN || lParam > INT32_MAX) return 0;
    THCMemberPtr member;
    try {
      member = members->AddAnonymous();
      const TXMLMemberType& entry = member->Node();
      entry.SetName(kAnonymousKey);
      entry.SetDispname("");
      entry.SetAnonymous(true);
      // Straight to the member, not through its element.
      member->SetAddress(Text(wParam));
      member->SetPort(static_cast<int32_t>(lParam));
      member->Connect();
      return member->UserID();
    } catch (...) {
      DeleteMember(*members, member);
      return 0;
    }
  }

  static intptr_t HCCALL GetNodeList(intptr_t wParam, intptr_t lParam) {
    if (wParam == 0 || lParam < 0) return 0;
    try {
      const std::optional<std::string> reply = FetchNodeRegistry("?job=get");
      if (!reply) return 0;
      // The buffer holds lParam characters and a NUL.
      const size_t copied = std::min<size_t>(reply->size(), static_cast<size_t>(lParam));
      char* const buffer = reinterpret_cast<char*>(wParam);
      std::memcpy(buffer, reply->data(), copied);
      buffer[copied] = '\0';
      return static_cast<intptr_t>(std::min<size_t>(reply->size(), INT32_MAX));
    } catch (...) {
      return 0;
    }
  }

  static intptr_t HCCALL RegisterNode(intptr_t wParam, intptr_t) {
    if (wParam == 0) return kUnexpected;
    try {
      const THCSystemEnvironment* environment = Environment();
      if (environment == nullptr || !environment->host) return kUnexpected;
      const int port = environment->host->config.GetSetting().GetServer().GetPort();
      const std::string query = "?job=reg&" + std::string("hash=") +
                                EscapeQueryValue(Text(wParam)) + "&port=" + std::to_string(port) +
                                "&ver=" + std::to_string(kRevisionCode);
      return FetchNodeRegistry(query) ? 0 : kUnexpected;
    } catch (...) {
      return kUnexpected;
    }
  }

  static intptr_t HCCALL UnRegisterNode(intptr_t wParam, intptr_t) {
    if (wParam == 0) return kUnexpected;
    try {
      return FetchNodeRegistry("?job=unreg&hash=" + EscapeQueryValue(Text(wParam))) ? 0
                                                                                    : kUnexpected;
    } catch (...) {
      return kUnexpected;
    }
  }

  static intptr_t HCCALL ProcessMessages(intptr_t, intptr_t) {
    try {
      if (IHCSystemUi* ui = Ui()) ui->ProcessMessages();
    } catch (...) {
    }
    return 0;
  }

  static intptr_t HCCALL ToolMenuAdd(intptr_t wParam, intptr_t lParam) {
    IHCSystemUi* ui = Ui();
    if (ui == nullptr || wParam == 0 || lParam == 0) return 0;
    try {
      const auto* record = reinterpret_cast<const THCToolMenuRecord*>(wParam);
      const std::string caption = record->Caption != nullptr ? record->Caption : "";
      return ui->AddToolButton(caption, IconPath(record->Icon), reinterpret_cast<HCProc>(lParam));
    } catch (...) {
      return 0;
    }
  }

  static intptr_t HCCALL ToolMenuDel(intptr_t wParam, intptr_t) {
    IHCSystemUi* ui = Ui();
    try {
      return ui != nullptr && wParam != 0 && ui->DeleteToolButton(wParam) ? 0 : kInvalidHandle;
    } catch (...) {
      return kInvalidHandle;
    }
  }

  static intptr_t HCCALL MemberMenuAdd(intptr_t wParam, intptr_t) {
    IHCSystemUi* ui = Ui();
    if (ui == nullptr || wParam == 0) return 0;
    try {
      return ui->AddMemberMenu(reinterpret_cast<HCProc>(wParam)) ? wParam : 0;
    } catch (...) {
      return 0;
    }
  }

  static intptr_t HCCALL MemberMenuDel(intptr_t wParam, intptr_t) {
    IHCSystemUi* ui = Ui();
    try {
      return ui != nullptr && wParam != 0 && ui->DeleteMemberMenu(reinterpret_cast<HCProc>(wParam))
                 ? 0
                 : kInvalidHandle;
    } catch (...) {
      return kInvalidHandle;
    }
  }

  static intptr_t HCCALL ContainerAdd(intptr_t wParam, intptr_t lParam) {
    IHCSystemUi* ui = Ui();
    if (ui == nullptr || lParam == 0) return 0;
    try {
      return ui->AddContainer(IconPath(wParam), reinterpret_cast<HCProc>(lParam));
    } catch (...) {
      return 0;
    }
  }

  static intptr_t HCCALL ContainerDel(intptr_t wParam, intptr_t) {
    IHCSystemUi* ui = Ui();
    try {
      return ui != nullptr && wParam != 0 && ui->DeleteContainer(wParam) ? 0 : kInvalidHandle;
    } catch (...) {
      return kInvalidHandle;
    }
  }

  static intptr_t HCCALL SettingPageAdd(intptr_t wParam, intptr_t lParam) {
    THCPluginSystem* system = SystemPlugin();
    if (system == nullptr || lParam == 0) return 0;
    try {
      auto page = std::make_unique<THCSettingPage>();
      page->Caption = wParam != 0 ? Text(wParam) : "";
      page->Proc = reinterpret_cast<HCProc>(lParam);
      THCSettingPage* const handle = page.get();
      system->settingPages_.push_back(std::move(page));
      return reinterpret_cast<intptr_t>(handle);
    } catch (...) {
      return 0;
    }
  }

  static intptr_t HCCALL SettingPageDel(intptr_t wParam, intptr_t) {
    THCPluginSystem* system = SystemPlugin();
    if (system == nullptr) return 0;
    auto& pages = system->settingPages_;
    // Handles are compared, never followed.
    const auto it = std::find_if(pages.begin(), pages.end(), [wParam](const auto& page) {
      return reinterpret_cast<intptr_t>(page.get()) == wParam;
    });
    if (it == pages.end()) return kInvalidHandle;
    pages.erase(it);
    return 0;
  }
};

THCPluginSystem::THCPluginSystem(THCSystemEnvironment environment)
    : environment_(std::move(environment)) {
  SetInfo(HCPI_NAME, "system");
  SetInfo(HCPI_CAPTION, "システム");
  SetInfo(HCPI_DESCRIPTION, "システムモジュール");
  SetInfo(HCPI_AUTHOR, "quenmarsh");
  SetInfo(HCPI_VERSION, "0.4");
  THCPluginSystem* expected = nullptr;
  gSystemPlugin.compare_exchange_strong(expected, this, std::memory_order_acq_rel);
}

THCPluginSystem::~THCPluginSystem() {
  THCPluginSystem* expected = this;
  gSystemPlugin.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

void THCPluginSystem::OnInitialize() {
  settingPages_.clear();
  services_.clear();
  const std::pair<const char*, HCProc> services[] = {
      {"system/AddAnonymous", &TSystemServices::AddAnonymous},
      {"system/DeleteAnonymous", &TSystemServices::DeleteAnonymous},
      {"system/ConncectAsAnonymous", &TSystemServices::ConnectAsAnonymous},
      {"system/GetNodeList", &TSystemServices::GetNodeList},
      {"system/RegisterNode", &TSystemServices::RegisterNode},
      {"system/UnRegisterNode", &TSystemServices::UnRegisterNode},
      {"system/ProcessMessages", &TSystemServices::ProcessMessages},
      {"ui/toolmenu/add", &TSystemServices::ToolMenuAdd},
      {"ui/toolmenu/del", &TSystemServices::ToolMenuDel},
      {"ui/membermenu/add", &TSystemServices::MemberMenuAdd},
      {"ui/membermenu/del", &TSystemServices::MemberMenuDel},
      {"ui/container/add", &TSystemServices::ContainerAdd},
      {"ui/container/del", &TSystemServices::ContainerDel},
      {"ui/settingpage/add", &TSystemServices::SettingPageAdd},
      {"ui/settingpage/del", &TSystemServices::SettingPageDel},
  };
  for (const auto& [name, proc] : services) {
    const int32_t handle = Handler()->CreateService(name, proc);
    if (handle == 0) {
      // Nothing of a failed initialisation may stay registered.
      for (const uint32_t created : services_) Handler()->DeleteService(created);
      services_.clear();
      throw std::runtime_error(std::string("CreateService failed: ") + name);
    }
    services_.push_back(static_cast<uint32_t>(handle));
  }
  // Back to the module pointer if an earlier termination cleared it.
  THCPluginSystem* expected = nullptr;
  gSystemPlugin.compare_exchange_strong(expected, this, std::memory_order_acq_rel);
}

void THCPluginSystem::OnTerminate() {
  // At shutdown the services are already gone; this matters only for a
  // system plugin terminated on its own.
  for (const uint32_t service : services_) Handler()->DeleteService(service);
  services_.clear();
  settingPages_.clear();
  THCPluginSystem* expected = this;
  gSystemPlugin.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

std::vector<const THCSettingPage*> THCPluginSystem::SettingPages() const {
  std::vector<const THCSettingPage*> pages;
  pages.reserve(settingPages_.size());
  for (const auto& page : settingPages_) pages.push_back(page.get());
  return pages;
}

THCPluginSystem* SystemPlugin() {
  return gSystemPlugin.load(std::memory_order_acquire);
}

std::string NodeRegistryUrl(const std::string& serviceBaseUrl) {
  return serviceBaseUrl + "node.php";
}

std::string EscapeQueryValue(const std::string& text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped;
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.' || c == '_' || c == '~';
    if (plain) {
      escaped += ch;
    } else {
      escaped += '%';
      escaped += kHex[c >> 4];
      escaped += kHex[c & 0x0F];
    }
  }
  return escaped;
}

}  // namespace tarnix
