// debug-launcher against a stand-in "tarnix": this very test program, copied
// next to a copy of the launcher in a folder whose path contains blanks. When
// it runs under the name "tarnix" it records its exact argument vector in the
// file "args" beside itself and ends before any test runs.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/TempFolder.h"

extern char** environ;

namespace fs = std::filesystem;
using tarnix::test::ReadFile;
using tarnix::test::TTempFolder;
using tarnix::test::WaitFor;

namespace {

std::string OwnCommandLine() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs before main: acts as the stand-in when started under the name "tarnix".
[[maybe_unused]] const bool kStandIn = [] {
  const fs::path self = fs::read_symlink("/proc/self/exe");
  if (self.filename() != "tarnix") return false;
  const fs::path partial = self.parent_path() / "args.partial";
  {
    std::ofstream out(partial, std::ios::binary);
    out << OwnCommandLine();
  }
  fs::rename(partial, self.parent_path() / "args");  // seen complete or not at all
  _exit(0);
}();

std::vector<std::string> SplitNul(const std::string& text) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : text) {
    if (c == '\0') {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  return parts;
}

// Starts program with args, waits for it and returns its exit status (-1 when it did not exit).
int RunAndWait(const fs::path& program, const std::vector<std::string>& args) {
  std::vector<std::string> storage{program.string()};
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

class DebugLauncherTest : public ::testing::Test {
 protected:
  DebugLauncherTest() : folder_("tarnix launcher test with blanks") {
    launcher_ = folder_ / "debug-launcher";
    fs::copy_file(TARNIX_DEBUG_LAUNCHER, launcher_);
  }

  void PlaceStandIn() { fs::copy_file(fs::read_symlink("/proc/self/exe"), folder_ / "tarnix"); }

  TTempFolder folder_;
  fs::path launcher_;
};

TEST_F(DebugLauncherTest, StartsProgramFromItsFolderWithExactlyPathAndDebug) {
  ASSERT_NE(folder_.Path().string().find(' '), std::string::npos);
  PlaceStandIn();
  // Arguments given to the launcher must not reach the program.
  EXPECT_EQ(RunAndWait(launcher_, {"/offline", "extra argument"}), 0);
  const fs::path args = folder_ / "args";
  ASSERT_TRUE(WaitFor([&] { return fs::exists(args); })) << "the stand-in never ran";
  const std::vector<std::string> argv = SplitNul(ReadFile(args));
  ASSERT_EQ(argv.size(), 2u);
  EXPECT_EQ(argv[0], (folder_ / "tarnix").string());
  EXPECT_EQ(argv[1], "/debug");
}

TEST_F(DebugLauncherTest, EndsWithZeroWhenTheProgramIsMissing) {
  EXPECT_EQ(RunAndWait(launcher_, {}), 0);
  EXPECT_FALSE(fs::exists(folder_ / "args"));
}

TEST_F(DebugLauncherTest, EndsWithZeroWhenTheProgramCannotBeStarted) {
  tarnix::test::WriteFile(folder_ / "tarnix", "not a program");
  fs::permissions(folder_ / "tarnix", fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(RunAndWait(launcher_, {}), 0);
}

}  // namespace
