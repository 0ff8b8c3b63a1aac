#pragma once
// TStream: the seekable byte stream a transfer task reads from or writes to.
// The task never owns it: whoever gave it releases it at the task's tkFreed.
// The core adapts plugin streams to it; TMemoryStream keeps the bytes in memory.
#include <cstdint>
#include <vector>

namespace tarnix {

enum class TSeekOrigin : int { Beginning = 0, Current = 1, End = 2 };

class TStream {
 public:
  virtual ~TStream() = default;
  // Bytes actually read or written, which may be fewer than count.
  virtual int64_t Read(void* buffer, int64_t count) = 0;
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // Moves the position and returns the new one.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;
  virtual int64_t Size();

  int64_t Position() { return Seek(0, TSeekOrigin::Current); }
  void SetPosition(int64_t position) { Seek(position, TSeekOrigin::Beginning); }
};

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  explicit TMemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  // Positions below 0 become 0; positions past the end are allowed (a write
  // there fills the gap with zero bytes).
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return static_cast<int64_t>(data_.size()); }

  const std::vector<uint8_t>& Data() const { return data_; }

 private:
  std::vector<uint8_t> data_;
  int64_t position_ = 0;
};

}  // namespace tarnix
