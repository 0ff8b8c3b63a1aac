#pragma once
// The member core as the start-up sequence's subsystems: the connection
// manager, the member list and the local server, wired to the run's
// configuration, bus, sync timer and UI ports. WithMemberCore replaces the
// three entries of a factory table and leaves the others as they are.
#include "app/startup/Subsystems.h"

namespace tarnix {

class THCMemberList;
class THCServer;
class THCTranserManager;
struct THCCoreContext;
struct TProgramContext;

TSubsystemFactories WithMemberCore(TSubsystemFactories factories);

// The core objects behind a run's subsystems; null while they do not exist
// (or when a table without the member core built them).
THCTranserManager* CoreManager(TProgramContext& ctx);
THCMemberList* CoreMembers(TProgramContext& ctx);
THCServer* CoreServer(TProgramContext& ctx);

// The main window's handler of an authenticated member: for a member that is
// not anonymous, the post-authentication exchange, then the window's own
// handler (member tree, alert), then the configuration is saved.
void HandleMemberAuthenticated(TProgramContext& ctx, const TMemberListEvents& window, std::int32_t userId);

}  // namespace tarnix
