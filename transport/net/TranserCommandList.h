#pragma once
// TTranserCommandInfo is one command record (a frame without its marker);
// TTranserCommandList a thread-safe list of them in insertion order, which numbers
// the commands it adds. Records are immutable once listed and shared by pointer,
// so the connection thread can write a frame without holding the list's lock
// while other threads queue more commands.
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "transport/wire/WireFormat.h"

namespace tarnix {

struct TTranserCommandInfo {
  uint32_t ID = 0;
  uint8_t CommandType = 0;    // 0 in ack and req frames
  std::vector<uint8_t> Data;  // the payload
  TDigest Digest{};           // as received; a sent frame's digest is computed when written

  int32_t DataLength() const { return static_cast<int32_t>(Data.size()); }
};

using TCommandPtr = std::shared_ptr<const TTranserCommandInfo>;

class TTranserCommandList {
 public:
  // Takes the next number and appends, under one lock: commands queued from
  // several threads get distinct numbers in list order.
  TCommandPtr AddCommand(uint8_t commandType, std::vector<uint8_t> data);
  // Appends a copy (or the record moved in); with assignID it gets the next
  // number, otherwise it keeps its own.
  TCommandPtr AddCopy(TTranserCommandInfo record, bool assignID);

  int IndexOfID(uint32_t id) const;  // -1 when absent
  std::optional<TTranserCommandInfo> GetCopy(int index) const;
  TCommandPtr FindID(uint32_t id) const;
  void Delete(int index);
  void Clear();
  int Count() const;
  // Removes entries from the front while their ID is at most id (unsigned).
  void DeleteUpTo(uint32_t id);
  // Takes the first entry out when its ID is id.
  TCommandPtr PopFrontIf(uint32_t id);
  // Number of entries from the one with this ID to the end (0 when absent).
  int CountFrom(uint32_t id) const;
  // Bytes of payload held.
  std::size_t DataBytes() const;
  uint32_t NextID() const;

 private:
  mutable std::mutex mutex_;
  std::deque<TCommandPtr> entries_;  // guarded by mutex_
  uint32_t nextID_ = 0;              // guarded by mutex_
  std::size_t dataBytes_ = 0;        // guarded by mutex_
};

}  // namespace tarnix
