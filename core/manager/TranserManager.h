#pragma once
// THCTranserManager: knows every live peer connection (TTranserThread), the
// outgoing ones it opened and the incoming ones the local server accepted.
// It wires each connection's events into the member core, carries the host
// messages over tasks named "internal", decides authentication on both sides,
// turns unknown peers into members when the user accepts them, and hands every
// other task to the member list's task router.
//
// Threads and locks:
//  - The thread list is guarded by mutex_ (with ended_ signalled when a thread
//    leaves it): it changes on the main thread (Connect), on the server's
//    accept thread (Register) and on connection threads (the end handler).
//  - The member list's handlers (OnConnectionNotify, OnConnectionTask,
//    OnNewPeer) are attached and detached on the main thread and called on
//    connection threads through gate_, which lets DetachEvents wait for the
//    calls still running, so the list can be freed safely.
//  - Host messages are read on the connection thread, then queued to the main
//    thread through the sync timer; every decision (authentication, link
//    parameters, pictures) runs there. A queued message whose connection has
//    ended meanwhile is dropped.
//  - The configuration is read through its own lock; the connecting side's
//    authentication request, sent on the connection thread, holds that lock
//    while it reads (and, for a member without a key, writes) the member's key.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/CorePorts.h"
#include "core/members/Member.h"

namespace tarnix {

struct THCCoreContext;
class THCMemberList;
class TStream;
struct TTranserTask;

// One host message read from a finished "internal" task, on its way to the
// main thread.
struct THostMessageRecord {
  std::weak_ptr<TTranserThread> thread;
  int32_t kind = 0;
  std::vector<uint8_t> data;
};

// Bounds on what a peer may make this side keep.
inline constexpr std::size_t kMaxAuthNameLength = 255;   // imAuthRequest user
inline constexpr std::size_t kMaxAuthKeyLength = 255;    // imAuthRequest key
inline constexpr std::size_t kMaxDisplayNameLength = 1024;
// How long the main thread waits for a replaced link to end.
inline constexpr std::chrono::seconds kLinkEndWait{10};

class THCTranserManager {
 public:
  using TConnectionNotify =
      std::function<void(THCTranserManager& manager, const TTranserThreadPtr& thread, int code)>;
  using TConnectionTask = std::function<void(THCTranserManager& manager,
                                             const TTranserThreadPtr& thread, int code,
                                             TTranserTask& task)>;
  using TNewPeer = std::function<void(THCTranserManager& manager, const TNewPeerRequest& request)>;

  struct TEvents {
    TConnectionNotify OnConnectionNotify;
    TConnectionTask OnConnectionTask;
    TNewPeer OnNewPeer;
  };

  explicit THCTranserManager(THCCoreContext& context);
  // Disconnects every connection still registered and waits for their ends.
  ~THCTranserManager();
  THCTranserManager(const THCTranserManager&) = delete;
  THCTranserManager& operator=(const THCTranserManager&) = delete;

  THCCoreContext& Context() const { return context_; }

  // Wires the thread's events, sets its buffer size (setting/sender/buffersize)
  // and packet type (setting/sender/packettype + 1) under its Lock, and appends
  // it. Returns its index. Call before the thread starts.
  int Register(const TTranserThreadPtr& thread);
  // A new, registered outgoing connection to host:port, started when resume
  // is true. Returned as a reference rather than an index: the list may change
  // on other threads before the caller could use an index.
  TTranserThreadPtr Connect(const std::string& host, int port, bool resume);

  int Count() const;
  TTranserThreadPtr Get(int index) const;  // null outside the list
  int IndexOf(const TTranserThread* thread) const;
  bool IsRegistered(const TTranserThread* thread) const { return IndexOf(thread) >= 0; }
  // Waits until thread has left the list (its end handler ran); false when
  // timeout passed first.
  bool WaitUntilEnded(const TTranserThread* thread, std::chrono::milliseconds timeout);
  bool WaitUntilEmpty(std::chrono::milliseconds timeout);

  // Sends one host message as a task named "internal" (btAutoStream, packet
  // type 0, no initial information), unless the connection is closing.
  void SendInternal(const TTranserThreadPtr& thread, int32_t kind, std::span<const uint8_t> data);

  // Set by the member list (main thread). DetachEvents waits for handler calls
  // still running on other threads.
  void AttachEvents(THCMemberList& members, TEvents events);
  void DetachEvents();
  THCMemberList* Members() const { return members_; }

  // A new key for a member: the MD5 (lowercase hex) of EncryptText(own name |
  // member name | random, own password | a fixed text).
  std::string GenerateKey(const THCMember& member) const;
  std::string GenerateKey(const std::string& memberName) const;

  // Connecting side, on tnConnected (connection thread): gives the member a key
  // when it has none, sends imAuthRequest and logs "Trying authentication to ".
  void SendAuthRequest(THCMember& member, const TTranserThreadPtr& thread);

  // The new-member prompt's answer (main thread).
  void AcceptNewPeer(bool accept, const TNewPeerRequest& request);

  // Host message dispatch (main thread): drops the record when its connection
  // is no longer registered; swallows every exception.
  void DispatchHostMessage(const THostMessageRecord& record);

 private:
  // Calls into the attached handlers, counted so DetachEvents can wait.
  class TGate;

  void HandleTranserNotify(TTranserThread& thread, int code);
  void HandleTaskNotify(TTranserThread& thread, TTranserTask& task, int code);
  void HandleTranserEnd(TTranserThread& thread);
  void HandleInternalTask(TTranserThread& thread, TTranserTask& task, int code);
  TTranserThreadPtr Find(const TTranserThread* thread) const;
  void FireNewPeer(const TNewPeerRequest& request);

  // Host message handlers (main thread).
  void HandleAuthRequest(const TTranserThreadPtr& thread, std::span<const uint8_t> data);
  void HandleAuthResult(const TTranserThreadPtr& thread, std::span<const uint8_t> data);
  void HandleVersionCode(std::span<const uint8_t> data);
  void HandleSettings(const TTranserThreadPtr& thread, std::span<const uint8_t> data);
  void HandleVersion(const TTranserThreadPtr& thread, std::span<const uint8_t> data);
  void HandleDisplayName(const TTranserThreadPtr& thread, std::span<const uint8_t> data);
  void HandleBuddyIcon(const TTranserThreadPtr& thread, std::span<const uint8_t> data);
  void HandleState(const TTranserThreadPtr& thread, std::span<const uint8_t> data);
  // The member whose Link is thread, or null.
  THCMemberPtr LinkedMemberOf(const TTranserThreadPtr& thread) const;
  // Disconnects a member's old link and waits until it has ended.
  void ReplaceOldLink(THCMember& member, const TTranserThreadPtr& thread);
  void RefreshMemberList() const;

  THCCoreContext& context_;
  const std::unique_ptr<TGate> gate_;
  // Lets calls queued for the main thread see whether the manager still exists.
  const std::shared_ptr<int> alive_ = std::make_shared<int>(0);
  THCMemberList* members_ = nullptr;  // main thread only; set while attached

  mutable std::mutex mutex_;
  std::condition_variable ended_;              // signalled under mutex_ when a thread leaves
  std::vector<TTranserThreadPtr> threads_;     // guarded by mutex_; registration order

  // Streams of "internal" tasks, made and freed here; a foreign task that
  // happens to be named "internal" keeps its stream.
  std::mutex streamMutex_;
  std::unordered_map<const TStream*, std::unique_ptr<TStream>> streams_;  // guarded by streamMutex_
};

}  // namespace tarnix
