#pragma once
// SIGTERM, SIGINT and SIGHUP are the system's shutdown query. The handler
// only writes the signal number into a pipe; the main thread watches the
// pipe's read end (a socket notifier in the program, poll in tests) and runs
// the exit procedure there. One instance per process.
#include <vector>

namespace tarnix {

class TShutdownSignals {
 public:
  // Installs the handlers; throws std::system_error when the pipe cannot be made.
  TShutdownSignals();
  // Restores the previous handlers and closes the pipe.
  ~TShutdownSignals();
  TShutdownSignals(const TShutdownSignals&) = delete;
  TShutdownSignals& operator=(const TShutdownSignals&) = delete;

  // Becomes readable when a signal arrived.
  int ReadFd() const { return readFd_; }
  // The signals that arrived since the last call (non-blocking; may be empty).
  std::vector<int> TakeSignals();

 private:
  int readFd_ = -1;
  int writeFd_ = -1;
};

}  // namespace tarnix
