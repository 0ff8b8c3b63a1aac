#include "transport/crypto/BlowFish.h"

#include <cstring>
#include <utility>

#include "transport/crypto/CryptErrors.h"

namespace tarnix {

namespace {

using blowfish_tables::kRounds;

// The word form is two native words in the block's memory; memcpy keeps it
// free of alignment and aliasing assumptions.
void ReadWords(const uint8_t* block, uint32_t& left, uint32_t& right) {
  std::memcpy(&left, block, 4);
  std::memcpy(&right, block + 4, 4);
}

void WriteWords(uint8_t* block, uint32_t left, uint32_t right) {
  std::memcpy(block, &left, 4);
  std::memcpy(block + 4, &right, 4);
}

uint32_t ReadBigEndian(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

void WriteBigEndian(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}

}  // namespace

TBlowFish::TBlowFish() {
  std::memcpy(p_, blowfish_tables::kInitialP, sizeof(p_));
  std::memcpy(s_, blowfish_tables::kInitialS, sizeof(s_));
}

std::string TBlowFish::CipherName() const { return "BlowFish"; }

int TBlowFish::BlockSize() const { return 8; }

void TBlowFish::Init(const uint8_t* key, int keyLen) {
  if (key == nullptr || keyLen <= 0) {
    throw EAssertionFailed("BlowFish", "key length " + std::to_string(keyLen) + " (at least 1 byte needed)");
  }
  std::memcpy(p_, blowfish_tables::kInitialP, sizeof(p_));
  std::memcpy(s_, blowfish_tables::kInitialS, sizeof(s_));
  int k = 0;
  for (uint32_t& p : p_) {
    uint32_t word = 0;
    for (int b = 0; b < 4; ++b) {
      word = (word << 8) | key[k];
      k = (k + 1) % keyLen;
    }
    p ^= word;
  }
  uint32_t left = 0;
  uint32_t right = 0;
  for (int i = 0; i < kRounds + 2; i += 2) {
    EncryptWords(left, right);
    p_[i] = left;
    p_[i + 1] = right;
  }
  for (auto& box : s_) {
    for (int i = 0; i < 256; i += 2) {
      EncryptWords(left, right);
      box[i] = left;
      box[i + 1] = right;
    }
  }
}

uint32_t TBlowFish::F(uint32_t x) const {
  return ((s_[0][x >> 24] + s_[1][(x >> 16) & 0xFF]) ^ s_[2][(x >> 8) & 0xFF]) + s_[3][x & 0xFF];
}

void TBlowFish::EncryptWords(uint32_t& left, uint32_t& right) const {
  uint32_t l = left;
  uint32_t r = right;
  for (int i = 0; i < kRounds; ++i) {
    l ^= p_[i];
    r ^= F(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= p_[kRounds];
  l ^= p_[kRounds + 1];
  left = l;
  right = r;
}

void TBlowFish::DecryptWords(uint32_t& left, uint32_t& right) const {
  uint32_t l = left;
  uint32_t r = right;
  for (int i = kRounds + 1; i > 1; --i) {
    l ^= p_[i];
    r ^= F(l);
    std::swap(l, r);
  }
  std::swap(l, r);
  r ^= p_[1];
  l ^= p_[0];
  left = l;
  right = r;
}

void TBlowFish::EncryptBlock(const uint8_t* in, uint8_t* out) {
  uint32_t left;
  uint32_t right;
  ReadWords(in, left, right);
  EncryptWords(left, right);
  WriteWords(out, left, right);
}

void TBlowFish::DecryptBlock(const uint8_t* in, uint8_t* out) {
  uint32_t left;
  uint32_t right;
  ReadWords(in, left, right);
  DecryptWords(left, right);
  WriteWords(out, left, right);
}

void TBlowFish::StoreBlock(const uint8_t* in, uint8_t* out) {
  uint32_t left;
  uint32_t right;
  ReadWords(in, left, right);
  WriteBigEndian(out, left);
  WriteBigEndian(out + 4, right);
}

void TBlowFish::LoadBlock(const uint8_t* in, uint8_t* out) {
  const uint32_t left = ReadBigEndian(in);
  const uint32_t right = ReadBigEndian(in + 4);
  WriteWords(out, left, right);
}

}  // namespace tarnix
