// tarnix-config run as a real process.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "app/config/hcConfig.h"
#include "tests/config/ConfigTestUtil.h"

#ifndef TARNIX_CONFIG_TOOL
#error "TARNIX_CONFIG_TOOL must name the tarnix-config executable"
#endif

namespace tarnix {
namespace {

using testing::ReadAll;
using testing::WriteAll;

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class ConfigToolTest : public ::testing::Test {
 protected:
  // Runs the tool with args (already shell-quoted) and stdin text.
  RunResult Run(const std::string& args, std::string_view input = "") {
    const auto in = dir_.Path() / "stdin";
    const auto out = dir_.Path() / "stdout";
    const auto err = dir_.Path() / "stderr";
    WriteAll(in, input);
    const std::string command = std::string("'") + TARNIX_CONFIG_TOOL + "' " + args + " <'" + in.string() + "' >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int status = std::system(command.c_str());
    RunResult result;
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = ReadAll(out);
    result.err = ReadAll(err);
    return result;
  }
  std::string Quoted(const std::filesystem::path& path) const { return "'" + path.string() + "'"; }
  static void ExpectOneLineError(const RunResult& r) {
    EXPECT_EQ(r.exitCode, 1);
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_EQ(r.err.rfind("tarnix-config: ", 0), 0u) << r.err;
  }

  testing::TempDir dir_;
};

TEST_F(ConfigToolTest, DefaultAndHelp) {
  const RunResult def = Run("default");
  EXPECT_EQ(def.exitCode, 0);
  EXPECT_EQ(def.out, DefaultConfigText() + "\n");
  const RunResult help = Run("--help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: tarnix-config"), std::string::npos);
  for (const char* bad : {"", "show", "write", "default extra", "frobnicate x"}) {
    SCOPED_TRACE(bad);
    ExpectOneLineError(Run(bad));
  }
}

TEST_F(ConfigToolTest, WrittenFileMatchesAnIndependentCipherAndShowsBack) {
  const auto file = dir_.Path() / "config.dat";
  const RunResult write = Run("write " + Quoted(file), testing::kSmallConfigText);
  ASSERT_EQ(write.exitCode, 0) << write.err;
  EXPECT_EQ(testing::ToHex(ReadAll(file)), testing::kSmallConfigFileHex);
  const RunResult show = Run("show " + Quoted(file));
  EXPECT_EQ(show.exitCode, 0) << show.err;
  EXPECT_EQ(show.out, testing::kSmallConfigText);
}

TEST_F(ConfigToolTest, ToolAndProgramReadEachOthersFiles) {
  const ConfigFile file = ConfigFile::ForProgramFolder(dir_.Path());
  std::filesystem::create_directories(file.path.parent_path());
  const TXMLConfigType config = LoadConfig(file);
  config.GetSyscon().SetLanguage("english");
  SaveConfig(config);
  const RunResult show = Run("show " + Quoted(file.path));
  ASSERT_EQ(show.exitCode, 0) << show.err;
  EXPECT_EQ(show.out, ConfigText(config));

  std::string edited = show.out;
  edited.replace(edited.find("english"), 7, "deutsch");
  ASSERT_EQ(Run("write " + Quoted(file.path), edited).exitCode, 0);
  EXPECT_EQ(LoadConfig(file).GetSyscon().GetLanguage(), "deutsch");
}

TEST_F(ConfigToolTest, BrokenInputIsRefusedAndTheOldFileKept) {
  const auto file = dir_.Path() / "config.dat";
  ASSERT_EQ(Run("write " + Quoted(file), DefaultConfigText()).exitCode, 0);
  const std::string previous = ReadAll(file);
  for (const char* broken : {"", "   \n", "<config><setting></config>", "<other/>", "<config/><config/>", "plain"}) {
    SCOPED_TRACE(broken);
    ExpectOneLineError(Run("write " + Quoted(file), broken));
    EXPECT_EQ(ReadAll(file), previous);
  }
  // A folder that does not exist.
  ExpectOneLineError(Run("write " + Quoted(dir_.Path() / "none" / "config.dat"), DefaultConfigText()));
}

TEST_F(ConfigToolTest, ShowRefusesDamagedFiles) {
  const auto file = dir_.Path() / "config.dat";
  ExpectOneLineError(Run("show " + Quoted(file)));  // absent
  WriteAll(file, std::string(13, 'x'));
  ExpectOneLineError(Run("show " + Quoted(file)));
  WriteAll(file, EncryptText("not xml at all", ConfigKeyText()));
  ExpectOneLineError(Run("show " + Quoted(file)));
  WriteAll(file, testing::FromHex(testing::kEmptyConfigFileHex));
  const RunResult empty = Run("show " + Quoted(file));
  EXPECT_EQ(empty.exitCode, 0) << empty.err;
  EXPECT_EQ(empty.out, "");
}

}  // namespace
}  // namespace tarnix
