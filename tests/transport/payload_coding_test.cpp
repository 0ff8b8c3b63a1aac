// Payload coding by packet type: the free routines and the per-connection coder
// produce the same bytes, and every chunk is coded on its own.
#include <gtest/gtest.h>
#include <zlib.h>

#include "transport/coding/PayloadCoding.h"
#include "transport/crypto/CryptErrors.h"
#include "transport/crypto/CryptUtils.h"
#include "transport/wire/TranserErrors.h"
#include "transport/wire/WireFormat.h"

namespace tarnix {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(std::size_t n) {
  Bytes out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return out;
}

TEST(PayloadCoding, EncryptedSizesAreWholeBlocksAboveTheChunk) {
  for (const auto& [plain, coded] : {std::pair{0, 8}, std::pair{8, 16}, std::pair{10, 16},
                                     std::pair{15, 16}, std::pair{16, 24}}) {
    SCOPED_TRACE(plain);
    Bytes buf = Pattern(static_cast<std::size_t>(plain));
    EXPECT_EQ(EncryptPayload(buf, plain, kPacketKey), coded);
    EXPECT_EQ(buf.size(), static_cast<std::size_t>(coded));
    EXPECT_EQ(DecryptPayload(buf, coded, kPacketKey), plain);
    EXPECT_EQ(buf, Pattern(static_cast<std::size_t>(plain)));
  }
}

TEST(PayloadCoding, EqualChunksEncryptToEqualBytes) {
  Bytes a = Pattern(100);
  Bytes b = Pattern(100);
  EncryptPayload(a, 100, kPacketKey);
  EncryptPayload(b, 100, kPacketKey);
  EXPECT_EQ(a, b);
}

TEST(PayloadCoding, CompressedChunkIsAZlibStreamThatInflatesToPlainLen) {
  const Bytes plain(32767, 'a');
  Bytes buf = plain;
  const int coded = CompressPayload(buf, 32767);
  ASSERT_LT(coded, 1000);
  EXPECT_EQ(buf[0] & 0x0f, 8);  // a zlib header (deflate), not raw deflate
  Bytes inflated(plain.size());
  uLongf size = inflated.size();
  ASSERT_EQ(uncompress(inflated.data(), &size, buf.data(), static_cast<uLong>(buf.size())), Z_OK);
  EXPECT_EQ(inflated, plain);
  EXPECT_EQ(DecompressPayload(buf, coded, 32767), 32767);
  EXPECT_EQ(buf, plain);
}

TEST(PayloadCoding, InflateThatEndsEarlyLeavesZeroBytes) {
  Bytes buf = Pattern(100);
  const int coded = CompressPayload(buf, 100);
  EXPECT_EQ(DecompressPayload(buf, coded, 150), 150);
  Bytes expected = Pattern(100);
  expected.resize(150, 0);
  EXPECT_EQ(buf, expected);
}

TEST(PayloadCoding, BadInputRaisesAndLeavesTheBufferAlone) {
  Bytes garbage = Pattern(40);
  EXPECT_THROW(DecompressPayload(garbage, 40, 100), ECompressionError);
  EXPECT_EQ(garbage, Pattern(40));
  Bytes small = Pattern(10);
  EXPECT_THROW(DecompressPayload(small, 10, kMaxBufferSize + 1), ETranserPacketCrashError);
  EXPECT_THROW(DecompressPayload(small, 10, -1), ETranserPacketCrashError);
  Bytes notBlocks = Pattern(12);
  EXPECT_THROW(DecryptPayload(notBlocks, 12, kPacketKey), EAssertionFailed);
  EXPECT_EQ(notBlocks, Pattern(12));
}

TEST(PayloadCoding, ConnectionCoderMatchesTheFreeRoutines) {
  TPayloadCoder coder;
  for (std::size_t n :
       {std::size_t{0}, std::size_t{1}, std::size_t{10}, std::size_t{32767}, std::size_t{131072}}) {
    SCOPED_TRACE(n);
    const Bytes plain = Pattern(n);
    // Encrypted: byte for byte the same, behind a header offset.
    Bytes viaRoutine = plain;
    EncryptPayload(viaRoutine, static_cast<int>(n), kPacketKey);
    Bytes viaCoder(3, 0xee);
    const int coded = coder.Encode(ptEncrypted, plain, viaCoder, 3);
    EXPECT_EQ(coded, static_cast<int>(viaRoutine.size()));
    EXPECT_EQ(Bytes(viaCoder.begin() + 3, viaCoder.end()), viaRoutine);
    EXPECT_EQ(Bytes(viaCoder.begin(), viaCoder.begin() + 3), Bytes(3, 0xee));
    Bytes decoded;
    EXPECT_EQ(coder.Decode(ptEncrypted, std::span(viaCoder).subspan(3), 0, decoded),
              static_cast<int>(n));
    EXPECT_EQ(decoded, plain);
    // Compressed: the reused stream gives the same bytes as a fresh one.
    Bytes fresh = plain;
    CompressPayload(fresh, static_cast<int>(n));
    Bytes reused;
    coder.Encode(ptCompressed, plain, reused, 0);
    EXPECT_EQ(reused, fresh);
    EXPECT_LE(static_cast<int>(reused.size()),
              coder.MaxCodedSize(ptCompressed, static_cast<int>(n)));
    EXPECT_LE(static_cast<int>(reused.size()), kMaxCodedChunkLength);
    EXPECT_EQ(coder.Decode(ptCompressed, reused, static_cast<int>(n), decoded),
              static_cast<int>(n));
    EXPECT_EQ(decoded, plain);
  }
}

TEST(PayloadCoding, CoderRecoversAfterAChunkThatDoesNotDecode) {
  TPayloadCoder coder;
  Bytes out;
  EXPECT_THROW(coder.Decode(ptCompressed, Pattern(30), 50, out), ECompressionError);
  EXPECT_THROW(coder.Decode(ptEncrypted, {}, 0, out), ECryptError);
  Bytes coded;
  coder.Encode(ptCompressed, Pattern(500), coded, 0);
  EXPECT_EQ(coder.Decode(ptCompressed, coded, 500, out), 500);
  EXPECT_EQ(out, Pattern(500));
}

}  // namespace
}  // namespace tarnix
