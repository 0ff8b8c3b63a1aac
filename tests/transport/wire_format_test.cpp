// Byte layouts of the banner, frames, command payloads and host messages, and
// the parsers' handling of truncated, oversized and lying input.
#include <gtest/gtest.h>

#include "transport/wire/ByteOrder.h"
#include "transport/wire/CommandPayloads.h"
#include "transport/wire/Frame.h"
#include "transport/wire/FrameReader.h"
#include "transport/wire/HostMessages.h"
#include "transport/wire/Md5.h"
#include "transport/wire/TranserErrors.h"

namespace tarnix {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Hex(std::string_view hex) {
  Bytes out;
  for (std::size_t i = 0; i + 1 < hex.size();) {
    if (hex[i] == ' ') {
      ++i;
      continue;
    }
    out.push_back(static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    i += 2;
  }
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(WireFormat, BannerIsThirtyFourAsciiBytes) {
  EXPECT_EQ(kBanner.size(), 34u);
  EXPECT_EQ(kBanner, "StreamWeaver Protocol Version 1.23");
}

TEST(WireFormat, EmptyCmdFrameIsThirtyBytesWithTheDigestOverTheNineHeaderBytes) {
  const Bytes frame = BuildFrame(TFrameKind::Cmd, 0x01020304, tcClose, {});
  ASSERT_EQ(frame.size(), 30u);
  EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 14),
            Hex("00 63 6d 64 01 04 03 02 01 01 00 00 00 00"));
  const TDigest digest = Md5Of(Hex("04 03 02 01 01 00 00 00 00"));
  EXPECT_EQ(Bytes(frame.begin() + 14, frame.end()), Bytes(digest.begin(), digest.end()));
}

TEST(WireFormat, AckAndReqDigestIsTheIdFollowedByFiveZeroBytes) {
  for (const auto& [kind, marker] : {std::pair{TFrameKind::Ack, Hex("00 61 63 6b 01")},
                                     std::pair{TFrameKind::Req, Hex("00 72 65 71 01")}}) {
    const Bytes frame = BuildFrame(kind, 7, 0, {});
    ASSERT_EQ(frame.size(), 30u);
    EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 5), marker);
    const TDigest digest = Md5Of(Hex("07 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(Bytes(frame.begin() + 14, frame.end()), Bytes(digest.begin(), digest.end()));
  }
  // The well-known digest of nine zero bytes, as an independent check of MD5.
  EXPECT_EQ(DigestToHex(Md5Of(Bytes(9, 0))), "3f2829b2ffe8434d67f98a2a98968652");
}

TEST(WireFormat, CommandPayloadsHaveTheirExactLayouts) {
  EXPECT_EQ(BuildPingPayload(0x11223344), Hex("44 33 22 11"));
  EXPECT_EQ(BuildUidPayload(-2), Hex("fe ff ff ff ff ff ff ff"));
  EXPECT_EQ(BuildAcceptTaskPayload({1, 4096}),
            Hex("01 00 00 00 00 00 00 00 00 10 00 00 00 00 00 00"));
  EXPECT_EQ(BuildDenyTaskPayload({1, 302}), Hex("01 00 00 00 00 00 00 00 2e 01 00 00"));
  TNewTaskPayload task;
  task.uid = 0x0102;
  task.name = "ab";
  task.size = 5;
  task.bufferType = btAutoStream;
  task.info = {'x', 0};
  EXPECT_EQ(BuildNewTaskPayload(task), Hex("02 01 00 00 00 00 00 00  02 00 00 00  61 62  05 00 00 "
                                           "00 00 00 00 00  02  02 00 00 00  78 00"));
  EXPECT_EQ(
      BuildTaskDataPayload({3, ptEncrypted, 10, 0}, Bytes(16, 0xaa)),
      Concat({Hex("03 00 00 00 00 00 00 00  03  0a 00 00 00  10 00 00 00"), Bytes(16, 0xaa)}));
}

TEST(WireFormat, CommandParsersReadWhatTheBuildersWrote) {
  TNewTaskPayload task;
  task.uid = -77;
  task.name = std::string("na\0me", 5);
  task.size = 1LL << 40;
  task.bufferType = btProc;
  task.info = {1, 2, 3};
  const TNewTaskPayload back = ParseNewTaskPayload(BuildNewTaskPayload(task));
  EXPECT_EQ(back.uid, task.uid);
  EXPECT_EQ(back.name, task.name);
  EXPECT_EQ(back.size, task.size);
  EXPECT_EQ(back.bufferType, task.bufferType);
  EXPECT_EQ(back.info, task.info);
  const auto accept = ParseAcceptTaskPayload(BuildAcceptTaskPayload({9, 20000}));
  EXPECT_EQ(accept.uid, 9);
  EXPECT_EQ(accept.position, 20000);
  const auto deny = ParseDenyTaskPayload(BuildDenyTaskPayload({9, -5}));
  EXPECT_EQ(deny.code, -5);
  const Bytes coded{1, 2, 3};
  const Bytes data = BuildTaskDataPayload({9, ptNormal, 3, 0}, coded);
  const TTaskDataView view = ParseTaskDataPayload(data);
  EXPECT_EQ(view.header.codedLen, 3);
  EXPECT_EQ(Bytes(view.coded.begin(), view.coded.end()), coded);
}

struct TMalformed {
  const char* name;
  std::function<void()> parse;
  const char* message;
};

TEST(WireFormat, MalformedCommandPayloadsEndTheConnection) {
  const Bytes validTask = BuildNewTaskPayload({1, "chat", 10, btStream, {'a', 0}});
  auto withInt = [](Bytes bytes, std::size_t at, int32_t value) {
    PutI32(bytes.data() + at, value);
    return bytes;
  };
  const Bytes validData = BuildTaskDataPayload({1, ptCompressed, 100, 0}, Bytes(20, 1));
  const std::vector<TMalformed> cases = {
      {"short ping", [] { ParsePingPayload(tcPing, Bytes(3)); },
       "PacketCrashed - 0: tick needs 4 bytes, payload has 3"},
      {"short abort", [] { ParseUidPayload(tcAbortTask, Bytes(7)); },
       "PacketCrashed - 30: UID needs 8"},
      {"short deny", [] { ParseDenyTaskPayload(Bytes(11)); }, "PacketCrashed - 22: Code needs 12"},
      {"truncated announcement",
       [&] { ParseNewTaskPayload(Bytes(validTask.begin(), validTask.end() - 1)); }, "Info needs"},
      {"negative name length", [&] { ParseNewTaskPayload(withInt(validTask, 8, -1)); },
       "NameLen -1 outside 0..4096"},
      {"name length past the end", [&] { ParseNewTaskPayload(withInt(validTask, 8, 4000)); },
       "Name needs 4012 bytes"},
      {"information over its bound",
       [&] { ParseNewTaskPayload(withInt(validTask, 21 + 4, 70000)); },
       "InfoLen 70000 outside 0..65536"},
      {"negative coded length", [&] { ParseTaskDataPayload(withInt(validData, 13, -8)); },
       "CodedLen -8 outside"},
      {"coded length past the end", [&] { ParseTaskDataPayload(withInt(validData, 13, 21)); },
       "Coded needs 38 bytes, payload has 37"},
      {"plain length over the buffer size",
       [&] { ParseTaskDataPayload(withInt(validData, 9, 131073)); },
       "PlainLen 131073 outside 0..131072"},
      {"uncoded chunk with differing lengths",
       [] {
         ParseTaskDataPayload(BuildTaskDataPayload({1, ptNormal, 5, 0}, Bytes(4)));
       },
       "PlainLen 5 differs from CodedLen 4"},
  };
  for (const TMalformed& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.parse();
      ADD_FAILURE() << "no error";
    } catch (const ETranserPacketCrashError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
  EXPECT_STREQ(ETranserPacketCrashError::ForType(99).what(), "PacketCrashed - 99");
}

TEST(HostMessages, EveryKindHasItsExactLayout) {
  EXPECT_EQ(BuildAuthRequestMessage({"", std::string(kAnonymousKey)}),
            Concat({Hex("00 00 00 00  13 00 00 00  00 00 00 00  0b 00 00 00"),
                    Bytes(kAnonymousKey.begin(), kAnonymousKey.end())}));
  EXPECT_EQ(BuildInt32HostMessage(imAuthResult, 2), Hex("01 00 00 00 04 00 00 00 02 00 00 00"));
  EXPECT_EQ(BuildInt32HostMessage(imVersionCode, kRevisionCode),
            Hex("02 00 00 00 04 00 00 00 0d 00 00 00"));
  EXPECT_EQ(BuildSettingsHostMessage({32767, 8007, 1}),
            Hex("03 00 00 00 0c 00 00 00 ff 7f 00 00 47 1f 00 00 01 00 00 00"));
  EXPECT_EQ(BuildVersionHostMessage({0, 5, 1, 1}),
            Hex("04 00 00 00 08 00 00 00 00 00 05 00 01 00 01 00"));
  EXPECT_EQ(BuildInt32HostMessage(imState, 2), Hex("0c 00 00 00 04 00 00 00 02 00 00 00"));
  const Bytes name{'B', 'o', 'b'};
  EXPECT_EQ(BuildHostMessage(imDisplayName, name), Hex("0a 00 00 00 03 00 00 00 42 6f 62"));
}

TEST(HostMessages, ParsersReadWhatTheBuildersWrote) {
  const THostMessage auth = ParseHostMessage(BuildAuthRequestMessage({"alice", "k3y"}));
  EXPECT_EQ(auth.kind, imAuthRequest);
  const TAuthRequest request = ParseAuthRequest(auth.data);
  EXPECT_EQ(request.user, "alice");
  EXPECT_EQ(request.key, "k3y");
  const THostMessage settings = ParseHostMessage(BuildSettingsHostMessage({65536, 8008, 0}));
  const TSettingsMessage s = ParseSettingsMessage(settings.data);
  EXPECT_EQ(s.bufferSize, 65536);
  EXPECT_EQ(s.serverPort, 8008);
  EXPECT_EQ(s.addressUnknown, 0);
  const TVersionMessage v =
      ParseVersionMessage(ParseHostMessage(BuildVersionHostMessage({1, 2, 3, 4})).data);
  EXPECT_EQ(v.build, 4);
  EXPECT_EQ(ParseDisplayName(Bytes{'B', 'o', 'b', 0, 'x'}), "Bob");
  // Bytes after the message are not part of it.
  Bytes trailing = BuildInt32HostMessage(imState, 3);
  trailing.push_back(9);
  EXPECT_EQ(ParseInt32Message(ParseHostMessage(trailing).data), 3);
}

TEST(HostMessages, LyingOrShortMessagesAreRejected) {
  auto message = [](int32_t kind, int32_t length, Bytes data) {
    Bytes out(8);
    PutI32(out.data(), kind);
    PutI32(out.data() + 4, length);
    out.insert(out.end(), data.begin(), data.end());
    return out;
  };
  const std::vector<TMalformed> cases = {
      {"header cut", [] { ParseHostMessage(Bytes(7)); }, "Length needs 8 bytes, message has 7"},
      {"length past the end", [&] { ParseHostMessage(message(12, 10, Bytes(4))); },
       "Data needs 18 bytes, message has 12"},
      {"negative length", [&] { ParseHostMessage(message(12, -1, {})); },
       "host message Length -1 outside"},
      {"huge length", [&] { ParseHostMessage(message(11, 0x7fffffff, {})); },
       "Length 2147483647 outside 0..4194304"},
      {"user length past the end", [] { ParseAuthRequest(Hex("05 00 00 00 61 62")); },
       "User needs 9 bytes"},
      {"negative key length", [] { ParseAuthRequest(Hex("00 00 00 00 ff ff ff ff")); },
       "KeyLen -1 outside"},
      {"short settings", [] { ParseSettingsMessage(Bytes(8)); }, "AddressUnknown needs 12 bytes"},
      {"short version", [] { ParseVersionMessage(Bytes(6)); }, "Build needs 8 bytes"},
      {"empty state", [] { ParseInt32Message({}); }, "value needs 4 bytes"},
  };
  for (const TMalformed& c : cases) {
    SCOPED_TRACE(c.name);
    try {
      c.parse();
      ADD_FAILURE() << "no error";
    } catch (const EHostMessageError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

// The frame reader fed in pieces, the way the socket delivers bytes.
class FrameReaderTest : public ::testing::Test {
 protected:
  std::vector<TRawFrame> Feed(const Bytes& stream, std::size_t piece) {
    std::vector<TRawFrame> frames;
    TRawFrame frame;
    for (std::size_t at = 0; at < stream.size(); at += piece) {
      const std::size_t n = std::min(piece, stream.size() - at);
      reader_->Append(std::span(stream.data() + at, n));
      while (reader_->Next(frame) == TFrameReader::TResult::Frame) frames.push_back(frame);
    }
    return frames;
  }
  std::unique_ptr<TFrameReader> reader_ = std::make_unique<TFrameReader>();
};

TEST_F(FrameReaderTest, GarbageIsSkippedAndFramesSurviveAnySplit) {
  const Bytes garbage = Hex("00 63 6d 00 ff 00 61 63 6b 00 01");
  const Bytes ping = BuildFrame(TFrameKind::Cmd, 0, tcPing, BuildPingPayload(5));
  const Bytes ack = BuildFrame(TFrameKind::Ack, 0, 0, {});
  const Bytes stream = Concat({garbage, ping, Hex("77"), ack});
  for (std::size_t piece : {1u, 2u, 5u, 13u, 1000u}) {
    SCOPED_TRACE(piece);
    reader_ = std::make_unique<TFrameReader>();
    const auto frames = Feed(stream, piece);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].kind, TFrameKind::Cmd);
    EXPECT_TRUE(frames[0].digestMatches);
    EXPECT_EQ(frames[0].data, BuildPingPayload(5));
    EXPECT_EQ(frames[1].kind, TFrameKind::Ack);
    EXPECT_EQ(reader_->SkippedBytes(), garbage.size() + 1);
    EXPECT_EQ(reader_->Buffered(), 0u);
  }
}

TEST_F(FrameReaderTest, DamagedFramesAreReadButFlagged) {
  Bytes damagedDigest = BuildFrame(TFrameKind::Cmd, 3, tcPing, BuildPingPayload(5));
  damagedDigest.back() ^= 1;
  Bytes damagedData = BuildFrame(TFrameKind::Cmd, 3, tcPing, BuildPingPayload(5));
  damagedData[15] ^= 1;
  const auto frames = Feed(Concat({damagedDigest, damagedData}), 7);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_FALSE(frames[0].digestMatches);
  EXPECT_FALSE(frames[1].digestMatches);
  EXPECT_EQ(frames[0].id, 3u);
}

TEST_F(FrameReaderTest, TruncatedFrameWaitsForTheRest) {
  const Bytes frame = BuildFrame(TFrameKind::Cmd, 1, tcTaskData, Bytes(500, 7));
  EXPECT_TRUE(Feed(Bytes(frame.begin(), frame.end() - 1), 64).empty());
  EXPECT_EQ(reader_->Buffered(), frame.size() - 1);
  const auto frames = Feed(Bytes(frame.end() - 1, frame.end()), 1);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_TRUE(frames[0].digestMatches);
}

TEST_F(FrameReaderTest, LengthOutsideItsBoundIsRefusedBeforeAnyDataArrives) {
  for (int32_t length : {-1, kMaxFrameDataLength + 1, 0x7fffffff}) {
    SCOPED_TRACE(length);
    TFrameReader reader;
    Bytes head = Concat({Bytes(kCmdMarker.begin(), kCmdMarker.end()), Bytes(9, 0)});
    head[kFrameTypeOffset] = tcTaskData;
    PutI32(head.data() + kFrameLengthOffset, length);
    reader.Append(head);
    TRawFrame frame;
    try {
      reader.Next(frame);
      ADD_FAILURE() << "no error";
    } catch (const ETranserPacketCrashError& e) {
      EXPECT_NE(std::string(e.what()).find("frame data length " + std::to_string(length) +
                                           " outside 0.." + std::to_string(kMaxFrameDataLength)),
                std::string::npos)
          << e.what();
    }
  }
  // The largest legitimate command fits: a coded chunk of the maximum buffer size.
  const Bytes biggest = BuildFrame(TFrameKind::Cmd, 0, tcTaskData, Bytes(kMaxTaskDataPayload, 1));
  EXPECT_EQ(Feed(biggest, 65536).size(), 1u);
}

}  // namespace
}  // namespace tarnix
