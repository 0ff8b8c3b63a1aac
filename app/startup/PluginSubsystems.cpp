#include "app/startup/PluginSubsystems.h"

#include <stdexcept>
#include <string>
#include <utility>

#include "app/startup/CoreSubsystems.h"
#include "app/startup/ProgramContext.h"
#include "core/CoreContext.h"
#include "core/manager/TranserManager.h"
#include "core/members/MemberList.h"
#include "netservices/http/HttpFetch.h"
#include "plugin/api/PluginTaskViews.h"
#include "plugin/api/THCHandler.h"
#include "plugin/loader/THCPluginList.h"
#include "plugin/system/THCPluginSystemRegisterer.h"
#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"

namespace tarnix {
namespace {

// The host's own handle: the shared context every plugin handler works on.
class TPluginHostHandler final : public IHostHandler {
 public:
  explicit TPluginHostHandler(TProgramContext& ctx) {
    auto shared = std::make_shared<THCHandlerContext>();
    shared->services = ctx.services.get();
    shared->events = ctx.events.get();
    shared->members = CoreMembers(ctx);
    shared->config = ctx.config;
    shared->programFolder = ctx.programFolder;
    THCHostPorts& ports = shared->ports;
    // Read at each call: the command line may still move the base address.
    ports.serviceUrl = [&ctx] { return ctx.urls.base; };
    ports.openSession = [&ctx](const std::string& mine, const std::string& partner, bool inviter) {
      return ctx.factories.messengerAddin &&
             ctx.factories.messengerAddin(ctx)->OpenSession(mine, partner, inviter);
    };
    ports.refreshOwnState = [&ctx] {
      if (ctx.ui.mainWindow != nullptr) ctx.ui.mainWindow->RefreshOwnState();
    };
    context = shared;
    // Before the first connection: task notifications show plugins these views.
    if (shared->members != nullptr) {
      shared->members->Context().taskHooks = MakePluginTaskRouteHooks(context);
    }
    handler = THCHandler::Create(context);
  }

  std::shared_ptr<const THCHandlerContext> context;
  HCPtr<IHCHandler> handler;
};

// The program's HTTP GET as the system plugin's fetch: a failure is no reply.
class TProgramHttpFetch final : public IHttpFetch {
 public:
  explicit TProgramHttpFetch(THttpGet get) : get_(std::move(get)) {}
  std::optional<std::string> HttpGet(const std::string& url, const std::string& agent) override {
    if (!get_) return std::nullopt;
    try {
      return get_(url, agent);
    } catch (...) {
      return std::nullopt;
    }
  }

 private:
  const THttpGet get_;
};

// One plugin on its way into the list.
class TPluginEntry final : public IPlugin {
 public:
  explicit TPluginEntry(std::unique_ptr<THCPlugin> plugin) : plugin(std::move(plugin)) {}
  bool LoadModule(const std::string& fileName) override {
    return plugin && plugin->LoadModule(fileName);
  }
  std::unique_ptr<THCPlugin> plugin;
};

class TPluginListAdapter final : public IPluginList {
 public:
  TPluginListAdapter(TProgramContext& ctx, THCHandlerFactory factory)
      : ctx_(ctx), list(std::move(factory)) {}

  ~TPluginListAdapter() override {
    // Connections end on their own threads; their tasks give plugin streams
    // back when freed, which must happen before the libraries go.
    if (THCTranserManager* manager = CoreManager(ctx_)) {
      for (int i = 0; i < manager->Count(); ++i) {
        if (const TTranserThreadPtr thread = manager->Get(i)) thread->Disconnect();
      }
      if (!manager->WaitUntilEmpty(kLinkEndWait)) {
        WriteLog("Connections still open while the plugins are unloaded");
      }
    }
  }

  void Add(std::unique_ptr<IPlugin> plugin) override {
    auto* entry = dynamic_cast<TPluginEntry*>(plugin.get());
    if (entry == nullptr || !entry->plugin)
      throw std::logic_error("not a plugin of the plugin host");
    // A plugin that fails its initialisation stays with the entry and goes with it.
    list.AddPlugin(entry->plugin);
  }

  void LoadFolder(const std::filesystem::path& folder) override {
    list.LoadFolder((folder / "*.so").string());
  }

 private:
  TProgramContext& ctx_;

 public:
  THCPluginList list;
};

TPluginHostHandler* HostHandler(TProgramContext& ctx) {
  return dynamic_cast<TPluginHostHandler*>(ctx.hostHandler.get());
}

// Handlers over the run's context, or over a context of the bus alone when
// the host's handle is not the plugin host's.
THCHandlerFactory HandlerFactory(TProgramContext& ctx) {
  std::shared_ptr<const THCHandlerContext> context = PluginContext(ctx);
  if (!context) {
    auto bare = std::make_shared<THCHandlerContext>();
    bare->services = ctx.services.get();
    bare->events = ctx.events.get();
    bare->config = ctx.config;
    bare->programFolder = ctx.programFolder;
    context = bare;
  }
  return [context](const THCPlugin&) { return THCHandler::Create(context); };
}

}  // namespace

std::shared_ptr<const THCHandlerContext> PluginContext(TProgramContext& ctx) {
  TPluginHostHandler* handler = HostHandler(ctx);
  return handler != nullptr ? handler->context : nullptr;
}

THCPluginList* CorePlugins(TProgramContext& ctx) {
  auto* plugins = dynamic_cast<TPluginListAdapter*>(ctx.plugins.get());
  return plugins != nullptr ? &plugins->list : nullptr;
}

TSubsystemFactories WithPluginHost(TSubsystemFactories factories, IHCSystemUi* systemUi) {
  factories.hostHandler = [](TProgramContext& ctx) -> std::unique_ptr<IHostHandler> {
    return std::make_unique<TPluginHostHandler>(ctx);
  };
  factories.systemPlugin = [systemUi](TProgramContext& ctx) -> std::unique_ptr<IPlugin> {
    THCSystemEnvironment environment;
    environment.host = PluginContext(ctx);
    environment.http = std::make_shared<TProgramHttpFetch>(ctx.factories.httpGet);
    environment.ui = systemUi;
    return std::make_unique<TPluginEntry>(
        std::make_unique<THCPluginSystemRegisterer>(HandlerFactory(ctx), std::move(environment)));
  };
  factories.pluginList = [](TProgramContext& ctx) -> std::unique_ptr<IPluginList> {
    return std::make_unique<TPluginListAdapter>(ctx, HandlerFactory(ctx));
  };
  return factories;
}

}  // namespace tarnix
