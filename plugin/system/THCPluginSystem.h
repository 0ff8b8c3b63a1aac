#pragma once
// THCPluginSystem: the host's built-in "system" plugin, a plugin class on the
// same skeleton as every library plugin. At initialisation it registers the
// fifteen services that offer the host to plugins, in this order:
//   "system/AddAnonymous", "system/DeleteAnonymous", "system/ConncectAsAnonymous",
//   "system/GetNodeList", "system/RegisterNode", "system/UnRegisterNode",
//   "system/ProcessMessages", "ui/toolmenu/add", "ui/toolmenu/del",
//   "ui/membermenu/add", "ui/membermenu/del", "ui/container/add",
//   "ui/container/del", "ui/settingpage/add", "ui/settingpage/del".
// The anonymous-member services work on the member list, the node registry
// services fetch the connection service's "node.php" through IHttpFetch, and
// the user-interface services go to the main window through IHCSystemUi;
// setting pages are kept here (SettingPages) for the settings dialog.
//
// Icons: the icon values of "ui/toolmenu/add" and "ui/container/add" are 0 or
// a pointer to the UTF-8 path of an image file, read during the call.
//
// Lifetime: one object per program, made by its registerer, the process's
// current skeleton while it lives; SystemPlugin() points to it from its
// creation until its termination. The services answer their failure values
// when there is no system plugin (and the setting-page services 0).
// Threads: every service belongs on the user-interface thread.
#include <memory>
#include <string>
#include <vector>

#include "netservices/http/HttpFetch.h"
#include "plugin/api/THCHandlerContext.h"
#include "plugin/sdk/THCPluginSkeleton.h"
#include "plugin/system/THCSystemUi.h"

namespace tarnix {

// A setting page registered by a plugin; its address is the page's handle.
struct THCSettingPage {
  std::string Caption;
  HCProc Proc = nullptr;
};

// What the system plugin works on. Any part may be missing; the services that
// need it then answer their failure values.
struct THCSystemEnvironment {
  std::shared_ptr<const THCHandlerContext> host;  // member list, configuration, connection service
  std::shared_ptr<IHttpFetch> http;
  IHCSystemUi* ui = nullptr;  // not owned; the main window outlives the system plugin
};

// The agent text of the node registry requests.
inline constexpr const char* kNodeRegistryAgent =
    "Mozilla/4.0 (compatible; MSIE 7.0; Windows NT 5.1; .NET CLR 1.1.4322)";

class THCPluginSystem final : public THCPluginSkeleton {
 public:
  explicit THCPluginSystem(THCSystemEnvironment environment);
  ~THCPluginSystem() override;

  void OnInitialize() override;
  void OnTerminate() override;

  // The pages in registration order (user-interface thread); valid until the
  // next "ui/settingpage/*" call.
  std::vector<const THCSettingPage*> SettingPages() const;
  const THCSystemEnvironment& Environment() const { return environment_; }

 private:
  friend struct TSystemServices;

  const THCSystemEnvironment environment_;
  std::vector<std::unique_ptr<THCSettingPage>> settingPages_;
  std::vector<uint32_t> services_;  // to undo a failed initialisation
};

// The system plugin, or null before its creation and after its termination.
THCPluginSystem* SystemPlugin();

// The node registry's address under the connection service's base address.
std::string NodeRegistryUrl(const std::string& serviceBaseUrl);
// text with every byte outside A-Z a-z 0-9 - . _ ~ written as %XX.
std::string EscapeQueryValue(const std::string& text);

}  // namespace tarnix
