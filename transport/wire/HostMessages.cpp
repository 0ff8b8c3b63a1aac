#include "transport/wire/HostMessages.h"

#include <algorithm>
#include <string>

#include "transport/wire/ByteOrder.h"
#include "transport/wire/TranserErrors.h"

namespace tarnix {
namespace {

auto ReaderFor(const char* layout, std::span<const uint8_t> data) {
  auto fail = [layout, size = data.size()](const char* what, std::size_t needed) {
    throw EHostMessageError(std::string(layout) + ": " + what + " needs " + std::to_string(needed) +
                            " bytes, message has " + std::to_string(size));
  };
  return TByteReader<decltype(fail)>(data, fail);
}

void CheckLength(const char* field, int32_t value, int32_t high) {
  if (value < 0 || value > high) {
    throw EHostMessageError(std::string(field) + " " + std::to_string(value) + " outside 0.." +
                            std::to_string(high));
  }
}

}  // namespace

std::vector<uint8_t> BuildHostMessage(int32_t kind, std::span<const uint8_t> data) {
  std::vector<uint8_t> out;
  out.reserve(kHostMessageHeaderSize + data.size());
  TByteWriter w(out);
  w.I32(kind);
  w.I32(static_cast<int32_t>(data.size()));
  w.Bytes(data);
  return out;
}

THostMessage ParseHostMessage(std::span<const uint8_t> bytes) {
  auto reader = ReaderFor("host message", bytes);
  THostMessage message;
  message.kind = reader.I32("Kind");
  const int32_t length = reader.I32("Length");
  CheckLength("host message Length", length, kMaxHostMessageLength);
  const auto data = reader.Bytes(static_cast<std::size_t>(length), "Data");
  message.data.assign(data.begin(), data.end());
  return message;
}

std::vector<uint8_t> BuildAuthRequest(const TAuthRequest& request) {
  std::vector<uint8_t> out;
  TByteWriter w(out);
  w.I32(static_cast<int32_t>(request.user.size()));
  w.Bytes(std::string_view(request.user));
  w.I32(static_cast<int32_t>(request.key.size()));
  w.Bytes(std::string_view(request.key));
  return out;
}

TAuthRequest ParseAuthRequest(std::span<const uint8_t> data) {
  auto reader = ReaderFor("imAuthRequest", data);
  TAuthRequest request;
  const int32_t userLen = reader.I32("UserLen");
  CheckLength("imAuthRequest UserLen", userLen, kMaxAuthFieldLength);
  const auto user = reader.Bytes(static_cast<std::size_t>(userLen), "User");
  request.user.assign(user.begin(), user.end());
  const int32_t keyLen = reader.I32("KeyLen");
  CheckLength("imAuthRequest KeyLen", keyLen, kMaxAuthFieldLength);
  const auto key = reader.Bytes(static_cast<std::size_t>(keyLen), "Key");
  request.key.assign(key.begin(), key.end());
  return request;
}

std::vector<uint8_t> BuildInt32Message(int32_t value) {
  std::vector<uint8_t> out;
  TByteWriter(out).I32(value);
  return out;
}

int32_t ParseInt32Message(std::span<const uint8_t> data) {
  auto reader = ReaderFor("host message value", data);
  return reader.I32("value");
}

std::vector<uint8_t> BuildSettingsMessage(const TSettingsMessage& settings) {
  std::vector<uint8_t> out;
  TByteWriter w(out);
  w.I32(settings.bufferSize);
  w.I32(settings.serverPort);
  w.I32(settings.addressUnknown);
  return out;
}

TSettingsMessage ParseSettingsMessage(std::span<const uint8_t> data) {
  auto reader = ReaderFor("imSettings", data);
  TSettingsMessage settings;
  settings.bufferSize = reader.I32("BufferSize");
  settings.serverPort = reader.I32("ServerPort");
  settings.addressUnknown = reader.I32("AddressUnknown");
  return settings;
}

std::vector<uint8_t> BuildVersionMessage(const TVersionMessage& version) {
  std::vector<uint8_t> out;
  TByteWriter w(out);
  w.U16(version.major);
  w.U16(version.minor);
  w.U16(version.release);
  w.U16(version.build);
  return out;
}

TVersionMessage ParseVersionMessage(std::span<const uint8_t> data) {
  auto reader = ReaderFor("imVersion", data);
  TVersionMessage version;
  version.major = reader.U16("Major");
  version.minor = reader.U16("Minor");
  version.release = reader.U16("Release");
  version.build = reader.U16("Build");
  return version;
}

std::string ParseDisplayName(std::span<const uint8_t> data) {
  const auto end = std::find(data.begin(), data.end(), uint8_t{0});
  return std::string(data.begin(), end);
}

std::vector<uint8_t> BuildAuthRequestMessage(const TAuthRequest& request) {
  return BuildHostMessage(imAuthRequest, BuildAuthRequest(request));
}

std::vector<uint8_t> BuildInt32HostMessage(int32_t kind, int32_t value) {
  return BuildHostMessage(kind, BuildInt32Message(value));
}

std::vector<uint8_t> BuildSettingsHostMessage(const TSettingsMessage& settings) {
  return BuildHostMessage(imSettings, BuildSettingsMessage(settings));
}

std::vector<uint8_t> BuildVersionHostMessage(const TVersionMessage& version) {
  return BuildHostMessage(imVersion, BuildVersionMessage(version));
}

}  // namespace tarnix
