#include "transport/server/TranserServer.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "transport/connection/TranserThread.h"
#include "transport/log/Log.h"
#include "transport/server/ServerSocketThread.h"

namespace tarnix {

TTranserServer::TTranserServer() = default;

TTranserServer::~TTranserServer() {
  Close();
}

void TTranserServer::SetOnGetTranserThread(TGetTranserThreadEvent handler) {
  onGetTranserThread_ = std::move(handler);
}

void TTranserServer::SetOnClientConnected(TClientConnectedEvent handler) {
  onClientConnected_ = std::move(handler);
}

void TTranserServer::SetLocalPort(std::string port) {
  std::scoped_lock lock(mutex_);
  localPort_ = std::move(port);
}

std::string TTranserServer::LocalPort() const {
  std::scoped_lock lock(mutex_);
  return localPort_;
}

bool TTranserServer::Open() {
  std::scoped_lock lock(mutex_);
  if (listenFd_ >= 0) return true;
  int port = -1;
  const auto [end, ec] =
      std::from_chars(localPort_.data(), localPort_.data() + localPort_.size(), port);
  if (ec != std::errc() || end != localPort_.data() + localPort_.size() || port < 0 ||
      port > 65535) {
    WriteLog("Server cannot listen: port \"" + localPort_ + "\" is not a port number");
    return false;
  }
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    WriteLog("Server cannot listen: socket failed - " + std::to_string(errno));
    return false;
  }
  const int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 ||
      listen(fd, kBacklog) != 0) {
    const int error = errno;
    close(fd);
    WriteLog("Server cannot listen on port " + localPort_ + " - " + std::to_string(error));
    return false;
  }
  listenFd_ = fd;
  acceptThread_ = std::make_shared<TServerSocketThread>(*this, fd, kMaxThreads);
  acceptThread_->Start();
  return true;
}

void TTranserServer::Close() {
  std::shared_ptr<TServerSocketThread> acceptThread;
  int fd = -1;
  {
    std::scoped_lock lock(mutex_);
    acceptThread = std::move(acceptThread_);
    fd = listenFd_;
    listenFd_ = -1;
  }
  if (acceptThread) acceptThread->Stop();
  if (fd >= 0) close(fd);
}

bool TTranserServer::Active() const {
  std::scoped_lock lock(mutex_);
  return listenFd_ >= 0;
}

int TTranserServer::BoundPort() const {
  std::scoped_lock lock(mutex_);
  if (listenFd_ < 0) return 0;
  sockaddr_in addr{};
  socklen_t len = sizeof addr;
  if (getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
  return ntohs(addr.sin_port);
}

std::size_t TTranserServer::ThreadCount() const {
  std::shared_ptr<TServerSocketThread> acceptThread;
  {
    std::scoped_lock lock(mutex_);
    acceptThread = acceptThread_;
  }
  return acceptThread ? acceptThread->ThreadCount() : 0;
}

std::shared_ptr<TTranserThread> TTranserServer::DoGetTranserThread(
    TServerSocketThread& serverSocketThread) {
  if (!onGetTranserThread_) return nullptr;
  return onGetTranserThread_(*this, serverSocketThread);
}

void TTranserServer::DoClientConnected(TTranserSocket& client) {
  if (onClientConnected_) onClientConnected_(*this, client);
}

}  // namespace tarnix
