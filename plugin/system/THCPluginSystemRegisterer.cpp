#include "plugin/system/THCPluginSystemRegisterer.h"

#include "transport/log/Log.h"

namespace tarnix {

THCPluginSystemRegisterer::THCPluginSystemRegisterer(THCHandlerFactory handlerFactory,
                                                     THCSystemEnvironment environment)
    : THCPlugin(std::move(handlerFactory)), environment_(std::move(environment)) {}

THCPluginSystemRegisterer::~THCPluginSystemRegisterer() = default;

bool THCPluginSystemRegisterer::LoadModule(const std::string& fileName) {
  try {
    if (!system_) {
      system_ = std::make_unique<THCPluginSystem>(environment_);
      if (CurrentSkeleton() != system_.get()) {
        system_.reset();
        WriteLog("System plugin: another skeleton is already current");
        return false;
      }
    }
    return LoadBuiltIn(fileName, &SkeletonGetPluginInfo, &SkeletonInitialize, &SkeletonTerminate);
  } catch (...) {
    return false;
  }
}

}  // namespace tarnix
