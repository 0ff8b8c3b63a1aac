#pragma once
// TTaskEngine runs the transfer tasks of one connection: the task operations
// any thread may call (NewTask, AcceptTask, DenyTask, AbortTask, SuspendTask,
// ResumeTask), the task pump the connection thread runs in each processing step
// (announce, send the acceptance, send one chunk per sending task), the handling
// of received task commands, and progress measurement. Every operation takes the
// task list's lock; notifications run under it.
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "transport/coding/PayloadCoding.h"
#include "transport/net/TranserCommandList.h"
#include "transport/tasks/TranserTaskList.h"
#include "transport/time/TickClock.h"

namespace tarnix {

// What the task engine needs of its connection (TTranserThread implements it).
class TTaskConnection {
 public:
  virtual uint8_t ConnectionState() const = 0;
  // The connection's chunk size and default packet type, read under its Lock.
  virtual int ChunkBufferSize() const = 0;
  virtual uint8_t DefaultPacketType() const = 0;
  virtual void QueueTaskCommand(uint8_t commandType, std::vector<uint8_t> payload) = 0;
  virtual void NotifyTask(TTranserTask& task, int code) = 0;
  // Something changed that the connection thread should look at soon.
  virtual void WakeConnection() = 0;

 protected:
  ~TTaskConnection() = default;
};

class TTaskEngine {
 public:
  TTaskEngine(TTaskConnection& connection, std::shared_ptr<const TTickClock> clock);

  TTranserTaskList& Tasks() { return tasks_; }

  // --- Operations (any thread) ---
  // A sending task, or null when the connection is not in csHandshake or
  // csEstablished, the buffer type is not 0..2, a stream type has no stream, or
  // the name or information exceeds what a peer accepts.
  TTranserTask* NewTask(std::string_view name, TStream* stream, uint32_t tag,
                        std::span<const uint8_t> initialInfo, uint8_t packetType,
                        uint8_t bufferType, TBufferProc bufferProc);
  bool AcceptTask(int64_t uid, TStream* dest, uint32_t tag);
  bool DenyTask(int32_t code, int64_t uid);
  bool AbortTask(int64_t uid);
  bool SuspendTask(int64_t uid);
  bool ResumeTask(int64_t uid);

  // --- Connection thread ---
  void Pump();
  // A task the pump would act on now (announce, accept or send a chunk).
  bool HasWorkToPump();
  // tcNewTask .. tcResumeTask. Malformed payloads raise ETranserPacketCrashError;
  // chunks that do not decode raise the coding errors.
  void HandleCommand(const TTranserCommandInfo& command);
  // At the end of a connection: every task aborted, from the last to the first.
  void AbortAll();
  void PurgeFinished() { tasks_.PurgeFinished(); }
  void Clear() { tasks_.Clear(); }

  // Calls the creator's routine of a sending btProc task; any failure gives 0.
  int32_t GetTaskBuffer(TTranserTask& task, uint8_t* buffer, int32_t capacity);

 private:
  void Announce(TTranserTask& task);
  void SendAcceptance(TTranserTask& task);
  void SendChunk(TTranserTask& task);
  void ReceiveChunk(std::span<const uint8_t> payload);
  void Progress(TTranserTask& task);
  void Finish(TTranserTask& task, int32_t result);
  void DenyRecord(TTranserTask& task, int32_t code);
  void AbortRecord(TTranserTask& task);
  bool Operable() const;
  TPayloadCoder& Coder();

  TTaskConnection& connection_;
  std::shared_ptr<const TTickClock> clock_;
  TTranserTaskList tasks_;
  // Connection thread only (used under the task list's lock):
  std::unique_ptr<TPayloadCoder> coder_;  // made at the first coded chunk
  std::vector<uint8_t> plain_;            // scratch for chunks to code
  std::vector<uint8_t> decoded_;          // scratch for decoded chunks
};

}  // namespace tarnix
