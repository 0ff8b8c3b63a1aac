#pragma once
// THCEventManager: the registry of event hooks. Any number of hooks may hang
// under one name; NotifyEvent calls those of a name in registration order on
// the caller's thread and answers the last one's result. Every notification is
// logged ("NotifyEvent: " + name); an exception inside a hook is logged, ends
// the notification and becomes HCPE_INTERNAL_ERROR. Locking rules: see
// MessageList.h.
#include <cstdint>
#include <string>
#include <string_view>

#include "core/bus/MessageList.h"

namespace tarnix {

class THCEventManager : public THCMessageList {
 public:
  // Logs "HookEvent: " + name and registers the hook.
  BusHandle HookEvent(std::string name, BusProc proc);

  // Calls the hooks of name that are registered when the notification starts
  // and still registered when their turn comes; a hook added meanwhile waits
  // for the next notification. Answers the last hook's result, 0 when none
  // was called, HCPE_INTERNAL_ERROR (100) when a hook throws (the hooks after
  // it are skipped).
  std::intptr_t NotifyEvent(std::string_view name, std::intptr_t wParam, std::intptr_t lParam);

  // Removes the hook; an unknown handle is ignored. Waits for its running
  // calls as MessageList.h describes.
  void UnhookEvent(BusHandle handle);
};

}  // namespace tarnix
