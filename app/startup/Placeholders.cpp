#include "app/startup/Placeholders.h"

#include <map>
#include <stdexcept>
#include <utility>

#include "app/startup/ProgramContext.h"
#include "transport/log/Log.h"

namespace tarnix {
namespace {

class TPlaceholderConnectionManager final : public IConnectionManager {};
class TPlaceholderHostHandler final : public IHostHandler {};

// Shows the stored members; nobody is ever connected.
class TPlaceholderMemberList final : public IMemberList {
 public:
  explicit TPlaceholderMemberList(TXMLConfigType config) : config_(std::move(config)) {}
  int Count() const override { return config_.GetMemberList().Count(); }
  std::string Name(int index) const override {
    return config_.GetMemberList().Item(index).GetName();
  }
  bool HasLiveLink(int) const override { return false; }
  void ConnectAll() override {}
  void Disconnect(int) override {}
  void SetEvents(const TMemberListEvents& events) override { events_ = events; }

 private:
  TXMLConfigType config_;
  TMemberListEvents events_;
};

class TPlaceholderServer final : public IServer {
 public:
  void StartListening() override {
    listening_ = true;
    WriteLog("Server started.");
  }
  void StopListening() override {
    if (!listening_) return;
    listening_ = false;
    WriteLog("Terminating server...");
  }

 private:
  bool listening_ = false;
};

class TPlaceholderConnectionService final : public IConnectionService {
 public:
  bool Login(const std::string&, const std::string&, bool, int) override { return true; }
  void MarkLoggedIn() override {}
  void GetMemberAddresses() override {}
  void Logout() override {}
};

class TPlaceholderSystemPlugin final : public IPlugin {
 public:
  bool LoadModule(const std::string& fileName) override {
    name_ = fileName;
    WriteLog("Plugin loaded: " + name_);
    return true;
  }
  ~TPlaceholderSystemPlugin() override {
    if (!name_.empty()) WriteLog("Plugin unloaded: " + name_);
  }

 private:
  std::string name_;
};

class TPlaceholderPluginList final : public IPluginList {
 public:
  void Add(std::unique_ptr<IPlugin> plugin) override { plugins_.push_back(std::move(plugin)); }
  void LoadFolder(const std::filesystem::path&) override {}
  ~TPlaceholderPluginList() override {
    // Unloaded in reverse order of loading.
    while (!plugins_.empty()) plugins_.pop_back();
  }

 private:
  std::vector<std::unique_ptr<IPlugin>> plugins_;
};

class TPlaceholderLanguage final : public ILanguage {
 public:
  bool HasLanguageFile() const override { return true; }
  std::string Text(const std::string& section, const std::string& key) const override {
    return PlaceholderText(section, key);
  }
};

class TPlaceholderUpnpController final : public IUpnpController {
 public:
  bool DiscoverGateway() override { return true; }
  bool AddPortMapping(int, int) override { return true; }
  bool DeletePortMapping(int) override { return true; }
};

class TPlaceholderMessengerAddin final : public IMessengerAddin {
 public:
  void Register() override {}
  bool OpenSession(const std::string&, const std::string&, bool) override { return false; }
};

}  // namespace

std::string PlaceholderText(const std::string& section, const std::string& key) {
  static const std::map<std::pair<std::string, std::string>, std::string> kTexts = {
      {{"gen", "ERR"}, "Error"},
      {{"gen", "CNFM"}, "Confirmation"},
      {{"gen", "EXCL"}, "Attention"},
      {{"gen", "WARN"}, "Warning"},
      {{"gen", "CMPL"}, "Completed"},
      {{"mainform", "START_LOGIN"}, "Logging in..."},
      {{"mainform", "LOGIN_FAILED"}, "The login at the connection service failed."},
      {{"mainform", "CONNECTION"}, "Connection"},
      {{"mainform", "MSG_FAIL_UPNP"}, "The port could not be mapped on the router."},
      {{"mainform", "REGISTER_MESSENGER"}, "Register Tarnix as a Messenger application?"},
      {{"mainform", "VERSION_CHECK"}, "Check for a newer version at every start?"},
      {{"mainform", "DOYOUEXIT"}, "Do you want to exit Tarnix?"},
      {{"mainform", "FINALIZE_DISCONNECTING"}, "Disconnecting..."},
      {{"mainform", "FINALIZE_LOGOUT"}, "Logging out..."},
      {{"mainform", "CONNECTION_ERROR"}, "Connection error"},
      {{"mainform", "MEMBER_INVALID_KEY"}, "The key of %s does not match."},
      {{"main", "MSG_CNNTSELF"}, "This member is this program itself."},
      {{"main", "MSG_NEWVER"}, "A new version is available"},
      {{"main", "MSG_NEWVERDESC"}, "A member uses a newer version of Tarnix."},
      {{"frmNewMember", "lblMsg"}, "%s wants to become a member. Accept?"},
      {{"Utils", "OFFLINE"}, "Offline"},
      {{"Utils", "ONLINE"}, "Online"},
      {{"Utils", "BUSY"}, "Busy"},
      {{"Utils", "TEMPORARILY"}, "Be right back"},
      {{"Utils", "RETIRING"}, "Away"},
      {{"Utils", "TELEPHONING"}, "On the phone"},
      {{"Utils", "LUNCHTIME"}, "Out to lunch"},
      {{"Utils", "DISCONNECTED"}, "Disconnected"},
      {{"Utils", "CONNECTING"}, "Connecting"},
      {{"Utils", "BL_NEWVER"}, "A new version is available"},
      {{"Utils", "BL_DONATE"}, "Support Tarnix"},
  };
  const auto it = kTexts.find({section, key});
  return it == kTexts.end() ? std::string() : it->second;
}

TSubsystemFactories PlaceholderFactories() {
  TSubsystemFactories f;
  f.connectionManager = [](TProgramContext&) { return std::make_unique<TPlaceholderConnectionManager>(); };
  f.memberList = [](TProgramContext& ctx) -> std::unique_ptr<IMemberList> {
    return std::make_unique<TPlaceholderMemberList>(ctx.config);
  };
  f.server = [](TProgramContext&) { return std::make_unique<TPlaceholderServer>(); };
  f.hostHandler = [](TProgramContext&) { return std::make_unique<TPlaceholderHostHandler>(); };
  f.connectionService = [](TProgramContext&) {
    return std::make_unique<TPlaceholderConnectionService>();
  };
  f.systemPlugin = [](TProgramContext&) { return std::make_unique<TPlaceholderSystemPlugin>(); };
  f.pluginList = [](TProgramContext&) { return std::make_unique<TPlaceholderPluginList>(); };
  f.language = [](TProgramContext&) { return std::make_unique<TPlaceholderLanguage>(); };
  f.upnpController = [](TProgramContext&) { return std::make_unique<TPlaceholderUpnpController>(); };
  f.messengerAddin = [](TProgramContext&) { return std::make_unique<TPlaceholderMessengerAddin>(); };
  f.httpGet = [](const std::string& url, const std::string&) -> std::string {
    throw std::runtime_error("no HTTP client yet for " + url);
  };
  return f;
}

}  // namespace tarnix
