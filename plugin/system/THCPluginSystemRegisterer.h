#pragma once
// THCPluginSystemRegisterer: puts the built-in system plugin into the plugin
// list without a library. LoadModule("system") creates the THCPluginSystem
// (which becomes the process's current skeleton), takes the skeleton's export
// bodies as its three procedures, reads the seven information strings, logs
// "Plugin loaded: system" and answers true; no version rule. It owns the
// system plugin object and destroys it with itself, after the list has
// terminated it; destroying it logs "Plugin unloaded: system".
#include <memory>
#include <string>

#include "plugin/loader/THCPlugin.h"
#include "plugin/system/THCPluginSystem.h"

namespace tarnix {

class THCPluginSystemRegisterer final : public THCPlugin {
 public:
  THCPluginSystemRegisterer(THCHandlerFactory handlerFactory, THCSystemEnvironment environment);
  ~THCPluginSystemRegisterer() override;

  // False when another skeleton is already the current one.
  bool LoadModule(const std::string& fileName) override;

  THCPluginSystem* System() const { return system_.get(); }

 private:
  const THCSystemEnvironment environment_;
  std::unique_ptr<THCPluginSystem> system_;
};

}  // namespace tarnix
