#pragma once
// A memory stream that takes at most a fixed number of bytes: the receiving
// stream of a host message, whose length is the peer's choice.
#include <cstdint>

#include "transport/tasks/TranserStream.h"

namespace tarnix {

class TBoundedMemoryStream final : public TMemoryStream {
 public:
  explicit TBoundedMemoryStream(int64_t capacity) : capacity_(capacity) {}

  // Writes nothing when the bytes would go past the capacity.
  int64_t Write(const void* buffer, int64_t count) override;
  bool Overflowed() const { return overflowed_; }

 private:
  const int64_t capacity_;
  bool overflowed_ = false;
};

}  // namespace tarnix
