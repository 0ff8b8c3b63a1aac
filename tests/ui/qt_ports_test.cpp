// The Qt implementations of the UI ports on the offscreen platform.
#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include "tests/support/BitmapBytes.h"
#include "ui/MainWindow.h"
#include "ui/NewMemberPrompt.h"
#include "ui/PictureCheck.h"
#include "ui/QtPorts.h"

#include "tests/ui/QtTestApp.h"

namespace tarnix::test {
namespace {

QApplication& App() { return QtTestApp(); }

TEST(QtMainWindowTest, StartingPanelCarriesStatusAndEcho) {
  App();
  TfrmMain window;
  EXPECT_EQ(window.objectName(), "TfrmMain");
  EXPECT_EQ(window.windowTitle(), "Tarnix");
  window.ShowStartingPanel();
  EXPECT_TRUE(window.IsStartingPanelVisible());
  window.SetStatusText("Logging in...");
  window.SetEchoText("Initializing\xE2\x80\xA6");  // UTF-8 survives
  EXPECT_EQ(window.findChild<QLabel*>("lblState")->text(), "Logging in...");
  EXPECT_EQ(window.findChild<QLabel*>("lblEcho")->text(), QString::fromUtf8("Initializing\xE2\x80\xA6"));
  window.ShowMemberPanel();
  EXPECT_FALSE(window.IsStartingPanelVisible());
}

TEST(QtMainWindowTest, GeometryRoundTripsAndScreenHasATaskbarEdge) {
  App();
  TfrmMain window;
  window.SetGeometry({70, 100, 225, 300});
  window.ShowWindow();
  const TWindowGeometry g = window.Geometry();
  EXPECT_EQ(g.width, 225);
  EXPECT_EQ(g.height, 300);
  const TScreenLayout screen = window.ScreenLayout();
  EXPECT_GT(screen.width, 0);
  EXPECT_GT(screen.height, 0);
  // Without a panel the taskbar is the empty strip below the screen.
  EXPECT_EQ(screen.taskbar.bottom, screen.height);
  window.HideWindow();
  EXPECT_FALSE(window.isVisible());
}

TEST(QtPortsTest, ShutdownRejectsTheOpenBoxAndRefusesLaterDialogs) {
  App();
  TQtMessageBoxPort boxes;
  // The box is open when the shutdown query comes.
  QTimer::singleShot(0, [] { RefuseDialogs(); });
  EXPECT_EQ(boxes.ShowMessageBox("Do you want to exit Tarnix?", "Tarnix", kMbOkCancel | kMbIconQuestion),
            kIdCancel);
  EXPECT_TRUE(DialogsRefused());
  // From now on nothing waits for the user.
  EXPECT_EQ(boxes.ShowMessageBox("q", "c", kMbYesNo | kMbIconQuestion), kIdNo);
  EXPECT_EQ(boxes.ShowMessageBox("e", "c", kMbOk | kMbIconError), kIdOk);
  TQtFirstRunDialogs firstRun;
  EXPECT_EQ(firstRun.SelectLanguage({"english"}, "japanese"), "japanese");
  EXPECT_EQ(firstRun.Login("a", "b").result, kIdCancel);
  TQtSettingsDialog settings;
  EXPECT_EQ(settings.ShowSettings(), kIdCancel);
}

TEST(QtMemberPortsTest, PictureCheckReadsBitmapsOnly) {
  App();
  TQtPictureCheck check;
  const std::vector<uint8_t> bitmap = MakeBitmap(4, 3);
  EXPECT_TRUE(check.IsReadableBitmap(bitmap.data(), bitmap.size()));
  const std::vector<uint8_t> truncated(bitmap.begin(), bitmap.begin() + 20);
  EXPECT_FALSE(check.IsReadableBitmap(truncated.data(), truncated.size()));
  const std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0, 0, 0, ';'};
  EXPECT_FALSE(check.IsReadableBitmap(gif.data(), gif.size()));
  EXPECT_FALSE(check.IsReadableBitmap(nullptr, 0));
}

TEST(QtMemberPortsTest, NewMemberPromptShowsTheNameAndAnswersOnce) {
  App();
  TfrmNewMember prompt;
  prompt.SetTextSource([](const std::string& section, const std::string& key) -> std::string {
    if (section == "frmNewMember" && key == "lblMsg") return "Accept %s?";
    return "";
  });
  std::vector<bool> answers;
  const TNewPeerPromptShown first = prompt.ShowNewPeerPrompt("carol", [&](bool a) { answers.push_back(a); });
  // A second request replaces the first, which is never answered.
  const TNewPeerPromptShown shown = prompt.ShowNewPeerPrompt("dave", [&](bool a) { answers.push_back(!a); });
  EXPECT_EQ(first.message, "Accept carol?");
  EXPECT_EQ(shown.message, "Accept dave?");
  EXPECT_EQ(prompt.findChild<QLabel*>("lblMsg")->text(), "Accept dave?");
  EXPECT_TRUE(prompt.isVisible());
  EXPECT_EQ(prompt.pos(), QPoint(74, 74));
  prompt.Answer(false);
  prompt.Answer(true);  // nothing pending any more
  EXPECT_EQ(answers, (std::vector<bool>{true}));
  EXPECT_FALSE(prompt.isVisible());
}

}  // namespace
}  // namespace tarnix::test
