#pragma once
// TProgramContext: every process-wide object of one run of tarnix, the run
// modes, the service addresses and the start-up state, in one place that the
// start-up and shut-down sequence (Startup.h) fills and empties in its fixed
// order. The program makes one; each test makes its own with fake UI ports
// and a scratch program folder.
//
// Threads: everything here belongs to the main thread, except the finalizing
// flag (read by the server's accept thread) and what the objects themselves
// make safe (the bus registries, the configuration document's lock).
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/config/ConfigTypes.h"
#include "app/startup/MainLoop.h"
#include "app/startup/MessageBox.h"
#include "app/startup/ServiceUrls.h"
#include "app/startup/Subsystems.h"
#include "app/startup/UiPorts.h"
#include "core/bus/EventManager.h"
#include "core/bus/ServiceManager.h"
#include "core/sync/SyncTimer.h"
#include "transport/log/Log.h"

namespace tarnix {

class THCDebugger;

struct TRunModes {
  bool debugMode = false;    // "/debug": the debug log is on
  bool settingMode = false;  // "/setting": the settings dialog before going online
  bool localMode = false;    // "/local": services on the developer test server
  bool offlineMode = false;  // "/offline": services on the local host, no version check
  bool sessionStart = false; // "/s" as the first argument: a Messenger session to open
};

struct TProgramContext {
  // programFolder holds the executable, "config", "plugins" and "language";
  // arguments are the whole command line, index 0 being the program path.
  // The context attaches ui.messageBox as the message-box port and echoes
  // log lines of the main thread on the start-up panel while it is visible.
  TProgramContext(std::filesystem::path programFolder, std::vector<std::string> arguments,
                  TUiPorts ui, IMainLoop& mainLoop, TSubsystemFactories factories);
  // Frees whatever Finalize did not, in the order of the shut-down sequence,
  // then the bus registries, the connection manager and the sync timer.
  ~TProgramContext();
  TProgramContext(const TProgramContext&) = delete;
  TProgramContext& operator=(const TProgramContext&) = delete;

  std::filesystem::path ConfigFilePath() const;  // config/config.dat
  std::filesystem::path PluginsFolder() const;
  std::filesystem::path LanguageFolder() const;
  std::filesystem::path BuddyIconFolder() const;  // config/bubbyicon

  // A language text; the built-in English text while no language object exists.
  std::string Text(const std::string& section, const std::string& key) const;

  // Constant after construction.
  const std::filesystem::path programFolder;
  const std::vector<std::string> arguments;
  const TUiPorts ui;
  IMainLoop& mainLoop;
  const TSubsystemFactories factories;

  // Run modes and addresses, set by the command line.
  TRunModes modes;
  TServiceUrls urls = DefaultServiceUrls();
  bool agentHasVersion = false;  // the version is appended to the agent once

  // Start-up state.
  bool busy = false;          // starting (until form initialisation) or closing
  bool starting = false;      // Start is running; exit requests wait for its end
  std::uint32_t startTick = 0;
  bool initialized = false;   // plugins and language are up; Finalize runs only then
  std::atomic<bool> finalizing{false};  // the server refuses new peers
  bool portMapped = false;
  // An exit asked for while Start runs or inside a nested loop (a shutdown
  // query); true when it is to run without the question.
  std::optional<bool> pendingExit;

  // The process-wide objects, in the order they are created.
  TXMLConfigType config;  // null until Start has loaded it
  std::unique_ptr<THCServiceManager> services;
  std::unique_ptr<THCEventManager> events;
  std::unique_ptr<IConnectionManager> connectionManager;
  std::unique_ptr<THCSyncTimer> syncTimer;
  int syncTimerId = 0;  // the main loop's timer that drains syncTimer
  std::unique_ptr<IMemberList> members;
  std::unique_ptr<IServer> server;
  std::unique_ptr<IHostHandler> hostHandler;
  std::unique_ptr<IConnectionService> connectionService;
  std::unique_ptr<THCDebugger> debugger;
  BusHandle debugService = kNoBusHandle;
  std::unique_ptr<IPlugin> systemPlugin;  // until the plugin list takes it
  std::unique_ptr<IPluginList> plugins;
  std::unique_ptr<ILanguage> language;

 private:
  ScopedMessageBoxPort messageBoxPort_;
  ScopedLogSink echoSink_;
};

}  // namespace tarnix
