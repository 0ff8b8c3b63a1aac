// The API objects over a real member core: the member list, member,
// configuration and settings views, the task view over a live connection, and
// the two stream adapters. Every getter makes a new view, views kept after
// their member or connection is gone answer their failure values, and bad
// input never crashes the host.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "app/config/hcConfig.h"
#include "plugin/api/PluginTaskViews.h"
#include "plugin/api/THCPConfig.h"
#include "plugin/api/THCPStream.h"
#include "plugin/api/THCPTranser.h"
#include "plugin/api/THCStream.h"
#include "plugin/sdk/THCMemoryStream.h"
#include "tests/plugin/PluginTestHost.h"
#include "tests/support/LogCapture.h"
#include "transport/connection/TranserThread.h"

namespace tarnix {
namespace {

namespace fs = std::filesystem;
using plugintest::TPluginTestHost;
using test::PumpUntil;

std::string Utf8(HCBSTR text) {
  return TBstr::Adopt(text).ToUtf8();
}

bool IsNullText(HCBSTR text) {
  const bool null = text == nullptr;
  HCBstrFree(text);
  return null;
}

TBstr Text(std::string_view text) {
  return TBstr::FromUtf8(text);
}

// One host, and a handler over a context with every port set.
class ViewTest : public testing::Test {
 protected:
  ViewTest() {
    auto context = std::make_shared<THCHandlerContext>(*host_.context);
    context->ports.logined = [] { return true; };
    context->ports.myAddress = [] { return std::string("192.0.2.7"); };
    context->ports.serviceUrl = [] { return std::string("http://service.invalid/"); };
    context->ports.refreshOwnState = [this] { ++refreshes_; };
    context->ports.openSession = [this](const std::string& mine, const std::string& partner,
                                        bool inviter) {
      session_ = mine + "|" + partner + "|" + (inviter ? "1" : "0");
      return partner == "known";
    };
    handler_ = THCHandler::Create(context);
  }

  HCPtr<IHCPMemberList> List() { return HCPtr<IHCPMemberList>::Adopt(handler_->MemberList()); }
  HCPtr<IHCPConfig> Config() { return HCPtr<IHCPConfig>::Adopt(handler_->Config()); }
  HCPtr<IHCPSetting> Setting() { return HCPtr<IHCPSetting>::Adopt(handler_->Setting()); }
  TXMLMemberListType Entries() { return host_.core.config.GetMemberList(); }

  TPluginTestHost host_{"alice"};
  HCPtr<IHCHandler> handler_;
  int refreshes_ = 0;
  std::string session_;
};

TEST_F(ViewTest, EveryGetterMakesANewViewAndAHandlerWithoutCoreShowsNone) {
  host_.core.AddMember("bob");
  EXPECT_NE(List().Get(), List().Get());
  EXPECT_NE(Config().Get(), Config().Get());
  EXPECT_NE(Setting().Get(), Setting().Get());
  const HCPtr<IHCPMemberList> list = List();
  const HCPtr<IHCPMember> first = HCPtr<IHCPMember>::Adopt(list->Members(0));
  const HCPtr<IHCPMember> second = HCPtr<IHCPMember>::Adopt(list->Members(0));
  ASSERT_TRUE(first && second);
  EXPECT_NE(first.Get(), second.Get());
  EXPECT_EQ(first->UserID(), second->UserID());
  EXPECT_TRUE(first.Query<IHCPMember>());
  EXPECT_FALSE(first.Query<IHCPConfig>());

  const HCPtr<IHCHandler> bare = THCHandler::Create(THCHandlerContext{});
  EXPECT_EQ(bare->MemberList(), nullptr);
  EXPECT_EQ(bare->Config(), nullptr);
  EXPECT_EQ(bare->Setting(), nullptr);
  EXPECT_EQ(bare->OpenSession(nullptr, nullptr, HC_TRUE), 0);
}

TEST_F(ViewTest, MemberListPositionsOutsideTheListAnswerTheirFailureValues) {
  const THCMemberPtr bob = host_.core.AddMember("bob");
  host_.core.AddMember("carol");
  const HCPtr<IHCPMemberList> list = List();
  ASSERT_EQ(list->Count(), 2);
  EXPECT_EQ(list->IndexOf(bob->UserID()), 0);
  EXPECT_EQ(list->IndexOf(0), -1);
  EXPECT_EQ(list->IndexOf(-5), -1);
  for (const int32_t index : {-1, 2, INT32_MIN, INT32_MAX}) {
    EXPECT_EQ(list->Members(index), nullptr) << index;
    EXPECT_EQ(list->Delete(index), HCPE_ALLRIGHT) << index;
  }
  EXPECT_EQ(list->Count(), 2);
  EXPECT_EQ(Entries().Count(), 2);

  EXPECT_EQ(list->Delete(0), HCPE_ALLRIGHT);
  EXPECT_EQ(list->Count(), 1);
  ASSERT_EQ(Entries().Count(), 1);
  EXPECT_EQ(Entries().Item(0).GetName(), "carol");
}

TEST_F(ViewTest, AddTakesTheAddressOnlyWhileTheConnectionServiceIsOff) {
  struct TCase {
    bool serviceEnabled;
    std::string addr;
    int port;
  };
  for (const TCase& expected : {TCase{true, "", 8007}, TCase{false, "198.51.100.9", 9000}}) {
    host_.core.config.GetSetting().GetRegistation().SetEnabled(expected.serviceEnabled);
    const std::string name = expected.serviceEnabled ? "viaservice" : "direct";
    const HCPtr<IHCPMember> added =
        HCPtr<IHCPMember>::Adopt(List()->Add(Text(name).Get(), Text("198.51.100.9").Get(), 9000));
    ASSERT_TRUE(added) << name;
    EXPECT_EQ(Utf8(added->name()), name);
    EXPECT_EQ(Utf8(added->DisplayName()), name);
    const TXMLMemberType entry = Entries().Item(Entries().Count() - 1);
    EXPECT_EQ(entry.GetName(), name);
    EXPECT_EQ(entry.GetAuth(), "");
    EXPECT_EQ(entry.GetAddr(), expected.addr) << name;
    EXPECT_EQ(entry.GetPort(), expected.port) << name;
    // The run-time address stays empty, so nothing is connected yet.
    EXPECT_EQ(Utf8(added->Address()), "");
    EXPECT_FALSE(added->Connected());
  }
  EXPECT_EQ(List()->Count(), 2);
}

TEST_F(ViewTest, MemberViewReadsAndWritesTheMemberAndItsEntry) {
  const THCMemberPtr bob = host_.core.AddMember("bob");
  bob->SetAddress("203.0.113.4");
  bob->SetPort(8123);
  const HCPtr<IHCPMember> view = HCPtr<IHCPMember>::Adopt(List()->Members(0));
  EXPECT_EQ(view->UserID(), bob->UserID());
  EXPECT_EQ(Utf8(view->name()), "bob");
  EXPECT_EQ(Utf8(view->Address()), "203.0.113.4");
  EXPECT_EQ(view->port(), 8123);
  EXPECT_EQ(view->IsAnonymous(), HC_FALSE);
  EXPECT_EQ(view->Connected(), HC_FALSE);
  EXPECT_EQ(view->Transer(), nullptr);
  EXPECT_EQ(Utf8(view->GetBubbyIcon()),
            (host_.core.Folder() / "config" / "bubbyicon" / "bob.bmp").string());

  view->put_DisplayName(Text("Bobby").Get());
  EXPECT_EQ(bob->Node().GetDispname(), "Bobby");
  EXPECT_EQ(Utf8(view->DisplayName()), "Bobby");
  view->put_State(4);
  EXPECT_EQ(bob->State(), 4);
  EXPECT_EQ(view->State(), 4);
}

TEST_F(ViewTest, AMemberViewKeptAfterItsMemberWasDeletedAnswersFailureValues) {
  host_.core.AddMember("bob");
  const HCPtr<IHCPMember> view = HCPtr<IHCPMember>::Adopt(List()->Members(0));
  const int32_t id = view->UserID();
  List()->Delete(0);
  ASSERT_EQ(Entries().Count(), 0);
  EXPECT_TRUE(IsNullText(view->name()));
  EXPECT_TRUE(IsNullText(view->DisplayName()));
  EXPECT_TRUE(IsNullText(view->Address()));
  EXPECT_TRUE(IsNullText(view->GetBubbyIcon()));
  EXPECT_EQ(view->State(), 0);
  EXPECT_EQ(view->port(), 0);
  EXPECT_EQ(view->Connected(), HC_FALSE);
  EXPECT_EQ(view->IsAnonymous(), HC_FALSE);
  EXPECT_EQ(view->Transer(), nullptr);
  view->put_DisplayName(Text("ghost").Get());  // writes into nothing
  view->put_State(3);
  view->Connect();
  EXPECT_EQ(view->UserID(), id);
  EXPECT_EQ(Entries().Count(), 0);
}

TEST_F(ViewTest, ConfigViewShowsTheOwnAccountProfileAndPorts) {
  const TXMLSettingType setting = host_.core.config.GetSetting();
  setting.GetServer().SetPort(8077);
  setting.GetSender().SetBuffersize(4096);
  const HCPtr<IHCPConfig> config = Config();
  EXPECT_EQ(Utf8(config->name()), "alice");
  config->put_name(Text("alicia").Get());
  EXPECT_EQ(setting.GetRegistation().GetName(), "alicia");
  config->put_DisplayName(Text("アリス").Get());
  EXPECT_EQ(setting.GetProfile().GetDispname(), "アリス");
  EXPECT_EQ(Utf8(config->DisplayName()), "アリス");
  EXPECT_EQ(config->port(), 8077);
  EXPECT_EQ(config->BufferSize(), 4096);
  EXPECT_EQ(config->Logined(), HC_TRUE);
  EXPECT_EQ(Utf8(config->IPAddress()), "192.0.2.7");
  EXPECT_EQ(Utf8(config->ServiceURL()), "http://service.invalid/");
  const fs::path folder = host_.core.Folder();
  EXPECT_EQ(Utf8(config->BubbyIcon()), (folder / "config" / "bubbyicon" / "myself.bmp").string());
  EXPECT_EQ(Utf8(config->StrangerIcon()),
            (folder / "plugins" / "system" / "bubbyicon" / "@stranger.bmp").string());

  // Without the connection service's ports: not logged in, no address.
  const HCPtr<IHCPConfig> bare = THCPConfig::Create(host_.context);
  EXPECT_EQ(bare->Logined(), HC_FALSE);
  EXPECT_EQ(Utf8(bare->IPAddress()), "");
}

TEST_F(ViewTest, SettingTheOwnStateToItsValueStillRefreshesTheMainWindow) {
  const HCPtr<IHCPConfig> config = Config();
  const int32_t current = host_.core.members->OwnState();
  EXPECT_EQ(config->State(), current);
  config->put_State(current);
  EXPECT_EQ(refreshes_, 1);
  EXPECT_EQ(host_.core.members->OwnState(), current);
  config->put_State(5);
  EXPECT_EQ(refreshes_, 2);
  EXPECT_EQ(host_.core.members->OwnState(), 5);
  EXPECT_EQ(config->State(), 5);
}

TEST_F(ViewTest, GetSettingAddsOneEmptyElementAndSetSettingStoresAndSaves) {
  const HCPtr<IHCPSetting> setting = Setting();
  const TXMLPluginType plugins = host_.core.config.GetSetting().GetPlugin();
  auto childCount = [&](const char* name) {
    int count = 0;
    for (pugi::xml_node child : plugins.Node().children(name)) {
      (void)child;
      ++count;
    }
    return count;
  };
  const std::string empty = Utf8(setting->GetSetting("chat"));
  EXPECT_EQ(Utf8(setting->GetSetting("chat")), empty);
  EXPECT_NE(empty.find("chat"), std::string::npos);
  EXPECT_EQ(childCount("chat"), 1);

  EXPECT_EQ(setting->SetSetting("chat", Text("<chat><font size=\"9\">明朝</font></chat>").Get()),
            HCPE_ALLRIGHT);
  EXPECT_EQ(childCount("chat"), 1);
  EXPECT_EQ(Utf8(setting->GetSetting("chat")), "<chat><font size=\"9\">明朝</font></chat>");
  // Saved: the file read again holds the element.
  const TXMLConfigType saved = LoadConfig(ConfigFile::ForProgramFolder(host_.core.Folder()));
  EXPECT_EQ(NodeXml(saved.GetSetting().GetPlugin().Node().child("chat")),
            "<chat><font size=\"9\">明朝</font></chat>");

  // Text that does not parse is refused and the stored element stays.
  for (const char* broken : {"<chat><open></chat>", "", "plain text", "<a/><b/>"}) {
    EXPECT_EQ(setting->SetSetting("chat", Text(broken).Get()), HCPE_INTERNAL_ERROR) << broken;
    EXPECT_EQ(Utf8(setting->GetSetting("chat")), "<chat><font size=\"9\">明朝</font></chat>")
        << broken;
  }
}

TEST_F(ViewTest, SettingViewRefusesBadModuleNamesAndReadsLanguageAndSendCount) {
  host_.core.config.GetSyscon().SetLanguage("Japanese");
  host_.core.config.GetSetting().GetSender().SetMaxsendcount(12);
  const HCPtr<IHCPSetting> setting = Setting();
  EXPECT_EQ(Utf8(setting->Language()), "Japanese");
  EXPECT_EQ(setting->MaxSendCount(), 12);
  EXPECT_EQ(setting->SetSetting(nullptr, Text("<x/>").Get()), HCPE_INTERNAL_ERROR);
  EXPECT_TRUE(IsNullText(setting->GetSetting(nullptr)));
  const pugi::xml_node plugins = host_.core.config.GetSetting().GetPlugin().Node();
  const size_t before = std::distance(plugins.begin(), plugins.end());
  for (const char* bad : {"", "1chat", "a b", "<x>", "x/y"}) {
    EXPECT_TRUE(IsNullText(setting->GetSetting(bad))) << bad;
  }
  EXPECT_EQ(static_cast<size_t>(std::distance(plugins.begin(), plugins.end())), before);
}

TEST_F(ViewTest, OpenSessionRunsTheSessionStepWithUtf8NamesAndTheLowWordOfInviter) {
  EXPECT_EQ(handler_->OpenSession(Text("mine").Get(), Text("known").Get(), HC_TRUE), 1);
  EXPECT_EQ(session_, "mine|known|1");
  // Only the low 16 bits of a BOOL count.
  EXPECT_EQ(handler_->OpenSession(Text("mine").Get(), Text("stranger").Get(), 0x10000), 0);
  EXPECT_EQ(session_, "mine|stranger|0");
  EXPECT_EQ(handler_->OpenSession(nullptr, nullptr, 0), 0);
  EXPECT_EQ(session_, "||0");
}

// Two hosts connected over 127.0.0.1, for the task view.
class TranserViewTest : public testing::Test {
 protected:
  void SetUp() override {
    alice_.core.Start();
    bob_.core.Start();
    bobAtAlice_ = alice_.core.AddMemberFor(bob_.core);
    aliceAtBob_ = bob_.core.AddMember("alice");
    alice_.core.members->ConnectAll();
    ASSERT_TRUE(Pump([&] { return bobAtAlice_->Online() && aliceAtBob_->Online(); }));
    const HCPtr<IHCHandler> handler = THCHandler::Create(alice_.context);
    const HCPtr<IHCPMemberList> list = HCPtr<IHCPMemberList>::Adopt(handler->MemberList());
    member_ = HCPtr<IHCPMember>::Adopt(list->Members(list->IndexOf(bobAtAlice_->UserID())));
    ASSERT_TRUE(member_);
  }

  bool Pump(const std::function<bool()>& condition) {
    return PumpUntil({&alice_.core, &bob_.core}, condition);
  }
  HCPtr<IHCPTranser> Transer() { return HCPtr<IHCPTranser>::Adopt(member_->Transer()); }

  TPluginTestHost alice_{"alice"};
  TPluginTestHost bob_{"bob"};
  THCMemberPtr bobAtAlice_;
  THCMemberPtr aliceAtBob_;
  HCPtr<IHCPMember> member_;
};

TEST_F(TranserViewTest, GetTaskCopiesTheRecordWithItsTextsBehindIt) {
  EXPECT_EQ(member_->Connected(), HC_TRUE);
  const HCPtr<IHCPTranser> transer = Transer();
  ASSERT_TRUE(transer);
  EXPECT_NE(transer.Get(), Transer().Get());
  const HCPtr<IHCStream> data = THCMemoryStream::CreateWith(std::vector<uint8_t>(10, 0xAB));
  int64_t uid = 0;
  // Held so that the task stays as created while it is read. The hosts' own
  // "internal" messages may still be in flight: count relative to them.
  transer->Lock();
  const int32_t tasksBefore = transer->TaskCount();
  const int32_t sendersBefore = transer->GetSenderTasks();
  const int32_t receiversBefore = transer->GetReceiverTasks();
  ASSERT_EQ(transer->NewTask(Text("abc").Get(), data.Get(), 9, Text("xy").Get(), HCPT_COMPRESSED,
                             HCBT_STREAM, nullptr, &uid),
            HCPE_ALLRIGHT);
  const HCRESULT needed = transer->GetTask(uid, nullptr);
  EXPECT_EQ(needed, static_cast<HCRESULT>(sizeof(TTranserTaskInfo) + 4 + 3));
  std::vector<char> buffer(static_cast<size_t>(needed) + 8, '\x55');
  ASSERT_EQ(transer->GetTask(uid, buffer.data()), HCPE_ALLRIGHT);
  TTranserTaskInfo info;
  std::memcpy(&info, buffer.data(), sizeof info);
  EXPECT_EQ(info.TaskUID, uid);
  EXPECT_EQ(info.TaskName, buffer.data() + sizeof(TTranserTaskInfo));
  EXPECT_STREQ(info.TaskName, "abc");
  EXPECT_EQ(info.InitialInfo, buffer.data() + sizeof(TTranserTaskInfo) + 4);
  EXPECT_STREQ(info.InitialInfo, "xy");
  EXPECT_EQ(buffer[needed], '\x55') << "nothing written past the copy";
  EXPECT_EQ(info.Size, 10);
  EXPECT_EQ(info.Position, 0);
  EXPECT_EQ(info.State, HCTS_NEW);
  EXPECT_EQ(info.Stream, data.Get()) << "the plugin's own stream, borrowed";
  EXPECT_EQ(info.Direction, HCTD_SEND);
  EXPECT_EQ(info.BufferType, HCBT_STREAM);
  EXPECT_EQ(info.PacketType, HCPT_COMPRESSED);
  EXPECT_EQ(info.Result, HCTR_NONE);
  EXPECT_EQ(info.Tag, 9u);
  EXPECT_EQ(info.Reserved1, 0);
  EXPECT_EQ(transer->TaskCount(), tasksBefore + 1);
  EXPECT_EQ(transer->GetSenderTasks(), sendersBefore + 1);
  EXPECT_EQ(transer->GetReceiverTasks(), receiversBefore);
  transer->Unlock();
  // The peer has no service for "abc" and denies it: the task ends and goes.
  EXPECT_TRUE(Pump([&] { return transer->GetTask(uid, nullptr) == HCPE_INVALID_ARG; }));
}

TEST_F(TranserViewTest, UnknownTasksAndTheReservedNameAnswerFailureValues) {
  const HCPtr<IHCPTranser> transer = Transer();
  std::vector<char> buffer(512);
  EXPECT_EQ(transer->GetTask(12345, nullptr), HCPE_INVALID_ARG);
  EXPECT_EQ(transer->GetTask(12345, buffer.data()), HCPE_INVALID_ARG);
  EXPECT_EQ(transer->DenyTask(12345), HCPE_INVALID_ARG);
  EXPECT_EQ(transer->AbortTask(12345), HCPE_INVALID_ARG);
  EXPECT_EQ(transer->SuspendTask(12345), HCPE_INVALID_ARG);
  EXPECT_EQ(transer->ResumeTask(12345), HCPE_INVALID_ARG);
  EXPECT_EQ(transer->AcceptTask(12345, nullptr, 0), HCPE_FAILED);
  const size_t adapters = THCStreamAdapters::Count();
  const HCPtr<IHCStream> stream = THCMemoryStream::Create();
  EXPECT_EQ(transer->AcceptTask(12345, stream.Get(), 0), HCPE_FAILED);
  EXPECT_EQ(THCStreamAdapters::Count(), adapters) << "the refused adapter is not kept";

  int64_t uid = 77;
  EXPECT_EQ(transer->NewTask(Text("internal").Get(), stream.Get(), 0, nullptr, 0, HCBT_STREAM,
                             nullptr, &uid),
            HCPE_INTERNAL_ERROR);
  EXPECT_EQ(uid, 0);
  // A stream task without a stream and an unknown buffer type are refused too.
  uid = 77;
  EXPECT_EQ(transer->NewTask(Text("abc").Get(), nullptr, 0, nullptr, 0, HCBT_STREAM, nullptr, &uid),
            HCPE_INTERNAL_ERROR);
  EXPECT_EQ(uid, 0);
  EXPECT_EQ(transer->NewTask(Text("abc").Get(), stream.Get(), 0, nullptr, 0, 7, nullptr, nullptr),
            HCPE_INTERNAL_ERROR);
  EXPECT_EQ(THCStreamAdapters::Count(), adapters);
}

TEST_F(TranserViewTest, LockAndUnlockPairPerThreadAcrossViewsAndAStrayUnlockIsIgnored) {
  const HCPtr<IHCPTranser> first = Transer();
  const HCPtr<IHCPTranser> second = Transer();
  std::recursive_mutex& taskLock = bobAtAlice_->Link()->Tasks().Mutex();
  auto lockedElsewhere = [&] {
    std::atomic<bool> free{false};
    std::thread([&] {
      if (taskLock.try_lock()) {
        free = true;
        taskLock.unlock();
      }
    }).join();
    return !free;
  };
  first->Unlock();  // never locked: ignored
  EXPECT_FALSE(lockedElsewhere());
  first->Lock();
  second->Lock();
  EXPECT_TRUE(lockedElsewhere());
  // An Unlock from another thread does not release this thread's lock.
  std::thread([&] { second->Unlock(); }).join();
  EXPECT_TRUE(lockedElsewhere());
  second->Unlock();
  EXPECT_TRUE(lockedElsewhere());
  first->Unlock();
  EXPECT_FALSE(lockedElsewhere());
  first->Unlock();
  EXPECT_FALSE(lockedElsewhere());
}

TEST_F(TranserViewTest, ATaskViewKeptAfterItsConnectionEndedAnswersFailureValues) {
  const HCPtr<IHCPTranser> transer = Transer();
  EXPECT_GT(transer->ConnectingTime() + 1, 0u);
  bobAtAlice_->Disconnect();
  ASSERT_TRUE(Pump([&] { return bobAtAlice_->Link() == nullptr; }));
  EXPECT_EQ(member_->Connected(), HC_FALSE);
  EXPECT_EQ(member_->Transer(), nullptr);
  const HCPtr<IHCStream> stream = THCMemoryStream::CreateWith(std::vector<uint8_t>(4, 1));
  int64_t uid = 77;
  EXPECT_EQ(
      transer->NewTask(Text("abc").Get(), stream.Get(), 0, nullptr, 0, HCBT_STREAM, nullptr, &uid),
      HCPE_INTERNAL_ERROR);
  EXPECT_EQ(uid, 0);
  EXPECT_EQ(transer->TaskCount(), 0);
  EXPECT_EQ(transer->GetTask(uid, nullptr), HCPE_INVALID_ARG);
  EXPECT_EQ(transer->AbortTask(uid), HCPE_INVALID_ARG);
  transer->Lock();
  transer->Unlock();
}

TEST_F(TranserViewTest, AMemberConnectedButNotYetAuthenticatedHasNoTaskView) {
  TPluginTestHost carol("carol");
  carol.core.Start();  // carol does not know alice: alice waits for carol's user
  const THCMemberPtr carolAtAlice = alice_.core.AddMemberFor(carol.core);
  alice_.core.members->ConnectAll();
  ASSERT_TRUE(
      PumpUntil({&alice_.core, &carol.core}, [&] { return !carol.core.NewPeers().empty(); }));
  ASSERT_TRUE(carolAtAlice->Link());
  ASSERT_FALSE(carolAtAlice->Online());
  const HCPtr<IHCPMemberList> list =
      HCPtr<IHCPMemberList>::Adopt(THCHandler::Create(alice_.context)->MemberList());
  const HCPtr<IHCPMember> view =
      HCPtr<IHCPMember>::Adopt(list->Members(alice_.core.members->IndexOf(carolAtAlice.get())));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->Transer(), nullptr);
  EXPECT_EQ(view->Connected(), HC_FALSE);
}

// A plugin stream that counts its references and can be made to fail.
class TCountingStream final : public THCObject<IHCStream> {
 public:
  static TCountingStream* Create(std::atomic<int>& alive) { return new TCountingStream(alive); }
  uint32_t HCCALL Read(void*, uint32_t) override {
    if (fail) throw std::runtime_error("read fault");
    return 0;
  }
  uint32_t HCCALL Write(const void*, uint32_t size) override { return size; }
  int64_t HCCALL Seek(int64_t offset, int32_t) override { return offset; }
  intptr_t HCCALL handle() override { return 0; }
  bool fail = false;

 private:
  explicit TCountingStream(std::atomic<int>& alive) : alive_(alive) { ++alive_; }
  ~TCountingStream() override { --alive_; }
  std::atomic<int>& alive_;
};

TEST(StreamAdapters, APluginStreamIsKeptUntilItsTaskIsFreedAndFaultsBecomeHostErrors) {
  std::atomic<int> alive{0};
  HCPtr<IHCStream> plugin = HCPtr<IHCStream>::Adopt(TCountingStream::Create(alive));
  const size_t before = THCStreamAdapters::Count();
  THCStream* adapter = THCStreamAdapters::Adopt(plugin.Get());
  ASSERT_NE(adapter, nullptr);
  EXPECT_EQ(THCStreamAdapters::Adopt(nullptr), nullptr);
  EXPECT_EQ(THCStreamAdapters::Count(), before + 1);
  EXPECT_EQ(THCStreamAdapters::PluginStreamOf(adapter), plugin.Get());
  plugin.Reset();
  EXPECT_EQ(alive, 1) << "the adapter holds the plugin's stream";
  EXPECT_EQ(adapter->Seek(int64_t{1} << 40, TSeekOrigin::Beginning), int64_t{1} << 40);
  uint8_t byte = 0;
  EXPECT_EQ(adapter->Write(&byte, 1), 1);
  static_cast<TCountingStream*>(THCStreamAdapters::PluginStreamOf(adapter))->fail = true;
  EXPECT_THROW(adapter->Read(&byte, 1), std::runtime_error);

  TMemoryStream host;
  THCStreamAdapters::Release(&host);  // not an adapter: ignored
  EXPECT_EQ(THCStreamAdapters::Count(), before + 1);
  THCStreamAdapters::Release(adapter);
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(THCStreamAdapters::Count(), before);
}

TEST(HostStreamViews, AnOwningViewSeeksIn64BitsAndALentViewGoesDeadWithItsLender) {
  auto owned = std::make_unique<TMemoryStream>(std::vector<uint8_t>{1, 2, 3, 4});
  TStream* const raw = owned.get();
  const HCPtr<IHCStream> view = THCPStream::CreateOwning(std::move(owned));
  EXPECT_EQ(view->handle(), reinterpret_cast<intptr_t>(raw));
  uint8_t bytes[8] = {};
  EXPECT_EQ(view->Read(bytes, 8), 4u);
  EXPECT_EQ(bytes[3], 4);
  EXPECT_EQ(view->Read(nullptr, 8), 0u);
  EXPECT_EQ(view->Write(nullptr, 8), 0u);
  // Offsets beyond 32 bits are kept whole.
  EXPECT_EQ(view->Seek((int64_t{1} << 32) + 5, 0), (int64_t{1} << 32) + 5);
  EXPECT_EQ(view->Seek(-1, 2), 3);
  EXPECT_EQ(view->Seek(0, 3), -1);

  TMemoryStream chunk(std::vector<uint8_t>{9, 8, 7});
  std::shared_ptr<IHCStream> lent = LendHostStream(&chunk);
  ASSERT_TRUE(lent);
  EXPECT_EQ(LentViewOf(&chunk), lent.get());
  HCPtr<IHCStream> kept = HCPtr<IHCStream>::Share(lent.get());  // a plugin keeps it
  EXPECT_EQ(kept->Read(bytes, 8), 3u);
  lent.reset();
  EXPECT_EQ(LentViewOf(&chunk), nullptr);
  EXPECT_EQ(kept->Read(bytes, 8), 0u);
  EXPECT_EQ(kept->Write(bytes, 1), 0u);
  EXPECT_EQ(kept->Seek(0, 0), -1);
  EXPECT_EQ(kept->handle(), 0);
  EXPECT_EQ(chunk.Size(), 3);
}

TEST(TaskRouteViews, ShowMembersOfTheListAndGiveThePluginItsOwnStreamBack) {
  TPluginTestHost host("alice");
  const THCMemberPtr bob = host.core.AddMember("bob");
  const THCTaskRouteHooks hooks = MakePluginTaskRouteHooks(host.context);
  const std::shared_ptr<IHCPMember> view = hooks.memberView(*bob);
  ASSERT_TRUE(view);
  EXPECT_EQ(view->UserID(), bob->UserID());
  host.core.members->Delete(0, true);
  EXPECT_FALSE(hooks.memberView(*bob)) << "a member no longer in the list has no view";

  const HCPtr<IHCStream> plugin = THCMemoryStream::Create();
  THCStream* adapter = THCStreamAdapters::Adopt(plugin.Get());
  EXPECT_EQ(hooks.streamView(adapter).get(), plugin.Get());
  hooks.releaseStream(adapter);
  EXPECT_EQ(THCStreamAdapters::PluginStreamOf(adapter), nullptr);
  TMemoryStream host2;
  EXPECT_EQ(LentViewOf(&host2), nullptr);
  {
    const std::shared_ptr<IHCStream> lent = hooks.streamView(&host2);
    EXPECT_EQ(LentViewOf(&host2), lent.get());
  }
  EXPECT_EQ(LentViewOf(&host2), nullptr);
}

}  // namespace
}  // namespace tarnix
