#pragma once
// TTranserCommander runs the frame level of one connection: it numbers queued
// commands, writes them as cmd frames, reads frames, answers each in-order cmd
// frame with an ack and a damaged one with a req, resends from a req's number,
// forgets what an ack covers, and hands received commands out in order.
//
// Threads: QueueCommand may be called from any thread; everything else belongs
// to the connection thread. Socket errors raise ETranserSocketError and a frame
// length outside its bound ETranserPacketCrashError, out of Exchange.
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "transport/net/TranserCommandList.h"
#include "transport/net/TranserSocket.h"
#include "transport/wire/FrameReader.h"
#include "transport/wire/Md5.h"

namespace tarnix {

class TTranserCommander {
 public:
  // onQueued runs after every QueueCommand (on the queuing thread), so the
  // connection thread can end its wait.
  explicit TTranserCommander(std::function<void()> onQueued = {});

  // Not owned; set by the connection thread once its socket exists.
  void SetSocket(TTranserSocket* socket) { socket_ = socket; }

  // Any thread. Returns the command's sequence number.
  uint32_t QueueCommand(uint8_t commandType, std::vector<uint8_t> data);
  uint32_t QueueCommand(uint8_t commandType, std::span<const uint8_t> data);

  // Writes every command that may be written, then reads every frame waiting.
  void Exchange();
  // The next received command in sequence order, or null.
  TCommandPtr NextReceived();
  // Commands queued and not written yet.
  int UnsentCount() const;
  // Bytes read from the socket and not yet cut into frames.
  bool HasBufferedInput() const { return reader_.Buffered() > 0; }
  // True once a read met the peer's orderly close.
  bool PeerClosed() const { return peerClosed_; }

  TTranserCommandList& SendList() { return sendList_; }
  TTranserCommandList& ReceiveList() { return receiveList_; }
  uint32_t NextSendID() const { return nextSendID_; }
  uint32_t NextReceiveID() const { return nextReceiveID_; }
  uint32_t NextDeliverID() const { return nextDeliverID_; }
  std::size_t SkippedBytes() const { return reader_.SkippedBytes(); }

 private:
  bool SendNext();
  bool ReceiveFrame();
  void SendFrame(TFrameKind kind, uint32_t id, uint8_t type, std::span<const uint8_t> data);
  void SendAck(uint32_t id) { SendFrame(TFrameKind::Ack, id, 0, {}); }
  void SendReq(uint32_t id) { SendFrame(TFrameKind::Req, id, 0, {}); }
  // Writes all bytes, waiting up to 5 s per stall; reads what the peer sends
  // meanwhile so two peers writing at each other never block each other.
  void WriteAll(iovec* iov, int count);
  // Reads whatever the socket holds now; false when nothing came.
  bool ReadAvailable();
  // Reads at least one byte, waiting up to 60 s; raises on failure.
  void ReadBlocking();

  std::function<void()> onQueued_;
  TTranserSocket* socket_ = nullptr;
  TTranserCommandList sendList_;
  TTranserCommandList receiveList_;
  // Connection thread only:
  uint32_t nextSendID_ = 0;
  uint32_t nextReceiveID_ = 0;
  uint32_t nextDeliverID_ = 0;
  TFrameReader reader_;
  TMd5 md5_;
  bool peerClosed_ = false;
};

}  // namespace tarnix
