#include "ui/MainWindow.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTabBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/startup/StartupTexts.h"
#include "core/bus/ExceptionText.h"
#include "transport/log/Log.h"

namespace tarnix {
namespace {

constexpr int kFirstConnectInterval = 600000;
constexpr int kConnectInterval = 300000;

// The program's icon, drawn so the program needs no image files.
QIcon ProgramIcon() {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setBrush(QColor(40, 110, 190));
  painter.setPen(Qt::NoPen);
  painter.drawEllipse(2, 2, 28, 28);
  painter.setPen(Qt::white);
  painter.setFont(QFont("Sans", 16, QFont::Bold));
  painter.drawText(pixmap.rect(), Qt::AlignCenter, "T");
  return QIcon(pixmap);
}

QString FromUtf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<int>(text.size())); }

}  // namespace

TfrmMain::TfrmMain() {
  setObjectName("TfrmMain");
  setWindowTitle(kApplicationTitle);
  setWindowIcon(ProgramIcon());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(3, 3, 3, 3);

  pnlStarting_ = new QWidget(this);
  pnlStarting_->setObjectName("pnlStarting");
  auto* startingLayout = new QVBoxLayout(pnlStarting_);
  imgIcon_ = new QLabel(pnlStarting_);
  imgIcon_->setObjectName("imgIcon");
  imgIcon_->setPixmap(ProgramIcon().pixmap(32, 32));
  imgIcon_->setAlignment(Qt::AlignCenter);
  lblState_ = new QLabel(pnlStarting_);
  lblState_->setObjectName("lblState");
  lblState_->setAlignment(Qt::AlignCenter);
  lblEcho_ = new QLabel(pnlStarting_);
  lblEcho_->setObjectName("lblEcho");
  lblEcho_->setAlignment(Qt::AlignCenter);
  lblEcho_->setWordWrap(true);
  startingLayout->addStretch();
  startingLayout->addWidget(imgIcon_);
  startingLayout->addWidget(lblState_);
  startingLayout->addWidget(lblEcho_);
  startingLayout->addStretch();
  layout->addWidget(pnlStarting_);

  pnlMember_ = new QWidget(this);
  pnlMember_->setObjectName("pnlMember");
  auto* memberLayout = new QVBoxLayout(pnlMember_);
  memberLayout->setContentsMargins(0, 0, 0, 0);
  lblLoginName_ = new QLabel(pnlMember_);
  lblLoginName_->setObjectName("lblLoginName");
  // The vertical tab strip: the member list first, then the plugins' tabs,
  // whose pages share the space of the member tree in pnlContainer.
  auto* body = new QHBoxLayout();
  body->setContentsMargins(0, 0, 0, 0);
  tsMain_ = new QTabBar(pnlMember_);
  tsMain_->setObjectName("tsMain");
  tsMain_->setShape(QTabBar::RoundedWest);
  tsMain_->addTab(tr("Members"));
  tvMembers_ = new QTreeWidget(pnlMember_);
  tvMembers_->setObjectName("tvMembers");
  tvMembers_->setHeaderHidden(true);
  pnlContainer_ = new QWidget(pnlMember_);
  pnlContainer_->setObjectName("pnlContainer");
  pnlContainer_->hide();
  body->addWidget(tsMain_, 0, Qt::AlignTop);
  body->addWidget(tvMembers_, 1);
  body->addWidget(pnlContainer_, 1);
  tbTools_ = new QToolBar(pnlMember_);
  tbTools_->setObjectName("tbTools");
  tbTools_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  memberLayout->addWidget(lblLoginName_);
  memberLayout->addLayout(body, 1);
  memberLayout->addWidget(tbTools_);
  pnlMember_->hide();
  layout->addWidget(pnlMember_, 1);

  toolBar1_ = new QToolBar(this);
  toolBar1_->setObjectName("ToolBar1");
  QAction* tbSetting = toolBar1_->addAction(tr("Settings"));
  tbSetting->setObjectName("tbSetting");
  QAction* tbExit = toolBar1_->addAction(tr("Exit"));
  tbExit->setObjectName("tbExit");
  connect(tbSetting, &QAction::triggered, this, [this] { Run(actions_.settings); });
  connect(tbExit, &QAction::triggered, this, [this] { Run(actions_.exit); });
  layout->addWidget(toolBar1_);

  tmConnect_ = new QTimer(this);
  tmConnect_->setObjectName("tmConnect");
  tmConnect_->setInterval(kFirstConnectInterval);
  connect(tmConnect_, &QTimer::timeout, this, &TfrmMain::OnConnectTimer);

  pmTaskMenu_ = new QMenu();
  pmTaskMenu_->setObjectName("pmTaskMenu");
  QAction* miShowMain = pmTaskMenu_->addAction(tr("Show"));
  miShowMain->setObjectName("miShowMain");
  QAction* miShowSetting = pmTaskMenu_->addAction(tr("Settings"));
  miShowSetting->setObjectName("miShowSetting");
  pmTaskMenu_->addSeparator();
  QAction* miExit = pmTaskMenu_->addAction(tr("Exit"));
  miExit->setObjectName("miExit");
  pmTaskMenu_->setDefaultAction(miShowMain);
  connect(miShowMain, &QAction::triggered, this, [this] { ShowWindow(); });
  connect(miShowSetting, &QAction::triggered, this, [this] { Run(actions_.settings); });
  connect(miExit, &QAction::triggered, this, [this] { Run(actions_.exit); });

  tiTray_ = new QSystemTrayIcon(ProgramIcon(), this);
  tiTray_->setObjectName("tiTray");
  tiTray_->setToolTip(kApplicationTitle);
  tiTray_->setContextMenu(pmTaskMenu_);
  connect(tiTray_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason r) {
    if (r == QSystemTrayIcon::DoubleClick) ShowWindow();
  });
  if (QSystemTrayIcon::isSystemTrayAvailable()) tiTray_->show();
}

TfrmMain::~TfrmMain() { delete pmTaskMenu_; }

void TfrmMain::Run(const std::function<void()>& action) {
  if (!action) return;
  // Nothing may leave a Qt slot by exception; it is logged like any other.
  try {
    action();
  } catch (...) {
    const ExceptionText e = DescribeCurrentException();
    WriteLog("Encounted exception: " + e.className + " - " + e.message);
  }
}

void TfrmMain::OnConnectTimer() {
  tmConnect_->setInterval(kConnectInterval);
  Run(actions_.connectAll);
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  // Closing the window only hides it; the program lives in the tray.
  event->ignore();
  hide();
}

void TfrmMain::SetStatusText(const std::string& text) {
  lblState_->setText(FromUtf8(text));
  lblState_->repaint();
}

void TfrmMain::SetEchoText(const std::string& text) {
  lblEcho_->setText(FromUtf8(text));
  lblEcho_->repaint();
}

bool TfrmMain::IsStartingPanelVisible() const { return !pnlStarting_->isHidden(); }

void TfrmMain::ShowStartingPanel() {
  pnlMember_->hide();
  pnlStarting_->show();
  pnlStarting_->raise();
  repaint();
}

void TfrmMain::HideStartingPanel() { pnlStarting_->hide(); }

void TfrmMain::ShowWindow() {
  show();
  raise();
  activateWindow();
}

void TfrmMain::HideWindow() { hide(); }

void TfrmMain::SetGeometry(const TWindowGeometry& g) { setGeometry(g.left, g.top, g.width, g.height); }

TWindowGeometry TfrmMain::Geometry() const {
  const QRect r = geometry();
  return {r.x(), r.y(), r.width(), r.height()};
}

TScreenLayout TfrmMain::ScreenLayout() const {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return {};
  const QRect all = screen->geometry();
  const QRect free = screen->availableGeometry();
  TScreenLayout layout{all.width(), all.height(), {0, all.height(), all.width(), all.height()}};
  // The panel is the strip the available area leaves out.
  if (free.top() > all.top()) {
    layout.taskbar = {0, 0, all.width(), free.top() - all.top()};
  } else if (free.bottom() < all.bottom()) {
    layout.taskbar = {0, free.bottom() + 1 - all.top(), all.width(), all.height()};
  } else if (free.left() > all.left()) {
    layout.taskbar = {0, 0, free.left() - all.left(), all.height()};
  } else if (free.right() < all.right()) {
    layout.taskbar = {free.right() + 1 - all.left(), 0, all.width(), all.height()};
  }
  return layout;
}

void TfrmMain::SetTaskButton(bool visible) {
  const bool wasVisible = isVisible();
  setWindowFlag(Qt::Tool, !visible);  // a tool window has no taskbar entry
  if (wasVisible) show();
}

void TfrmMain::InitializeForm() { lblLoginName_->setText(QString()); }

void TfrmMain::ShowMemberPanel() {
  pnlStarting_->hide();
  pnlMember_->show();
}

void TfrmMain::ClearMemberSelection() { tvMembers_->clearSelection(); }

// The member panel's layout already keeps tbTools as wide as the window.
void TfrmMain::FitToolBar() { tbTools_->updateGeometry(); }

TMemberListEvents TfrmMain::MemberEventHandlers() { return {}; }

void TfrmMain::EnableConnectTimer(bool enabled) {
  if (enabled) {
    tmConnect_->setInterval(kFirstConnectInterval);
    tmConnect_->start();
  } else {
    tmConnect_->stop();
  }
}

void TfrmMain::HideTrayIcon() { tiTray_->hide(); }

void TfrmMain::TerminateApplication() {
  // Queued, so it also ends a loop that has not started yet.
  QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace tarnix
