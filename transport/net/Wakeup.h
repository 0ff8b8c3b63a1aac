#pragma once
// A wake-up signal another thread can raise to end a connection thread's short
// wait early (a command was queued, a task was added, Terminate was called).
// Backed by an eventfd, so a wait can poll it together with the socket.
namespace tarnix {

class TWakeup {
 public:
  TWakeup();
  ~TWakeup();
  TWakeup(const TWakeup&) = delete;
  TWakeup& operator=(const TWakeup&) = delete;

  void Signal();  // any thread
  void Clear();   // the waiting thread, after a wait
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace tarnix
