// The Qt implementations of the UI ports on the offscreen platform.
#include <QApplication>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include "ui/MainWindow.h"
#include "ui/QtPorts.h"

namespace tarnix::test {
namespace {

QApplication& App() {
  static int argc = 1;
  static char name[] = "tests_ui";
  static char* argv[] = {name, nullptr};
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static QApplication app(argc, argv);
  return app;
}

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

}  // namespace
}  // namespace tarnix::test
