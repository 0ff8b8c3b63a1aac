// Two real tarnix programs, each in a program folder of its own, started with
// "/offline" on the offscreen Qt platform: the one that has the other as a
// member connects at start, the two generate and adopt a key, authenticate,
// exchange their profiles and pictures, and both configuration files hold the
// same key when the programs have ended.
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/config/hcConfig.h"
#include "core/manager/BuddyIcon.h"
#include "tests/support/SpawnProgram.h"
#include "tests/support/BitmapBytes.h"
#include "tests/support/TempFolder.h"
#include "tests/support/FreePort.h"

extern char** environ;

namespace tarnix::test {
namespace {

namespace fs = std::filesystem;

#ifdef TARNIX_PROGRAM
// One copy of the program in a scratch program folder.
class TProgram {
 public:
  explicit TProgram(const std::string& name) : folder_("tarnix two programs " + name) {
#ifdef TARNIX_PROGRAM
    const fs::path built = TARNIX_PROGRAM;
    fs::copy_file(built, folder_ / "tarnix");
    for (const char* sub : {"plugins", "language"}) {
      if (fs::is_directory(built.parent_path() / sub)) {
        fs::copy(built.parent_path() / sub, folder_ / sub, fs::copy_options::recursive);
      }
    }
#endif
    fs::create_directories(folder_ / "config" / "bubbyicon");
  }
  ~TProgram() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  ConfigFile File() const { return ConfigFile::ForProgramFolder(folder_.Path()); }
  const fs::path& Folder() const { return folder_.Path(); }

  // A configured installation listening on port, with its members.
  TXMLConfigType Configure(const std::string& userName, int port) {
    TXMLConfigType config = ParseConfigText(DefaultConfigText());
    const TXMLSettingType setting = config.GetSetting();
    setting.GetProfile().SetConfigured(true);
    setting.GetProfile().SetDispname(userName + " at home");
    setting.GetRegistation().SetName(userName);
    setting.GetRegistation().SetEnabled(false);
    setting.GetServer().SetPort(port);
    config.GetSyscon().SetVercheck(false);
    config.GetSyscon().SetShowonstart(false);
    return config;
  }
  void Save(const TXMLConfigType& config) { SaveConfig(config, File()); }

  void Start() {
    pid_ = SpawnOffscreen(folder_ / "tarnix", {"/offline", "/debug"}, folder_ / "output.txt");
    ASSERT_GT(pid_, 0) << "cannot start " << (folder_ / "tarnix");
  }

  bool LogHas(const std::string& message) const {
    return ReadFile(folder_ / "debug.log").find("] " + message + "\r\n") != std::string::npos;
  }
  std::string DebugLog() const {
    return ReadFile(folder_ / "debug.log") + "\n-- output:\n" + ReadFile(folder_ / "output.txt");
  }

  // SIGTERM, then the exit status; nullopt when the program did not end in time.
  std::optional<int> Stop() {
    if (pid_ <= 0) return std::nullopt;
    kill(pid_, SIGTERM);
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; },
                               std::chrono::seconds(60));
    if (!ended) return std::nullopt;
    pid_ = 0;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  TTempFolder folder_;
  pid_t pid_ = 0;
};

TXMLMemberType FindMember(const TXMLConfigType& config, const std::string& name) {
  const TXMLMemberListType list = config.GetMemberList();
  for (int i = 0; i < list.Count(); ++i) {
    if (list.Item(i).GetName() == name) return list.Item(i);
  }
  return {};
}

#endif

TEST(TwoPrograms, MembersWithEmptyKeysMeetAuthenticateAndKeepTheSameKey) {
#ifndef TARNIX_PROGRAM
  GTEST_SKIP() << "the tarnix program is built only with the user interface";
#else
  TProgram alice("alice");
  TProgram bob("bob");
  const int alicePort = FreePort();
  const int bobPort = FreePort();

  TXMLConfigType bobConfig = bob.Configure("bob", bobPort);
  TXMLMemberType aliceAtBob = bobConfig.GetMemberList().Add();
  aliceAtBob.SetName("alice");
  aliceAtBob.SetDispname("alice");
  aliceAtBob.SetAuth("");
  aliceAtBob.SetPort(0);
  aliceAtBob.SetAddr("");
  aliceAtBob.SetAnonymous(false);
  bob.Save(bobConfig);

  TXMLConfigType aliceConfig = alice.Configure("alice", alicePort);
  TXMLMemberType bobAtAlice = aliceConfig.GetMemberList().Add();
  bobAtAlice.SetName("bob");
  bobAtAlice.SetDispname("bob");
  bobAtAlice.SetAuth("");
  bobAtAlice.SetPort(bobPort);
  bobAtAlice.SetAddr("127.0.0.1");
  bobAtAlice.SetAnonymous(false);
  alice.Save(aliceConfig);
  const std::vector<uint8_t> picture = MakeBitmap(5, 4);
  WriteFile(OwnBuddyIconPath(alice.Folder()), std::string(picture.begin(), picture.end()));

  bob.Start();
  ASSERT_TRUE(WaitFor([&] { return bob.LogHas("Server started."); }, std::chrono::seconds(60)))
      << bob.DebugLog();
  alice.Start();
  ASSERT_TRUE(WaitFor([&] {
    return alice.LogHas("Authentication OK: bob") && bob.LogHas("Authentication OK: alice");
  }, std::chrono::seconds(60))) << alice.DebugLog() << "\n---- bob:\n" << bob.DebugLog();
  EXPECT_TRUE(alice.LogHas("Trying authentication to bob"));
  const fs::path received = BuddyIconPath(bob.Folder(), "alice");
  ASSERT_TRUE(WaitFor([&] { return fs::exists(received); }, std::chrono::seconds(60)));

  ASSERT_EQ(alice.Stop(), std::optional<int>(0)) << alice.DebugLog();
  ASSERT_EQ(bob.Stop(), std::optional<int>(0)) << bob.DebugLog();
  EXPECT_TRUE(alice.LogHas("Disconnecting..bob"));
  EXPECT_EQ(ReadFile(received), std::string(picture.begin(), picture.end()));

  const TXMLConfigType aliceSaved = LoadConfig(alice.File());
  const TXMLConfigType bobSaved = LoadConfig(bob.File());
  const TXMLMemberType bobEntry = FindMember(aliceSaved, "bob");
  const TXMLMemberType aliceEntry = FindMember(bobSaved, "alice");
  ASSERT_FALSE(bobEntry.IsNull());
  ASSERT_FALSE(aliceEntry.IsNull());
  EXPECT_TRUE(std::regex_match(bobEntry.GetAuth(), std::regex("[0-9a-f]{32}"))) << bobEntry.GetAuth();
  EXPECT_EQ(aliceEntry.GetAuth(), bobEntry.GetAuth());
  EXPECT_EQ(aliceEntry.GetDispname(), "alice at home");
  EXPECT_EQ(bobEntry.GetDispname(), "bob at home");
  // Bob's entry had neither address nor port: it learned both from alice.
  EXPECT_EQ(aliceEntry.GetAddr(), "127.0.0.1");
  EXPECT_EQ(aliceEntry.GetPort(), alicePort);
#endif
}

}  // namespace
}  // namespace tarnix::test
