#include "transport/wire/FrameReader.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "transport/wire/ByteOrder.h"
#include "transport/wire/Frame.h"
#include "transport/wire/TranserErrors.h"

namespace tarnix {
namespace {

bool MatchMarker(const uint8_t* p, TFrameKind& kind) {
  if (std::memcmp(p, kCmdMarker.data(), kMarkerSize) == 0) {
    kind = TFrameKind::Cmd;
  } else if (std::memcmp(p, kAckMarker.data(), kMarkerSize) == 0) {
    kind = TFrameKind::Ack;
  } else if (std::memcmp(p, kReqMarker.data(), kMarkerSize) == 0) {
    kind = TFrameKind::Req;
  } else {
    return false;
  }
  return true;
}

}  // namespace

void TFrameReader::Compact() {
  if (start_ == 0) return;
  std::memmove(buffer_.data(), buffer_.data() + start_, end_ - start_);
  end_ -= start_;
  start_ = 0;
}

std::span<uint8_t> TFrameReader::WritableTail(std::size_t minFree) {
  minFree = std::min(minFree, FreeSpace());
  if (buffer_.size() - end_ < minFree) {
    Compact();
    if (buffer_.size() - end_ < minFree) buffer_.resize(end_ + minFree);
  }
  const std::size_t room = std::min(buffer_.size() - end_, FreeSpace());
  return {buffer_.data() + end_, room};
}

void TFrameReader::Commit(std::size_t count) {
  end_ += std::min(count, buffer_.size() - end_);
}

void TFrameReader::Append(std::span<const uint8_t> bytes) {
  while (!bytes.empty()) {
    std::span<uint8_t> tail = WritableTail(bytes.size());
    if (tail.empty()) return;  // over kMaxBuffered: the rest is dropped
    const std::size_t n = std::min(tail.size(), bytes.size());
    std::memcpy(tail.data(), bytes.data(), n);
    Commit(n);
    bytes = bytes.subspan(n);
  }
}

TFrameReader::TResult TFrameReader::Next(TRawFrame& frame) {
  // Marker search. Every marker begins with a zero byte, so jumping to the next
  // zero byte skips exactly the bytes the one-by-one search would drop.
  TFrameKind kind = TFrameKind::Cmd;
  for (;;) {
    if (Buffered() < kMarkerSize) return TResult::NeedMore;
    const uint8_t* p = buffer_.data() + start_;
    if (MatchMarker(p, kind)) break;
    const void* zero = std::memchr(p + 1, 0, Buffered() - 1);
    const std::size_t drop =
        zero ? static_cast<std::size_t>(static_cast<const uint8_t*>(zero) - p) : Buffered();
    start_ += drop;
    skipped_ += drop;
    if (start_ == end_) start_ = end_ = 0;
  }
  if (Buffered() < kFrameHeaderSize) return TResult::NeedMore;

  const uint8_t* head = buffer_.data() + start_;
  const uint32_t id = GetU32(head + kFrameIdOffset);
  const uint8_t type = head[kFrameTypeOffset];
  const int32_t length = GetI32(head + kFrameLengthOffset);
  if (length < 0 || length > kMaxFrameDataLength) {
    throw ETranserPacketCrashError::Malformed(type, "frame data length " + std::to_string(length) +
                                                        " outside 0.." +
                                                        std::to_string(kMaxFrameDataLength));
  }
  const std::size_t total = kFrameOverhead + static_cast<std::size_t>(length);
  if (Buffered() < total) {
    // Make room now so the socket can deliver the whole frame in few reads.
    if (buffer_.size() - start_ < total) {
      Compact();
      buffer_.resize(std::max(buffer_.size(), total));
    }
    return TResult::NeedMore;
  }

  const std::span<const uint8_t> data(head + kFrameDataOffset, static_cast<std::size_t>(length));
  frame.kind = kind;
  frame.id = id;
  frame.type = type;
  frame.data.assign(data.begin(), data.end());
  std::memcpy(frame.digest.data(), head + kFrameDataOffset + length, kDigestSize);
  frame.digestMatches = FrameDigest(md5_, id, type, data) == frame.digest;
  start_ += total;
  if (start_ == end_) start_ = end_ = 0;
  return TResult::Frame;
}

}  // namespace tarnix
