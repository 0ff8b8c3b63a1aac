#include "transport/crypto/CryptUtils.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "transport/crypto/BlowFish.h"

namespace tarnix {

namespace {

constexpr const char* kUnit = "CryptUtils";

}  // namespace

TCrypt::TCrypt(const uint8_t* key, int keyLen, std::unique_ptr<TCipher> cipher, const uint8_t* iv, int ivLen,
               uint8_t padding)
    : owned_(std::move(cipher)), cipher_(owned_.get()) {
  Setup(key, keyLen, iv, ivLen, padding);
}

TCrypt::TCrypt(std::string_view key, std::unique_ptr<TCipher> cipher, const uint8_t* iv, int ivLen,
               uint8_t padding)
    : owned_(std::move(cipher)), cipher_(owned_.get()) {
  Setup(reinterpret_cast<const uint8_t*>(key.data()), static_cast<int>(key.size()), iv, ivLen, padding);
}

TCrypt::TCrypt(std::string_view key, TCipher& cipher, const uint8_t* iv, int ivLen, uint8_t padding)
    : cipher_(&cipher) {
  Setup(reinterpret_cast<const uint8_t*>(key.data()), static_cast<int>(key.size()), iv, ivLen, padding);
}

TCrypt::~TCrypt() = default;

void TCrypt::Setup(const uint8_t* key, int keyLen, const uint8_t* iv, int ivLen, uint8_t padding) {
  if (cipher_ == nullptr) throw EAssertionFailed(kUnit, "no cipher");
  if (padding > kPaddingNone) throw EAssertionFailed(kUnit, "padding mode " + std::to_string(padding));
  cipher_->Init(key, keyLen);
  const int blockSize = cipher_->BlockSize();
  if (blockSize <= 0) throw EAssertionFailed(kUnit, "block size " + std::to_string(blockSize));
  iv_.assign(static_cast<size_t>(blockSize), 0);
  chain_.assign(static_cast<size_t>(blockSize), 0);
  temp_.assign(static_cast<size_t>(blockSize), 0);
  if (iv != nullptr && ivLen > 0) std::memcpy(iv_.data(), iv, static_cast<size_t>(std::min(blockSize, ivLen)));
  padding_ = padding;
}

int TCrypt::BlockSize() const { return cipher_->BlockSize(); }

int TCrypt::OutputSize(int n) const {
  if (padding_ == kPaddingNone) return n;
  const int bs = BlockSize();
  if (n < 0 || n > INT_MAX - bs) throw EAssertionFailed(kUnit, "length " + std::to_string(n));
  return (n + bs) / bs * bs;
}

void TCrypt::BeginEncrypt() { chain_ = iv_; }

void TCrypt::BeginDecrypt() { chain_ = iv_; }

int TCrypt::Encrypt(const uint8_t* src, uint8_t* dst, int n) {
  const int bs = BlockSize();
  if (n < 0) throw EAssertionFailed(kUnit, "length " + std::to_string(n));
  if (padding_ == kPaddingNone && n % bs != 0) {
    throw EAssertionFailed(kUnit, "length " + std::to_string(n) + " is not a multiple of " + std::to_string(bs));
  }
  const int outSize = OutputSize(n);
  BeginEncrypt();
  const int whole = n / bs * bs;
  for (int at = 0; at < whole; at += bs) EncryptChained(src + at, dst + at);
  if (padding_ != kPaddingNone) {
    const int rest = n - whole;
    if (rest > 0 && src + whole != dst + whole) std::memmove(dst + whole, src + whole, static_cast<size_t>(rest));
    Pad(dst + whole, rest, true);
    EncryptChained(dst + whole, dst + whole);
  }
  return outSize;
}

int TCrypt::Decrypt(const uint8_t* src, uint8_t* dst, int n) {
  const int bs = BlockSize();
  if (n < 0 || n % bs != 0) {
    throw EAssertionFailed(kUnit, "length " + std::to_string(n) + " is not a multiple of " + std::to_string(bs));
  }
  BeginDecrypt();
  for (int at = 0; at < n; at += bs) DecryptChained(src + at, dst + at);
  if (padding_ == kPaddingNone) return n;
  // Without a block there is no padding to remove; reading "the last block"
  // would run before dst.
  if (n == 0) throw ECryptError();
  return n - Pad(dst + n - bs, bs, false);
}

int TCrypt::Pad(uint8_t* buf, int len, bool adding) {
  const int bs = BlockSize();
  if (adding) {
    const int k = bs - len;
    switch (padding_) {
      case kPaddingCount:
        std::memset(buf + len, k, static_cast<size_t>(k));
        return k;
      case kPaddingOneZeros:
        buf[len] = 0x80;
        std::memset(buf + len + 1, 0, static_cast<size_t>(k - 1));
        return k;
      case kPaddingZeros:
        std::memset(buf + len, 0, static_cast<size_t>(k));
        return k;
      case kPaddingSpaces:
        std::memset(buf + len, 0x20, static_cast<size_t>(k));
        return k;
      default:
        return 0;
    }
  }
  switch (padding_) {
    case kPaddingCount: {
      // The count is unchecked data: a wrong key or a damaged block gives
      // 0 or more than a block, which must not turn into a bad length.
      const int count = buf[len - 1];
      if (count < 1 || count > len) throw ECryptError();
      return count;
    }
    case kPaddingOneZeros: {
      int i = len - 1;
      while (i >= 0 && buf[i] == 0) --i;
      if (i < 0 || buf[i] != 0x80) throw ECryptError();
      return len - i;
    }
    case kPaddingZeros:
    case kPaddingSpaces: {
      const uint8_t fill = padding_ == kPaddingZeros ? 0x00 : 0x20;
      int count = 0;
      while (count < len && buf[len - 1 - count] == fill) ++count;
      return count;
    }
    default:
      return 0;
  }
}

void TCryptCBC::EncryptChained(const uint8_t* in, uint8_t* out) {
  const size_t bs = chain_.size();
  for (size_t i = 0; i < bs; ++i) chain_[i] ^= in[i];
  Cipher().EncryptBytes(chain_.data(), chain_.data());
  std::memcpy(out, chain_.data(), bs);
}

void TCryptCBC::DecryptChained(const uint8_t* in, uint8_t* out) {
  const size_t bs = chain_.size();
  std::memcpy(temp_.data(), in, bs);
  Cipher().DecryptBytes(in, out);
  for (size_t i = 0; i < bs; ++i) out[i] ^= chain_[i];
  std::memcpy(chain_.data(), temp_.data(), bs);
}

std::string BlowfishCbcEncrypt(std::string_view plain, std::string_view key) {
  if (plain.size() > static_cast<size_t>(INT_MAX - 8)) {
    throw EAssertionFailed(kUnit, "length " + std::to_string(plain.size()));
  }
  TCryptCBC crypt(key, std::make_unique<TBlowFish>(), kFixedIV, kFixedIVLen, kPaddingCount);
  const int n = static_cast<int>(plain.size());
  std::string out(static_cast<size_t>(crypt.OutputSize(n)), '\0');
  crypt.Encrypt(reinterpret_cast<const uint8_t*>(plain.data()), reinterpret_cast<uint8_t*>(out.data()), n);
  return out;
}

std::string BlowfishCbcDecrypt(std::string_view cipher, std::string_view key) {
  if (cipher.size() > static_cast<size_t>(INT_MAX)) {
    throw EAssertionFailed(kUnit, "length " + std::to_string(cipher.size()));
  }
  TCryptCBC crypt(key, std::make_unique<TBlowFish>(), kFixedIV, kFixedIVLen, kPaddingCount);
  const int n = static_cast<int>(cipher.size());
  std::string out(cipher.size(), '\0');
  const int plainLen =
      crypt.Decrypt(reinterpret_cast<const uint8_t*>(cipher.data()), reinterpret_cast<uint8_t*>(out.data()), n);
  out.resize(static_cast<size_t>(plainLen));
  return out;
}

}  // namespace tarnix
