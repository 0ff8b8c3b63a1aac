#pragma once
// TCipher: the abstract block cipher of the cipher library.
//
// A block is handled in two forms: bytes, and the cipher's internal word form
// (for Blowfish, two native 32-bit words). Both forms occupy BlockSize() bytes
// of memory. Encrypting one block of bytes is LoadBlock, EncryptBlock,
// StoreBlock; EncryptBytes/DecryptBytes do exactly that. Every step may work
// in place (in == out).
//
// A cipher object holds its key schedule and nothing shared: build one per
// use, and any number of threads may each use their own.
#include <cstdint>
#include <string>

namespace tarnix {

class TCipher {
 public:
  TCipher() = default;
  virtual ~TCipher() = default;
  TCipher(const TCipher&) = delete;
  TCipher& operator=(const TCipher&) = delete;

  virtual std::string CipherName() const = 0;
  virtual int BlockSize() const = 0;
  // Key set-up; the base does nothing.
  virtual void Init(const uint8_t* key, int keyLen);
  // One block in the internal word form.
  virtual void EncryptBlock(const uint8_t* in, uint8_t* out) = 0;
  virtual void DecryptBlock(const uint8_t* in, uint8_t* out) = 0;
  // Word form to bytes and back; the base copies BlockSize() bytes.
  virtual void StoreBlock(const uint8_t* in, uint8_t* out);
  virtual void LoadBlock(const uint8_t* in, uint8_t* out);

  // One block of bytes, through the word form. in and out may be equal.
  void EncryptBytes(const uint8_t* in, uint8_t* out);
  void DecryptBytes(const uint8_t* in, uint8_t* out);
};

}  // namespace tarnix
