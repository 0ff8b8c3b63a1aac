#include "plugin/api/THCPConfig.h"

#include "core/manager/BuddyIcon.h"
#include "core/members/MemberList.h"

namespace tarnix {
namespace {

HCBSTR ToBstr(const std::string& text) {
  return TBstr::FromUtf8(text).Detach();
}

template <class T, class Body>
T Guarded(T fallback, Body body) {
  try {
    return body();
  } catch (...) {
    return fallback;
  }
}

}  // namespace

std::filesystem::path StrangerIconPath(const std::filesystem::path& programFolder) {
  return programFolder / "plugins" / "system" / "bubbyicon" / "@stranger.bmp";
}

HCPtr<IHCPConfig> THCPConfig::Create(std::shared_ptr<const THCHandlerContext> context) {
  if (!context || context->config.IsNull()) return nullptr;
  return HCPtr<IHCPConfig>::Adopt(new THCPConfig(std::move(context)));
}

HCBSTR THCPConfig::name() {
  return Guarded<HCBSTR>(
      nullptr, [&] { return ToBstr(context_->config.GetSetting().GetRegistation().GetName()); });
}

void THCPConfig::put_name(HCBSTR value) {
  Guarded<bool>(false, [&] {
    context_->config.GetSetting().GetRegistation().SetName(BstrToUtf8(value));
    return true;
  });
}

void THCPConfig::put_DisplayName(HCBSTR value) {
  Guarded<bool>(false, [&] {
    context_->config.GetSetting().GetProfile().SetDispname(BstrToUtf8(value));
    return true;
  });
}

HCBSTR THCPConfig::DisplayName() {
  return Guarded<HCBSTR>(
      nullptr, [&] { return ToBstr(context_->config.GetSetting().GetProfile().GetDispname()); });
}

HCBOOL THCPConfig::Logined() {
  return Guarded<HCBOOL>(HC_FALSE, [&] {
    const auto& logined = context_->ports.logined;
    return logined && logined() ? HC_TRUE : HC_FALSE;
  });
}

HCBSTR THCPConfig::IPAddress() {
  return Guarded<HCBSTR>(nullptr, [&] {
    const auto& myAddress = context_->ports.myAddress;
    return ToBstr(myAddress ? myAddress() : std::string());
  });
}

int32_t THCPConfig::port() {
  return Guarded<int32_t>(0, [&] { return context_->config.GetSetting().GetServer().GetPort(); });
}

HCBSTR THCPConfig::ServiceURL() {
  return Guarded<HCBSTR>(nullptr, [&] {
    const auto& serviceUrl = context_->ports.serviceUrl;
    return ToBstr(serviceUrl ? serviceUrl() : std::string());
  });
}

HCBSTR THCPConfig::BubbyIcon() {
  return Guarded<HCBSTR>(
      nullptr, [&] { return ToBstr(OwnBuddyIconPath(context_->programFolder).string()); });
}

int32_t THCPConfig::State() {
  return Guarded<int32_t>(
      0, [&] { return context_->members != nullptr ? context_->members->OwnState() : 0; });
}

void THCPConfig::put_State(int32_t value) {
  Guarded<bool>(false, [&] {
    if (context_->members != nullptr) context_->members->SetOwnState(value);
    return true;
  });
  Guarded<bool>(false, [&] {
    if (context_->ports.refreshOwnState) context_->ports.refreshOwnState();
    return true;
  });
}

HCBSTR THCPConfig::StrangerIcon() {
  return Guarded<HCBSTR>(
      nullptr, [&] { return ToBstr(StrangerIconPath(context_->programFolder).string()); });
}

int32_t THCPConfig::BufferSize() {
  return Guarded<int32_t>(
      0, [&] { return context_->config.GetSetting().GetSender().GetBuffersize(); });
}

}  // namespace tarnix
