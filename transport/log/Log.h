#pragma once
// The one logging entry point of the program, callable from any thread.
// It lives in the lowest layer so the transport can log too; the start-up
// panel echo and the debug log attach to it as sinks later.
#include <functional>
#include <string>
#include <string_view>

namespace tarnix {

// A sink receives every line. It must not call WriteLog itself.
using LogSink = std::function<void(std::string_view line)>;

// Returns 100 when no debug sink is attached and 0 otherwise (the same value
// the "debug" service answers).
int WriteLog(std::string_view text);

// Attaches a sink and returns its id for RemoveLogSink. A sink marked as the
// debug sink turns WriteLog's result to 0 while it is attached.
int AddLogSink(LogSink sink, bool isDebugSink = false);
void RemoveLogSink(int id);

// Detaches sinks when it goes out of scope.
class ScopedLogSink {
 public:
  explicit ScopedLogSink(LogSink sink, bool isDebugSink = false)
      : id_(AddLogSink(std::move(sink), isDebugSink)) {}
  ~ScopedLogSink() { RemoveLogSink(id_); }
  ScopedLogSink(const ScopedLogSink&) = delete;
  ScopedLogSink& operator=(const ScopedLogSink&) = delete;

 private:
  int id_;
};

}  // namespace tarnix
