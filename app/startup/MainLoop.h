#pragma once
// The main thread's event loop as the core sees it: post a call to run later
// on the main thread, and run periodic callbacks there. TMainLoop is the plain
// implementation: the program drives RunOnce from a 10 ms platform timer,
// tests call it by hand.
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace tarnix {

class IMainLoop {
 public:
  virtual ~IMainLoop() = default;
  // Runs call on the main thread on a later pass, in posting order. Any thread.
  virtual void Post(std::function<void()> call) = 0;
  // Runs tick on the main thread on every pass (every 10 ms in the program)
  // until RemoveTimer(id). Main thread only.
  virtual int AddTimer(std::function<void()> tick) = 0;
  virtual void RemoveTimer(int id) = 0;
  virtual bool IsMainThread() const = 0;
};

class TMainLoop final : public IMainLoop {
 public:
  // The constructing thread is the main thread.
  TMainLoop();

  void Post(std::function<void()> call) override;
  int AddTimer(std::function<void()> tick) override;
  void RemoveTimer(int id) override;
  bool IsMainThread() const override;

  // One pass on the main thread: the calls posted before the pass began, then
  // every timer once. A call or timer that throws is reported to onError and
  // the pass goes on. Nested passes (from a call that runs a nested loop) do
  // nothing.
  void RunOnce();

  // Receives what a call or timer threw (class name, message); main thread.
  std::function<void(const std::string& className, const std::string& message)> onError;

 private:
  void ReportCurrentException();  // inside a catch block

  const std::thread::id mainThread_;
  std::mutex mutex_;
  std::deque<std::function<void()>> posted_;  // guarded by mutex_
  // Main thread only:
  std::map<int, std::function<void()>> timers_;
  int nextTimerId_ = 1;
  bool running_ = false;
};

}  // namespace tarnix
