// The typed accessors: defaults, conversions, creation on read, the member
// list collection and raw node access.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "app/config/hcConfig.h"

namespace tarnix {
namespace {

TXMLConfigType Defaults() { return ParseConfigText(DefaultConfigText()); }

TEST(ConfigAccessorsTest, DefaultTextIsTrimmedAndComplete) {
  const std::string text = DefaultConfigText();
  EXPECT_EQ(text.rfind("<?xml version=\"1.0\" encoding=\"utf-8\" ?>\n", 0), 0u) << text;
  EXPECT_EQ(text.substr(text.size() - 9), "</config>");

  const TXMLConfigType config = Defaults();
  const TXMLSettingType setting = config.GetSetting();
  const TXMLSysconType syscon = config.GetSyscon();
  EXPECT_EQ(config.GetMemberList().Count(), 0);
  EXPECT_EQ(setting.GetServer().GetPort(), 8007);
  EXPECT_FALSE(setting.GetServer().GetUpnp());
  EXPECT_EQ(setting.GetSender().GetPackettype(), 0);
  EXPECT_EQ(setting.GetSender().GetBuffersize(), 32767);
  EXPECT_EQ(setting.GetSender().GetMaxsendcount(), 3);
  EXPECT_FALSE(setting.GetReceiver().GetSound());
  EXPECT_EQ(setting.GetRegistation().GetName(), "");
  EXPECT_EQ(setting.GetRegistation().GetPass(), "");
  EXPECT_FALSE(setting.GetRegistation().GetEnabled());
  EXPECT_EQ(setting.GetProfile().GetDispname(), "");
  EXPECT_FALSE(setting.GetProfile().GetConfigured());
  EXPECT_FALSE(setting.GetPlugin().Node().first_child());
  EXPECT_EQ(syscon.GetLaunchnum(), 0);
  EXPECT_EQ(syscon.GetMainform().GetLeft(), 70);
  EXPECT_EQ(syscon.GetMainform().GetTop(), 100);
  EXPECT_EQ(syscon.GetMainform().GetWidth(), 225);
  EXPECT_EQ(syscon.GetMainform().GetHeight(), 300);
  EXPECT_FALSE(syscon.GetWinstart());
  EXPECT_TRUE(syscon.GetVercheck());
  EXPECT_FALSE(syscon.GetAutohide());
  EXPECT_FALSE(syscon.GetTaskbutton());
  EXPECT_EQ(syscon.GetLanguage(), "japanese");
  EXPECT_TRUE(syscon.GetShowonstart());
  // Document order of the default.
  std::vector<std::string> order;
  for (pugi::xml_node n : syscon.Node().children()) order.emplace_back(n.name());
  EXPECT_EQ(order, (std::vector<std::string>{"launchnum", "mainform", "winstart", "vercheck", "autohide",
                                              "taskbutton", "language", "showonstart"}));
}

TEST(ConfigAccessorsTest, SettersWriteTheirTypesText) {
  const TXMLConfigType config = Defaults();
  const TXMLServerType server = config.GetSetting().GetServer();
  server.SetPort(12345);
  server.SetUpnp(true);
  config.GetSyscon().GetMainform().SetLeft(-40);
  config.GetSyscon().SetLanguage("english");
  EXPECT_STREQ(server.Node().child("port").text().get(), "12345");
  EXPECT_STREQ(server.Node().child("upnp").text().get(), "True");
  server.SetUpnp(false);
  EXPECT_STREQ(server.Node().child("upnp").text().get(), "False");
  EXPECT_EQ(server.GetPort(), 12345);
  EXPECT_EQ(config.GetSyscon().GetMainform().GetLeft(), -40);
  EXPECT_STREQ(config.GetSyscon().GetMainform().Node().attribute("left").value(), "-40");
  EXPECT_EQ(config.GetSyscon().GetLanguage(), "english");
}

TEST(ConfigAccessorsTest, BooleansReadWordsInAnyCaseOrIntegers) {
  struct Case {
    const char* text;
    bool value;
  };
  const Case good[] = {{"True", true},  {"TRUE", true},  {"true", true},   {"False", false}, {"fAlSe", false},
                       {"0", false},    {"1", true},     {"-1", true},     {"2", true},      {" True\n", true},
                       {"+0", false},   {"00", false}};
  for (const Case& c : good) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(ParseConfigBool(c.text, "x"), c.value);
  }
  for (const char* bad : {"", " ", "yes", "1.5", "Truex", "T", "99999999999", "0x1"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(ParseConfigBool(bad, "x"), EConvertError);
  }
}

TEST(ConfigAccessorsTest, BadNumbersNameThePathAndTheText) {
  for (const char* bad : {"", "abc", "12x", "99999999999", "1 2", "--1", "+"}) {
    SCOPED_TRACE(bad);
    const TXMLConfigType config = Defaults();
    config.GetSetting().GetServer().Node().child("port").text().set(bad);
    try {
      config.GetSetting().GetServer().GetPort();
      FAIL() << "converted";
    } catch (const EConvertError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find("config/setting/server/port"), std::string::npos) << what;
      EXPECT_NE(what.find(std::string("'") + bad + "'"), std::string::npos) << what;
    }
  }
  const TXMLConfigType config = Defaults();
  config.GetSyscon().Node().child("vercheck").text().set("maybe");
  try {
    config.GetSyscon().GetVercheck();
    FAIL() << "converted";
  } catch (const EConvertError& e) {
    EXPECT_NE(std::string(e.what()).find("config/syscon/vercheck"), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("'maybe'"), std::string::npos) << e.what();
  }
  EXPECT_EQ(ParseConfigInt(" 42\r\n", "x"), 42);
  EXPECT_EQ(ParseConfigInt("-2147483648", "x"), -2147483647 - 1);
}

TEST(ConfigAccessorsTest, ReadingAMissingElementCreatesItEmpty) {
  const TXMLConfigType config = ParseConfigText("<config/>");
  EXPECT_EQ(config.GetSyscon().GetLanguage(), "");
  EXPECT_TRUE(config.Node().child("syscon").child("language"));
  EXPECT_THROW(config.GetSetting().GetServer().GetPort(), EConvertError);
  EXPECT_TRUE(config.Node().child("setting").child("server").child("port"));
  try {
    config.GetSyscon().GetMainform().GetWidth();
    FAIL() << "converted a missing attribute";
  } catch (const EConvertError& e) {
    EXPECT_NE(std::string(e.what()).find("config/syscon/mainform/@width"), std::string::npos) << e.what();
  }
  // An empty document gets its root.
  EXPECT_STREQ(ParseConfigText("").Node().name(), "config");
}

TEST(ConfigAccessorsTest, MemberListIsACollectionOfMemberElements) {
  const TXMLConfigType config = ParseConfigText("<config><memberList><note>kept</note></memberList></config>");
  const TXMLMemberListType list = config.GetMemberList();
  auto names = [&] {
    std::string out;
    for (int i = 0; i < list.Count(); ++i) out += list.Item(i).GetName() + ",";
    return out;
  };
  list.Add().SetName("b");
  list.Add().SetName("d");
  list.Insert(0).SetName("a");
  list.Insert(2).SetName("c");
  list.Insert(list.Count()).SetName("e");
  EXPECT_EQ(names(), "a,b,c,d,e,");
  list.Delete(1);
  EXPECT_EQ(names(), "a,c,d,e,");
  EXPECT_TRUE(list.Remove(list.Item(3)));
  EXPECT_EQ(names(), "a,c,d,");

  const TXMLMemberType member = list.Item(1);
  member.SetAuth("0123456789abcdef0123456789abcdef");
  member.SetPort(8008);
  member.SetAddr("peer.example");
  member.SetDispname("C");
  member.SetAnonymous(false);
  EXPECT_EQ(member.GetAuth(), "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(member.GetPort(), 8008);
  EXPECT_EQ(member.GetAddr(), "peer.example");
  EXPECT_EQ(member.GetDispname(), "C");
  EXPECT_FALSE(member.GetAnonymous());

  for (int bad : {-1, 3}) {
    EXPECT_THROW(list.Item(bad), std::out_of_range);
    EXPECT_THROW(list.Delete(bad), std::out_of_range);
  }
  EXPECT_THROW(list.Insert(4), std::out_of_range);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_STREQ(list.Node().child("note").text().get(), "kept");
}

TEST(ConfigAccessorsTest, PluginElementsAreRawXml) {
  const TXMLConfigType config = Defaults();
  const TXMLPluginType plugin = config.GetSetting().GetPlugin();
  {
    std::scoped_lock lock(plugin.ConfigLock());
    pugi::xml_node chat = plugin.Node().append_child("chat");
    chat.append_attribute("v").set_value("2");
    chat.append_child("font").text().set("M & S <Gothic>");
  }
  EXPECT_EQ(NodeXml(plugin.Node().child("chat")), "<chat v=\"2\"><font>M &amp; S &lt;Gothic&gt;</font></chat>");
  EXPECT_EQ(plugin.Path(), "config/setting/plugin");
  EXPECT_EQ(TXMLNode(config.Document(), plugin.Node().child("chat")).Path(), "config/setting/plugin/chat");
}

TEST(ConfigAccessorsTest, OtherRootsAreRefused) {
  EXPECT_THROW(ParseConfigText("<settings/>"), EConfigError);
  EXPECT_THROW(ParseConfigText("<config/><config/>"), EConfigError);
  EXPECT_THROW(ParseConfigText("<config/>trailing"), EConfigError);
  EXPECT_THROW(ParseConfigText("<config>"), EConfigError);
  EXPECT_THROW(ParseConfigText("<?xml version=\"1.0\"?>"), EConfigError);
}

// Connection threads read and write single values while the main thread
// changes the member list; the document lock keeps the tree whole.
TEST(ConfigAccessorsTest, AccessorsMayBeCalledFromSeveralThreads) {
  const TXMLConfigType config = Defaults();
  const TXMLMemberListType list = config.GetMemberList();
  for (int i = 0; i < 4; ++i) list.Add().SetName("m" + std::to_string(i));
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 3; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 2000; ++i) {
        if (config.GetSetting().GetSender().GetBuffersize() != 32767) ++failures;
        std::scoped_lock lock(config.ConfigLock());
        const TXMLMemberType member = list.Item(t);
        member.SetAuth(std::to_string(i));
        if (member.GetAuth() != std::to_string(i)) ++failures;
      }
    });
  }
  for (int i = 0; i < 2000; ++i) {
    list.Add().SetName("temp");
    list.Delete(list.Count() - 1);
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(list.Count(), 4);
}

}  // namespace
}  // namespace tarnix
