#pragma once
// TFrameReader cuts frames out of a byte stream that arrives in pieces. Bytes in
// front of a marker are skipped one by one; a frame's data length is checked
// against its bound before any of the data is awaited, so a lying length never
// makes the reader allocate or wait for it. It never reads past what it holds.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "transport/wire/Md5.h"
#include "transport/wire/WireFormat.h"

namespace tarnix {

struct TRawFrame {
  TFrameKind kind = TFrameKind::Cmd;
  uint32_t id = 0;
  uint8_t type = 0;
  std::vector<uint8_t> data;
  TDigest digest{};
  bool digestMatches = false;
};

class TFrameReader {
 public:
  enum class TResult { Frame, NeedMore };

  // Bytes held beyond this are not read from the socket until frames drain.
  static constexpr std::size_t kMaxBuffered =
      2 * (kFrameOverhead + static_cast<std::size_t>(kMaxFrameDataLength)) + (1u << 20);

  // Room for at least minFree more bytes at the tail (capped by kMaxBuffered);
  // write into it, then Commit how many were written.
  std::span<uint8_t> WritableTail(std::size_t minFree);
  void Commit(std::size_t count);
  void Append(std::span<const uint8_t> bytes);

  // The next complete frame, or NeedMore. Throws ETranserPacketCrashError when
  // a frame's data length lies outside 0..kMaxFrameDataLength.
  TResult Next(TRawFrame& frame);

  std::size_t Buffered() const { return end_ - start_; }
  std::size_t FreeSpace() const { return kMaxBuffered - Buffered(); }
  std::size_t SkippedBytes() const { return skipped_; }

 private:
  void Compact();

  std::vector<uint8_t> buffer_;
  std::size_t start_ = 0;  // first unread byte
  std::size_t end_ = 0;    // one past the last byte held
  std::size_t skipped_ = 0;
  TMd5 md5_;
};

}  // namespace tarnix
