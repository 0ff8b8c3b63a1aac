#pragma once
// Initial P-array and S-boxes of Blowfish (the hexadecimal digits of pi).
// Internal to the cipher library.
#include <cstdint>

namespace tarnix::blowfish_tables {

inline constexpr int kRounds = 16;

extern const uint32_t kInitialP[kRounds + 2];
extern const uint32_t kInitialS[4][256];

}  // namespace tarnix::blowfish_tables
