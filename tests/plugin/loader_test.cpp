// The plugin loader with real libraries: the built test plugins are copied
// into a scratch plugins folder and loaded with dlopen over a real bus. A
// stand-in for the built-in "system" plugin is registered first, as at start-up.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "plugin/loader/THCPluginList.h"
#include "plugin/sdk/THCMemoryStream.h"
#include "plugin/sdk/THCPluginSkeleton.h"
#include "tests/plugin/PluginFakes.h"
#include "tests/support/LogCapture.h"
#include "tests/support/TempFolder.h"

namespace tarnix {
namespace {

namespace fs = std::filesystem;
using plugintest::TTestBus;
using plugintest::TTestHandler;

const fs::path kFixtures = TARNIX_TEST_PLUGIN_DIR;

// The stand-in system plugin: a skeleton of this process, reporting its life
// on the bus like the probe plugins do.
class TStandInSystem : public THCPluginSkeleton {
 public:
  TStandInSystem() { SetInfo(HCPI_NAME, "system"); }
  void OnInitialize() override { Handler()->NotifyEvent("lifecycle/system/initialize", 0, 0); }
  void OnTerminate() override {
    const bool stillThere = Handler()->GetService("transer/tasknotify/system") != 0;
    Handler()->NotifyEvent(
        stillThere ? "lifecycle/system/terminate/1" : "lifecycle/system/terminate/0", 0, 0);
  }
};

// Registers the stand-in through this process's own exports, without a library.
class TStandInRegisterer : public THCPlugin {
 public:
  using THCPlugin::THCPlugin;
  bool LoadModule(const std::string& fileName) override {
    return LoadBuiltIn(fileName, &SkeletonGetPluginInfo, &SkeletonInitialize, &SkeletonTerminate);
  }
};

class LoaderTest : public testing::Test {
 protected:
  LoaderTest() : plugins_(folder_ / "plugins") { fs::create_directory(plugins_); }

  THCHandlerFactory Factory() {
    return [this](const THCPlugin&) { return TTestHandler::Create(bus_, shared_); };
  }
  // Copies fixture libraries into the plugins folder under the given names.
  void Install(std::initializer_list<std::pair<const char*, const char*>> files) {
    for (const auto& [fixture, name] : files) {
      fs::copy_file(kFixtures / (std::string(fixture) + ".so"), plugins_ / name);
    }
  }
  std::string PathOf(const std::string& name) const {
    return (plugins_ / name).lexically_normal().string();
  }
  // Start-up: the system plugin first, then the plugins folder.
  void StartUp() {
    system_ = std::make_unique<TStandInSystem>();
    ASSERT_EQ(CurrentSkeleton(), system_.get());
    std::unique_ptr<THCPlugin> registerer = std::make_unique<TStandInRegisterer>(Factory());
    ASSERT_TRUE(registerer->LoadModule("system"));
    list_ = std::make_unique<THCPluginList>(Factory());
    ASSERT_TRUE(list_->AddPlugin(registerer));
    list_->LoadFolder((plugins_ / "*.so").string());
  }
  // Shutdown as the program does it: clear the bus, then free the list.
  void ShutDown() {
    bus_.services.Clear();
    bus_.events.Clear();
    list_.reset();
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (int i = 0; i < list_->Count(); ++i) names.push_back(list_->Items(i)->Name());
    return names;
  }
  // The entries of the plugins folder matching *.so, in directory order.
  std::vector<std::string> FolderOrder() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(plugins_)) {
      if (entry.path().extension() == ".so") names.push_back(entry.path().filename().string());
    }
    return names;
  }

  void TearDown() override {
    if (list_) ShutDown();
  }

  test::TLogCapture log_;
  test::TTempFolder folder_{"tarnix-plugins"};
  fs::path plugins_;
  TTestBus bus_;
  std::shared_ptr<TTestHandler::TShared> shared_ = std::make_shared<TTestHandler::TShared>();
  std::unique_ptr<TStandInSystem> system_;
  std::unique_ptr<THCPluginList> list_;
};

TEST_F(LoaderTest, AnEmptyOrMissingPluginsFolderLoadsOnlyTheSystemPlugin) {
  StartUp();
  EXPECT_EQ(Names(), std::vector<std::string>{"system"});
  list_->LoadFolder((folder_ / "absent" / "*.so").string());
  EXPECT_EQ(Names(), std::vector<std::string>{"system"});
  EXPECT_TRUE(log_.Contains("Plugin loaded: system"));
  EXPECT_TRUE(log_.Contains("Plugin system: initialized."));
  EXPECT_EQ(list_->Items(0)->FileName(), "system");
  EXPECT_FALSE(list_->Items(0)->HasLibrary());
}

TEST_F(LoaderTest, PluginsStartInLoadOrderAndTerminateAfterTheBusIsCleared) {
  Install({{"alpha", "alpha.so"}, {"beta", "beta.so"}, {"cplain", "cplain.so"}});
  StartUp();
  std::vector<std::string> expected = {"system"};
  for (const std::string& file : FolderOrder()) expected.push_back(file.substr(0, file.size() - 3));
  EXPECT_EQ(Names(), expected);
  EXPECT_EQ(list_->Items(1)->FileName(), PathOf(FolderOrder()[0]));
  EXPECT_EQ(list_->Items(1)->Caption(), expected[1] == "cplain" ? "Plain C" : "Probe");
  EXPECT_EQ(shared_->alive, 4);  // each plugin holds its own handler

  // Initialised in list order (the C plugin does not report it).
  int previous = -1;
  for (const std::string& name : expected) {
    if (name == "cplain") continue;
    const int at = log_.IndexOf("NotifyEvent: lifecycle/" + name + "/initialize");
    ASSERT_GT(at, previous) << name;
    previous = at;
  }

  ShutDown();
  // Terminate in list order, each with the bus already empty, each followed by
  // its unloading.
  int last = -1;
  for (const std::string& name : expected) {
    if (name != "cplain") {
      const int terminated = log_.IndexOf("NotifyEvent: lifecycle/" + name + "/terminate/0");
      ASSERT_GT(terminated, last) << name;
      last = terminated;
      EXPECT_FALSE(log_.Contains("NotifyEvent: lifecycle/" + name + "/terminate/1"));
    }
    const int unloaded = log_.IndexOf("Plugin unloaded: " + name);
    ASSERT_GT(unloaded, last) << name;
    last = unloaded;
  }
  EXPECT_EQ(shared_->alive, 0);  // every handler reference was given back
}

TEST_F(LoaderTest, BrokenLibrariesAreLoggedUnloadedAndLeftOutOfTheList) {
  Install({{"version040", "version040.so"},
           {"versionblank", "versionblank.so"},
           {"noname", "noname.so"},
           {"fakesystem", "fakesystem.so"},
           {"initfail", "initfail.so"},
           {"noterminate", "noterminate.so"},
           {"thrower", "thrower.so"}});
  test::WriteFile(plugins_ / "notalib.so", "this is text, not a shared library");
  fs::create_directory(plugins_ / "folder.so");
  StartUp();
  EXPECT_EQ(Names(), std::vector<std::string>{"system"});

  const std::vector<std::string> expected = {
      "Plugin wrong interface version: " + PathOf("version040.so") + " - \"0.40\"",
      "Plugin wrong interface version: " + PathOf("versionblank.so") + " - \" 0.4\"",
      "Plugin without name: " + PathOf("noname.so"),
      "Plugin duplicate name: system - " + PathOf("fakesystem.so"),
      "Plugin initfail: initialize error.",
      "Plugin initialize failed: initfail - 100 HCPE_INTERNAL_ERROR",
      "Plugin missing exports: " + PathOf("noterminate.so") + " - Terminate",
      "PluginCallError: thrower - Initialize - std::runtime_error, thrown from Initialize",
      "Plugin thrower: initialize error.",
      "Plugin unloaded: v040",
      "Plugin unloaded: vblank",
      "Plugin unloaded: system",  // the second "system", unloaded at once
      "Plugin unloaded: initfail",
      "Plugin unloaded: noterminate",
      "Plugin unloaded: thrower",
  };
  for (const std::string& line : expected) EXPECT_TRUE(log_.Contains(line)) << line;
  for (const char* name : {"notalib.so", "folder.so"}) {
    const std::string prefix = "Plugin not a library: " + (plugins_ / name).string() + " - ";
    const auto lines = log_.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [&](const std::string& l) {
      return l.rfind(prefix, 0) == 0;
    })) << name;
  }
  // Three "Plugin unloaded: " lines with an empty name: the two entries that
  // were no library, and the library without a name.
  const auto lines = log_.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Plugin unloaded: "), 3);
  // Refused plugins were never initialised; the failed one left nothing behind.
  for (const char* name : {"v040", "vblank", "noterminate"}) {
    EXPECT_FALSE(log_.Contains("NotifyEvent: lifecycle/" + std::string(name) + "/initialize"));
  }
  EXPECT_EQ(bus_.services.GetService("transer/tasknotify/initfail"), 0u);
  EXPECT_EQ(bus_.ServiceNames(),
            (std::vector<std::string>{"transer/tasknotify/system",
                                      "transer/tasknotify/system/internalmsg"}));
  EXPECT_EQ(bus_.EventNames().size(), 4u);  // only the system plugin's hooks
  EXPECT_EQ(shared_->alive, 1);             // only the system plugin's handler
}

TEST_F(LoaderTest, OfTwoLibrariesWithOneNameTheFirstEnumeratedIsKept) {
  Install({{"chat1", "chat1.so"}, {"chat2", "chat2.so"}});
  StartUp();
  ASSERT_EQ(Names(), (std::vector<std::string>{"system", "chat"}));
  const std::vector<std::string> order = FolderOrder();
  EXPECT_EQ(list_->Items(1)->FileName(), PathOf(order[0]));
  EXPECT_EQ(list_->Items(1)->Caption(), order[0] == "chat1.so" ? "first" : "second");
  EXPECT_TRUE(log_.Contains("Plugin duplicate name: chat - " + PathOf(order[1])));
}

TEST_F(LoaderTest, APlainCPluginWorksThroughTheBinaryContract) {
  Install({{"cplain", "cplain.so"}});
  StartUp();
  ASSERT_EQ(Names(), (std::vector<std::string>{"system", "cplain"}));
  auto call = [&](const char* name, intptr_t wParam, intptr_t lParam) {
    return bus_.services.CallService(bus_.services.GetService(name), wParam, lParam);
  };
  EXPECT_EQ(call("cplain/echo", 3, 4), 7);

  // C calls back into the host through the handler's vtable.
  bus_.services.CreateService("host/combine", [](intptr_t w, intptr_t l) { return w * 10 + l; });
  EXPECT_EQ(call("cplain/callback", reinterpret_cast<intptr_t>("host/combine"), 0), 78);
  EXPECT_EQ(call("cplain/callback", reinterpret_cast<intptr_t>("host/absent"), 0), -1);

  // C reads a C++ stream ...
  const uint8_t hello[] = {'h', 'e', 'l', 'l', 'o'};
  HCPtr<IHCStream> ours = THCMemoryStream::CreateWith(hello);
  char buffer[64];
  EXPECT_EQ(call("cplain/readstream", reinterpret_cast<intptr_t>(ours.Get()),
                 reinterpret_cast<intptr_t>(buffer)),
            5);
  EXPECT_STREQ(buffer, "hello");

  // ... and C++ uses a stream implemented in C.
  HCPtr<IHCStream> theirs =
      HCPtr<IHCStream>::Adopt(reinterpret_cast<IHCStream*>(call("cplain/makestream", 0, 0)));
  ASSERT_TRUE(theirs);
  EXPECT_EQ(call("cplain/streams", 0, 0), 1);
  HCPtr<IHCStream> queried = theirs.Query<IHCStream>();
  ASSERT_TRUE(queried);
  EXPECT_FALSE(theirs.Query<IHCHandler>());
  char text[16] = {};
  EXPECT_EQ(queried->Read(text, sizeof text - 1), 9u);
  EXPECT_STREQ(text, "made in C");
  EXPECT_EQ(queried->Seek(-2, 2), 7);
  EXPECT_EQ(queried->handle(), theirs->handle());
  queried.Reset();
  theirs.Reset();
  EXPECT_EQ(call("cplain/streams", 0, 0), 0);  // released to zero and freed by C

  EXPECT_EQ(bus_.events.NotifyEvent("cplain/double", 0, 21), 42);

  // Terminate gives back everything without the bus being cleared first.
  list_->RemovePlugin(1);
  EXPECT_EQ(bus_.services.GetService("cplain/echo"), 0u);
  EXPECT_EQ(bus_.events.NotifyEvent("cplain/double", 0, 21), 0);
  EXPECT_EQ(shared_->alive, 1);
  EXPECT_TRUE(log_.Contains("Plugin unloaded: cplain"));
}

TEST_F(LoaderTest, AnExceptionFromTerminateIsCaughtAndThePluginStillUnloaded) {
  Install({{"termthrower", "termthrower.so"}});
  StartUp();
  ASSERT_EQ(Names(), (std::vector<std::string>{"system", "termthrower"}));
  THCPlugin* plugin = list_->Items(1);
  EXPECT_EQ(plugin->TerminatePlugin(), HCPE_INTERNAL_ERROR);
  EXPECT_FALSE(plugin->Initialized());
  EXPECT_TRUE(log_.Contains(
      "PluginCallError: termthrower - Terminate - std::logic_error, thrown from Terminate"));
  ShutDown();
  EXPECT_TRUE(log_.Contains("Plugin unloaded: termthrower"));
  // The library's skeleton, never terminated, gave its handler back at unload.
  EXPECT_EQ(shared_->alive, 0);
}

TEST_F(LoaderTest, ExportsAnswerFailureValuesForBadArguments) {
  Install({{"cplain", "cplain.so"}, {"alpha", "alpha.so"}});
  StartUp();
  for (int i = 1; i < list_->Count(); ++i) {
    THCPlugin* plugin = list_->Items(i);
    HCGetPluginInfoProc info = plugin->GetPluginInfoProc();
    ASSERT_NE(info, nullptr);
    struct Case {
      int32_t index;
      int32_t size;
    };
    for (const Case& c : {Case{-1, 256}, Case{HCPI_COUNT, 256}, Case{HCPI_NAME, 0},
                          Case{HCPI_NAME, -1}, Case{HCPI_COPYRIGHT, 256}}) {
      char buffer[256] = "untouched";
      EXPECT_EQ(info(c.index, buffer, c.size), 0) << plugin->Name() << " " << c.index;
      EXPECT_STREQ(buffer, "untouched") << plugin->Name() << " " << c.index;
    }
    EXPECT_EQ(info(HCPI_NAME, nullptr, 256), 0);
    char small[4];
    EXPECT_EQ(info(HCPI_DESCRIPTION, small, sizeof small), 3);
    EXPECT_EQ(std::strlen(small), 3u);
    // Initialize again is refused, a null handler too.
    EXPECT_EQ(plugin->InitializeProc()(nullptr), HCPE_INTERNAL_ERROR);
    EXPECT_EQ(plugin->GetInfo(-1), "");
    EXPECT_EQ(plugin->GetProc(nullptr), nullptr);
    EXPECT_EQ(plugin->GetProc("NoSuchExport"), nullptr);
  }
  EXPECT_EQ(list_->Items(-1), nullptr);
  EXPECT_EQ(list_->Items(list_->Count()), nullptr);
  EXPECT_EQ(list_->IndexOfPlugin(""), -1);
  EXPECT_EQ(list_->IndexOfPlugin("System"), -1);  // names are case-sensitive
  const int count = list_->Count();
  list_->RemovePlugin(-1);
  list_->RemovePlugin(count);
  EXPECT_EQ(list_->Count(), count);
  std::unique_ptr<THCPlugin> none;
  EXPECT_FALSE(list_->AddPlugin(none));
}

TEST_F(LoaderTest, APluginWithoutInitializeOrHandlerFailsInitialisation) {
  THCPlugin bare(nullptr);
  EXPECT_EQ(bare.InitializePlugin(), HCPE_NOTIMPLEMENT_ERROR);
  EXPECT_EQ(bare.TerminatePlugin(), HCPE_NOTIMPLEMENT_ERROR);
  EXPECT_EQ(bare.GetInfo(0), "");

  Install({{"alpha", "alpha.so"}});
  auto plugin = std::make_unique<THCPlugin>(nullptr);  // no factory: no handler
  ASSERT_TRUE(plugin->LoadModule(PathOf("alpha.so")));
  EXPECT_EQ(plugin->InitializePlugin(), HCPE_INTERNAL_ERROR);
  EXPECT_TRUE(log_.Contains("Plugin without handler: alpha"));
}

TEST(ObsoletePlugins, AreDeletedAndAbsentOnesIgnored) {
  test::TTempFolder folder("tarnix-obsolete");
  test::WriteFile(folder / "private.so", "x");
  test::WriteFile(folder / "broadsync.so", "x");
  test::WriteFile(folder / "chat.so", "x");
  DeleteObsoletePlugins(folder.Path());
  EXPECT_FALSE(fs::exists(folder / "private.so"));
  EXPECT_FALSE(fs::exists(folder / "broadsync.so"));
  EXPECT_TRUE(fs::exists(folder / "chat.so"));
}

}  // namespace
}  // namespace tarnix
