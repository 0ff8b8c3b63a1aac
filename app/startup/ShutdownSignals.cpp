#include "app/startup/ShutdownSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <system_error>

namespace tarnix {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The write end for the handler; -1 while no instance exists.
std::atomic<int> signalWriteFd{-1};
struct sigaction previousActions[sizeof(kSignals) / sizeof(kSignals[0])];

void OnSignal(int signal) {
  const int savedErrno = errno;
  const int fd = signalWriteFd.load(std::memory_order_relaxed);  // set before the handler
  if (fd >= 0) {
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a pending query: dropping this byte loses nothing.
    [[maybe_unused]] const ssize_t ignored = write(fd, &byte, 1);
  }
  errno = savedErrno;
}

}  // namespace

TShutdownSignals::TShutdownSignals() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "pipe for shutdown signals");
  }
  readFd_ = fds[0];
  writeFd_ = fds[1];
  signalWriteFd.store(writeFd_, std::memory_order_relaxed);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], &action, &previousActions[i]);
  }
}

TShutdownSignals::~TShutdownSignals() {
  for (size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], &previousActions[i], nullptr);
  }
  signalWriteFd.store(-1, std::memory_order_relaxed);
  close(readFd_);
  close(writeFd_);
}

std::vector<int> TShutdownSignals::TakeSignals() {
  std::vector<int> signals;
  unsigned char buffer[64];
  for (;;) {
    const ssize_t n = read(readFd_, buffer, sizeof(buffer));
    if (n > 0) {
      signals.insert(signals.end(), buffer, buffer + n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    return signals;  // empty pipe (EAGAIN) or closed
  }
}

}  // namespace tarnix
