#pragma once
// THCHandler: the host object behind IHCHandler, one per plugin (and one the
// host keeps for raising its own events). Its bus methods go one to one to the
// service and event registries; it also makes a new view of the configuration
// (THCPConfig), the plugin settings (THCPSetting) and the member list
// (THCPMemberList) on every call, and runs the messenger session step. It
// holds no plugin state, so a handler a failed plugin kept stays harmless.
//
// Failure values for bad input from a plugin: a null name or procedure gives
// handle 0 (CreateService, GetService, HookEvent) or result 0 (NotifyEvent);
// a view over a part the context lacks is null; nothing a registry or view
// throws reaches the plugin.
#include <cstdint>
#include <memory>

#include "plugin/api/THCHandlerContext.h"
#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCObject.h"

namespace tarnix {

class THCHandler final : public THCObject<IHCHandler> {
 public:
  // A new handler (one reference, the caller's) over a copy of context / over
  // a context shared with other handlers.
  static HCPtr<IHCHandler> Create(const THCHandlerContext& context);
  static HCPtr<IHCHandler> Create(std::shared_ptr<const THCHandlerContext> context);

  int32_t HCCALL CreateService(const char* name, HCProc proc) override;
  uint32_t HCCALL GetService(const char* name) override;
  intptr_t HCCALL CallService(uint32_t service, intptr_t wParam, intptr_t lParam) override;
  HCRESULT HCCALL DeleteService(uint32_t service) override;
  HCHEvent HCCALL HookEvent(const char* name, HCProc proc) override;
  intptr_t HCCALL NotifyEvent(const char* name, intptr_t wParam, intptr_t lParam) override;
  HCRESULT HCCALL UnhookEvent(HCHEvent handle) override;
  // New views; null when the context has no configuration / member list.
  IHCPConfig* HCCALL Config() override;
  IHCPSetting* HCCALL Setting() override;
  IHCPMemberList* HCCALL MemberList() override;
  // 1 when the session step found the partner, otherwise 0 (also without a
  // session step).
  HCRESULT HCCALL OpenSession(HCBSTR mySessionName, HCBSTR partnerSessionName,
                              HCBOOL inviter) override;

 private:
  explicit THCHandler(std::shared_ptr<const THCHandlerContext> context)
      : context_(std::move(context)) {}
  ~THCHandler() override = default;

  const std::shared_ptr<const THCHandlerContext> context_;  // never null
};

}  // namespace tarnix
