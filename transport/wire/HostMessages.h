#pragma once
// Builders and parsers of host messages: the envelope (Kind, Length, Data) that
// fills a task named "internal", and the data of every kind. Parsers throw
// EHostMessageError for data shorter than its layout, inner lengths past the
// end, or lengths outside their bounds; they never read beyond the bytes given.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "transport/wire/WireFormat.h"

namespace tarnix {

struct THostMessage {
  int32_t kind = 0;
  std::vector<uint8_t> data;
};

std::vector<uint8_t> BuildHostMessage(int32_t kind, std::span<const uint8_t> data);
// Length must lie in 0..kMaxHostMessageLength and within the bytes given;
// bytes after the message are ignored.
THostMessage ParseHostMessage(std::span<const uint8_t> bytes);

// imAuthRequest. An empty user with the key kAnonymousKey is an anonymous peer.
struct TAuthRequest {
  std::string user;
  std::string key;
};
std::vector<uint8_t> BuildAuthRequest(const TAuthRequest& request);
TAuthRequest ParseAuthRequest(std::span<const uint8_t> data);

// imAuthResult, imVersionCode and imState carry one Int32.
std::vector<uint8_t> BuildInt32Message(int32_t value);
int32_t ParseInt32Message(std::span<const uint8_t> data);

// imSettings.
struct TSettingsMessage {
  int32_t bufferSize = 0;
  int32_t serverPort = 0;
  int32_t addressUnknown = 0;
};
std::vector<uint8_t> BuildSettingsMessage(const TSettingsMessage& settings);
TSettingsMessage ParseSettingsMessage(std::span<const uint8_t> data);

// imVersion.
struct TVersionMessage {
  uint16_t major = 0;
  uint16_t minor = 0;
  uint16_t release = 0;
  uint16_t build = 0;
};
std::vector<uint8_t> BuildVersionMessage(const TVersionMessage& version);
TVersionMessage ParseVersionMessage(std::span<const uint8_t> data);

// imDisplayName: the bytes up to the first zero byte.
std::string ParseDisplayName(std::span<const uint8_t> data);

// Whole messages in one call (envelope included).
std::vector<uint8_t> BuildAuthRequestMessage(const TAuthRequest& request);
std::vector<uint8_t> BuildInt32HostMessage(int32_t kind, int32_t value);
std::vector<uint8_t> BuildSettingsHostMessage(const TSettingsMessage& settings);
std::vector<uint8_t> BuildVersionHostMessage(const TVersionMessage& version);

}  // namespace tarnix
