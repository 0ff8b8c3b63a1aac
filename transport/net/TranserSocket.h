#pragma once
// TTranserSocket: one blocking TCP connection with fixed waits. ReceiveBuf and
// SendBuf move whole buffers (waiting up to 60 s per read and 5 s per write
// stall) and raise ETranserSocketError ("ReceiveBuf Error - <errno>",
// "SendBuf Error - <errno>") unless Silent is set. Waits are sliced at 100 ms so
// a closed socket is noticed quickly.
//
// Threads: the connection thread uses it alone, except Close (which any thread
// may call to cut the connection: it shuts the socket down, and the descriptor
// itself is released by the owner in Release or the destructor), RemoteHost,
// RemotePort and the byte totals, which any thread may read.
#include <sys/socket.h>
#include <sys/uio.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>

namespace tarnix {

class TTranserSocket {
 public:
  TTranserSocket() = default;
  ~TTranserSocket();
  TTranserSocket(const TTranserSocket&) = delete;
  TTranserSocket& operator=(const TTranserSocket&) = delete;

  // Outgoing: resolves RemoteHost and connects to RemotePort (blocking, the
  // system's own time-out, ended early by Close). False on failure; LastError()
  // has the errno.
  bool Connect();
  // Incoming: takes over a descriptor returned by accept(); the peer's dotted
  // IPv4 address and decimal port become RemoteHost and RemotePort.
  bool Adopt(int fd);

  void SetRemote(std::string host, std::string port);
  std::string RemoteHost() const;
  std::string RemotePort() const;

  bool Connected() const { return connected_.load(std::memory_order_acquire); }
  // Any thread: cuts the connection; blocked waits and calls return at once.
  void Close();
  // Connection thread: closes the descriptor.
  void Release();

  bool WaitForRead(int timeoutMs);
  bool WaitForWrite(int timeoutMs);
  int64_t ReceiveBuf(void* buf, int64_t count, bool silent);
  void SendBuf(const void* buf, int64_t count, bool silent);
  // Connected and not closed by the peer; consumes nothing.
  bool IsAlive();
  void SetSendBufferSize(int size);
  void SetReceiveBufferSize(int size);

  // Low-level calls for the frame exchange (no waiting; errno on failure).
  // ReceiveSome: bytes read, 0 when the peer closed, -1 when nothing is there.
  // SendSome: bytes written, -1 when the socket cannot take more now.
  int64_t ReceiveSome(std::span<uint8_t> buf);
  int64_t SendSome(const iovec* iov, int count);
  // poll() for the given events plus errors; returns the revents (0 on time-out).
  short Poll(short events, int timeoutMs);

  int Fd() const { return fd_; }
  int LastError() const { return lastError_; }
  uint64_t BytesReceived() const { return bytesReceived_.load(std::memory_order_relaxed); }
  uint64_t BytesSent() const { return bytesSent_.load(std::memory_order_relaxed); }

 private:
  bool WaitFor(short events, int timeoutMs, bool readWait);
  bool ConnectWaiting(int fd, const sockaddr* addr, socklen_t len);

  mutable std::mutex mutex_;
  int fd_ = -1;             // written under mutex_ by the connection thread only
  std::string remoteHost_;  // guarded by mutex_
  std::string remotePort_;  // guarded by mutex_
  std::atomic<bool> connected_{false};
  std::atomic<bool> closeRequested_{false};
  int lastError_ = 0;  // connection thread only
  std::atomic<uint64_t> bytesReceived_{0};
  std::atomic<uint64_t> bytesSent_{0};
};

}  // namespace tarnix
