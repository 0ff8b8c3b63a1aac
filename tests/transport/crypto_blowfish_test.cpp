// Blowfish against the published test vectors (the standard table: the ECB
// vectors, the set-key vectors for key lengths 1 to 24, and the CBC example).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "transport/crypto/BlowFish.h"
#include "transport/crypto/CryptUtils.h"

namespace tarnix {
namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

std::string ToHex(const uint8_t* data, size_t size) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 15];
  }
  return out;
}

struct BlockVector {
  const char* key;
  const char* plain;
  const char* cipher;
};

const BlockVector kEcbVectors[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
    {"7CA110454A1A6E57", "01A1D6D039776742", "59C68245EB05282B"},
    {"0131D9619DC1376E", "5CD54CA83DEF57DA", "B1B8CC0B250F09A0"},
    {"07A1133E4A0B2686", "0248D43806F67172", "1730E5778BEA1DA4"},
    {"3849674C2602319E", "51454B582DDF440A", "A25E7856CF2651EB"},
    {"04B915BA43FEB5B6", "42FD443059577FA2", "353882B109CE8F1A"},
    {"0113B970FD34F2CE", "059B5E0851CF143A", "48F4D0884C379918"},
    {"0170F175468FB5E6", "0756D8E0774761D2", "432193B78951FC98"},
    {"43297FAD38E373FE", "762514B829BF486A", "13F04154D69D1AE5"},
    {"07A7137045DA2A16", "3BDD119049372802", "2EEDDA93FFD39C79"},
    {"04689104C2FD3B2F", "26955F6835AF609A", "D887E0393C2DA6E3"},
    {"37D06BB516CB7546", "164D5E404F275232", "5F99D04F5B163969"},
    {"1F08260D1AC2465E", "6B056E18759F5CCA", "4A057A3B24D3977B"},
    {"584023641ABA6176", "004BD6EF09176062", "452031C1E4FADA8E"},
    {"025816164629B007", "480D39006EE762F2", "7555AE39F59B87BD"},
    {"49793EBC79B3258F", "437540C8698F3CFA", "53C55F9CB49FC019"},
    {"4FB05E1515AB73A7", "072D43A077075292", "7A8E7BFA937E89A3"},
    {"49E95D6D4CA229BF", "02FE55778117F12A", "CF9C5D7A4986ADB5"},
    {"018310DC409B26D6", "1D9D5C5018F728C2", "D1ABB290658BC778"},
    {"1C587F1C13924FEF", "305532286D6F295A", "55CB3774D13EF201"},
    {"0101010101010101", "0123456789ABCDEF", "FA34EC4847B268B2"},
    {"1F1F1F1F0E0E0E0E", "0123456789ABCDEF", "A790795108EA3CAE"},
    {"E0FEE0FEF1FEF1FE", "0123456789ABCDEF", "C39E072D9FAC631D"},
    {"0000000000000000", "FFFFFFFFFFFFFFFF", "014933E0CDAFF6E4"},
    {"FFFFFFFFFFFFFFFF", "0000000000000000", "F21E9A77B71C49BC"},
    {"0123456789ABCDEF", "0000000000000000", "245946885754369A"},
    {"FEDCBA9876543210", "FFFFFFFFFFFFFFFF", "6B5C5A9C5D9E0A5A"},
};

const BlockVector kSetKeyVectors[] = {
    {"F0", "FEDCBA9876543210", "F9AD597C49DB005E"},
    {"F0E1", "FEDCBA9876543210", "E91D21C1D961A6D6"},
    {"F0E1D2", "FEDCBA9876543210", "E9C2B70A1BC65CF3"},
    {"F0E1D2C3", "FEDCBA9876543210", "BE1E639408640F05"},
    {"F0E1D2C3B4", "FEDCBA9876543210", "B39E44481BDB1E6E"},
    {"F0E1D2C3B4A5", "FEDCBA9876543210", "9457AA83B1928C0D"},
    {"F0E1D2C3B4A596", "FEDCBA9876543210", "8BB77032F960629D"},
    {"F0E1D2C3B4A59687", "FEDCBA9876543210", "E87A244E2CC85E82"},
    {"F0E1D2C3B4A5968778", "FEDCBA9876543210", "15750E7A4F4EC577"},
    {"F0E1D2C3B4A596877869", "FEDCBA9876543210", "122BA70B3AB64AE0"},
    {"F0E1D2C3B4A5968778695A", "FEDCBA9876543210", "3A833C9AFFC537F6"},
    {"F0E1D2C3B4A5968778695A4B", "FEDCBA9876543210", "9409DA87A90F6BF2"},
    {"F0E1D2C3B4A5968778695A4B3C", "FEDCBA9876543210", "884F80625060B8B4"},
    {"F0E1D2C3B4A5968778695A4B3C2D", "FEDCBA9876543210", "1F85031C19E11968"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E", "FEDCBA9876543210", "79D9373A714CA34F"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F", "FEDCBA9876543210", "93142887EE3BE15C"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F00", "FEDCBA9876543210", "03429E838CE2D14B"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011", "FEDCBA9876543210", "A4299E27469FF67B"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F001122", "FEDCBA9876543210", "AFD5AED1C1BC96A8"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F00112233", "FEDCBA9876543210", "10851C0E3858DA9F"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344", "FEDCBA9876543210", "E6F51ED79B9DB21F"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F001122334455", "FEDCBA9876543210", "64A6E14AFD36B46F"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F00112233445566", "FEDCBA9876543210", "80C7D7D45A5479AD"},
    {"F0E1D2C3B4A5968778695A4B3C2D1E0F0011223344556677", "FEDCBA9876543210", "05044B62FA52D080"},
};

void CheckVectors(const BlockVector* vectors, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    const BlockVector& v = vectors[i];
    SCOPED_TRACE(std::string("key ") + v.key + " plain " + v.plain);
    const std::vector<uint8_t> key = FromHex(v.key);
    const std::vector<uint8_t> plain = FromHex(v.plain);
    TBlowFish cipher;
    cipher.Init(key.data(), static_cast<int>(key.size()));
    uint8_t block[8];
    cipher.EncryptBytes(plain.data(), block);
    EXPECT_EQ(ToHex(block, 8), v.cipher);
    cipher.DecryptBytes(block, block);
    EXPECT_EQ(ToHex(block, 8), v.plain);
  }
}

TEST(CryptoBlowfishTest, EcbVectors) { CheckVectors(kEcbVectors, std::size(kEcbVectors)); }

TEST(CryptoBlowfishTest, SetKeyVectorsForEveryKeyLength) {
  ASSERT_EQ(std::size(kSetKeyVectors), 24u);
  CheckVectors(kSetKeyVectors, std::size(kSetKeyVectors));
}

TEST(CryptoBlowfishTest, CbcExampleWithZeroPadding) {
  const std::vector<uint8_t> key = FromHex("0123456789ABCDEFF0E1D2C3B4A59687");
  const std::vector<uint8_t> iv = FromHex("FEDCBA9876543210");
  // The example's data: the 28 characters and their terminating zero byte.
  const std::string data("7654321 Now is the time for \0", 29);
  TCryptCBC crypt(std::string_view(reinterpret_cast<const char*>(key.data()), key.size()),
                  std::make_unique<TBlowFish>(), iv.data(), 8, kPaddingZeros);
  ASSERT_EQ(crypt.OutputSize(29), 32);
  uint8_t out[32];
  ASSERT_EQ(crypt.Encrypt(reinterpret_cast<const uint8_t*>(data.data()), out, 29), 32);
  EXPECT_EQ(ToHex(out, 32), "6B77B4D63006DEE605B156E27403979358DEB9E7154616D959F1652BD5FF92CC");

  uint8_t back[32];
  // Zero padding also takes the data's own trailing zero byte.
  ASSERT_EQ(crypt.Decrypt(out, back, 32), 28);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(back), 28), data.substr(0, 28));
}

TEST(CryptoBlowfishTest, NameBlockSizeAndWordForm) {
  TBlowFish cipher;
  EXPECT_EQ(cipher.CipherName(), "BlowFish");
  EXPECT_EQ(cipher.BlockSize(), 8);
  // Load then Store gives the bytes back; the halves are big-endian words.
  const uint8_t bytes[8] = {0x01, 0x02, 0x03, 0x04, 0xA5, 0xB6, 0xC7, 0xD8};
  uint8_t words[8];
  cipher.LoadBlock(bytes, words);
  uint32_t left;
  uint32_t right;
  std::memcpy(&left, words, 4);
  std::memcpy(&right, words + 4, 4);
  EXPECT_EQ(left, 0x01020304u);
  EXPECT_EQ(right, 0xA5B6C7D8u);
  uint8_t back[8];
  cipher.StoreBlock(words, back);
  EXPECT_EQ(ToHex(back, 8), ToHex(bytes, 8));
}

TEST(CryptoBlowfishTest, ShortKeyIsRunCyclicallyOverThePArray) {
  // 72 key bytes fill the P-array once; a 3-byte key repeated 24 times is
  // what the schedule must see for "abc".
  std::string longKey;
  for (int i = 0; i < 24; ++i) longKey += "abc";
  TBlowFish shortCipher;
  shortCipher.Init(reinterpret_cast<const uint8_t*>("abc"), 3);
  TBlowFish longCipher;
  longCipher.Init(reinterpret_cast<const uint8_t*>(longKey.data()), static_cast<int>(longKey.size()));
  const uint8_t plain[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  uint8_t a[8];
  uint8_t b[8];
  shortCipher.EncryptBytes(plain, a);
  longCipher.EncryptBytes(plain, b);
  EXPECT_EQ(ToHex(a, 8), ToHex(b, 8));
  // Bytes past the 72nd do not reach the schedule.
  TBlowFish longerCipher;
  const std::string longerKey = longKey + "zzzz";
  longerCipher.Init(reinterpret_cast<const uint8_t*>(longerKey.data()), static_cast<int>(longerKey.size()));
  longerCipher.EncryptBytes(plain, b);
  EXPECT_EQ(ToHex(a, 8), ToHex(b, 8));
}

TEST(CryptoBlowfishTest, EmptyKeyIsRefused) {
  TBlowFish cipher;
  try {
    cipher.Init(reinterpret_cast<const uint8_t*>(""), 0);
    FAIL() << "an empty key was accepted";
  } catch (const EAssertionFailed& e) {
    EXPECT_NE(std::string(e.what()).find("Assertion failure"), std::string::npos);
  }
}

}  // namespace
}  // namespace tarnix
