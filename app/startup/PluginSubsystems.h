#pragma once
// The plugin host as the start-up sequence's subsystems: the host's own handle
// on the bus (one THCHandler over the run's handler context; creating it also
// gives the member core the plugin layer's task-route hooks), the registerer of
// the built-in system plugin, and the plugin list that loads "plugins/*.so".
// WithPluginHost replaces those three entries of a factory table and leaves
// the others as they are; the member views need the member core's entries
// (WithMemberCore).
//
// Destroying the plugin list first waits (up to kLinkEndWait) for every
// connection to end, so no task hands a plugin's stream back into a library
// that is already unloaded.
#include <memory>

#include "app/startup/Subsystems.h"

namespace tarnix {

class IHCSystemUi;
class THCPluginList;
struct THCHandlerContext;
struct TProgramContext;

// systemUi: the main window's side of the system plugin's user-interface
// services; not owned, may be null (those services then fail).
TSubsystemFactories WithPluginHost(TSubsystemFactories factories, IHCSystemUi* systemUi);

// The run's handler context; null before the host's handle exists (or when a
// table without the plugin host built it).
std::shared_ptr<const THCHandlerContext> PluginContext(TProgramContext& ctx);
// The run's plugin list; null likewise.
THCPluginList* CorePlugins(TProgramContext& ctx);

}  // namespace tarnix
