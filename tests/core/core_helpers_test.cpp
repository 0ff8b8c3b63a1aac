// The small pure parts of the member core: picture file names and the bitmap
// check, link parameters, text formatting and generated keys.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <vector>

#include "core/TextFormat.h"
#include "core/manager/BuddyIcon.h"
#include "core/manager/LinkParameters.h"
#include "tests/support/BitmapBytes.h"
#include "tests/support/CoreTestHost.h"

namespace tarnix {
namespace {

TEST(BuddyIconFileName, SafeNamesStayWholeAndUnsafeBytesAreEscaped) {
  const struct {
    std::string name;
    std::string file;
  } cases[] = {
      {"alice", "alice.bmp"},
      {"a.b.c", "a.b.c.bmp"},  // a name with dots keeps all of them
      {"..", "...bmp"},
      {"../x", "..%2Fx.bmp"},
      {"a\\b", "a%5Cb.bmp"},
      {"50%", "50%25.bmp"},
      {std::string("tab\tnul\0x", 9), "tab%09nul%00x.bmp"},
      {"myself", "%6Dyself.bmp"},  // never the own picture
      {"myself2", "myself2.bmp"},
      {"名前", "名前.bmp"},
      {"", ".bmp"},
  };
  for (const auto& c : cases) EXPECT_EQ(BuddyIconFileName(c.name), c.file) << c.name;
  EXPECT_EQ(BuddyIconFileName(std::string(300, 'a')), "") << "too long for a file name";
  // One-to-one: different names never share a file.
  std::set<std::string> files;
  for (const auto& c : cases) files.insert(BuddyIconFileName(c.name));
  EXPECT_EQ(files.size(), std::size(cases));
}

TEST(BuddyIconFileName, EveryPathStaysDirectlyInTheFolder) {
  const std::filesystem::path program = "/opt/tarnix";
  for (const std::string name : {"../../etc/passwd", "/abs", "a/../../b", "..\\..", "./.", "x/"}) {
    const auto path = BuddyIconPath(program, name);
    EXPECT_EQ(path.parent_path(), BuddyIconFolder(program)) << name;
    EXPECT_EQ(path.lexically_normal().parent_path(), BuddyIconFolder(program)) << name;
  }
}

TEST(BitmapCheck, AcceptsBitmapsAndRefusesEverythingElse) {
  EXPECT_TRUE(IsPlausibleBitmap(test::MakeBitmap(1, 1)));
  EXPECT_TRUE(IsPlausibleBitmap(test::MakeBitmap(32, 20)));
  std::vector<uint8_t> topDown = test::MakeBitmap(3, 3);
  topDown[22] = 0xFD;  // height -3
  topDown[23] = topDown[24] = topDown[25] = 0xFF;
  EXPECT_TRUE(IsPlausibleBitmap(topDown));

  const auto broken = [](auto change) {
    std::vector<uint8_t> d = test::MakeBitmap(8, 8);
    change(d);
    return IsPlausibleBitmap(d);
  };
  EXPECT_FALSE(IsPlausibleBitmap({}));
  EXPECT_FALSE(broken([](auto& d) { d[0] = 'G'; }));
  EXPECT_FALSE(broken([](auto& d) { d.resize(40); }));                   // inside the header
  EXPECT_FALSE(broken([](auto& d) { d.resize(d.size() - 1); }));         // pixels cut short
  EXPECT_FALSE(broken([](auto& d) { d[14] = 41; }));                     // unknown header size
  EXPECT_FALSE(broken([](auto& d) { d[18] = d[19] = 0; }));              // width 0
  EXPECT_FALSE(broken([](auto& d) { d[20] = 0xFF; d[21] = 0x7F; }));     // width 2^31-ish
  EXPECT_FALSE(broken([](auto& d) { d[28] = 7; }));                      // 7 bits a pixel
  EXPECT_FALSE(broken([](auto& d) { d[26] = 2; }));                      // two planes
  EXPECT_FALSE(broken([](auto& d) { d[30] = 9; }));                      // unknown compression
  EXPECT_FALSE(broken([](auto& d) { d[10] = 0xF0; d[11] = 0xFF; }));     // pixels past the end
}

TEST(BuddyIconFiles, SaveWritesInsideTheFolderAndTheOwnPictureIsBounded) {
  test::TTempFolder folder;
  const std::vector<uint8_t> data = test::MakeBitmap(2, 2);
  ASSERT_TRUE(SaveBuddyIcon(folder.Path(), "a/b", data));
  EXPECT_EQ(test::ReadFile(BuddyIconFolder(folder.Path()) / "a%2Fb.bmp"),
            std::string(data.begin(), data.end()));
  EXPECT_FALSE(ReadOwnBuddyIcon(folder.Path()).has_value());
  test::WriteFile(OwnBuddyIconPath(folder.Path()), std::string(kMaxBuddyIconSize + 1, 'x'));
  EXPECT_FALSE(ReadOwnBuddyIcon(folder.Path()).has_value());
  test::WriteFile(OwnBuddyIconPath(folder.Path()), "BM");
  EXPECT_EQ(ReadOwnBuddyIcon(folder.Path()), (std::vector<uint8_t>{'B', 'M'}));
}

TEST(LinkParameters, BufferSizeAndTheAddressAndPortRules) {
  EXPECT_EQ(AgreedBufferSize(65536, 32767), 32767);
  EXPECT_EQ(AgreedBufferSize(4096, 32767), 4096);
  const struct {
    std::string addr;
    int port;
    int peerPort;
    int unknown;
    TLinkUpdate update;
  } cases[] = {
      // with an address: the peer's port, whatever the flag
      {"host.example", 8007, 9000, 1, {9000, std::nullopt}},
      {"host.example", 0, 9000, 0, {9000, std::nullopt}},
      // no address, no port: the port, and the remote host when the peer knows ours
      {"", 0, 9000, 0, {9000, std::string("10.0.0.5")}},
      {"", 0, 9000, 1, {9000, std::nullopt}},
      // no address but a port: nothing
      {"", 8007, 9000, 0, {std::nullopt, std::nullopt}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(DecideLinkUpdate(c.addr, c.port, c.peerPort, c.unknown, "10.0.0.5"), c.update)
        << c.addr << " " << c.port << " " << c.unknown;
  }
}

TEST(TextFormat, ReplacesTheFirstPlaceHolder) {
  EXPECT_EQ(FormatText("Key of %s is wrong", "bob"), "Key of bob is wrong");
  EXPECT_EQ(FormatText("%s and %s", "a"), "a and %s");
  EXPECT_EQ(FormatText("100%% %s", "x"), "100% x");
  EXPECT_EQ(FormatText("no holder", "x"), "no holder");
  EXPECT_EQ(FormatText("ends in %", "x"), "ends in %");
}

TEST(GenerateKey, ThirtyTwoLowercaseHexDigitsNewEachTime) {
  test::TCoreTestHost host("me");
  std::set<std::string> keys;
  for (int i = 0; i < 20; ++i) {
    const std::string key = host.manager->GenerateKey("peer");
    EXPECT_TRUE(std::regex_match(key, std::regex("[0-9a-f]{32}"))) << key;
    keys.insert(key);
  }
  EXPECT_EQ(keys.size(), 20u);
}

}  // namespace
}  // namespace tarnix
