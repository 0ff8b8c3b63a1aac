#pragma once
// MD5 (RFC 1321) through OpenSSL, with a reusable context so that hashing every
// frame does not allocate.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "transport/wire/WireFormat.h"

namespace tarnix {

class TMd5 {
 public:
  TMd5();
  ~TMd5();
  TMd5(const TMd5&) = delete;
  TMd5& operator=(const TMd5&) = delete;

  void Begin();
  void Update(const void* data, std::size_t size);
  TDigest Finish();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// One-shot digest of a byte string.
TDigest Md5Of(std::span<const uint8_t> data);
// Lowercase hexadecimal text of a digest (32 characters).
std::string DigestToHex(const TDigest& digest);

}  // namespace tarnix
