// The start-up and shut-down sequence over fake UI ports in a scratch
// program folder: first run, configured start, exit, going online.
#include <filesystem>
#include <thread>

#include <gtest/gtest.h>

#include "core/members/PresenceStates.h"
#include "app/startup/StartupTexts.h"
#include "tarnix/Version.h"
#include "tests/startup/StartupFixture.h"

namespace tarnix::test {
namespace {

namespace fs = std::filesystem;

using StartupTest = StartupFixture;

TEST_F(StartupTest, FirstRunWithoutFileEndsThroughForcedExitWhenLoginIsCancelled) {
  ASSERT_FALSE(fs::exists(folder_ / "config"));
  TProgramContext& ctx = MakeContext();
  bool loopRan = false;
  RunProgram(ctx, [&] { loopRan = true; });

  EXPECT_FALSE(loopRan);
  // The built-in default was used and asked for the first-run dialogs.
  EXPECT_EQ(ctx.config.GetSetting().GetSender().GetBuffersize(), 32767);
  EXPECT_EQ(ctx.config.GetSetting().GetServer().GetPort(), 8007);
  EXPECT_FALSE(ctx.config.GetSetting().GetProfile().GetConfigured());
  EXPECT_EQ(ui_.firstRun.languageCalls, 1);
  EXPECT_EQ(ui_.firstRun.loginCalls, 1);
  // ExitProgram(true): no question, finalized, tray hidden, application ended.
  EXPECT_TRUE(ui_.messageBox.shown.empty());
  EXPECT_TRUE(ui_.mainWindow.Saw("HideWindow"));
  EXPECT_TRUE(ui_.mainWindow.trayHidden);
  EXPECT_EQ(ui_.mainWindow.terminateCalls, 1);
  EXPECT_GE(log_.IndexOf("Finalizing..."), 0);
  EXPECT_LT(log_.IndexOf("Finalizing..."), log_.IndexOf("Finalization complete."));
  EXPECT_LT(log_.IndexOf("Finalization complete."), log_.IndexOf("Shutting down."));
  // Without the folder "config" the save is skipped, and said so.
  EXPECT_FALSE(fs::exists(ctx.ConfigFilePath()));
  EXPECT_EQ(log_.IndexOf("Configs Saved."), -1);
  bool notSavedLogged = false;
  for (const std::string& line : log_.Lines()) {
    notSavedLogged = notSavedLogged || line.rfind("Configs not saved: ", 0) == 0;
  }
  EXPECT_TRUE(notSavedLogged);
  EXPECT_FALSE(ctx.initialized);
}

TEST_F(StartupTest, FirstRunStoresTheLoginAndPlacesTheWindowNextToTheTaskbar) {
  fs::create_directories(folder_ / "language" / "english");
  fs::create_directories(folder_ / "language" / "japanese");
  ui_.firstRun.languageAnswer = "english";
  ui_.firstRun.loginAnswer = {kIdOk, "alice", "secret", true};
  ui_.messageBox.answers = {kIdYes, kIdNo};  // register with Messenger: yes; version check: no
  int registrations = 0;
  struct TCountingAddin final : IMessengerAddin {
    explicit TCountingAddin(int& n) : count(n) {}
    void Register() override { ++count; }
    bool OpenSession(const std::string&, const std::string&, bool) override { return false; }
    int& count;
  };
  factories_.messengerAddin = [&](TProgramContext&) {
    return std::make_unique<TCountingAddin>(registrations);
  };
  TProgramContext& ctx = MakeContext();

  ASSERT_TRUE(Start(ctx));
  EXPECT_EQ(ui_.firstRun.offeredLanguages, (std::vector<std::string>{"english", "japanese"}));
  ASSERT_EQ(Captions(), (std::vector<std::string>{"Confirmation", "Confirmation"}));
  EXPECT_EQ(ui_.messageBox.shown[0].type, kMbYesNo | kMbIconQuestion);
  EXPECT_EQ(registrations, 1);
  // Empty member list: saved at once (this creates the file) and shown.
  ASSERT_TRUE(fs::exists(ctx.ConfigFilePath()));
  EXPECT_TRUE(ui_.mainWindow.visible);

  const TXMLConfigType saved = SavedConfig();
  EXPECT_EQ(saved.GetSetting().GetRegistation().GetName(), "alice");
  EXPECT_EQ(saved.GetSetting().GetRegistation().GetPass(), "secret");
  EXPECT_TRUE(saved.GetSetting().GetRegistation().GetEnabled());
  EXPECT_EQ(saved.GetSetting().GetProfile().GetDispname(), "alice");
  EXPECT_TRUE(saved.GetSetting().GetProfile().GetConfigured());
  EXPECT_FALSE(saved.GetSyscon().GetVercheck());
  EXPECT_EQ(saved.GetSyscon().GetLanguage(), "english");
  // Taskbar along the bottom of a 1920x1080 screen, window 225x300.
  EXPECT_EQ(saved.GetSyscon().GetMainform().GetLeft(), 1920 - 225);
  EXPECT_EQ(saved.GetSyscon().GetMainform().GetTop(), 1040 - 300);
  EXPECT_TRUE(ui_.mainWindow.Saw("InitializeForm"));
  EXPECT_TRUE(fs::is_directory(ctx.BuddyIconFolder()));
}

TEST_F(StartupTest, LanguageChoiceNeverStoresANameThatIsNotALanguageFolder) {
  fs::create_directories(folder_ / "language" / "english");
  ui_.firstRun.languageAnswer = "klingon";  // not offered
  TProgramContext& ctx = MakeContext();
  EXPECT_FALSE(Start(ctx));
  // The stored "japanese" is no folder either, so the choice becomes empty.
  EXPECT_EQ(ctx.config.GetSyscon().GetLanguage(), "");
}

TEST_F(StartupTest, ConfiguredStartWithEmptyMemberListSavesAndShowsTheWindow) {
  WriteConfig([](const TXMLConfigType& c) {
    c.GetSyscon().SetShowonstart(false);
    c.GetSetting().GetSender().SetBuffersize(131073);
  });
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));

  EXPECT_EQ(ui_.firstRun.loginCalls, 0);
  EXPECT_FALSE(ui_.mainWindow.Saw("SetGeometry"));  // showonstart is off
  EXPECT_TRUE(ui_.mainWindow.visible);
  // The save during start already holds the clamped buffer size.
  EXPECT_EQ(SavedConfig().GetSetting().GetSender().GetBuffersize(), 131072);
  EXPECT_TRUE(ui_.mainWindow.connectTimer);
  EXPECT_FALSE(ui_.mainWindow.startingPanelVisible);
  EXPECT_FALSE(ctx.busy);
  EXPECT_TRUE(ui_.messageBox.shown.empty());
}

TEST_F(StartupTest, StartWithMembersDoesNotSaveBeforeExit) {
  WriteConfig([](const TXMLConfigType& c) {
    c.GetSyscon().SetShowonstart(false);
    c.GetSetting().GetSender().SetBuffersize(131073);
  });
  UseMembers({"bob"}, {false});
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  EXPECT_FALSE(ui_.mainWindow.visible);
  EXPECT_EQ(SavedConfig().GetSetting().GetSender().GetBuffersize(), 131073);
  ExitProgram(ctx, true);
  EXPECT_EQ(SavedConfig().GetSetting().GetSender().GetBuffersize(), 131072);
}

TEST_F(StartupTest, BufferSizeIsClampedTo131072OnTheNextSave) {
  const struct {
    int stored;
    int saved;
  } kCases[] = {{131073, 131072}, {131072, 131072}, {1 << 30, 131072}, {32767, 32767}, {0, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.stored);
    WriteConfig([&](const TXMLConfigType& cfg) { cfg.GetSetting().GetSender().SetBuffersize(c.stored); });
    UseMembers({"bob"}, {false});
    TProgramContext& ctx = MakeContext();
    ASSERT_TRUE(Start(ctx));
    ExitProgram(ctx, true);
    EXPECT_EQ(SavedConfig().GetSetting().GetSender().GetBuffersize(), c.saved);
  }
}

TEST_F(StartupTest, StartRunsItsStepsInOrder) {
  WriteConfig([](const TXMLConfigType& c) { c.GetSyscon().GetMainform().SetLeft(12); });
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  const std::vector<std::string> expected = {
      "SetGeometry", "ShowWindow", "MemberEventHandlers", "SetTaskButton:0", "InitializeForm",
      "ShowStartingPanel", "SetStatusText:Logging in...", "ShowWindow", "ShowMemberPanel",
      "ShowWindow", "EnableConnectTimer:1", "FitToolBar", "ClearMemberSelection",
      "HideStartingPanel"};
  EXPECT_EQ(ui_.mainWindow.events, expected);
  EXPECT_EQ(ui_.mainWindow.geometry, (TWindowGeometry{12, 100, 225, 300}));
  EXPECT_EQ(ctx.urls.agent, std::string("tarnix/") + kProgramVersion);
}

TEST_F(StartupTest, LaunchCounterShowsTheDonationBannerAt50150250) {
  const struct {
    int stored;
    bool banner;
  } kCases[] = {{0, false}, {48, false}, {49, true}, {50, false}, {149, true}, {249, true}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.stored);
    alerts_.clear();
    WriteConfig([&](const TXMLConfigType& cfg) {
      cfg.GetSyscon().SetLaunchnum(c.stored);
      cfg.GetSyscon().SetVercheck(false);
    });
    TProgramContext& ctx = MakeContext();
    ASSERT_TRUE(Start(ctx));
    ExitProgram(ctx, true);
    EXPECT_EQ(SavedConfig().GetSyscon().GetLaunchnum(), c.stored + 1);
    ASSERT_EQ(alerts_.size(), c.banner ? 1u : 0u);
    if (c.banner) {
      EXPECT_EQ(alerts_[0].kind, 1);
      EXPECT_EQ(alerts_[0].displayTime, 0);
      EXPECT_EQ(alerts_[0].title, "Support Tarnix");
      EXPECT_NE(alerts_[0].text.find("<a href="), std::string::npos);
      EXPECT_EQ(alerts_[0].owner, nullptr);
    }
  }
}

TEST_F(StartupTest, ExitAsksUnlessForcedAndStoresTheGeometry) {
  WriteConfig();
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  ui_.mainWindow.geometry = {10, 20, 300, 400};

  ExitProgram(ctx, false);  // the fake answers Cancel
  ASSERT_EQ(ui_.messageBox.shown.size(), 1u);
  EXPECT_EQ(ui_.messageBox.shown[0].caption, "Tarnix");
  EXPECT_EQ(ui_.messageBox.shown[0].text, "Do you want to exit Tarnix?");
  EXPECT_EQ(ui_.messageBox.shown[0].type, kMbOkCancel | kMbIconQuestion);
  EXPECT_EQ(ui_.mainWindow.terminateCalls, 0);
  EXPECT_TRUE(ctx.initialized);

  ui_.messageBox.answers = {kIdOk};
  ExitProgram(ctx, false);
  EXPECT_EQ(ui_.mainWindow.terminateCalls, 1);
  EXPECT_FALSE(ui_.mainWindow.connectTimer);
  EXPECT_TRUE(ctx.busy);
  EXPECT_LT(JournalIndex(ui_.mainWindow.events, "SetStatusText:Disconnecting..."),
            JournalIndex(ui_.mainWindow.events, "SetStatusText:Logging out..."));
  const TXMLMainformType form = SavedConfig().GetSyscon().GetMainform();
  EXPECT_EQ((TWindowGeometry{form.GetLeft(), form.GetTop(), form.GetWidth(), form.GetHeight()}),
            (TWindowGeometry{10, 20, 300, 400}));

  // A second exit while the first holds the busy flag does nothing, not even ask.
  ExitProgram(ctx, false);
  ExitProgram(ctx, true);
  EXPECT_EQ(ui_.messageBox.shown.size(), 2u);
  EXPECT_EQ(ui_.mainWindow.terminateCalls, 1);
}

TEST_F(StartupTest, ShutdownQueryDuringStartRunsAfterStartWithoutQuestion) {
  WriteConfig();
  TProgramContext* ctx = nullptr;
  ui_.mainWindow.onEvent = [&](const std::string& event) {
    if (event == "ShowMemberPanel") {
      HandleShutdownQuery(*ctx);
      ExitProgram(*ctx, false);  // the user's exit waits too
    }
  };
  ctx = &MakeContext();
  bool loopRan = false;
  RunProgram(*ctx, [&] {
    loopRan = true;
    // By the time the loop runs, the deferred exit has ended the application.
    EXPECT_EQ(ui_.mainWindow.terminateCalls, 1);
  });
  EXPECT_TRUE(loopRan);
  EXPECT_TRUE(ui_.messageBox.shown.empty());
  EXPECT_LT(log_.IndexOf("Finalization complete."), log_.IndexOf("Shutting down."));
  EXPECT_TRUE(fs::exists(ctx->ConfigFilePath()));
}

TEST_F(StartupTest, ShutdownQueryWhileRunningExitsOnceFromTheLoop) {
  WriteConfig();
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  HandleShutdownQuery(ctx);
  EXPECT_EQ(ui_.mainWindow.terminateCalls, 0);  // nothing inside the signal's own call
  RunPendingExit(ctx);
  RunPendingExit(ctx);
  HandleShutdownQuery(ctx);  // during the exit: already under way
  RunPendingExit(ctx);
  EXPECT_EQ(ui_.mainWindow.terminateCalls, 1);
  EXPECT_TRUE(ui_.messageBox.shown.empty());
}

TEST_F(StartupTest, SettingModeCancelledFinalizesAndEnds) {
  WriteConfig();
  ui_.settings.answer = kIdCancel;
  TProgramContext& ctx = MakeContext({"/setting"});
  EXPECT_FALSE(Start(ctx));
  EXPECT_EQ(ui_.settings.calls, 1);
  EXPECT_EQ(ui_.mainWindow.terminateCalls, 1);
  EXPECT_GE(log_.IndexOf("Configs Saved."), 0);
  EXPECT_FALSE(ui_.mainWindow.Saw("InitializeForm"));
  EXPECT_EQ(JournalIndex(journal_, "event:system/loaded"), -1);
}

TEST_F(StartupTest, SettingModeConfirmedGoesOn) {
  WriteConfig();
  ui_.settings.answer = kIdOk;
  TProgramContext& ctx = MakeContext({"/setting"});
  EXPECT_TRUE(Start(ctx));
  EXPECT_EQ(ui_.settings.calls, 1);
}

TEST_F(StartupTest, GoOnlineLogsInNotifiesLoadedThenConnectsAndListens) {
  WriteConfig([](const TXMLConfigType& c) {
    c.GetSetting().GetRegistation().SetEnabled(true);
    c.GetSetting().GetRegistation().SetName("carol");
    c.GetSetting().GetRegistation().SetPass("pw");
    c.GetSetting().GetServer().SetPort(9100);
  });
  UseMembers({"bob"}, {false});
  factories_.connectionService = [this](TProgramContext&) {
    return std::make_unique<TRecordingConnectionService>(journal_, true);
  };
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  const TJournal expected = {"SetEvents", "Login:carol:pw:hash:9100", "GetMemberAddresses",
                             "event:system/loaded", "ConnectAll"};
  EXPECT_EQ(journal_, expected);
  EXPECT_LT(log_.IndexOf("Connecting to all members.."), log_.IndexOf("Server started."));
  EXPECT_TRUE(ui_.messageBox.shown.empty());
}

TEST_F(StartupTest, GoOnlineFailuresAreReportedAndStartGoesOn) {
  WriteConfig([](const TXMLConfigType& c) {
    c.GetSetting().GetRegistation().SetEnabled(true);
    c.GetSetting().GetRegistation().SetName("carol");
    c.GetSetting().GetServer().SetUpnp(true);
  });
  UseMembers({"bob", "dave"}, {false, false}, "peer refused");
  factories_.connectionService = [this](TProgramContext&) {
    return std::make_unique<TRecordingConnectionService>(journal_, false);
  };
  factories_.upnpController = [this](TProgramContext&) {
    return std::make_unique<TRecordingUpnp>(journal_, false);
  };
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));

  ASSERT_EQ(ui_.messageBox.shown.size(), 3u);
  EXPECT_EQ(ui_.messageBox.shown[0].caption, "Tarnix");
  EXPECT_EQ(ui_.messageBox.shown[0].text, "The login at the connection service failed.");
  EXPECT_EQ(ui_.messageBox.shown[1].caption, "Connection");
  EXPECT_EQ(ui_.messageBox.shown[1].text, "peer refused");
  EXPECT_EQ(ui_.messageBox.shown[2].caption, "Error");
  EXPECT_EQ(ui_.messageBox.shown[2].text, "The port could not be mapped on the router.");
  for (const TShownMessageBox& box : ui_.messageBox.shown) EXPECT_EQ(box.type, kMbOk | kMbIconError);
  EXPECT_EQ(JournalIndex(journal_, "GetMemberAddresses"), -1);
  EXPECT_GE(log_.IndexOf("Portmapping failed."), 0);
  EXPECT_GE(log_.IndexOf("Server started."), 0);
  EXPECT_FALSE(ctx.portMapped);
  ExitProgram(ctx, true);
  EXPECT_EQ(log_.IndexOf("Portmapping canceled."), -1);
}

TEST_F(StartupTest, HashNameIsLoggedInWithoutRequest) {
  WriteConfig([](const TXMLConfigType& c) {
    c.GetSetting().GetRegistation().SetEnabled(true);
    c.GetSetting().GetRegistation().SetName("#local");
  });
  factories_.connectionService = [this](TProgramContext&) {
    return std::make_unique<TRecordingConnectionService>(journal_, false);
  };
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  EXPECT_GE(JournalIndex(journal_, "MarkLoggedIn"), 0);
  for (const std::string& entry : journal_) EXPECT_NE(entry.rfind("Login:", 0), 0u) << entry;
  EXPECT_TRUE(ui_.messageBox.shown.empty());
}

TEST_F(StartupTest, PortMappingIsAddedAtStartAndRemovedAtFinalize) {
  WriteConfig([](const TXMLConfigType& c) { c.GetSetting().GetServer().SetUpnp(true); });
  factories_.upnpController = [this](TProgramContext&) {
    return std::make_unique<TRecordingUpnp>(journal_, true);
  };
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  EXPECT_TRUE(ctx.portMapped);
  EXPECT_LT(log_.IndexOf("Portmapping.."), log_.IndexOf("Portmapping succeeded."));
  ExitProgram(ctx, true);
  const TJournal expected = {"event:system/loaded", "Discover", "Discover", "AddPortMapping:8007:8007",
                             "event:system/finalize", "Discover", "Discover",
                             "DeletePortMapping:8007"};
  EXPECT_EQ(journal_, expected);
  EXPECT_LT(log_.IndexOf("Events cleared."), log_.IndexOf("Portmapping canceled."));
}

TEST_F(StartupTest, FinalizeDisconnectsLinkedMembersAfterTheFinalizeEvent) {
  WriteConfig();
  UseMembers({"a", "b", "c"}, {true, false, true});
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  journal_.clear();
  ExitProgram(ctx, true);
  const TJournal expected = {"event:system/finalize", "Disconnect:a", "Disconnect:c"};
  EXPECT_EQ(journal_, expected);
  EXPECT_GE(log_.IndexOf("Disconnecting..a"), 0);
  EXPECT_EQ(log_.IndexOf("Disconnecting..b"), -1);
  const std::vector<std::string> order = {"Finalizing...",      "Disconnecting..c",
                                          "Services cleared.",  "Events cleared.",
                                          "Handler terminated.", "Configs Saved.",
                                          "Finalization complete."};
  for (size_t i = 1; i < order.size(); ++i) {
    EXPECT_LT(log_.IndexOf(order[i - 1]), log_.IndexOf(order[i])) << order[i];
  }
  EXPECT_EQ(ctx.services->Count(), 0);
  EXPECT_EQ(ctx.events->Count(), 0);
  EXPECT_FALSE(ctx.members);
  EXPECT_FALSE(ctx.plugins);
  EXPECT_FALSE(ctx.language);
}

TEST_F(StartupTest, ApplicationExceptionEndsTheProgramOnlyWhileBusy) {
  WriteConfig();
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  HandleApplicationException(ctx, "std::runtime_error", "oops");
  EXPECT_GE(log_.IndexOf("Encounted exception: std::runtime_error - oops"), 0);
  EXPECT_EQ(ui_.mainWindow.terminateCalls, 0);
  ctx.busy = true;
  HandleApplicationException(ctx, "std::runtime_error", "again");
  EXPECT_EQ(ui_.mainWindow.terminateCalls, 1);
}

TEST_F(StartupTest, PresenceTextsComeFromTheLanguage) {
  WriteConfig();
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  const TTextLookup text = [&](const std::string& section, const std::string& key) {
    return ctx.Text(section, key);
  };
  const std::vector<std::string> expected = {"Offline", "Online", "Busy", "Be right back",
                                             "Away", "On the phone", "Out to lunch"};
  for (int state = 0; state < 7; ++state) EXPECT_EQ(PresenceText(text, state), expected[state]);
  EXPECT_EQ(PresenceText(text, 7), "");
  EXPECT_EQ(PresenceText(text, -1), "");
}

TEST_F(StartupTest, SyncTimerIsDrainedByTheMainLoopUntilTheProcessEnds) {
  WriteConfig();
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  int ran = 0;
  std::thread([&] { ctx.syncTimer->Post([&] { ++ran; }); }).join();
  loop_.RunOnce();
  EXPECT_EQ(ran, 1);
  ExitProgram(ctx, true);
  // Like the registries, the sync timer outlives the shut-down sequence.
  ctx.syncTimer->Post([&] { ++ran; });
  loop_.RunOnce();
  EXPECT_EQ(ran, 2);
}

TEST(PlaceNextToTaskbarTest, CoversTheFourTaskbarEdges) {
  const struct {
    const char* name;
    TScreenRect bar;
    TWindowGeometry expected;
  } kCases[] = {
      {"bottom", {0, 1040, 1920, 1080}, {1695, 740, 225, 300}},
      {"top", {0, 0, 1920, 40}, {1695, 40, 225, 300}},
      {"left", {0, 0, 60, 1080}, {60, 780, 225, 300}},
      {"right", {1860, 0, 1920, 1080}, {1635, 780, 225, 300}},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(PlaceNextToTaskbar({1920, 1080, c.bar}, 225, 300), c.expected) << c.name;
  }
}

}  // namespace
}  // namespace tarnix::test
