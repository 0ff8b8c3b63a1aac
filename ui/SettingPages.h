#pragma once
// TSettingPages: the plugins' setting pages inside the settings dialog: the
// tree tvSetting with the node "プラグイン" and one child per registered page
// (in registration order, as the system plugin holds them when the dialog is
// made), and the page window pnlPlugin that the chosen page fills. Choosing a
// page calls its procedure with (1, pnlPlugin); leaving it (2, pnlPlugin);
// Finish tells every page the dialog's outcome, (3, 1) or (3, 0), in order.
#include <QObject>
#include <vector>

#include "plugin/system/THCPluginSystem.h"

class QTreeWidget;
class QTreeWidgetItem;
class QWidget;

namespace tarnix {

class TSettingPages final : public QObject {
  Q_OBJECT

 public:
  // The tree and the page window become children of parent; this object
  // lives as long as the dialog it serves.
  explicit TSettingPages(QWidget* parent);

  QTreeWidget* Tree() const { return tvSetting_; }
  QWidget* PageWindow() const { return pnlPlugin_; }
  // Once, when the dialog closes.
  void Finish(bool confirmed);

 private:
  void OnCurrentChanged(QTreeWidgetItem* current);

  // Copied: a page's procedure may remove pages while the dialog runs.
  std::vector<THCSettingPage> pages_;
  QTreeWidget* tvSetting_ = nullptr;
  QTreeWidgetItem* pluginNode_ = nullptr;
  QWidget* pnlPlugin_ = nullptr;
  HCProc shown_ = nullptr;  // the page last shown
};

}  // namespace tarnix
