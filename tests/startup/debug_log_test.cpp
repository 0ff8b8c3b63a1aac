// "/debug": debug.log in the program folder holds every log line of the run,
// time-stamped, from the start lines to "Finalization complete.".
#include <regex>
#include <thread>

#include <gtest/gtest.h>

#include "app/startup/Debugger.h"
#include "core/bus/BusResults.h"
#include "tarnix/Version.h"
#include "tests/startup/StartupFixture.h"

namespace tarnix::test {
namespace {

// The messages of debug.log after checking each line's stamp.
std::vector<std::string> DebugLogMessages(const std::string& text) {
  static const std::regex kLine(R"(\[(\d+)@([0-9A-F]{6,})\] (.*))");
  EXPECT_TRUE(text.empty() || text.ends_with("\r\n"));
  std::vector<std::string> messages;
  size_t start = 0;
  while (start < text.size()) {
    const size_t end = text.find("\r\n", start);
    if (end == std::string::npos) break;
    const std::string line = text.substr(start, end - start);
    std::smatch match;
    EXPECT_TRUE(std::regex_match(line, match, kLine)) << line;
    messages.push_back(match.size() == 4 ? match[3].str() : line);
    start = end + 2;
  }
  return messages;
}

TEST(DebugLineTest, Format) {
  EXPECT_EQ(FormatDebugLine(123456, 0xA2C, "Initializing..."), "[123456@000A2C] Initializing...");
  EXPECT_EQ(FormatDebugLine(4294967295u, 0x1ABCDEF, "x"), "[4294967295@1ABCDEF] x");
  EXPECT_EQ(FormatDebugLine(0, 0, ""), "[0@000000] ");
}

TEST_F(StartupFixture, DebugModeWritesStartAndStopLinesInOrder) {
  WriteConfig();
  WriteFile(folder_ / "debug.log", "old run\r\n");
  TProgramContext& ctx = MakeContext({"/debug"});
  bool loopRan = false;
  RunProgram(ctx, [&] {
    loopRan = true;
    // While the log is on, "debug" is a service for plugins and WriteLog answers 0.
    ASSERT_NE(ctx.debugService, kNoBusHandle);
    EXPECT_EQ(ctx.services->GetService("debug"), ctx.debugService);
    const char* line = "a plugin's line";
    EXPECT_EQ(ctx.services->CallService(ctx.debugService, 0, reinterpret_cast<std::intptr_t>(line)), 0);
    EXPECT_EQ(ctx.services->CallService(ctx.debugService, 0, 0), HCPE_INVALID_ARG);
    EXPECT_EQ(WriteLog("main loop"), 0);
    ExitProgram(ctx, true);
  });
  ASSERT_TRUE(loopRan);
  EXPECT_EQ(WriteLog("after the run"), 100);

  const std::vector<std::string> messages = DebugLogMessages(ReadFile(folder_ / "debug.log"));
  const std::vector<std::string> inOrder = {
      std::string("tarnix Version ") + kProgramVersion, "StreamWeaver Protocol Version 1.23",
      "Initializing...", "Plugin loaded: system", "Initialization complete.",
      "NotifyEvent: system/loaded", "Connecting to all members..", "Server started.",
      "a plugin's line", "main loop", "Finalizing...", "NotifyEvent: system/finalize",
      "Terminating server...", "Services cleared.", "Events cleared.", "Plugin unloaded: system",
      "Handler terminated.", "Configs Saved.", "Finalization complete."};
  size_t at = 0;
  for (const std::string& message : messages) {
    if (at < inOrder.size() && message == inOrder[at]) ++at;
  }
  EXPECT_EQ(at, inOrder.size()) << "missing or out of order: " << inOrder[std::min(at, inOrder.size() - 1)];
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "Finalization complete.");
  for (const std::string& message : messages) {
    EXPECT_NE(message, "old run");
    EXPECT_NE(message, "Shutting down.");
  }
  EXPECT_GE(log_.IndexOf("Shutting down."), 0);
}

TEST_F(StartupFixture, WithoutDebugThereIsNoLogFileAndNoService) {
  WriteConfig();
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  EXPECT_EQ(ctx.debugService, kNoBusHandle);
  EXPECT_EQ(ctx.services->GetService("debug"), kNoBusHandle);
  EXPECT_EQ(WriteLog("x"), 100);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "debug.log"));
}

// A plugin list that looks at the service registry when Finalize frees it,
// which is after the registries were cleared and before the debugger goes.
class TObservingPluginList final : public IPluginList {
 public:
  TObservingPluginList(TProgramContext& ctx, std::vector<std::string>& seen) : ctx_(ctx), seen_(seen) {}
  ~TObservingPluginList() override {
    for (const auto& entry : ctx_.services->Entries()) seen_.push_back(entry.name);
  }
  void Add(std::unique_ptr<IPlugin>) override {}
  void LoadFolder(const std::filesystem::path&) override {
    ctx_.services->CreateService("ui/alert", [](std::intptr_t, std::intptr_t) { return std::intptr_t{0}; });
  }

 private:
  TProgramContext& ctx_;
  std::vector<std::string>& seen_;
};

TEST_F(StartupFixture, DebugServiceSurvivesTheClearOfTheServices) {
  for (const bool debug : {true, false}) {
    SCOPED_TRACE(debug);
    std::vector<std::string> seen;
    factories_.pluginList = [&](TProgramContext& ctx) -> std::unique_ptr<IPluginList> {
      return std::make_unique<TObservingPluginList>(ctx, seen);
    };
    WriteConfig();
    TProgramContext& ctx = MakeContext(debug ? std::vector<std::string>{"/debug"} : std::vector<std::string>{});
    ASSERT_TRUE(Start(ctx));
    ExitProgram(ctx, true);
    EXPECT_EQ(seen, debug ? std::vector<std::string>{"debug"} : std::vector<std::string>{});
    // The debugger deletes it as the very last step.
    EXPECT_EQ(ctx.services->Count(), 0);
  }
}

TEST_F(StartupFixture, EchoShowsMainThreadLinesWhileTheStartingPanelIsVisible) {
  TProgramContext& ctx = MakeContext();
  (void)ctx;
  WriteLog("hidden panel");
  EXPECT_EQ(ui_.mainWindow.echoText, "");
  ui_.mainWindow.startingPanelVisible = true;
  WriteLog("visible panel");
  EXPECT_EQ(ui_.mainWindow.echoText, "visible panel");
  std::thread([] { WriteLog("from another thread"); }).join();
  EXPECT_EQ(ui_.mainWindow.echoText, "visible panel");
}

}  // namespace
}  // namespace tarnix::test
