// A plugin on the skeleton that exchanges data with the same plugin on a
// member's machine: internal messages, a stream task and a task fed by a
// buffer routine. The test drives it and reads what happened through its own
// bus services, so it stays a real library reached only through the contract.
//
// Services (wParam, lParam -> result):
//   "exchange/sendmessage"  (member UserID, message code) -> SendInternalMessage's result;
//                           the message text is "hello from " + the own account name
//   "exchange/sendstream"   (member UserID, byte count)   -> NewTask's result (btStream)
//   "exchange/sendproc"     (member UserID, byte count)   -> NewTask's result (btProc)
//   "exchange/report"       (buffer, buffer size)         -> length of the report; the
//                           report's lines (one event each, "\n" after each) are
//                           copied, cut to the buffer, with a NUL
//
// Data bytes are ExchangePattern(i) for i = 0..count-1; received data is
// reported by size and FNV-1a digest. Report lines:
//   "msg <code> <text> from <member name>"
//   "gettask <needed bytes> <name> <initial info> <inside>"   (inside: 1 when TaskName and
//                           InitialInfo point into the copy)
//   "accept <bufferType> <result>"
//   "progress <direction> <bufferType>"
//   "end <direction> <bufferType> <result> <size> <fnv> <own stream> <tag>"  (receiving side)
//   "end <direction> <bufferType> <result>"                     (sending side)
//   "freed <direction> <bufferType> <stream is null>"
#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "plugin/sdk/THCMemoryStream.h"
#include "plugin/sdk/THCPluginSkeleton.h"

namespace {

using tarnix::HCPtr;
using tarnix::TBstr;

uint8_t ExchangePattern(uint64_t i) {
  return static_cast<uint8_t>((i * 7 + 3) & 0xFF);
}

uint32_t Fnv1a(const std::vector<uint8_t>& bytes) {
  uint32_t hash = 2166136261u;
  for (const uint8_t b : bytes) hash = (hash ^ b) * 16777619u;
  return hash;
}

std::vector<uint8_t> ReadAll(IHCStream& stream) {
  std::vector<uint8_t> bytes;
  stream.Seek(0, 0);
  uint8_t chunk[4096];
  for (uint32_t got; (got = stream.Read(chunk, sizeof chunk)) > 0;) {
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  return bytes;
}

class TExchangePlugin : public tarnix::THCPluginSkeleton {
 public:
  TExchangePlugin() {
    SetInfo(HCPI_NAME, "exchange");
    SetInfo(HCPI_CAPTION, "Exchange");
    SetInfo(HCPI_DESCRIPTION, "Exchange test plugin");
    SetInfo(HCPI_AUTHOR, "tarnix tests");
    SetInfo(HCPI_VERSION, "1.0");
  }

  void OnInitialize() override {
    const std::pair<const char*, HCProc> services[] = {
        {"exchange/sendmessage", &SendMessage},
        {"exchange/sendstream", &SendStream},
        {"exchange/sendproc", &SendProc},
        {"exchange/report", &Report},
    };
    for (const auto& [name, proc] : services) {
      const int32_t handle = Handler()->CreateService(name, proc);
      if (handle == 0) throw std::runtime_error("CreateService failed");
      services_.push_back(static_cast<uint32_t>(handle));
    }
  }

  void OnTerminate() override {
    for (const uint32_t service : services_) Handler()->DeleteService(service);
    services_.clear();
    std::scoped_lock lock(mutex_);
    receiving_.clear();
  }

  void OnInternalMessage(IHCPMember* member, const THCInternalMessage& message) override {
    const std::string text = message.Data != nullptr
                                 ? std::string(static_cast<const char*>(message.Data), message.Size)
                                 : std::string();
    const std::string from = member != nullptr ? TBstr::Adopt(member->name()).ToUtf8() : "?";
    Record("msg " + std::to_string(message.Code) + " " + text + " from " + from);
  }

  int32_t OnTask(IHCPMember* member, TTranserTaskInfo* info, int32_t type) override {
    const std::string way =
        std::to_string(info->Direction) + " " + std::to_string(info->BufferType);
    switch (type) {
      case HCTN_ARRIVED:
        return Arrived(member, *info);
      case HCTN_PROGRESS:
        if (info->Direction == HCTD_RECEIVE && info->BufferType == HCBT_PROC && info->Stream) {
          const std::vector<uint8_t> chunk = ReadAll(*info->Stream);
          std::scoped_lock lock(mutex_);
          auto& bytes = procBytes_[info->TaskUID];
          bytes.insert(bytes.end(), chunk.begin(), chunk.end());
        }
        Record("progress " + way);
        return HCPE_ALLRIGHT;
      case HCTN_FINISHED:
        Finished(*info, way);
        return HCPE_ALLRIGHT;
      case HCTN_FREED:
        Record("freed " + way + " " + (info->Stream == nullptr ? "1" : "0"));
        {
          std::scoped_lock lock(mutex_);
          receiving_.erase(info->TaskUID);
          procBytes_.erase(info->TaskUID);
        }
        return HCPE_ALLRIGHT;
      default:
        return HCPE_ALLRIGHT;
    }
  }

 private:
  static TExchangePlugin* Self() {
    return static_cast<TExchangePlugin*>(tarnix::CurrentSkeleton());
  }

  void Record(std::string line) {
    std::scoped_lock lock(mutex_);
    report_ += line + "\n";
  }

  int32_t Arrived(IHCPMember* member, const TTranserTaskInfo& info) {
    HCPtr<IHCPTranser> transer = HCPtr<IHCPTranser>::Adopt(member->Transer());
    if (!transer) return HCPE_INTERNAL_ERROR;
    // The task copy, as a plugin sees it.
    const HCRESULT needed = transer->GetTask(info.TaskUID, nullptr);
    std::vector<char> copy(needed > 0 ? needed : 0);
    if (needed > 0 && transer->GetTask(info.TaskUID, copy.data()) == HCPE_ALLRIGHT) {
      TTranserTaskInfo record;
      std::memcpy(&record, copy.data(), sizeof record);
      const char* const begin = copy.data();
      const char* const end = copy.data() + copy.size();
      const bool inside = record.TaskName >= begin && record.TaskName < end &&
                          record.InitialInfo >= begin && record.InitialInfo < end;
      Record("gettask " + std::to_string(needed) + " " + (inside ? record.TaskName : "?") + " " +
             (inside ? record.InitialInfo : "?") + " " + (inside ? "1" : "0"));
    }
    HCRESULT result = HCPE_FAILED;
    if (info.BufferType == HCBT_PROC) {
      // The chunks are read from the notification's stream during progress.
      result = transer->AcceptTask(info.TaskUID, nullptr, 78);
    } else {
      HCPtr<IHCStream> stream = tarnix::THCMemoryStream::Create();
      {
        std::scoped_lock lock(mutex_);
        receiving_[info.TaskUID] = stream;
      }
      result = transer->AcceptTask(info.TaskUID, stream.Get(), 77);
    }
    Record("accept " + std::to_string(info.BufferType) + " " + std::to_string(result));
    return HCPE_ALLRIGHT;
  }

  void Finished(const TTranserTaskInfo& info, const std::string& way) {
    if (info.Direction == HCTD_SEND) {
      Record("end " + way + " " + std::to_string(info.Result));
      return;
    }
    std::vector<uint8_t> bytes;
    std::string own = "-";
    if (info.BufferType == HCBT_PROC) {
      std::scoped_lock lock(mutex_);
      bytes = procBytes_[info.TaskUID];
    } else if (info.Stream != nullptr) {
      bytes = ReadAll(*info.Stream);
      std::scoped_lock lock(mutex_);
      const auto it = receiving_.find(info.TaskUID);
      own = it != receiving_.end() && it->second.Get() == info.Stream ? "1" : "0";
    }
    Record("end " + way + " " + std::to_string(info.Result) + " " + std::to_string(bytes.size()) +
           " " + std::to_string(Fnv1a(bytes)) + " " + own + " " + std::to_string(info.Tag));
  }

  // The member with this identifier and its task interface, when authenticated.
  HCPtr<IHCPMember> FindMember(intptr_t userID) {
    HCPtr<IHCPMemberList> list = HCPtr<IHCPMemberList>::Adopt(Handler()->MemberList());
    if (!list) return nullptr;
    const int32_t index = list->IndexOf(static_cast<int32_t>(userID));
    return index < 0 ? nullptr : HCPtr<IHCPMember>::Adopt(list->Members(index));
  }

  static intptr_t HCCALL SendMessage(intptr_t wParam, intptr_t lParam) {
    TExchangePlugin* self = Self();
    HCPtr<IHCPMember> member = self->FindMember(wParam);
    if (!member) return HCPE_INVALID_ARG;
    HCPtr<IHCPConfig> config = HCPtr<IHCPConfig>::Adopt(self->Handler()->Config());
    const std::string text = "hello from " + (config ? TBstr::Adopt(config->name()).ToUtf8() : "");
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    return self->SendInternalMessage(*member, static_cast<int32_t>(lParam), {bytes, text.size()});
  }

  static intptr_t HCCALL SendStream(intptr_t wParam, intptr_t lParam) {
    TExchangePlugin* self = Self();
    HCPtr<IHCPMember> member = self->FindMember(wParam);
    if (!member) return HCPE_INVALID_ARG;
    HCPtr<IHCPTranser> transer = HCPtr<IHCPTranser>::Adopt(member->Transer());
    if (!transer) return HCPE_INTERNAL_ERROR;
    std::vector<uint8_t> data(static_cast<size_t>(lParam));
    for (size_t i = 0; i < data.size(); ++i) data[i] = ExchangePattern(i);
    HCPtr<IHCStream> stream = tarnix::THCMemoryStream::CreateWith(data, data.size());
    int64_t uid = 0;
    return transer->NewTask(TBstr::FromUtf8("exchange").Get(), stream.Get(), 5,
                            TBstr::FromUtf8("stream").Get(), HCPT_DEFAULT, HCBT_STREAM, nullptr,
                            &uid);
  }

  static intptr_t HCCALL SendProc(intptr_t wParam, intptr_t lParam) {
    TExchangePlugin* self = Self();
    HCPtr<IHCPMember> member = self->FindMember(wParam);
    if (!member) return HCPE_INVALID_ARG;
    HCPtr<IHCPTranser> transer = HCPtr<IHCPTranser>::Adopt(member->Transer());
    if (!transer) return HCPE_INTERNAL_ERROR;
    // Held until the routine's state is in place: the pump asks the routine
    // under this lock.
    transer->Lock();
    int64_t uid = 0;
    const HCRESULT result = transer->NewTask(TBstr::FromUtf8("exchange").Get(), nullptr, 6,
                                             TBstr::FromUtf8("proc").Get(), HCPT_COMPRESSED,
                                             HCBT_PROC, reinterpret_cast<void*>(&Produce), &uid);
    if (result == HCPE_ALLRIGHT) {
      std::scoped_lock lock(self->mutex_);
      self->producing_[uid] = {0, static_cast<uint64_t>(lParam)};
    }
    transer->Unlock();
    return result;
  }

  // The buffer routine of the btProc task: the pattern, chunk by chunk.
  static int32_t HCCALL Produce(int64_t taskUID, void* buffer, int32_t capacity) {
    TExchangePlugin* self = Self();
    if (self == nullptr || capacity <= 0) return 0;
    std::scoped_lock lock(self->mutex_);
    const auto it = self->producing_.find(taskUID);
    if (it == self->producing_.end()) return 0;
    auto& [offset, total] = it->second;
    const uint64_t count = std::min<uint64_t>(total - offset, static_cast<uint64_t>(capacity));
    auto* bytes = static_cast<uint8_t*>(buffer);
    for (uint64_t i = 0; i < count; ++i) bytes[i] = ExchangePattern(offset + i);
    offset += count;
    return static_cast<int32_t>(count);
  }

  static intptr_t HCCALL Report(intptr_t wParam, intptr_t lParam) {
    TExchangePlugin* self = Self();
    std::scoped_lock lock(self->mutex_);
    const std::string& report = self->report_;
    if (wParam != 0 && lParam > 0) {
      const size_t copied = std::min<size_t>(report.size(), static_cast<size_t>(lParam) - 1);
      std::memcpy(reinterpret_cast<char*>(wParam), report.data(), copied);
      reinterpret_cast<char*>(wParam)[copied] = '\0';
    }
    return static_cast<intptr_t>(report.size());
  }

  std::vector<uint32_t> services_;
  std::mutex mutex_;
  std::string report_;                                          // guarded by mutex_
  std::map<int64_t, HCPtr<IHCStream>> receiving_;               // guarded by mutex_
  std::map<int64_t, std::vector<uint8_t>> procBytes_;           // guarded by mutex_
  std::map<int64_t, std::pair<uint64_t, uint64_t>> producing_;  // guarded by mutex_: offset, total
};

}  // namespace

TARNIX_PLUGIN(TExchangePlugin)
