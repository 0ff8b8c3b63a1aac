#pragma once
// The start-up and shut-down sequence of tarnix over one TProgramContext:
// load the configuration, create the core, read the command line, bring up
// the debug log, the plugins and the language, run the first-run dialogs, go
// online, and on exit tear everything down in order and save the
// configuration. Every step runs on the main thread; every fatal error is a
// message box with the captions and texts of StartupTexts.h.
#include <cstdint>
#include <functional>
#include <string>

#include "app/startup/Alert.h"
#include "app/startup/ProgramContext.h"
#include "app/startup/UiPorts.h"

namespace tarnix {

// The main window's start operation; true means the message loop is to run.
bool Start(TProgramContext& ctx);
// Registries, connection manager, sync timer, member list, server, host
// handle, connection service client; the buffer size clamp; the command line.
bool InitCore(TProgramContext& ctx);
// The switches "/name" NAME, "/debug", "/setting", "/local", "/offline".
void ParseCommandLine(TProgramContext& ctx);
// Debug log, system plugin, plugin list, language; sets the initialized flag.
bool InitPlugins(TProgramContext& ctx);
// Login, "system/loaded", connecting the members, port mapping, the server.
void GoOnline(TProgramContext& ctx);
// Language choice and login of the first start; stores the account.
void FirstRunSetup(TProgramContext& ctx);
// The shut-down sequence; does nothing unless the initialized flag is set.
void Finalize(TProgramContext& ctx);
// The main window's exit operation: asks unless forced, stores the window
// geometry, logs out, finalizes and ends the message loop. Ignored while the
// busy flag is set; deferred while Start runs (RunPendingExit runs it later).
void ExitProgram(TProgramContext& ctx, bool force);
// Maps (add) or unmaps setting/server/port on the router; false on any failure.
bool SetPortMapping(TProgramContext& ctx, bool add);

// The system's shutdown query (SIGTERM, SIGINT, SIGHUP): an exit without the
// question, run by RunPendingExit from the top level of the message loop.
void HandleShutdownQuery(TProgramContext& ctx);
// Runs an exit asked for earlier once Start has finished; call it where no
// dialog or nested loop is running.
void RunPendingExit(TProgramContext& ctx);

// Logs "Encounted exception: " + class + " - " + message and, while the busy
// flag is set, ends the message loop.
void HandleApplicationException(TProgramContext& ctx, const std::string& className,
                                const std::string& message);

// Program entry, creating the windows: runs create; when it throws, shows
// "It wasn't able to initialize." (caption "Fatal Error") and answers false.
bool CreateWindowsGuarded(const std::function<void()>& create);

// Program entry after the windows exist: Start, the message loop when Start
// succeeded, then "Shutting down.". Returns the process exit code.
int RunProgram(TProgramContext& ctx, const std::function<void()>& runMessageLoop);

// Fetches the version file and shows the new-version alert; silent on every error.
void RunVersionCheck(TProgramContext& ctx);
void ShowDonationBanner(TProgramContext& ctx);
// Calls "ui/alert" with the alert's record; -1 when no provider is registered.
std::intptr_t RaiseAlert(TProgramContext& ctx, const TAlert& alert);

// Where the first run places the window: next to the taskbar.
TWindowGeometry PlaceNextToTaskbar(const TScreenLayout& screen, int width, int height);

}  // namespace tarnix
