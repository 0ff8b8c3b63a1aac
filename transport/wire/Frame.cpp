#include "transport/wire/Frame.h"

#include "transport/wire/ByteOrder.h"

namespace tarnix {

const TFrameMarker& MarkerOf(TFrameKind kind) {
  switch (kind) {
    case TFrameKind::Req:
      return kReqMarker;
    case TFrameKind::Ack:
      return kAckMarker;
    case TFrameKind::Cmd:
    default:
      return kCmdMarker;
  }
}

TFrameHeader BuildFrameHeader(TFrameKind kind, uint32_t id, uint8_t type, int32_t length) {
  TFrameHeader header{};
  const TFrameMarker& marker = MarkerOf(kind);
  std::copy(marker.begin(), marker.end(), header.begin());
  PutU32(header.data() + kFrameIdOffset, id);
  header[kFrameTypeOffset] = type;
  PutI32(header.data() + kFrameLengthOffset, length);
  return header;
}

TDigest FrameDigest(TMd5& md5, uint32_t id, uint8_t type, std::span<const uint8_t> data) {
  uint8_t head[kDigestedHeaderSize];
  PutU32(head, id);
  head[4] = type;
  PutI32(head + 5, static_cast<int32_t>(data.size()));
  md5.Begin();
  md5.Update(head, sizeof head);
  md5.Update(data.data(), data.size());
  return md5.Finish();
}

TDigest FrameDigest(uint32_t id, uint8_t type, std::span<const uint8_t> data) {
  TMd5 md5;
  return FrameDigest(md5, id, type, data);
}

std::vector<uint8_t> BuildFrame(TFrameKind kind, uint32_t id, uint8_t type,
                                std::span<const uint8_t> data) {
  const TFrameHeader header = BuildFrameHeader(kind, id, type, static_cast<int32_t>(data.size()));
  const TDigest digest = FrameDigest(id, type, data);
  std::vector<uint8_t> frame;
  frame.reserve(kFrameOverhead + data.size());
  frame.insert(frame.end(), header.begin(), header.end());
  frame.insert(frame.end(), data.begin(), data.end());
  frame.insert(frame.end(), digest.begin(), digest.end());
  return frame;
}

}  // namespace tarnix
