#include "app/startup/ProgramContext.h"

#include "app/startup/Debugger.h"
#include "app/startup/Placeholders.h"

namespace tarnix {

TProgramContext::TProgramContext(std::filesystem::path folder, std::vector<std::string> args,
                                 TUiPorts ports, IMainLoop& loop, TSubsystemFactories table)
    : programFolder(std::move(folder)),
      arguments(std::move(args)),
      ui(ports),
      mainLoop(loop),
      factories(std::move(table)),
      messageBoxPort_(ports.messageBox),
      echoSink_([this](std::string_view line) {
        // Only the main thread may touch the window; the panel shows the
        // latest line while start-up or exit is under way.
        if (ui.mainWindow == nullptr || !mainLoop.IsMainThread()) return;
        if (ui.mainWindow->IsStartingPanelVisible()) ui.mainWindow->SetEchoText(std::string(line));
      }) {
  // Started by Messenger for a session: "/s" counts only as the first argument.
  modes.sessionStart = arguments.size() > 1 && arguments[1] == "/s";
}

TProgramContext::~TProgramContext() {
  // The debugger's service lives in the service registry, so it goes first
  // of the two; the plugins go before the members they may refer to.
  plugins.reset();
  systemPlugin.reset();
  connectionService.reset();
  members.reset();
  server.reset();
  hostHandler.reset();
  language.reset();
  debugger.reset();
  services.reset();
  events.reset();
  connectionManager.reset();
  if (syncTimerId != 0) mainLoop.RemoveTimer(syncTimerId);
  syncTimer.reset();
}

std::filesystem::path TProgramContext::ConfigFilePath() const {
  return programFolder / "config" / "config.dat";
}

std::filesystem::path TProgramContext::PluginsFolder() const { return programFolder / "plugins"; }

std::filesystem::path TProgramContext::LanguageFolder() const { return programFolder / "language"; }

std::filesystem::path TProgramContext::BuddyIconFolder() const {
  return programFolder / "config" / "bubbyicon";
}

std::string TProgramContext::Text(const std::string& section, const std::string& key) const {
  if (language) return language->Text(section, key);
  return PlaceholderText(section, key);
}

}  // namespace tarnix
