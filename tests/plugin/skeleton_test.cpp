// The plugin skeleton, driven in-process through its exports over a real bus:
// information strings, initialisation and its undoing, termination, the hooks,
// the task and internal-message services, and the host-service helpers.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "plugin/sdk/THCMemoryStream.h"
#include "plugin/sdk/THCPluginSkeleton.h"
#include "tests/plugin/PluginFakes.h"

namespace tarnix {
namespace {

using plugintest::TFakeTranser;
using plugintest::TTestBus;
using plugintest::TTestHandler;

// A plugin that records what the framework calls on it.
class TRecordingPlugin : public THCPluginSkeleton {
 public:
  explicit TRecordingPlugin(std::vector<std::string>& events) : events_(events) {
    SetInfo(HCPI_NAME, "chat");
    SetInfo(HCPI_CAPTION, "0123456789");
    SetInfo(HCPI_DESCRIPTION, "\xE3\x81\x82\xE3\x81\x84");  // two 3-byte characters
  }
  bool failInitialize = false;
  int32_t taskAnswer = HCPE_ALLRIGHT;

  void OnInitialize() override {
    events_.push_back("OnInitialize");
    if (failInitialize) throw std::runtime_error("refused");
  }
  void OnTerminate() override { events_.push_back("OnTerminate"); }
  void OnLoaded() override { events_.push_back("OnLoaded"); }
  void OnFinalize() override { events_.push_back("OnFinalize"); }
  void OnMemberStateChange(IHCPMember* member, int32_t value) override {
    events_.push_back("OnMemberStateChange " + Who(member) + " " + std::to_string(value));
  }
  void OnMemberTranserNotify(IHCPMember* member, int32_t code) override {
    events_.push_back("OnMemberTranserNotify " + Who(member) + " " + std::to_string(code));
  }
  int32_t OnTask(IHCPMember* member, TTranserTaskInfo* info, int32_t type) override {
    events_.push_back("OnTask " + Who(member) + " " + std::to_string(type) + " " +
                      std::to_string(info->TaskUID));
    info->Tag = 77;
    return taskAnswer;
  }
  void OnInternalMessage(IHCPMember* member, const THCInternalMessage& message) override {
    std::string data = message.Data == nullptr
                           ? "null"
                           : std::string(static_cast<const char*>(message.Data), message.Size);
    events_.push_back("OnInternalMessage " + Who(member) + " " + std::to_string(message.Code) +
                      " " + std::to_string(message.Size) + " " + data);
  }

 private:
  static std::string Who(IHCPMember* member) {
    return member == nullptr ? "null" : std::to_string(member->UserID());
  }
  std::vector<std::string>& events_;
};

// An object handed to the framework, recording its destruction.
struct TOwned {
  TOwned(std::vector<std::string>& events, std::string name)
      : events(events), name(std::move(name)) {}
  ~TOwned() { events.push_back("destroyed " + name); }
  std::vector<std::string>& events;
  std::string name;
};

class SkeletonTest : public testing::Test {
 protected:
  void SetUp() override {
    plugin_ = std::make_unique<TRecordingPlugin>(events_);
    ASSERT_EQ(CurrentSkeleton(), plugin_.get());
    shared_->members = {{42, transer_}, {43, nullptr}};
  }
  void TearDown() override {
    if (CurrentSkeleton() == plugin_.get() && plugin_->Initialized()) SkeletonTerminate();
  }

  HCPtr<IHCHandler> NewHandler() { return TTestHandler::Create(bus_, shared_); }
  int32_t InitializeWithNewHandler() {
    HCPtr<IHCHandler> handler = NewHandler();
    return SkeletonInitialize(handler.Get());
  }
  intptr_t Call(const std::string& service, intptr_t wParam, intptr_t lParam) {
    return bus_.services.CallService(bus_.services.GetService(service), wParam, lParam);
  }

  TTestBus bus_;
  std::shared_ptr<TTestHandler::TShared> shared_ = std::make_shared<TTestHandler::TShared>();
  std::shared_ptr<TFakeTranser::TState> transer_ = std::make_shared<TFakeTranser::TState>();
  std::vector<std::string> events_;
  std::unique_ptr<TRecordingPlugin> plugin_;
};

TEST_F(SkeletonTest, GetPluginInfoCopiesWithinTheBufferAndRefusesBadArguments) {
  struct Case {
    int32_t index;
    int32_t bufferSize;
    bool nullBuffer;
    int32_t answer;
    std::string text;  // what the buffer holds afterwards
  };
  const Case cases[] = {
      {HCPI_INTERFACE_VERSION, 256, false, 3, "0.4"},
      {HCPI_NAME, 256, false, 4, "chat"},
      {HCPI_CAPTION, 4, false, 3, "012"},               // BufferSize - 1 characters and a NUL
      {HCPI_CAPTION, 1, false, 0, ""},                  // room for the NUL only
      {HCPI_DESCRIPTION, 5, false, 3, "\xE3\x81\x82"},  // never half a character
      {-1, 256, false, 0, "untouched"},
      {7, 256, false, 0, "untouched"},
      {HCPI_COPYRIGHT, 256, false, 0, "untouched"},  // an empty string
      {HCPI_NAME, 0, false, 0, "untouched"},
      {HCPI_NAME, -5, false, 0, "untouched"},
      {HCPI_NAME, 256, true, 0, ""},
  };
  for (const Case& c : cases) {
    char buffer[256] = "untouched";
    EXPECT_EQ(SkeletonGetPluginInfo(c.index, c.nullBuffer ? nullptr : buffer, c.bufferSize),
              c.answer)
        << c.index << "/" << c.bufferSize;
    if (!c.nullBuffer) {
      EXPECT_EQ(std::string(buffer), c.text) << c.index << "/" << c.bufferSize;
    }
  }
}

TEST_F(SkeletonTest, InitializeRegistersTwoServicesAndTheFourHooks) {
  ASSERT_EQ(InitializeWithNewHandler(), HCPE_ALLRIGHT);
  EXPECT_TRUE(plugin_->Initialized());
  EXPECT_EQ(plugin_->InternalMessageName(), "chat/internalmsg");
  EXPECT_EQ(bus_.ServiceNames(), (std::vector<std::string>{"transer/tasknotify/chat",
                                                           "transer/tasknotify/chat/internalmsg"}));
  EXPECT_EQ(bus_.EventNames(),
            (std::vector<std::string>{"system/loaded", "member/statechange", "member/transernotify",
                                      "system/finalize"}));
  EXPECT_EQ(plugin_->TaskNotifyService(), bus_.services.GetService("transer/tasknotify/chat"));
  EXPECT_EQ(plugin_->DebugService(), 0u);  // no "debug" service on this bus
  EXPECT_EQ(events_, std::vector<std::string>{"OnInitialize"});
  EXPECT_EQ(shared_->alive, 1);  // the plugin keeps its own reference
}

TEST_F(SkeletonTest, ASecondInitializeIsRefusedAndKeepsTheFirstHandler) {
  HCPtr<IHCHandler> first = NewHandler();
  ASSERT_EQ(SkeletonInitialize(first.Get()), HCPE_ALLRIGHT);
  EXPECT_EQ(InitializeWithNewHandler(), HCPE_INTERNAL_ERROR);
  EXPECT_EQ(plugin_->Handler(), first.Get());
  EXPECT_EQ(bus_.ServiceNames().size(), 2u);
  EXPECT_EQ(SkeletonInitialize(nullptr), HCPE_INTERNAL_ERROR);
}

TEST_F(SkeletonTest, AFailedInitializeLeavesNothingRegisteredAndNoReferenceHeld) {
  plugin_->failInitialize = true;
  EXPECT_EQ(InitializeWithNewHandler(), HCPE_INTERNAL_ERROR);
  EXPECT_FALSE(plugin_->Initialized());
  EXPECT_TRUE(bus_.ServiceNames().empty());
  EXPECT_TRUE(bus_.EventNames().empty());
  EXPECT_EQ(shared_->alive, 0);
  EXPECT_EQ(SkeletonTerminate(), HCPE_UNINITIALIZED_ERROR);
  // It can be tried again.
  plugin_->failInitialize = false;
  EXPECT_EQ(InitializeWithNewHandler(), HCPE_ALLRIGHT);
}

TEST_F(SkeletonTest, TerminateDestroysOwnedObjectsDeletesServicesThenReleasesTheHandler) {
  ASSERT_EQ(InitializeWithNewHandler(), HCPE_ALLRIGHT);
  plugin_->Own(std::make_unique<TOwned>(events_, "first"));
  plugin_->Own(std::make_unique<TOwned>(events_, "second"));
  events_.clear();

  EXPECT_EQ(SkeletonTerminate(), HCPE_ALLRIGHT);
  EXPECT_EQ(events_,
            (std::vector<std::string>{"destroyed first", "destroyed second", "OnTerminate"}));
  EXPECT_TRUE(bus_.ServiceNames().empty());
  EXPECT_TRUE(bus_.EventNames().empty());  // no procedure left pointing into the plugin
  EXPECT_EQ(shared_->alive, 0);
  EXPECT_EQ(CurrentSkeleton(), nullptr);
  // A second Terminate finds no skeleton; the other exports answer their
  // failure values too.
  EXPECT_EQ(SkeletonTerminate(), HCPE_UNINITIALIZED_ERROR);
  char buffer[16] = "untouched";
  EXPECT_EQ(SkeletonGetPluginInfo(HCPI_NAME, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "untouched");
  EXPECT_EQ(InitializeWithNewHandler(), HCPE_INTERNAL_ERROR);
}

TEST_F(SkeletonTest, TerminateBeforeInitializeAnswersUninitialized) {
  EXPECT_EQ(SkeletonTerminate(), HCPE_UNINITIALIZED_ERROR);
  EXPECT_EQ(CurrentSkeleton(), plugin_.get());
}

TEST_F(SkeletonTest, HooksTurnEventsIntoVirtualCalls) {
  ASSERT_EQ(InitializeWithNewHandler(), HCPE_ALLRIGHT);
  events_.clear();
  bus_.events.NotifyEvent("system/loaded", 0, 0);
  bus_.events.NotifyEvent("member/statechange", 42, 3);
  bus_.events.NotifyEvent("member/statechange", 999, 4);  // nobody has 999
  bus_.events.NotifyEvent("member/transernotify", 43, 1);
  bus_.events.NotifyEvent("member/transernotify", 999, 9);  // not called for nobody
  bus_.events.NotifyEvent("system/finalize", 0, 0);
  EXPECT_EQ(events_, (std::vector<std::string>{"OnLoaded", "OnMemberStateChange 42 3",
                                               "OnMemberStateChange null 4",
                                               "OnMemberTranserNotify 43 1", "OnFinalize"}));
}

TEST_F(SkeletonTest, TaskServiceAnswersOnTaskAndHandsTheTagBack) {
  ASSERT_EQ(InitializeWithNewHandler(), HCPE_ALLRIGHT);
  events_.clear();
  HCPtr<IHCPMember> member = plugintest::TFakeMember::Create(42, transer_);
  TTranserTaskInfo info{};
  info.TaskUID = 5;
  TTaskNotifyData data{member.Get(), &info};
  plugin_->taskAnswer = 123;
  EXPECT_EQ(Call("transer/tasknotify/chat", HCTN_ARRIVED, reinterpret_cast<intptr_t>(&data)), 123);
  EXPECT_EQ(info.Tag, 77u);
  EXPECT_EQ(events_, std::vector<std::string>{"OnTask 42 1 5"});
  EXPECT_EQ(Call("transer/tasknotify/chat", HCTN_ARRIVED, 0), HCPE_INVALID_ARG);
}

TEST_F(SkeletonTest, BaseOnTaskAnswersNotImplemented) {
  THCPluginSkeleton& base = *plugin_;
  TTranserTaskInfo info{};
  EXPECT_EQ(base.THCPluginSkeleton::OnTask(nullptr, &info, HCTN_ARRIVED), HCPE_NOTIMPLEMENT_ERROR);
}

class InternalMessageTest : public SkeletonTest {
 protected:
  void SetUp() override {
    SkeletonTest::SetUp();
    ASSERT_EQ(InitializeWithNewHandler(), HCPE_ALLRIGHT);
    member_ = plugintest::TFakeMember::Create(42, transer_);
    events_.clear();
  }
  // Announces a message; answers the stream the plugin accepted it into.
  HCPtr<IHCStream> Announce(int64_t uid) {
    TTranserTaskInfo info{};
    info.TaskUID = uid;
    info.Direction = HCTD_RECEIVE;
    TTaskNotifyData data{member_.Get(), &info};
    EXPECT_EQ(Call(kService, HCTN_ARRIVED, reinterpret_cast<intptr_t>(&data)), HCPE_ALLRIGHT);
    std::scoped_lock lock(transer_->mutex);
    if (transer_->accepted.empty() || transer_->accepted.back().first != uid) return nullptr;
    return transer_->accepted.back().second;
  }
  intptr_t Finish(IHCStream* stream, int32_t direction = HCTD_RECEIVE) {
    TTranserTaskInfo info{};
    info.Direction = direction;
    info.Stream = stream;
    TTaskNotifyData data{member_.Get(), &info};
    return Call(kService, HCTN_FINISHED, reinterpret_cast<intptr_t>(&data));
  }
  static void Put32(IHCStream& stream, uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    stream.Write(bytes, 4);
  }

  static constexpr const char* kService = "transer/tasknotify/chat/internalmsg";
  HCPtr<IHCPMember> member_;
};

TEST_F(InternalMessageTest, AnAnnouncedMessageIsAcceptedAndDeliveredWhenItEnds) {
  HCPtr<IHCStream> stream = Announce(9);
  ASSERT_TRUE(stream);
  Put32(*stream, static_cast<uint32_t>(-7));
  Put32(*stream, 5);
  stream->Write("hello", 5);  // the transport leaves the position at the end
  EXPECT_EQ(Finish(stream.Get()), HCPE_ALLRIGHT);
  EXPECT_EQ(events_, std::vector<std::string>{"OnInternalMessage 42 -7 5 hello"});
}

TEST_F(InternalMessageTest, AnEmptyMessageArrivesWithANullDataPointer) {
  HCPtr<IHCStream> stream = Announce(10);
  ASSERT_TRUE(stream);
  Put32(*stream, 3);
  Put32(*stream, 0);
  EXPECT_EQ(Finish(stream.Get()), HCPE_ALLRIGHT);
  EXPECT_EQ(events_, std::vector<std::string>{"OnInternalMessage 42 3 0 null"});
}

TEST_F(InternalMessageTest, AByteCountBeyondWhatArrivedIsRefusedWithoutDelivery) {
  struct Case {
    uint32_t count;
    std::string bytes;
  };
  const Case cases[] = {{6, "hello"}, {0xFFFFFFFFu, "x"}, {1, ""}};
  for (const Case& c : cases) {
    HCPtr<IHCStream> stream = THCMemoryStream::Create();
    Put32(*stream, 1);
    Put32(*stream, c.count);
    stream->Write(c.bytes.data(), static_cast<uint32_t>(c.bytes.size()));
    EXPECT_EQ(Finish(stream.Get()), HCPE_FAILED) << c.count;
  }
  HCPtr<IHCStream> shortHead = THCMemoryStream::Create();
  shortHead->Write("abc", 3);
  EXPECT_EQ(Finish(shortHead.Get()), HCPE_FAILED);
  EXPECT_TRUE(events_.empty());
}

TEST_F(InternalMessageTest, OtherNotificationsAreIgnored) {
  HCPtr<IHCStream> stream = THCMemoryStream::CreateWith(std::vector<uint8_t>(8, 0));
  EXPECT_EQ(Finish(stream.Get(), HCTD_SEND), HCPE_ALLRIGHT);  // our own message went out
  EXPECT_EQ(Finish(nullptr), HCPE_ALLRIGHT);                  // never accepted
  TTranserTaskInfo info{};
  TTaskNotifyData data{member_.Get(), &info};
  EXPECT_EQ(Call(kService, HCTN_PROGRESS, reinterpret_cast<intptr_t>(&data)), HCPE_ALLRIGHT);
  EXPECT_TRUE(events_.empty());
}

TEST_F(InternalMessageTest, AMemberWithoutTaskInterfaceFailsTheAnnouncement) {
  HCPtr<IHCPMember> stranger = plugintest::TFakeMember::Create(43, nullptr);
  TTranserTaskInfo info{};
  TTaskNotifyData data{stranger.Get(), &info};
  EXPECT_EQ(Call(kService, HCTN_ARRIVED, reinterpret_cast<intptr_t>(&data)), HCPE_INTERNAL_ERROR);
}

TEST_F(InternalMessageTest, SendInternalMessageWritesCodeCountAndBytesAsAnAutoStreamTask) {
  const uint8_t payload[] = {'h', 'i'};
  int64_t uid = 0;
  EXPECT_EQ(plugin_->SendInternalMessage(*member_, 258, payload, &uid), HCPE_ALLRIGHT);
  EXPECT_NE(uid, 0);
  std::scoped_lock lock(transer_->mutex);
  ASSERT_EQ(transer_->created.size(), 1u);
  const auto& task = transer_->created[0];
  EXPECT_EQ(task.name, "chat/internalmsg");
  EXPECT_EQ(task.bufferType, HCBT_AUTOSTREAM);
  EXPECT_EQ(task.data, (std::vector<uint8_t>{2, 1, 0, 0, 2, 0, 0, 0, 'h', 'i'}));

  HCPtr<IHCPMember> stranger = plugintest::TFakeMember::Create(43, nullptr);
  EXPECT_EQ(plugin_->SendInternalMessage(*stranger, 1, {}, &uid), HCPE_INTERNAL_ERROR);
  EXPECT_EQ(uid, 0);
}

TEST_F(SkeletonTest, ProceduresAnswerTheirFallbackOnceTheSkeletonIsGone) {
  ASSERT_EQ(InitializeWithNewHandler(), HCPE_ALLRIGHT);
  HCProc task = shared_->Proc("transer/tasknotify/chat");
  HCProc message = shared_->Proc("transer/tasknotify/chat/internalmsg");
  HCProc loaded = shared_->Proc("system/loaded");
  HCProc state = shared_->Proc("member/statechange");
  ASSERT_TRUE(task && message && loaded && state);
  ASSERT_EQ(SkeletonTerminate(), HCPE_ALLRIGHT);
  events_.clear();
  TTranserTaskInfo info{};
  TTaskNotifyData data{nullptr, &info};
  EXPECT_EQ(task(HCTN_ARRIVED, reinterpret_cast<intptr_t>(&data)), HCPE_NOTIMPLEMENT_ERROR);
  EXPECT_EQ(message(HCTN_ARRIVED, reinterpret_cast<intptr_t>(&data)), HCPE_NOTIMPLEMENT_ERROR);
  EXPECT_EQ(loaded(0, 0), 0);
  EXPECT_EQ(state(42, 1), 0);
  EXPECT_TRUE(events_.empty());
}

TEST_F(SkeletonTest, AlertAndMessengerHelpersCallTheirProvidersAndDoNothingWithoutOne) {
  EXPECT_EQ(Alert(1, -1, 0, "t", "m", 0, 0, 0, -1, 0, 0, 0),
            HCPE_NOTIMPLEMENT_ERROR);  // no handler
  ASSERT_EQ(InitializeWithNewHandler(), HCPE_ALLRIGHT);
  EXPECT_EQ(MessengerMakeSession(42), HCPE_NOTIMPLEMENT_ERROR);  // no provider

  std::vector<std::string> seen;
  bus_.services.CreateService("ui/alert", [&](intptr_t wParam, intptr_t lParam) -> intptr_t {
    const auto* r = reinterpret_cast<const AlertRecord*>(wParam);
    seen.push_back(std::to_string(r->Kind) + "|" + std::to_string(r->Reserved) + "|" +
                   std::to_string(r->DisplayTime) + "|" + r->Title + "|" + r->Text + "|" +
                   std::to_string(r->OwnerWindow) + "|" + std::to_string(r->Option1) + "|" +
                   std::to_string(r->Option2) + "|" + std::to_string(r->Option3) + "|" +
                   std::to_string(r->X) + "|" + std::to_string(r->Y) + "|" +
                   std::to_string(r->Flags) + "|" + std::to_string(lParam));
    return 5;
  });
  bus_.services.CreateService("messenger/MakeSession", [&](intptr_t wParam, intptr_t lParam) {
    seen.push_back("session " + std::to_string(wParam) + " " + std::to_string(lParam));
    return intptr_t{6};
  });
  EXPECT_EQ(Alert(2, -1, 30000, "Title", "Text", 99, -1, -1, -1, 10, 20, 8), 5);
  EXPECT_EQ(MessengerMakeSession(42), 6);
  EXPECT_EQ(seen, (std::vector<std::string>{"2|-1|30000|Title|Text|99|-1|-1|-1|10|20|8|0",
                                            "session 42 0"}));
}

TEST(SkeletonInstall, ASecondSkeletonNeverReplacesTheCurrentOne) {
  std::vector<std::string> events;
  TRecordingPlugin first(events);
  ASSERT_EQ(CurrentSkeleton(), &first);
  {
    TRecordingPlugin second(events);
    EXPECT_EQ(CurrentSkeleton(), &first);
  }
  EXPECT_EQ(CurrentSkeleton(), &first);
  // InstallSkeleton keeps only a skeleton that became the current one.
  EXPECT_FALSE(InstallSkeleton([]() -> std::unique_ptr<THCPluginSkeleton> {
    static std::vector<std::string> sink;
    return std::make_unique<TRecordingPlugin>(sink);
  }));
  EXPECT_FALSE(InstallSkeleton([]() -> std::unique_ptr<THCPluginSkeleton> {
    throw std::runtime_error("constructor failed");
  }));
  EXPECT_EQ(CurrentSkeleton(), &first);
}

}  // namespace
}  // namespace tarnix
