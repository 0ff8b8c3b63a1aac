// The version check: comparing the program's last version number with the
// version file, and the new-version alert.
#include <gtest/gtest.h>

#include "app/startup/VersionCheck.h"
#include "tarnix/Version.h"
#include "tests/startup/StartupFixture.h"

namespace tarnix::test {
namespace {

TEST(VersionCheckTest, LastVersionNumber) {
  const struct {
    const char* version;
    int expected;
  } kCases[] = {{"0.5.15.123", 123}, {"1.2", 2}, {"7", 7}, {"1.2.x", 0}, {"", 0}, {"1.2.", 0},
                {"1.2.99999999999", 0}};
  for (const auto& c : kCases) EXPECT_EQ(LastVersionNumber(c.version), c.expected) << c.version;
}

TEST(VersionCheckTest, ComparesTheFirstLineWithTheLastVersionNumber) {
  const TFakeUi unused;
  const std::unique_ptr<ILanguage> language = [] {
    TSubsystemFactories f = PlaceholderFactories();
    TMainLoop loop;
    TFakeUi ui;
    TProgramContext ctx("/tmp", {}, ui.Ports(), loop, f);
    return f.language(ctx);
  }();
  const std::optional<TAlert> newer =
      VersionCheckAlert("124\r\nBuild 124 is out.\r\nGet it now.\r\n", "0.5.15.123", *language);
  ASSERT_TRUE(newer);
  EXPECT_EQ(newer->kind, 4);
  EXPECT_EQ(newer->displayTime, 30000);
  EXPECT_EQ(newer->title, "A new version is available");
  EXPECT_EQ(newer->text, "Build 124 is out.\r\nGet it now.\r\n");
  EXPECT_EQ(newer->owner, nullptr);

  EXPECT_FALSE(VersionCheckAlert("123\r\nsame\r\n", "0.5.15.123", *language));
  EXPECT_FALSE(VersionCheckAlert("100\nolder\n", "0.5.15.123", *language));
  EXPECT_FALSE(VersionCheckAlert("124\r\n", "0.5.15.123", *language));  // one line only
  EXPECT_FALSE(VersionCheckAlert("", "0.5.15.123", *language));
  EXPECT_TRUE(VersionCheckAlert("5\nbody", "0.5.x", *language));  // local 0 when not a number
  EXPECT_THROW(VersionCheckAlert("new!\nbody\n", "0.5.15.123", *language), std::invalid_argument);
}

TEST(VersionCheckTest, SplitLinesKeepsEmptyLinesButNotAFinalBreak) {
  EXPECT_EQ(SplitLines("a\r\n\r\nb\n"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitLines("a"), (std::vector<std::string>{"a"}));
  EXPECT_TRUE(SplitLines("").empty());
}

class VersionCheckStartTest : public StartupFixture {
 protected:
  void Serve(std::string answer) {
    factories_.httpGet = [this, answer](const std::string& url, const std::string& agent) {
      requests_.push_back(url + " " + agent);
      return answer;
    };
  }
  std::vector<std::string> requests_;
};

TEST_F(VersionCheckStartTest, NewerVersionRaisesTheAlertAtStart) {
  WriteConfig();
  Serve("999999\r\nA newer build.\r\n");
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  EXPECT_EQ(requests_, (std::vector<std::string>{"http://tarnix.example.org/tarnix/verup.txt tarnix/" +
                                                 std::string(kProgramVersion)}));
  ASSERT_EQ(alerts_.size(), 1u);
  EXPECT_EQ(alerts_[0].kind, 4);
  EXPECT_EQ(alerts_[0].text, "A newer build.\r\n");
  EXPECT_TRUE(ui_.messageBox.shown.empty());
}

TEST_F(VersionCheckStartTest, OfflineModeAndVercheckOffSkipTheCheck) {
  Serve("999999\r\nA newer build.\r\n");
  WriteConfig();
  {
    TProgramContext& ctx = MakeContext({"/offline"});
    ASSERT_TRUE(Start(ctx));
    ExitProgram(ctx, true);
  }
  WriteConfig([](const TXMLConfigType& c) { c.GetSyscon().SetVercheck(false); });
  {
    TProgramContext& ctx = MakeContext();
    ASSERT_TRUE(Start(ctx));
  }
  EXPECT_TRUE(requests_.empty());
  EXPECT_TRUE(alerts_.empty());
}

TEST_F(VersionCheckStartTest, BrokenAnswersAndFailedFetchesStaySilent) {
  for (const char* answer : {"garbage\r\nbody\r\n", "", "999999"}) {
    SCOPED_TRACE(answer);
    WriteConfig();
    Serve(answer);
    TProgramContext& ctx = MakeContext();
    ASSERT_TRUE(Start(ctx));
    ExitProgram(ctx, true);
  }
  factories_.httpGet = [](const std::string&, const std::string&) -> std::string {
    throw std::runtime_error("HTTP 404");
  };
  WriteConfig();
  TProgramContext& ctx = MakeContext();
  ASSERT_TRUE(Start(ctx));
  EXPECT_TRUE(alerts_.empty());
  EXPECT_TRUE(ui_.messageBox.shown.empty());
}

TEST(DonationTest, BannerLaunches) {
  for (long long n : {50LL, 150LL, 250LL, 1050LL}) EXPECT_TRUE(IsDonationLaunch(n)) << n;
  for (long long n : {0LL, 1LL, 49LL, 51LL, 100LL, 200LL}) EXPECT_FALSE(IsDonationLaunch(n)) << n;
}

}  // namespace
}  // namespace tarnix::test
