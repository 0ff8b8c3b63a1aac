#include "plugin/loader/THCPluginList.h"

#include <fnmatch.h>

#include <utility>

#include "transport/log/Log.h"

namespace tarnix {

THCPluginList::THCPluginList(THCHandlerFactory handlerFactory)
    : handlerFactory_(std::move(handlerFactory)) {}

THCPluginList::~THCPluginList() {
  Clear();
}

void THCPluginList::LoadFolder(const std::string& pattern) {
  const std::filesystem::path path(pattern);
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : ".";
  const std::string mask = path.filename().string();
  // The names are taken first so that loading cannot disturb the enumeration.
  std::vector<std::string> names;
  std::error_code error;
  std::filesystem::directory_iterator entries(folder, error);
  if (error) {
    if (error != std::errc::no_such_file_or_directory) {
      WriteLog("Plugin folder not readable: " + folder.string() + " - " + error.message());
    }
    return;
  }
  for (const std::filesystem::directory_iterator end; entries != end; entries.increment(error)) {
    const std::string name = entries->path().filename().string();
    if (fnmatch(mask.c_str(), name.c_str(), 0) == 0) names.push_back(name);
  }
  if (error) WriteLog("Plugin folder not readable: " + folder.string() + " - " + error.message());
  for (const std::string& name : names) LoadFile((folder / name).string());
}

bool THCPluginList::LoadFile(const std::string& fileName) {
  auto plugin = std::make_unique<THCPlugin>(handlerFactory_);
  if (!plugin->LoadModule(fileName)) return false;
  if (IndexOfPlugin(plugin->Name()) >= 0) {
    WriteLog("Plugin duplicate name: " + plugin->Name() + " - " + plugin->FileName());
    return false;
  }
  return AddPlugin(plugin);
}

bool THCPluginList::AddPlugin(std::unique_ptr<THCPlugin>& plugin) {
  if (!plugin) return false;
  const int32_t result = plugin->InitializePlugin();
  if (result == HCPE_ALLRIGHT) {
    WriteLog("Plugin " + plugin->Name() + ": initialized.");
    plugins_.push_back(std::move(plugin));
    return true;
  }
  WriteLog("Plugin " + plugin->Name() + ": initialize error.");
  WriteLog("Plugin initialize failed: " + plugin->Name() + " - " + std::to_string(result) + " " +
           ::HCPECodeName(result));
  return false;
}

int THCPluginList::IndexOfPlugin(const std::string& name) const {
  for (size_t i = 0; i < plugins_.size(); ++i) {
    if (plugins_[i]->Name() == name) return static_cast<int>(i);
  }
  return -1;
}

THCPlugin* THCPluginList::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return plugins_[index].get();
}

void THCPluginList::RemovePlugin(int index) {
  if (index < 0 || index >= Count()) return;
  plugins_[index]->TerminatePlugin();
  std::unique_ptr<THCPlugin> plugin = std::move(plugins_[index]);
  plugins_.erase(plugins_.begin() + index);
  plugin.reset();
}

void THCPluginList::Clear() {
  while (!plugins_.empty()) RemovePlugin(0);
}

void DeleteObsoletePlugins(const std::filesystem::path& pluginFolder) {
  for (const char* name : kObsoletePluginFiles) {
    std::error_code ignored;
    std::filesystem::remove(pluginFolder / name, ignored);
  }
}

}  // namespace tarnix
