#pragma once
// THCPTranser: the plugin's view of one connection's transfer tasks
// (IHCPTranser). It holds the connection weakly: once the connection object is
// gone every method answers its failure value (HCPE_INTERNAL_ERROR and UID 0
// from NewTask, HCPE_FAILED from AcceptTask, HCPE_INVALID_ARG from the other
// task operations and GetTask, 0 from the counts and times) and Lock/Unlock do
// nothing.
//
// Plugin streams given to NewTask and AcceptTask are wrapped in a THCStream
// that holds the plugin's reference until the task is freed (THCStream.h).
// The count methods and GetTask take the task-list lock themselves; Lock and
// Unlock expose it. A Lock keeps the connection alive until its Unlock on the
// same thread, and an Unlock without a Lock of that thread is ignored, so a
// plugin cannot leave the lock in a destroyed connection or release a lock it
// does not hold. Lock and Unlock may come through different views of the same
// connection.
#include <memory>

#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCObject.h"

namespace tarnix {

class TTranserThread;

// The task name of the host's own messages between two programs; a plugin
// cannot create tasks of that name.
inline constexpr const char* kReservedTaskName = "internal";

class THCPTranser final : public THCObject<IHCPTranser> {
 public:
  // A new view over the connection (one reference, the caller's); null for none.
  static HCPtr<IHCPTranser> Create(const std::shared_ptr<TTranserThread>& connection);

  // A sending task named taskName: its data from stream (HCBT_STREAM,
  // HCBT_AUTOSTREAM) or from bufferProc (an HCBufferProc, HCBT_PROC), its
  // initial information the UTF-8 text and a NUL, the low bytes of packetType
  // and bufferType. taskUID (may be null) receives the new UID, or 0.
  HCRESULT HCCALL NewTask(HCBSTR taskName, IHCStream* stream, uint32_t tag, HCBSTR initialInfo,
                          int32_t packetType, int32_t bufferType, void* bufferProc,
                          int64_t* taskUID) override;
  // Accepts an incoming task in state 0 into dest (null: no stream, which
  // suits HCBT_PROC tasks whose chunks are read during progress).
  HCRESULT HCCALL AcceptTask(int64_t taskUID, IHCStream* dest, uint32_t tag) override;
  HCRESULT HCCALL DenyTask(int64_t taskUID) override;
  HCRESULT HCCALL AbortTask(int64_t taskUID) override;
  HCRESULT HCCALL SuspendTask(int64_t taskUID) override;
  HCRESULT HCCALL ResumeTask(int64_t taskUID) override;
  // With a null info the bytes the copy needs (sizeof(TTranserTaskInfo) + name
  // + NUL + initial information + NUL); otherwise the copy: the record with
  // TaskName and InitialInfo pointing at the texts written behind it in the
  // caller's buffer. Stream is borrowed (not to be released): the plugin's own
  // stream, valid until the task is freed; a host stream only while a
  // notification lends it; otherwise null.
  HCRESULT HCCALL GetTask(int64_t taskUID, void* info) override;
  int32_t HCCALL TaskCount() override;
  int32_t HCCALL GetSenderTasks() override;
  int32_t HCCALL GetReceiverTasks() override;
  void HCCALL Lock() override;
  void HCCALL Unlock() override;
  uint32_t HCCALL ConnectingTime() override;
  uint32_t HCCALL PingTime() override;

 private:
  explicit THCPTranser(const std::shared_ptr<TTranserThread>& connection)
      : connection_(connection) {}
  ~THCPTranser() override = default;

  int32_t CountTasks(int direction);  // -1: all

  const std::weak_ptr<TTranserThread> connection_;
};

}  // namespace tarnix
