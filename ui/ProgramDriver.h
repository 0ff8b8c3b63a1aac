#pragma once
// Ties the plain start-up code to Qt's event loop: a 10 ms timer runs the
// main loop's passes, and the shutdown-signal pipe is watched by a socket
// notifier. A shutdown query closes the open dialogs and becomes an exit
// without the question, run from the top level of the event loop.
#include <QObject>

class QSocketNotifier;
class QTimer;

namespace tarnix {

struct TProgramContext;
class TMainLoop;
class TShutdownSignals;

class TProgramDriver final : public QObject {
  Q_OBJECT

 public:
  TProgramDriver(TProgramContext& ctx, TMainLoop& loop, TShutdownSignals& shutdownSignals);

 private:
  void OnTick();
  void OnSignal();

  TProgramContext& ctx_;
  TMainLoop& loop_;
  TShutdownSignals& signals_;
  QTimer* timer_ = nullptr;              // owned by this
  QSocketNotifier* notifier_ = nullptr;  // owned by this
};

}  // namespace tarnix
