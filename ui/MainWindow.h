#pragma once
// TfrmMain: the program's main window, for now the parts the start-up and
// shut-down sequence drives: the start-up panel (pnlStarting with lblState
// and lblEcho), the member panel, the tool bars, the tray icon (tiTray) with
// its menu and the reconnect timer (tmConnect). It implements the main-window
// UI port; what its buttons and menus do is handed in as TMainWindowActions.
// Plugins add to it through the system plugin (TQtSystemUi, SystemUi.h): tool
// bar buttons on tbTools, tabs on the vertical tab strip tsMain (whose first
// tab is the member list) with their pages in pnlContainer.
#include <functional>

#include <QPointer>
#include <QWidget>

#include "app/startup/UiPorts.h"

class QLabel;
class QMenu;
class QSystemTrayIcon;
class QTabBar;
class QTimer;
class QToolBar;
class QTreeWidget;

namespace tarnix {

struct TMainWindowActions {
  std::function<void()> exit;        // tbExit, miExit
  std::function<void()> settings;    // tbSetting, miShowSetting
  std::function<void()> connectAll;  // tmConnect fired
};

class TfrmMain final : public QWidget, public IMainWindowPort {
  Q_OBJECT

 public:
  TfrmMain();
  ~TfrmMain() override;

  void SetActions(TMainWindowActions actions) { actions_ = std::move(actions); }

  void SetStatusText(const std::string& text) override;
  void SetEchoText(const std::string& text) override;
  bool IsStartingPanelVisible() const override;
  void ShowStartingPanel() override;
  void HideStartingPanel() override;
  void ShowWindow() override;
  void HideWindow() override;
  void SetGeometry(const TWindowGeometry& geometry) override;
  TWindowGeometry Geometry() const override;
  TScreenLayout ScreenLayout() const override;
  void SetTaskButton(bool visible) override;
  void InitializeForm() override;
  void ShowMemberPanel() override;
  void ClearMemberSelection() override;
  void FitToolBar() override;
  TMemberListEvents MemberEventHandlers() override;
  void EnableConnectTimer(bool enabled) override;
  void HideTrayIcon() override;
  void TerminateApplication() override;

  // What plugins add to, through TQtSystemUi.
  QToolBar* PluginToolBar() const { return tbTools_; }
  QTabBar* TabStrip() const { return tsMain_; }
  QWidget* ContainerPanel() const { return pnlContainer_; }
  QTreeWidget* MemberTree() const { return tvMembers_; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void Run(const std::function<void()>& action);
  void OnConnectTimer();

  TMainWindowActions actions_;
  // Owned by Qt's parent chain.
  QWidget* pnlStarting_ = nullptr;
  QLabel* imgIcon_ = nullptr;
  QLabel* lblState_ = nullptr;
  QLabel* lblEcho_ = nullptr;
  QWidget* pnlMember_ = nullptr;
  QLabel* lblLoginName_ = nullptr;
  QTreeWidget* tvMembers_ = nullptr;
  QTabBar* tsMain_ = nullptr;
  QWidget* pnlContainer_ = nullptr;
  QToolBar* tbTools_ = nullptr;
  QToolBar* toolBar1_ = nullptr;
  QTimer* tmConnect_ = nullptr;
  QMenu* pmTaskMenu_ = nullptr;  // owned here: a menu has no widget parent
  QSystemTrayIcon* tiTray_ = nullptr;
};

}  // namespace tarnix
