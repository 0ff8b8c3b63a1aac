#include "transport/crypto/Cipher.h"

#include <cstring>

namespace tarnix {

void TCipher::Init(const uint8_t* /*key*/, int /*keyLen*/) {}

void TCipher::StoreBlock(const uint8_t* in, uint8_t* out) {
  if (in != out) std::memmove(out, in, static_cast<size_t>(BlockSize()));
}

void TCipher::LoadBlock(const uint8_t* in, uint8_t* out) {
  if (in != out) std::memmove(out, in, static_cast<size_t>(BlockSize()));
}

void TCipher::EncryptBytes(const uint8_t* in, uint8_t* out) {
  LoadBlock(in, out);
  EncryptBlock(out, out);
  StoreBlock(out, out);
}

void TCipher::DecryptBytes(const uint8_t* in, uint8_t* out) {
  LoadBlock(in, out);
  DecryptBlock(out, out);
  StoreBlock(out, out);
}

}  // namespace tarnix
