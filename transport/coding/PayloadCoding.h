#pragma once
// Coding of task chunks by packet type: as is (ptNormal), a zlib stream at level 1
// (ptCompressed), or Blowfish-CBC from the fixed vector with count padding under
// the packet key (ptEncrypted). Every chunk is coded on its own: its own complete
// zlib stream, its own CBC run from the vector.
//
// The four payload routines replace the caller's buffer with the result only on
// success and keep no shared state (any thread may call them). TPayloadCoder does
// the same coding for one connection's thread, reusing its zlib streams (through
// deflateReset/inflateReset) and the packet key's Blowfish schedule; the bytes it
// produces are the same.
//
// Errors: ECompressionError ("error") from zlib; the cipher library's
// EAssertionFailed / ECryptError for coded lengths that are not whole blocks or
// carry no valid padding; ETranserPacketCrashError for a PlainLen outside
// 0..kMaxBufferSize given to an inflate.
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

namespace tarnix {

int CompressPayload(std::vector<uint8_t>& buf, int len);
// Inflates exactly plainLen bytes; if the stream ends early the rest is zero.
int DecompressPayload(std::vector<uint8_t>& buf, int codedLen, int plainLen);
int EncryptPayload(std::vector<uint8_t>& buf, int len, std::string_view key);
int DecryptPayload(std::vector<uint8_t>& buf, int codedLen, std::string_view key);

class TPayloadCoder {
 public:
  TPayloadCoder();
  ~TPayloadCoder();
  TPayloadCoder(const TPayloadCoder&) = delete;
  TPayloadCoder& operator=(const TPayloadCoder&) = delete;

  // Largest coded size of a chunk of plainLen bytes under packetType.
  int MaxCodedSize(uint8_t packetType, int plainLen) const;
  // Codes plain by packetType into out[offset...], resizing out to offset + the
  // coded length; returns the coded length. Types other than ptCompressed and
  // ptEncrypted copy the bytes as they are.
  int Encode(uint8_t packetType, std::span<const uint8_t> plain, std::vector<uint8_t>& out,
             std::size_t offset);
  // Decodes coded into out (resized to the plain length) and returns that length.
  // plainLen is used by ptCompressed (the exact output size) and ignored by
  // ptEncrypted.
  int Decode(uint8_t packetType, std::span<const uint8_t> coded, int plainLen,
             std::vector<uint8_t>& out);

 private:
  struct Streams;
  std::unique_ptr<Streams> streams_;
};

}  // namespace tarnix
