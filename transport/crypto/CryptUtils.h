#pragma once
// Block-cipher modes over a TCipher: TCrypt (the abstract wrapper with
// padding) and TCryptCBC (cipher-block chaining), plus the Blowfish-CBC
// helpers every user of the library in this system calls.
//
// Every Encrypt and Decrypt restarts from the IV, so each call is coded on
// its own. A wrapper is not shared between threads; build one per call (the
// helpers below do).
//
// Errors: ECryptError ("Crypt Error") for padding that cannot be removed,
// EAssertionFailed naming "CryptUtils" for lengths that are not whole blocks
// where whole blocks are required (see CryptErrors.h).
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "transport/crypto/Cipher.h"
#include "transport/crypto/CryptErrors.h"

namespace tarnix {

// The initialisation vector shared by packet payloads and the configuration
// file; the same on every installation so that copies interoperate.
inline constexpr uint8_t kFixedIV[8] = {0x3A, 0x9C, 0x0E, 0x57, 0xD2, 0x68, 0xB1, 0xF4};
inline constexpr int kFixedIVLen = 8;

// Padding modes. Adding fills the last, partial block (k = BlockSize - Len,
// 1..BlockSize, so a whole block is added when the data ends on a boundary);
// removing counts the pad bytes in the last decrypted block.
inline constexpr uint8_t kPaddingCount = 0;     // k bytes of value k (PKCS #7)
inline constexpr uint8_t kPaddingOneZeros = 1;  // 80 hex, then zeros
inline constexpr uint8_t kPaddingZeros = 2;     // zeros; removes every trailing zero
inline constexpr uint8_t kPaddingSpaces = 3;    // 20 hex; removes every trailing space
inline constexpr uint8_t kPaddingNone = 4;      // data must be whole blocks

class TCrypt {
 public:
  // Calls cipher->Init(key, keyLen), copies min(BlockSize, ivLen) bytes of iv
  // (the rest stays zero; iv may be null when ivLen is 0). The wrapper owns
  // the cipher and destroys it with itself.
  TCrypt(const uint8_t* key, int keyLen, std::unique_ptr<TCipher> cipher, const uint8_t* iv, int ivLen,
         uint8_t padding);
  TCrypt(std::string_view key, std::unique_ptr<TCipher> cipher, const uint8_t* iv, int ivLen, uint8_t padding);
  // Same, for a cipher the caller keeps owning (it must outlive the wrapper).
  TCrypt(std::string_view key, TCipher& cipher, const uint8_t* iv, int ivLen, uint8_t padding);
  virtual ~TCrypt();
  TCrypt(const TCrypt&) = delete;
  TCrypt& operator=(const TCrypt&) = delete;

  int BlockSize() const;
  uint8_t Padding() const { return padding_; }
  bool OwnsCipher() const { return owned_ != nullptr; }
  TCipher& Cipher() const { return *cipher_; }

  // n for kPaddingNone, otherwise the next whole block above n (always > n).
  int OutputSize(int n) const;
  // Encrypts n bytes of src into dst, which must hold OutputSize(n) bytes;
  // returns OutputSize(n). src and dst may be the same buffer.
  int Encrypt(const uint8_t* src, uint8_t* dst, int n);
  // Decrypts n bytes (whole blocks) of src into dst, which must hold n bytes;
  // returns the plain length, 0..n. src and dst may be the same buffer.
  int Decrypt(const uint8_t* src, uint8_t* dst, int n);

 protected:
  // One block with the mode's chaining; in and out may be equal.
  virtual void EncryptChained(const uint8_t* in, uint8_t* out) = 0;
  virtual void DecryptChained(const uint8_t* in, uint8_t* out) = 0;
  // Reset the chain to the IV.
  virtual void BeginEncrypt();
  virtual void BeginDecrypt();
  // Adding: fills buf[len..BlockSize) and returns the count added.
  // Removing: len is BlockSize; returns the pad count, 0..BlockSize, or
  // raises ECryptError when the block holds no valid padding.
  virtual int Pad(uint8_t* buf, int len, bool adding);

  std::vector<uint8_t> iv_;
  std::vector<uint8_t> chain_;
  std::vector<uint8_t> temp_;

 private:
  void Setup(const uint8_t* key, int keyLen, const uint8_t* iv, int ivLen, uint8_t padding);

  std::unique_ptr<TCipher> owned_;  // null when the caller owns the cipher
  TCipher* cipher_;
  uint8_t padding_ = kPaddingCount;
};

class TCryptCBC final : public TCrypt {
 public:
  using TCrypt::TCrypt;

 protected:
  void EncryptChained(const uint8_t* in, uint8_t* out) override;
  void DecryptChained(const uint8_t* in, uint8_t* out) override;
};

// Blowfish-CBC with the fixed IV and count padding (mode 0), built fresh for
// the call: the coding of encrypted packet payloads and of the configuration
// file. Decrypt raises EAssertionFailed for a length that is not a multiple
// of 8 and ECryptError for a pad count of 0 or more than 8 (wrong key or
// damaged data), and for an empty input.
std::string BlowfishCbcEncrypt(std::string_view plain, std::string_view key);
std::string BlowfishCbcDecrypt(std::string_view cipher, std::string_view key);

}  // namespace tarnix
