#pragma once
// TTranserServer listens on a TCP port (all IPv4 addresses, backlog 5) and turns
// every incoming connection into a TTranserThread. It does not build connection
// threads itself: its accept thread asks the owner through OnGetTranserThread,
// so the owner can register the thread and set its events before it runs. With
// no handler, or a handler that gives no thread (e.g. while the program shuts
// down), the connection is accepted and closed at once. At most kMaxThreads
// incoming connections run at once; the next one is served when a slot frees.
//
// Closing the server ends every incoming connection through its normal final
// steps and returns when all have ended; outgoing connections are not affected.
// Close (and the destructor) must not be called from one of its connection
// threads.
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace tarnix {

class TServerSocketThread;
class TTranserSocket;
class TTranserThread;

class TTranserServer {
 public:
  static constexpr std::size_t kMaxThreads = 10;
  static constexpr int kBacklog = 5;

  // Runs on the accept thread. Build the thread with
  // TTranserThread::Create(serverSocketThread), register it, and return it (it is
  // started by the accept thread), or return null to refuse the connection.
  using TGetTranserThreadEvent = std::function<std::shared_ptr<TTranserThread>(
      TTranserServer& sender, TServerSocketThread& serverSocketThread)>;
  // Runs on the new connection's thread, after the accept, before the banner.
  using TClientConnectedEvent = std::function<void(TTranserServer& sender, TTranserSocket& client)>;

  TTranserServer();
  ~TTranserServer();
  TTranserServer(const TTranserServer&) = delete;
  TTranserServer& operator=(const TTranserServer&) = delete;

  // Set these before Open.
  void SetOnGetTranserThread(TGetTranserThreadEvent handler);
  void SetOnClientConnected(TClientConnectedEvent handler);
  // Decimal text; "0" lets the system choose (see BoundPort).
  void SetLocalPort(std::string port);
  std::string LocalPort() const;

  // Starts listening. Raises nothing: when the port cannot be bound the server
  // simply does not listen (a log line says why) and false is returned.
  bool Open();
  void Close();
  bool Active() const;
  // The port actually listened on (0 when not listening).
  int BoundPort() const;
  // Incoming connection threads running now.
  std::size_t ThreadCount() const;

  // Used by the accept thread and the connection threads.
  std::shared_ptr<TTranserThread> DoGetTranserThread(TServerSocketThread& serverSocketThread);
  void DoClientConnected(TTranserSocket& client);

 private:
  mutable std::mutex mutex_;
  std::string localPort_ = "8007";                     // guarded by mutex_
  int listenFd_ = -1;                                  // guarded by mutex_
  std::shared_ptr<TServerSocketThread> acceptThread_;  // guarded by mutex_
  TGetTranserThreadEvent onGetTranserThread_;          // set before Open
  TClientConnectedEvent onClientConnected_;            // set before Open
};

}  // namespace tarnix
