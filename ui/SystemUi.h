#pragma once
// TQtSystemUi: the main window's side of the system plugin's user-interface
// services, with Qt. Tool bar buttons become actions on tbTools; member-menu
// procedures are kept in MemberMenuList and offered as a context menu of the
// member tree; container procedures get a tab on the vertical tab strip and
// show their pages in the container panel. Window handles handed to plugins
// are QWidget pointers. Everything runs on the user-interface thread.
#include <QObject>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "plugin/sdk/HCPtr.h"
#include "plugin/system/THCSystemUi.h"

class QAction;
class QPoint;

namespace tarnix {

class TfrmMain;

// One action a member-menu procedure offers for a member.
struct TMemberAction {
  std::string caption;
  HCProc proc = nullptr;
};

class TQtSystemUi final : public QObject, public IHCSystemUi {
  Q_OBJECT

 public:
  explicit TQtSystemUi(TfrmMain& window);
  ~TQtSystemUi() override;

  // The member view for a member tree item's UserID (Qt::UserRole), for the
  // member-menu procedures; null when the member is unknown.
  void SetMemberViews(std::function<HCPtr<IHCPMember>(int32_t userId)> views) {
    memberViews_ = std::move(views);
  }

  intptr_t AddToolButton(const std::string& caption, const std::string& iconPath,
                         HCProc click) override;
  bool DeleteToolButton(intptr_t button) override;
  bool AddMemberMenu(HCProc proc) override;
  bool DeleteMemberMenu(HCProc proc) override;
  intptr_t AddContainer(const std::string& iconPath, HCProc proc) override;
  bool DeleteContainer(intptr_t tab) override;
  void ProcessMessages() override;

  // BuildActionList: every member-menu procedure, in registration order, that
  // applies to member, with its caption.
  std::vector<TMemberAction> BuildActionList(IHCPMember* member) const;
  const std::vector<HCProc>& MemberMenuList() const { return memberMenus_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void OnTabChanged(int index);
  void OnMemberContextMenu(const QPoint& position);
  HCProc TabProc(int index) const;
  intptr_t PanelHandle() const;

  TfrmMain& window_;
  std::function<HCPtr<IHCPMember>(int32_t)> memberViews_;
  intptr_t nextHandle_ = 0;
  std::map<intptr_t, QAction*> buttons_;  // owned by the tool bar
  std::vector<HCProc> memberMenus_;       // MemberMenuList
  std::map<intptr_t, HCProc> tabs_;       // tab handle (kept in the tab's data) -> procedure
  int currentTab_ = 0;
};

}  // namespace tarnix
