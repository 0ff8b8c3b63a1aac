#include "ui/ProgramDriver.h"

#include <QSocketNotifier>
#include <QThread>
#include <QTimer>

#include "app/startup/MainLoop.h"
#include "app/startup/ProgramContext.h"
#include "app/startup/ShutdownSignals.h"
#include "app/startup/Startup.h"
#include "ui/QtPorts.h"

namespace tarnix {

TProgramDriver::TProgramDriver(TProgramContext& ctx, TMainLoop& loop, TShutdownSignals& shutdownSignals)
    : ctx_(ctx), loop_(loop), signals_(shutdownSignals) {
  loop_.onError = [this](const std::string& className, const std::string& message) {
    HandleApplicationException(ctx_, className, message);
  };
  timer_ = new QTimer(this);
  timer_->setInterval(10);
  connect(timer_, &QTimer::timeout, this, &TProgramDriver::OnTick);
  timer_->start();
  notifier_ = new QSocketNotifier(signals_.ReadFd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TProgramDriver::OnSignal);
}

void TProgramDriver::OnTick() {
  loop_.RunOnce();
  // An exit asked for while a dialog ran waits until the event loop is back
  // at its top level, so no dialog's caller resumes on freed objects.
  if (ctx_.pendingExit && QThread::currentThread()->loopLevel() <= 1) RunPendingExit(ctx_);
}

void TProgramDriver::OnSignal() {
  if (signals_.TakeSignals().empty()) return;
  HandleShutdownQuery(ctx_);
  if (ctx_.pendingExit) RefuseDialogs();
}

}  // namespace tarnix
