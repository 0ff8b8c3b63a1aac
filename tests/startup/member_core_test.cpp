// The start-up and shut-down sequence with the real member core: GoOnline
// connects the members (connecting to oneself shows its message and ends the
// pass), a member authenticates and the configuration is saved with its key,
// an unknown peer goes through the new-member prompt port, and Finalize
// disconnects the members, stops the server and saves.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <regex>

#include <gtest/gtest.h>

#include "app/startup/CoreSubsystems.h"
#include "core/manager/TranserManager.h"
#include "core/members/MemberList.h"
#include "core/server/Server.h"
#include "tests/startup/StartupFixture.h"
#include "tests/support/CoreTestHost.h"
#include "tests/support/FreePort.h"

namespace tarnix::test {
namespace {

class TFakeNewPeerPrompt final : public INewPeerPromptPort {
 public:
  TNewPeerPromptShown ShowNewPeerPrompt(const std::string& userName,
                                        std::function<void(bool)> answer) override {
    names.push_back(userName);
    pending = std::move(answer);
    return {"New member", userName + " asks", 0};
  }
  std::vector<std::string> names;
  std::function<void(bool)> pending;
};

class MemberCoreStartup : public StartupFixture {
 protected:
  MemberCoreStartup() { factories_ = WithMemberCore(factories_); }

  TProgramContext& MakeContextWithPrompt() {
    TUiPorts ports = ui_.Ports();
    ports.newPeerPrompt = &prompt_;
    ctx_ = std::make_unique<TProgramContext>(folder_.Path(),
                                             std::vector<std::string>{(folder_ / "tarnix").string()},
                                             ports, loop_, factories_);
    return *ctx_;
  }

  // Runs the program's main loop and the peer's until condition holds.
  bool Pump(TCoreTestHost& peer, const std::function<bool()>& condition) {
    return WaitFor([&] {
      loop_.RunOnce();
      peer.Drain();
      return condition();
    });
  }

  void WriteProgramConfig(int port, const std::function<void(const TXMLConfigType&)>& members = {}) {
    WriteConfig([&](const TXMLConfigType& c) {
      c.GetSetting().GetRegistation().SetName("alice");
      c.GetSetting().GetProfile().SetDispname("Alice");
      c.GetSetting().GetServer().SetPort(port);
      if (members) members(c);
    });
  }

  static void AddStoredMember(const TXMLConfigType& c, const std::string& name, const std::string& addr,
                              int port) {
    TXMLMemberType m = c.GetMemberList().Add();
    m.SetName(name);
    m.SetDispname(name);
    m.SetAuth("");
    m.SetAddr(addr);
    m.SetPort(port);
    m.SetAnonymous(false);
  }

  TFakeNewPeerPrompt prompt_;
};

TEST_F(MemberCoreStartup, ConnectingToOneselfShowsItsMessageAndEndsThePass) {
  const int port = FreePort();
  WriteProgramConfig(port, [&](const TXMLConfigType& c) {
    AddStoredMember(c, "me", "localhost", port);
    AddStoredMember(c, "later", "127.0.0.1", FreePort());
  });
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  ASSERT_EQ(ui_.messageBox.shown.size(), 1u);
  EXPECT_EQ(ui_.messageBox.shown[0].text, "This member is this program itself.");
  EXPECT_EQ(ui_.messageBox.shown[0].caption, "Connection");
  EXPECT_EQ(ui_.messageBox.shown[0].type, kMbOk | kMbIconError);
  EXPECT_EQ(CoreManager(ctx)->Count(), 0) << "the member after the failing one was not tried";
  EXPECT_TRUE(log_.Contains("Server started."));
  EXPECT_TRUE(CoreServer(ctx)->Listening());
  ExitProgram(ctx, true);
  EXPECT_TRUE(log_.Contains("Terminating server..."));
}

TEST_F(MemberCoreStartup, AMemberComesOnlineIsSavedWithItsKeyAndIsDisconnectedAtFinalize) {
  TCoreTestHost bob("bob");
  bob.Start();
  const THCMemberPtr aliceAtBob = bob.AddMember("alice");
  WriteProgramConfig(FreePort(), [&](const TXMLConfigType& c) {
    AddStoredMember(c, "bob", "127.0.0.1", bob.Port());
  });
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  THCMemberList* members = CoreMembers(ctx);
  ASSERT_NE(members, nullptr);
  const THCMemberPtr bobAtAlice = members->FindByName("bob");
  ASSERT_TRUE(Pump(bob, [&] {
    return bobAtAlice->Online() && aliceAtBob->Online() && aliceAtBob->Node().GetDispname() == "Alice" &&
           SavedConfig().GetMemberList().Item(0).GetAuth() == bobAtAlice->Node().GetAuth();
  }));
  EXPECT_TRUE(std::regex_match(bobAtAlice->Node().GetAuth(), std::regex("[0-9a-f]{32}")));
  EXPECT_EQ(aliceAtBob->Node().GetAuth(), bobAtAlice->Node().GetAuth());
  EXPECT_TRUE(ui_.messageBox.shown.empty());

  ExitProgram(ctx, true);
  EXPECT_GE(log_.IndexOf("Disconnecting..bob"), 0);
  EXPECT_LT(log_.IndexOf("Disconnecting..bob"), log_.IndexOf("Terminating server..."));
  EXPECT_FALSE(ctx.members);
  EXPECT_FALSE(ctx.server);
  EXPECT_TRUE(WaitFor([&] {
    bob.Drain();
    return aliceAtBob->Link() == nullptr;
  }));
  EXPECT_EQ(SavedConfig().GetMemberList().Item(0).GetAuth(), aliceAtBob->Node().GetAuth());
}

TEST_F(MemberCoreStartup, AnUnknownPeerIsAskedAboutThroughThePromptPort) {
  const int port = FreePort();
  WriteProgramConfig(port);
  TProgramContext& ctx = MakeContextWithPrompt();
  ASSERT_TRUE(Start(ctx));
  TCoreTestHost bob("bob");
  bob.Start();
  const THCMemberPtr aliceAtBob = bob.AddMember("alice", "127.0.0.1", port);
  aliceAtBob->Connect();
  ASSERT_TRUE(Pump(bob, [&] { return static_cast<bool>(prompt_.pending); }));
  EXPECT_EQ(prompt_.names, (std::vector<std::string>{"bob"}));
  prompt_.pending(true);
  ASSERT_TRUE(Pump(bob, [&] {
    const THCMemberPtr added = CoreMembers(ctx)->FindByName("bob");
    return added && added->Online() && aliceAtBob->Online();
  }));
  EXPECT_EQ(CoreMembers(ctx)->FindByName("bob")->Node().GetAuth(), aliceAtBob->Node().GetAuth());
  ExitProgram(ctx, true);
}

}  // namespace
}  // namespace tarnix::test
