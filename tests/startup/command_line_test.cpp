// The command line's switches and the service addresses they move.
#include <gtest/gtest.h>

#include "tests/startup/StartupFixture.h"

namespace tarnix::test {
namespace {

struct TCommandLineCase {
  const char* name;
  std::vector<std::string> args;
  std::string userName;
  TRunModes modes;
  std::string base;
};

std::ostream& operator<<(std::ostream& out, const TCommandLineCase& c) { return out << c.name; }

class CommandLineTest : public StartupFixture,
                        public ::testing::WithParamInterface<TCommandLineCase> {};

TEST_P(CommandLineTest, SetsModesNameAndAddresses) {
  const TCommandLineCase& c = GetParam();
  TProgramContext& ctx = MakeContext(c.args);
  ctx.config = ParseConfigText(DefaultConfigText());
  ctx.config.GetSetting().GetRegistation().SetName("stored");
  ParseCommandLine(ctx);

  EXPECT_EQ(ctx.config.GetSetting().GetRegistation().GetName(), c.userName);
  EXPECT_EQ(ctx.modes.debugMode, c.modes.debugMode);
  EXPECT_EQ(ctx.modes.settingMode, c.modes.settingMode);
  EXPECT_EQ(ctx.modes.localMode, c.modes.localMode);
  EXPECT_EQ(ctx.modes.offlineMode, c.modes.offlineMode);
  EXPECT_EQ(ctx.urls.base, c.base);
  EXPECT_EQ(ctx.urls.versionFile, c.base + "verup.txt");
  EXPECT_EQ(ctx.urls.node, c.base + "node.php");
  // The connection service never moves.
  EXPECT_EQ(ctx.urls.connectionService, "http://tarnix.example.org/tarnix/serv.php");
}

const std::string kDefaultBase = "http://tarnix.example.org/tarnix/";

INSTANTIATE_TEST_SUITE_P(
    Switches, CommandLineTest,
    ::testing::Values(
        TCommandLineCase{"none", {}, "stored", {}, kDefaultBase},
        TCommandLineCase{"name", {"/name", "bob"}, "bob", {}, kDefaultBase},
        TCommandLineCase{"nameLast", {"/debug", "/name"}, "", {.debugMode = true}, kDefaultBase},
        TCommandLineCase{"nameTakesNextSwitch", {"/name", "/debug"}, "/debug", {}, kDefaultBase},
        TCommandLineCase{"caseSensitive", {"/DEBUG", "/Offline", "debug"}, "stored", {}, kDefaultBase},
        TCommandLineCase{"setting", {"/setting"}, "stored", {.settingMode = true}, kDefaultBase},
        TCommandLineCase{"local", {"/local"}, "stored", {.localMode = true}, "http://127.0.0.1/"},
        TCommandLineCase{"offline", {"/offline"}, "stored", {.offlineMode = true}, "http://localhost/"},
        TCommandLineCase{"localThenOffline", {"/local", "/offline"}, "stored",
                         {.localMode = true, .offlineMode = true}, "http://localhost/"},
        TCommandLineCase{"offlineThenLocal", {"/offline", "/local", "/name", "x"}, "x",
                         {.localMode = true, .offlineMode = true}, "http://127.0.0.1/"}),
    [](const ::testing::TestParamInfo<TCommandLineCase>& info) { return std::string(info.param.name); });

TEST_F(StartupFixture, NameFromTheCommandLineIsSavedWithTheConfiguration) {
  WriteConfig();
  TProgramContext& ctx = MakeContext({"/name", "erin"});
  ASSERT_TRUE(Start(ctx));
  ExitProgram(ctx, true);
  EXPECT_EQ(SavedConfig().GetSetting().GetRegistation().GetName(), "erin");
}

}  // namespace
}  // namespace tarnix::test
