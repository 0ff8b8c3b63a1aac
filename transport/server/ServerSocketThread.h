#pragma once
// TServerSocketThread: the accept thread of a TTranserServer and its list of the
// connection threads it started (at most TTranserServer::kMaxThreads at once).
// While the list is full it waits on a condition for a slot to free; pending
// connections meanwhile stay in the listening socket's backlog. When it ends it
// terminates every connection thread in its list and waits until all have left.
//
// An incoming TTranserThread keeps a reference to it, takes its accepted
// connection from it when built (TakePendingConnection), raises the server's
// OnClientConnected through it, and leaves its list when it has ended.
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace tarnix {

class TTranserServer;
class TTranserSocket;
class TTranserThread;

class TServerSocketThread : public std::enable_shared_from_this<TServerSocketThread> {
 public:
  TServerSocketThread(TTranserServer& server, int listenFd, std::size_t maxThreads);
  ~TServerSocketThread();
  TServerSocketThread(const TServerSocketThread&) = delete;
  TServerSocketThread& operator=(const TServerSocketThread&) = delete;

  void Start();
  // Ends the accept loop, then every listed connection thread; returns when all
  // have left the list. Not to be called from one of those connection threads.
  void Stop();

  // The descriptor just accepted, for the connection thread being built (-1 when
  // none is waiting). The caller owns it.
  int TakePendingConnection();
  // Called by an incoming connection thread on its own thread.
  void ClientConnected(TTranserSocket& client);
  void ThreadEnded(const TTranserThread* thread);
  std::size_t ThreadCount() const;

 private:
  void Run();
  void AcceptOne();
  bool WaitForSlot();

  TTranserServer& server_;  // outlives this thread's connection threads (Stop waits)
  const int listenFd_;      // owned by the server
  const std::size_t maxThreads_;
  int stopFd_ = -1;  // eventfd that wakes the accept wait
  std::thread thread_;

  mutable std::mutex mutex_;
  std::condition_variable slotFreed_;
  std::vector<std::shared_ptr<TTranserThread>> threads_;  // guarded by mutex_
  bool stopping_ = false;                                 // guarded by mutex_
  int pendingFd_ = -1;  // accept thread only, while OnGetTranserThread runs
};

}  // namespace tarnix
