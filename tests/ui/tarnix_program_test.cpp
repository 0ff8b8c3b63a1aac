// The real tarnix program, started in a copied program folder on the
// offscreen platform: it comes up, and a SIGTERM ends it in order, saving its
// configuration and closing its debug log.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/config/hcConfig.h"
#include "tarnix/Version.h"
#include "tests/support/SpawnProgram.h"
#include "tests/support/TempFolder.h"

extern char** environ;

namespace tarnix::test {
namespace {

namespace fs = std::filesystem;

class TarnixProgramTest : public ::testing::Test {
 protected:
  TarnixProgramTest() : folder_("tarnix program test") {
    const fs::path built = TARNIX_PROGRAM;
    fs::copy_file(built, folder_ / "tarnix");
    for (const char* sub : {"plugins", "language"}) {
      if (fs::is_directory(built.parent_path() / sub)) {
        fs::copy(built.parent_path() / sub, folder_ / sub, fs::copy_options::recursive);
      }
    }
  }

  ~TarnixProgramTest() override {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  ConfigFile File() const { return ConfigFile::ForProgramFolder(folder_.Path()); }

  void WriteConfiguredConfig() {
    const TXMLConfigType config = ParseConfigText(DefaultConfigText());
    config.GetSetting().GetProfile().SetConfigured(true);
    fs::create_directories(folder_ / "config");
    SaveConfig(config, File());
  }

  // The program's own output (Qt's notes on the offscreen platform) goes to
  // a file, shown when a test fails.
  void StartProgram(std::vector<std::string> args) {
    pid_ = SpawnOffscreen(folder_ / "tarnix", std::move(args), folder_ / "output.txt");
    ASSERT_GT(pid_, 0) << "cannot start " << (folder_ / "tarnix");
  }

  std::string DebugLog() const {
    return ReadFile(folder_ / "debug.log") + "\n-- output:\n" + ReadFile(folder_ / "output.txt");
  }

  bool LogHas(const std::string& message) const {
    return ReadFile(folder_ / "debug.log").find("] " + message + "\r\n") != std::string::npos;
  }

  // The exit status once the program has ended, nullopt when it did not end in time.
  std::optional<int> WaitForExit() {
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; },
                               std::chrono::seconds(60));
    if (!ended) return std::nullopt;
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  // The messages of debug.log in order.
  std::vector<std::string> Messages() const {
    std::vector<std::string> messages;
    const std::string text = ReadFile(folder_ / "debug.log");
    size_t start = 0;
    while (start < text.size()) {
      const size_t end = text.find("\r\n", start);
      if (end == std::string::npos) break;
      const std::string line = text.substr(start, end - start);
      const size_t close = line.find("] ");
      messages.push_back(close == std::string::npos ? line : line.substr(close + 2));
      start = end + 2;
    }
    return messages;
  }

  TTempFolder folder_;
  pid_t pid_ = 0;
};

TEST_F(TarnixProgramTest, OfflineRunEndsInOrderOnSigtermAndSavesItsConfiguration) {
  WriteConfiguredConfig();
  StartProgram({"/offline", "/debug"});
  ASSERT_TRUE(WaitFor([&] { return LogHas("Server started."); }, std::chrono::seconds(60)))
      << DebugLog();
  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  const std::optional<int> status = WaitForExit();
  ASSERT_TRUE(status) << "tarnix did not end after SIGTERM";
  EXPECT_EQ(*status, 0);

  // The configuration was saved by the shut-down: this run counted itself.
  const TXMLConfigType saved = LoadConfig(File());
  EXPECT_EQ(saved.GetSyscon().GetLaunchnum(), 1);
  EXPECT_TRUE(saved.GetSetting().GetProfile().GetConfigured());

  const std::vector<std::string> expected = {
      std::string("tarnix Version ") + kProgramVersion, "StreamWeaver Protocol Version 1.23", "Initializing...", "Initialization complete.",
      "Connecting to all members..", "Server started.", "Finalizing...", "Services cleared.",
      "Events cleared.", "Handler terminated.", "Configs Saved.", "Finalization complete."};
  const std::vector<std::string> messages = Messages();
  size_t at = 0;
  for (const std::string& m : messages) {
    if (at < expected.size() && m == expected[at]) ++at;
  }
  EXPECT_EQ(at, expected.size()) << DebugLog();
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "Finalization complete.");
}

TEST_F(TarnixProgramTest, FirstRunEndsOnSigtermWithoutWaitingForItsDialogs) {
  StartProgram({"/offline", "/debug"});
  ASSERT_TRUE(WaitFor([&] { return LogHas("Initialization complete."); }, std::chrono::seconds(60)))
      << DebugLog();
  ASSERT_EQ(kill(pid_, SIGTERM), 0);
  const std::optional<int> status = WaitForExit();
  ASSERT_TRUE(status) << "tarnix waited for its first-run dialogs";
  EXPECT_EQ(*status, 0);
  EXPECT_TRUE(LogHas("Finalization complete.")) << DebugLog();
  // The first run ended before the folder "config" was made: nothing saved.
  EXPECT_FALSE(fs::exists(File().path));
}

TEST_F(TarnixProgramTest, HelpAndVersionNeedNoDisplay) {
  StartProgram({"/offline", "--version"});
  std::optional<int> status = WaitForExit();
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, 0);
  EXPECT_EQ(ReadFile(folder_ / "output.txt"), std::string("tarnix ") + kProgramVersion + "\n");
  StartProgram({"--help"});
  status = WaitForExit();
  ASSERT_TRUE(status);
  EXPECT_EQ(*status, 0);
  EXPECT_NE(ReadFile(folder_ / "output.txt").find("Usage: tarnix"), std::string::npos);
  EXPECT_FALSE(fs::exists(folder_ / "config"));
}

}  // namespace
}  // namespace tarnix::test
