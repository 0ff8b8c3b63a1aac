#include "transport/coding/PayloadCoding.h"

#include <zlib.h>

#include <cstring>
#include <string>

#include "transport/crypto/BlowFish.h"
#include "transport/crypto/CryptUtils.h"
#include "transport/wire/TranserErrors.h"
#include "transport/wire/WireFormat.h"

namespace tarnix {
namespace {

constexpr int kCompressionLevel = 1;

void CheckPlainLen(int plainLen) {
  if (plainLen < 0 || plainLen > kMaxBufferSize) {
    throw ETranserPacketCrashError::Malformed(
        tcTaskData, "PlainLen " + std::to_string(plainLen) + " outside 0.." +
                        std::to_string(kMaxBufferSize) + " for an inflate");
  }
}

// Deflates plain completely into out[offset...] with an initialised stream.
int DeflateInto(z_stream& zs, std::span<const uint8_t> plain, std::vector<uint8_t>& out,
                std::size_t offset) {
  const uLong bound = deflateBound(&zs, static_cast<uLong>(plain.size()));
  out.resize(offset + bound);
  zs.next_in = const_cast<Bytef*>(plain.data());
  zs.avail_in = static_cast<uInt>(plain.size());
  zs.next_out = out.data() + offset;
  zs.avail_out = static_cast<uInt>(bound);
  if (deflate(&zs, Z_FINISH) != Z_STREAM_END) throw ECompressionError();
  const auto coded = static_cast<std::size_t>(zs.total_out);
  out.resize(offset + coded);
  return static_cast<int>(coded);
}

// Inflates into a zero-filled out of exactly plainLen bytes.
void InflateInto(z_stream& zs, std::span<const uint8_t> coded, int plainLen,
                 std::vector<uint8_t>& out) {
  out.assign(static_cast<std::size_t>(plainLen), 0);
  zs.next_in = const_cast<Bytef*>(coded.data());
  zs.avail_in = static_cast<uInt>(coded.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  while (zs.avail_out > 0) {
    const int rc = inflate(&zs, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) break;
    if (rc == Z_BUF_ERROR) break;  // input used up: the rest stays zero
    if (rc != Z_OK) throw ECompressionError();
    if (zs.avail_in == 0) break;
  }
}

struct TDeflate {
  z_stream zs{};
  TDeflate() {
    if (deflateInit(&zs, kCompressionLevel) != Z_OK) throw ECompressionError();
  }
  ~TDeflate() { deflateEnd(&zs); }
  TDeflate(const TDeflate&) = delete;
  TDeflate& operator=(const TDeflate&) = delete;
};

struct TInflate {
  z_stream zs{};
  TInflate() {
    if (inflateInit(&zs) != Z_OK) throw ECompressionError();
  }
  ~TInflate() { inflateEnd(&zs); }
  TInflate(const TInflate&) = delete;
  TInflate& operator=(const TInflate&) = delete;
};

std::string_view AsText(const std::vector<uint8_t>& buf, int len) {
  return {reinterpret_cast<const char*>(buf.data()), static_cast<std::size_t>(len)};
}

}  // namespace

int CompressPayload(std::vector<uint8_t>& buf, int len) {
  TDeflate deflater;
  std::vector<uint8_t> out;
  const int coded =
      DeflateInto(deflater.zs, std::span(buf.data(), static_cast<std::size_t>(len)), out, 0);
  buf = std::move(out);
  return coded;
}

int DecompressPayload(std::vector<uint8_t>& buf, int codedLen, int plainLen) {
  CheckPlainLen(plainLen);
  TInflate inflater;
  std::vector<uint8_t> out;
  InflateInto(inflater.zs, std::span(buf.data(), static_cast<std::size_t>(codedLen)), plainLen,
              out);
  buf = std::move(out);
  return plainLen;
}

int EncryptPayload(std::vector<uint8_t>& buf, int len, std::string_view key) {
  const std::string coded = BlowfishCbcEncrypt(AsText(buf, len), key);
  buf.assign(coded.begin(), coded.end());
  return static_cast<int>(coded.size());
}

int DecryptPayload(std::vector<uint8_t>& buf, int codedLen, std::string_view key) {
  const std::string plain = BlowfishCbcDecrypt(AsText(buf, codedLen), key);
  buf.assign(plain.begin(), plain.end());
  return static_cast<int>(plain.size());
}

struct TPayloadCoder::Streams {
  TDeflate deflater;
  TInflate inflater;
  // The packet key's schedule is built once; every Encrypt/Decrypt still starts
  // from the vector.
  TCryptCBC crypt{kPacketKey, std::make_unique<TBlowFish>(), kFixedIV, kFixedIVLen, kPaddingCount};
};

TPayloadCoder::TPayloadCoder() : streams_(std::make_unique<Streams>()) {}
TPayloadCoder::~TPayloadCoder() = default;

int TPayloadCoder::MaxCodedSize(uint8_t packetType, int plainLen) const {
  switch (packetType) {
    case ptCompressed:
      return static_cast<int>(deflateBound(&streams_->deflater.zs, static_cast<uLong>(plainLen)));
    case ptEncrypted:
      return streams_->crypt.OutputSize(plainLen);
    default:
      return plainLen;
  }
}

int TPayloadCoder::Encode(uint8_t packetType, std::span<const uint8_t> plain,
                          std::vector<uint8_t>& out, std::size_t offset) {
  const int len = static_cast<int>(plain.size());
  switch (packetType) {
    case ptCompressed: {
      z_stream& zs = streams_->deflater.zs;
      if (deflateReset(&zs) != Z_OK) throw ECompressionError();
      return DeflateInto(zs, plain, out, offset);
    }
    case ptEncrypted: {
      const int coded = streams_->crypt.OutputSize(len);
      out.resize(offset + static_cast<std::size_t>(coded));
      return streams_->crypt.Encrypt(plain.data(), out.data() + offset, len);
    }
    default:
      out.resize(offset + plain.size());
      if (!plain.empty()) std::memcpy(out.data() + offset, plain.data(), plain.size());
      return len;
  }
}

int TPayloadCoder::Decode(uint8_t packetType, std::span<const uint8_t> coded, int plainLen,
                          std::vector<uint8_t>& out) {
  switch (packetType) {
    case ptCompressed: {
      CheckPlainLen(plainLen);
      z_stream& zs = streams_->inflater.zs;
      if (inflateReset(&zs) != Z_OK) throw ECompressionError();
      InflateInto(zs, coded, plainLen, out);
      return plainLen;
    }
    case ptEncrypted: {
      if (coded.empty()) throw ECryptError();  // not even the padding block
      out.resize(coded.size());
      const int plain =
          streams_->crypt.Decrypt(coded.data(), out.data(), static_cast<int>(coded.size()));
      out.resize(static_cast<std::size_t>(plain));
      return plain;
    }
    default:
      out.assign(coded.begin(), coded.end());
      return static_cast<int>(coded.size());
  }
}

}  // namespace tarnix
