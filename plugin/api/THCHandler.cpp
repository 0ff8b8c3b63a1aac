#include "plugin/api/THCHandler.h"

#include "core/bus/BusResults.h"
#include "core/bus/EventManager.h"
#include "core/bus/ServiceManager.h"
#include "plugin/api/THCPConfig.h"
#include "plugin/api/THCPMemberList.h"
#include "plugin/api/THCPSetting.h"

// The SDK carries its own copy of the result codes for plugins built outside
// the host; both must stay the same numbers.
static_assert(::HCPE_ALLRIGHT == tarnix::HCPE_ALLRIGHT);
static_assert(::HCPE_INTERNAL_ERROR == tarnix::HCPE_INTERNAL_ERROR);
static_assert(::HCPE_FAILED == tarnix::HCPE_FAILED);
static_assert(::HCPE_UNINITIALIZED_ERROR == tarnix::HCPE_UNINITIALIZED_ERROR);
static_assert(::HCPE_INVALID_ARG == tarnix::HCPE_INVALID_ARG);
static_assert(::HCPE_NOTIMPLEMENT_ERROR == tarnix::HCPE_NOTIMPLEMENT_ERROR);
static_assert(sizeof(HCService) == sizeof(tarnix::BusHandle) &&
              sizeof(HCHEvent) == sizeof(tarnix::BusHandle));

namespace tarnix {

HCPtr<IHCHandler> THCHandler::Create(const THCHandlerContext& context) {
  return Create(std::make_shared<const THCHandlerContext>(context));
}

HCPtr<IHCHandler> THCHandler::Create(std::shared_ptr<const THCHandlerContext> context) {
  if (!context) context = std::make_shared<const THCHandlerContext>();
  return HCPtr<IHCHandler>::Adopt(new THCHandler(std::move(context)));
}

int32_t THCHandler::CreateService(const char* name, HCProc proc) {
  if (name == nullptr || proc == nullptr || context_->services == nullptr) return 0;
  try {
    return static_cast<int32_t>(context_->services->CreateService(name, BusProc(proc)));
  } catch (...) {
    return 0;
  }
}

uint32_t THCHandler::GetService(const char* name) {
  if (name == nullptr || context_->services == nullptr) return 0;
  try {
    return context_->services->GetService(name);
  } catch (...) {
    return 0;
  }
}

intptr_t THCHandler::CallService(uint32_t service, intptr_t wParam, intptr_t lParam) {
  if (context_->services == nullptr) return HCPE_NOTIMPLEMENT_ERROR;
  try {
    return context_->services->CallService(service, wParam, lParam);
  } catch (...) {
    return HCPE_INTERNAL_ERROR;
  }
}

HCRESULT THCHandler::DeleteService(uint32_t service) {
  try {
    if (context_->services != nullptr) context_->services->DeleteService(service);
  } catch (...) {
  }
  return HCPE_ALLRIGHT;
}

HCHEvent THCHandler::HookEvent(const char* name, HCProc proc) {
  if (name == nullptr || proc == nullptr || context_->events == nullptr) return 0;
  try {
    return context_->events->HookEvent(name, BusProc(proc));
  } catch (...) {
    return 0;
  }
}

intptr_t THCHandler::NotifyEvent(const char* name, intptr_t wParam, intptr_t lParam) {
  if (name == nullptr || context_->events == nullptr) return HCPE_ALLRIGHT;
  try {
    return context_->events->NotifyEvent(name, wParam, lParam);
  } catch (...) {
    return HCPE_INTERNAL_ERROR;
  }
}

HCRESULT THCHandler::UnhookEvent(HCHEvent handle) {
  try {
    if (context_->events != nullptr) context_->events->UnhookEvent(handle);
  } catch (...) {
  }
  return HCPE_ALLRIGHT;
}

IHCPConfig* THCHandler::Config() {
  try {
    return THCPConfig::Create(context_).Detach();
  } catch (...) {
    return nullptr;
  }
}

IHCPSetting* THCHandler::Setting() {
  try {
    return THCPSetting::Create(context_).Detach();
  } catch (...) {
    return nullptr;
  }
}

IHCPMemberList* THCHandler::MemberList() {
  try {
    return THCPMemberList::Create(context_).Detach();
  } catch (...) {
    return nullptr;
  }
}

HCRESULT THCHandler::OpenSession(HCBSTR mySessionName, HCBSTR partnerSessionName, HCBOOL inviter) {
  if (!context_->ports.openSession) return 0;
  try {
    // BOOL: only the low 16 bits carry the value.
    const bool invites = (static_cast<uint32_t>(inviter) & 0xFFFFu) != 0;
    return context_->ports.openSession(BstrToUtf8(mySessionName), BstrToUtf8(partnerSessionName),
                                       invites)
               ? 1
               : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace tarnix
