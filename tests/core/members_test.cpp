// THCMemberList and THCMember without a peer: loading from the configuration,
// Add, Delete, the look-ups, UserIDs, Connect's own-address and no-address
// rules, anonymous members and saving, presence texts, the program version.
#include <gtest/gtest.h>

#include <set>
#include <stdexcept>

#include "app/config/hcConfig.h"
#include "core/members/PresenceStates.h"
#include "core/members/ProgramVersion.h"
#include "tests/support/CoreTestHost.h"
#include "tests/support/LogCapture.h"

namespace tarnix {
namespace {

using test::TCoreTestHost;

// A configuration file with two stored members, one of them marked anonymous.
void WriteTwoMembers(TCoreTestHost& host) {
  const TXMLMemberListType list = host.config.GetMemberList();
  TXMLMemberType a = list.Add();
  a.SetName("alice");
  a.SetAuth("k1");
  a.SetPort(8100);
  a.SetAddr("");
  a.SetDispname("Alice");
  a.SetAnonymous(false);
  TXMLMemberType b = list.Add();
  b.SetName("bob");
  b.SetAuth("");
  b.SetPort(8200);
  b.SetAddr("example.invalid");
  b.SetDispname("Bob");
  b.SetAnonymous(true);
}

TEST(MemberList, CreateTakesTheStoredMembersInOrderAsNotAnonymous) {
  TCoreTestHost host("me");
  WriteTwoMembers(host);
  THCMemberList list(host.context, *host.manager);  // a second list over the same document
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.Get(0)->Name(), "alice");
  EXPECT_EQ(list.Get(1)->Name(), "bob");
  EXPECT_FALSE(list.Get(1)->Anonymous());
  // Without a stored address the port is not used: the member waits for one.
  EXPECT_EQ(list.Get(0)->Address(), "");
  EXPECT_EQ(list.Get(0)->Port(), 0);
  EXPECT_EQ(list.Get(1)->Address(), "example.invalid");
  EXPECT_EQ(list.Get(1)->Port(), 8200);
  EXPECT_EQ(list.Get(0)->LinkState(), TMemberLinkState::Idle);
  EXPECT_EQ(list.Get(0)->State(), 0);
  EXPECT_EQ(list.Get(0)->Version(), (TMemberVersion{0, 0, 0, 0}));
  EXPECT_EQ(list.Get(2), nullptr);
  EXPECT_EQ(list.Get(-1), nullptr);
}

TEST(MemberList, AddCreatesAFullEmptyElementAndDeleteFollowsItsFlag) {
  TCoreTestHost host("me");
  const TXMLMemberListType elements = host.config.GetMemberList();
  THCMemberPtr first = host.members->Add();
  EXPECT_EQ(elements.Count(), 1);
  const TXMLMemberType node = elements.Item(0);
  EXPECT_EQ(node.GetName(), "");
  EXPECT_EQ(node.GetAuth(), "");
  EXPECT_EQ(node.GetDispname(), "");
  EXPECT_EQ(node.GetAddr(), "");
  EXPECT_EQ(node.GetPort(), 0);
  EXPECT_FALSE(node.GetAnonymous());
  first->Node().SetName("first");
  host.members->Add()->Node().SetName("second");
  host.members->Add()->Node().SetName("third");

  host.members->Delete(-1, true);
  host.members->Delete(3, true);
  EXPECT_EQ(host.members->Count(), 3);

  host.members->Delete(0, false);  // the element stays
  EXPECT_EQ(host.members->Count(), 2);
  EXPECT_EQ(elements.Count(), 3);
  EXPECT_FALSE(first->Removed());

  host.members->Delete(0, true);  // "second" and its element go
  EXPECT_EQ(host.members->Count(), 1);
  EXPECT_EQ(elements.Count(), 2);
  EXPECT_EQ(host.members->Get(0)->Name(), "third");
}

TEST(MemberList, LookUpsFindTheFirstMatchOrMinusOne) {
  TCoreTestHost host("me");
  const THCMemberPtr a = host.AddMember("Ann");
  const THCMemberPtr b = host.AddMember("ann");
  EXPECT_EQ(host.members->IndexOfName("ann"), 1);  // exact, case-sensitive
  EXPECT_EQ(host.members->IndexOfName("ANN"), -1);
  EXPECT_EQ(host.members->IndexOf(b.get()), 1);
  EXPECT_EQ(host.members->IndexOfUserID(a->UserID()), 0);
  EXPECT_EQ(host.members->IndexOfUserID(0), -1);
  EXPECT_EQ(host.members->IndexOfNode(b->Node()), 1);
  EXPECT_EQ(host.members->IndexOfThread(nullptr), -1);
  EXPECT_EQ(host.members->FindByName("Ann"), a);
  EXPECT_EQ(host.members->FindByUserID(b->UserID()), b);
}

TEST(MemberList, UserIDsArePositiveAndUnique) {
  TCoreTestHost host("me");
  std::set<int32_t> ids;
  for (int i = 0; i < 200; ++i) {
    const int32_t id = host.members->Add()->UserID();
    EXPECT_GT(id, 0);
    EXPECT_LE(id, 2147483646);
    ids.insert(id);
  }
  EXPECT_EQ(ids.size(), 200u);
  const int32_t fresh = host.members->NewUserID();
  EXPECT_EQ(ids.count(fresh), 0u);
}

TEST(MemberConnect, WithoutAddressNothingHappens) {
  TCoreTestHost host("me");
  const THCMemberPtr m = host.AddMember("far", "", 8007);
  EXPECT_NO_THROW(m->Connect());
  EXPECT_EQ(m->Link(), nullptr);
  EXPECT_FALSE(m->Connecting());
  EXPECT_EQ(host.manager->Count(), 0);
}

TEST(MemberConnect, LocalhostOnTheOwnServerPortIsThisProgramItself) {
  TCoreTestHost host("me");
  host.Start();
  const THCMemberPtr m = host.AddMember("self", "localhost", host.Port());
  try {
    m->Connect();
    FAIL() << "connecting to oneself must raise";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "main/MSG_CNNTSELF");
  }
  EXPECT_EQ(m->Address(), "127.0.0.1") << "the name was resolved first";
  EXPECT_EQ(m->Link(), nullptr);
}

TEST(MemberConnect, AnUnresolvableNameRaisesAndConnectAllStopsThere) {
  TCoreTestHost host("me");
  host.AddMember("nowhere", "no-such-host.invalid", 8007);
  const THCMemberPtr later = host.AddMember("later", "127.0.0.1", 1);
  EXPECT_THROW(host.members->ConnectAll(), std::runtime_error);
  EXPECT_EQ(later->Link(), nullptr) << "the pass ended at the failing member";
}

TEST(MemberList, AnonymousMembersAreNeverSavedAndOutliveASave) {
  TCoreTestHost host("me");
  host.AddMember("kept");
  const THCMemberPtr anonymous = host.members->AddAnonymous();
  anonymous->Node().SetName("@@fahpahgwn");
  EXPECT_TRUE(anonymous->Anonymous());
  EXPECT_EQ(host.config.GetMemberList().Count(), 1) << "not in the configuration at all";
  SaveConfig(host.config);
  // Still usable after the save: its element was never the document's to drop.
  EXPECT_EQ(anonymous->Name(), "@@fahpahgwn");
  const TXMLConfigType reloaded = LoadConfig(ConfigFile::ForProgramFolder(host.Folder()));
  ASSERT_EQ(reloaded.GetMemberList().Count(), 1);
  EXPECT_EQ(reloaded.GetMemberList().Item(0).GetName(), "kept");
  EXPECT_EQ(host.members->Count(), 2);
}

TEST(MemberList, DestroyingTheListLogsAndLeavesTheConfigurationAlone) {
  TCoreTestHost host("me");
  host.AddMember("x");
  test::TLogCapture log;
  host.members.reset();
  EXPECT_TRUE(log.Contains("Members cleared."));
  EXPECT_EQ(host.config.GetMemberList().Count(), 1);
}

TEST(MemberList, SetOwnStateStoresOnlyAChange) {
  TCoreTestHost host("me");
  EXPECT_EQ(host.members->OwnState(), kStateOnline);
  host.members->SetOwnState(kStateBusy);
  EXPECT_EQ(host.members->OwnState(), kStateBusy);
}

TEST(PresenceStates, TextsComeFromSectionUtilsForZeroToSix) {
  const TTextLookup text = [](const std::string& section, const std::string& key) {
    return section + ":" + key;
  };
  EXPECT_EQ(PresenceText(text, 0), "Utils:OFFLINE");
  EXPECT_EQ(PresenceText(text, 3), "Utils:TEMPORARILY");
  EXPECT_EQ(PresenceText(text, 6), "Utils:LUNCHTIME");
  EXPECT_EQ(PresenceText(text, 7), "");
  EXPECT_EQ(PresenceText(text, -1), "");
}

TEST(ProgramVersion, OnlyFourNumericPartsAreSent) {
  EXPECT_EQ(ParseProgramVersion("0.5.15.123"), (TMemberVersion{0, 5, 15, 123}));
  EXPECT_EQ(ParseProgramVersion("0.5.15"), (TMemberVersion{0, 0, 0, 0}));
  EXPECT_EQ(ParseProgramVersion("1.2.3.4.5"), (TMemberVersion{0, 0, 0, 0}));
  EXPECT_EQ(ParseProgramVersion("1.2.x.4"), (TMemberVersion{0, 0, 0, 0}));
  EXPECT_EQ(ParseProgramVersion("1..3.4"), (TMemberVersion{0, 0, 0, 0}));
  EXPECT_EQ(ParseProgramVersion("1.2.3.70000"), (TMemberVersion{0, 0, 0, 0}));
  EXPECT_EQ(ParseProgramVersion(""), (TMemberVersion{0, 0, 0, 0}));
}

}  // namespace
}  // namespace tarnix
