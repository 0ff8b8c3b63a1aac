#include "transport/server/ServerSocketThread.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"
#include "transport/server/TranserServer.h"

namespace tarnix {
namespace {

constexpr int kAcceptRetryMs = 100;

}  // namespace

TServerSocketThread::TServerSocketThread(TTranserServer& server, int listenFd,
                                         std::size_t maxThreads)
    : server_(server),
      listenFd_(listenFd),
      maxThreads_(maxThreads),
      stopFd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (stopFd_ < 0) throw std::runtime_error("eventfd failed - " + std::to_string(errno));
}

TServerSocketThread::~TServerSocketThread() {
  if (thread_.joinable()) {
    if (thread_.get_id() == std::this_thread::get_id()) {
      thread_.detach();
    } else {
      thread_.join();
    }
  }
  if (pendingFd_ >= 0) close(pendingFd_);
  close(stopFd_);
}

void TServerSocketThread::Start() {
  thread_ = std::thread([this] { Run(); });
}

void TServerSocketThread::Stop() {
  {
    std::scoped_lock lock(mutex_);
    stopping_ = true;
  }
  slotFreed_.notify_all();
  const uint64_t one = 1;
  [[maybe_unused]] const ssize_t rc = write(stopFd_, &one, sizeof one);
  if (thread_.joinable()) thread_.join();
}

int TServerSocketThread::TakePendingConnection() {
  const int fd = pendingFd_;
  pendingFd_ = -1;
  return fd;
}

void TServerSocketThread::ClientConnected(TTranserSocket& client) {
  try {
    server_.DoClientConnected(client);
  } catch (const std::exception& e) {
    WriteLog(std::string("OnClientConnected handler failed: ") + e.what());
  }
}

void TServerSocketThread::ThreadEnded(const TTranserThread* thread) {
  std::shared_ptr<TTranserThread> leaving;  // released outside the lock
  {
    std::scoped_lock lock(mutex_);
    const auto it = std::find_if(threads_.begin(), threads_.end(),
                                 [thread](const auto& t) { return t.get() == thread; });
    if (it != threads_.end()) {
      leaving = std::move(*it);
      threads_.erase(it);
    }
  }
  slotFreed_.notify_all();
}

std::size_t TServerSocketThread::ThreadCount() const {
  std::scoped_lock lock(mutex_);
  return threads_.size();
}

bool TServerSocketThread::WaitForSlot() {
  std::unique_lock lock(mutex_);
  slotFreed_.wait(lock, [this] { return stopping_ || threads_.size() < maxThreads_; });
  return !stopping_;
}

void TServerSocketThread::Run() {
  while (WaitForSlot()) {
    pollfd fds[2] = {{listenFd_, POLLIN, 0}, {stopFd_, POLLIN, 0}};
    const int rc = poll(fds, 2, -1);
    if (rc < 0 && errno != EINTR) {
      WriteLog("Accept wait failed - " + std::to_string(errno));
      break;
    }
    if (fds[1].revents != 0) break;
    if (fds[0].revents & POLLIN) AcceptOne();
  }
  // Every connection of this server ends through its own final steps.
  std::unique_lock lock(mutex_);
  for (const auto& thread : threads_) thread->Terminate();
  slotFreed_.wait(lock, [this] { return threads_.empty(); });
}

void TServerSocketThread::AcceptOne() {
  const int fd = accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == EINTR || error == ECONNABORTED) return;
    WriteLog("Accept failed - " + std::to_string(error));
    // Out of descriptors and the like: wait a little instead of spinning.
    pollfd stop{stopFd_, POLLIN, 0};
    poll(&stop, 1, kAcceptRetryMs);
    return;
  }
  pendingFd_ = fd;
  std::shared_ptr<TTranserThread> thread;
  try {
    thread = server_.DoGetTranserThread(*this);
  } catch (const std::exception& e) {
    WriteLog(std::string("OnGetTranserThread handler failed: ") + e.what());
  }
  // Not taken by a thread: accepted and closed at once.
  if (pendingFd_ >= 0) {
    close(pendingFd_);
    pendingFd_ = -1;
  }
  if (!thread) return;
  {
    std::scoped_lock lock(mutex_);
    threads_.push_back(thread);
  }
  thread->Start();
}

}  // namespace tarnix
