#pragma once
// THCServiceManager: the registry of named services. A service is one
// procedure that callers reach by its handle; the call runs on the caller's
// thread and its result comes back to the caller. Every call is logged
// ("CallService: " + name) except those of the "debug" service and of
// "ui/language/readvalue"; an exception inside a procedure is logged and
// becomes HCPE_INTERNAL_ERROR. Locking rules: see MessageList.h.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/bus/MessageList.h"

namespace tarnix {

class THCServiceManager : public THCMessageList {
 public:
  // Logs "CreateService: " + name and registers the service.
  BusHandle CreateService(std::string name, BusProc proc);

  // The first service registered under exactly this name, or kNoBusHandle.
  BusHandle GetService(std::string_view name) const;

  // The procedure's result; HCPE_NOTIMPLEMENT_ERROR (-1), without a log line,
  // for a handle that is not (or no longer) registered; HCPE_INTERNAL_ERROR
  // (100) when the procedure throws.
  std::intptr_t CallService(BusHandle handle, std::intptr_t wParam, std::intptr_t lParam);

  // Removes the service; an unknown handle is ignored. Waits for its running
  // calls as MessageList.h describes.
  void DeleteService(BusHandle handle);

  // The "debug" service's handle, kept once at start-up: its calls are not
  // logged and it survives Clear. kNoBusHandle when there is no debug log.
  void SetDebugService(BusHandle handle) { keptHandle_.store(handle); }
  BusHandle DebugService() const { return keptHandle_.load(); }
};

}  // namespace tarnix
