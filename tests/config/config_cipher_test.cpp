// The configuration file's coding: key bytes, lengths, and interoperability
// with an independent Blowfish-CBC.
#include <gtest/gtest.h>

#include <string>

#include "app/config/hcConfig.h"
#include "tests/config/ConfigTestUtil.h"
#include "transport/crypto/CryptUtils.h"

namespace tarnix {
namespace {

using testing::FromHex;
using testing::ToHex;

TEST(ConfigCipherTest, KeyTextIsItsShiftJisBytes) {
  EXPECT_EQ(ConfigKeyText().size(), 10u);
  EXPECT_EQ(ToHex(ConfigKeyText()), "90E189F082AF90859848");
}

TEST(ConfigCipherTest, OutputIsTheNextWholeBlock) {
  struct Case {
    size_t plain;
    size_t coded;
  };
  for (const Case& c : {Case{0, 8}, Case{7, 8}, Case{8, 16}, Case{15, 16}, Case{16, 24}, Case{1000, 1008}}) {
    SCOPED_TRACE(c.plain);
    const std::string plain(c.plain, 'q');
    const std::string coded = EncryptText(plain, ConfigKeyText());
    EXPECT_EQ(coded.size(), c.coded);
    EXPECT_EQ(DecryptText(coded, ConfigKeyText()), plain);
  }
}

TEST(ConfigCipherTest, MatchesAnIndependentImplementation) {
  EXPECT_EQ(ToHex(EncryptText(testing::kSmallConfigText, ConfigKeyText())), testing::kSmallConfigFileHex);
  EXPECT_EQ(DecryptText(FromHex(testing::kSmallConfigFileHex), ConfigKeyText()), testing::kSmallConfigText);
  EXPECT_EQ(ToHex(EncryptText("", ConfigKeyText())), testing::kEmptyConfigFileHex);
  EXPECT_EQ(DecryptText(FromHex(testing::kEmptyConfigFileHex), ConfigKeyText()), "");
}

TEST(ConfigCipherTest, UndecodableInputRaisesTheCipherErrors) {
  EXPECT_THROW(DecryptText(std::string(12, 'x'), ConfigKeyText()), EAssertionFailed);
  EXPECT_THROW(DecryptText("", ConfigKeyText()), ECryptError);
}

}  // namespace
}  // namespace tarnix
