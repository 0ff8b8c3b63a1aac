#pragma once
// The process-wide subsystems as the start-up and shut-down sequence sees
// them. Each is a small interface; the run gets its objects from a table of
// factories (TSubsystemFactories), whose defaults are placeholders that
// succeed (Placeholders.h). A subsystem built later replaces its factory entry
// and leaves the sequence alone. All calls come from the main thread.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/startup/UiPorts.h"

namespace tarnix {

struct TProgramContext;

// The list of all live connection threads.
class IConnectionManager {
 public:
  virtual ~IConnectionManager() = default;
};

// The members (contacts), in list order.
class IMemberList {
 public:
  virtual ~IMemberList() = default;
  virtual int Count() const = 0;
  virtual std::string Name(int index) const = 0;
  virtual bool HasLiveLink(int index) const = 0;
  // Connects every member that has no live link and is not anonymous; an
  // exception ends the pass and reaches the caller.
  virtual void ConnectAll() = 0;
  virtual void Disconnect(int index) = 0;
  virtual void SetEvents(const TMemberListEvents& events) = 0;
};

// The listening server on setting/server/port.
class IServer {
 public:
  virtual ~IServer() = default;
  virtual void StartListening() = 0;
  virtual void StopListening() = 0;
};

// The host's own handle on the bus.
class IHostHandler {
 public:
  virtual ~IHostHandler() = default;
};

// Client of the HTTP connection service.
class IConnectionService {
 public:
  virtual ~IConnectionService() = default;
  // true when the service accepted the login.
  virtual bool Login(const std::string& name, const std::string& pass, bool hashPassword,
                     int port) = 0;
  // Marks the client logged in without any request (names that begin with "#").
  virtual void MarkLoggedIn() = 0;
  virtual void GetMemberAddresses() = 0;
  virtual void Logout() = 0;
};

// One plugin of the plugin list; the built-in "system" plugin's registerer too.
class IPlugin {
 public:
  virtual ~IPlugin() = default;
  virtual bool LoadModule(const std::string& fileName) = 0;
};

class IPluginList {
 public:
  virtual ~IPluginList() = default;
  virtual void Add(std::unique_ptr<IPlugin> plugin) = 0;
  // Loads every plugin library of folder (after the plugins already added).
  virtual void LoadFolder(const std::filesystem::path& folder) = 0;
};

// The chosen language file: every text the user sees, by section and key.
class ILanguage {
 public:
  virtual ~ILanguage() = default;
  virtual bool HasLanguageFile() const = 0;
  virtual std::string Text(const std::string& section, const std::string& key) const = 0;
};

// One UPnP controller, alive for one mapping operation.
class IUpnpController {
 public:
  virtual ~IUpnpController() = default;
  virtual bool DiscoverGateway() = 0;
  virtual bool AddPortMapping(int externalPort, int internalPort) = 0;
  virtual bool DeletePortMapping(int externalPort) = 0;
};

// The Messenger add-in: registration as a Messenger application and the
// session with a member handed over from Messenger.
class IMessengerAddin {
 public:
  virtual ~IMessengerAddin() = default;
  virtual void Register() = 0;
  virtual bool OpenSession(const std::string& mySessionName, const std::string& partnerSessionName,
                           bool inviter) = 0;
};

// The one HTTP GET of the system: the body of url fetched with agent; throws on failure.
using THttpGet = std::function<std::string(const std::string& url, const std::string& agent)>;

struct TSubsystemFactories {
  template <typename T>
  using Factory = std::function<std::unique_ptr<T>(TProgramContext&)>;

  Factory<IConnectionManager> connectionManager;
  Factory<IMemberList> memberList;
  Factory<IServer> server;
  Factory<IHostHandler> hostHandler;
  Factory<IConnectionService> connectionService;
  Factory<IPlugin> systemPlugin;
  Factory<IPluginList> pluginList;
  Factory<ILanguage> language;  // for the application name "tarnix"
  Factory<IUpnpController> upnpController;
  Factory<IMessengerAddin> messengerAddin;
  THttpGet httpGet;
};

}  // namespace tarnix
