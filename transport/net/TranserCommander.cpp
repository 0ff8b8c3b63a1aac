#include "transport/net/TranserCommander.h"

#include <poll.h>

#include <cerrno>
#include <string>

#include "transport/wire/Frame.h"
#include "transport/wire/TranserErrors.h"

namespace tarnix {
namespace {

constexpr int kReadWaitMs = 60000;
constexpr int kWriteStallMs = 5000;
constexpr int kWaitSliceMs = 100;
constexpr std::size_t kReadChunk = 256 * 1024;
// Received commands held before the loop must hand them out: reading stops
// here for this pass (the peer cannot tell).
constexpr int kMaxHeldCommands = 64;
constexpr std::size_t kMaxHeldBytes = 4u << 20;

}  // namespace

TTranserCommander::TTranserCommander(std::function<void()> onQueued)
    : onQueued_(std::move(onQueued)) {}

uint32_t TTranserCommander::QueueCommand(uint8_t commandType, std::vector<uint8_t> data) {
  const uint32_t id = sendList_.AddCommand(commandType, std::move(data))->ID;
  if (onQueued_) onQueued_();
  return id;
}

uint32_t TTranserCommander::QueueCommand(uint8_t commandType, std::span<const uint8_t> data) {
  return QueueCommand(commandType, std::vector<uint8_t>(data.begin(), data.end()));
}

void TTranserCommander::Exchange() {
  while (SendNext()) {
  }
  while (receiveList_.Count() < kMaxHeldCommands && receiveList_.DataBytes() < kMaxHeldBytes &&
         ReceiveFrame()) {
  }
}

TCommandPtr TTranserCommander::NextReceived() {
  TCommandPtr next = receiveList_.PopFrontIf(nextDeliverID_);
  if (next) ++nextDeliverID_;
  return next;
}

int TTranserCommander::UnsentCount() const {
  return sendList_.CountFrom(nextSendID_);
}

bool TTranserCommander::SendNext() {
  if (socket_ == nullptr || !(socket_->Poll(POLLOUT, 0) & POLLOUT)) return false;
  const TCommandPtr record = sendList_.FindID(nextSendID_);
  if (!record) return false;
  SendFrame(TFrameKind::Cmd, record->ID, record->CommandType, record->Data);
  ++nextSendID_;
  return true;
}

void TTranserCommander::SendFrame(TFrameKind kind, uint32_t id, uint8_t type,
                                  std::span<const uint8_t> data) {
  const TFrameHeader header = BuildFrameHeader(kind, id, type, static_cast<int32_t>(data.size()));
  const TDigest digest = FrameDigest(md5_, id, type, data);
  iovec iov[3] = {
      {const_cast<uint8_t*>(header.data()), header.size()},
      {const_cast<uint8_t*>(data.data()), data.size()},
      {const_cast<uint8_t*>(digest.data()), digest.size()},
  };
  WriteAll(iov, 3);
}

void TTranserCommander::WriteAll(iovec* iov, int count) {
  if (socket_ == nullptr) throw ETranserSocketError("SendBuf Error - " + std::to_string(ENOTCONN));
  int first = 0;
  int stalledMs = 0;
  while (first < count) {
    if (iov[first].iov_len == 0) {
      ++first;
      continue;
    }
    int64_t n = socket_->SendSome(iov + first, count - first);
    if (n > 0) {
      stalledMs = 0;
      while (n > 0) {
        const auto take = static_cast<int64_t>(std::min<std::size_t>(iov[first].iov_len, n));
        iov[first].iov_base = static_cast<uint8_t*>(iov[first].iov_base) + take;
        iov[first].iov_len -= static_cast<std::size_t>(take);
        n -= take;
        if (iov[first].iov_len == 0) ++first;
      }
      continue;
    }
    // The socket is full: wait for room, reading meanwhile.
    if (!socket_->Connected() || stalledMs >= kWriteStallMs) {
      const int code = socket_->Connected() ? ETIMEDOUT : ENOTCONN;
      throw ETranserSocketError("SendBuf Error - " + std::to_string(code));
    }
    const bool canRead = !peerClosed_ && reader_.FreeSpace() > 0;
    const short revents = socket_->Poll(POLLOUT | (canRead ? POLLIN : 0), kWaitSliceMs);
    if (revents == 0) stalledMs += kWaitSliceMs;
    if (revents & POLLNVAL) throw ETranserSocketError("SendBuf Error - " + std::to_string(EBADF));
    if (canRead && (revents & (POLLIN | POLLHUP))) ReadAvailable();
  }
}

bool TTranserCommander::ReadAvailable() {
  if (socket_ == nullptr || peerClosed_ || reader_.FreeSpace() == 0) return false;
  const std::span<uint8_t> tail = reader_.WritableTail(kReadChunk);
  const int64_t n = socket_->ReceiveSome(tail);
  if (n > 0) {
    reader_.Commit(static_cast<std::size_t>(n));
    return true;
  }
  if (n == 0) peerClosed_ = true;
  return false;
}

void TTranserCommander::ReadBlocking() {
  for (;;) {
    if (peerClosed_) throw ETranserSocketError("ReceiveBuf Error - 0");
    if (!socket_->WaitForRead(kReadWaitMs)) {
      const int code = socket_->Connected() ? ETIMEDOUT : ENOTCONN;
      throw ETranserSocketError("ReceiveBuf Error - " + std::to_string(code));
    }
    if (ReadAvailable()) return;
  }
}

bool TTranserCommander::ReceiveFrame() {
  if (socket_ == nullptr) return false;
  TRawFrame frame;
  while (reader_.Next(frame) == TFrameReader::TResult::NeedMore) {
    // Nothing begun: only what is there now. A frame begun: wait for its rest.
    if (reader_.Buffered() == 0) {
      if (!ReadAvailable()) return false;
    } else if (!ReadAvailable()) {
      ReadBlocking();
    }
  }
  if (frame.kind == TFrameKind::Cmd) {
    if (!frame.digestMatches) {
      SendReq(nextReceiveID_);
      return false;
    }
    if (frame.id == nextReceiveID_) {
      TTranserCommandInfo record;
      record.ID = frame.id;
      record.CommandType = frame.type;
      record.Data = std::move(frame.data);
      record.Digest = frame.digest;
      receiveList_.AddCopy(std::move(record), false);
      SendAck(nextReceiveID_);
      ++nextReceiveID_;
    }
    return true;
  }
  if (!frame.digestMatches) return false;
  if (frame.kind == TFrameKind::Req) {
    // Only a number still kept can be written again; any other would leave the
    // sender with nothing to write from and stall the connection.
    if (sendList_.IndexOfID(frame.id) >= 0) nextSendID_ = frame.id;
    return true;
  }
  sendList_.DeleteUpTo(frame.id);
  return true;
}

}  // namespace tarnix
