#pragma once
// Every constant of the peer protocol in one place: the banner, the three frame
// markers, the frame layout, command types, task payload layouts, host-message
// kinds and layouts, the packet key, and the bounds a peer's lengths must keep.
// Encoders and decoders alike take their numbers from here.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace tarnix {

// --- Banner -----------------------------------------------------------------
inline constexpr std::string_view kBanner = "StreamWeaver Protocol Version 1.23";
inline constexpr std::size_t kBannerSize = 34;
static_assert(kBanner.size() == kBannerSize);

// --- Frames -----------------------------------------------------------------
// marker(5) id(4) type(1) length(4) data(length) digest(16); the digest is the
// MD5 of id, type, length and data (the marker is not covered).
inline constexpr std::size_t kMarkerSize = 5;
using TFrameMarker = std::array<uint8_t, kMarkerSize>;
inline constexpr TFrameMarker kCmdMarker = {0x00, 'c', 'm', 'd', 0x01};
inline constexpr TFrameMarker kReqMarker = {0x00, 'r', 'e', 'q', 0x01};
inline constexpr TFrameMarker kAckMarker = {0x00, 'a', 'c', 'k', 0x01};

enum class TFrameKind : uint8_t { Cmd, Req, Ack };

inline constexpr std::size_t kFrameIdOffset = 5;
inline constexpr std::size_t kFrameTypeOffset = 9;
inline constexpr std::size_t kFrameLengthOffset = 10;
inline constexpr std::size_t kFrameDataOffset = 14;
inline constexpr std::size_t kFrameHeaderSize = 14;    // marker + id + type + length
inline constexpr std::size_t kDigestedHeaderSize = 9;  // id + type + length
inline constexpr std::size_t kDigestSize = 16;
inline constexpr std::size_t kFrameOverhead = kFrameHeaderSize + kDigestSize;  // 30
using TDigest = std::array<uint8_t, kDigestSize>;

// --- Command types (type byte of a cmd frame) ---------------------------------
enum TTranserCommandType : uint8_t {
  tcPing = 0,
  tcClose = 1,
  tcPong = 10,
  tcNewTask = 20,
  tcAcceptTask = 21,
  tcDenyTask = 22,
  tcTaskData = 23,
  tcAbortTask = 30,
  tcSuspendTask = 31,
  tcResumeTask = 32,
};

inline constexpr bool IsKnownCommandType(uint8_t type) {
  switch (type) {
    case tcPing:
    case tcClose:
    case tcPong:
    case tcNewTask:
    case tcAcceptTask:
    case tcDenyTask:
    case tcTaskData:
    case tcAbortTask:
    case tcSuspendTask:
    case tcResumeTask:
      return true;
    default:
      return false;
  }
}

// --- Command payload layouts ----------------------------------------------------
inline constexpr std::size_t kPingPayloadSize = 4;  // UInt32 tick (also tcPong)
inline constexpr std::size_t kUidPayloadSize = 8;   // tcAbortTask, tcSuspendTask, tcResumeTask
inline constexpr std::size_t kAcceptTaskPayloadSize = 16;  // UID Int64, Position Int64
inline constexpr std::size_t kDenyTaskPayloadSize = 12;    // UID Int64, Code Int32
// tcNewTask: UID(8) NameLen(4) Name Size(8) BufferType(1) InfoLen(4) Info
inline constexpr std::size_t kNewTaskFixedSize = 25;
// tcTaskData: UID(8) PacketType(1) PlainLen(4) CodedLen(4) Coded
inline constexpr std::size_t kTaskDataHeaderSize = 17;

// --- Buffer types and packet types ---------------------------------------------
enum TTranserBufferType : uint8_t { btStream = 0, btProc = 1, btAutoStream = 2 };
enum TTranserPacketType : uint8_t {
  ptDefault = 0,  // inside a task only: the connection's packet type
  ptNormal = 1,
  ptCompressed = 2,
  ptEncrypted = 3,
};

// Key of encrypted chunks, the same on every installation.
inline constexpr std::string_view kPacketKey = "tomqel";

// --- Bounds on what a peer may send ---------------------------------------------
// The largest chunk a sender cuts (the largest configurable buffer size).
inline constexpr int32_t kMaxBufferSize = 131072;
// Largest coded chunk: above zlib's worst case for kMaxBufferSize bytes (about
// 131125) and Blowfish-CBC padding (131080), with room for other deflaters.
inline constexpr int32_t kMaxCodedChunkLength = kMaxBufferSize + kMaxBufferSize / 16 + 64;
inline constexpr int32_t kMaxTaskNameLength = 4096;
inline constexpr int32_t kMaxInitialInfoLength = 65536;
inline constexpr int32_t kMaxTaskDataPayload =
    static_cast<int32_t>(kTaskDataHeaderSize) + kMaxCodedChunkLength;
inline constexpr int32_t kMaxNewTaskPayload =
    static_cast<int32_t>(kNewTaskFixedSize) + kMaxTaskNameLength + kMaxInitialInfoLength;
// A frame's data length must lie in 0..kMaxFrameDataLength.
inline constexpr int32_t kMaxFrameDataLength =
    kMaxTaskDataPayload > kMaxNewTaskPayload ? kMaxTaskDataPayload : kMaxNewTaskPayload;

// --- Host messages (the data of a task named "internal") ---------------------------
inline constexpr std::string_view kInternalTaskName = "internal";
// Kind(4) Length(4) Data(Length)
inline constexpr std::size_t kHostMessageHeaderSize = 8;
// A host message's data length must lie in 0..kMaxHostMessageLength (the largest
// is a buddy icon bitmap).
inline constexpr int32_t kMaxHostMessageLength = 4 * 1024 * 1024;
inline constexpr int32_t kMaxHostMessageSize =
    static_cast<int32_t>(kHostMessageHeaderSize) + kMaxHostMessageLength;
// User names and keys inside imAuthRequest.
inline constexpr int32_t kMaxAuthFieldLength = 65536;

enum THostMessageKind : int32_t {
  imAuthRequest = 0,   // UserLen(4) User KeyLen(4) Key
  imAuthResult = 1,    // Result(4): 0 accepted, 1 key does not match, 2 refused
  imVersionCode = 2,   // Code(4)
  imSettings = 3,      // BufferSize(4) ServerPort(4) AddressUnknown(4)
  imVersion = 4,       // Major, Minor, Release, Build (UInt16 each)
  imDisplayName = 10,  // display name bytes, no terminator
  imBuddyIcon = 11,    // the whole bitmap file
  imState = 12,        // State(4)
};

inline constexpr std::size_t kInt32MessageSize = 4;
inline constexpr std::size_t kSettingsMessageSize = 12;
inline constexpr std::size_t kVersionMessageSize = 8;

// The key of an anonymous peer's imAuthRequest (with an empty user name).
inline constexpr std::string_view kAnonymousKey = "@@fahpahgwn";
// The revision this program reports in imVersionCode.
inline constexpr int32_t kRevisionCode = 13;

}  // namespace tarnix
