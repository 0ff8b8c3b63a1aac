#pragma once
// THCCoreContext: what the member core's objects share, handed to them when
// they are created: the configuration document, the bus, the sync timer, the
// program folder, the finalizing flag, the ports to the layers above and the
// plugin layer's task-route hooks. Its owner (the start-up sequence or a test)
// keeps it alive for as long as the core objects live.
//
// Threads: set up on the main thread before the first connection exists and
// read-only afterwards, except what the referenced objects make safe
// themselves (the configuration's lock, the bus locks, the sync timer's queue)
// and the finalizing flag (atomic).
#include <atomic>
#include <filesystem>
#include <string>

#include "app/config/ConfigTypes.h"
#include "core/CorePorts.h"

namespace tarnix {

class THCServiceManager;
class THCEventManager;
class THCSyncTimer;

struct THCCoreContext {
  TXMLConfigType config;
  THCServiceManager* services = nullptr;
  THCEventManager* events = nullptr;
  THCSyncTimer* syncTimer = nullptr;
  // Holds "config/bubbyicon/".
  std::filesystem::path programFolder;
  // Set by the shut-down sequence; the server refuses new peers while it is.
  const std::atomic<bool>* finalizing = nullptr;
  // "a.b.c.d", sent to peers in imVersion.
  std::string programVersion;
  THCCorePorts ports;
  THCTaskRouteHooks taskHooks;

  std::string Text(const std::string& section, const std::string& key) const {
    return ports.text ? ports.text(section, key) : std::string();
  }
  bool Finalizing() const { return finalizing != nullptr && finalizing->load(); }
};

}  // namespace tarnix
