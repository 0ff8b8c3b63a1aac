#pragma once
// THCMessageList: the ordered registry of named procedures under both the
// service bus (THCServiceManager) and the event bus (THCEventManager).
//
// Each entry has a handle, a name and a procedure. Handles are 32-bit numbers
// from one process-wide counter: unique across every registry, never reused,
// 0 means none. Names are compared byte-wise; two entries may share a name,
// and lookups find the one registered first.
//
// Procedures take wParam and lParam and return a pointer-sized result. BusProc
// is a std::function so host code can bind state; a plugin's plain C procedure
// `intptr_t (*)(intptr_t, intptr_t)` converts to it as it stands. An empty
// BusProc may be registered; calling it fails like a procedure that throws.
//
// The lock (mutex_ with idle_), and what a caller may rely on:
//  - mutex_ guards the entry list and each entry's running-call count. It is
//    held for lookups and list changes only, never while a procedure runs. So
//    procedures of different threads run in parallel, and a procedure may use
//    the bus again on its own thread without deadlock: nested calls and
//    notifications, registration, deletion (also of the entry it runs in).
//  - A call counts as running on its entry from just before the procedure is
//    entered until it has returned (RunningCall). A deleted entry stays alive
//    until its last running call has returned.
//  - Delete, Remove and Clear unlink their entries at once, so no new call
//    starts on them, then wait on idle_ for the calls still running in them.
//    When they return, no thread is inside those procedures any more, and the
//    code behind them (a plugin library) may be unloaded.
//  - Except on a thread that is itself inside a bus procedure: there a
//    deletion unlinks and returns without waiting, and the last running call
//    disposes the entry. Waiting there would deadlock on the thread's own call,
//    or on two threads that each delete the entry the other is running. A
//    thread inside a procedure therefore never blocks in the bus.
//  - Procedures are destroyed outside the lock, so a bound destructor may use
//    the bus.
//  - A registry must outlive every call into it; its destructor waits for
//    calls still running on other threads.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnix {

using BusHandle = std::uint32_t;
inline constexpr BusHandle kNoBusHandle = 0;

using BusProc = std::function<std::intptr_t(std::intptr_t wParam, std::intptr_t lParam)>;

// One registry entry; constant after registration.
struct THCMessage {
  BusHandle handle = kNoBusHandle;
  std::string name;
  BusProc proc;
};

class THCMessageList {
 public:
  struct EntryInfo {
    BusHandle handle;
    std::string name;
  };

  THCMessageList() = default;
  virtual ~THCMessageList();
  THCMessageList(const THCMessageList&) = delete;
  THCMessageList& operator=(const THCMessageList&) = delete;

  // Appends an entry and returns its new handle (never 0). Throws
  // std::length_error once the process has handed out 2^32 - 1 handles.
  BusHandle Add(std::string name, BusProc proc);

  // Removes the entry at index (registration order); an index outside
  // 0..Count()-1 is ignored.
  void Delete(int index);

  // Removes the entry with this handle; false when it is not in the list.
  bool Remove(BusHandle handle);

  // The handle of the first entry named name, or kNoBusHandle.
  BusHandle Find(std::string_view name) const;

  // Removes every entry but the one whose handle is the kept handle (the
  // "debug" service in the service registry; none in the event registry).
  void Clear();

  int Count() const;
  std::vector<EntryInfo> Entries() const;

 protected:
  // An entry and its bookkeeping; running and removed are guarded by the
  // owning list's mutex_.
  struct Slot {
    THCMessage message;
    int running = 0;
    bool removed = false;
  };
  using SlotPtr = std::shared_ptr<Slot>;

  // One call in progress: keeps its entry alive and counted as running until
  // it is destroyed. Move-only; lives on the calling thread's stack.
  class RunningCall {
   public:
    RunningCall(THCMessageList& list, SlotPtr slot);
    RunningCall(RunningCall&& other) noexcept;
    RunningCall& operator=(RunningCall&&) = delete;
    ~RunningCall();

    const THCMessage& Message() const { return slot_->message; }
    // Runs the procedure; whatever it throws passes through.
    std::intptr_t Invoke(std::intptr_t wParam, std::intptr_t lParam) const;

   private:
    THCMessageList* list_;  // null once moved from
    SlotPtr slot_;
  };

  // Starts a call on the entry with this handle; empty when it is not listed.
  std::optional<RunningCall> StartCall(BusHandle handle);
  // Starts a call on an entry found earlier; empty when it has been removed since.
  std::optional<RunningCall> StartCall(const SlotPtr& slot);
  // The entries named name, in registration order, as they are now.
  std::vector<SlotPtr> Matching(std::string_view name) const;

  // Handle that survives Clear; set by the service registry.
  std::atomic<BusHandle> keptHandle_{kNoBusHandle};

 private:
  // Marks the unlinked entries removed, waits for their running calls unless
  // this thread is inside a procedure, then disposes them after unlocking.
  void Retire(std::unique_lock<std::mutex> lock, std::vector<SlotPtr> unlinked);

  mutable std::mutex mutex_;
  std::condition_variable idle_;  // signalled under mutex_ when a retired entry's or the
                                  // list's last running call returns
  std::vector<SlotPtr> entries_;  // guarded by mutex_; registration order
  int running_ = 0;               // guarded by mutex_; calls running in any entry
};

}  // namespace tarnix
