// tarnix: the program entry. Creates the application and its windows, then
// runs the start-up sequence, the event loop and the shut-down sequence.
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>

#include "app/startup/CoreSubsystems.h"
#include "app/startup/MainLoop.h"
#include "app/startup/MessageBox.h"
#include "app/startup/PluginSubsystems.h"
#include "app/startup/Placeholders.h"
#include "app/startup/ProgramContext.h"
#include "app/startup/ShutdownSignals.h"
#include "app/startup/Startup.h"
#include "app/startup/StartupTexts.h"
#include "core/members/MemberList.h"
#include "plugin/api/THCPMember.h"
#include "tarnix/Version.h"
#include "ui/MainWindow.h"
#include "ui/NewMemberPrompt.h"
#include "ui/PictureCheck.h"
#include "ui/ProgramDriver.h"
#include "ui/QtPorts.h"
#include "ui/SystemUi.h"

namespace {

constexpr const char* kUsage =
    "Usage: tarnix [/name USER] [/debug] [/setting] [/local] [/offline]\n"
    "\n"
    "Peer-to-peer messaging with a fixed circle of friends.\n"
    "\n"
    "  /name USER  use USER as the connection service account (saved)\n"
    "  /debug      write every log line to debug.log in the program folder\n"
    "  /setting    open the settings before going online\n"
    "  /local      use the developer test server for the services\n"
    "  /offline    use no network services and skip the version check\n"
    "  --help      show this text and exit\n"
    "  --version   show the version and exit\n"
    "\n"
    "SIGTERM, SIGINT and SIGHUP end the program in order, saving the configuration.\n";

std::filesystem::path ProgramFolder(const char* argv0) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) return self.parent_path();
  return std::filesystem::absolute(argv0).parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  // The whole command line as given; Qt takes its own options out of argv.
  const std::vector<std::string> arguments(argv, argv + argc);
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i] == "--help") {
      std::cout << kUsage;
      return 0;
    }
    if (arguments[i] == "--version") {
      std::cout << "tarnix " << tarnix::kProgramVersion << '\n';
      return 0;
    }
  }

  // First, so that a shutdown signal from now on is a query, never a kill.
  tarnix::TShutdownSignals shutdownSignals;

  QApplication app(argc, argv);
  QApplication::setApplicationName(tarnix::kApplicationTitle);
  QApplication::setApplicationDisplayName(tarnix::kApplicationTitle);
  // The program lives in the tray: hiding the last window must not end it.
  QApplication::setQuitOnLastWindowClosed(false);

  tarnix::TQtMessageBoxPort messageBox;
  tarnix::ScopedMessageBoxPort entryMessageBox(&messageBox);
  std::unique_ptr<tarnix::TfrmMain> mainWindow;
  std::unique_ptr<tarnix::TfrmNewMember> newMemberPrompt;
  if (!tarnix::CreateWindowsGuarded([&] {
        mainWindow = std::make_unique<tarnix::TfrmMain>();
        newMemberPrompt = std::make_unique<tarnix::TfrmNewMember>();
      })) {
    return 1;
  }
  // The system plugin's user-interface services act on the main window.
  tarnix::TQtSystemUi systemUi(*mainWindow);
  tarnix::TQtPictureCheck pictures;
  tarnix::TQtFirstRunDialogs firstRun;
  tarnix::TQtSettingsDialog settings;

  tarnix::TMainLoop loop;
  tarnix::TProgramContext ctx(ProgramFolder(argv[0]), arguments,
                              {&messageBox, &firstRun, &settings, mainWindow.get(),
                               newMemberPrompt.get(), &pictures},
                              loop,
                              tarnix::WithPluginHost(
                                  tarnix::WithMemberCore(tarnix::PlaceholderFactories()), &systemUi));
  systemUi.SetMemberViews([&ctx](std::int32_t userId) -> tarnix::HCPtr<IHCPMember> {
    const auto context = tarnix::PluginContext(ctx);
    if (!context || context->members == nullptr) return nullptr;
    return tarnix::THCPMember::Create(context, context->members->FindByUserID(userId));
  });
  newMemberPrompt->SetTextSource(
      [&ctx](const std::string& section, const std::string& key) { return ctx.Text(section, key); });
  mainWindow->SetActions({
      .exit = [&] { tarnix::ExitProgram(ctx, false); },
      .settings = [&] { settings.ShowSettings(); },
      .connectAll = [&] {
        if (ctx.members) ctx.members->ConnectAll();
      },
  });
  tarnix::TProgramDriver driver(ctx, loop, shutdownSignals);
  return tarnix::RunProgram(ctx, [] { QApplication::exec(); });
}
