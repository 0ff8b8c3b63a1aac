#include "core/bus/EventManager.h"

#include <cxxabi.h>

#include <optional>
#include <utility>

#include "core/bus/BusResults.h"
#include "core/bus/ExceptionText.h"
#include "transport/log/Log.h"

namespace tarnix {

BusHandle THCEventManager::HookEvent(std::string name, BusProc proc) {
  WriteLog("HookEvent: " + name);
  return Add(std::move(name), std::move(proc));
}

std::intptr_t THCEventManager::NotifyEvent(std::string_view name, std::intptr_t wParam,
                                           std::intptr_t lParam) {
  WriteLog("NotifyEvent: " + std::string(name));
  std::intptr_t result = HCPE_ALLRIGHT;
  // The hooks are fixed when the notification starts, so hooks that hook or
  // unhook during it never shift another hook into a second call or out of its turn.
  for (const SlotPtr& slot : Matching(name)) {
    std::optional<RunningCall> call = StartCall(slot);
    if (!call) {
      continue;  // unhooked while earlier hooks ran
    }
    try {
      result = call->Invoke(wParam, lParam);
    } catch (abi::__forced_unwind&) {
      throw;  // thread cancellation must unwind on
    } catch (...) {
      const ExceptionText error = DescribeCurrentException();
      WriteLog("NotifyEventError: " + std::string(name) + " - " + error.className + " - " +
               error.message);
      return HCPE_INTERNAL_ERROR;
    }
  }
  return result;
}

void THCEventManager::UnhookEvent(BusHandle handle) {
  Remove(handle);
}

}  // namespace tarnix
