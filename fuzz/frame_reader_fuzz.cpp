// Feeds the frame reader a byte stream in pieces whose sizes come from the input
// itself, the way the socket delivers it, and checks that every frame handed out
// is whole and that the reader never holds more than its bound.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "transport/wire/FrameReader.h"
#include "transport/wire/TranserErrors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnix;
  if (size == 0) return 0;
  // The first byte picks the piece size (1..256 bytes).
  const std::size_t piece = static_cast<std::size_t>(data[0]) + 1;
  std::span<const uint8_t> stream(data + 1, size - 1);
  TFrameReader reader;
  TRawFrame frame;
  try {
    while (!stream.empty()) {
      const std::size_t n = piece < stream.size() ? piece : stream.size();
      reader.Append(stream.first(n));
      stream = stream.subspan(n);
      while (reader.Next(frame) == TFrameReader::TResult::Frame) {
        if (frame.data.size() > static_cast<std::size_t>(kMaxFrameDataLength)) std::abort();
      }
      if (reader.Buffered() > TFrameReader::kMaxBuffered) std::abort();
    }
  } catch (const ETranserPacketCrashError&) {
    // A length outside its bound ends the connection.
  }
  return 0;
}
