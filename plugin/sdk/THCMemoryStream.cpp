#include "plugin/sdk/THCMemoryStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace tarnix {

HCPtr<IHCStream> THCMemoryStream::Create(uint64_t limit) {
  return HCPtr<IHCStream>::Adopt(new THCMemoryStream(limit));
}

HCPtr<IHCStream> THCMemoryStream::CreateWith(std::span<const uint8_t> bytes, uint64_t limit) {
  auto* stream = new THCMemoryStream(limit);
  stream->data_.assign(bytes.begin(), bytes.end());
  return HCPtr<IHCStream>::Adopt(stream);
}

uint32_t THCMemoryStream::Read(void* buffer, uint32_t size) {
  std::scoped_lock lock(mutex_);
  if (buffer == nullptr || position_ >= data_.size()) return 0;
  const uint64_t count = std::min<uint64_t>(size, data_.size() - position_);
  std::memcpy(buffer, data_.data() + position_, count);
  position_ += count;
  return static_cast<uint32_t>(count);
}

uint32_t THCMemoryStream::Write(const void* buffer, uint32_t size) {
  std::scoped_lock lock(mutex_);
  if (buffer == nullptr || position_ >= limit_) return 0;
  const uint64_t count = std::min<uint64_t>(size, limit_ - position_);
  try {
    if (position_ + count > data_.size()) data_.resize(position_ + count);
  } catch (...) {
    return 0;
  }
  std::memcpy(data_.data() + position_, buffer, count);
  position_ += count;
  return static_cast<uint32_t>(count);
}

int64_t THCMemoryStream::Seek(int64_t offset, int32_t origin) {
  std::scoped_lock lock(mutex_);
  int64_t base = 0;
  if (origin == 1) {
    base = static_cast<int64_t>(position_);
  } else if (origin == 2) {
    base = static_cast<int64_t>(data_.size());
  } else if (origin != 0) {
    return static_cast<int64_t>(position_);
  }
  // A position before the start is clamped to 0, as a host stream does.
  int64_t target;
  if (offset < 0) {
    target = offset < -base ? 0 : base + offset;
  } else {
    target = offset > INT64_MAX - base ? INT64_MAX : base + offset;
  }
  position_ = static_cast<uint64_t>(target);
  return target;
}

intptr_t THCMemoryStream::handle() {
  return reinterpret_cast<intptr_t>(this);
}

bool ReadFully(IHCStream& stream, void* buffer, uint32_t size) {
  auto* out = static_cast<uint8_t*>(buffer);
  while (size > 0) {
    const uint32_t got = stream.Read(out, size);
    if (got == 0 || got > size) return false;
    out += got;
    size -= got;
  }
  return true;
}

}  // namespace tarnix
