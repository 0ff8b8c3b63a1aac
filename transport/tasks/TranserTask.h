#pragma once
// One transfer task (TTranserTask) and the codes around it: task states, task
// notifications, results, directions, and the creator's buffer routine of btProc
// tasks. The task list owns the record; its fields are read and written under
// the task list's lock.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "transport/tasks/TranserStream.h"
#include "transport/wire/WireFormat.h"

namespace tarnix {

enum TTranserTaskState : uint8_t {
  tsNew = 0,           // sender: not yet announced; receiver: announced, not answered
  tsAnnounced = 1,     // sender: waiting for the acceptance
  tsAccepted = 2,      // receiver: accepted locally, acceptance not yet sent
  tsTransferring = 3,  // data flows
  tsSuspended = 4,     // paused by either side
  tsFinished = 5,      // done; removed at the end of the current processing step
};

// OnTaskNotify codes.
enum TTranserTaskNotify : int {
  tkAnnounced = 0,  // sender: the announcement was queued
  tkArrived = 1,    // receiver: a new task; AcceptTask or DenyTask now or later
  tkFinished = 2,   // both: reached tsFinished and is being removed; Result says how
  tkProgress = 3,   // both: a progress sample; for receiving btProc the chunk is in Stream
  tkSuspended = 4,
  tkResumed = 5,
  tkFreed = 6,  // the record is about to be freed; release the Stream you gave
};

enum TTranserTaskResult : int32_t {
  trNone = -1,
  trCompleted = 300,
  trDenied = 302,
  trAborted = 303,
};

inline constexpr uint8_t kTaskSending = 0;
inline constexpr uint8_t kTaskReceiving = 1;

// The creator's data routine of a sending btProc task: fill at most capacity
// bytes and return how many; 0 ends the task.
using TBufferProc = std::function<int32_t(int64_t uid, uint8_t* buffer, int32_t capacity)>;

struct TTranserTask {
  int64_t UID = 0;
  std::string Name;
  std::vector<uint8_t> InitialInfo;
  int64_t Size = 0;
  int64_t Position = 0;
  uint8_t State = tsNew;
  TStream* Stream = nullptr;  // not owned
  uint8_t Direction = kTaskSending;
  uint8_t BufferType = btStream;
  uint8_t PacketType = ptDefault;
  uint8_t Reserved = 0;
  int32_t Result = trNone;
  uint32_t Tag = 0;
  TBufferProc BufferProc;
  int32_t ElapsedTime = 0;
  uint32_t RefTick = 0;
  int64_t RefPosition = 0;
  int32_t Speed = 0;

  int32_t InitialInfoSize() const { return static_cast<int32_t>(InitialInfo.size()); }
};

}  // namespace tarnix
