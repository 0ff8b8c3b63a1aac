#pragma once
// TBlowFish: Blowfish (16 rounds, 64-bit block) behind TCipher.
//
// LoadBlock reads bytes 0-3 as the big-endian left half and bytes 4-7 as the
// big-endian right half, so a block of bytes encrypts as in the published
// Blowfish test vectors. Keys of any length from 1 byte are run cyclically
// over the P-array; Init with an empty key raises EAssertionFailed.
#include <cstdint>
#include <string>

#include "transport/crypto/BlowFishTables.h"
#include "transport/crypto/Cipher.h"

namespace tarnix {

class TBlowFish final : public TCipher {
 public:
  // The state before Init is the unkeyed pi table.
  TBlowFish();

  std::string CipherName() const override;  // "BlowFish"
  int BlockSize() const override;           // 8
  void Init(const uint8_t* key, int keyLen) override;
  void EncryptBlock(const uint8_t* in, uint8_t* out) override;
  void DecryptBlock(const uint8_t* in, uint8_t* out) override;
  void StoreBlock(const uint8_t* in, uint8_t* out) override;
  void LoadBlock(const uint8_t* in, uint8_t* out) override;

 private:
  uint32_t F(uint32_t x) const;
  void EncryptWords(uint32_t& left, uint32_t& right) const;
  void DecryptWords(uint32_t& left, uint32_t& right) const;

  uint32_t p_[blowfish_tables::kRounds + 2];
  uint32_t s_[4][256];
};

}  // namespace tarnix
