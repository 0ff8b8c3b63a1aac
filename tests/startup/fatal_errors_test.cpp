// Every fatal error of the start-up sequence: its caption, its exact text,
// and that the start ends without finalizing or saving.
#include <filesystem>
#include <functional>

#include <gtest/gtest.h>

#include "app/startup/MessageBox.h"
#include "app/startup/StartupTexts.h"
#include "tests/startup/StartupFixture.h"

namespace tarnix::test {
namespace {

namespace fs = std::filesystem;

class TFixedLanguage final : public ILanguage {
 public:
  bool HasLanguageFile() const override { return false; }
  std::string Text(const std::string&, const std::string&) const override { return {}; }
};

class TFailingPluginList final : public IPluginList {
 public:
  void Add(std::unique_ptr<IPlugin>) override {}
  void LoadFolder(const std::filesystem::path& folder) override {
    throw std::runtime_error("cannot open " + folder.filename().string());
  }
};

struct TFatalCase {
  const char* name;
  std::function<void(TSubsystemFactories&, TFakeUi&)> breakIt;
  const char* caption;
  const char* text;
};

std::ostream& operator<<(std::ostream& out, const TFatalCase& c) { return out << c.name; }

class FatalErrorTest : public StartupFixture, public ::testing::WithParamInterface<TFatalCase> {};

TEST_P(FatalErrorTest, ShowsCaptionAndTextAndEndsTheStart) {
  const TFatalCase& c = GetParam();
  WriteConfig();
  const std::string before = ReadFile(File().path);
  c.breakIt(factories_, ui_);
  TProgramContext& ctx = MakeContext();
  bool loopRan = false;
  RunProgram(ctx, [&] { loopRan = true; });

  EXPECT_FALSE(loopRan);
  ASSERT_EQ(ui_.messageBox.shown.size(), 1u);
  EXPECT_EQ(ui_.messageBox.shown[0].caption, c.caption);
  EXPECT_EQ(ui_.messageBox.shown[0].text, c.text);
  EXPECT_EQ(ui_.messageBox.shown[0].type, kMbOk | kMbIconError);
  // A failed start never finalizes: nothing saved, the process just ends.
  EXPECT_EQ(log_.IndexOf("Finalizing..."), -1);
  EXPECT_EQ(ReadFile(File().path), before);
  EXPECT_GE(log_.IndexOf("Shutting down."), 0);
  EXPECT_EQ(ui_.mainWindow.terminateCalls, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, FatalErrorTest,
    ::testing::Values(
        TFatalCase{"core",
                   [](TSubsystemFactories& f, TFakeUi&) {
                     f.server = [](TProgramContext&) -> std::unique_ptr<IServer> {
                       throw std::runtime_error("port 8007 refused");
                     };
                   },
                   "Fatal Error 001", "Initialization failed.\r\nport 8007 refused"},
        TFatalCase{"systemPlugin",
                   [](TSubsystemFactories& f, TFakeUi&) {
                     f.systemPlugin = [](TProgramContext&) -> std::unique_ptr<IPlugin> {
                       throw std::runtime_error("no system plugin");
                     };
                   },
                   "Fatal Error 003", "Initialization failed.\r\nno system plugin"},
        TFatalCase{"plugins",
                   [](TSubsystemFactories& f, TFakeUi&) {
                     f.pluginList = [](TProgramContext&) -> std::unique_ptr<IPluginList> {
                       return std::make_unique<TFailingPluginList>();
                     };
                   },
                   "Fatal Error 004", "Plugin initialization failed.\r\ncannot open plugins"},
        TFatalCase{"noLanguageFile",
                   [](TSubsystemFactories& f, TFakeUi&) {
                     f.language = [](TProgramContext&) -> std::unique_ptr<ILanguage> {
                       return std::make_unique<TFixedLanguage>();
                     };
                   },
                   "Fatal Error 006", "There are not language files."},
        TFatalCase{"language",
                   [](TSubsystemFactories& f, TFakeUi&) {
                     f.language = [](TProgramContext&) -> std::unique_ptr<ILanguage> {
                       throw std::runtime_error("japanese.lng unreadable");
                     };
                   },
                   "Fatal Error 002", "Language files can't load.\r\njapanese.lng unreadable"},
        TFatalCase{"form",
                   [](TSubsystemFactories&, TFakeUi& ui) {
                     ui.mainWindow.initializeFormError = "no status menu";
                   },
                   "Fatal Error 005", "Form initialization failed.\r\nno status menu"}),
    [](const ::testing::TestParamInfo<TFatalCase>& info) { return std::string(info.param.name); });

TEST_F(StartupFixture, DamagedConfigFileGives007Then001AndStaysUntouched) {
  fs::create_directories(folder_ / "config");
  const std::string damaged = "12345";  // not a whole cipher block
  WriteFile(File().path, damaged);
  TProgramContext& ctx = MakeContext();
  EXPECT_FALSE(Start(ctx));
  ASSERT_EQ(Captions(), (std::vector<std::string>{"Fatal Error 007", "Fatal Error 001"}));
  EXPECT_EQ(ui_.messageBox.shown[0].text.rfind("Failed to load config file.\r\n", 0), 0u)
      << ui_.messageBox.shown[0].text;
  EXPECT_GT(ui_.messageBox.shown[0].text.size(), std::string("Failed to load config file.\r\n").size());
  EXPECT_EQ(ui_.messageBox.shown[1].text, "Initialization failed.\r\nThe configuration is not loaded.");
  EXPECT_EQ(ReadFile(File().path), damaged);
}

TEST(ProgramEntryTest, WindowCreationFailureShowsTheEntryError) {
  TFakeMessageBox box;
  ScopedMessageBoxPort port(&box);
  EXPECT_TRUE(CreateWindowsGuarded([] {}));
  EXPECT_TRUE(box.shown.empty());
  EXPECT_FALSE(CreateWindowsGuarded([] { throw std::runtime_error("no display"); }));
  ASSERT_EQ(box.shown.size(), 1u);
  EXPECT_EQ(box.shown[0].caption, "Fatal Error");
  EXPECT_EQ(box.shown[0].text, "It wasn't able to initialize.");
  EXPECT_EQ(box.shown[0].type, kMbOk | kMbIconError);
}

TEST(ProgramEntryTest, MessageBoxWithoutPortAnswersTheCautiousButton) {
  EXPECT_EQ(ShowMessageBox("t", "c", kMbOk | kMbIconError), kIdOk);
  EXPECT_EQ(ShowMessageBox("t", "c", kMbOkCancel | kMbIconQuestion), kIdCancel);
  EXPECT_EQ(ShowMessageBox("t", "c", kMbYesNo | kMbIconQuestion), kIdNo);
}

}  // namespace
}  // namespace tarnix::test
