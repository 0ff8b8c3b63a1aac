#pragma once
// THCHandler: the host object behind IHCHandler, one per plugin (and one the
// host keeps for raising its own events). Its bus methods go one to one to the
// service and event registries; it also makes the views of the configuration,
// the plugin settings and the member list. It holds no plugin state, so a
// handler a failed plugin kept stays harmless.
//
// Failure values for bad input from a plugin: a null name or procedure gives
// handle 0 (CreateService, GetService, HookEvent) or result 0 (NotifyEvent);
// nothing a registry throws reaches the plugin.
#include <cstdint>

#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCObject.h"

namespace tarnix {

class THCServiceManager;
class THCEventManager;

// What the handlers of one program work on. The registries live for the whole
// process and must outlive every handler. The member list, the configuration
// and the connection service join here with the member views.
struct THCHandlerContext {
  THCServiceManager* services = nullptr;
  THCEventManager* events = nullptr;
};

class THCHandler final : public THCObject<IHCHandler> {
 public:
  // A new handler (one reference, the caller's).
  static HCPtr<IHCHandler> Create(const THCHandlerContext& context);

  int32_t HCCALL CreateService(const char* name, HCProc proc) override;
  uint32_t HCCALL GetService(const char* name) override;
  intptr_t HCCALL CallService(uint32_t service, intptr_t wParam, intptr_t lParam) override;
  HCRESULT HCCALL DeleteService(uint32_t service) override;
  HCHEvent HCCALL HookEvent(const char* name, HCProc proc) override;
  intptr_t HCCALL NotifyEvent(const char* name, intptr_t wParam, intptr_t lParam) override;
  HCRESULT HCCALL UnhookEvent(HCHEvent handle) override;
  // The views over the configuration and the member list arrive with the
  // member core's plugin views; until then there is nothing to show (null).
  IHCPConfig* HCCALL Config() override;
  IHCPSetting* HCCALL Setting() override;
  IHCPMemberList* HCCALL MemberList() override;
  // Needs the messenger session step; until then no partner is ever found (0).
  HCRESULT HCCALL OpenSession(HCBSTR mySessionName, HCBSTR partnerSessionName,
                              HCBOOL inviter) override;

 private:
  explicit THCHandler(const THCHandlerContext& context) : context_(context) {}
  ~THCHandler() override = default;

  const THCHandlerContext context_;
};

}  // namespace tarnix
