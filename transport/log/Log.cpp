#include "transport/log/Log.h"

#include <mutex>
#include <vector>

namespace tarnix {
namespace {

struct SinkEntry {
  int id;
  bool isDebug;
  LogSink sink;
};

struct SinkRegistry {
  std::mutex mutex;
  std::vector<SinkEntry> sinks;  // guarded by mutex
  int nextId = 1;                // guarded by mutex
};

SinkRegistry& Registry() {
  static SinkRegistry registry;
  return registry;
}

}  // namespace

int WriteLog(std::string_view text) {
  SinkRegistry& registry = Registry();
  // Sinks run under the lock so a line never reaches a sink being removed;
  // sinks are short (an append, a queued call) and never log themselves.
  std::scoped_lock lock(registry.mutex);
  bool debugAttached = false;
  for (const SinkEntry& entry : registry.sinks) {
    entry.sink(text);
    debugAttached = debugAttached || entry.isDebug;
  }
  return debugAttached ? 0 : 100;
}

int AddLogSink(LogSink sink, bool isDebugSink) {
  SinkRegistry& registry = Registry();
  std::scoped_lock lock(registry.mutex);
  const int id = registry.nextId++;
  registry.sinks.push_back({id, isDebugSink, std::move(sink)});
  return id;
}

void RemoveLogSink(int id) {
  SinkRegistry& registry = Registry();
  std::scoped_lock lock(registry.mutex);
  std::erase_if(registry.sinks, [id](const SinkEntry& e) { return e.id == id; });
}

}  // namespace tarnix
