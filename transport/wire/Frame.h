#pragma once
// Building frames: the 14-byte header, the digest over id, type, length and data,
// and whole frames as bytes. Reading them is TFrameReader's job.
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "transport/wire/Md5.h"
#include "transport/wire/WireFormat.h"

namespace tarnix {

const TFrameMarker& MarkerOf(TFrameKind kind);

using TFrameHeader = std::array<uint8_t, kFrameHeaderSize>;
TFrameHeader BuildFrameHeader(TFrameKind kind, uint32_t id, uint8_t type, int32_t length);

// MD5 of the 9 header bytes after the marker followed by the data. The TMd5 is
// the caller's so that a connection reuses one context.
TDigest FrameDigest(TMd5& md5, uint32_t id, uint8_t type, std::span<const uint8_t> data);
TDigest FrameDigest(uint32_t id, uint8_t type, std::span<const uint8_t> data);

// A whole frame: header, data and digest (30 + data.size() bytes).
std::vector<uint8_t> BuildFrame(TFrameKind kind, uint32_t id, uint8_t type,
                                std::span<const uint8_t> data);

}  // namespace tarnix
