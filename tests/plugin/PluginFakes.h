#pragma once
// Test doubles for the plugin tests. The member views of the host do not exist
// yet, so a fake member list, member and task interface stand in for them; the
// handler passes its bus methods to a real THCHandler over real registries and
// records the procedures it was given, so tests can call them directly.
#include <atomic>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/bus/EventManager.h"
#include "core/bus/ServiceManager.h"
#include "plugin/api/THCHandler.h"
#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCObject.h"

namespace tarnix::plugintest {

// The bus of one test: both registries and the context handlers work on.
struct TTestBus {
  THCServiceManager services;
  THCEventManager events;
  THCHandlerContext Context() {
    THCHandlerContext context;
    context.services = &services;
    context.events = &events;
    return context;
  }
  std::vector<std::string> ServiceNames() const {
    std::vector<std::string> names;
    for (const auto& entry : services.Entries()) names.push_back(entry.name);
    return names;
  }
  std::vector<std::string> EventNames() const {
    std::vector<std::string> names;
    for (const auto& entry : events.Entries()) names.push_back(entry.name);
    return names;
  }
};

// A fake task interface: records what the plugin asked of the connection.
class TFakeTranser final : public THCObject<IHCPTranser> {
 public:
  struct TNewTask {
    std::string name;
    std::vector<uint8_t> data;
    int32_t bufferType = -1;
    int32_t packetType = -1;
  };
  struct TState {
    std::mutex mutex;
    std::vector<std::pair<int64_t, HCPtr<IHCStream>>> accepted;  // guarded by mutex
    std::vector<TNewTask> created;                               // guarded by mutex
  };

  static HCPtr<IHCPTranser> Create(std::shared_ptr<TState> state) {
    return HCPtr<IHCPTranser>::Adopt(new TFakeTranser(std::move(state)));
  }

  HCRESULT HCCALL NewTask(HCBSTR taskName, IHCStream* stream, uint32_t, HCBSTR, int32_t packetType,
                          int32_t bufferType, void*, int64_t* taskUID) override {
    TNewTask task{BstrToUtf8(taskName), {}, bufferType, packetType};
    if (stream != nullptr) {
      stream->Seek(0, 0);
      uint8_t chunk[256];
      for (uint32_t got; (got = stream->Read(chunk, sizeof chunk)) > 0;) {
        task.data.insert(task.data.end(), chunk, chunk + got);
      }
    }
    std::scoped_lock lock(state_->mutex);
    state_->created.push_back(std::move(task));
    if (taskUID != nullptr) *taskUID = 1000 + static_cast<int64_t>(state_->created.size());
    return HCPE_ALLRIGHT;
  }
  HCRESULT HCCALL AcceptTask(int64_t taskUID, IHCStream* dest, uint32_t) override {
    std::scoped_lock lock(state_->mutex);
    state_->accepted.emplace_back(taskUID, HCPtr<IHCStream>::Share(dest));
    return HCPE_ALLRIGHT;
  }
  HCRESULT HCCALL DenyTask(int64_t) override { return HCPE_ALLRIGHT; }
  HCRESULT HCCALL AbortTask(int64_t) override { return HCPE_ALLRIGHT; }
  HCRESULT HCCALL SuspendTask(int64_t) override { return HCPE_ALLRIGHT; }
  HCRESULT HCCALL ResumeTask(int64_t) override { return HCPE_ALLRIGHT; }
  HCRESULT HCCALL GetTask(int64_t, void*) override { return HCPE_INVALID_ARG; }
  int32_t HCCALL TaskCount() override { return 0; }
  int32_t HCCALL GetSenderTasks() override { return 0; }
  int32_t HCCALL GetReceiverTasks() override { return 0; }
  void HCCALL Lock() override {}
  void HCCALL Unlock() override {}
  uint32_t HCCALL ConnectingTime() override { return 0; }
  uint32_t HCCALL PingTime() override { return 0; }

 private:
  explicit TFakeTranser(std::shared_ptr<TState> state) : state_(std::move(state)) {}
  std::shared_ptr<TState> state_;
};

// A fake member: an identifier, and a task interface when "authenticated".
class TFakeMember final : public THCObject<IHCPMember> {
 public:
  static HCPtr<IHCPMember> Create(int32_t userID, std::shared_ptr<TFakeTranser::TState> transer) {
    return HCPtr<IHCPMember>::Adopt(new TFakeMember(userID, std::move(transer)));
  }
  IHCPTranser* HCCALL Transer() override {
    return transer_ ? TFakeTranser::Create(transer_).Detach() : nullptr;
  }
  HCBOOL HCCALL Connected() override { return transer_ ? HC_TRUE : HC_FALSE; }
  HCBSTR HCCALL name() override { return TBstr::FromUtf8("member").Detach(); }
  int32_t HCCALL UserID() override { return userID_; }
  HCBSTR HCCALL DisplayName() override { return TBstr::FromUtf8("Member").Detach(); }
  void HCCALL put_DisplayName(HCBSTR) override {}
  int32_t HCCALL State() override { return 0; }
  void HCCALL put_State(int32_t) override {}
  HCBSTR HCCALL Address() override { return nullptr; }
  int32_t HCCALL port() override { return 8007; }
  HCBOOL HCCALL IsAnonymous() override { return HC_FALSE; }
  void HCCALL Connect() override {}
  HCBSTR HCCALL GetBubbyIcon() override { return nullptr; }

 private:
  TFakeMember(int32_t userID, std::shared_ptr<TFakeTranser::TState> transer)
      : userID_(userID), transer_(std::move(transer)) {}
  const int32_t userID_;
  const std::shared_ptr<TFakeTranser::TState> transer_;
};

// A fake member list over fixed identifiers; members with a transer state are
// "authenticated".
class TFakeMemberList final : public THCObject<IHCPMemberList> {
 public:
  struct TEntry {
    int32_t userID;
    std::shared_ptr<TFakeTranser::TState> transer;
  };
  static HCPtr<IHCPMemberList> Create(std::vector<TEntry> entries) {
    return HCPtr<IHCPMemberList>::Adopt(new TFakeMemberList(std::move(entries)));
  }
  int32_t HCCALL IndexOf(int32_t userID) override {
    for (size_t i = 0; i < entries_.size(); ++i) {
      if (entries_[i].userID == userID) return static_cast<int32_t>(i);
    }
    return -1;
  }
  IHCPMember* HCCALL Members(int32_t index) override {
    if (index < 0 || index >= Count()) return nullptr;
    return TFakeMember::Create(entries_[index].userID, entries_[index].transer).Detach();
  }
  int32_t HCCALL Count() override { return static_cast<int32_t>(entries_.size()); }
  IHCPMember* HCCALL Add(HCBSTR, HCBSTR, int32_t) override { return nullptr; }
  HCRESULT HCCALL Delete(int32_t) override { return HCPE_ALLRIGHT; }

 private:
  explicit TFakeMemberList(std::vector<TEntry> entries) : entries_(std::move(entries)) {}
  const std::vector<TEntry> entries_;
};

// A handler for tests: the bus methods go to a real THCHandler; the member
// list is a fake one; every procedure registered is remembered by name; the
// number of live handlers is counted so tests see every reference given back.
class TTestHandler final : public THCObject<IHCHandler> {
 public:
  struct TShared {
    std::atomic<int> alive{0};
    std::mutex mutex;
    std::map<std::string, HCProc> procs;  // guarded by mutex
    std::vector<TFakeMemberList::TEntry> members;
    HCProc Proc(const std::string& name) {
      std::scoped_lock lock(mutex);
      auto it = procs.find(name);
      return it == procs.end() ? nullptr : it->second;
    }
  };

  static HCPtr<IHCHandler> Create(TTestBus& bus, std::shared_ptr<TShared> shared) {
    return HCPtr<IHCHandler>::Adopt(new TTestHandler(bus, std::move(shared)));
  }

  int32_t HCCALL CreateService(const char* name, HCProc proc) override {
    Remember(name, proc);
    return inner_->CreateService(name, proc);
  }
  uint32_t HCCALL GetService(const char* name) override { return inner_->GetService(name); }
  intptr_t HCCALL CallService(uint32_t service, intptr_t wParam, intptr_t lParam) override {
    return inner_->CallService(service, wParam, lParam);
  }
  HCRESULT HCCALL DeleteService(uint32_t service) override {
    return inner_->DeleteService(service);
  }
  HCHEvent HCCALL HookEvent(const char* name, HCProc proc) override {
    Remember(name, proc);
    return inner_->HookEvent(name, proc);
  }
  intptr_t HCCALL NotifyEvent(const char* name, intptr_t wParam, intptr_t lParam) override {
    return inner_->NotifyEvent(name, wParam, lParam);
  }
  HCRESULT HCCALL UnhookEvent(HCHEvent handle) override { return inner_->UnhookEvent(handle); }
  IHCPConfig* HCCALL Config() override { return nullptr; }
  IHCPSetting* HCCALL Setting() override { return nullptr; }
  IHCPMemberList* HCCALL MemberList() override {
    return TFakeMemberList::Create(shared_->members).Detach();
  }
  HCRESULT HCCALL OpenSession(HCBSTR, HCBSTR, HCBOOL) override { return 0; }

 private:
  TTestHandler(TTestBus& bus, std::shared_ptr<TShared> shared)
      : inner_(THCHandler::Create(bus.Context())), shared_(std::move(shared)) {
    ++shared_->alive;
  }
  ~TTestHandler() override { --shared_->alive; }
  void Remember(const char* name, HCProc proc) {
    if (name == nullptr) return;
    std::scoped_lock lock(shared_->mutex);
    shared_->procs[name] = proc;
  }

  const HCPtr<IHCHandler> inner_;
  const std::shared_ptr<TShared> shared_;
};

}  // namespace tarnix::plugintest
