#pragma once
// THCMemberList: owns the members, in list order (the stored members in
// document order, then those added later). It keeps them in step with the
// configuration's memberList, connects them, turns connection notifications
// into member state (HandleTranserNotify), routes the tasks of plugins to their
// services (RouteTask), and reports changes to the main window through its
// three events and to plugins through the event "member/transernotify".
//
// Creating the list attaches it to the connection manager (its connection
// notifications, task notifications and new-peer requests); destroying it
// detaches it again, waiting for handler calls still running on connection
// threads, and frees the members without touching the configuration.
//
// Threads and locks: the list's entries and every member's run-time fields
// are guarded by mutex_ (FieldMutex()), a leaf lock: it is held only while
// fields are read or written, never while the code calls out (transport, bus,
// configuration, events). Look-ups from connection threads (by thread, by
// UserID) hand out shared references, so a member deleted meanwhile stays
// valid for the caller. Add, Delete, Connect, the sends and the events run on
// the main thread; HandleTranserNotify and RouteTask on connection threads,
// and they reach the main thread only through the sync timer.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "app/config/ConfigTypes.h"
#include "core/members/Member.h"

namespace tarnix {

struct THCCoreContext;
class THCTranserManager;
struct TTranserTask;

class THCMemberList {
 public:
  using TMemberEvent = std::function<void(THCMemberList& list, THCMember& member)>;
  using TMemberNotifyEvent = std::function<void(THCMemberList& list, THCMember& member, int code)>;

  // Create: one member per element of config/memberList in document order
  // (each marked not anonymous), then attached to the manager.
  THCMemberList(THCCoreContext& context, THCTranserManager& manager);
  // Destroy: detached from the manager, members freed, "Members cleared.".
  ~THCMemberList();
  THCMemberList(const THCMemberList&) = delete;
  THCMemberList& operator=(const THCMemberList&) = delete;

  THCCoreContext& Context() const { return context_; }
  THCTranserManager& Manager() const { return manager_; }
  std::mutex& FieldMutex() const { return mutex_; }

  int Count() const;
  // Null for an index outside 0..Count()-1.
  THCMemberPtr Get(int index) const;
  // Every member, in list order, as it stands now.
  std::vector<THCMemberPtr> Snapshot() const;

  // A new member with a new element at the end of config/memberList (empty
  // name, dispname and auth, port 0, addr empty, not anonymous). Main thread.
  THCMemberPtr Add();
  // A new anonymous member. Its element lives in a document of its own, never
  // in the configuration, so it is never saved and saving the configuration
  // cannot pull the element from under it.
  THCMemberPtr AddAnonymous();
  // Nothing for an index outside the list. With removeElement the element is
  // taken out of config/memberList. The member is disconnected and leaves the
  // list. Main thread.
  void Delete(int index, bool removeElement);

  // Index of the first match, -1 when none. Names compare exactly.
  int IndexOfName(std::string_view name) const;
  int IndexOfNode(const TXMLMemberType& node) const;
  int IndexOf(const THCMember* member) const;
  int IndexOfUserID(int32_t userId) const;
  int IndexOfThread(const TTranserThread* thread) const;
  // The same look-ups as references; null when none.
  THCMemberPtr FindByName(std::string_view name) const;
  THCMemberPtr FindByUserID(int32_t userId) const;
  THCMemberPtr FindByThread(const TTranserThread* thread) const;

  // A random 1..2147483646 that no member has.
  int32_t NewUserID();

  // Connect every member in list order that is not Connected and not
  // anonymous. An exception ends the pass and reaches the caller.
  void ConnectAll();

  int32_t OwnState() const;
  // When different from OwnState: store it and SendState to every member.
  void SetOwnState(int32_t state);
  void BroadcastDisplayName();
  void BroadcastIcon();

  // The listening port of the local server (set by THCServer), against which
  // Connect recognises this program itself.
  void SetLocalServerPort(int port);
  int LocalServerPort() const;

  // The connection manager's OnConnectionNotify (connection thread).
  void HandleTranserNotify(THCTranserManager& manager, const TTranserThreadPtr& thread, int code);
  // The connection manager's OnConnectionTask (connection thread).
  void RouteTask(THCTranserManager& manager, const TTranserThreadPtr& thread, int code,
                 TTranserTask& task);

  // Set by the main window; fired on the main thread.
  TMemberEvent OnMemberAuthenticated;
  TMemberEvent OnMemberDisconnected;
  TMemberNotifyEvent OnMemberNotify;

 private:
  friend class THCMember;

  THCMemberPtr Append(TXMLMemberType node);
  int32_t NewUserIDLocked();  // mutex_ held
  int IndexWhere(const std::function<bool(const THCMember&)>& match) const;
  // Runs call on the main thread later, unless the list is gone by then.
  void PostToMain(std::function<void(THCMemberList&)> call);
  void NotifyMemberEvent(int32_t userId, int code);

  THCCoreContext& context_;
  THCTranserManager& manager_;
  // Lets calls queued for the main thread see whether the list still exists.
  const std::shared_ptr<int> alive_ = std::make_shared<int>(0);

  mutable std::mutex mutex_;
  std::vector<THCMemberPtr> members_;  // guarded by mutex_
  std::mt19937 random_;                // guarded by mutex_
  int32_t ownState_ = 1;               // guarded by mutex_
  int localServerPort_ = 0;            // guarded by mutex_
};

}  // namespace tarnix
