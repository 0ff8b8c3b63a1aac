// Host messages a peer gets wrong, on a live authenticated link: each is
// dropped (or refused) with a log line, changes nothing, writes nothing
// outside "config/bubbyicon/", and the link stays up.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/manager/BuddyIcon.h"
#include "core/members/PresenceStates.h"
#include "tests/support/BitmapBytes.h"
#include "tests/support/CoreTestHost.h"
#include "tests/support/LogCapture.h"
#include "transport/connection/TranserThread.h"
#include "transport/wire/ByteOrder.h"
#include "transport/wire/HostMessages.h"

namespace tarnix {
namespace {

using test::PumpUntil;
using test::TCoreTestHost;

class HostMessageBadInput : public ::testing::Test {
 protected:
  void Connect(const std::string& aliceName = "alice") {
    alice = std::make_unique<TCoreTestHost>(aliceName);
    alice->Start();
    bob.Start();
    bobAtAlice = alice->AddMemberFor(bob);
    aliceAtBob = bob.AddMember(aliceName);
    alice->members->ConnectAll();
    ASSERT_TRUE(PumpUntil({alice.get(), &bob}, [&] {
      return bobAtAlice->Online() && aliceAtBob->Online() &&
             aliceAtBob->Node().GetDispname() == aliceName + " display";
    }));
  }

  // Raw bytes as the data of a task named "internal", from alice to bob.
  void SendRaw(std::vector<uint8_t> bytes) {
    streams.push_back(std::make_unique<TMemoryStream>(std::move(bytes)));
    ASSERT_NE(bobAtAlice->Link()->NewTask("internal", streams.back().get(), 0, {}, ptDefault,
                                          btAutoStream),
              nullptr);
  }
  void Send(int32_t kind, const std::vector<uint8_t>& data) {
    alice->manager->SendInternal(bobAtAlice->Link(), kind, data);
  }
  // Waits until bob logged line; the link must still be up afterwards.
  void ExpectDropped(const std::string& line) {
    EXPECT_TRUE(PumpUntil({alice.get(), &bob}, [&] { return log.Contains(line); },
                          std::chrono::seconds(10)))
        << line << "\nlogged: " << Dropped();
    EXPECT_TRUE(aliceAtBob->Online());
    EXPECT_TRUE(aliceAtBob->Connected());
  }

  std::string Dropped() const {
    std::string out;
    for (const std::string& l : log.Lines()) {
      if (l.find("dropped") != std::string::npos || l.find("PacketCrashed") != std::string::npos) out += l + "\n";
    }
    return out;
  }

  test::TLogCapture log;
  std::vector<std::unique_ptr<TMemoryStream>> streams;  // before the hosts: outlive their tasks
  std::unique_ptr<TCoreTestHost> alice;
  TCoreTestHost bob{"bob"};
  THCMemberPtr bobAtAlice;
  THCMemberPtr aliceAtBob;
};

TEST_F(HostMessageBadInput, EnvelopesShorterThanTheirLayoutAreDropped) {
  Connect();
  SendRaw({1, 2, 3});
  ExpectDropped("Host message dropped: host message: Kind needs 4 bytes, message has 3");
  // A display name that claims 100 bytes and brings 5.
  std::vector<uint8_t> lying;
  TByteWriter w(lying);
  w.I32(imDisplayName);
  w.I32(100);
  w.Bytes(std::string_view("short"));
  SendRaw(lying);
  ExpectDropped("Host message dropped: host message: Data needs 108 bytes, message has 13");
  EXPECT_EQ(aliceAtBob->Node().GetDispname(), "alice display");
  // A negative length.
  std::vector<uint8_t> negative;
  TByteWriter n(negative);
  n.I32(imState);
  n.I32(-4);
  SendRaw(negative);
  ExpectDropped("Host message dropped: host message Length -4 outside 0..4194304");
}

TEST_F(HostMessageBadInput, TasksThatCannotBeAHostMessageAreRefusedOnArrival) {
  Connect();
  streams.push_back(std::make_unique<TMemoryStream>(BuildInt32HostMessage(imState, 3)));
  ASSERT_NE(bobAtAlice->Link()->NewTask("internal", streams.back().get(), 0, {}, ptDefault, btStream),
            nullptr);
  ExpectDropped("Host message refused: buffer type 0");
  SendRaw(std::vector<uint8_t>(kMaxHostMessageSize + 1, 0));
  ExpectDropped("Host message refused: " + std::to_string(kMaxHostMessageSize + 1) +
                " bytes, more than " + std::to_string(kMaxHostMessageSize));
  EXPECT_EQ(aliceAtBob->State(), kStateOnline);
}

TEST_F(HostMessageBadInput, MessagesShorterThanTheirKindAreDroppedWithTheirKind) {
  Connect();
  Send(imState, {1, 0});
  ExpectDropped("Host message 12 dropped: host message value: value needs 4 bytes, message has 2");
  Send(imSettings, {0, 0, 0, 0});
  ExpectDropped(
      "Host message 3 dropped: imSettings: ServerPort needs 8 bytes, message has 4");
  Send(imVersion, {1, 0, 2, 0});
  ExpectDropped("Host message 4 dropped: imVersion: Release needs 6 bytes, message has 4");
}

TEST_F(HostMessageBadInput, SettingsWithAnUnusableBufferSizeOrPortAreDropped) {
  Connect();
  const int before = aliceAtBob->Link()->BufferSize();
  const int port = aliceAtBob->Node().GetPort();
  Send(imSettings, BuildSettingsMessage({0, 9000, 0}));
  ExpectDropped("imSettings dropped: buffer size 0");
  Send(imSettings, BuildSettingsMessage({-5, 9000, 0}));
  ExpectDropped("imSettings dropped: buffer size -5");
  Send(imSettings, BuildSettingsMessage({4096, 70000, 0}));
  ExpectDropped("imSettings dropped: port 70000");
  EXPECT_EQ(aliceAtBob->Link()->BufferSize(), before);
  EXPECT_EQ(aliceAtBob->Node().GetPort(), port);
  // A sound one still applies: 4096 against bob's 32767 gives 4096.
  Send(imSettings, BuildSettingsMessage({4096, 9000, 0}));
  EXPECT_TRUE(PumpUntil({alice.get(), &bob}, [&] { return aliceAtBob->Link()->BufferSize() == 4096; }));
}

TEST_F(HostMessageBadInput, OverlongDisplayNamesAreDroppedAndNamesStopAtAZeroByte) {
  Connect();
  Send(imDisplayName, std::vector<uint8_t>(2000, 'x'));
  ExpectDropped("imDisplayName dropped: 2000 bytes, more than 1024");
  EXPECT_EQ(aliceAtBob->Node().GetDispname(), "alice display");
  Send(imDisplayName, {'A', 'n', 0, 'z', 'z'});
  EXPECT_TRUE(PumpUntil({alice.get(), &bob}, [&] { return aliceAtBob->Node().GetDispname() == "An"; }));
}

TEST_F(HostMessageBadInput, PicturesThatAreNoBitmapOrTooLargeAreNotSaved) {
  Connect();
  const auto path = BuddyIconPath(bob.Folder(), "alice");
  Send(imBuddyIcon, {'G', 'I', 'F', '8', '9', 'a', 0, 0});
  ExpectDropped("Buddy icon of alice dropped: not a bitmap");
  std::vector<uint8_t> truncated = test::MakeBitmap(16, 16);
  truncated.resize(60);
  Send(imBuddyIcon, truncated);
  ExpectDropped("Buddy icon of alice dropped: not a bitmap");
  Send(imBuddyIcon, test::MakeBitmap(600, 600));  // about 1 MB of pixels
  ExpectDropped("Buddy icon of alice dropped: 1080054 bytes, more than 1048576");
  EXPECT_FALSE(std::filesystem::exists(path));
  const std::vector<uint8_t> good = test::MakeBitmap(2, 2);
  Send(imBuddyIcon, good);
  EXPECT_TRUE(PumpUntil({alice.get(), &bob}, [&] { return std::filesystem::exists(path); }));
}

// Fault mended: a member's user name went into the picture's file name as it
// stood, so a peer named "../x" wrote outside "config/bubbyicon/".
TEST_F(HostMessageBadInput, AUserNameCannotLeadThePictureOutOfItsFolder) {
  Connect("../../evil");
  const std::vector<uint8_t> picture = test::MakeBitmap(3, 3);
  Send(imBuddyIcon, picture);
  const auto inside = BuddyIconFolder(bob.Folder()) / "..%2F..%2Fevil.bmp";
  EXPECT_TRUE(PumpUntil({alice.get(), &bob}, [&] { return std::filesystem::exists(inside); }));
  EXPECT_FALSE(std::filesystem::exists(bob.Folder() / "evil.bmp"));
  EXPECT_FALSE(std::filesystem::exists(bob.Folder() / "config" / "evil.bmp"));
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(bob.Folder())) {
    if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(bob.Folder()).string());
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"config/bubbyicon/..%2F..%2Fevil.bmp", "config/config.dat"}))
      << "nothing but the picture (and the saved configuration) was written";
}

TEST(AuthRequestBadInput, EmptyOrOverlongNamesAreRefusedWithResultTwo) {
  test::TLogCapture log;
  TCoreTestHost bob("bob");
  bob.Start();
  bob.SetNewPeerAnswer(true);
  for (const std::string& name : {std::string(), std::string(300, 'n'), std::string("a\x01b")}) {
    TCoreTestHost peer(name);
    peer.Start();
    const THCMemberPtr bobAtPeer = peer.AddMemberFor(bob, "some-key");
    peer.members->ConnectAll();
    EXPECT_TRUE(PumpUntil({&peer, &bob}, [&] {
      return bobAtPeer->Link() == nullptr && log.Contains("Authentication NG: bob");
    })) << name.size();
    EXPECT_TRUE(peer.Boxes().empty()) << "refused (2), not a wrong key (1)";
    EXPECT_EQ(bob.members->Count(), 0);
    EXPECT_TRUE(bob.NewPeers().empty());
  }
  EXPECT_TRUE(log.Contains("Authentication refused: a user name of 0 bytes and a key of 8 bytes "
                           "(each must be 1 to 255 bytes without control characters)"));
}

}  // namespace
}  // namespace tarnix
