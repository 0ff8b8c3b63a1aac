// Two complete hosts in one process, connected over 127.0.0.1: key exchange,
// authentication with a known member, a wrong key, an unknown peer accepted or
// denied, an anonymous peer, a peer that leaves, the post-authentication
// exchange (display name, state, picture, link parameters, version) and the
// saved configuration.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include <algorithm>
#include <regex>
#include <string>

#include "app/config/hcConfig.h"
#include "core/manager/BuddyIcon.h"
#include "core/members/PresenceStates.h"
#include "tests/support/BitmapBytes.h"
#include "tests/support/CoreTestHost.h"
#include "tests/support/LogCapture.h"
#include "plugin/sdk/HCRecords.h"
#include "transport/connection/TranserThread.h"
#include "transport/wire/HostMessages.h"

namespace tarnix {
namespace {

using test::PumpUntil;
using test::TCoreTestHost;

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

int IndexOf(const std::vector<std::string>& lines, const std::string& line) {
  const auto it = std::find(lines.begin(), lines.end(), line);
  return it == lines.end() ? -1 : static_cast<int>(it - lines.begin());
}

// The member named name in the host's configuration file as it was last saved.
std::string SavedAuthOf(const TCoreTestHost& host, const std::string& name) {
  const TXMLConfigType saved = LoadConfig(ConfigFile::ForProgramFolder(host.Folder()));
  const TXMLMemberListType list = saved.GetMemberList();
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Item(i).GetName() == name) return list.Item(i).GetAuth();
  }
  return "<absent>";
}

TEST(ConnectE2E, EmptyKeysAreGeneratedAdoptedAndBothSidesGoOnlineWithTheirProfiles) {
  test::TLogCapture log;
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  alice.config.GetSetting().GetSender().SetBuffersize(65536);
  bob.config.GetSetting().GetSender().SetBuffersize(32767);
  alice.Start();
  bob.Start();
  const std::vector<uint8_t> picture = test::MakeBitmap(4, 3);
  test::WriteFile(OwnBuddyIconPath(alice.Folder()),
                  std::string(picture.begin(), picture.end()));
  bob.members->SetOwnState(kStateBusy);

  const THCMemberPtr bobAtAlice = alice.AddMemberFor(bob);
  const THCMemberPtr aliceAtBob = bob.AddMember("alice");  // no address, no port
  alice.members->ConnectAll();
  const TMemberLinkState started = bobAtAlice->LinkState();
  EXPECT_TRUE(started == TMemberLinkState::Connecting || started == TMemberLinkState::Authenticating);

  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return bobAtAlice->Online() && aliceAtBob->Online(); }));
  const std::string key = bobAtAlice->Node().GetAuth();
  EXPECT_TRUE(std::regex_match(key, std::regex("[0-9a-f]{32}"))) << key;
  EXPECT_EQ(aliceAtBob->Node().GetAuth(), key) << "the receiving side adopts the key";
  EXPECT_TRUE(log.Contains("Trying authentication to bob"));
  EXPECT_TRUE(log.Contains("Authentication OK: alice"));
  EXPECT_TRUE(log.Contains("Authentication OK: bob"));

  // The post-authentication exchange of both sides, then the saves.
  const auto picturePath = BuddyIconPath(bob.Folder(), "alice");
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    return aliceAtBob->Node().GetDispname() == "alice display" &&
           bobAtAlice->Node().GetDispname() == "bob display" && bobAtAlice->State() == kStateBusy &&
           aliceAtBob->State() == kStateOnline && aliceAtBob->Version() != TMemberVersion{} &&
           bobAtAlice->Version() != TMemberVersion{} && std::filesystem::exists(picturePath) &&
           aliceAtBob->Node().GetPort() == alice.Port() && bobAtAlice->Link()->BufferSize() == 32767 &&
           SavedAuthOf(alice, "bob") == key && SavedAuthOf(bob, "alice") == key;
  }));
  EXPECT_EQ(test::ReadFile(picturePath), std::string(picture.begin(), picture.end()));
  EXPECT_FALSE(std::filesystem::exists(BuddyIconPath(alice.Folder(), "bob"))) << "bob has no picture";
  const TMemberVersion expected = ParseProgramVersion(kProgramVersion);
  EXPECT_EQ(aliceAtBob->Version(), expected);
  // Link parameters: 65536 against 32767 gives 32767 on both links; bob's entry
  // for alice had neither address nor port, so it learns both.
  EXPECT_EQ(aliceAtBob->Link()->BufferSize(), 32767);
  EXPECT_EQ(aliceAtBob->Node().GetAddr(), "127.0.0.1");
  EXPECT_EQ(bobAtAlice->Node().GetPort(), bob.Port());
  EXPECT_EQ(bobAtAlice->Node().GetAddr(), "127.0.0.1");

  // "member/transernotify" 1 comes before the main window's handler.
  const std::string id = std::to_string(bobAtAlice->UserID());
  const auto timeline = alice.Timeline();
  EXPECT_LT(IndexOf(timeline, "transernotify " + id + " 1"), IndexOf(timeline, "authenticated " + id));
  EXPECT_TRUE(Contains(timeline, "notify " + id + " 1"));
}

TEST(ConnectE2E, WrongKeyIsRefusedAndTheConnectingSideShowsInvalidKey) {
  test::TLogCapture log;
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  alice.Start();
  bob.Start();
  const THCMemberPtr bobAtAlice = alice.AddMemberFor(bob, "key-of-alice");
  const THCMemberPtr aliceAtBob = bob.AddMember("alice", "", 0, "key-of-bob");
  alice.members->ConnectAll();
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    return !alice.Boxes().empty() && bobAtAlice->Link() == nullptr;
  }));
  const auto boxes = alice.Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "Invalid key for bob.");
  EXPECT_EQ(boxes[0].caption, "mainform/CONNECTION_ERROR");
  EXPECT_EQ(boxes[0].type, 0x10u);
  EXPECT_FALSE(bobAtAlice->Online());
  EXPECT_FALSE(aliceAtBob->Online());
  EXPECT_EQ(aliceAtBob->Node().GetAuth(), "key-of-bob");
  EXPECT_TRUE(log.Contains("Authentication NG: alice"));
  EXPECT_TRUE(log.Contains("Authentication NG: bob"));
  EXPECT_TRUE(bob.Boxes().empty());
}

// Fault mended: the receiving side used to drop a member's working link before
// comparing the key, so anyone who knew a user name could knock that member
// offline. Now the old link is replaced only for a peer that has the key.
TEST(ConnectE2E, AWrongKeyUnderAKnownNameLeavesTheWorkingLinkAlone) {
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  TCoreTestHost impostor("alice");
  alice.Start();
  bob.Start();
  impostor.Start();
  const THCMemberPtr bobAtAlice = alice.AddMemberFor(bob);
  const THCMemberPtr aliceAtBob = bob.AddMember("alice");
  alice.members->ConnectAll();
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return bobAtAlice->Online() && aliceAtBob->Online(); }));
  const TTranserThreadPtr workingLink = aliceAtBob->Link();

  const THCMemberPtr bobAtImpostor = impostor.AddMemberFor(bob, "guessed");
  impostor.members->ConnectAll();
  ASSERT_TRUE(PumpUntil({&alice, &bob, &impostor}, [&] { return !impostor.Boxes().empty(); }));
  EXPECT_EQ(aliceAtBob->Link(), workingLink);
  EXPECT_TRUE(aliceAtBob->Online());
  EXPECT_TRUE(aliceAtBob->Connected());
  EXPECT_TRUE(bobAtAlice->Online());

  // The real alice, connecting again with the key, does replace the old link.
  const THCMemberPtr secondBob = alice.AddMemberFor(bob);
  secondBob->Node().SetName("bob");
  secondBob->Node().SetAuth(bobAtAlice->Node().GetAuth());
  secondBob->Connect();
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    return secondBob->Online() && aliceAtBob->Online() && aliceAtBob->Link() != workingLink;
  }));
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return bobAtAlice->Link() == nullptr; }))
      << "the replaced link ended on both sides";
}

TEST(ConnectE2E, AnUnknownPeerAcceptedByTheUserBecomesAMember) {
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  alice.Start();
  bob.Start();
  bob.SetNewPeerAnswer(true);
  const THCMemberPtr bobAtAlice = alice.AddMemberFor(bob);
  alice.members->ConnectAll();
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    const THCMemberPtr added = bob.members->FindByName("alice");
    return bobAtAlice->Online() && added && added->Online() &&
           added->Node().GetDispname() == "alice display" && SavedAuthOf(bob, "alice") != "<absent>";
  }));
  const auto prompts = bob.NewPeers();
  ASSERT_EQ(prompts.size(), 1u);
  EXPECT_EQ(prompts[0].name, "alice");
  EXPECT_EQ(prompts[0].key, bobAtAlice->Node().GetAuth());
  const THCMemberPtr added = bob.members->FindByName("alice");
  EXPECT_EQ(added->Node().GetAuth(), bobAtAlice->Node().GetAuth());
  EXPECT_EQ(added->Node().GetPort(), alice.Port()) << "link parameters of a member without address";
  EXPECT_FALSE(added->Anonymous());
  EXPECT_EQ(SavedAuthOf(bob, "alice"), bobAtAlice->Node().GetAuth());
}

TEST(ConnectE2E, AnUnknownPeerDeniedGetsResultTwoAndNoMessageBox) {
  test::TLogCapture log;
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  alice.Start();
  bob.Start();
  bob.SetNewPeerAnswer(false);
  const THCMemberPtr bobAtAlice = alice.AddMemberFor(bob);
  alice.members->ConnectAll();
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    return !bob.NewPeers().empty() && bobAtAlice->Link() == nullptr && log.Contains("Authentication NG: bob");
  }));
  EXPECT_TRUE(alice.Boxes().empty());
  EXPECT_EQ(bob.members->Count(), 0);
  EXPECT_FALSE(bobAtAlice->Online());
}

TEST(ConnectE2E, AnUnansweredPromptLeavesThePeerWaitingAndAnAnswerAfterItLeftDoesNothing) {
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  alice.Start();
  bob.Start();
  const THCMemberPtr bobAtAlice = alice.AddMemberFor(bob);
  alice.members->ConnectAll();
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return !bob.NewPeers().empty(); }));
  EXPECT_EQ(bobAtAlice->LinkState(), TMemberLinkState::Authenticating);
  const TNewPeerRequest request = bob.NewPeers()[0];
  bobAtAlice->Disconnect();
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return bob.manager->Count() == 0; }));
  bob.manager->AcceptNewPeer(true, request);
  EXPECT_EQ(bob.members->Count(), 0);
}

TEST(ConnectE2E, AnAnonymousPeerIsOnlineAtOnceAndNeverSaved) {
  test::TLogCapture log;
  TCoreTestHost anonymous("");
  TCoreTestHost bob("bob");
  anonymous.Start();
  bob.Start();
  // An empty own name and the anonymous key make the request anonymous.
  const THCMemberPtr bobAtAnonymous = anonymous.AddMemberFor(bob, "@@fahpahgwn");
  bob.AddMember("carol");
  anonymous.members->ConnectAll();
  ASSERT_TRUE(PumpUntil({&anonymous, &bob}, [&] {
    const THCMemberPtr m = bob.members->FindByName("@@fahpahgwn");
    return m && m->Online();
  }));
  const THCMemberPtr m = bob.members->FindByName("@@fahpahgwn");
  EXPECT_TRUE(m->Anonymous());
  EXPECT_EQ(m->Node().GetAuth(), "@@fahpahgwn");
  EXPECT_EQ(m->Node().GetDispname(), "@@fahpahgwn");
  EXPECT_TRUE(bob.NewPeers().empty());
  EXPECT_FALSE(log.Contains("Authentication OK: @@fahpahgwn"));
  SaveConfig(bob.config);
  EXPECT_EQ(SavedAuthOf(bob, "@@fahpahgwn"), "<absent>");
  EXPECT_EQ(SavedAuthOf(bob, "carol"), "");
  EXPECT_TRUE(m->Online()) << "the save does not touch the anonymous member";
  // No result message comes back to an anonymous peer.
  EXPECT_TRUE(PumpUntil({&anonymous, &bob}, [&] { return bob.sync.Pending() == 0; }));
  EXPECT_FALSE(bobAtAnonymous->Online());
}

TEST(ConnectE2E, APeerThatLeavesIsOfflineAndPluginsHearOfItBeforeTheMainWindow) {
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  alice.Start();
  bob.Start();
  const THCMemberPtr bobAtAlice = alice.AddMemberFor(bob);
  const THCMemberPtr aliceAtBob = bob.AddMember("alice");
  alice.members->ConnectAll();
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    return bobAtAlice->Online() && aliceAtBob->Online() && aliceAtBob->State() == kStateOnline;
  }));
  bobAtAlice->Disconnect();
  const std::string id = std::to_string(aliceAtBob->UserID());
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    return Contains(bob.Timeline(), "disconnected " + id) && bobAtAlice->Link() == nullptr;
  }));
  EXPECT_EQ(aliceAtBob->State(), 0);
  EXPECT_FALSE(aliceAtBob->Online());
  EXPECT_EQ(aliceAtBob->Link(), nullptr);
  EXPECT_EQ(aliceAtBob->LinkState(), TMemberLinkState::Idle);
  const auto timeline = bob.Timeline();
  const int event = IndexOf(timeline, "transernotify " + id + " 10");
  ASSERT_GE(event, 0);
  EXPECT_LT(event, IndexOf(timeline, "disconnected " + id));
  EXPECT_LT(IndexOf(timeline, "transernotify " + id + " 9"), event);
}

TEST(ConnectE2E, StateAndNameChangesAndANewerVersionCodeReachThePeer) {
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  std::vector<std::string> alerts;
  bob.services.CreateService("ui/alert", [&alerts](std::intptr_t wParam, std::intptr_t) {
    const auto& record = *reinterpret_cast<const AlertRecord*>(wParam);
    alerts.push_back(std::to_string(record.Kind) + "|" + record.Title + "|" + record.Text + "|" +
                     std::to_string(record.DisplayTime) + "|" + std::to_string(record.Option3));
    return std::intptr_t{0};
  });
  alice.Start();
  bob.Start();
  const THCMemberPtr bobAtAlice = alice.AddMemberFor(bob);
  const THCMemberPtr aliceAtBob = bob.AddMember("alice");
  alice.members->ConnectAll();
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    return aliceAtBob->Online() && aliceAtBob->State() == kStateOnline && bobAtAlice->Online();
  }));
  EXPECT_TRUE(alerts.empty()) << "13 is this program's own revision";

  alice.members->SetOwnState(kStateTelephoning);
  alice.config.GetSetting().GetProfile().SetDispname("Alice (new)");
  alice.members->BroadcastDisplayName();
  alice.manager->SendInternal(bobAtAlice->Link(), imVersionCode, BuildInt32Message(14));
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    return aliceAtBob->State() == kStateTelephoning &&
           aliceAtBob->Node().GetDispname() == "Alice (new)" && !alerts.empty();
  }));
  EXPECT_EQ(alerts, (std::vector<std::string>{"0|main/MSG_NEWVER|main/MSG_NEWVERDESC|0|-1"}));
  EXPECT_GE(bob.Refreshes(), 2);
}

TEST(ConnectE2E, AFailedConnectionGivesTwoThenTen) {
  TCoreTestHost alice("alice");
  alice.Start();
  int closedPort = 0;
  {
    TCoreTestHost gone("gone");
    gone.Start();
    closedPort = gone.Port();
  }
  const THCMemberPtr m = alice.AddMember("gone", "127.0.0.1", closedPort);
  m->Connect();
  const std::string id = std::to_string(m->UserID());
  ASSERT_TRUE(PumpUntil({&alice}, [&] { return Contains(alice.Timeline(), "disconnected " + id); }));
  const auto timeline = alice.Timeline();
  EXPECT_LT(IndexOf(timeline, "transernotify " + id + " 2"), IndexOf(timeline, "transernotify " + id + " 10"));
  EXPECT_EQ(m->LinkState(), TMemberLinkState::Idle);
}

// A listener that answers every connection with a banner of another version.
class TWrongBannerPeer {
 public:
  TWrongBannerPeer() {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(fd_, 1);
    getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] {
      const int client = accept(fd_, nullptr, nullptr);
      if (client < 0) return;
      const char banner[] = "StreamWeaver Protocol Version 9.99";
      (void)!write(client, banner, 34);
      char sink[64];
      while (read(client, sink, sizeof sink) > 0) {
      }
      close(client);
    });
  }
  ~TWrongBannerPeer() {
    shutdown(fd_, SHUT_RDWR);
    close(fd_);
    thread_.join();
  }
  int Port() const { return port_; }

 private:
  int fd_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST(ConnectE2E, AWrongBannerReachesTheMainWindowAsCodeTwenty) {
  test::TLogCapture log;
  TCoreTestHost alice("alice");
  alice.Start();
  TWrongBannerPeer peer;
  const THCMemberPtr m = alice.AddMember("old", "127.0.0.1", peer.Port());
  m->Connect();
  const std::string id = std::to_string(m->UserID());
  ASSERT_TRUE(PumpUntil({&alice}, [&] { return Contains(alice.Timeline(), "notify " + id + " 10"); }));
  const auto timeline = alice.Timeline();
  EXPECT_GE(IndexOf(timeline, "notify " + id + " 20"), 0);
  EXPECT_LT(IndexOf(timeline, "notify " + id + " 20"), IndexOf(timeline, "notify " + id + " 10"));
  EXPECT_EQ(IndexOf(timeline, "transernotify " + id + " 20"), -1) << "plugins hear of 2, 9 and 10 only";
  EXPECT_TRUE(log.Contains("Protocol version is invaid: 127.0.0.1:" + std::to_string(peer.Port())));
}

TEST(ConnectE2E, DeletingAConnectedMemberDisconnectsItAndRemovesItsElement) {
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  alice.Start();
  bob.Start();
  const THCMemberPtr bobAtAlice = alice.AddMemberFor(bob);
  const THCMemberPtr aliceAtBob = bob.AddMember("alice");
  alice.members->ConnectAll();
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return bobAtAlice->Online() && aliceAtBob->Online(); }));
  alice.members->Delete(0, true);
  EXPECT_EQ(alice.config.GetMemberList().Count(), 0);
  EXPECT_TRUE(bobAtAlice->Removed());
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] {
    return aliceAtBob->Link() == nullptr && alice.manager->Count() == 0;
  }));
}

TEST(LocalServer, APortInUseStillLogsServerStartedAndOutgoingConnectionsWork) {
  test::TLogCapture log;
  TCoreTestHost bob("bob");
  bob.Start();
  TCoreTestHost alice("alice");
  alice.config.GetSetting().GetServer().SetPort(bob.Port());  // taken by bob
  alice.server = std::make_unique<THCServer>(alice.context, *alice.members, *alice.manager);
  alice.server->StartListening();
  EXPECT_FALSE(alice.server->Listening());
  const auto lines = log.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Server started."), 2);
  TCoreTestHost carol("carol");
  carol.Start();
  const THCMemberPtr carolAtAlice = alice.AddMemberFor(carol);
  carol.AddMember("alice");
  carolAtAlice->Connect();
  EXPECT_TRUE(PumpUntil({&alice, &carol}, [&] { return carolAtAlice->Online(); }));
  alice.server->StopListening();
  EXPECT_FALSE(log.Contains("Terminating server...")) << "a server that never listened is not stopped";
}

TEST(LocalServer, WhileFinalizingAPeerIsAcceptedAndClosedAtOnce) {
  TCoreTestHost alice("alice");
  TCoreTestHost bob("bob");
  alice.Start();
  bob.Start();
  bob.finalizing = true;
  const THCMemberPtr bobAtAlice = alice.AddMemberFor(bob);
  bobAtAlice->Connect();
  const std::string id = std::to_string(bobAtAlice->UserID());
  ASSERT_TRUE(PumpUntil({&alice, &bob}, [&] { return Contains(alice.Timeline(), "disconnected " + id); }));
  EXPECT_EQ(bob.manager->Count(), 0);
  EXPECT_FALSE(bobAtAlice->Online());
}

}  // namespace
}  // namespace tarnix
