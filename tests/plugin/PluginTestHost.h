#pragma once
// A complete host with its plugin layer, for tests that run two hosts in one
// process: the member core of TCoreTestHost, a handler context over it, the
// plugin layer's task-route hooks and a plugin list whose handlers are real
// THCHandlers. Each host loads its own copy of a plugin library (a copy is a
// separate module, so two hosts never share a plugin's state).
//
// Shutdown keeps the order of the program: members disconnected and their
// connections ended (their tasks freed) before the plugins are terminated and
// unloaded, then the core.
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "plugin/api/PluginTaskViews.h"
#include "plugin/api/THCHandler.h"
#include "plugin/loader/THCPluginList.h"
#include "tests/support/CoreTestHost.h"

namespace tarnix::plugintest {

class TPluginTestHost {
 public:
  explicit TPluginTestHost(const std::string& userName) : core(userName) {
    auto shared = std::make_shared<THCHandlerContext>();
    shared->services = &core.services;
    shared->events = &core.events;
    shared->members = core.members.get();
    shared->config = core.config;
    shared->programFolder = core.Folder();
    context = shared;
    core.context.taskHooks = MakePluginTaskRouteHooks(context);
    plugins = std::make_unique<THCPluginList>(
        [shared](const THCPlugin&) { return THCHandler::Create(shared); });
  }

  ~TPluginTestHost() {
    for (const THCMemberPtr& member : core.members->Snapshot()) member->Disconnect();
    test::PumpUntil({&core}, [&] {
      for (const THCMemberPtr& member : core.members->Snapshot()) {
        if (member->Link()) return false;
      }
      return true;
    });
    plugins.reset();
  }

  TPluginTestHost(const TPluginTestHost&) = delete;
  TPluginTestHost& operator=(const TPluginTestHost&) = delete;

  // Copies library into this host's plugins folder and loads it; true when it
  // joined the list.
  bool LoadCopy(const std::filesystem::path& library) {
    const std::filesystem::path folder = core.Folder() / "plugins";
    std::filesystem::create_directories(folder);
    const std::filesystem::path copy = folder / library.filename();
    std::filesystem::copy_file(library, copy, std::filesystem::copy_options::overwrite_existing);
    return plugins->LoadFile(copy.string());
  }

  // Calls a service of this host's bus by name; -1 when there is none.
  intptr_t Call(const std::string& service, intptr_t wParam, intptr_t lParam) {
    const BusHandle handle = core.services.GetService(service);
    return handle == kNoBusHandle ? -1 : core.services.CallService(handle, wParam, lParam);
  }

  test::TCoreTestHost core;
  std::shared_ptr<const THCHandlerContext> context;
  std::unique_ptr<THCPluginList> plugins;
};

}  // namespace tarnix::plugintest
