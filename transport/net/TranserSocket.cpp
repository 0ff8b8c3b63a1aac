#include "transport/net/TranserSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>

#include "transport/wire/TranserErrors.h"

namespace tarnix {
namespace {

constexpr int kWaitSliceMs = 100;
constexpr int kReadWaitMs = 60000;
constexpr int kWriteWaitMs = 5000;
constexpr std::size_t kReadSlice = 65536;

void SetNoDelay(int fd) {
  // Frames are written whole; small ack frames must not wait for Nagle.
  const int one = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

}  // namespace

TTranserSocket::~TTranserSocket() {
  Release();
}

void TTranserSocket::SetRemote(std::string host, std::string port) {
  std::scoped_lock lock(mutex_);
  remoteHost_ = std::move(host);
  remotePort_ = std::move(port);
}

std::string TTranserSocket::RemoteHost() const {
  std::scoped_lock lock(mutex_);
  return remoteHost_;
}

std::string TTranserSocket::RemotePort() const {
  std::scoped_lock lock(mutex_);
  return remotePort_;
}

bool TTranserSocket::Connect() {
  if (closeRequested_.load(std::memory_order_acquire)) {
    lastError_ = ECANCELED;
    return false;
  }
  std::string host;
  std::string port;
  {
    std::scoped_lock lock(mutex_);
    host = remoteHost_;
    port = remotePort_;
  }
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
  if (rc != 0) {
    lastError_ = rc == EAI_SYSTEM ? errno : EHOSTUNREACH;
    return false;
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> list(found, &freeaddrinfo);
  for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
    const int fd = socket(ai->ai_family, ai->ai_socktype | SOCK_CLOEXEC, ai->ai_protocol);
    if (fd < 0) {
      lastError_ = errno;
      continue;
    }
    {
      std::scoped_lock lock(mutex_);
      fd_ = fd;
    }
    if (ConnectWaiting(fd, ai->ai_addr, ai->ai_addrlen)) {
      SetNoDelay(fd);
      connected_.store(true, std::memory_order_release);
      return true;
    }
    Release();
  }
  return false;
}

bool TTranserSocket::ConnectWaiting(int fd, const sockaddr* addr, socklen_t len) {
  // The system's own connect time-out applies; the wait is sliced only so that
  // Close from another thread ends it.
  const int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  if (connect(fd, addr, len) != 0) {
    if (errno != EINPROGRESS) {
      lastError_ = errno;
      return false;
    }
    for (;;) {
      if (closeRequested_.load(std::memory_order_acquire)) {
        lastError_ = ECANCELED;
        return false;
      }
      pollfd pfd{fd, POLLOUT, 0};
      const int rc = poll(&pfd, 1, kWaitSliceMs);
      if (rc > 0) break;
      if (rc < 0 && errno != EINTR) {
        lastError_ = errno;
        return false;
      }
    }
    int error = 0;
    socklen_t errorLen = sizeof error;
    if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &errorLen) != 0 || error != 0) {
      lastError_ = error != 0 ? error : errno;
      return false;
    }
  }
  fcntl(fd, F_SETFL, flags);
  return !closeRequested_.load(std::memory_order_acquire);
}

bool TTranserSocket::Adopt(int fd) {
  if (fd < 0) {
    lastError_ = EBADF;
    return false;
  }
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  std::string host;
  std::string port;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
      const auto* in = reinterpret_cast<const sockaddr_in*>(&addr);
      inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
      port = std::to_string(ntohs(in->sin_port));
    } else if (addr.ss_family == AF_INET6) {
      const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&addr);
      inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
      port = std::to_string(ntohs(in6->sin6_port));
    }
    host = text;
  }
  SetNoDelay(fd);
  {
    std::scoped_lock lock(mutex_);
    fd_ = fd;
    remoteHost_ = std::move(host);
    remotePort_ = std::move(port);
  }
  connected_.store(true, std::memory_order_release);
  return true;
}

void TTranserSocket::Close() {
  closeRequested_.store(true, std::memory_order_release);
  connected_.store(false, std::memory_order_release);
  std::scoped_lock lock(mutex_);
  if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

void TTranserSocket::Release() {
  connected_.store(false, std::memory_order_release);
  std::scoped_lock lock(mutex_);
  if (fd_ >= 0) {
    close(fd_);
    fd_ = -1;
  }
}

short TTranserSocket::Poll(short events, int timeoutMs) {
  if (fd_ < 0) return POLLNVAL;
  pollfd pfd{fd_, events, 0};
  for (;;) {
    const int rc = poll(&pfd, 1, timeoutMs);
    if (rc > 0) return pfd.revents;
    if (rc == 0) return 0;
    if (errno != EINTR) {
      lastError_ = errno;
      return POLLERR;
    }
  }
}

bool TTranserSocket::WaitFor(short events, int timeoutMs, bool readWait) {
  // Slices of 100 ms; WaitForRead runs while the rest is not negative and
  // WaitForWrite while it is positive, and a rest of exactly 100 ends the loop.
  int remaining = timeoutMs;
  for (;;) {
    if (!Connected()) return false;
    const short revents = Poll(events, std::min(std::max(remaining, 0), kWaitSliceMs));
    if (!Connected() || (revents & (POLLERR | POLLNVAL))) return false;
    if (revents & events) return true;
    if (revents & POLLHUP) return readWait;  // a hang-up reads as end of data
    if (remaining == kWaitSliceMs) return false;
    remaining -= kWaitSliceMs;
    if (readWait ? remaining < 0 : remaining <= 0) return false;
  }
}

bool TTranserSocket::WaitForRead(int timeoutMs) {
  return WaitFor(POLLIN, timeoutMs, true);
}

bool TTranserSocket::WaitForWrite(int timeoutMs) {
  return WaitFor(POLLOUT, timeoutMs, false);
}

int64_t TTranserSocket::ReceiveSome(std::span<uint8_t> buf) {
  for (;;) {
    const ssize_t n = recv(fd_, buf.data(), buf.size(), MSG_DONTWAIT);
    if (n >= 0) {
      bytesReceived_.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
      return n;
    }
    if (errno == EINTR) continue;
    lastError_ = errno;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return -1;
    throw ETranserSocketError("ReceiveBuf Error - " + std::to_string(lastError_));
  }
}

int64_t TTranserSocket::SendSome(const iovec* iov, int count) {
  msghdr msg{};
  msg.msg_iov = const_cast<iovec*>(iov);
  msg.msg_iovlen = static_cast<std::size_t>(count);
  for (;;) {
    const ssize_t n = sendmsg(fd_, &msg, MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) {
      bytesSent_.fetch_add(static_cast<uint64_t>(n), std::memory_order_relaxed);
      return n;
    }
    if (n < 0 && errno == EINTR) continue;
    lastError_ = n == 0 ? 0 : errno;
    // No buffer space is retried with the same bytes after a wait.
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS)) return -1;
    throw ETranserSocketError("SendBuf Error - " + std::to_string(lastError_));
  }
}

int64_t TTranserSocket::ReceiveBuf(void* buf, int64_t count, bool silent) {
  if (count <= 0) return 0;
  auto* out = static_cast<uint8_t*>(buf);
  int64_t received = 0;
  while (received < count) {
    if (!WaitForRead(kReadWaitMs)) {
      if (lastError_ == 0) lastError_ = Connected() ? ETIMEDOUT : ENOTCONN;
      if (silent) break;
      throw ETranserSocketError("ReceiveBuf Error - " + std::to_string(lastError_));
    }
    const std::size_t want =
        static_cast<std::size_t>(std::min<int64_t>(count - received, kReadSlice));
    int64_t n = 0;
    try {
      n = ReceiveSome(std::span(out + received, want));
    } catch (const ETranserSocketError&) {
      if (silent) break;
      throw;
    }
    if (n < 0) continue;  // woken without data
    if (n == 0) {
      lastError_ = 0;
      if (silent) break;
      throw ETranserSocketError("ReceiveBuf Error - 0");
    }
    received += n;
  }
  return received;
}

void TTranserSocket::SendBuf(const void* buf, int64_t count, bool silent) {
  if (count <= 0) return;
  const auto* in = static_cast<const uint8_t*>(buf);
  int64_t sent = 0;
  while (sent < count) {
    if (!WaitForWrite(kWriteWaitMs)) {
      if (lastError_ == 0) lastError_ = Connected() ? ETIMEDOUT : ENOTCONN;
      if (silent) return;
      throw ETranserSocketError("SendBuf Error - " + std::to_string(lastError_));
    }
    iovec iov{const_cast<uint8_t*>(in + sent), static_cast<std::size_t>(count - sent)};
    int64_t n = 0;
    try {
      n = SendSome(&iov, 1);
    } catch (const ETranserSocketError&) {
      if (silent) return;
      throw;
    }
    if (n > 0) sent += n;
  }
}

bool TTranserSocket::IsAlive() {
  if (!Connected()) return false;
  // A zero wait: the connection loop waits on its own, and a closed peer's
  // end-of-data is already reported without waiting.
  if (!(Poll(POLLIN, 0) & (POLLIN | POLLHUP | POLLERR))) return true;
  uint8_t byte = 0;
  for (;;) {
    const ssize_t n = recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n == 0) return false;
    if (n > 0) return true;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
    lastError_ = errno;
    return false;
  }
}

void TTranserSocket::SetSendBufferSize(int size) {
  if (setsockopt(fd_, SOL_SOCKET, SO_SNDBUF, &size, sizeof size) != 0) {
    throw ETranserSocketError("Can't set the socket option: SO_SNDBUF");
  }
}

void TTranserSocket::SetReceiveBufferSize(int size) {
  if (setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size) != 0) {
    throw ETranserSocketError("Can't set the socket option: SO_RCVBUF");
  }
}

}  // namespace tarnix
