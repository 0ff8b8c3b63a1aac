#include "core/members/MemberList.h"

#include <algorithm>
#include <utility>

#include "core/CoreContext.h"
#include "core/bus/EventManager.h"
#include "core/manager/TaskRouter.h"
#include "core/manager/TranserManager.h"
#include "core/sync/SyncTimer.h"
#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"

namespace tarnix {

THCMemberList::THCMemberList(THCCoreContext& context, THCTranserManager& manager)
    : context_(context), manager_(manager), random_(std::random_device{}()) {
  const TXMLMemberListType elements = context_.config.GetMemberList();
  const int count = elements.Count();
  for (int i = 0; i < count; ++i) {
    TXMLMemberType node = elements.Item(i);
    node.SetAnonymous(false);
    Append(std::move(node));
  }
  THCTranserManager::TEvents events;
  events.OnConnectionNotify = [this](THCTranserManager& m, const TTranserThreadPtr& thread, int code) {
    HandleTranserNotify(m, thread, code);
  };
  events.OnConnectionTask = [this](THCTranserManager& m, const TTranserThreadPtr& thread, int code,
                                   TTranserTask& task) { RouteTask(m, thread, code, task); };
  events.OnNewPeer = [this](THCTranserManager&, const TNewPeerRequest& request) {
    if (context_.ports.newPeer) context_.ports.newPeer(request);
  };
  manager_.AttachEvents(*this, std::move(events));
}

THCMemberList::~THCMemberList() {
  manager_.DetachEvents();
  std::vector<THCMemberPtr> members;
  {
    std::scoped_lock lock(mutex_);
    members.swap(members_);
  }
  // Freed from index 0 on, without touching the configuration; a member still
  // referenced by a queued call lives until that call is discarded.
  for (THCMemberPtr& member : members) {
    member->Disconnect();
    member.reset();
  }
  WriteLog("Members cleared.");
}

int THCMemberList::Count() const {
  std::scoped_lock lock(mutex_);
  return static_cast<int>(members_.size());
}

THCMemberPtr THCMemberList::Get(int index) const {
  std::scoped_lock lock(mutex_);
  if (index < 0 || index >= static_cast<int>(members_.size())) return nullptr;
  return members_[index];
}

std::vector<THCMemberPtr> THCMemberList::Snapshot() const {
  std::scoped_lock lock(mutex_);
  return members_;
}

THCMemberPtr THCMemberList::Append(TXMLMemberType node) {
  std::scoped_lock lock(mutex_);
  auto member = std::make_shared<THCMember>(*this, NewUserIDLocked(), std::move(node));
  members_.push_back(member);
  return member;
}

namespace {
void InitialiseElement(const TXMLMemberType& node, bool anonymous) {
  node.SetName("");
  node.SetDispname("");
  node.SetAuth("");
  node.SetPort(0);
  node.SetAddr("");
  node.SetAnonymous(anonymous);
}
}  // namespace

THCMemberPtr THCMemberList::Add() {
  const TXMLMemberType node = context_.config.GetMemberList().Add();
  InitialiseElement(node, false);
  return Append(node);
}

THCMemberPtr THCMemberList::AddAnonymous() {
  auto document = std::make_shared<TConfigDocument>();
  const TXMLConfigType detached(document);
  const TXMLMemberType node = detached.GetMemberList().Add();
  InitialiseElement(node, true);
  return Append(node);
}

void THCMemberList::Delete(int index, bool removeElement) {
  THCMemberPtr member;
  {
    std::scoped_lock lock(mutex_);
    if (index < 0 || index >= static_cast<int>(members_.size())) return;
    member = members_[index];
    members_.erase(members_.begin() + index);
  }
  if (removeElement) {
    const TXMLMemberListType elements = context_.config.GetMemberList();
    // Under the configuration's lock, so a connection thread reading this
    // member's element sees either the element or the Removed mark.
    std::scoped_lock lock(elements.ConfigLock());
    member->MarkRemoved();
    elements.Remove(member->Node());
  }
  member->Disconnect();
}

int THCMemberList::IndexWhere(const std::function<bool(const THCMember&)>& match) const {
  std::scoped_lock lock(mutex_);
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (match(*members_[i])) return static_cast<int>(i);
  }
  return -1;
}

int THCMemberList::IndexOfName(std::string_view name) const {
  // Names are read through the configuration, outside mutex_.
  const std::vector<THCMemberPtr> members = Snapshot();
  for (std::size_t i = 0; i < members.size(); ++i) {
    if (members[i]->Name() == name) return IndexOf(members[i].get());
  }
  return -1;
}

int THCMemberList::IndexOfNode(const TXMLMemberType& node) const {
  return IndexWhere([&node](const THCMember& m) { return m.Node().Node() == node.Node(); });
}

int THCMemberList::IndexOf(const THCMember* member) const {
  return IndexWhere([member](const THCMember& m) { return &m == member; });
}

int THCMemberList::IndexOfUserID(int32_t userId) const {
  return IndexWhere([userId](const THCMember& m) { return m.userId_ == userId; });
}

int THCMemberList::IndexOfThread(const TTranserThread* thread) const {
  if (thread == nullptr) return -1;
  // mutex_ is held by IndexWhere: the member's link is read directly.
  return IndexWhere([thread](const THCMember& m) { return m.link_.get() == thread; });
}

THCMemberPtr THCMemberList::FindByName(std::string_view name) const {
  for (const THCMemberPtr& member : Snapshot()) {
    if (member->Name() == name) return member;
  }
  return nullptr;
}

THCMemberPtr THCMemberList::FindByUserID(int32_t userId) const {
  std::scoped_lock lock(mutex_);
  for (const THCMemberPtr& member : members_) {
    if (member->userId_ == userId) return member;
  }
  return nullptr;
}

THCMemberPtr THCMemberList::FindByThread(const TTranserThread* thread) const {
  if (thread == nullptr) return nullptr;
  std::scoped_lock lock(mutex_);
  for (const THCMemberPtr& member : members_) {
    if (member->link_.get() == thread) return member;
  }
  return nullptr;
}

int32_t THCMemberList::NewUserID() {
  std::scoped_lock lock(mutex_);
  return NewUserIDLocked();
}

int32_t THCMemberList::NewUserIDLocked() {
  std::uniform_int_distribution<int32_t> draw(0, 2147483646);
  while (true) {
    const int32_t id = draw(random_);
    if (id <= 0) continue;
    const bool used = std::any_of(members_.begin(), members_.end(),
                                  [id](const THCMemberPtr& m) { return m->userId_ == id; });
    if (!used) return id;
  }
}

void THCMemberList::ConnectAll() {
  for (const THCMemberPtr& member : Snapshot()) {
    if (!member->Connected() && !member->Anonymous()) member->Connect();
  }
}

int32_t THCMemberList::OwnState() const {
  std::scoped_lock lock(mutex_);
  return ownState_;
}

void THCMemberList::SetOwnState(int32_t state) {
  {
    std::scoped_lock lock(mutex_);
    if (state == ownState_) return;
    ownState_ = state;
  }
  for (const THCMemberPtr& member : Snapshot()) member->SendState();
}

void THCMemberList::BroadcastDisplayName() {
  for (const THCMemberPtr& member : Snapshot()) member->SendDisplayName();
}

void THCMemberList::BroadcastIcon() {
  for (const THCMemberPtr& member : Snapshot()) member->SendIcon();
}

void THCMemberList::SetLocalServerPort(int port) {
  std::scoped_lock lock(mutex_);
  localServerPort_ = port;
}

int THCMemberList::LocalServerPort() const {
  std::scoped_lock lock(mutex_);
  return localServerPort_;
}

void THCMemberList::PostToMain(std::function<void(THCMemberList&)> call) {
  if (context_.syncTimer == nullptr) return;
  context_.syncTimer->Post([alive = std::weak_ptr<int>(alive_), this, call = std::move(call)] {
    if (alive.expired()) return;
    call(*this);
  });
}

void THCMemberList::NotifyMemberEvent(int32_t userId, int code) {
  if (context_.events != nullptr) context_.events->NotifyEvent("member/transernotify", userId, code);
}

void THCMemberList::HandleTranserNotify(THCTranserManager& manager, const TTranserThreadPtr& thread,
                                        int code) {
  const THCMemberPtr member = FindByThread(thread.get());
  if (!member) {
    WriteLog("none member: " + std::to_string(code));
    return;
  }
  const int32_t userId = member->UserID();
  try {
    switch (code) {
      case tnConnected:
        if (!member->Online()) {
          member->SetConnecting(false);
          manager.SendAuthRequest(*member, thread);
        }
        break;
      case tnConnectFailed:
        member->SetConnecting(false);
        NotifyMemberEvent(userId, tnConnectFailed);
        break;
      case tnDisconnecting:
        NotifyMemberEvent(userId, tnDisconnecting);
        break;
      case tnDisconnected: {
        TTranserThreadPtr old;  // released outside the lock
        {
          std::scoped_lock lock(mutex_);
          // Only this connection's own end clears the member.
          if (member->link_ == thread) {
            old = std::move(member->link_);
            member->connecting_ = false;
            member->online_ = false;
            member->state_ = 0;
          }
        }
        NotifyMemberEvent(userId, tnDisconnected);
        PostToMain([member](THCMemberList& list) {
          if (list.IndexOf(member.get()) < 0) return;
          if (list.OnMemberDisconnected) list.OnMemberDisconnected(list, *member);
        });
        break;
      }
      default:
        break;
    }
  } catch (...) {
    // Swallowed: a connection thread's notification must not end it.
  }
  PostToMain([userId, code](THCMemberList& list) {
    try {
      const THCMemberPtr found = list.FindByUserID(userId);
      if (found && list.OnMemberNotify) list.OnMemberNotify(list, *found, code);
    } catch (...) {
    }
  });
}

void THCMemberList::RouteTask(THCTranserManager& manager, const TTranserThreadPtr& thread, int code,
                              TTranserTask& task) {
  RouteMemberTask(*this, manager, thread, code, task);
}

}  // namespace tarnix
