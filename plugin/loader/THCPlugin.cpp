#include "plugin/loader/THCPlugin.h"

#include <dlfcn.h>
#include <link.h>

#include <array>
#include <cstring>
#include <filesystem>

#include "core/bus/ExceptionText.h"
#include "transport/log/Log.h"

namespace tarnix {
namespace {

// The full path of a loaded library as the dynamic loader holds it; empty when
// it reports nothing.
std::string LoadedPath(void* library) {
  struct link_map* map = nullptr;
  if (dlinfo(library, RTLD_DI_LINKMAP, &map) != 0 || map == nullptr || map->l_name == nullptr ||
      map->l_name[0] == '\0') {
    return {};
  }
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(map->l_name, error);
  return error ? std::string(map->l_name) : path.lexically_normal().string();
}

}  // namespace

void THCPlugin::TLibraryCloser::operator()(void* library) const {
  if (library != nullptr) dlclose(library);
}

THCPlugin::THCPlugin(THCHandlerFactory handlerFactory)
    : handlerFactory_(std::move(handlerFactory)) {}

THCPlugin::~THCPlugin() {
  library_.reset();
  WriteLog("Plugin unloaded: " + name_);
}

bool THCPlugin::LoadModule(const std::string& fileName) {
  try {
    fileName_ = fileName;
    // A bare name would make dlopen search the system's library path.
    const std::string openName =
        fileName.find('/') == std::string::npos ? "./" + fileName : fileName;
    dlerror();
    library_.reset(dlopen(openName.c_str(), RTLD_NOW | RTLD_LOCAL));
    if (!library_) {
      const char* reason = dlerror();
      WriteLog("Plugin not a library: " + fileName + " - " + (reason != nullptr ? reason : ""));
      return false;
    }
    if (std::string path = LoadedPath(library_.get()); !path.empty()) fileName_ = std::move(path);

    getPluginInfoProc_ = reinterpret_cast<HCGetPluginInfoProc>(GetProc(HC_EXPORT_GET_PLUGIN_INFO));
    initializeProc_ = reinterpret_cast<HCInitializeProc>(GetProc(HC_EXPORT_INITIALIZE));
    terminateProc_ = reinterpret_cast<HCTerminateProc>(GetProc(HC_EXPORT_TERMINATE));
    ReadInfo();
    WriteLog("Plugin loaded: " + name_);

    // Without Terminate a plugin could never give back the handler and the
    // services it registered, so all three exports are required.
    if (!getPluginInfoProc_ || !initializeProc_ || !terminateProc_) {
      std::string missing;
      for (const auto& [present, exportName] :
           {std::pair{getPluginInfoProc_ != nullptr, HC_EXPORT_GET_PLUGIN_INFO},
            std::pair{initializeProc_ != nullptr, HC_EXPORT_INITIALIZE},
            std::pair{terminateProc_ != nullptr, HC_EXPORT_TERMINATE}}) {
        if (!present) missing += (missing.empty() ? "" : ", ") + std::string(exportName);
      }
      WriteLog("Plugin missing exports: " + fileName_ + " - " + missing);
      return false;
    }
    if (interfaceVersion_ != HC_INTERFACE_VERSION) {
      WriteLog("Plugin wrong interface version: " + fileName_ + " - \"" + interfaceVersion_ + "\"");
      return false;
    }
    if (name_.empty()) {
      WriteLog("Plugin without name: " + fileName_);
      return false;
    }
    return true;
  } catch (...) {
    const ExceptionText error = DescribeCurrentException();
    WriteLog("Plugin load error: " + fileName + " - " + error.className + ", " + error.message);
    return false;
  }
}

bool THCPlugin::LoadBuiltIn(std::string fileName, HCGetPluginInfoProc getPluginInfo,
                            HCInitializeProc initialize, HCTerminateProc terminate) {
  try {
    fileName_ = std::move(fileName);
    getPluginInfoProc_ = getPluginInfo;
    initializeProc_ = initialize;
    terminateProc_ = terminate;
    ReadInfo();
    WriteLog("Plugin loaded: " + name_);
    return true;
  } catch (...) {
    return false;
  }
}

void* THCPlugin::GetProc(const char* name) const {
  if (!library_ || name == nullptr) return nullptr;
  return dlsym(library_.get(), name);
}

std::string THCPlugin::GetInfo(int32_t index) const {
  if (getPluginInfoProc_ == nullptr) return {};
  std::array<char, HC_PLUGIN_INFO_BUFFER_SIZE> buffer{};
  int32_t length = 0;
  try {
    length = getPluginInfoProc_(index, buffer.data(), static_cast<int32_t>(buffer.size()));
  } catch (...) {
    LogCallFailure(HC_EXPORT_GET_PLUGIN_INFO);
    return {};
  }
  if (length <= 0) return {};
  // The plugin's answer is not trusted to have left a NUL inside the buffer.
  buffer.back() = '\0';
  return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

void THCPlugin::ReadInfo() {
  std::string* const fields[HCPI_COUNT] = {
      &interfaceVersion_, &name_, &caption_, &description_, &author_, &copyright_, &version_};
  for (int32_t index = 0; index < HCPI_COUNT; ++index) *fields[index] = GetInfo(index);
}

int32_t THCPlugin::InitializePlugin() {
  if (initializeProc_ == nullptr) return HCPE_NOTIMPLEMENT_ERROR;
  HCPtr<IHCHandler> handler;
  try {
    if (handlerFactory_) handler = handlerFactory_(*this);
  } catch (...) {
    const ExceptionText error = DescribeCurrentException();
    WriteLog("Plugin handler error: " + name_ + " - " + error.className + ", " + error.message);
  }
  if (!handler) {
    WriteLog("Plugin without handler: " + name_);
    return HCPE_INTERNAL_ERROR;
  }
  int32_t result = HCPE_INTERNAL_ERROR;
  try {
    result = initializeProc_(handler.Get());
  } catch (...) {
    LogCallFailure(HC_EXPORT_INITIALIZE);
  }
  initialized_ = true;
  // The plugin took its own reference; ours goes with `handler`.
  return result;
}

int32_t THCPlugin::TerminatePlugin() {
  if (terminateProc_ == nullptr) return HCPE_NOTIMPLEMENT_ERROR;
  int32_t result = HCPE_INTERNAL_ERROR;
  try {
    result = terminateProc_();
  } catch (...) {
    LogCallFailure(HC_EXPORT_TERMINATE);
  }
  initialized_ = false;
  return result;
}

void THCPlugin::LogCallFailure(const char* exportName) const {
  const ExceptionText error = DescribeCurrentException();
  WriteLog("PluginCallError: " + name_ + " - " + exportName + " - " + error.className + ", " +
           error.message);
}

}  // namespace tarnix
