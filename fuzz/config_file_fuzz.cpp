// The configuration file reader: decrypt, parse, merge the default and read
// every accessor. The first byte chooses what the rest is: 0 the file bytes
// as stored, otherwise XML text that is encrypted first so the parser and
// the merge see it.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/config/hcConfig.h"
#include "app/config/XMLMarge.h"

namespace {

template <class F>
void Read(F&& f) {
  try {
    f();
  } catch (const tarnix::EConvertError&) {
    // a malformed value is reported where it is read
  }
}

void ReadEverything(const tarnix::TXMLConfigType& config) {
  using namespace tarnix;
  const TXMLMemberListType list = config.GetMemberList();
  for (int i = 0; i < list.Count(); ++i) {
    const TXMLMemberType m = list.Item(i);
    Read([&] { m.GetName(); });
    Read([&] { m.GetAuth(); });
    Read([&] { m.GetPort(); });
    Read([&] { m.GetAddr(); });
    Read([&] { m.GetDispname(); });
    Read([&] { m.GetAnonymous(); });
  }
  const TXMLSettingType s = config.GetSetting();
  Read([&] { s.GetServer().GetPort(); });
  Read([&] { s.GetServer().GetUpnp(); });
  Read([&] { s.GetSender().GetPackettype(); });
  Read([&] { s.GetSender().GetBuffersize(); });
  Read([&] { s.GetSender().GetMaxsendcount(); });
  Read([&] { s.GetReceiver().GetSound(); });
  Read([&] { s.GetRegistation().GetName(); });
  Read([&] { s.GetRegistation().GetPass(); });
  Read([&] { s.GetRegistation().GetEnabled(); });
  Read([&] { s.GetProfile().GetDispname(); });
  Read([&] { s.GetProfile().GetConfigured(); });
  for (pugi::xml_node plugin : s.GetPlugin().Node().children()) NodeXml(plugin);
  const TXMLSysconType y = config.GetSyscon();
  Read([&] { y.GetLaunchnum(); });
  Read([&] { y.GetMainform().GetLeft(); });
  Read([&] { y.GetMainform().GetTop(); });
  Read([&] { y.GetMainform().GetWidth(); });
  Read([&] { y.GetMainform().GetHeight(); });
  Read([&] { y.GetWinstart(); });
  Read([&] { y.GetVercheck(); });
  Read([&] { y.GetAutohide(); });
  Read([&] { y.GetTaskbutton(); });
  Read([&] { y.GetLanguage(); });
  Read([&] { y.GetShowonstart(); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string bytes = data[0] == 0 ? std::string(rest) : tarnix::EncryptText(rest, tarnix::ConfigKeyText());
  tarnix::TXMLConfigType config;
  try {
    config = tarnix::ConfigFromFileBytes(bytes);
  } catch (const tarnix::EConfigError&) {
    return 0;
  }
  ReadEverything(config);
  // What is saved must load again, with the same text.
  const std::string text = tarnix::ConfigText(config);
  const std::string again = tarnix::ConfigText(
      tarnix::ConfigFromFileBytes(tarnix::EncryptText(text, tarnix::ConfigKeyText())));
  if (again != text) {
    std::fprintf(stderr, "saved configuration does not load back the same\n");
    std::abort();
  }
  return 0;
}
