// The CBC wrapper: padding modes, the fixed vector, lengths and the errors
// for undecodable input.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "transport/crypto/BlowFish.h"
#include "transport/crypto/CryptUtils.h"

namespace tarnix {
namespace {

using Bytes = std::vector<uint8_t>;

std::string ToHex(const Bytes& data) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : data) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

std::string ToHex(std::string_view data) { return ToHex(Bytes(data.begin(), data.end())); }

Bytes Sample(int n) {
  Bytes out(static_cast<size_t>(n));
  for (int i = 0; i < n; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(i * 37 + 11);
  return out;
}

std::unique_ptr<TCryptCBC> MakeCrypt(uint8_t padding, std::string_view key = "tomqel") {
  return std::make_unique<TCryptCBC>(key, std::make_unique<TBlowFish>(), kFixedIV, kFixedIVLen, padding);
}

Bytes EncryptWith(uint8_t padding, const Bytes& plain) {
  auto crypt = MakeCrypt(padding);
  const int n = static_cast<int>(plain.size());
  Bytes out(static_cast<size_t>(crypt->OutputSize(n)));
  EXPECT_EQ(crypt->Encrypt(plain.data(), out.data(), n), static_cast<int>(out.size()));
  return out;
}

// Decrypts without removing anything, to look at the padding as it was sent.
Bytes RawDecrypt(const Bytes& coded) {
  auto crypt = MakeCrypt(kPaddingNone);
  Bytes out(coded.size());
  EXPECT_EQ(crypt->Decrypt(coded.data(), out.data(), static_cast<int>(coded.size())), static_cast<int>(coded.size()));
  return out;
}

TEST(CryptoCbcTest, FixedVectorBytes) {
  EXPECT_EQ(ToHex(Bytes(std::begin(kFixedIV), std::end(kFixedIV))), "3A9C0E57D268B1F4");
}

TEST(CryptoCbcTest, MatchesAnIndependentBlowfishCbc) {
  // Computed once with another Blowfish-CBC implementation (PKCS #7 padding,
  // key "tomqel", the fixed vector).
  struct Case {
    std::string plain;
    const char* cipher;
  };
  const Case cases[] = {
      {"", "D7D30AAA05B87895"},
      {"Hello, peer!", "26CE56E7D30A0E05C350F640E549C51F"},
      {"0123456789ABCDEF", "5A11FFFF956CB20CD586BE696F511A964F6D943DE137B1E7"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.plain);
    const std::string coded = BlowfishCbcEncrypt(c.plain, "tomqel");
    EXPECT_EQ(ToHex(coded), c.cipher);
    EXPECT_EQ(BlowfishCbcDecrypt(coded, "tomqel"), c.plain);
  }
}

TEST(CryptoCbcTest, CountPaddingSizes) {
  // 0 bytes give one block of eight 8s; 7 bytes end with a single 1; a whole
  // block gets a whole block of padding.
  struct Case {
    int plainLen;
    int codedLen;
    int padValue;
  };
  for (const Case& c : {Case{0, 8, 8}, Case{7, 8, 1}, Case{8, 16, 8}, Case{15, 16, 1}, Case{16, 24, 8}}) {
    SCOPED_TRACE(c.plainLen);
    const Bytes plain = Sample(c.plainLen);
    const Bytes coded = EncryptWith(kPaddingCount, plain);
    ASSERT_EQ(static_cast<int>(coded.size()), c.codedLen);
    const Bytes raw = RawDecrypt(coded);
    EXPECT_TRUE(std::equal(plain.begin(), plain.end(), raw.begin()));
    for (int i = c.plainLen; i < c.codedLen; ++i) EXPECT_EQ(raw[static_cast<size_t>(i)], c.padValue) << "at " << i;

    auto crypt = MakeCrypt(kPaddingCount);
    Bytes back(coded.size());
    EXPECT_EQ(crypt->Decrypt(coded.data(), back.data(), c.codedLen), c.plainLen);
    back.resize(static_cast<size_t>(c.plainLen));
    EXPECT_EQ(back, plain);
  }
}

TEST(CryptoCbcTest, EveryPaddingModeRoundTrips) {
  struct Mode {
    uint8_t padding;
    uint8_t firstPad;  // the first pad byte
    uint8_t restPad;   // the following pad bytes (count padding: the count)
  };
  const Mode modes[] = {
      {kPaddingCount, 0, 0}, {kPaddingOneZeros, 0x80, 0x00}, {kPaddingZeros, 0, 0}, {kPaddingSpaces, 0x20, 0x20}};
  for (const Mode& mode : modes) {
    for (int n = 0; n <= 25; ++n) {
      SCOPED_TRACE("mode " + std::to_string(mode.padding) + " length " + std::to_string(n));
      // Data that ends in neither a zero nor a space, so modes 2 and 3 can
      // tell data from padding.
      Bytes plain = Sample(n);
      if (n > 0) plain.back() = 'x';
      auto crypt = MakeCrypt(mode.padding);
      const int outSize = crypt->OutputSize(n);
      EXPECT_EQ(outSize, (n / 8 + 1) * 8);
      Bytes coded(static_cast<size_t>(outSize));
      ASSERT_EQ(crypt->Encrypt(plain.data(), coded.data(), n), outSize);

      const Bytes raw = RawDecrypt(coded);
      const int k = outSize - n;
      const uint8_t expectFirst = mode.padding == kPaddingCount ? static_cast<uint8_t>(k) : mode.firstPad;
      const uint8_t expectRest = mode.padding == kPaddingCount ? static_cast<uint8_t>(k) : mode.restPad;
      EXPECT_EQ(raw[static_cast<size_t>(n)], expectFirst);
      for (int i = n + 1; i < outSize; ++i) EXPECT_EQ(raw[static_cast<size_t>(i)], expectRest);

      Bytes back(coded.size());
      ASSERT_EQ(crypt->Decrypt(coded.data(), back.data(), outSize), n);
      back.resize(static_cast<size_t>(n));
      EXPECT_EQ(back, plain);
    }
  }
  // Mode 4 adds nothing and takes whole blocks only.
  for (int n : {0, 8, 24}) {
    auto crypt = MakeCrypt(kPaddingNone);
    const Bytes plain = Sample(n);
    EXPECT_EQ(crypt->OutputSize(n), n);
    Bytes coded(static_cast<size_t>(n));
    ASSERT_EQ(crypt->Encrypt(plain.data(), coded.data(), n), n);
    Bytes back(static_cast<size_t>(n));
    ASSERT_EQ(crypt->Decrypt(coded.data(), back.data(), n), n);
    EXPECT_EQ(back, plain);
  }
}

TEST(CryptoCbcTest, EveryCallStartsFromTheVector) {
  const Bytes plain = Sample(20);
  auto crypt = MakeCrypt(kPaddingCount);
  Bytes first(24);
  Bytes second(24);
  crypt->Encrypt(plain.data(), first.data(), 20);
  crypt->Encrypt(plain.data(), second.data(), 20);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first, EncryptWith(kPaddingCount, plain));
  // Chaining: equal plain blocks give different cipher blocks within a call.
  const Bytes twice(16, 0x41);
  const Bytes coded = EncryptWith(kPaddingNone, twice);
  EXPECT_NE(Bytes(coded.begin(), coded.begin() + 8), Bytes(coded.begin() + 8, coded.end()));
}

TEST(CryptoCbcTest, ShortVectorIsFilledWithZeros) {
  const uint8_t shortIv[3] = {0x3A, 0x9C, 0x0E};
  const uint8_t paddedIv[8] = {0x3A, 0x9C, 0x0E, 0, 0, 0, 0, 0};
  TCryptCBC a("key", std::make_unique<TBlowFish>(), shortIv, 3, kPaddingCount);
  TCryptCBC b("key", std::make_unique<TBlowFish>(), paddedIv, 8, kPaddingCount);
  const Bytes plain = Sample(11);
  Bytes x(16);
  Bytes y(16);
  a.Encrypt(plain.data(), x.data(), 11);
  b.Encrypt(plain.data(), y.data(), 11);
  EXPECT_EQ(x, y);
}

TEST(CryptoCbcTest, WorksInPlace) {
  const Bytes plain = Sample(13);
  Bytes buffer = plain;
  buffer.resize(16);
  auto crypt = MakeCrypt(kPaddingCount);
  ASSERT_EQ(crypt->Encrypt(buffer.data(), buffer.data(), 13), 16);
  EXPECT_EQ(buffer, EncryptWith(kPaddingCount, plain));
  ASSERT_EQ(crypt->Decrypt(buffer.data(), buffer.data(), 16), 13);
  buffer.resize(13);
  EXPECT_EQ(buffer, plain);
}

TEST(CryptoCbcTest, OwnershipFollowsTheConstructor) {
  auto owning = MakeCrypt(kPaddingCount);
  EXPECT_TRUE(owning->OwnsCipher());
  TBlowFish cipher;
  {
    TCryptCBC borrowing("tomqel", cipher, kFixedIV, kFixedIVLen, kPaddingCount);
    EXPECT_FALSE(borrowing.OwnsCipher());
  }
  // The borrowed cipher outlives the wrapper, keyed by it.
  uint8_t block[8] = {};
  cipher.EncryptBytes(block, block);
  EXPECT_EQ(cipher.CipherName(), "BlowFish");
}

// A wrong key or damaged data shows as a pad count of 0 or more than a block.
// That must be "Crypt Error", never a negative length or a read outside the block.
TEST(CryptoCbcTest, BadPadCountIsCryptError) {
  for (uint8_t last : {uint8_t{0}, uint8_t{9}, uint8_t{0x80}, uint8_t{0xFF}}) {
    SCOPED_TRACE(static_cast<int>(last));
    Bytes plain = Sample(16);
    plain.back() = last;
    const Bytes coded = EncryptWith(kPaddingNone, plain);
    auto crypt = MakeCrypt(kPaddingCount);
    Bytes out(coded.size());
    try {
      crypt->Decrypt(coded.data(), out.data(), static_cast<int>(coded.size()));
      FAIL() << "decrypted despite pad count " << static_cast<int>(last);
    } catch (const ECryptError& e) {
      EXPECT_STREQ(e.what(), "Crypt Error");
    }
  }
  // A whole file under another key.
  const std::string coded = BlowfishCbcEncrypt("some configuration text", "right key");
  int failures = 0;
  for (const char* key : {"wrong key", "right kez", "RIGHT KEY"}) {
    try {
      const std::string plain = BlowfishCbcDecrypt(coded, key);
      EXPECT_LE(plain.size(), coded.size());  // a lucky pad byte still stays in bounds
    } catch (const ECryptError&) {
      ++failures;
    }
  }
  EXPECT_GE(failures, 1);
}

TEST(CryptoCbcTest, OneAndZerosWithoutMarkerIsCryptError) {
  for (const Bytes& lastBlock : {Bytes(8, 0), Bytes{1, 2, 3, 4, 5, 6, 7, 0x7F}, Bytes{1, 2, 3, 4, 5, 6, 0x81, 0}}) {
    const Bytes coded = EncryptWith(kPaddingNone, lastBlock);
    auto crypt = MakeCrypt(kPaddingOneZeros);
    Bytes out(8);
    EXPECT_THROW(crypt->Decrypt(coded.data(), out.data(), 8), ECryptError);
  }
}

TEST(CryptoCbcTest, LengthsThatAreNotWholeBlocksAreAssertionFailures) {
  auto expectAssertion = [](auto&& call) {
    try {
      call();
      ADD_FAILURE() << "no assertion failure";
    } catch (const EAssertionFailed& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find("Assertion failure"), std::string::npos) << what;
      EXPECT_NE(what.find("CryptUtils"), std::string::npos) << what;
    }
  };
  Bytes buffer(32);
  for (int n : {1, 7, 9, 13, 31}) {
    SCOPED_TRACE(n);
    expectAssertion([&] { MakeCrypt(kPaddingCount)->Decrypt(buffer.data(), buffer.data(), n); });
    expectAssertion([&] { MakeCrypt(kPaddingNone)->Encrypt(buffer.data(), buffer.data(), n); });
    expectAssertion([&] { BlowfishCbcDecrypt(std::string(static_cast<size_t>(n), 'a'), "tomqel"); });
  }
  expectAssertion([&] { MakeCrypt(kPaddingCount)->Encrypt(buffer.data(), buffer.data(), -1); });
  expectAssertion([&] { MakeCrypt(5); });
}

TEST(CryptoCbcTest, EmptyInputHasNoPaddingToRemove) {
  EXPECT_THROW(BlowfishCbcDecrypt("", "tomqel"), ECryptError);
  Bytes none;
  EXPECT_EQ(MakeCrypt(kPaddingNone)->Decrypt(none.data(), none.data(), 0), 0);
}

}  // namespace
}  // namespace tarnix
