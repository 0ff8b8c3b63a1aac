// The main window's side of the system plugin's user-interface services, with
// Qt on the offscreen platform: tool bar buttons, the member-menu list and its
// actions, and the plugin tabs of the vertical tab strip with their container
// procedure calls.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QTabBar>
#include <QToolBar>
#include <QTreeWidget>
#include <cstring>
#include <utility>
#include <vector>

#include "core/bus/EventManager.h"
#include "core/bus/ServiceManager.h"
#include "plugin/api/THCHandler.h"
#include "plugin/system/THCPluginSystem.h"
#include "ui/MainWindow.h"
#include "ui/SettingPages.h"
#include "ui/SystemUi.h"

#include "tests/ui/QtTestApp.h"

namespace tarnix::test {
namespace {

QApplication& UiApp() { return QtTestApp(); }

// Every call a procedure got, as (wParam, lParam).
std::vector<std::pair<intptr_t, intptr_t>> gCalls;

intptr_t HCCALL Record(intptr_t wParam, intptr_t lParam) {
  gCalls.emplace_back(wParam, lParam);
  return 0;
}

intptr_t HCCALL Container(intptr_t wParam, intptr_t lParam) {
  if (lParam == 2) {
    std::strcpy(reinterpret_cast<char*>(wParam), "Chat");
    return 0;
  }
  return Record(wParam, lParam);
}

// An action that applies to every member, captioned "Send file".
intptr_t HCCALL SendFile(intptr_t code, intptr_t lParam) {
  if (code == 1) return 0;
  if (code == 0) {
    auto* record = reinterpret_cast<THCMenuCaptionRecord*>(lParam);
    std::strncpy(record->Buffer, "Send file", static_cast<size_t>(record->Size) - 1);
  }
  return 0;
}

intptr_t HCCALL NotForThisMember(intptr_t code, intptr_t) {
  return code == 1 ? 1 : 0;
}

TEST(QtSystemUi, ToolButtonsAreActionsOfTheToolBarThatCallTheirProcedure) {
  UiApp();
  gCalls.clear();
  TfrmMain window;
  TQtSystemUi ui(window);
  const intptr_t button = ui.AddToolButton("Chat", "", &Record);
  ASSERT_NE(button, 0);
  EXPECT_EQ(ui.AddToolButton("Nothing", "", nullptr), 0);
  QAction* action = nullptr;
  for (QAction* a : window.PluginToolBar()->actions()) {
    if (a->text() == "Chat") action = a;
  }
  ASSERT_NE(action, nullptr);
  EXPECT_FALSE(action->icon().isNull()) << "the default picture";
  action->trigger();
  EXPECT_EQ(gCalls, (std::vector<std::pair<intptr_t, intptr_t>>{{0, 0}}));
  EXPECT_TRUE(ui.DeleteToolButton(button));
  EXPECT_FALSE(ui.DeleteToolButton(button));
  for (QAction* a : window.PluginToolBar()->actions()) EXPECT_NE(a->text(), "Chat");
}

TEST(QtSystemUi, MemberMenuProceduresMakeTheActionList) {
  UiApp();
  TfrmMain window;
  TQtSystemUi ui(window);
  EXPECT_TRUE(ui.AddMemberMenu(&NotForThisMember));
  EXPECT_TRUE(ui.AddMemberMenu(&SendFile));
  EXPECT_FALSE(ui.DeleteMemberMenu(&Record));
  const std::vector<TMemberAction> actions = ui.BuildActionList(nullptr);
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].caption, "Send file");
  EXPECT_EQ(actions[0].proc, &SendFile);
  EXPECT_TRUE(ui.DeleteMemberMenu(&SendFile));
  EXPECT_TRUE(ui.BuildActionList(nullptr).empty());
}

TEST(QtSystemUi, PluginTabsShowHideAndResizeTheirPagesInTheContainerPanel) {
  UiApp();
  gCalls.clear();
  TfrmMain window;
  window.ShowMemberPanel();
  window.ShowWindow();
  TQtSystemUi ui(window);
  QTabBar* strip = window.TabStrip();
  const intptr_t tab = ui.AddContainer("", &Container);
  ASSERT_NE(tab, 0);
  ASSERT_EQ(strip->count(), 2);
  EXPECT_EQ(strip->tabToolTip(1), "Chat");
  EXPECT_TRUE(gCalls.empty()) << "adding selects nothing";
  const intptr_t panel = reinterpret_cast<intptr_t>(window.ContainerPanel());

  strip->setCurrentIndex(1);
  ASSERT_FALSE(gCalls.empty());
  EXPECT_EQ(gCalls.back(), std::make_pair(panel, intptr_t{0}));
  EXPECT_FALSE(window.ContainerPanel()->isHidden());
  EXPECT_TRUE(window.MemberTree()->isHidden());
  gCalls.clear();
  window.ContainerPanel()->resize(window.ContainerPanel()->width() + 10, 50);
  QCoreApplication::sendPostedEvents();
  EXPECT_NE(std::find(gCalls.begin(), gCalls.end(), std::make_pair(panel, intptr_t{3})),
            gCalls.end());

  gCalls.clear();
  strip->setCurrentIndex(0);
  EXPECT_EQ(gCalls, (std::vector<std::pair<intptr_t, intptr_t>>{{panel, 1}}));
  EXPECT_TRUE(window.ContainerPanel()->isHidden());
  EXPECT_FALSE(window.MemberTree()->isHidden());

  strip->setCurrentIndex(1);
  gCalls.clear();
  EXPECT_TRUE(ui.DeleteContainer(tab));
  EXPECT_EQ(gCalls, (std::vector<std::pair<intptr_t, intptr_t>>{{panel, 1}})) << "deselected first";
  EXPECT_EQ(strip->count(), 1);
  EXPECT_FALSE(ui.DeleteContainer(tab));
  EXPECT_EQ(ui.AddContainer("", nullptr), 0);
  ui.ProcessMessages();
}

}  // namespace
}  // namespace tarnix::test

namespace tarnix::test {
namespace {

std::vector<std::pair<intptr_t, intptr_t>> gPageCalls;

intptr_t HCCALL Page(intptr_t code, intptr_t lParam) {
  gPageCalls.emplace_back(code, lParam);
  return 0;
}

TEST(QtSettingsDialogPages, ThePluginPagesAreShownBelowTheirNodeAndHearTheOutcome) {
  UiApp();
  gPageCalls.clear();
  THCServiceManager services;
  THCEventManager events;
  THCHandlerContext context;
  context.services = &services;
  context.events = &events;
  THCPluginSystem system({});
  ASSERT_EQ(CurrentSkeleton(), &system);
  ASSERT_EQ(system.Initialize(THCHandler::Create(context).Get()), HCPE_ALLRIGHT);
  const intptr_t caption = reinterpret_cast<intptr_t>("Chat");
  ASSERT_NE(services.CallService(services.GetService("ui/settingpage/add"), caption,
                                 reinterpret_cast<intptr_t>(&Page)),
            0);

  for (const bool confirm : {true, false}) {
    gPageCalls.clear();
    QDialog dialog;
    TSettingPages pages(&dialog);
    QTreeWidgetItem* node = pages.Tree()->topLevelItem(0);
    ASSERT_EQ(node->text(0), QString::fromUtf8("プラグイン"));
    ASSERT_EQ(node->childCount(), 1);
    EXPECT_EQ(node->child(0)->text(0), "Chat");
    EXPECT_TRUE(gPageCalls.empty());
    pages.Tree()->setCurrentItem(node->child(0));
    pages.Tree()->setCurrentItem(node);  // the node itself shows no page
    pages.Tree()->setCurrentItem(node->child(0));
    pages.Finish(confirm);
    const intptr_t window = reinterpret_cast<intptr_t>(pages.PageWindow());
    EXPECT_EQ(window, reinterpret_cast<intptr_t>(dialog.findChild<QWidget*>("pnlPlugin")));
    EXPECT_EQ(gPageCalls,
              (std::vector<std::pair<intptr_t, intptr_t>>{
                  {1, window}, {2, window}, {1, window}, {2, window}, {3, confirm ? 1 : 0}}));
  }
  EXPECT_EQ(system.Terminate(), HCPE_ALLRIGHT);
}

}  // namespace
}  // namespace tarnix::test
