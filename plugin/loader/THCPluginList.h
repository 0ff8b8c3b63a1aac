#pragma once
// THCPluginList: the program's plugins in the order they were initialised
// (the built-in "system" plugin first, then the libraries of the plugins
// folder in the order the file system lists them). It owns its plugins;
// destroying it terminates them in that order and unloads them. The shutdown
// sequence destroys it only after every service and hook is cleared.
//
// Log lines: "Plugin loaded: " + name, "Plugin " + name + ": initialized.",
// "Plugin " + name + ": initialize error.", "Plugin unloaded: " + name, and
// one line per refusal ("Plugin not a library: ", "Plugin missing exports: ",
// "Plugin wrong interface version: ", "Plugin without name: ",
// "Plugin duplicate name: ", "Plugin initialize failed: ").
//
// Used on the user-interface thread only, at start-up and at shutdown.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "plugin/loader/THCPlugin.h"

namespace tarnix {

class THCPluginList {
 public:
  explicit THCPluginList(THCHandlerFactory handlerFactory);
  ~THCPluginList();  // Clear
  THCPluginList(const THCPluginList&) = delete;
  THCPluginList& operator=(const THCPluginList&) = delete;

  // Loads every directory entry matching the pattern's file part (a shell
  // wildcard such as "*.so"), in directory order. A missing folder loads nothing.
  void LoadFolder(const std::string& pattern);
  // Loads, checks and initialises one library; true when it joined the list.
  // A refused library is unloaded at once.
  bool LoadFile(const std::string& fileName);
  // Initialises the plugin. On success the list takes it over (plugin becomes
  // empty), logs ": initialized." and answers true; otherwise it logs
  // ": initialize error." and leaves the plugin with the caller.
  bool AddPlugin(std::unique_ptr<THCPlugin>& plugin);
  // Position of the first plugin with exactly this name, -1 if none.
  int IndexOfPlugin(const std::string& name) const;
  int Count() const { return static_cast<int>(plugins_.size()); }
  // The plugin at a position; null outside 0..Count()-1.
  THCPlugin* Items(int index) const;
  // Terminates the plugin at the position (whatever it answers), destroys it
  // and removes the entry; a position outside the list is ignored.
  void RemovePlugin(int index);
  // RemovePlugin(0) until the list is empty.
  void Clear();

  const THCHandlerFactory& HandlerFactory() const { return handlerFactory_; }

 private:
  const THCHandlerFactory handlerFactory_;
  std::vector<std::unique_ptr<THCPlugin>> plugins_;
};

// Names of plugin files of earlier versions, deleted from the plugins folder at start.
inline constexpr const char* kObsoletePluginFiles[] = {"private.so", "broadchat.so",
                                                       "broadsync.so"};
// Deletes them; files that do not exist (or cannot be removed) are skipped.
void DeleteObsoletePlugins(const std::filesystem::path& pluginFolder);

}  // namespace tarnix
