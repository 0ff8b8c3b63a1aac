#pragma once
// The plugin layer's side of the task routing: how a task notification shows
// its member and its stream to a plugin service (THCTaskRouteHooks of the
// member core). The member becomes a THCPMember view; the stream becomes the
// plugin's own IHCStream when it is one of the THCStream adapters, otherwise a
// THCPStream lent for the call; at the task's removal the adapter is freed and
// the plugin's stream released. Called on connection threads.
#include <memory>

#include "core/CorePorts.h"
#include "plugin/api/THCHandlerContext.h"

namespace tarnix {

THCTaskRouteHooks MakePluginTaskRouteHooks(std::shared_ptr<const THCHandlerContext> context);

}  // namespace tarnix
