#pragma once
// THCServer: the local server. It owns the listening server on
// setting/server/port (read once, when it is created: a changed port takes
// effect at the next start) and hands every incoming connection to the
// connection manager, which registers it before it runs. While the program is
// finalizing it gives no thread, so a peer that connects then is accepted and
// closed at once.
//
// Threads: created, started, stopped and freed on the main thread; GetThread
// runs on the listening server's accept thread.
#include <memory>

namespace tarnix {

struct THCCoreContext;
class THCMemberList;
class THCTranserManager;
class TTranserServer;
class TServerSocketThread;
class TTranserThread;

class THCServer {
 public:
  // Also tells members the port, against which a member that is this program
  // itself is recognised.
  THCServer(THCCoreContext& context, THCMemberList& members, THCTranserManager& manager);
  // StopListening, then frees the listening server.
  ~THCServer();
  THCServer(const THCServer&) = delete;
  THCServer& operator=(const THCServer&) = delete;

  // Opens the listening server and logs "Server started." - also when the port
  // cannot be bound (the server then accepts nothing; outgoing connections
  // work regardless).
  void StartListening();
  // When listening: logs "Terminating server..." and closes the server, which
  // ends every incoming connection. Errors are logged as "Server Terminating
  // Error." and swallowed.
  void StopListening();

  bool Listening() const;
  // The port listened on (the system's choice for a configured port 0); 0
  // when not listening.
  int ListeningPort() const;

  // The listening server's OnGetTranserThread (accept thread).
  std::shared_ptr<TTranserThread> GetThread(TServerSocketThread& serverThread);

 private:
  THCCoreContext& context_;
  THCMemberList& members_;
  THCTranserManager& manager_;
  const std::unique_ptr<TTranserServer> server_;
};

}  // namespace tarnix
