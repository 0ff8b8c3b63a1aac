#include "transport/tasks/TaskEngine.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>

#include "transport/connection/TranserCodes.h"
#include "transport/log/Log.h"
#include "transport/wire/CommandPayloads.h"
#include "transport/wire/TranserErrors.h"

namespace tarnix {
namespace {

// numerator / denominator to the nearest integer, halves to the even one.
int64_t RoundHalfEven(int64_t numerator, int64_t denominator) {
  const bool negative = numerator < 0;
  const int64_t n = negative ? -numerator : numerator;
  int64_t q = n / denominator;
  const int64_t twice = 2 * (n % denominator);
  if (twice > denominator || (twice == denominator && (q & 1) != 0)) ++q;
  return negative ? -q : q;
}

int32_t ClampToInt32(int64_t value) {
  return static_cast<int32_t>(std::clamp<int64_t>(value, INT32_MIN, INT32_MAX));
}

std::string CutAtZero(const std::string& bytes) {
  return bytes.substr(0, bytes.find('\0'));
}

}  // namespace

TTaskEngine::TTaskEngine(TTaskConnection& connection, std::shared_ptr<const TTickClock> clock)
    : connection_(connection),
      clock_(clock),
      tasks_(std::move(clock),
             [this](TTranserTask& task, int code) { connection_.NotifyTask(task, code); }) {}

TPayloadCoder& TTaskEngine::Coder() {
  if (!coder_) coder_ = std::make_unique<TPayloadCoder>();
  return *coder_;
}

bool TTaskEngine::Operable() const {
  const uint8_t state = connection_.ConnectionState();
  return state == csHandshake || state == csEstablished;
}

// --- Operations -------------------------------------------------------------

TTranserTask* TTaskEngine::NewTask(std::string_view name, TStream* stream, uint32_t tag,
                                   std::span<const uint8_t> initialInfo, uint8_t packetType,
                                   uint8_t bufferType, TBufferProc bufferProc) {
  std::scoped_lock lock(tasks_.Mutex());
  if (!Operable()) return nullptr;
  if (bufferType > btAutoStream || (bufferType != btProc && stream == nullptr) ||
      name.size() > static_cast<std::size_t>(kMaxTaskNameLength) ||
      initialInfo.size() > static_cast<std::size_t>(kMaxInitialInfoLength)) {
    WriteLog("NewTask refused: " + std::string(name) + " (buffer type " +
             std::to_string(bufferType) + ", name " + std::to_string(name.size()) +
             " bytes, information " + std::to_string(initialInfo.size()) + " bytes)");
    return nullptr;
  }
  TTranserTask& task = tasks_.Add(kTaskSending, std::string(name), stream);
  task.Tag = tag;
  task.InitialInfo.assign(initialInfo.begin(), initialInfo.end());
  task.PacketType = packetType;
  task.BufferType = bufferType;
  task.BufferProc = std::move(bufferProc);
  connection_.WakeConnection();
  return &task;
}

bool TTaskEngine::AcceptTask(int64_t uid, TStream* dest, uint32_t tag) {
  std::scoped_lock lock(tasks_.Mutex());
  if (!Operable()) return false;
  TTranserTask* task = tasks_.FindUID(uid, kTaskReceiving);
  if (task == nullptr || task->State != tsNew) return false;
  task->Stream = dest;
  task->State = tsAccepted;
  task->Position = dest != nullptr ? dest->Position() : 0;
  task->RefPosition = task->Position;
  task->Tag = tag;
  task->RefTick = clock_->Now();
  connection_.WakeConnection();
  return true;
}

bool TTaskEngine::DenyTask(int32_t code, int64_t uid) {
  std::scoped_lock lock(tasks_.Mutex());
  TTranserTask* task = tasks_.FindUID(uid, kTaskReceiving);
  if (task == nullptr || task->State != tsNew) return AbortTask(uid);
  DenyRecord(*task, code);
  return true;
}

bool TTaskEngine::AbortTask(int64_t uid) {
  std::scoped_lock lock(tasks_.Mutex());
  TTranserTask* task = tasks_.FindUID(uid);
  if (task == nullptr) return false;
  AbortRecord(*task);
  return true;
}

void TTaskEngine::DenyRecord(TTranserTask& task, int32_t code) {
  Finish(task, code);
  connection_.QueueTaskCommand(tcDenyTask, BuildDenyTaskPayload({task.UID, code}));
}

void TTaskEngine::AbortRecord(TTranserTask& task) {
  // An unanswered incoming task is denied, not aborted.
  if (task.Direction == kTaskReceiving && task.State == tsNew) {
    DenyRecord(task, trDenied);
    return;
  }
  // A finished task keeps the result it ended with.
  if (task.State == tsFinished) return;
  Finish(task, trAborted);
  connection_.QueueTaskCommand(tcAbortTask, BuildUidPayload(task.UID));
}

bool TTaskEngine::SuspendTask(int64_t uid) {
  std::scoped_lock lock(tasks_.Mutex());
  if (connection_.ConnectionState() != csEstablished) return false;
  TTranserTask* task = tasks_.FindUID(uid);
  if (task == nullptr || task->State != tsTransferring) return false;
  task->State = tsSuspended;
  connection_.QueueTaskCommand(tcSuspendTask, BuildUidPayload(uid));
  connection_.NotifyTask(*task, tkSuspended);
  return true;
}

bool TTaskEngine::ResumeTask(int64_t uid) {
  std::scoped_lock lock(tasks_.Mutex());
  if (connection_.ConnectionState() != csEstablished) return false;
  TTranserTask* task = tasks_.FindUID(uid);
  if (task == nullptr || task->State != tsSuspended) return false;
  task->State = tsTransferring;
  task->RefTick = clock_->Now();
  connection_.QueueTaskCommand(tcResumeTask, BuildUidPayload(uid));
  connection_.NotifyTask(*task, tkResumed);
  return true;
}

int32_t TTaskEngine::GetTaskBuffer(TTranserTask& task, uint8_t* buffer, int32_t capacity) {
  if (!task.BufferProc) return 0;
  try {
    const int32_t written = task.BufferProc(task.UID, buffer, capacity);
    if (written < 0 || written > capacity) {
      WriteLog("Buffer routine of task " + task.Name + " returned " + std::to_string(written) +
               " for a capacity of " + std::to_string(capacity));
      return 0;
    }
    return written;
  } catch (...) {
    return 0;
  }
}

// --- Pump -------------------------------------------------------------------

bool TTaskEngine::HasWorkToPump() {
  std::scoped_lock lock(tasks_.Mutex());
  for (int i = 0; i < tasks_.Count(); ++i) {
    const TTranserTask& task = tasks_.Get(i);
    if (task.Direction == kTaskSending ? (task.State == tsNew || task.State == tsTransferring)
                                       : task.State == tsAccepted) {
      return true;
    }
  }
  return false;
}

void TTaskEngine::Pump() {
  std::scoped_lock lock(tasks_.Mutex());
  // The list as it stood when the pump began; records are looked up again by
  // UID, since a notification handler may change the list.
  std::vector<std::pair<int64_t, uint8_t>> snapshot;
  snapshot.reserve(static_cast<std::size_t>(tasks_.Count()));
  for (int i = 0; i < tasks_.Count(); ++i) {
    snapshot.emplace_back(tasks_.Get(i).UID, tasks_.Get(i).Direction);
  }
  for (const auto& [uid, direction] : snapshot) {
    TTranserTask* task = tasks_.FindUID(uid, direction);
    if (task == nullptr) continue;
    if (direction == kTaskSending) {
      if (task->State == tsNew) {
        Announce(*task);
      } else if (task->State == tsTransferring) {
        SendChunk(*task);
      }
    } else if (task->State == tsAccepted) {
      SendAcceptance(*task);
    }
  }
}

void TTaskEngine::Announce(TTranserTask& task) {
  TNewTaskPayload announcement;
  announcement.uid = task.UID;
  announcement.name = task.Name;
  announcement.size = task.Size;
  announcement.bufferType = task.BufferType;
  announcement.info = task.InitialInfo;
  connection_.QueueTaskCommand(tcNewTask, BuildNewTaskPayload(announcement));
  task.State = task.BufferType == btAutoStream ? tsTransferring : tsAnnounced;
  connection_.NotifyTask(task, tkAnnounced);
}

void TTaskEngine::SendAcceptance(TTranserTask& task) {
  if (task.BufferType == btStream || task.BufferType == btProc) {
    connection_.QueueTaskCommand(tcAcceptTask, BuildAcceptTaskPayload({task.UID, task.Position}));
  }
  task.State = tsTransferring;
}

void TTaskEngine::SendChunk(TTranserTask& task) {
  const int32_t bufferSize = std::max(1, connection_.ChunkBufferSize());
  uint8_t packetType =
      task.PacketType != ptDefault ? task.PacketType : connection_.DefaultPacketType();
  const bool coded = packetType == ptCompressed || packetType == ptEncrypted;

  // The plain chunk goes straight behind the header when it is sent as is.
  std::vector<uint8_t> payload;
  int32_t len = 0;
  auto plainBuffer = [&](int32_t capacity) -> uint8_t* {
    if (coded) {
      plain_.assign(static_cast<std::size_t>(capacity), 0);
      return plain_.data();
    }
    payload.assign(kTaskDataHeaderSize + static_cast<std::size_t>(capacity), 0);
    return payload.data() + kTaskDataHeaderSize;
  };

  if (task.BufferType == btProc) {
    uint8_t* buffer = plainBuffer(bufferSize);
    len = GetTaskBuffer(task, buffer, bufferSize);
    if (len == 0) Finish(task, trCompleted);
  } else if (task.Stream != nullptr) {
    const int64_t p = task.Stream->Position();
    const int64_t s = task.Stream->Size();
    if (p < s) {
      len = static_cast<int32_t>(std::min<int64_t>(bufferSize, s - p));
      // A short chunk that would cross a multiple of the buffer size (counted
      // from the start of the stream) is cut at that multiple.
      if ((p + len) % bufferSize < p % bufferSize)
        len = static_cast<int32_t>(bufferSize - p % bufferSize);
      uint8_t* buffer = plainBuffer(len);
      task.Stream->Read(buffer, len);
    }
    // At or past the end there is nothing more to send: a position beyond the
    // size (a receiver that already holds more) would otherwise send empty
    // chunks for ever.
    if (task.Stream->Position() >= task.Stream->Size()) Finish(task, trCompleted);
  } else {
    Finish(task, trCompleted);
  }

  if (len == 0) packetType = ptNormal;
  if (len == 0 || !coded) {
    payload.resize(kTaskDataHeaderSize + static_cast<std::size_t>(len));
  } else {
    payload.clear();
    Coder().Encode(packetType, std::span(plain_.data(), static_cast<std::size_t>(len)), payload,
                   kTaskDataHeaderSize);
  }
  TTaskDataHeader header;
  header.uid = task.UID;
  header.packetType = packetType;
  header.plainLen = len;
  header.codedLen = static_cast<int32_t>(payload.size() - kTaskDataHeaderSize);
  WriteTaskDataHeader(payload, header);
  connection_.QueueTaskCommand(tcTaskData, std::move(payload));

  task.Position += len;
  if (task.State == tsTransferring) Progress(task);
}

// --- Received commands ------------------------------------------------------

void TTaskEngine::HandleCommand(const TTranserCommandInfo& command) {
  std::scoped_lock lock(tasks_.Mutex());
  const std::span<const uint8_t> payload(command.Data);
  switch (command.CommandType) {
    case tcNewTask: {
      TNewTaskPayload announcement = ParseNewTaskPayload(payload);
      if (announcement.bufferType > btAutoStream) {
        // A buffer type this side cannot receive: refused without a record.
        WriteLog("Task " + CutAtZero(announcement.name) + " refused: buffer type " +
                 std::to_string(announcement.bufferType));
        connection_.QueueTaskCommand(tcDenyTask,
                                     BuildDenyTaskPayload({announcement.uid, trDenied}));
        break;
      }
      TTranserTask& task = tasks_.Add(kTaskReceiving, CutAtZero(announcement.name), nullptr);
      task.UID = announcement.uid;
      task.Size = announcement.size;
      task.BufferType = announcement.bufferType;
      task.InitialInfo = std::move(announcement.info);
      const int64_t uid = task.UID;
      connection_.NotifyTask(task, tkArrived);
      if (announcement.bufferType == btAutoStream) {
        TTranserTask* arrived = tasks_.FindUID(uid, kTaskReceiving);
        if (arrived == nullptr) break;
        if (arrived->Stream != nullptr && arrived->State != tsFinished) {
          arrived->Position = arrived->Stream->Position();
          arrived->RefTick = clock_->Now();
          arrived->State = tsTransferring;
        } else if (arrived->State != tsFinished) {
          AbortRecord(*arrived);
        }
      }
      break;
    }
    case tcAcceptTask: {
      const TAcceptTaskPayload accept = ParseAcceptTaskPayload(payload);
      if (accept.position < 0) {
        throw ETranserPacketCrashError::Malformed(
            tcAcceptTask, "Position " + std::to_string(accept.position) + " is negative");
      }
      TTranserTask* task = tasks_.FindUID(accept.uid, kTaskSending);
      if (task == nullptr || task->State != tsAnnounced) break;
      task->Position = accept.position;
      if (task->BufferType == btStream && task->Stream != nullptr) {
        task->Stream->SetPosition(accept.position);
      }
      task->RefPosition = task->Position;
      task->RefTick = clock_->Now();
      task->State = tsTransferring;
      break;
    }
    case tcDenyTask: {
      const TDenyTaskPayload deny = ParseDenyTaskPayload(payload);
      TTranserTask* task = tasks_.FindUID(deny.uid, kTaskSending);
      if (task == nullptr || task->State == tsFinished) break;
      Finish(*task, deny.code);
      break;
    }
    case tcTaskData:
      ReceiveChunk(payload);
      break;
    case tcAbortTask: {
      TTranserTask* task = tasks_.FindUID(ParseUidPayload(tcAbortTask, payload));
      if (task == nullptr || task->State == tsFinished) break;
      Finish(*task, trAborted);
      break;
    }
    case tcSuspendTask: {
      TTranserTask* task = tasks_.FindUID(ParseUidPayload(tcSuspendTask, payload));
      if (task == nullptr || task->State != tsTransferring) break;
      task->State = tsSuspended;
      connection_.NotifyTask(*task, tkSuspended);
      break;
    }
    case tcResumeTask: {
      TTranserTask* task = tasks_.FindUID(ParseUidPayload(tcResumeTask, payload));
      if (task == nullptr || task->State != tsSuspended) break;
      task->State = tsTransferring;
      task->RefTick = clock_->Now();
      connection_.NotifyTask(*task, tkResumed);
      break;
    }
    default:
      throw ETranserPacketCrashError::ForType(command.CommandType);
  }
}

void TTaskEngine::ReceiveChunk(std::span<const uint8_t> payload) {
  const TTaskDataView chunk = ParseTaskDataPayload(payload);
  TTranserTask* task = tasks_.FindUID(chunk.header.uid, kTaskReceiving);
  // Chunks still in flight are taken while suspended; in other states dropped.
  if (task == nullptr || (task->State != tsTransferring && task->State != tsSuspended)) return;

  const bool hasData = chunk.header.codedLen > 0;
  std::span<const uint8_t> plain;
  if (hasData) {
    const uint8_t packetType = chunk.header.packetType;
    if (packetType == ptCompressed || packetType == ptEncrypted) {
      Coder().Decode(packetType, chunk.coded, chunk.header.plainLen, decoded_);
      plain = decoded_;
    } else {
      plain = chunk.coded;
    }
  }
  const auto n = static_cast<int64_t>(plain.size());

  if (task->BufferType == btProc) {
    if (hasData) {
      // The chunk is readable from Stream during tkProgress; the stream the
      // acceptor gave (if any) is put back afterwards.
      TMemoryStream chunkStream(std::vector<uint8_t>(plain.begin(), plain.end()));
      TStream* given = task->Stream;
      task->Stream = &chunkStream;
      task->Position += n;
      try {
        Progress(*task);
      } catch (...) {
        task->Stream = given;
        throw;
      }
      task->Stream = given;
    }
    if (!hasData) Finish(*task, trCompleted);
    return;
  }

  if (hasData) {
    // The announced size bounds what a peer may make us store.
    if (n > task->Size - task->Position) {
      throw ETranserPacketCrashError::Malformed(
          tcTaskData, "chunk of " + std::to_string(n) + " bytes at position " +
                          std::to_string(task->Position) + " outside task size " +
                          std::to_string(task->Size));
    }
    if (task->Stream != nullptr) {
      task->Stream->Seek(0, TSeekOrigin::End);
      task->Stream->Write(plain.data(), n);
      task->Position = task->Stream->Size();
    } else {
      task->Position += n;  // accepted without a destination: counted, not kept
    }
    Progress(*task);
  }
  if (task->Position == task->Size && task->State != tsFinished) {
    if (task->Stream != nullptr) task->Stream->SetPosition(0);
    Finish(*task, trCompleted);
  }
}

void TTaskEngine::Progress(TTranserTask& task) {
  const uint32_t now = clock_->Now();
  const uint32_t elapsed = TicksSince(now, task.RefTick);
  if (task.BufferType == btProc) {
    // The average since RefTick; ElapsedTime is that whole time (not a sum of
    // overlapping intervals).
    task.ElapsedTime = static_cast<int32_t>(elapsed);
    task.Speed = elapsed == 0 ? 0 : ClampToInt32(RoundHalfEven(task.Position * 1000, elapsed));
  } else {
    if (elapsed <= 1000 && task.Position != task.Size) return;
    task.ElapsedTime = static_cast<int32_t>(static_cast<uint32_t>(task.ElapsedTime) + elapsed);
    task.Speed =
        elapsed == 0
            ? 0
            : ClampToInt32(RoundHalfEven((task.Position - task.RefPosition) * 1000, elapsed));
    task.RefPosition = task.Position;
    task.RefTick = now;
  }
  connection_.NotifyTask(task, tkProgress);
}

void TTaskEngine::Finish(TTranserTask& task, int32_t result) {
  task.Result = result;
  task.State = tsFinished;
}

void TTaskEngine::AbortAll() {
  std::scoped_lock lock(tasks_.Mutex());
  for (int i = tasks_.Count() - 1; i >= 0; --i) {
    if (i >= tasks_.Count()) continue;
    AbortRecord(tasks_.Get(i));
  }
}

}  // namespace tarnix
