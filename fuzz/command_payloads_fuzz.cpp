// Every command payload parser, chosen by the first input byte; parsed task data
// is also decoded the way a receiving task decodes it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <stdexcept>
#include <vector>

#include "transport/coding/PayloadCoding.h"
#include "transport/wire/CommandPayloads.h"
#include "transport/wire/WireFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnix;
  if (size == 0) return 0;
  const std::span<const uint8_t> payload(data + 1, size - 1);
  static TPayloadCoder coder;
  try {
    switch (data[0] % 7) {
      case 0:
        (void)ParsePingPayload(tcPing, payload);
        break;
      case 1:
        (void)ParseUidPayload(tcAbortTask, payload);
        break;
      case 2:
        (void)ParseAcceptTaskPayload(payload);
        break;
      case 3:
        (void)ParseDenyTaskPayload(payload);
        break;
      case 4: {
        const TNewTaskPayload task = ParseNewTaskPayload(payload);
        if (task.name.size() > static_cast<std::size_t>(kMaxTaskNameLength) ||
            task.info.size() > static_cast<std::size_t>(kMaxInitialInfoLength)) {
          std::abort();
        }
        break;
      }
      default: {
        const TTaskDataView view = ParseTaskDataPayload(payload);
        if (view.coded.size() != static_cast<std::size_t>(view.header.codedLen)) std::abort();
        std::vector<uint8_t> plain;
        const int n = coder.Decode(view.header.packetType, view.coded, view.header.plainLen, plain);
        if (n < 0 || static_cast<std::size_t>(n) != plain.size() ||
            plain.size() > static_cast<std::size_t>(kMaxCodedChunkLength)) {
          std::abort();
        }
        break;
      }
    }
  } catch (const std::runtime_error&) {
    // Malformed payloads, zlib and cipher errors end the connection.
  }
  return 0;
}
