#include "app/startup/Startup.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <system_error>
#include <vector>

#include "app/config/hcConfig.h"
#include "app/startup/Debugger.h"
#include "app/startup/MessageBox.h"
#include "app/startup/StartupTexts.h"
#include "app/startup/VersionCheck.h"
#include "core/bus/ExceptionText.h"
#include "plugin/sdk/HCRecords.h"
#include "tarnix/Version.h"
#include "transport/log/Log.h"
#include "transport/wire/WireFormat.h"
#include "transport/time/TickClock.h"

namespace tarnix {
namespace {

constexpr const char* kObsoletePlugins[] = {"private.so", "broadchat.so", "broadsync.so"};

// The message of the exception being handled; call only inside a catch block.
std::string CurrentMessage() { return DescribeCurrentException().message; }

void ShowFatal(const std::string& text, const char* caption) {
  ShowMessageBox(text, caption, kMbOk | kMbIconError);
}

IMainWindowPort& Window(TProgramContext& ctx) {
  if (ctx.ui.mainWindow == nullptr) throw std::logic_error("no main window port");
  return *ctx.ui.mainWindow;
}

// Runs one step of the shut-down sequence; a failure is logged and the
// sequence goes on, so the program always ends and saves what it can.
template <typename Step>
void ShutdownStep(const char* what, Step&& step) {
  try {
    step();
  } catch (...) {
    const ExceptionText e = DescribeCurrentException();
    WriteLog(std::string("Finalize error in ") + what + ": " + e.className + " - " + e.message);
  }
}

// The names of the entries of the language folder, sorted.
std::vector<std::string> LanguageEntries(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

bool Start(TProgramContext& ctx) {
  IMainWindowPort& window = Window(ctx);
  // 1
  ctx.startTick = SystemTickClock()->Now();
  ctx.busy = true;
  ctx.starting = true;
  struct EndOfStart {
    TProgramContext& ctx;
    ~EndOfStart() { ctx.starting = false; }
  } endOfStart{ctx};

  // 2
  try {
    ctx.config = LoadConfig(ConfigFile{ctx.ConfigFilePath()});
    const TXMLSysconType syscon = ctx.config.GetSyscon();
    if (syscon.GetShowonstart()) {
      const TXMLMainformType form = syscon.GetMainform();
      window.SetGeometry({form.GetLeft(), form.GetTop(), form.GetWidth(), form.GetHeight()});
      window.ShowWindow();
    }
  } catch (...) {
    ShowFatal(kFatalConfigText + CurrentMessage(), kFatalConfigCaption);
  }
  // 3
  if (!InitCore(ctx)) return false;
  // 4, 5
  ctx.members->SetEvents(window.MemberEventHandlers());
  window.SetTaskButton(ctx.config.GetSyscon().GetTaskbutton());
  // 6
  if (!InitPlugins(ctx)) return false;
  // 7, 8
  const TXMLProfileType profile = ctx.config.GetSetting().GetProfile();
  if (!profile.GetConfigured()) {
    window.HideWindow();
    FirstRunSetup(ctx);
  }
  if (!profile.GetConfigured()) {
    ctx.busy = false;
    ctx.starting = false;
    ExitProgram(ctx, true);
    return false;
  }

  // 9 to 21
  try {
    const TXMLSysconType syscon = ctx.config.GetSyscon();
    if (ctx.modes.settingMode) {
      window.HideWindow();
      if (ctx.ui.settings == nullptr || ctx.ui.settings->ShowSettings() == kIdCancel) {
        ctx.busy = true;
        Finalize(ctx);
        window.TerminateApplication();
        return false;
      }
    }
    ctx.busy = false;
    // Saving needs the folder "config"; the form's buddy icons live below it.
    std::filesystem::create_directories(ctx.BuddyIconFolder());
    window.InitializeForm();
    ctx.startTick = SystemTickClock()->Now();

    window.ShowStartingPanel();
    window.SetStatusText(ctx.Text("mainform", "START_LOGIN"));
    if (syscon.GetShowonstart()) window.ShowWindow();

    GoOnline(ctx);
    window.ShowMemberPanel();

    if (ctx.modes.sessionStart) {
      ctx.factories.messengerAddin(ctx)->OpenSession("", "", false);
    } else if (ctx.members->Count() == 0) {
      SaveConfig(ctx.config);
      window.ShowWindow();
    }

    const int launchNumber = syscon.GetLaunchnum() + 1;
    syscon.SetLaunchnum(launchNumber);
    if (IsDonationLaunch(launchNumber)) ShowDonationBanner(ctx);

    if (syscon.GetVercheck() && !ctx.modes.offlineMode) RunVersionCheck(ctx);

    window.EnableConnectTimer(true);
    window.FitToolBar();
    window.ClearMemberSelection();
    window.HideStartingPanel();
    return true;
  } catch (...) {
    ShowFatal(kFatalFormText + CurrentMessage(), kFatalFormCaption);
    return false;
  }
}

bool InitCore(TProgramContext& ctx) {
  // 1
  if (!ctx.agentHasVersion) {
    ctx.urls.agent += kProgramVersion;
    ctx.agentHasVersion = true;
  }
  // 2
  try {
    ctx.services = std::make_unique<THCServiceManager>();
    ctx.events = std::make_unique<THCEventManager>();
    ctx.connectionManager = ctx.factories.connectionManager(ctx);
    ctx.syncTimer = std::make_unique<THCSyncTimer>();
    ctx.syncTimerId = ctx.mainLoop.AddTimer([&ctx] { ctx.syncTimer->Drain(); });
    // Without a loaded configuration nothing below can be built.
    if (ctx.config.IsNull()) throw std::runtime_error("The configuration is not loaded.");
    ctx.members = ctx.factories.memberList(ctx);
    ctx.server = ctx.factories.server(ctx);
    ctx.hostHandler = ctx.factories.hostHandler(ctx);
    ctx.connectionService = ctx.factories.connectionService(ctx);
    const TXMLSenderType sender = ctx.config.GetSetting().GetSender();
    if (sender.GetBuffersize() > kMaxBufferSize) sender.SetBuffersize(kMaxBufferSize);
  } catch (...) {
    ShowFatal(kFatalCoreText + CurrentMessage(), kFatalCoreCaption);
    return false;
  }
  // 3
  try {
    ParseCommandLine(ctx);
  } catch (...) {
    ShowFatal(kFatalCommandLineText + CurrentMessage(), kFatalCommandLineCaption);
    return false;
  }
  return true;
}

void ParseCommandLine(TProgramContext& ctx) {
  const std::vector<std::string>& args = ctx.arguments;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "/name") {
      // The last argument "/name" sets the empty name.
      const std::string name = i + 1 < args.size() ? args[i + 1] : std::string();
      ctx.config.GetSetting().GetRegistation().SetName(name);
      ++i;
    } else if (arg == "/debug") {
      ctx.modes.debugMode = true;
    } else if (arg == "/setting") {
      ctx.modes.settingMode = true;
    } else if (arg == "/local") {
      ctx.modes.localMode = true;
      RebaseServiceUrls(ctx.urls, std::string("http://") + kDeveloperTestServer + "/");
    } else if (arg == "/offline") {
      ctx.modes.offlineMode = true;
      RebaseServiceUrls(ctx.urls, "http://localhost/");
    }
  }
}

bool InitPlugins(TProgramContext& ctx) {
  // A
  try {
    if (ctx.modes.debugMode) {
      ctx.debugger = std::make_unique<THCDebugger>(ctx.programFolder, *ctx.services);
    }
    ctx.debugService = ctx.services->GetService("debug");
    ctx.services->SetDebugService(ctx.debugService);
    WriteLog(std::string("tarnix Version ") + kProgramVersion);
    WriteLog(kBanner);
    WriteLog("Initializing...");
    ctx.systemPlugin = ctx.factories.systemPlugin(ctx);
    ctx.systemPlugin->LoadModule("system");
  } catch (...) {
    ShowFatal(kFatalDebugText + CurrentMessage(), kFatalDebugCaption);
    return false;
  }
  // B
  try {
    for (const char* obsolete : kObsoletePlugins) {
      std::error_code absentIsFine;
      std::filesystem::remove(ctx.PluginsFolder() / obsolete, absentIsFine);
    }
    ctx.plugins = ctx.factories.pluginList(ctx);
    ctx.plugins->Add(std::move(ctx.systemPlugin));
    ctx.plugins->LoadFolder(ctx.PluginsFolder());
  } catch (...) {
    ShowFatal(kFatalPluginsText + CurrentMessage(), kFatalPluginsCaption);
    return false;
  }
  // C
  try {
    ctx.language = ctx.factories.language(ctx);
    if (!ctx.language->HasLanguageFile()) {
      ShowFatal(kFatalNoLanguageText, kFatalNoLanguageCaption);
      return false;
    }
  } catch (...) {
    ShowFatal(kFatalLanguageText + CurrentMessage(), kFatalLanguageCaption);
    return false;
  }
  // h
  ctx.initialized = true;
  WriteLog("Initialization complete.");
  return true;
}

void GoOnline(TProgramContext& ctx) {
  const TXMLSettingType setting = ctx.config.GetSetting();
  // 1
  const TXMLRegistationType registation = setting.GetRegistation();
  if (registation.GetEnabled()) {
    const std::string name = registation.GetName();
    if (!name.empty() && name.front() == '#') {
      ctx.connectionService->MarkLoggedIn();
    } else if (ctx.connectionService->Login(name, registation.GetPass(), true,
                                            setting.GetServer().GetPort())) {
      ctx.connectionService->GetMemberAddresses();
    } else {
      ShowMessageBox(ctx.Text("mainform", "LOGIN_FAILED"), kApplicationTitle,
                     kMbOk | kMbIconError);
    }
  }
  // 2
  ctx.events->NotifyEvent("system/loaded", 0, 0);
  // 3
  WriteLog("Connecting to all members..");
  try {
    ctx.members->ConnectAll();
  } catch (...) {
    ShowMessageBox(CurrentMessage(), ctx.Text("mainform", "CONNECTION"), kMbOk | kMbIconError);
  }
  // 4
  if (setting.GetServer().GetUpnp()) {
    WriteLog("Portmapping..");
    ctx.portMapped = SetPortMapping(ctx, true);
    if (ctx.portMapped) {
      WriteLog("Portmapping succeeded.");
    } else {
      ShowMessageBox(ctx.Text("mainform", "MSG_FAIL_UPNP"), ctx.Text("gen", "ERR"),
                     kMbOk | kMbIconError);
      WriteLog("Portmapping failed.");
    }
  }
  // 5
  ctx.server->StartListening();
}

TWindowGeometry PlaceNextToTaskbar(const TScreenLayout& screen, int width, int height) {
  const TScreenRect& bar = screen.taskbar;
  TWindowGeometry g{0, 0, width, height};
  if (bar.right - bar.left < screen.width) {
    // A vertical taskbar: at its right or left side.
    g.top = screen.height - height;
    g.left = bar.left > 0 ? bar.left - width : bar.right;
  } else {
    // A horizontal taskbar: below it at the top, or on its top edge.
    g.left = screen.width - width;
    g.top = bar.bottom < screen.height ? bar.bottom
                                       : screen.height + bar.top - height - bar.bottom;
  }
  return g;
}

void FirstRunSetup(TProgramContext& ctx) {
  IFirstRunDialogs* dialogs = ctx.ui.firstRun;
  if (dialogs == nullptr) return;
  const TXMLSysconType syscon = ctx.config.GetSyscon();
  // 1: the stored language stays a language folder's name, or empty.
  {
    const std::vector<std::string> languages = LanguageEntries(ctx.LanguageFolder());
    const std::string current = syscon.GetLanguage();
    const std::string chosen = dialogs->SelectLanguage(languages, current);
    const auto listed = [&](const std::string& name) {
      return std::find(languages.begin(), languages.end(), name) != languages.end();
    };
    if (listed(chosen)) {
      syscon.SetLanguage(chosen);
    } else if (!listed(current)) {
      syscon.SetLanguage("");
    }
  }
  // 2
  const TXMLSettingType setting = ctx.config.GetSetting();
  const TXMLRegistationType registation = setting.GetRegistation();
  const TLoginResult login = dialogs->Login(registation.GetName(), registation.GetPass());
  if (login.result != kIdOk) return;
  // 3
  registation.SetName(login.name);
  registation.SetPass(login.pass);
  registation.SetEnabled(login.enabled);
  const TXMLProfileType profile = setting.GetProfile();
  profile.SetDispname(login.name);
  profile.SetConfigured(true);
  // 4
  if (ShowMessageBox(ctx.Text("mainform", "REGISTER_MESSENGER"), ctx.Text("gen", "CNFM"),
                     kMbYesNo | kMbIconQuestion) == kIdYes) {
    ctx.factories.messengerAddin(ctx)->Register();
  }
  // 5
  syscon.SetVercheck(ShowMessageBox(ctx.Text("mainform", "VERSION_CHECK"), ctx.Text("gen", "CNFM"),
                                    kMbYesNo | kMbIconQuestion) == kIdYes);
  // 6
  profile.SetConfigured(true);
  // 7
  if (ctx.ui.mainWindow != nullptr) {
    const TXMLMainformType form = syscon.GetMainform();
    const TWindowGeometry g =
        PlaceNextToTaskbar(ctx.ui.mainWindow->ScreenLayout(), form.GetWidth(), form.GetHeight());
    form.SetLeft(g.left);
    form.SetTop(g.top);
  }
}

void Finalize(TProgramContext& ctx) {
  if (!ctx.initialized) return;
  // 1, 2
  WriteLog("Finalizing...");
  ctx.finalizing = true;
  ShutdownStep("system/finalize", [&] { ctx.events->NotifyEvent("system/finalize", 0, 0); });
  // 3
  ShutdownStep("disconnecting", [&] {
    if (!ctx.members) return;
    for (int i = 0; i < ctx.members->Count(); ++i) {
      if (!ctx.members->HasLiveLink(i)) continue;
      WriteLog("Disconnecting.." + ctx.members->Name(i));
      ctx.members->Disconnect(i);
    }
  });
  // 4
  ShutdownStep("server stop", [&] {
    if (ctx.server) ctx.server->StopListening();
  });
  // 5, 6
  ShutdownStep("services", [&] { ctx.services->Clear(); });
  WriteLog("Services cleared.");
  ShutdownStep("events", [&] { ctx.events->Clear(); });
  WriteLog("Events cleared.");
  // 7
  if (ctx.portMapped) {
    SetPortMapping(ctx, false);
    ctx.portMapped = false;
    WriteLog("Portmapping canceled.");
  }
  // 8
  ShutdownStep("connection service", [&] { ctx.connectionService.reset(); });
  ShutdownStep("plugins", [&] { ctx.plugins.reset(); });
  ShutdownStep("members", [&] { ctx.members.reset(); });
  // 9
  ShutdownStep("server", [&] {
    if (ctx.server) ctx.server->StopListening();
    ctx.server.reset();
  });
  ShutdownStep("handler", [&] { ctx.hostHandler.reset(); });
  // 10
  WriteLog("Handler terminated.");
  try {
    SaveConfig(ctx.config);
    WriteLog("Configs Saved.");
  } catch (...) {
    // Before the first form initialisation the folder "config" may not exist
    // yet; the run ends all the same.
    WriteLog("Configs not saved: " + CurrentMessage());
  }
  ctx.initialized = false;
  WriteLog("Finalization complete.");
  ShutdownStep("debugger", [&] { ctx.debugger.reset(); });
}

void ExitProgram(TProgramContext& ctx, bool force) {
  // 1
  if (ctx.busy) return;
  if (ctx.starting) {
    // Tearing down under a running Start would pull its objects away: run it
    // once Start is over.
    ctx.pendingExit = ctx.pendingExit.value_or(false) || force;
    return;
  }
  IMainWindowPort& window = Window(ctx);
  // 2
  if (!force) {
    if (ShowMessageBox(ctx.Text("mainform", "DOYOUEXIT"), kApplicationTitle,
                       kMbOkCancel | kMbIconQuestion) != kIdOk) {
      return;
    }
    // Another exit may have run while the question was open.
    if (ctx.busy) return;
  }
  // 3
  ctx.busy = true;
  ctx.pendingExit.reset();
  window.EnableConnectTimer(false);
  window.SetStatusText(ctx.Text("mainform", "FINALIZE_DISCONNECTING"));
  window.ShowStartingPanel();
  // 4
  if (!ctx.config.IsNull()) {
    ShutdownStep("window geometry", [&] {
      const TWindowGeometry g = window.Geometry();
      const TXMLMainformType form = ctx.config.GetSyscon().GetMainform();
      form.SetLeft(g.left);
      form.SetTop(g.top);
      form.SetWidth(g.width);
      form.SetHeight(g.height);
    });
  }
  // 5
  window.SetStatusText(ctx.Text("mainform", "FINALIZE_LOGOUT"));
  ShutdownStep("logout", [&] {
    if (ctx.connectionService) ctx.connectionService->Logout();
  });
  // 6
  Finalize(ctx);
  try {
    window.HideWindow();
    ctx.language.reset();
  } catch (...) {
  }
  window.HideTrayIcon();
  window.TerminateApplication();
}

bool SetPortMapping(TProgramContext& ctx, bool add) {
  try {
    const int port = ctx.config.GetSetting().GetServer().GetPort();
    std::unique_ptr<IUpnpController> upnp = ctx.factories.upnpController(ctx);
    // The first discovery wakes some routers; the second one decides.
    if (!upnp->DiscoverGateway()) return false;
    if (!upnp->DiscoverGateway()) return false;
    return add ? upnp->AddPortMapping(port, port) : upnp->DeletePortMapping(port);
  } catch (...) {
    return false;
  }
}

void HandleShutdownQuery(TProgramContext& ctx) {
  if (ctx.busy && !ctx.starting) return;  // an exit is already under way
  ctx.pendingExit = true;
}

void RunPendingExit(TProgramContext& ctx) {
  if (ctx.starting || !ctx.pendingExit) return;
  const bool force = *ctx.pendingExit;
  ctx.pendingExit.reset();
  ExitProgram(ctx, force);
}

void HandleApplicationException(TProgramContext& ctx, const std::string& className,
                                const std::string& message) {
  WriteLog("Encounted exception: " + className + " - " + message);
  if (ctx.busy && ctx.ui.mainWindow != nullptr) ctx.ui.mainWindow->TerminateApplication();
}

bool CreateWindowsGuarded(const std::function<void()>& create) {
  try {
    create();
    return true;
  } catch (...) {
    ShowFatal(kFatalEntryText, kFatalEntryCaption);
    return false;
  }
}

int RunProgram(TProgramContext& ctx, const std::function<void()>& runMessageLoop) {
  bool started = false;
  try {
    started = Start(ctx);
  } catch (...) {
    const ExceptionText e = DescribeCurrentException();
    HandleApplicationException(ctx, e.className, e.message);
  }
  if (started) {
    RunPendingExit(ctx);
    runMessageLoop();
  }
  WriteLog("Shutting down.");
  return 0;
}

void RunVersionCheck(TProgramContext& ctx) {
  if (!ctx.language) return;
  try {
    const std::string answer = ctx.factories.httpGet(ctx.urls.versionFile, ctx.urls.agent);
    const std::optional<TAlert> alert = VersionCheckAlert(answer, kProgramVersion, *ctx.language);
    if (alert) RaiseAlert(ctx, *alert);
  } catch (...) {
    // The check never reports.
  }
}

void ShowDonationBanner(TProgramContext& ctx) {
  if (!ctx.language) return;
  RaiseAlert(ctx, DonationAlert(*ctx.language));
}

std::intptr_t RaiseAlert(TProgramContext& ctx, const TAlert& alert) {
  if (!ctx.services) return -1;
  AlertRecord record{};
  record.Kind = alert.kind;
  record.Reserved = -1;
  record.DisplayTime = alert.displayTime;
  record.Title = alert.title.c_str();
  record.Text = alert.text.c_str();
  record.OwnerWindow = reinterpret_cast<std::intptr_t>(alert.owner);
  record.Option1 = alert.option1;
  record.Option2 = alert.option2;
  record.Option3 = alert.option3;
  const BusHandle handle = ctx.services->GetService("ui/alert");
  return ctx.services->CallService(handle, reinterpret_cast<std::intptr_t>(&record), 0);
}

}  // namespace tarnix
