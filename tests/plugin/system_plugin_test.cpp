// The built-in system plugin over a real member core: its registration as the
// first plugin, its information strings, the fifteen services in order and
// the results of each, with a fake main window and a fake HTTP fetch (the
// real client belongs to the network services); the guarded calls of the
// procedures plugins hand to the user interface; and the provider calls that
// do nothing without a provider.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/system/SystemUiCalls.h"
#include "plugin/system/THCPluginSystemRegisterer.h"
#include "tests/plugin/PluginTestHost.h"
#include "tests/support/LogCapture.h"
#include "transport/wire/WireFormat.h"

namespace tarnix {
namespace {

namespace fs = std::filesystem;
using plugintest::TPluginTestHost;

constexpr intptr_t kEFail = static_cast<int32_t>(0x80004005u);
constexpr intptr_t kEUnexpected = static_cast<int32_t>(0x8000FFFFu);
constexpr intptr_t kEHandle = static_cast<int32_t>(0x80070006u);
constexpr intptr_t kEInvalidArg = static_cast<int32_t>(0x80070057u);

const char* const kServices[] = {
    "system/AddAnonymous",    "system/DeleteAnonymous", "system/ConncectAsAnonymous",
    "system/GetNodeList",     "system/RegisterNode",    "system/UnRegisterNode",
    "system/ProcessMessages", "ui/toolmenu/add",        "ui/toolmenu/del",
    "ui/membermenu/add",      "ui/membermenu/del",      "ui/container/add",
    "ui/container/del",       "ui/settingpage/add",     "ui/settingpage/del",
};

// The main window as the system plugin sees it.
class TFakeUi final : public IHCSystemUi {
 public:
  struct TButton {
    std::string caption;
    std::string icon;
    HCProc click;
  };
  intptr_t AddToolButton(const std::string& caption, const std::string& icon,
                         HCProc click) override {
    buttons[++next] = {caption, icon, click};
    return next;
  }
  bool DeleteToolButton(intptr_t button) override { return buttons.erase(button) == 1; }
  bool AddMemberMenu(HCProc proc) override {
    memberMenus.push_back(proc);
    return true;
  }
  bool DeleteMemberMenu(HCProc proc) override {
    const auto it = std::find(memberMenus.begin(), memberMenus.end(), proc);
    if (it == memberMenus.end()) return false;
    memberMenus.erase(it);
    return true;
  }
  intptr_t AddContainer(const std::string& icon, HCProc proc) override {
    tabs[++next] = {ContainerCaption(proc), icon, proc};
    return next;
  }
  bool DeleteContainer(intptr_t tab) override { return tabs.erase(tab) == 1; }
  void ProcessMessages() override { ++processed; }

  intptr_t next = 1000;
  std::map<intptr_t, TButton> buttons;
  std::map<intptr_t, TButton> tabs;
  std::vector<HCProc> memberMenus;
  int processed = 0;
};

class TFakeHttp final : public IHttpFetch {
 public:
  std::optional<std::string> HttpGet(const std::string& url, const std::string& agent) override {
    urls.push_back(url);
    agents.push_back(agent);
    return reply;
  }
  std::optional<std::string> reply = std::string("ok");
  std::vector<std::string> urls;
  std::vector<std::string> agents;
};

intptr_t HCCALL Procedure(intptr_t, intptr_t) {
  return 0;
}
intptr_t HCCALL OtherProcedure(intptr_t, intptr_t) {
  return 0;
}
intptr_t HCCALL TabProcedure(intptr_t wParam, intptr_t lParam) {
  if (lParam == 2) std::strcpy(reinterpret_cast<char*>(wParam), "Chat tab");
  return 0;
}

class SystemPluginTest : public testing::Test {
 protected:
  SystemPluginTest() {
    auto context = std::make_shared<THCHandlerContext>(*host_.context);
    context->ports.serviceUrl = [] { return std::string("http://nodes.invalid/tarnix/"); };
    context->ports.getMemberAddress = [this](THCMember& member) {
      lookedUp_.push_back(member.Name());
      if (member.Name() == "broken") throw std::runtime_error("service unreachable");
      member.SetAddress("127.0.0.1");
      member.SetPort(bob_.core.Port());
      return 200;
    };
    context_ = context;
  }

  void SetUp() override {
    host_.core.Start();
    bob_.core.Start();
    ASSERT_EQ(CurrentSkeleton(), nullptr) << "another skeleton is still current";
    StartSystem({context_, http_, ui_.get()});
  }

  void StartSystem(THCSystemEnvironment environment) {
    auto registerer = std::make_unique<THCPluginSystemRegisterer>(
        [context = context_](const THCPlugin&) { return THCHandler::Create(context); },
        std::move(environment));
    registerer_ = registerer.get();
    ASSERT_TRUE(registerer->LoadModule("system"));
    std::unique_ptr<THCPlugin> plugin = std::move(registerer);
    ASSERT_TRUE(host_.plugins->AddPlugin(plugin));
  }

  intptr_t Call(const char* service, intptr_t wParam, intptr_t lParam) {
    return host_.Call(service, wParam, lParam);
  }
  intptr_t CallText(const char* service, const char* text, intptr_t lParam = 0) {
    return Call(service, reinterpret_cast<intptr_t>(text), lParam);
  }

  test::TLogCapture log_;
  TPluginTestHost host_{"alice"};
  TPluginTestHost bob_{"bob"};
  std::shared_ptr<const THCHandlerContext> context_;
  std::shared_ptr<TFakeHttp> http_ = std::make_shared<TFakeHttp>();
  std::shared_ptr<TFakeUi> ui_ = std::make_shared<TFakeUi>();
  std::vector<std::string> lookedUp_;
  THCPluginSystemRegisterer* registerer_ = nullptr;
};

TEST_F(SystemPluginTest, RegistersFirstWithItsStringsAndTheFifteenServicesInOrder) {
  ASSERT_EQ(host_.plugins->Count(), 1);
  const THCPlugin* system = host_.plugins->Items(0);
  EXPECT_EQ(system->FileName(), "system");
  EXPECT_FALSE(system->HasLibrary());
  EXPECT_EQ(system->InterfaceVersion(), "0.4");
  EXPECT_EQ(system->Name(), "system");
  EXPECT_EQ(system->Caption(), "システム");
  EXPECT_EQ(system->Description(), "システムモジュール");
  EXPECT_EQ(system->Author(), "quenmarsh");
  EXPECT_EQ(system->Copyright(), "");
  EXPECT_EQ(system->Version(), "0.4");
  EXPECT_TRUE(log_.Contains("Plugin loaded: system"));
  EXPECT_TRUE(log_.Contains("Plugin system: initialized."));
  EXPECT_EQ(SystemPlugin(), registerer_->System());
  EXPECT_EQ(CurrentSkeleton(), registerer_->System());

  std::vector<std::string> names;
  for (const auto& entry : host_.core.services.Entries()) names.push_back(entry.name);
  std::vector<std::string> expected = {"transer/tasknotify/system",
                                       "transer/tasknotify/system/internalmsg"};
  expected.insert(expected.end(), std::begin(kServices), std::end(kServices));
  EXPECT_EQ(names, expected);

  // A library comes after it, and at shutdown the system plugin goes first.
  ASSERT_TRUE(host_.LoadCopy(fs::path(TARNIX_TEST_PLUGIN_DIR) / "alpha.so"));
  ASSERT_EQ(host_.plugins->Count(), 2);
  EXPECT_EQ(host_.plugins->Items(1)->Name(), "alpha");
  host_.core.services.Clear();
  host_.core.events.Clear();
  host_.plugins->Clear();
  EXPECT_LT(log_.IndexOf("Plugin unloaded: system"), log_.IndexOf("Plugin unloaded: alpha"));
  EXPECT_EQ(SystemPlugin(), nullptr);
  EXPECT_EQ(CurrentSkeleton(), nullptr);
}

TEST_F(SystemPluginTest, AnAnonymousMemberIsLookedUpConnectedAndNeverTwice) {
  THCMemberList& members = *host_.core.members;
  EXPECT_EQ(CallText("system/AddAnonymous", "dave"), 0);
  const THCMemberPtr dave = members.FindByName("dave");
  ASSERT_TRUE(dave);
  EXPECT_TRUE(dave->Anonymous());
  EXPECT_EQ(dave->Node().GetDispname(), "dave");
  EXPECT_EQ(lookedUp_, std::vector<std::string>{"dave"});
  EXPECT_EQ(dave->LinkState(), TMemberLinkState::Connecting);
  EXPECT_EQ(host_.core.config.GetMemberList().Count(), 0)
      << "anonymous entries stay out of the configuration";

  EXPECT_EQ(CallText("system/AddAnonymous", "dave"), kEFail);
  EXPECT_EQ(members.Count(), 1);
  // A look-up that fails takes the new member away again.
  EXPECT_EQ(CallText("system/AddAnonymous", "broken"), kEUnexpected);
  EXPECT_FALSE(members.FindByName("broken"));
  EXPECT_EQ(Call("system/AddAnonymous", 0, 0), kEUnexpected);
  EXPECT_EQ(members.Count(), 1);
}

TEST_F(SystemPluginTest, ConnectingAsAnonymousMakesANewMemberEveryTime) {
  THCMemberList& members = *host_.core.members;
  const intptr_t first = CallText("system/ConncectAsAnonymous", "127.0.0.1", bob_.core.Port());
  const intptr_t second = CallText("system/ConncectAsAnonymous", "127.0.0.1", bob_.core.Port());
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  EXPECT_NE(first, second);
  for (const intptr_t id : {first, second}) {
    const THCMemberPtr member = members.FindByUserID(static_cast<int32_t>(id));
    ASSERT_TRUE(member);
    EXPECT_EQ(member->Name(), kAnonymousKey);
    EXPECT_EQ(member->Node().GetDispname(), "");
    EXPECT_TRUE(member->Anonymous());
    EXPECT_EQ(member->Address(), "127.0.0.1");
    EXPECT_EQ(member->Port(), bob_.core.Port());
    EXPECT_EQ(member->Node().GetPort(), 0) << "the address goes to the member, not its entry";
  }
  // Connecting to this program itself fails and leaves no member behind.
  EXPECT_EQ(CallText("system/ConncectAsAnonymous", "127.0.0.1", host_.core.Port()), 0);
  EXPECT_EQ(Call("system/ConncectAsAnonymous", 0, 8007), 0);
  EXPECT_EQ(members.Count(), 2);
}

TEST_F(SystemPluginTest, DeleteAnonymousRemovesOnlyAnonymousMembers) {
  const THCMemberPtr stored = host_.core.AddMember("erin");
  const intptr_t anonymous = CallText("system/ConncectAsAnonymous", "127.0.0.1", bob_.core.Port());
  ASSERT_GT(anonymous, 0);
  EXPECT_EQ(Call("system/DeleteAnonymous", stored->UserID(), 0), kEFail);
  EXPECT_EQ(Call("system/DeleteAnonymous", 0, 0), kEInvalidArg);
  EXPECT_EQ(Call("system/DeleteAnonymous", intptr_t{1} << 40, 0), kEInvalidArg);
  EXPECT_EQ(host_.core.members->Count(), 2);
  EXPECT_EQ(Call("system/DeleteAnonymous", anonymous, 0), 0);
  EXPECT_EQ(host_.core.members->Count(), 1);
  EXPECT_EQ(host_.core.members->Get(0), stored);
}

TEST_F(SystemPluginTest, NodeRegistryQueriesGoToNodePhpWithTheFixedAgent) {
  http_->reply = std::string("0123456789abcdefghijklmno");  // 25 characters
  char buffer[32];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(Call("system/GetNodeList", reinterpret_cast<intptr_t>(buffer), 10), 25);
  EXPECT_EQ(std::string(buffer), "0123456789");
  EXPECT_EQ(buffer[11], 'x');
  EXPECT_EQ(Call("system/GetNodeList", reinterpret_cast<intptr_t>(buffer), 0), 25);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(Call("system/GetNodeList", 0, 10), 0);
  EXPECT_EQ(Call("system/GetNodeList", reinterpret_cast<intptr_t>(buffer), -1), 0);

  const int port = host_.core.config.GetSetting().GetServer().GetPort();
  EXPECT_EQ(CallText("system/RegisterNode", "a1b2c3"), 0);
  EXPECT_EQ(CallText("system/UnRegisterNode", "a1b2c3"), 0);
  // Bytes that would change the query are escaped.
  EXPECT_EQ(CallText("system/UnRegisterNode", "x&job=get y"), 0);
  const std::string base = "http://nodes.invalid/tarnix/node.php";
  EXPECT_EQ(http_->urls,
            (std::vector<std::string>{
                base + "?job=get", base + "?job=get",
                base + "?job=reg&hash=a1b2c3&port=" + std::to_string(port) + "&ver=13",
                base + "?job=unreg&hash=a1b2c3", base + "?job=unreg&hash=x%26job%3Dget%20y"}));
  for (const std::string& agent : http_->agents) {
    EXPECT_EQ(agent, "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 1.1.4322)");
  }

  http_->reply.reset();  // the request fails
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(Call("system/GetNodeList", reinterpret_cast<intptr_t>(buffer), 10), 0);
  EXPECT_EQ(buffer[0], 'x');
  EXPECT_EQ(CallText("system/RegisterNode", "a1b2c3"), kEUnexpected);
  EXPECT_EQ(CallText("system/UnRegisterNode", "a1b2c3"), kEUnexpected);
  EXPECT_EQ(Call("system/RegisterNode", 0, 0), kEUnexpected);
}

TEST_F(SystemPluginTest, ToolBarMemberMenuAndContainerServicesGoToTheMainWindow) {
  THCToolMenuRecord record{"Chat", 0};
  const intptr_t button = Call("ui/toolmenu/add", reinterpret_cast<intptr_t>(&record),
                               reinterpret_cast<intptr_t>(&Procedure));
  ASSERT_NE(button, 0);
  EXPECT_EQ(ui_->buttons[button].caption, "Chat");
  EXPECT_EQ(ui_->buttons[button].icon, "") << "icon 0: the default picture";
  EXPECT_EQ(ui_->buttons[button].click, &Procedure);
  const char* iconPath = "/icons/chat.png";
  THCToolMenuRecord withIcon{"Files", reinterpret_cast<intptr_t>(iconPath)};
  const intptr_t second = Call("ui/toolmenu/add", reinterpret_cast<intptr_t>(&withIcon),
                               reinterpret_cast<intptr_t>(&Procedure));
  EXPECT_EQ(ui_->buttons[second].icon, iconPath);
  EXPECT_EQ(Call("ui/toolmenu/add", 0, reinterpret_cast<intptr_t>(&Procedure)), 0);
  EXPECT_EQ(Call("ui/toolmenu/add", reinterpret_cast<intptr_t>(&record), 0), 0);
  EXPECT_EQ(Call("ui/toolmenu/del", button, 0), 0);
  EXPECT_EQ(Call("ui/toolmenu/del", button, 0), kEHandle);
  EXPECT_EQ(Call("ui/toolmenu/del", 0, 0), kEHandle);

  const intptr_t proc = reinterpret_cast<intptr_t>(&Procedure);
  EXPECT_EQ(Call("ui/membermenu/add", proc, 0), proc);
  EXPECT_EQ(Call("ui/membermenu/add", 0, 0), 0);
  EXPECT_EQ(Call("ui/membermenu/del", reinterpret_cast<intptr_t>(&OtherProcedure), 0), kEHandle);
  EXPECT_EQ(Call("ui/membermenu/del", proc, 0), 0);
  EXPECT_TRUE(ui_->memberMenus.empty());

  const intptr_t tab = Call("ui/container/add", 0, reinterpret_cast<intptr_t>(&TabProcedure));
  ASSERT_NE(tab, 0);
  EXPECT_EQ(ui_->tabs[tab].caption, "Chat tab");
  EXPECT_EQ(Call("ui/container/add", 0, 0), 0);
  EXPECT_EQ(Call("ui/container/del", tab, 0), 0);
  EXPECT_EQ(Call("ui/container/del", tab, 0), kEHandle);

  EXPECT_EQ(Call("system/ProcessMessages", 0, 0), 0);
  EXPECT_EQ(ui_->processed, 1);
}

TEST_F(SystemPluginTest, SettingPagesAreKeptInOrderUntilTheSystemPluginEnds) {
  const intptr_t proc = reinterpret_cast<intptr_t>(&Procedure);
  const intptr_t first = CallText("ui/settingpage/add", "Chat", proc);
  const intptr_t second = CallText("ui/settingpage/add", "Files", proc);
  ASSERT_NE(first, 0);
  ASSERT_NE(second, 0);
  EXPECT_EQ(CallText("ui/settingpage/add", "No procedure", 0), 0);
  std::vector<const THCSettingPage*> pages = SystemPlugin()->SettingPages();
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(reinterpret_cast<intptr_t>(pages[0]), first);
  EXPECT_EQ(pages[0]->Caption, "Chat");
  EXPECT_EQ(pages[1]->Caption, "Files");
  EXPECT_EQ(pages[1]->Proc, &Procedure);
  EXPECT_EQ(Call("ui/settingpage/del", 12345, 0), kEHandle);
  EXPECT_EQ(Call("ui/settingpage/del", first, 0), 0);
  EXPECT_EQ(Call("ui/settingpage/del", first, 0), kEHandle);
  ASSERT_EQ(SystemPlugin()->SettingPages().size(), 1u);

  // Once terminated, the services find no system plugin.
  host_.core.services.Clear();
  host_.core.events.Clear();
  host_.plugins->Clear();
  EXPECT_EQ(SystemPlugin(), nullptr);
  EXPECT_EQ(THCHandler::Create(context_)->GetService("ui/settingpage/add"), 0u);
}

TEST_F(SystemPluginTest, WithoutAMainWindowOrFetchTheServicesAnswerTheirFailureValues) {
  host_.core.services.Clear();
  host_.core.events.Clear();
  host_.plugins->Clear();
  StartSystem({context_, std::make_shared<THttpFetchPlaceholder>(), nullptr});
  THCToolMenuRecord record{"Chat", 0};
  const intptr_t proc = reinterpret_cast<intptr_t>(&Procedure);
  EXPECT_EQ(Call("ui/toolmenu/add", reinterpret_cast<intptr_t>(&record), proc), 0);
  EXPECT_EQ(Call("ui/toolmenu/del", 1, 0), kEHandle);
  EXPECT_EQ(Call("ui/membermenu/add", proc, 0), 0);
  EXPECT_EQ(Call("ui/membermenu/del", proc, 0), kEHandle);
  EXPECT_EQ(Call("ui/container/add", 0, proc), 0);
  EXPECT_EQ(Call("ui/container/del", 1, 0), kEHandle);
  EXPECT_EQ(Call("system/ProcessMessages", 0, 0), 0);
  char buffer[8] = "x";
  EXPECT_EQ(Call("system/GetNodeList", reinterpret_cast<intptr_t>(buffer), 4), 0);
  EXPECT_EQ(CallText("system/RegisterNode", "a1"), kEUnexpected);
  // Setting pages belong to the system plugin itself.
  EXPECT_NE(CallText("ui/settingpage/add", "Chat", proc), 0);
}

TEST_F(SystemPluginTest, ProviderCallsDoNothingWithoutAProviderAndReachOneWhenRegistered) {
  // The host's helpers go through the system plugin, the current skeleton.
  EXPECT_EQ(Alert(2, -1, 0, "CONNECTION", "bob is online", 0, 0, 0, -1, 0, 0, 0),
            HCPE_NOTIMPLEMENT_ERROR);
  EXPECT_EQ(MessengerMakeSession(42), HCPE_NOTIMPLEMENT_ERROR);

  static AlertRecord seen;
  static intptr_t sessionWith = 0;
  host_.core.services.CreateService("ui/alert", [](intptr_t wParam, intptr_t lParam) {
    seen = *reinterpret_cast<const AlertRecord*>(wParam);
    EXPECT_EQ(lParam, 0);
    EXPECT_STREQ(seen.Title, "CONNECTION");
    EXPECT_STREQ(seen.Text, "bob is online");
    return intptr_t{7};
  });
  host_.core.services.CreateService("messenger/MakeSession", [](intptr_t wParam, intptr_t) {
    sessionWith = wParam;
    return intptr_t{0};
  });
  EXPECT_EQ(Alert(2, -1, 0, "CONNECTION", "bob is online", 0, 0, 0, -1, 0, 0, 0), 7);
  EXPECT_EQ(seen.Kind, 2);
  EXPECT_EQ(seen.Reserved, -1);
  EXPECT_EQ(seen.Option3, -1);
  EXPECT_EQ(MessengerMakeSession(42), 0);
  EXPECT_EQ(sessionWith, 42);
}

// Procedures a plugin hands to the user interface, called through the guards.
intptr_t HCCALL Throwing(intptr_t, intptr_t) {
  throw std::runtime_error("boom");
}

struct TMenuCalls {
  static inline std::vector<intptr_t> codes;
  static inline intptr_t applies = 0;
  static intptr_t HCCALL Proc(intptr_t code, intptr_t lParam) {
    codes.push_back(code);
    if (code == 1) return applies;
    if (code == 0) {
      auto* record = reinterpret_cast<THCMenuCaptionRecord*>(lParam);
      EXPECT_EQ(record->Size, 128);
      EXPECT_EQ(record->Buffer[0], '\0');
      std::memset(record->Buffer, 'A', static_cast<size_t>(record->Size));  // no NUL left
      return 0;
    }
    return -1;  // code 2: the action failed
  }
};

TEST(SystemUiCalls, MemberMenuProceduresAreAskedInTurnAndFaultsAreLogged) {
  test::TLogCapture log;
  TMenuCalls::codes.clear();
  TMenuCalls::applies = 1;
  EXPECT_EQ(MemberMenuCaption(&TMenuCalls::Proc, nullptr), std::nullopt);
  EXPECT_EQ(TMenuCalls::codes, std::vector<intptr_t>{1})
      << "no caption asked of an action that does not apply";

  TMenuCalls::codes.clear();
  TMenuCalls::applies = 0;
  const std::optional<std::string> caption = MemberMenuCaption(&TMenuCalls::Proc, nullptr);
  ASSERT_TRUE(caption);
  EXPECT_EQ(*caption, std::string(127, 'A')) << "the caption ends inside the buffer";
  ChooseMemberMenu(&TMenuCalls::Proc, nullptr);
  EXPECT_EQ(TMenuCalls::codes, (std::vector<intptr_t>{1, 0, 2}));
  EXPECT_TRUE(log.Contains("MemberMenuError"));

  EXPECT_EQ(MemberMenuCaption(&Throwing, nullptr), std::nullopt);
  EXPECT_TRUE(log.Contains("MemberMenuException: std::runtime_error - boom"));
  CallToolMenuClick(&Throwing);
  EXPECT_TRUE(log.Contains("ToolMenuException: std::runtime_error - boom"));
  EXPECT_EQ(ContainerCaption(&Throwing), "");
  EXPECT_EQ(ContainerCaption(&TabProcedure), "Chat tab");
  ShowSettingPage(&Throwing, 0);
  EXPECT_TRUE(log.Contains("SettingPageException: std::runtime_error - boom"));
  CallToolMenuClick(nullptr);  // nothing to call
}

}  // namespace
}  // namespace tarnix
