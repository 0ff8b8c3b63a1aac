// LoadConfig and SaveConfig against real files in a scratch folder.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/config/hcConfig.h"
#include "tests/config/ConfigTestUtil.h"
#include "transport/crypto/BlowFish.h"
#include "transport/crypto/CryptUtils.h"

namespace tarnix {
namespace {

using testing::ReadAll;
using testing::WriteAll;

class ConfigFileTest : public ::testing::Test {
 protected:
  ConfigFile File() const { return ConfigFile::ForProgramFolder(dir_.Path()); }
  // Writes text as the encrypted configuration file.
  void Store(std::string_view text) { WriteAll(File().path, EncryptText(text, ConfigKeyText())); }
  std::string StoredText() const { return DecryptText(ReadAll(File().path), ConfigKeyText()); }
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(File().path.parent_path())) {
      if (entry.path() != File().path) names.push_back(entry.path().filename().string());
    }
    return names;
  }

  testing::TempDir dir_;
};

TEST_F(ConfigFileTest, FileSitsInTheConfigFolderOfTheProgramFolder) {
  EXPECT_EQ(File().path, dir_.Path() / "config" / "config.dat");
}

TEST_F(ConfigFileTest, NoFileGivesTheDefaultAndSavingCreatesIt) {
  const TXMLConfigType config = LoadConfig(File());
  EXPECT_FALSE(config.GetSetting().GetProfile().GetConfigured());
  EXPECT_EQ(config.GetSetting().GetServer().GetPort(), 8007);
  EXPECT_FALSE(std::filesystem::exists(File().path));

  std::filesystem::create_directories(File().path.parent_path());
  config.GetSetting().GetProfile().SetConfigured(true);
  SaveConfig(config);
  const std::string bytes = ReadAll(File().path);
  EXPECT_EQ(bytes.size() % 8, 0u);
  const std::string text = DecryptText(bytes, ConfigKeyText());
  EXPECT_EQ(text, ConfigText(config));
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\"?>", 0), 0u) << text;
  EXPECT_TRUE(LoadConfig(File()).GetSetting().GetProfile().GetConfigured());
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ConfigFileTest, OlderFileGetsMissingDefaultsAndKeepsUnknownElements) {
  Store(R"(<?xml version="1.0"?>
<config>
  <setting><server><port>9000</port></server><future>kept &amp; saved</future></setting>
  <syscon><launchnum>49</launchnum><vercheck>False</vercheck></syscon>
</config>)");
  const TXMLConfigType config = LoadConfig(File());
  const TXMLSysconType syscon = config.GetSyscon();
  EXPECT_TRUE(syscon.GetShowonstart());
  EXPECT_EQ(syscon.GetMainform().GetLeft(), 70);
  EXPECT_EQ(syscon.GetMainform().GetTop(), 100);
  EXPECT_EQ(syscon.GetMainform().GetWidth(), 225);
  EXPECT_EQ(syscon.GetMainform().GetHeight(), 300);
  EXPECT_EQ(syscon.GetLaunchnum(), 49);
  EXPECT_FALSE(syscon.GetVercheck());
  EXPECT_EQ(config.GetSetting().GetServer().GetPort(), 9000);
  EXPECT_FALSE(config.GetSetting().GetServer().GetUpnp());
  EXPECT_EQ(config.GetSetting().GetSender().GetBuffersize(), 32767);

  SaveConfig(config);
  const TXMLConfigType again = LoadConfig(File());
  EXPECT_STREQ(again.GetSetting().Node().child("future").text().get(), "kept & saved");
  EXPECT_TRUE(again.GetSyscon().GetShowonstart());
}

TEST_F(ConfigFileTest, StoredAnonymousMemberLoadsAsAPlainMember) {
  Store("<config><memberList><member><name>alice</name><auth>k</auth><port>8007</port><addr/>"
        "<dispname>Alice</dispname><anonymous>True</anonymous></member></memberList></config>");
  const TXMLConfigType config = LoadConfig(File());
  ASSERT_EQ(config.GetMemberList().Count(), 1);
  EXPECT_FALSE(config.GetMemberList().Item(0).GetAnonymous());
  SaveConfig(config);
  const TXMLConfigType again = LoadConfig(File());
  ASSERT_EQ(again.GetMemberList().Count(), 1);
  EXPECT_EQ(again.GetMemberList().Item(0).GetName(), "alice");
}

TEST_F(ConfigFileTest, SavingDropsAnonymousMembersFromFileAndMemory) {
  const TXMLConfigType config = LoadConfig(File());
  std::filesystem::create_directories(File().path.parent_path());
  const TXMLMemberListType list = config.GetMemberList();
  for (const char* name : {"anon1", "bob", "anon2", "carol", "anon3"}) {
    const TXMLMemberType member = list.Add();
    member.SetName(name);
    member.SetPort(0);
    member.SetAnonymous(std::string(name).rfind("anon", 0) == 0);
  }
  // A hand-edited entry with an unreadable flag is a stored member: kept.
  list.Add().SetName("dave");
  list.Item(5).Node().child("anonymous").text().set("?");
  SaveConfig(config);

  auto names = [](const TXMLMemberListType& l) {
    std::string out;
    for (int i = 0; i < l.Count(); ++i) out += l.Item(i).GetName() + ",";
    return out;
  };
  EXPECT_EQ(names(list), "bob,carol,dave,");
  EXPECT_EQ(names(LoadConfig(File()).GetMemberList()), "bob,carol,dave,");
}

TEST_F(ConfigFileTest, PluginElementsSurviveUnchanged) {
  const std::string plugins =
      "<plugin><chat v=\"2\"><font size=\"9\">MS &amp; Gothic</font><log on=\"1\"/>"
      "<text>line one\nline two</text><mixed>a<b>bold</b>c</mixed><space> </space></chat>"
      "<files><dir>/home/u/\xE5\x8F\x97\xE4\xBF\xA1</dir><![CDATA[<raw & data>]]></files></plugin>";
  Store("<config><setting>" + plugins + "</setting></config>");
  const TXMLConfigType config = LoadConfig(File());
  const std::string loaded = config.GetSetting().GetPlugin().Xml();
  SaveConfig(config);
  const TXMLConfigType again = LoadConfig(File());
  EXPECT_EQ(again.GetSetting().GetPlugin().Xml(), loaded);
  SaveConfig(again);
  EXPECT_EQ(LoadConfig(File()).GetSetting().GetPlugin().Xml(), loaded);
  EXPECT_NE(loaded.find("<text>line one\nline two</text>"), std::string::npos) << loaded;
  EXPECT_NE(loaded.find("<mixed>a<b>bold</b>c</mixed>"), std::string::npos) << loaded;
  EXPECT_NE(loaded.find("<space> </space>"), std::string::npos) << loaded;
  EXPECT_NE(loaded.find("<![CDATA[<raw & data>]]>"), std::string::npos) << loaded;
}

TEST_F(ConfigFileTest, NonAsciiTextsRoundTrip) {
  const std::string names[] = {"\xE5\xB1\xB1\xE7\x94\xB0 \xE5\xA4\xAA\xE9\x83\x8E",  // a Japanese name
                               "Ren\xC3\xA9\xE2\x98\x83", "\xF0\x9F\x98\x80 smile", "  spaced  ", "<&>\"'"};
  const TXMLConfigType config = LoadConfig(File());
  std::filesystem::create_directories(File().path.parent_path());
  config.GetSetting().GetProfile().SetDispname(names[0]);
  for (const std::string& name : names) config.GetMemberList().Add().SetDispname(name);
  SaveConfig(config);
  const TXMLConfigType again = LoadConfig(File());
  EXPECT_EQ(again.GetSetting().GetProfile().GetDispname(), names[0]);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(again.GetMemberList().Item(i).GetDispname(), names[i]);
}

// An element holding only white space got the default's children by the
// merge; the white space was then written as layout in front of them and the
// file read back as a different tree. A saved file must read back the same.
TEST_F(ConfigFileTest, SavedTextReadsBackAsTheSameTree) {
  Store("<config>\n<setting><registation>\n  </registation><profile>note\n  <dispname> </dispname></profile>"
        "</setting><syscon>\r\n</syscon></config>");
  const TXMLConfigType config = LoadConfig(File());
  EXPECT_EQ(config.GetSetting().GetProfile().GetDispname(), " ");
  config.GetSetting().GetPlugin().Node().append_child("p").text().set("cr\rlf\r\n");
  SaveConfig(config);
  const std::string saved = StoredText();
  const TXMLConfigType again = LoadConfig(File());
  EXPECT_EQ(ConfigText(again), saved);
  EXPECT_EQ(again.GetSetting().GetProfile().GetDispname(), " ");
  EXPECT_STREQ(again.GetSetting().GetPlugin().Node().child("p").text().get(), "cr\rlf\r\n");
}

TEST_F(ConfigFileTest, EncryptedEmptyTextLoadsAsTheDefault) {
  WriteAll(File().path, testing::FromHex(testing::kEmptyConfigFileHex));
  ASSERT_EQ(std::filesystem::file_size(File().path), 8u);
  const TXMLConfigType config = LoadConfig(File());
  EXPECT_FALSE(config.GetSetting().GetProfile().GetConfigured());
  EXPECT_EQ(config.GetSyscon().GetLanguage(), "japanese");
  EXPECT_EQ(config.GetSyscon().GetMainform().GetHeight(), 300);
}

TEST_F(ConfigFileTest, ReadsTheFileOfAnIndependentImplementation) {
  WriteAll(File().path, testing::FromHex(testing::kSmallConfigFileHex));
  const TXMLConfigType config = LoadConfig(File());
  EXPECT_EQ(config.GetSetting().GetProfile().GetDispname(), "\xE9\x9B\xAA\xE3\x81\xA0\xE3\x82\x8B\xE3\x81\xBE \xE2\x98\x83");
}

// A damaged file is a load error naming the file; it is never rewritten.
TEST_F(ConfigFileTest, DamagedFilesFailAndStayUntouched) {
  auto rawBlocks = [](std::string plain) {  // encrypted without padding
    TCryptCBC crypt(ConfigKeyText(), std::make_unique<TBlowFish>(), kFixedIV, kFixedIVLen, kPaddingNone);
    std::string out(plain.size(), '\0');
    crypt.Encrypt(reinterpret_cast<const uint8_t*>(plain.data()), reinterpret_cast<uint8_t*>(out.data()),
                  static_cast<int>(plain.size()));
    return out;
  };
  const std::string good = EncryptText(DefaultConfigText(), ConfigKeyText());
  struct Case {
    const char* name;
    std::string bytes;
    const char* cause;
  };
  const Case cases[] = {
      {"empty file", "", "Crypt Error"},
      {"length not a multiple of 8", good.substr(0, good.size() - 3), "Assertion failure"},
      {"pad count 0", rawBlocks("<config/>" + std::string(7, '\0')), "Crypt Error"},
      {"pad count 9", rawBlocks("<config/>\t\t\t\t\t\t\t"), "Crypt Error"},
      {"another key", EncryptText(DefaultConfigText(), "tomqel"), ""},
      {"not XML", EncryptText("just some words", ConfigKeyText()), "XML"},
      {"truncated XML", EncryptText("<config><setting>", ConfigKeyText()), "XML"},
      {"other root", EncryptText("<settings/>", ConfigKeyText()), "root"},
      {"two roots", EncryptText("<config/><config/>", ConfigKeyText()), "root"},
      {"a damaged block", [&] {
         std::string b = good;
         b[b.size() - 1] ^= 0x55;
         return b;
       }(), ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteAll(File().path, c.bytes);
    const auto before = std::filesystem::last_write_time(File().path);
    try {
      LoadConfig(File());
      ADD_FAILURE() << "loaded";
    } catch (const EConfigError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(File().path.string()), std::string::npos) << what;
      EXPECT_NE(what.find(c.cause), std::string::npos) << what;
    }
    EXPECT_EQ(ReadAll(File().path), c.bytes);
    EXPECT_EQ(std::filesystem::last_write_time(File().path), before);
  }
}

TEST_F(ConfigFileTest, BadValuesLoadAndRaiseWhereRead) {
  Store("<config><setting><server><port>80x7</port></server></setting></config>");
  const TXMLConfigType config = LoadConfig(File());
  EXPECT_THROW(config.GetSetting().GetServer().GetPort(), EConvertError);
  EXPECT_EQ(config.GetSyscon().GetLanguage(), "japanese");
}

TEST_F(ConfigFileTest, SavingWithoutAFileOrFolderRaises) {
  EXPECT_THROW(SaveConfig(ParseConfigText(DefaultConfigText())), EConfigError);
  const TXMLConfigType config = LoadConfig(File());  // the folder "config" does not exist yet
  EXPECT_THROW(SaveConfig(config), EConfigError);
  EXPECT_FALSE(std::filesystem::exists(File().path.parent_path()));
}

// Saving writes a new file and renames it over the old one: a failure in the
// middle (here a full disk, a file-size limit the write runs into) keeps the
// previous configuration whole.
TEST_F(ConfigFileTest, FailedSaveKeepsThePreviousFile) {
  Store(DefaultConfigText());
  const std::string previous = ReadAll(File().path);
  const TXMLConfigType config = LoadConfig(File());
  for (int i = 0; i < 200; ++i) config.GetMemberList().Add().SetName("member number " + std::to_string(i));

  struct rlimit old {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old;
  small.rlim_cur = 512;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool raised = false;
  try {
    SaveConfig(config);
  } catch (const EConfigError& e) {
    raised = true;
    EXPECT_NE(std::string(e.what()).find("config.dat"), std::string::npos) << e.what();
  }
  ::setrlimit(RLIMIT_FSIZE, &old);
  ::signal(SIGXFSZ, oldHandler);

  EXPECT_TRUE(raised);
  EXPECT_EQ(ReadAll(File().path), previous);
  EXPECT_TRUE(Leftovers().empty());
  // With room again, the same document saves.
  SaveConfig(config);
  EXPECT_EQ(LoadConfig(File()).GetMemberList().Count(), 200);
}

TEST_F(ConfigFileTest, SaveOverADirectoryFailsWithoutLeftovers) {
  std::filesystem::create_directories(File().path / "occupied");
  const TXMLConfigType config = LoadConfig(ConfigFile{dir_.Path() / "absent.dat"});
  EXPECT_THROW(SaveConfig(config, File()), EConfigError);
  EXPECT_TRUE(std::filesystem::is_directory(File().path / "occupied"));
  EXPECT_TRUE(Leftovers().empty());
}

TEST_F(ConfigFileTest, ReadOnlyFolderKeepsThePreviousFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
  Store(DefaultConfigText());
  const std::string previous = ReadAll(File().path);
  const TXMLConfigType config = LoadConfig(File());
  config.GetSyscon().SetLaunchnum(5);
  std::filesystem::permissions(File().path.parent_path(), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::remove);
  EXPECT_THROW(SaveConfig(config), EConfigError);
  std::filesystem::permissions(File().path.parent_path(), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  EXPECT_EQ(ReadAll(File().path), previous);
}

}  // namespace
}  // namespace tarnix
