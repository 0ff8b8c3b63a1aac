#pragma once
// tarnix::THCPluginSkeleton: the framework every plugin is built on, the host's
// built-in plugin included. It answers the information strings, keeps the
// handler it receives at Initialize, hooks "system/loaded", "system/finalize",
// "member/statechange" and "member/transernotify", registers the services
// "transer/tasknotify/" + name and "transer/tasknotify/" + name +
// "/internalmsg", and turns all of these into virtual calls a plugin overrides.
//
// A plugin is a subclass plus one line:
//
//   class TChatPlugin : public tarnix::THCPluginSkeleton {
//    public:
//     TChatPlugin() { SetInfo(HCPI_NAME, "chat"); SetInfo(HCPI_CAPTION, "Chat"); }
//     int32_t OnTask(IHCPMember* member, TTranserTaskInfo* info, int32_t type) override;
//   };
//   TARNIX_PLUGIN(TChatPlugin)
//
// TARNIX_PLUGIN creates the one skeleton of the library when it is loaded and
// defines the exports GetPluginInfo, Initialize and Terminate (the only symbols
// a plugin exports; build it with tarnix_add_plugin, which hides the rest).
// Terminate destroys the skeleton; a library unloaded without Terminate
// destroys it at unload.
//
// Threads: the exports and the "system/*" hooks run on the user-interface
// thread; OnTask, OnInternalMessage and "member/transernotify" codes 2, 9 and
// 10 run on connection threads. The framework takes no lock of its own: the
// host clears every service and hook before Terminate, so no procedure runs
// while the skeleton goes away.
#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "plugin/sdk/HCInterfaces.h"
#include "plugin/sdk/HCPluginExports.h"
#include "plugin/sdk/HCPtr.h"

namespace tarnix {

class THCPluginSkeleton {
 public:
  // Becomes the current skeleton if there is none yet; Info[0] := "0.4".
  THCPluginSkeleton();
  virtual ~THCPluginSkeleton();
  THCPluginSkeleton(const THCPluginSkeleton&) = delete;
  THCPluginSkeleton& operator=(const THCPluginSkeleton&) = delete;

  // --- What a plugin overrides (the base versions do nothing). ---
  virtual void OnInitialize();  // end of initialisation; throwing undoes it
  virtual void OnTerminate();   // during termination, before the handler is released
  virtual void OnLoaded();      // event "system/loaded"
  virtual void OnFinalize();    // event "system/finalize"
  // Never called by the framework; a plugin's container procedure may forward here.
  virtual void GetContainerCaption(std::string& text);
  virtual void ShowContainer(intptr_t parentWindow, bool visible);
  virtual void ResizeContainer(intptr_t parentWindow, int32_t width, int32_t height);
  // Event "member/statechange"; member is null for an identifier no member has.
  virtual void OnMemberStateChange(IHCPMember* member, int32_t value);
  // Event "member/transernotify" (lParam code), only for a known member.
  virtual void OnMemberTranserNotify(IHCPMember* member, int32_t code);
  // The task-notification service of the plugin's name; the base answers
  // HCPE_NOTIMPLEMENT_ERROR, which makes the host deny an announced task.
  virtual int32_t OnTask(IHCPMember* member, TTranserTaskInfo* info, int32_t notifyType);
  // A message from the same plugin on the peer has arrived.
  virtual void OnInternalMessage(IHCPMember* member, const THCInternalMessage& message);

  // --- State. ---
  // Information string 0..6 (HCPI_*); "" for any other index.
  const std::string& Info(int32_t index) const;
  IHCHandler* Handler() const { return handler_.Get(); }
  bool Initialized() const { return initialized_; }
  const std::string& InternalMessageName() const { return internalMessageName_; }
  uint32_t DebugService() const { return debugService_; }
  uint32_t TaskNotifyService() const { return taskNotifyService_; }
  uint32_t InternalMessageService() const { return internalMessageService_; }

  // Hands an object to the framework, which destroys it at termination (first
  // handed, first destroyed). Answers the object.
  template <class T>
  T* Own(std::unique_ptr<T> object) {
    T* result = object.get();
    ownedObjects_.push_back(std::shared_ptr<void>(std::move(object)));
    return result;
  }

  // Sends an internal message to the same plugin on the member's machine: a
  // task named InternalMessageName() on the member's connection whose data is
  // code, byte count and bytes. HCPE_INTERNAL_ERROR when the member has no
  // authenticated connection or the task could not be created.
  HCRESULT SendInternalMessage(IHCPMember& member, int32_t code, std::span<const uint8_t> data,
                               int64_t* taskUID = nullptr);

  // --- The bodies of the exports (the host calls them directly for its
  // built-in plugin, through the Skeleton* functions below). ---
  int32_t GetPluginInfo(int32_t index, char* buffer, int32_t bufferSize) const;
  int32_t Initialize(IHCHandler* handler);
  // Runs the termination; the caller then destroys the object.
  int32_t Terminate();

 protected:
  void SetInfo(int32_t index, std::string text);

 private:
  friend struct TSkeletonProcedures;

  void Rollback();  // undoes a failed initialisation
  void DestroyOwnedObjects(bool& failed);
  HCPtr<IHCPMember> FindMember(intptr_t userID) const;

  std::array<std::string, HCPI_COUNT> info_;
  std::string internalMessageName_;
  HCPtr<IHCHandler> handler_;
  bool initialized_ = false;
  uint32_t debugService_ = 0;
  uint32_t taskNotifyService_ = 0;
  uint32_t internalMessageService_ = 0;
  std::vector<HCHEvent> hooks_;  // to undo a failed initialisation and at termination
  std::vector<std::shared_ptr<void>> ownedObjects_;
};

// The module's current skeleton, null before one is created and after Terminate.
THCPluginSkeleton* CurrentSkeleton();

// Creates the module's skeleton with `factory` and keeps it until Terminate or
// until the module is unloaded. A factory that throws, or a second skeleton,
// leaves the module without (another) one. Answers whether it was installed.
bool InstallSkeleton(std::unique_ptr<THCPluginSkeleton> (*factory)());

// The exports, routed to the current skeleton. Without one: 0, HCPE_INTERNAL_ERROR
// and HCPE_UNINITIALIZED_ERROR. SkeletonTerminate destroys the skeleton.
int32_t SkeletonGetPluginInfo(int32_t index, char* buffer, int32_t bufferSize);
int32_t SkeletonInitialize(IHCHandler* handler);
int32_t SkeletonTerminate();

// Calls the host service `name` (looked up on every call through the current
// skeleton's handler); HCPE_NOTIMPLEMENT_ERROR when there is no handler or no
// such service, so a missing provider makes the call do nothing.
intptr_t CallHostService(const char* name, intptr_t wParam, intptr_t lParam);

// "ui/alert" with a record built from the twelve fields (texts in UTF-8, valid
// for the call); answers the service's result.
intptr_t Alert(int32_t kind, int32_t reserved, int32_t displayTime, const char* title,
               const char* text, intptr_t ownerWindow, int32_t option1, int32_t option2,
               int32_t option3, int32_t x, int32_t y, int32_t flags);

// "messenger/MakeSession" for a member; answers the service's result.
intptr_t MessengerMakeSession(int32_t userID);

}  // namespace tarnix

// Defines the library's skeleton and its three exports. Use once per plugin.
#define TARNIX_PLUGIN(PluginClass)                                                      \
  namespace {                                                                           \
  [[maybe_unused]] const bool kTarnixSkeletonInstalled =                                \
      ::tarnix::InstallSkeleton([]() -> std::unique_ptr<::tarnix::THCPluginSkeleton> {  \
        return std::make_unique<PluginClass>();                                         \
      });                                                                               \
  }                                                                                     \
  extern "C" HC_PLUGIN_EXPORT int32_t HCCALL GetPluginInfo(int32_t index, char* buffer, \
                                                           int32_t bufferSize) {        \
    return ::tarnix::SkeletonGetPluginInfo(index, buffer, bufferSize);                  \
  }                                                                                     \
  extern "C" HC_PLUGIN_EXPORT int32_t HCCALL Initialize(IHCHandler* handler) {          \
    return ::tarnix::SkeletonInitialize(handler);                                       \
  }                                                                                     \
  extern "C" HC_PLUGIN_EXPORT int32_t HCCALL Terminate(void) {                          \
    return ::tarnix::SkeletonTerminate();                                               \
  }
