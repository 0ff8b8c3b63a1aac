#pragma once
// Small Windows bitmap files built in memory, for picture tests.
#include <cstdint>
#include <vector>

namespace tarnix::test {

// An uncompressed 24-bit bitmap of width x height pixels of one colour.
inline std::vector<uint8_t> MakeBitmap(int width, int height, uint8_t shade = 0x80) {
  const int stride = (width * 3 + 3) / 4 * 4;
  const uint32_t pixelBytes = static_cast<uint32_t>(stride * height);
  const uint32_t fileSize = 14 + 40 + pixelBytes;
  std::vector<uint8_t> d;
  auto u16 = [&d](uint32_t v) {
    d.push_back(v & 0xFF);
    d.push_back((v >> 8) & 0xFF);
  };
  auto u32 = [&u16](uint32_t v) {
    u16(v & 0xFFFF);
    u16(v >> 16);
  };
  d.push_back('B');
  d.push_back('M');
  u32(fileSize);
  u32(0);
  u32(14 + 40);
  u32(40);
  u32(static_cast<uint32_t>(width));
  u32(static_cast<uint32_t>(height));
  u16(1);
  u16(24);
  u32(0);
  u32(pixelBytes);
  u32(2835);
  u32(2835);
  u32(0);
  u32(0);
  d.resize(fileSize, shade);
  return d;
}

}  // namespace tarnix::test
