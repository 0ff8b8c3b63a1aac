#pragma once
// THCDebugger: the debug log of a run started with "/debug". Creating it
// empties (or creates) "debug.log" in the program folder, attaches a log sink
// that appends every WriteLog line to that file, and registers the bus service
// "debug" whose body is WriteLog (lParam: address of a NUL-terminated line).
// Destroying it deletes the service and detaches the sink.
//
// Line format: "[" + tick + "@" + thread id in upper-case hex, at least 6
// digits + "] " + text + CR LF. The file is opened and closed for every line,
// under a lock, so lines already written survive an abnormal end; a line that
// cannot be written is dropped without an error.
#include <cstdint>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>

#include "core/bus/ServiceManager.h"

namespace tarnix {

class THCDebugger {
 public:
  THCDebugger(const std::filesystem::path& programFolder, THCServiceManager& services);
  ~THCDebugger();
  THCDebugger(const THCDebugger&) = delete;
  THCDebugger& operator=(const THCDebugger&) = delete;

  const std::filesystem::path& LogFile() const { return file_; }

 private:
  void Append(std::string_view text);

  const std::filesystem::path file_;
  THCServiceManager& services_;
  std::mutex mutex_;  // serialises the appends to file_
  int sinkId_ = 0;
  BusHandle service_ = kNoBusHandle;
};

// One line of debug.log, without its line end.
std::string FormatDebugLine(std::uint32_t tick, std::uint64_t threadId, std::string_view text);

}  // namespace tarnix
