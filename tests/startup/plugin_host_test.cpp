// The start-up and shut-down sequence with the real plugin host: the obsolete
// plugin files are deleted, the system plugin stands first in the plugin list
// and the libraries of "plugins/" follow; a plugin of the program exchanges a
// message with the same plugin on a peer; at the end the plugins are
// terminated, the system plugin first, only after every service and hook is
// gone and every connection has ended.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "app/startup/CoreSubsystems.h"
#include "app/startup/PluginSubsystems.h"
#include "core/manager/TranserManager.h"
#include "core/members/MemberList.h"
#include "plugin/loader/THCPluginList.h"
#include "plugin/system/THCPluginSystem.h"
#include "tests/plugin/PluginTestHost.h"
#include "tests/startup/StartupFixture.h"
#include "tests/support/FreePort.h"

namespace tarnix::test {
namespace {

namespace fs = std::filesystem;

const fs::path kFixtures = TARNIX_TEST_PLUGIN_DIR;

class TRecordingSystemUi final : public IHCSystemUi {
 public:
  intptr_t AddToolButton(const std::string& caption, const std::string&, HCProc) override {
    buttons.push_back(caption);
    return static_cast<intptr_t>(buttons.size());
  }
  bool DeleteToolButton(intptr_t) override { return false; }
  bool AddMemberMenu(HCProc) override { return true; }
  bool DeleteMemberMenu(HCProc) override { return false; }
  intptr_t AddContainer(const std::string&, HCProc) override { return 0; }
  bool DeleteContainer(intptr_t) override { return false; }
  void ProcessMessages() override {}
  std::vector<std::string> buttons;
};

class PluginHostStartup : public StartupFixture {
 protected:
  PluginHostStartup() { factories_ = WithPluginHost(WithMemberCore(factories_), &systemUi_); }

  void WriteProgramConfig(const std::function<void(const TXMLConfigType&)>& more = {}) {
    WriteConfig([&](const TXMLConfigType& c) {
      c.GetSetting().GetRegistation().SetName("alice");
      c.GetSetting().GetServer().SetPort(FreePort());
      if (more) more(c);
    });
  }

  fs::path Plugins() {
    fs::create_directories(folder_ / "plugins");
    return folder_ / "plugins";
  }

  std::vector<std::string> PluginNames(TProgramContext& ctx) {
    std::vector<std::string> names;
    THCPluginList* list = CorePlugins(ctx);
    for (int i = 0; list != nullptr && i < list->Count(); ++i)
      names.push_back(list->Items(i)->Name());
    return names;
  }

  TRecordingSystemUi systemUi_;
};

TEST_F(PluginHostStartup, TheSystemPluginComesFirstAndTerminatesFirstWithTheBusEmpty) {
  WriteProgramConfig();
  for (const char* obsolete : {"private.so", "broadchat.so", "broadsync.so"}) {
    WriteFile(Plugins() / obsolete, "old");
  }
  WriteFile(Plugins() / "keep.txt", "not a plugin pattern");
  fs::copy_file(kFixtures / "alpha.so", Plugins() / "alpha.so");
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  for (const char* obsolete : {"private.so", "broadchat.so", "broadsync.so"}) {
    EXPECT_FALSE(fs::exists(Plugins() / obsolete)) << obsolete;
  }
  EXPECT_TRUE(fs::exists(Plugins() / "keep.txt"));
  EXPECT_EQ(PluginNames(ctx), (std::vector<std::string>{"system", "alpha"}));
  EXPECT_LT(log_.IndexOf("Plugin system: initialized."),
            log_.IndexOf("Plugin alpha: initialized."));
  ASSERT_NE(SystemPlugin(), nullptr);
  EXPECT_NE(ctx.services->GetService("system/AddAnonymous"), kNoBusHandle);

  // The system plugin's services reach the main window's port.
  THCToolMenuRecord record{"Chat", 0};
  const BusHandle add = ctx.services->GetService("ui/toolmenu/add");
  EXPECT_NE(ctx.services->CallService(
                add, reinterpret_cast<intptr_t>(&record),
                reinterpret_cast<intptr_t>(+[](intptr_t, intptr_t) -> intptr_t { return 0; })),
            0);
  EXPECT_EQ(systemUi_.buttons, std::vector<std::string>{"Chat"});

  ExitProgram(ctx, true);
  const int servicesCleared = log_.IndexOf("Services cleared.");
  const int eventsCleared = log_.IndexOf("Events cleared.");
  const int systemGone = log_.IndexOf("Plugin unloaded: system");
  const int alphaGone = log_.IndexOf("Plugin unloaded: alpha");
  ASSERT_GE(servicesCleared, 0);
  EXPECT_LT(eventsCleared, systemGone);
  EXPECT_LT(systemGone, alphaGone);
  EXPECT_LT(alphaGone, log_.IndexOf("Members cleared."));
  // alpha found its own task service gone when it was terminated.
  EXPECT_TRUE(log_.Contains("NotifyEvent: lifecycle/alpha/terminate/0"));
  EXPECT_EQ(SystemPlugin(), nullptr);
  EXPECT_EQ(CurrentSkeleton(), nullptr);
}

TEST_F(PluginHostStartup, APluginOfTheProgramTalksToTheSamePluginOnAPeer) {
  plugintest::TPluginTestHost bob("bob");
  bob.core.Start();
  ASSERT_TRUE(bob.LoadCopy(kFixtures / "exchange.so"));
  const THCMemberPtr aliceAtBob = bob.core.AddMember("alice");
  WriteProgramConfig([&](const TXMLConfigType& c) {
    TXMLMemberType m = c.GetMemberList().Add();
    m.SetName("bob");
    m.SetDispname("bob");
    m.SetAuth("");
    m.SetAddr("127.0.0.1");
    m.SetPort(bob.core.Port());
    m.SetAnonymous(false);
  });
  fs::copy_file(kFixtures / "exchange.so", Plugins() / "exchange.so");
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  EXPECT_EQ(PluginNames(ctx), (std::vector<std::string>{"system", "exchange"}));
  const THCMemberPtr bobAtAlice = CoreMembers(ctx)->FindByName("bob");
  ASSERT_TRUE(bobAtAlice);
  auto pump = [&](const std::function<bool()>& condition) {
    return WaitFor([&] {
      loop_.RunOnce();
      bob.core.Drain();
      return condition();
    });
  };
  ASSERT_TRUE(pump([&] { return bobAtAlice->Online() && aliceAtBob->Online(); }));

  const BusHandle send = ctx.services->GetService("exchange/sendmessage");
  ASSERT_NE(send, kNoBusHandle);
  EXPECT_EQ(ctx.services->CallService(send, bobAtAlice->UserID(), 5), HCPE_ALLRIGHT);
  // A stream task still running at the end is no danger to the unloading.
  EXPECT_EQ(ctx.services->CallService(ctx.services->GetService("exchange/sendstream"),
                                      bobAtAlice->UserID(), 3000000),
            HCPE_ALLRIGHT);
  auto report = [&] {
    const intptr_t length = bob.Call("exchange/report", 0, 0);
    std::string text(static_cast<size_t>(std::max<intptr_t>(length, 0)) + 1, '\0');
    bob.Call("exchange/report", reinterpret_cast<intptr_t>(text.data()),
             static_cast<intptr_t>(text.size()));
    return std::string(text.c_str());
  };
  EXPECT_TRUE(pump([&] {
    return report().find("msg 5 hello from alice from alice\n") != std::string::npos;
  })) << report();

  ExitProgram(ctx, true);
  EXPECT_TRUE(log_.Contains("Plugin unloaded: exchange"));
  EXPECT_FALSE(log_.Contains("Connections still open while the plugins are unloaded"));
  EXPECT_LT(log_.IndexOf("Services cleared."), log_.IndexOf("Plugin unloaded: exchange"));
}

}  // namespace
}  // namespace tarnix::test
