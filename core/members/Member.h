#pragma once
// THCMember: one member (contact). It joins the member's element in the
// configuration (name, auth, port, addr, dispname, anonymous) with its
// run-time state: the connection (Link), whether the peer on it has been
// authenticated (Online), whether an outgoing connection is under way
// (Connecting), where to reach the peer now (Address, Port), its presence
// State and its program Version. Created and freed only by THCMemberList.
//
// Threads and locks: the run-time fields are read and written from the main
// thread and from connection threads (the notification handler, the task
// router); they are guarded by the owning list's FieldMutex(), a leaf lock
// that is never held while calling out. The element is reached through the
// configuration's own lock. Everything else (Connect, the sends,
// MarkAuthenticated) runs on the main thread.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "app/config/ConfigTypes.h"
#include "core/members/ProgramVersion.h"

namespace tarnix {

class THCMemberList;
class TTranserThread;
using TTranserThreadPtr = std::shared_ptr<TTranserThread>;

// Derived from Link, Connecting and Online.
enum class TMemberLinkState { Idle, Connecting, Authenticating, Online, Closing };

class THCMember {
 public:
  THCMember(THCMemberList& list, int32_t userId, TXMLMemberType node);
  // Disconnects the link, if any.
  ~THCMember();
  THCMember(const THCMember&) = delete;
  THCMember& operator=(const THCMember&) = delete;

  // Constant after construction.
  THCMemberList& List() const { return list_; }
  int32_t UserID() const { return userId_; }
  const TXMLMemberType& Node() const { return node_; }

  // Element values (through the configuration's lock).
  std::string Name() const { return node_.GetName(); }
  bool Anonymous() const;

  // Run-time fields.
  TTranserThreadPtr Link() const;
  void SetLink(TTranserThreadPtr thread);
  bool Online() const;
  void SetOnline(bool online);
  bool Connecting() const;
  void SetConnecting(bool connecting);
  std::string Address() const;
  void SetAddress(std::string address);
  int32_t Port() const;
  void SetPort(int32_t port);
  int32_t State() const;
  void SetState(int32_t state);
  TMemberVersion Version() const;
  void SetVersion(const TMemberVersion& version);
  TMemberLinkState LinkState() const;

  // Link is set and its thread is not closing.
  bool Connected() const;
  // Opens an outgoing connection (main thread). Raises when the address cannot
  // be resolved or names this program itself (language text main/MSG_CNNTSELF).
  void Connect();
  // Tells the link's thread to disconnect; Link is cleared later by its
  // tnDisconnected.
  void Disconnect();
  // The peer on thread has been authenticated (main thread): stores key as
  // the member's auth when given, marks it Online on thread, notifies
  // "member/transernotify" (UserID, 1) and fires OnMemberAuthenticated. False,
  // with nothing marked, when thread has already ended.
  bool MarkAuthenticated(const TTranserThreadPtr& thread, const std::optional<std::string>& key);

  // Host messages to the peer on Link; nothing without a Link (main thread).
  void SendDisplayName();
  void SendState();
  void SendIcon();
  void SendSettings();
  void SendVersion();
  void SendVersionCode();

  // The element has been taken out of the configuration (Delete with
  // removeElement); read and written under the configuration's lock, so a
  // connection thread that holds that lock can trust the element while this
  // is false.
  bool Removed() const { return removed_; }
  void MarkRemoved() { removed_ = true; }

 private:
  friend class THCMemberList;

  THCMemberList& list_;
  const int32_t userId_;
  const TXMLMemberType node_;

  // guarded by list_.FieldMutex():
  TTranserThreadPtr link_;
  bool online_ = false;
  bool connecting_ = false;
  std::string address_;
  int32_t port_ = 0;
  int32_t state_ = 0;
  TMemberVersion version_{};

  bool removed_ = false;  // guarded by the configuration's lock
};

using THCMemberPtr = std::shared_ptr<THCMember>;

}  // namespace tarnix
