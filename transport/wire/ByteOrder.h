#pragma once
// Little-endian integer writing and bounds-checked reading for wire layouts.
// TByteReader never reads past the span it was given: a short read throws the
// error its owner chose (through the Fail callback) instead.
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

namespace tarnix {

inline void PutU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void PutI32(uint8_t* p, int32_t v) {
  PutU32(p, static_cast<uint32_t>(v));
}
inline void PutI64(uint8_t* p, int64_t v) {
  const auto u = static_cast<uint64_t>(v);
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(u >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline int32_t GetI32(const uint8_t* p) {
  return static_cast<int32_t>(GetU32(p));
}
inline int64_t GetI64(const uint8_t* p) {
  uint64_t u = 0;
  for (int i = 7; i >= 0; --i) u = (u << 8) | p[i];
  return static_cast<int64_t>(u);
}

// Appends little-endian fields to a byte vector.
class TByteWriter {
 public:
  explicit TByteWriter(std::vector<uint8_t>& out) : out_(out) {}
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    Grow(2, [&](uint8_t* p) { PutU16(p, v); });
  }
  void U32(uint32_t v) {
    Grow(4, [&](uint8_t* p) { PutU32(p, v); });
  }
  void I32(int32_t v) { U32(static_cast<uint32_t>(v)); }
  void I64(int64_t v) {
    Grow(8, [&](uint8_t* p) { PutI64(p, v); });
  }
  void Bytes(std::span<const uint8_t> bytes) {
    out_.insert(out_.end(), bytes.begin(), bytes.end());
  }
  void Bytes(std::string_view bytes) { out_.insert(out_.end(), bytes.begin(), bytes.end()); }

 private:
  template <typename F>
  void Grow(std::size_t n, F put) {
    out_.resize(out_.size() + n);
    put(out_.data() + out_.size() - n);
  }
  std::vector<uint8_t>& out_;
};

// Reads little-endian fields from a span; Fail(what, needed) must throw.
template <typename FailFn>
class TByteReader {
 public:
  TByteReader(std::span<const uint8_t> data, FailFn fail) : data_(data), fail_(fail) {}

  std::size_t Remaining() const { return data_.size() - pos_; }
  std::size_t Offset() const { return pos_; }

  uint8_t U8(const char* what) { return *Take(1, what); }
  uint16_t U16(const char* what) { return GetU16(Take(2, what)); }
  uint32_t U32(const char* what) { return GetU32(Take(4, what)); }
  int32_t I32(const char* what) { return GetI32(Take(4, what)); }
  int64_t I64(const char* what) { return GetI64(Take(8, what)); }
  std::span<const uint8_t> Bytes(std::size_t n, const char* what) {
    const uint8_t* p = Take(n, what);
    return {p, n};
  }

 private:
  const uint8_t* Take(std::size_t n, const char* what) {
    if (Remaining() < n) fail_(what, pos_ + n);
    const uint8_t* p = data_.data() + pos_;
    pos_ += n;
    return p;
  }
  std::span<const uint8_t> data_;
  std::size_t pos_ = 0;
  FailFn fail_;
};

}  // namespace tarnix
