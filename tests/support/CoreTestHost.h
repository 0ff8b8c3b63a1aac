#pragma once
// A complete member core in one object, for tests and benches that run two
// hosts in one process over 127.0.0.1: its own program folder (a scratch
// folder) with a configuration file, the bus, the sync timer, the connection
// manager, the member list and the local server on a port the system chooses.
// Its ports record what the user would have seen (message boxes, new-peer
// prompts, member tree refreshes) and the member events in one timeline.
//
// The thread that builds a host is its main thread: Drain runs its queued calls
// there. Header only, so that only programs that link the core include it.
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/config/hcConfig.h"
#include "core/CoreContext.h"
#include "core/bus/EventManager.h"
#include "core/bus/ServiceManager.h"
#include "core/manager/TranserManager.h"
#include "core/members/MemberList.h"
#include "core/members/PostAuthentication.h"
#include "core/server/Server.h"
#include "core/sync/SyncTimer.h"
#include "tarnix/Version.h"
#include "tests/support/TempFolder.h"

namespace tarnix::test {

struct TRecordedBox {
  std::string text;
  std::string caption;
  unsigned type = 0;
};

class TCoreTestHost {
 public:
  // userName is setting/registation/name and the display name.
  explicit TCoreTestHost(const std::string& userName, const std::string& password = "secret")
      : folder_("tarnix-core-" + Sanitised(userName)) {
    std::filesystem::create_directories(folder_.Path() / "config" / "bubbyicon");
    config = LoadConfig(ConfigFile::ForProgramFolder(folder_.Path()));
    const TXMLSettingType setting = config.GetSetting();
    setting.GetRegistation().SetName(userName);
    setting.GetRegistation().SetPass(password);
    setting.GetProfile().SetDispname(userName + " display");
    setting.GetProfile().SetConfigured(true);
    setting.GetServer().SetPort(0);

    context.config = config;
    context.services = &services;
    context.events = &events;
    context.syncTimer = &sync;
    context.programFolder = folder_.Path();
    context.finalizing = &finalizing;
    context.programVersion = kProgramVersion;
    context.ports.text = [](const std::string& section, const std::string& key) {
      if (key == "MEMBER_INVALID_KEY") return std::string("Invalid key for %s.");
      return section + "/" + key;
    };
    context.ports.messageBox = [this](const std::string& text, const std::string& caption,
                                      unsigned type) {
      std::scoped_lock lock(mutex_);
      boxes_.push_back({text, caption, type});
      return 1;
    };
    context.ports.newPeer = [this](const TNewPeerRequest& request) {
      std::scoped_lock lock(mutex_);
      newPeers_.push_back(request);
      if (autoAnswer_) pendingAnswers_.push_back({*autoAnswer_, request});
    };
    context.ports.refreshMemberList = [this] { ++refreshes_; };

    events.HookEvent("member/transernotify", [this](std::intptr_t userId, std::intptr_t code) {
      Record("transernotify " + std::to_string(userId) + " " + std::to_string(code));
      return std::intptr_t{0};
    });

    manager = std::make_unique<THCTranserManager>(context);
    members = std::make_unique<THCMemberList>(context, *manager);
    members->OnMemberAuthenticated = [this](THCMemberList&, THCMember& member) {
      Record("authenticated " + std::to_string(member.UserID()));
      // What the main window's handler does, core part.
      if (SendPostAuthenticationExchange(member)) SaveConfigLogged(config);
    };
    members->OnMemberDisconnected = [this](THCMemberList&, THCMember& member) {
      Record("disconnected " + std::to_string(member.UserID()));
    };
    members->OnMemberNotify = [this](THCMemberList&, THCMember& member, int code) {
      Record("notify " + std::to_string(member.UserID()) + " " + std::to_string(code));
    };
    server = std::make_unique<THCServer>(context, *members, *manager);
  }

  ~TCoreTestHost() {
    finalizing = true;
    if (members) {
      for (const THCMemberPtr& member : members->Snapshot()) member->Disconnect();
    }
    server.reset();
    members.reset();
    manager.reset();
  }

  TCoreTestHost(const TCoreTestHost&) = delete;
  TCoreTestHost& operator=(const TCoreTestHost&) = delete;

  // Starts listening; the configured port becomes the one the system chose,
  // so imSettings tells peers where this host listens.
  void Start() {
    server->StartListening();
    config.GetSetting().GetServer().SetPort(server->ListeningPort());
  }
  int Port() const { return server->ListeningPort(); }
  const std::filesystem::path& Folder() const { return folder_.Path(); }
  std::string Name() const { return config.GetSetting().GetRegistation().GetName(); }

  // A stored member; with an address it is connected directly.
  THCMemberPtr AddMember(const std::string& name, const std::string& addr = "", int port = 0,
                         const std::string& auth = "") {
    THCMemberPtr member = members->Add();
    member->Node().SetName(name);
    member->Node().SetDispname(name);
    member->Node().SetAuth(auth);
    member->Node().SetAddr(addr);
    member->Node().SetPort(port);
    member->SetAddress(addr);
    member->SetPort(addr.empty() ? 0 : port);
    return member;
  }
  // A member that reaches peer directly on its listening port.
  THCMemberPtr AddMemberFor(const TCoreTestHost& peer, const std::string& auth = "") {
    return AddMember(peer.Name(), "127.0.0.1", peer.Port(), auth);
  }

  // One pass of the main thread: the queued calls, then the scripted answers
  // to new-peer prompts.
  void Drain() {
    sync.Drain();
    std::vector<std::pair<bool, TNewPeerRequest>> answers;
    {
      std::scoped_lock lock(mutex_);
      answers.swap(pendingAnswers_);
    }
    for (const auto& [accept, request] : answers) manager->AcceptNewPeer(accept, request);
  }

  // Answer every new-peer prompt with accept (or deny); nullopt leaves them open.
  void SetNewPeerAnswer(std::optional<bool> accept) {
    std::scoped_lock lock(mutex_);
    autoAnswer_ = accept;
  }

  std::vector<TRecordedBox> Boxes() const {
    std::scoped_lock lock(mutex_);
    return boxes_;
  }
  std::vector<TNewPeerRequest> NewPeers() const {
    std::scoped_lock lock(mutex_);
    return newPeers_;
  }
  std::vector<std::string> Timeline() const {
    std::scoped_lock lock(mutex_);
    return timeline_;
  }
  int Refreshes() const { return refreshes_; }

  // Public parts, in the order they are built.
  TXMLConfigType config;
  THCServiceManager services;
  THCEventManager events;
  THCSyncTimer sync;
  std::atomic<bool> finalizing{false};
  THCCoreContext context;
  std::unique_ptr<THCTranserManager> manager;
  std::unique_ptr<THCMemberList> members;
  std::unique_ptr<THCServer> server;

 private:
  static std::string Sanitised(const std::string& name) {
    std::string out;
    for (const char c : name) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return out.substr(0, 40);
  }
  void Record(std::string entry) {
    std::scoped_lock lock(mutex_);
    timeline_.push_back(std::move(entry));
  }

  TTempFolder folder_;
  mutable std::mutex mutex_;
  std::vector<TRecordedBox> boxes_;                                // guarded by mutex_
  std::vector<TNewPeerRequest> newPeers_;                          // guarded by mutex_
  std::optional<bool> autoAnswer_;                                 // guarded by mutex_
  std::vector<std::pair<bool, TNewPeerRequest>> pendingAnswers_;  // guarded by mutex_
  std::vector<std::string> timeline_;                              // guarded by mutex_
  std::atomic<int> refreshes_{0};
};

// Drains every host on this (their main) thread until condition holds or the
// deadline passes; true when it held.
inline bool PumpUntil(std::initializer_list<TCoreTestHost*> hosts,
                      const std::function<bool()>& condition,
                      std::chrono::milliseconds deadline = std::chrono::seconds(30)) {
  const auto end = std::chrono::steady_clock::now() + deadline;
  while (true) {
    for (TCoreTestHost* host : hosts) host->Drain();
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= end) return false;
    // Wakes as soon as the first host gets work; the others are looked at
    // again within a millisecond.
    (*hosts.begin())->sync.WaitForPost(std::chrono::milliseconds(1));
  }
}

}  // namespace tarnix::test
