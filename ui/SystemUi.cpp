#include "ui/SystemUi.h"

#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QStyle>
#include <QTabBar>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>

#include "plugin/system/SystemUiCalls.h"
#include "ui/MainWindow.h"

namespace tarnix {
namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

// A picture file given by a plugin, or nothing.
QIcon IconFrom(const std::string& path) {
  return path.empty() ? QIcon() : QIcon(FromUtf8(path));
}

}  // namespace

TQtSystemUi::TQtSystemUi(TfrmMain& window) : window_(window) {
  connect(window_.TabStrip(), &QTabBar::currentChanged, this, &TQtSystemUi::OnTabChanged);
  window_.ContainerPanel()->installEventFilter(this);
  QTreeWidget* tree = window_.MemberTree();
  tree->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(tree, &QTreeWidget::customContextMenuRequested, this, &TQtSystemUi::OnMemberContextMenu);
}

TQtSystemUi::~TQtSystemUi() {
  window_.ContainerPanel()->removeEventFilter(this);
}

intptr_t TQtSystemUi::AddToolButton(const std::string& caption, const std::string& iconPath,
                                    HCProc click) {
  if (click == nullptr) return 0;
  QIcon icon = IconFrom(iconPath);
  // Without a picture of its own a button shows the default one.
  if (icon.isNull()) icon = QApplication::style()->standardIcon(QStyle::SP_FileIcon);
  QAction* action = window_.PluginToolBar()->addAction(icon, FromUtf8(caption));
  const intptr_t handle = ++nextHandle_;
  action->setObjectName(QString("tbPlugin%1").arg(handle));
  connect(action, &QAction::triggered, this, [click] { CallToolMenuClick(click); });
  buttons_[handle] = action;
  return handle;
}

bool TQtSystemUi::DeleteToolButton(intptr_t button) {
  const auto it = buttons_.find(button);
  if (it == buttons_.end()) return false;
  window_.PluginToolBar()->removeAction(it->second);
  delete it->second;
  buttons_.erase(it);
  return true;
}

bool TQtSystemUi::AddMemberMenu(HCProc proc) {
  if (proc == nullptr) return false;
  memberMenus_.push_back(proc);
  return true;
}

bool TQtSystemUi::DeleteMemberMenu(HCProc proc) {
  const auto it = std::find(memberMenus_.begin(), memberMenus_.end(), proc);
  if (it == memberMenus_.end()) return false;
  memberMenus_.erase(it);
  return true;
}

intptr_t TQtSystemUi::AddContainer(const std::string& iconPath, HCProc proc) {
  if (proc == nullptr) return 0;
  QTabBar* strip = window_.TabStrip();
  const intptr_t handle = ++nextHandle_;
  const QString hint = FromUtf8(ContainerCaption(proc));
  const QSignalBlocker quiet(strip);  // adding is no selection
  const int index = strip->addTab(IconFrom(iconPath), QString());
  strip->setTabToolTip(index, hint);
  if (IconFrom(iconPath).isNull()) strip->setTabText(index, hint);
  strip->setTabData(index, QVariant::fromValue<qlonglong>(handle));
  tabs_[handle] = proc;
  return handle;
}

bool TQtSystemUi::DeleteContainer(intptr_t tab) {
  const auto it = tabs_.find(tab);
  if (it == tabs_.end()) return false;
  QTabBar* strip = window_.TabStrip();
  for (int i = 1; i < strip->count(); ++i) {
    if (strip->tabData(i).toLongLong() != tab) continue;
    if (i == strip->currentIndex()) strip->setCurrentIndex(0);  // deselects it first
    const QSignalBlocker quiet(strip);
    strip->removeTab(i);
    currentTab_ = strip->currentIndex();
    break;
  }
  tabs_.erase(it);
  strip->update();
  return true;
}

void TQtSystemUi::ProcessMessages() {
  QCoreApplication::processEvents();
}

std::vector<TMemberAction> TQtSystemUi::BuildActionList(IHCPMember* member) const {
  std::vector<TMemberAction> actions;
  // A procedure may change the list while it runs: walk a copy.
  const std::vector<HCProc> procs = memberMenus_;
  for (HCProc proc : procs) {
    if (std::optional<std::string> caption = MemberMenuCaption(proc, member)) {
      actions.push_back({std::move(*caption), proc});
    }
  }
  return actions;
}

HCProc TQtSystemUi::TabProc(int index) const {
  if (index <= 0) return nullptr;
  const auto it =
      tabs_.find(static_cast<intptr_t>(window_.TabStrip()->tabData(index).toLongLong()));
  return it == tabs_.end() ? nullptr : it->second;
}

intptr_t TQtSystemUi::PanelHandle() const {
  return reinterpret_cast<intptr_t>(window_.ContainerPanel());
}

void TQtSystemUi::OnTabChanged(int index) {
  QWidget* panel = window_.ContainerPanel();
  if (HCProc previous = TabProc(currentTab_)) HideContainer(previous, PanelHandle());
  currentTab_ = index;
  HCProc proc = TabProc(index);
  if (proc == nullptr) {
    panel->hide();
    window_.MemberTree()->show();
    return;
  }
  window_.MemberTree()->hide();
  panel->show();
  panel->raise();
  ShowContainer(proc, PanelHandle());
  panel->setFocus();
}

bool TQtSystemUi::eventFilter(QObject* watched, QEvent* event) {
  if (watched == window_.ContainerPanel() && event->type() == QEvent::Resize) {
    if (HCProc proc = TabProc(currentTab_)) ResizeContainer(proc, PanelHandle());
  }
  return QObject::eventFilter(watched, event);
}

void TQtSystemUi::OnMemberContextMenu(const QPoint& position) {
  QTreeWidget* tree = window_.MemberTree();
  const QTreeWidgetItem* item = tree->itemAt(position);
  if (item == nullptr || !memberViews_ || !item->data(0, Qt::UserRole).isValid()) return;
  const HCPtr<IHCPMember> member = memberViews_(item->data(0, Qt::UserRole).toInt());
  if (!member) return;
  const std::vector<TMemberAction> actions = BuildActionList(member.Get());
  if (actions.empty()) return;
  QMenu menu(tree);
  for (const TMemberAction& action : actions) {
    HCProc proc = action.proc;
    connect(menu.addAction(FromUtf8(action.caption)), &QAction::triggered, this,
            [proc, member] { ChooseMemberMenu(proc, member.Get()); });
  }
  menu.exec(tree->viewport()->mapToGlobal(position));
}

}  // namespace tarnix
