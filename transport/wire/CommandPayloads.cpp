#include "transport/wire/CommandPayloads.h"

#include <string>

#include "transport/wire/ByteOrder.h"
#include "transport/wire/TranserErrors.h"

namespace tarnix {
namespace {

// A reader whose short reads end the connection, naming the command and field.
auto ReaderFor(uint8_t type, std::span<const uint8_t> payload) {
  auto fail = [type, size = payload.size()](const char* what, std::size_t needed) {
    throw ETranserPacketCrashError::Malformed(
        type, std::string(what) + " needs " + std::to_string(needed) + " bytes, payload has " +
                  std::to_string(size));
  };
  return TByteReader<decltype(fail)>(payload, fail);
}

void CheckRange(uint8_t type, const char* field, int64_t value, int64_t low, int64_t high) {
  if (value < low || value > high) {
    throw ETranserPacketCrashError::Malformed(
        type, std::string(field) + " " + std::to_string(value) + " outside " + std::to_string(low) +
                  ".." + std::to_string(high));
  }
}

}  // namespace

std::vector<uint8_t> BuildPingPayload(uint32_t tick) {
  std::vector<uint8_t> out;
  TByteWriter(out).U32(tick);
  return out;
}

uint32_t ParsePingPayload(uint8_t type, std::span<const uint8_t> payload) {
  auto reader = ReaderFor(type, payload);
  return reader.U32("tick");
}

std::vector<uint8_t> BuildUidPayload(int64_t uid) {
  std::vector<uint8_t> out;
  TByteWriter(out).I64(uid);
  return out;
}

int64_t ParseUidPayload(uint8_t type, std::span<const uint8_t> payload) {
  auto reader = ReaderFor(type, payload);
  return reader.I64("UID");
}

std::vector<uint8_t> BuildAcceptTaskPayload(const TAcceptTaskPayload& accept) {
  std::vector<uint8_t> out;
  TByteWriter w(out);
  w.I64(accept.uid);
  w.I64(accept.position);
  return out;
}

TAcceptTaskPayload ParseAcceptTaskPayload(std::span<const uint8_t> payload) {
  auto reader = ReaderFor(tcAcceptTask, payload);
  TAcceptTaskPayload accept;
  accept.uid = reader.I64("UID");
  accept.position = reader.I64("Position");
  return accept;
}

std::vector<uint8_t> BuildDenyTaskPayload(const TDenyTaskPayload& deny) {
  std::vector<uint8_t> out;
  TByteWriter w(out);
  w.I64(deny.uid);
  w.I32(deny.code);
  return out;
}

TDenyTaskPayload ParseDenyTaskPayload(std::span<const uint8_t> payload) {
  auto reader = ReaderFor(tcDenyTask, payload);
  TDenyTaskPayload deny;
  deny.uid = reader.I64("UID");
  deny.code = reader.I32("Code");
  return deny;
}

std::vector<uint8_t> BuildNewTaskPayload(const TNewTaskPayload& task) {
  std::vector<uint8_t> out;
  out.reserve(kNewTaskFixedSize + task.name.size() + task.info.size());
  TByteWriter w(out);
  w.I64(task.uid);
  w.I32(static_cast<int32_t>(task.name.size()));
  w.Bytes(std::string_view(task.name));
  w.I64(task.size);
  w.U8(task.bufferType);
  w.I32(static_cast<int32_t>(task.info.size()));
  w.Bytes(std::span<const uint8_t>(task.info));
  return out;
}

TNewTaskPayload ParseNewTaskPayload(std::span<const uint8_t> payload) {
  auto reader = ReaderFor(tcNewTask, payload);
  TNewTaskPayload task;
  task.uid = reader.I64("UID");
  const int32_t nameLen = reader.I32("NameLen");
  CheckRange(tcNewTask, "NameLen", nameLen, 0, kMaxTaskNameLength);
  const auto name = reader.Bytes(static_cast<std::size_t>(nameLen), "Name");
  task.name.assign(name.begin(), name.end());
  task.size = reader.I64("Size");
  task.bufferType = reader.U8("BufferType");
  const int32_t infoLen = reader.I32("InfoLen");
  CheckRange(tcNewTask, "InfoLen", infoLen, 0, kMaxInitialInfoLength);
  const auto info = reader.Bytes(static_cast<std::size_t>(infoLen), "Info");
  task.info.assign(info.begin(), info.end());
  return task;
}

void WriteTaskDataHeader(std::span<uint8_t> payload, const TTaskDataHeader& header) {
  uint8_t* p = payload.data();
  PutI64(p, header.uid);
  p[8] = header.packetType;
  PutI32(p + 9, header.plainLen);
  PutI32(p + 13, header.codedLen);
}

std::vector<uint8_t> BuildTaskDataPayload(const TTaskDataHeader& header,
                                          std::span<const uint8_t> coded) {
  std::vector<uint8_t> out(kTaskDataHeaderSize + coded.size());
  TTaskDataHeader h = header;
  h.codedLen = static_cast<int32_t>(coded.size());
  WriteTaskDataHeader(out, h);
  std::copy(coded.begin(), coded.end(), out.begin() + kTaskDataHeaderSize);
  return out;
}

TTaskDataView ParseTaskDataPayload(std::span<const uint8_t> payload) {
  auto reader = ReaderFor(tcTaskData, payload);
  TTaskDataView view;
  view.header.uid = reader.I64("UID");
  view.header.packetType = reader.U8("PacketType");
  view.header.plainLen = reader.I32("PlainLen");
  view.header.codedLen = reader.I32("CodedLen");
  CheckRange(tcTaskData, "PlainLen", view.header.plainLen, 0, kMaxBufferSize);
  CheckRange(tcTaskData, "CodedLen", view.header.codedLen, 0, kMaxCodedChunkLength);
  const bool coded =
      view.header.packetType == ptCompressed || view.header.packetType == ptEncrypted;
  if (!coded && view.header.plainLen != view.header.codedLen) {
    throw ETranserPacketCrashError::Malformed(
        tcTaskData, "PlainLen " + std::to_string(view.header.plainLen) + " differs from CodedLen " +
                        std::to_string(view.header.codedLen) + " in an uncoded chunk");
  }
  view.coded = reader.Bytes(static_cast<std::size_t>(view.header.codedLen), "Coded");
  return view;
}

}  // namespace tarnix
