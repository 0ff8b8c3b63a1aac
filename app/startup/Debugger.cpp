#include "app/startup/Debugger.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "transport/time/TickClock.h"
#include "core/bus/BusResults.h"
#include "transport/log/Log.h"

namespace tarnix {
namespace {

// Writes all of data to fd; false on an error.
bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

std::string FormatDebugLine(std::uint32_t tick, std::uint64_t threadId, std::string_view text) {
  char prefix[64];
  std::snprintf(prefix, sizeof(prefix), "[%u@%06llX] ", static_cast<unsigned>(tick),
                static_cast<unsigned long long>(threadId));
  std::string line = prefix;
  line.append(text);
  return line;
}

THCDebugger::THCDebugger(const std::filesystem::path& programFolder, THCServiceManager& services)
    : file_(programFolder / "debug.log"), services_(services) {
  const int fd = open(file_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd >= 0) close(fd);
  sinkId_ = AddLogSink([this](std::string_view text) { Append(text); }, /*isDebugSink=*/true);
  service_ = services_.CreateService("debug", [](std::intptr_t, std::intptr_t lParam) -> std::intptr_t {
    // A plugin that passes no text gets an error instead of a crash.
    if (lParam == 0) return HCPE_INVALID_ARG;
    return WriteLog(reinterpret_cast<const char*>(lParam));
  });
}

THCDebugger::~THCDebugger() {
  if (services_.DebugService() == service_) services_.SetDebugService(kNoBusHandle);
  services_.DeleteService(service_);
  RemoveLogSink(sinkId_);
}

void THCDebugger::Append(std::string_view text) {
  std::string line = FormatDebugLine(SystemTickClock()->Now(), static_cast<std::uint64_t>(gettid()), text);
  line += "\r\n";
  std::scoped_lock lock(mutex_);
  const int fd = open(file_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  WriteAll(fd, line);
  close(fd);
}

}  // namespace tarnix
