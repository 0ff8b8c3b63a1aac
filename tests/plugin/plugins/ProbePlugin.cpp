// A plugin on the skeleton whose information strings and behaviour are chosen
// at build time, so one source gives the well-formed and the broken libraries
// the loader must tell apart.
//
//   PROBE_NAME        information string 1
//   PROBE_VERSION     information string 0 (default "0.4")
//   PROBE_CAPTION     information string 2
//   PROBE_INIT_FAILS  OnInitialize throws, so Initialize answers 100
//   PROBE_THROWS_OUT  the Initialize export lets an exception out (a broken export)
//   PROBE_TERMINATE_THROWS  the Terminate export lets an exception out
//
// It reports its life on the bus through its handler: at the end of
// initialisation it notifies "lifecycle/<name>/initialize"; at termination
// "lifecycle/<name>/terminate/<n>", where n is 1 when its own task service was
// still registered (it must not be: the host clears the bus first).
#include <stdexcept>
#include <string>

#include "plugin/sdk/THCPluginSkeleton.h"

#ifndef PROBE_NAME
#define PROBE_NAME "probe"
#endif
#ifndef PROBE_VERSION
#define PROBE_VERSION "0.4"
#endif
#ifndef PROBE_CAPTION
#define PROBE_CAPTION "Probe"
#endif

namespace {

class TProbePlugin : public tarnix::THCPluginSkeleton {
 public:
  TProbePlugin() {
    SetInfo(HCPI_INTERFACE_VERSION, PROBE_VERSION);
    SetInfo(HCPI_NAME, PROBE_NAME);
    SetInfo(HCPI_CAPTION, PROBE_CAPTION);
    SetInfo(HCPI_DESCRIPTION, "Loader test plugin");
    SetInfo(HCPI_AUTHOR, "tarnix tests");
    SetInfo(HCPI_VERSION, "1.0");
  }

  void OnInitialize() override {
#ifdef PROBE_INIT_FAILS
    throw std::runtime_error("probe refuses to start");
#endif
    Handler()->NotifyEvent(("lifecycle/" + Info(HCPI_NAME) + "/initialize").c_str(), 0, 0);
  }

  void OnTerminate() override {
    const std::string own = "transer/tasknotify/" + Info(HCPI_NAME);
    const bool stillThere = Handler()->GetService(own.c_str()) != 0;
    const std::string event =
        "lifecycle/" + Info(HCPI_NAME) + "/terminate/" + (stillThere ? "1" : "0");
    Handler()->NotifyEvent(event.c_str(), 0, 0);
  }
};

}  // namespace

#if defined(PROBE_THROWS_OUT) || defined(PROBE_TERMINATE_THROWS)
// Broken on purpose: the exports let exceptions out instead of answering a code.
namespace {
[[maybe_unused]] const bool kInstalled =
    tarnix::InstallSkeleton([]() -> std::unique_ptr<tarnix::THCPluginSkeleton> {
      return std::make_unique<TProbePlugin>();
    });
}
extern "C" HC_PLUGIN_EXPORT int32_t HCCALL GetPluginInfo(int32_t index, char* buffer,
                                                         int32_t bufferSize) {
  return tarnix::SkeletonGetPluginInfo(index, buffer, bufferSize);
}
extern "C" HC_PLUGIN_EXPORT int32_t HCCALL Initialize(IHCHandler* handler) {
#ifdef PROBE_THROWS_OUT
  (void)handler;
  throw std::runtime_error("thrown from Initialize");
#else
  return tarnix::SkeletonInitialize(handler);
#endif
}
extern "C" HC_PLUGIN_EXPORT int32_t HCCALL Terminate(void) {
  throw std::logic_error("thrown from Terminate");
}
#else
TARNIX_PLUGIN(TProbePlugin)
#endif
