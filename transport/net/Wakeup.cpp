#include "transport/net/Wakeup.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

namespace tarnix {

TWakeup::TWakeup() : fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (fd_ < 0) throw std::runtime_error("eventfd failed - " + std::to_string(errno));
}

TWakeup::~TWakeup() {
  close(fd_);
}

void TWakeup::Signal() {
  const uint64_t one = 1;
  // A full counter (EAGAIN) already means "signalled".
  [[maybe_unused]] const ssize_t rc = write(fd_, &one, sizeof one);
}

void TWakeup::Clear() {
  uint64_t value = 0;
  [[maybe_unused]] const ssize_t rc = read(fd_, &value, sizeof value);
}

}  // namespace tarnix
