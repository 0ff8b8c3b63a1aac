#include "app/startup/CoreSubsystems.h"

#include <span>
#include <utility>

#include "app/config/hcConfig.h"
#include "app/startup/MessageBox.h"
#include "app/startup/ProgramContext.h"
#include "app/startup/Startup.h"
#include "core/CoreContext.h"
#include "core/manager/TranserManager.h"
#include "core/members/MemberList.h"
#include "core/members/PostAuthentication.h"
#include "core/server/Server.h"
#include "core/sync/SyncTimer.h"
#include "plugin/sdk/HCRecords.h"
#include "tarnix/Version.h"
#include "transport/log/Log.h"

namespace tarnix {
namespace {

// Owns the core's shared context, which outlives the member list and the
// server (both are freed before it, in Finalize).
class TCoreConnectionManager final : public IConnectionManager {
 public:
  explicit TCoreConnectionManager(TProgramContext& ctx) {
    context.config = ctx.config;
    context.services = ctx.services.get();
    context.events = ctx.events.get();
    context.programFolder = ctx.programFolder;
    context.finalizing = &ctx.finalizing;
    context.programVersion = kProgramVersion;
    manager = std::make_unique<THCTranserManager>(context);
  }

  THCCoreContext context;
  std::unique_ptr<THCTranserManager> manager;
};

class TCoreMemberList final : public IMemberList {
 public:
  TCoreMemberList(TProgramContext& ctx, THCCoreContext& context, THCTranserManager& manager)
      : ctx_(ctx), list(context, manager) {}

  int Count() const override { return list.Count(); }
  std::string Name(int index) const override {
    const THCMemberPtr member = list.Get(index);
    return member ? member->Name() : std::string();
  }
  bool HasLiveLink(int index) const override {
    const THCMemberPtr member = list.Get(index);
    return member && member->Connected();
  }
  void ConnectAll() override { list.ConnectAll(); }
  void Disconnect(int index) override {
    if (const THCMemberPtr member = list.Get(index)) member->Disconnect();
  }
  void SetEvents(const TMemberListEvents& events) override {
    list.OnMemberAuthenticated = [this, events](THCMemberList&, THCMember& member) {
      HandleMemberAuthenticated(ctx_, events, member.UserID());
    };
    list.OnMemberDisconnected = [events](THCMemberList&, THCMember& member) {
      if (events.onDisconnected) events.onDisconnected(member.UserID());
    };
    list.OnMemberNotify = [events](THCMemberList&, THCMember& member, int code) {
      if (events.onNotify) events.onNotify(member.UserID(), code);
    };
  }

 private:
  TProgramContext& ctx_;

 public:
  THCMemberList list;
};

class TCoreServer final : public IServer {
 public:
  TCoreServer(THCCoreContext& context, THCMemberList& members, THCTranserManager& manager)
      : server(context, members, manager) {}
  void StartListening() override { server.StartListening(); }
  void StopListening() override { server.StopListening(); }

  THCServer server;
};

TCoreConnectionManager* CoreParts(TProgramContext& ctx) {
  return dynamic_cast<TCoreConnectionManager*>(ctx.connectionManager.get());
}

// The ports of the layers above the core, filled in once the sync timer and
// the windows exist (before the first connection).
void ConnectPorts(TProgramContext& ctx, THCCoreContext& context) {
  context.config = ctx.config;
  context.syncTimer = ctx.syncTimer.get();
  THCCorePorts& ports = context.ports;
  ports.text = [&ctx](const std::string& section, const std::string& key) {
    return ctx.Text(section, key);
  };
  ports.messageBox = [](const std::string& text, const std::string& caption, unsigned type) {
    return ShowMessageBox(text, caption, type);
  };
  if (IPictureCheckPort* pictures = ctx.ui.pictures) {
    ports.isReadableBitmap = [pictures](std::span<const uint8_t> data) {
      return pictures->IsReadableBitmap(data.data(), data.size());
    };
  }
  if (IMainWindowPort* window = ctx.ui.mainWindow) {
    ports.refreshMemberList = [&ctx, window] {
      if (!ctx.finalizing) window->RefreshMemberList();
    };
    ports.repaintMemberTree = [window] { window->RepaintMemberTree(); };
  }
  ports.applicationException = [&ctx](const std::string& className, const std::string& message) {
    HandleApplicationException(ctx, className, message);
  };
  if (INewPeerPromptPort* prompt = ctx.ui.newPeerPrompt) {
    ports.newPeer = [&ctx, prompt](const TNewPeerRequest& request) {
      // Shown from a later pass of the main loop, as a posted window message would.
      ctx.mainLoop.Post([&ctx, prompt, request] {
        const TNewPeerPromptShown shown =
            prompt->ShowNewPeerPrompt(request.name, [&ctx, request](bool accept) {
              if (THCTranserManager* manager = CoreManager(ctx)) manager->AcceptNewPeer(accept, request);
            });
        TAlert alert;
        alert.kind = 1;
        alert.title = shown.caption;
        alert.text = shown.message;
        alert.owner = reinterpret_cast<void*>(shown.window);
        alert.option1 = -1;
        alert.option2 = -1;
        alert.option3 = -1;
        RaiseAlert(ctx, alert);
      });
    };
  }
}

}  // namespace

THCTranserManager* CoreManager(TProgramContext& ctx) {
  TCoreConnectionManager* parts = CoreParts(ctx);
  return parts ? parts->manager.get() : nullptr;
}

THCMemberList* CoreMembers(TProgramContext& ctx) {
  auto* members = dynamic_cast<TCoreMemberList*>(ctx.members.get());
  return members ? &members->list : nullptr;
}

THCServer* CoreServer(TProgramContext& ctx) {
  auto* server = dynamic_cast<TCoreServer*>(ctx.server.get());
  return server ? &server->server : nullptr;
}

void HandleMemberAuthenticated(TProgramContext& ctx, const TMemberListEvents& window,
                               std::int32_t userId) {
  THCMemberList* members = CoreMembers(ctx);
  const THCMemberPtr member = members ? members->FindByUserID(userId) : nullptr;
  if (!member || member->Anonymous()) return;
  SendPostAuthenticationExchange(*member);
  if (window.onAuthenticated) window.onAuthenticated(userId);
  SaveConfigLogged(ctx.config);
}

TSubsystemFactories WithMemberCore(TSubsystemFactories factories) {
  factories.connectionManager = [](TProgramContext& ctx) -> std::unique_ptr<IConnectionManager> {
    return std::make_unique<TCoreConnectionManager>(ctx);
  };
  factories.memberList = [](TProgramContext& ctx) -> std::unique_ptr<IMemberList> {
    TCoreConnectionManager* parts = CoreParts(ctx);
    if (parts == nullptr) throw std::logic_error("the member list needs the core's connection manager");
    ConnectPorts(ctx, parts->context);
    return std::make_unique<TCoreMemberList>(ctx, parts->context, *parts->manager);
  };
  factories.server = [](TProgramContext& ctx) -> std::unique_ptr<IServer> {
    TCoreConnectionManager* parts = CoreParts(ctx);
    THCMemberList* members = CoreMembers(ctx);
    if (parts == nullptr || members == nullptr) {
      throw std::logic_error("the server needs the core's connection manager and member list");
    }
    return std::make_unique<TCoreServer>(parts->context, *members, *parts->manager);
  };
  return factories;
}

}  // namespace tarnix
