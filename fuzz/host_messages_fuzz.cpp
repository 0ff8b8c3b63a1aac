// The host-message envelope and the parser of every kind's data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "transport/wire/HostMessages.h"
#include "transport/wire/TranserErrors.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tarnix;
  try {
    const THostMessage message = ParseHostMessage(std::span<const uint8_t>(data, size));
    if (message.data.size() > static_cast<std::size_t>(kMaxHostMessageLength)) std::abort();
    const std::span<const uint8_t> body(message.data);
    switch (message.kind) {
      case imAuthRequest:
        (void)ParseAuthRequest(body);
        break;
      case imAuthResult:
      case imVersionCode:
      case imState:
        (void)ParseInt32Message(body);
        break;
      case imSettings:
        (void)ParseSettingsMessage(body);
        break;
      case imVersion:
        (void)ParseVersionMessage(body);
        break;
      case imDisplayName:
        (void)ParseDisplayName(body);
        break;
      default:
        break;
    }
  } catch (const EHostMessageError&) {
    // Dropped, as the core drops a message it cannot read.
  }
  return 0;
}
