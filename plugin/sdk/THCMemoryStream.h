#pragma once
// tarnix::THCMemoryStream: an IHCStream over a growable block of memory, used by
// the plugin framework to receive internal messages and by plugins to send
// small payloads. Writes beyond the capacity limit are cut short (the transfer
// then fails) so a peer cannot make it grow without bound.
#include <cstdint>
#include <mutex>
#include <span>
#include <vector>

#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCObject.h"

namespace tarnix {

class THCMemoryStream final : public THCObject<IHCStream> {
 public:
  static constexpr uint64_t kDefaultLimit = 64ull * 1024 * 1024;

  // A new, empty stream (one reference, the caller's).
  static HCPtr<IHCStream> Create(uint64_t limit = kDefaultLimit);
  // A new stream holding a copy of `bytes`, positioned at 0.
  static HCPtr<IHCStream> CreateWith(std::span<const uint8_t> bytes,
                                     uint64_t limit = kDefaultLimit);

  uint32_t HCCALL Read(void* buffer, uint32_t size) override;
  uint32_t HCCALL Write(const void* buffer, uint32_t size) override;
  int64_t HCCALL Seek(int64_t offset, int32_t origin) override;
  intptr_t HCCALL handle() override;

 private:
  explicit THCMemoryStream(uint64_t limit) : limit_(limit) {}
  ~THCMemoryStream() override = default;

  const uint64_t limit_;
  std::mutex mutex_;
  std::vector<uint8_t> data_;  // guarded by mutex_
  uint64_t position_ = 0;      // guarded by mutex_; may lie beyond the end after a Seek
};

// Reads exactly `size` bytes from the stream's current position; false when it
// ends first.
bool ReadFully(IHCStream& stream, void* buffer, uint32_t size);

}  // namespace tarnix
