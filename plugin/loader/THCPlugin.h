#pragma once
// THCPlugin: one plugin, loaded from a shared library with dlopen (or, in a
// subclass, built into the program). It resolves the three exports, reads the
// seven information strings, applies the version rule (string 0 exactly "0.4",
// a non-empty name, all three exports present), initialises the plugin with a
// new handler from the factory and terminates it. Destroying it unloads the
// library and logs "Plugin unloaded: " + Name.
//
// Every call into the plugin is guarded: an exception escaping an export is
// logged and becomes HCPE_INTERNAL_ERROR (empty text for GetPluginInfo), so
// nothing a plugin throws reaches the host. Used on the user-interface thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "plugin/sdk/HCInterfaces.h"
#include "plugin/sdk/HCPluginExports.h"
#include "plugin/sdk/HCPtr.h"

namespace tarnix {

class THCPlugin;

// Makes a new handler (one reference, handed to Initialize) for a plugin.
using THCHandlerFactory = std::function<HCPtr<IHCHandler>(const THCPlugin& plugin)>;

class THCPlugin {
 public:
  explicit THCPlugin(THCHandlerFactory handlerFactory);
  virtual ~THCPlugin();
  THCPlugin(const THCPlugin&) = delete;
  THCPlugin& operator=(const THCPlugin&) = delete;

  // Loads the library, resolves the exports, reads the strings, logs
  // "Plugin loaded: " + Name and answers whether the plugin passes the version
  // rule. A refusal is logged with its reason; nothing is initialised.
  virtual bool LoadModule(const std::string& fileName);

  // The library's export of that name; null when missing or without a library.
  void* GetProc(const char* name) const;
  // Information string `index` through GetPluginInfo with a 256-byte buffer; ""
  // for a result of 0 or less or a missing export.
  std::string GetInfo(int32_t index) const;
  // -1 without an Initialize export; otherwise the plugin's answer to
  // Initialize with a new handler (Initialized is set even when it is an error).
  int32_t InitializePlugin();
  // -1 without a Terminate export; otherwise the plugin's answer to Terminate.
  int32_t TerminatePlugin();

  bool HasLibrary() const { return library_ != nullptr; }
  const std::string& FileName() const { return fileName_; }
  const std::string& InterfaceVersion() const { return interfaceVersion_; }
  const std::string& Name() const { return name_; }
  const std::string& Caption() const { return caption_; }
  const std::string& Description() const { return description_; }
  const std::string& Author() const { return author_; }
  const std::string& Copyright() const { return copyright_; }
  const std::string& Version() const { return version_; }
  bool Initialized() const { return initialized_; }
  HCGetPluginInfoProc GetPluginInfoProc() const { return getPluginInfoProc_; }
  HCInitializeProc InitializeProc() const { return initializeProc_; }
  HCTerminateProc TerminateProc() const { return terminateProc_; }

 protected:
  // For a plugin whose exports are functions of the program itself: takes the
  // three functions, reads the strings, logs "Plugin loaded: " + Name and
  // answers true. No library and no version rule.
  bool LoadBuiltIn(std::string fileName, HCGetPluginInfoProc getPluginInfo,
                   HCInitializeProc initialize, HCTerminateProc terminate);

 private:
  struct TLibraryCloser {
    void operator()(void* library) const;
  };

  void ReadInfo();
  void LogCallFailure(const char* exportName) const;

  const THCHandlerFactory handlerFactory_;
  std::unique_ptr<void, TLibraryCloser> library_;
  std::string fileName_;
  std::string interfaceVersion_;
  std::string name_;
  std::string caption_;
  std::string description_;
  std::string author_;
  std::string copyright_;
  std::string version_;
  HCGetPluginInfoProc getPluginInfoProc_ = nullptr;
  HCInitializeProc initializeProc_ = nullptr;
  HCTerminateProc terminateProc_ = nullptr;
  bool initialized_ = false;
};

}  // namespace tarnix
