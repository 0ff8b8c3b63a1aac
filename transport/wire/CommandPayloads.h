#pragma once
// Builders and parsers of every command payload. A parser checks the payload
// against its layout and bounds and throws ETranserPacketCrashError (naming the
// command type, the field and the value) instead of reading past the end.
// Bytes after a complete layout are ignored.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "transport/wire/WireFormat.h"

namespace tarnix {

// tcPing / tcPong: the sender's tick.
std::vector<uint8_t> BuildPingPayload(uint32_t tick);
uint32_t ParsePingPayload(uint8_t type, std::span<const uint8_t> payload);

// tcAbortTask, tcSuspendTask, tcResumeTask: the UID alone.
std::vector<uint8_t> BuildUidPayload(int64_t uid);
int64_t ParseUidPayload(uint8_t type, std::span<const uint8_t> payload);

struct TAcceptTaskPayload {
  int64_t uid = 0;
  int64_t position = 0;
};
std::vector<uint8_t> BuildAcceptTaskPayload(const TAcceptTaskPayload& accept);
TAcceptTaskPayload ParseAcceptTaskPayload(std::span<const uint8_t> payload);

struct TDenyTaskPayload {
  int64_t uid = 0;
  int32_t code = 0;
};
std::vector<uint8_t> BuildDenyTaskPayload(const TDenyTaskPayload& deny);
TDenyTaskPayload ParseDenyTaskPayload(std::span<const uint8_t> payload);

struct TNewTaskPayload {
  int64_t uid = 0;
  std::string name;  // the NameLen bytes as sent
  int64_t size = 0;
  uint8_t bufferType = btStream;
  std::vector<uint8_t> info;
};
std::vector<uint8_t> BuildNewTaskPayload(const TNewTaskPayload& task);
// NameLen must lie in 0..kMaxTaskNameLength and InfoLen in 0..kMaxInitialInfoLength.
TNewTaskPayload ParseNewTaskPayload(std::span<const uint8_t> payload);

struct TTaskDataHeader {
  int64_t uid = 0;
  uint8_t packetType = ptNormal;
  int32_t plainLen = 0;
  int32_t codedLen = 0;
};
struct TTaskDataView {
  TTaskDataHeader header;
  std::span<const uint8_t> coded;  // points into the parsed payload
};
// Writes the 17-byte header into the front of a payload of 17 + codedLen bytes.
void WriteTaskDataHeader(std::span<uint8_t> payload, const TTaskDataHeader& header);
std::vector<uint8_t> BuildTaskDataPayload(const TTaskDataHeader& header,
                                          std::span<const uint8_t> coded);
// PlainLen must lie in 0..kMaxBufferSize, CodedLen in 0..kMaxCodedChunkLength
// and within the payload; a chunk that is not compressed or encrypted must have
// PlainLen equal to CodedLen.
TTaskDataView ParseTaskDataPayload(std::span<const uint8_t> payload);

}  // namespace tarnix
