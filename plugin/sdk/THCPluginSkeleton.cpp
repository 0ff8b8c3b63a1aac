#include "plugin/sdk/THCPluginSkeleton.h"

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "plugin/sdk/THCMemoryStream.h"

namespace tarnix {
namespace {

constexpr const char* kTaskNotifyPrefix = "transer/tasknotify/";
constexpr const char* kInternalMessageSuffix = "/internalmsg";

// The module-wide current skeleton. Written on the user-interface thread (load,
// Terminate, unload), read by procedures on connection threads.
std::atomic<THCPluginSkeleton*> gCurrent{nullptr};

// The skeleton the module created through InstallSkeleton; destroyed by
// Terminate, or at unload for a library that was never terminated.
std::unique_ptr<THCPluginSkeleton>& OwnedSkeleton() {
  static std::unique_ptr<THCPluginSkeleton> owned;
  return owned;
}

const std::string kEmpty;

uint32_t ReadLittleEndian32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void WriteLittleEndian32(uint8_t* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

// The procedures the framework registers. Each answers its fallback value when
// there is no current skeleton (a call arriving after Terminate) and never lets
// an exception out: a failure inside the plugin becomes HCPE_INTERNAL_ERROR.
struct TSkeletonProcedures {
  template <class Body>
  static intptr_t Guarded(intptr_t withoutSkeleton, Body body) {
    THCPluginSkeleton* skeleton = gCurrent.load(std::memory_order_acquire);
    if (skeleton == nullptr || !skeleton->handler_) return withoutSkeleton;
    try {
      return body(*skeleton);
    } catch (...) {
      return HCPE_INTERNAL_ERROR;
    }
  }

  static intptr_t HCCALL Loaded(intptr_t, intptr_t) {
    return Guarded(0, [](THCPluginSkeleton& s) {
      s.OnLoaded();
      return intptr_t{0};
    });
  }

  static intptr_t HCCALL Finalize(intptr_t, intptr_t) {
    return Guarded(0, [](THCPluginSkeleton& s) {
      s.OnFinalize();
      return intptr_t{0};
    });
  }

  static intptr_t HCCALL StateChange(intptr_t wParam, intptr_t lParam) {
    return Guarded(0, [&](THCPluginSkeleton& s) {
      HCPtr<IHCPMember> member = s.FindMember(wParam);
      s.OnMemberStateChange(member.Get(), static_cast<int32_t>(lParam));
      return intptr_t{0};
    });
  }

  static intptr_t HCCALL TranserNotify(intptr_t wParam, intptr_t lParam) {
    return Guarded(0, [&](THCPluginSkeleton& s) {
      HCPtr<IHCPMember> member = s.FindMember(wParam);
      if (member) s.OnMemberTranserNotify(member.Get(), static_cast<int32_t>(lParam));
      return intptr_t{0};
    });
  }

  static intptr_t HCCALL Task(intptr_t wParam, intptr_t lParam) {
    return Guarded(HCPE_NOTIMPLEMENT_ERROR, [&](THCPluginSkeleton& s) -> intptr_t {
      auto* data = reinterpret_cast<TTaskNotifyData*>(lParam);
      if (data == nullptr || data->Info == nullptr) return HCPE_INVALID_ARG;
      return s.OnTask(data->Member, data->Info, static_cast<int32_t>(wParam));
    });
  }

  static intptr_t HCCALL InternalMessage(intptr_t wParam, intptr_t lParam) {
    return Guarded(HCPE_NOTIMPLEMENT_ERROR, [&](THCPluginSkeleton& s) -> intptr_t {
      auto* data = reinterpret_cast<TTaskNotifyData*>(lParam);
      if (data == nullptr || data->Info == nullptr) return HCPE_INVALID_ARG;
      if (wParam == HCTN_ARRIVED) return Accept(*data);
      if (wParam == HCTN_FINISHED && data->Info->Direction == HCTD_RECEIVE) {
        return Deliver(s, *data);
      }
      return HCPE_ALLRIGHT;
    });
  }

  // Accepts an announced message into a new memory stream of our own.
  static intptr_t Accept(const TTaskNotifyData& data) {
    if (data.Member == nullptr) return HCPE_INTERNAL_ERROR;
    HCPtr<IHCPTranser> transer = HCPtr<IHCPTranser>::Adopt(data.Member->Transer());
    if (!transer) return HCPE_INTERNAL_ERROR;  // not authenticated
    HCPtr<IHCStream> stream = THCMemoryStream::Create();
    transer->AcceptTask(data.Info->TaskUID, stream.Get(), 0);
    return HCPE_ALLRIGHT;
  }

  // Reads code, count and bytes from the received stream. The count comes
  // from the peer, so it is checked against what actually arrived.
  static intptr_t Deliver(THCPluginSkeleton& s, const TTaskNotifyData& data) {
    IHCStream* stream = data.Info->Stream;
    if (stream == nullptr) return HCPE_ALLRIGHT;  // never accepted: nothing arrived
    const int64_t total = stream->Seek(0, 2);
    stream->Seek(0, 0);
    uint8_t head[8];
    if (total < 8 || !ReadFully(*stream, head, sizeof head)) return HCPE_FAILED;
    const uint32_t count = ReadLittleEndian32(head + 4);
    if (static_cast<uint64_t>(count) > static_cast<uint64_t>(total - 8)) return HCPE_FAILED;
    std::vector<uint8_t> bytes(count);
    if (count > 0 && !ReadFully(*stream, bytes.data(), count)) return HCPE_FAILED;
    THCInternalMessage message{};
    message.Code = static_cast<int32_t>(ReadLittleEndian32(head));
    message.Size = count;
    message.Data = count > 0 ? bytes.data() : nullptr;
    s.OnInternalMessage(data.Member, message);
    return HCPE_ALLRIGHT;
  }
};

THCPluginSkeleton::THCPluginSkeleton() {
  THCPluginSkeleton* expected = nullptr;
  gCurrent.compare_exchange_strong(expected, this, std::memory_order_acq_rel);
  info_[HCPI_INTERFACE_VERSION] = HC_INTERFACE_VERSION;
}

THCPluginSkeleton::~THCPluginSkeleton() {
  THCPluginSkeleton* expected = this;
  gCurrent.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
}

void THCPluginSkeleton::OnInitialize() {}
void THCPluginSkeleton::OnTerminate() {}
void THCPluginSkeleton::OnLoaded() {}
void THCPluginSkeleton::OnFinalize() {}
void THCPluginSkeleton::GetContainerCaption(std::string&) {}
void THCPluginSkeleton::ShowContainer(intptr_t, bool) {}
void THCPluginSkeleton::ResizeContainer(intptr_t, int32_t, int32_t) {}
void THCPluginSkeleton::OnMemberStateChange(IHCPMember*, int32_t) {}
void THCPluginSkeleton::OnMemberTranserNotify(IHCPMember*, int32_t) {}
int32_t THCPluginSkeleton::OnTask(IHCPMember*, TTranserTaskInfo*, int32_t) {
  return HCPE_NOTIMPLEMENT_ERROR;
}
void THCPluginSkeleton::OnInternalMessage(IHCPMember*, const THCInternalMessage&) {}

const std::string& THCPluginSkeleton::Info(int32_t index) const {
  return index >= 0 && index < HCPI_COUNT ? info_[index] : kEmpty;
}

void THCPluginSkeleton::SetInfo(int32_t index, std::string text) {
  if (index >= 0 && index < HCPI_COUNT) info_[index] = std::move(text);
}

int32_t THCPluginSkeleton::GetPluginInfo(int32_t index, char* buffer, int32_t bufferSize) const {
  const std::string& text = Info(index);
  if (text.empty() || buffer == nullptr || bufferSize < 1) return 0;
  size_t length = std::min<size_t>(text.size(), static_cast<size_t>(bufferSize) - 1);
  // A cut inside a UTF-8 sequence backs off to the start of that character.
  if (length < text.size()) {
    while (length > 0 && (static_cast<uint8_t>(text[length]) & 0xC0) == 0x80) --length;
  }
  std::memcpy(buffer, text.data(), length);
  buffer[length] = '\0';
  return static_cast<int32_t>(length);
}

int32_t THCPluginSkeleton::Initialize(IHCHandler* handler) {
  if (initialized_ || handler == nullptr) return HCPE_INTERNAL_ERROR;
  handler_ = HCPtr<IHCHandler>::Share(handler);
  try {
    internalMessageName_ = info_[HCPI_NAME] + kInternalMessageSuffix;
    const std::pair<const char*, HCProc> hooks[] = {
        {"system/loaded", &TSkeletonProcedures::Loaded},
        {"member/statechange", &TSkeletonProcedures::StateChange},
        {"member/transernotify", &TSkeletonProcedures::TranserNotify},
        {"system/finalize", &TSkeletonProcedures::Finalize},
    };
    for (const auto& [name, proc] : hooks) {
      const HCHEvent hook = handler_->HookEvent(name, proc);
      if (hook == 0) throw std::runtime_error("HookEvent failed");
      hooks_.push_back(hook);
    }
    debugService_ = handler_->GetService("debug");
    const std::string taskName = kTaskNotifyPrefix + info_[HCPI_NAME];
    taskNotifyService_ = static_cast<uint32_t>(
        handler_->CreateService(taskName.c_str(), &TSkeletonProcedures::Task));
    if (taskNotifyService_ == 0) throw std::runtime_error("CreateService failed");
    const std::string messageName = kTaskNotifyPrefix + internalMessageName_;
    internalMessageService_ = static_cast<uint32_t>(
        handler_->CreateService(messageName.c_str(), &TSkeletonProcedures::InternalMessage));
    if (internalMessageService_ == 0) throw std::runtime_error("CreateService failed");
    ownedObjects_.clear();
    OnInitialize();
    initialized_ = true;
    return HCPE_ALLRIGHT;
  } catch (...) {
    Rollback();
    return HCPE_INTERNAL_ERROR;
  }
}

// Nothing a failed initialisation registered may stay registered: the host
// unloads the library at once.
void THCPluginSkeleton::Rollback() {
  bool failed = false;
  DestroyOwnedObjects(failed);
  try {
    if (internalMessageService_ != 0) handler_->DeleteService(internalMessageService_);
    if (taskNotifyService_ != 0) handler_->DeleteService(taskNotifyService_);
    for (HCHEvent hook : hooks_) handler_->UnhookEvent(hook);
  } catch (...) {
  }
  hooks_.clear();
  internalMessageService_ = 0;
  taskNotifyService_ = 0;
  debugService_ = 0;
  handler_.Reset();
}

void THCPluginSkeleton::DestroyOwnedObjects(bool& failed) {
  while (!ownedObjects_.empty()) {
    std::shared_ptr<void> object = std::move(ownedObjects_.front());
    ownedObjects_.erase(ownedObjects_.begin());
    try {
      object.reset();
    } catch (...) {
      failed = true;
    }
  }
}

int32_t THCPluginSkeleton::Terminate() {
  if (!initialized_) return HCPE_UNINITIALIZED_ERROR;
  bool failed = false;
  DestroyOwnedObjects(failed);
  try {
    handler_->DeleteService(taskNotifyService_);
    handler_->DeleteService(internalMessageService_);
  } catch (...) {
    failed = true;
  }
  try {
    OnTerminate();
  } catch (...) {
    failed = true;
  }
  // At shutdown the host has cleared the hooks already and this changes
  // nothing (handles are never reused). A plugin terminated without that must
  // not leave procedures on the bus that point into an unloaded library.
  try {
    for (HCHEvent hook : hooks_) handler_->UnhookEvent(hook);
  } catch (...) {
    failed = true;
  }
  hooks_.clear();
  handler_.Reset();
  initialized_ = false;
  return failed ? HCPE_INTERNAL_ERROR : HCPE_ALLRIGHT;
}

HCPtr<IHCPMember> THCPluginSkeleton::FindMember(intptr_t userID) const {
  HCPtr<IHCPMemberList> list = HCPtr<IHCPMemberList>::Adopt(handler_->MemberList());
  if (!list || userID < INT32_MIN || userID > INT32_MAX) return nullptr;
  const int32_t index = list->IndexOf(static_cast<int32_t>(userID));
  if (index < 0) return nullptr;
  return HCPtr<IHCPMember>::Adopt(list->Members(index));
}

HCRESULT THCPluginSkeleton::SendInternalMessage(IHCPMember& member, int32_t code,
                                                std::span<const uint8_t> data, int64_t* taskUID) {
  if (taskUID != nullptr) *taskUID = 0;
  try {
    if (data.size() > UINT32_MAX - 8) return HCPE_INVALID_ARG;
    HCPtr<IHCPTranser> transer = HCPtr<IHCPTranser>::Adopt(member.Transer());
    if (!transer) return HCPE_INTERNAL_ERROR;
    std::vector<uint8_t> bytes(8 + data.size());
    WriteLittleEndian32(bytes.data(), static_cast<uint32_t>(code));
    WriteLittleEndian32(bytes.data() + 4, static_cast<uint32_t>(data.size()));
    if (!data.empty()) std::memcpy(bytes.data() + 8, data.data(), data.size());
    HCPtr<IHCStream> stream = THCMemoryStream::CreateWith(bytes, bytes.size());
    TBstr name = TBstr::FromUtf8(internalMessageName_);
    int64_t uid = 0;
    const HCRESULT result = transer->NewTask(name.Get(), stream.Get(), 0, nullptr, HCPT_DEFAULT,
                                             HCBT_AUTOSTREAM, nullptr, &uid);
    if (taskUID != nullptr) *taskUID = uid;
    return result;
  } catch (...) {
    return HCPE_INTERNAL_ERROR;
  }
}

THCPluginSkeleton* CurrentSkeleton() {
  return gCurrent.load(std::memory_order_acquire);
}

bool InstallSkeleton(std::unique_ptr<THCPluginSkeleton> (*factory)()) {
  std::unique_ptr<THCPluginSkeleton> skeleton;
  try {
    skeleton = factory();
  } catch (...) {
    return false;
  }
  if (!skeleton || CurrentSkeleton() != skeleton.get() || OwnedSkeleton()) return false;
  OwnedSkeleton() = std::move(skeleton);
  return true;
}

int32_t SkeletonGetPluginInfo(int32_t index, char* buffer, int32_t bufferSize) {
  THCPluginSkeleton* skeleton = CurrentSkeleton();
  if (skeleton == nullptr) return 0;
  try {
    return skeleton->GetPluginInfo(index, buffer, bufferSize);
  } catch (...) {
    return 0;
  }
}

int32_t SkeletonInitialize(IHCHandler* handler) {
  THCPluginSkeleton* skeleton = CurrentSkeleton();
  if (skeleton == nullptr) return HCPE_INTERNAL_ERROR;
  try {
    return skeleton->Initialize(handler);
  } catch (...) {
    return HCPE_INTERNAL_ERROR;
  }
}

int32_t SkeletonTerminate() {
  THCPluginSkeleton* skeleton = CurrentSkeleton();
  if (skeleton == nullptr || !skeleton->Initialized()) return HCPE_UNINITIALIZED_ERROR;
  int32_t result = HCPE_INTERNAL_ERROR;
  try {
    result = skeleton->Terminate();
  } catch (...) {
  }
  // The object goes away with its termination; a skeleton the module does not
  // own (one a test made itself) is only unhooked from the exports.
  if (OwnedSkeleton().get() == skeleton) {
    OwnedSkeleton().reset();
  } else {
    THCPluginSkeleton* expected = skeleton;
    gCurrent.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel);
  }
  return result;
}

intptr_t CallHostService(const char* name, intptr_t wParam, intptr_t lParam) {
  THCPluginSkeleton* skeleton = CurrentSkeleton();
  if (skeleton == nullptr || skeleton->Handler() == nullptr || name == nullptr) {
    return HCPE_NOTIMPLEMENT_ERROR;
  }
  IHCHandler* handler = skeleton->Handler();
  const uint32_t service = handler->GetService(name);
  if (service == 0) return HCPE_NOTIMPLEMENT_ERROR;
  return handler->CallService(service, wParam, lParam);
}

intptr_t Alert(int32_t kind, int32_t reserved, int32_t displayTime, const char* title,
               const char* text, intptr_t ownerWindow, int32_t option1, int32_t option2,
               int32_t option3, int32_t x, int32_t y, int32_t flags) {
  AlertRecord record{};
  record.Kind = kind;
  record.Reserved = reserved;
  record.DisplayTime = displayTime;
  record.Title = title;
  record.Text = text;
  record.OwnerWindow = ownerWindow;
  record.Option1 = option1;
  record.Option2 = option2;
  record.Option3 = option3;
  record.X = x;
  record.Y = y;
  record.Flags = flags;
  return CallHostService("ui/alert", reinterpret_cast<intptr_t>(&record), 0);
}

intptr_t MessengerMakeSession(int32_t userID) {
  return CallHostService("messenger/MakeSession", userID, 0);
}

}  // namespace tarnix
