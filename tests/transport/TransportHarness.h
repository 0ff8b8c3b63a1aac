#pragma once
// Shared pieces of the transport tests: a recorder of a connection's events that
// tests wait on (condition variable with a deadline), a connected pair of
// connection threads over 127.0.0.1 (a real server on port 0), and a raw peer
// that speaks bytes directly for the tests that need a misbehaving other side.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "transport/connection/TranserThread.h"
#include "transport/server/TranserServer.h"
#include "transport/tasks/TranserStream.h"
#include "transport/wire/Frame.h"
#include "transport/wire/FrameReader.h"
#include "transport/wire/WireFormat.h"

namespace tarnix::test {

inline constexpr auto kDeadline = std::chrono::seconds(20);

struct TTaskEvent {
  int code;
  int64_t uid;
  std::string name;
  uint8_t direction;
  uint8_t state;
  int32_t result;
  int64_t position;
};

// Records what one connection thread reports. Handlers may be extended by
// tests through the hooks.
class TRecorder {
 public:
  std::function<void(TTranserThread&, TTranserTask&, int)> onTask;  // runs first, unlocked
  std::function<void(TTranserThread&, int)> onNotify;

  TTranserEvents Events() {
    TTranserEvents events;
    events.OnTranserNotify = [this](TTranserThread& thread, int code) {
      if (onNotify) onNotify(thread, code);
      Push([&] { notifies_.push_back(code); });
    };
    events.OnTaskNotify = [this](TTranserThread& thread, TTranserTask& task, int code) {
      if (onTask) onTask(thread, task, code);
      Push([&] {
        tasks_.push_back(
            {code, task.UID, task.Name, task.Direction, task.State, task.Result, task.Position});
      });
    };
    events.OnTranserEnd = [this](TTranserThread&) {
      Push([&] {
        ended_ = true;
        notifies_.push_back(-1);
      });
    };
    events.OnTranserError = [this](TTranserThread&, const std::exception& e) {
      Push([&] { errors_.push_back(e.what()); });
    };
    return events;
  }

  // Waits until condition holds or the deadline passes. Woken by every event;
  // also looks again every few milliseconds, for conditions on the thread's own
  // state (which raises no event when it changes).
  bool WaitUntil(const std::function<bool()>& condition,
                 std::chrono::milliseconds deadline = kDeadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    std::unique_lock lock(mutex_);
    while (!condition()) {
      if (std::chrono::steady_clock::now() >= until) return false;
      changed_.wait_for(lock, std::chrono::milliseconds(5));
    }
    return true;
  }
  bool WaitNotify(int code) {
    return WaitUntil([&] { return HasNotifyLocked(code); });
  }
  bool WaitEnded() {
    return WaitUntil([&] { return ended_; });
  }
  bool WaitTask(int code, int64_t uid = 0) {
    return WaitUntil([&] { return FindTaskLocked(code, uid) != nullptr; });
  }

  std::vector<int> Notifies() {
    std::scoped_lock lock(mutex_);
    return notifies_;
  }
  std::vector<std::string> Errors() {
    std::scoped_lock lock(mutex_);
    return errors_;
  }
  std::vector<TTaskEvent> TaskEvents() {
    std::scoped_lock lock(mutex_);
    return tasks_;
  }
  // The last event with this code (and UID when not 0).
  TTaskEvent Task(int code, int64_t uid = 0) {
    std::scoped_lock lock(mutex_);
    const TTaskEvent* event = FindTaskLocked(code, uid);
    return event ? *event : TTaskEvent{-100, 0, "", 0, 0, 0, 0};
  }
  int CountTask(int code) {
    std::scoped_lock lock(mutex_);
    int n = 0;
    for (const auto& e : tasks_) n += e.code == code;
    return n;
  }
  // Wakes waiters after a change made outside the recorder.
  void Touch() {
    { std::scoped_lock lock(mutex_); }
    changed_.notify_all();
  }

 private:
  template <typename F>
  void Push(F change) {
    {
      std::scoped_lock lock(mutex_);
      change();
    }
    changed_.notify_all();
  }
  bool HasNotifyLocked(int code) const {
    for (int c : notifies_) {
      if (c == code) return true;
    }
    return false;
  }
  const TTaskEvent* FindTaskLocked(int code, int64_t uid) const {
    for (auto it = tasks_.rbegin(); it != tasks_.rend(); ++it) {
      if (it->code == code && (uid == 0 || it->uid == uid)) return &*it;
    }
    return nullptr;
  }

  // Re-entrant so that wait predicates may use the accessors above.
  std::recursive_mutex mutex_;
  std::condition_variable_any changed_;
  std::vector<int> notifies_;  // -1 marks OnTranserEnd
  std::vector<std::string> errors_;
  std::vector<TTaskEvent> tasks_;
  bool ended_ = false;
};

// A server on 127.0.0.1 port 0 plus one outgoing connection to it.
class TConnectedPair {
 public:
  explicit TConnectedPair(std::shared_ptr<const TTickClock> clock = SystemTickClock(),
                          int bufferSize = 32767) {
    server.SetLocalPort("0");
    server.SetOnGetTranserThread(
        [this, clock, bufferSize](TTranserServer&, TServerSocketThread& st) {
          auto thread = TTranserThread::Create(st, clock);
          thread->SetBufferSize(bufferSize);
          thread->SetEvents(incomingEvents.Events());
          std::scoped_lock lock(mutex_);
          incoming = thread;
          return thread;
        });
    EXPECT_TRUE(server.Open());
    outgoing = TTranserThread::Create("127.0.0.1", server.BoundPort(), clock);
    outgoing->SetBufferSize(bufferSize);
    outgoing->SetEvents(outgoingEvents.Events());
  }
  ~TConnectedPair() {
    if (outgoing) {
      outgoing->Disconnect();
      outgoing->WaitFor();
    }
    server.Close();
  }

  // Starts the outgoing side and waits until both sides are established.
  bool Connect() {
    outgoing->Start();
    return outgoingEvents.WaitNotify(tnConnected) && incomingEvents.WaitNotify(tnConnected) &&
           incomingEvents.WaitUntil([this] {
             std::scoped_lock lock(mutex_);
             return incoming && incoming->State() == csEstablished;
           }) &&
           outgoingEvents.WaitUntil([this] { return outgoing->State() == csEstablished; });
  }
  std::shared_ptr<TTranserThread> Incoming() {
    std::scoped_lock lock(mutex_);
    return incoming;
  }

  TRecorder outgoingEvents;
  TRecorder incomingEvents;
  TTranserServer server;
  std::shared_ptr<TTranserThread> outgoing;

 private:
  std::mutex mutex_;
  std::shared_ptr<TTranserThread> incoming;  // guarded by mutex_
};

// A plain TCP socket on 127.0.0.1 that the test drives byte by byte.
class TRawPeer {
 public:
  TRawPeer() = default;
  explicit TRawPeer(int fd) : fd_(fd) {}
  ~TRawPeer() {
    if (fd_ >= 0) close(fd_);
  }
  TRawPeer(TRawPeer&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }

  static TRawPeer ConnectTo(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return TRawPeer(fd);
  }

  void Send(std::span<const uint8_t> bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
      const ssize_t n = send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) return;
      sent += static_cast<std::size_t>(n);
    }
  }
  void Send(std::string_view text) {
    Send(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  }
  void SendFrame(TFrameKind kind, uint32_t id, uint8_t type, std::span<const uint8_t> data) {
    Send(BuildFrame(kind, id, type, data));
  }
  void SendBanner() { Send(kBanner); }

  // Reads exactly n bytes (fewer if the connection ends or the deadline passes).
  std::vector<uint8_t> Read(std::size_t n, std::chrono::milliseconds deadline = kDeadline) {
    std::vector<uint8_t> out;
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (out.size() < n) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) break;
      uint8_t buf[4096];
      const ssize_t got = recv(fd_, buf, std::min(sizeof buf, n - out.size()), 0);
      if (got <= 0) break;
      out.insert(out.end(), buf, buf + got);
    }
    return out;
  }
  // The next frame from the peer, or false when the connection ended first.
  bool ReadFrame(TRawFrame& frame, std::chrono::milliseconds deadline = kDeadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    while (reader_.Next(frame) == TFrameReader::TResult::NeedMore) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return false;
      uint8_t buf[65536];
      const ssize_t got = recv(fd_, buf, sizeof buf, 0);
      if (got <= 0) return false;
      reader_.Append(std::span(buf, static_cast<std::size_t>(got)));
    }
    return true;
  }
  // Reads frames until one matches; false when the connection ends first.
  bool ReadFrameUntil(TRawFrame& frame, const std::function<bool(const TRawFrame&)>& match) {
    while (ReadFrame(frame)) {
      if (match(frame)) return true;
    }
    return false;
  }
  // True once the other side has closed (reads return 0), skipping any data.
  bool WaitClosed(std::chrono::milliseconds deadline = kDeadline) {
    const auto until = std::chrono::steady_clock::now() + deadline;
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd pfd{fd_, POLLIN, 0};
      if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return false;
      uint8_t buf[4096];
      const ssize_t got = recv(fd_, buf, sizeof buf, 0);
      if (got <= 0) return true;
    }
  }
  int Fd() const { return fd_; }

 private:
  int fd_ = -1;
  TFrameReader reader_;
};

// A listening socket on 127.0.0.1 port 0 that hands out raw peers.
class TRawListener {
 public:
  explicit TRawListener(int backlog = 16) {
    fd_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    EXPECT_EQ(listen(fd_, backlog), 0);
    socklen_t len = sizeof addr;
    getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
    port_ = ntohs(addr.sin_port);
  }
  ~TRawListener() { close(fd_); }
  int Port() const { return port_; }
  TRawPeer Accept() { return TRawPeer(accept(fd_, nullptr, nullptr)); }

 private:
  int fd_ = -1;
  int port_ = 0;
};

// A source of size bytes that are made when read; nothing is held in memory.
class TPatternStream : public TStream {
 public:
  explicit TPatternStream(int64_t size) : size_(size) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::max<int64_t>(0, std::min(count, size_ - position_));
    auto* out = static_cast<uint8_t*>(buffer);
    for (int64_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((position_ + i) * 31 + 7);
    position_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t base = origin == TSeekOrigin::Beginning ? 0
                         : origin == TSeekOrigin::Current ? position_
                                                          : size_;
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
  }
  int64_t Size() override { return size_; }

 private:
  int64_t size_;
  int64_t position_ = 0;
};

// A destination that keeps only the count of bytes written to it.
class TSinkStream : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t count) override {
    if (count > 0) {
      position_ += count;
      size_ = std::max(size_, position_);
    }
    return count;
  }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t base = origin == TSeekOrigin::Beginning ? 0
                         : origin == TSeekOrigin::Current ? position_
                                                          : size_;
    position_ = std::max<int64_t>(0, base + offset);
    return position_;
  }
  int64_t Size() override { return size_; }

 private:
  int64_t size_ = 0;
  int64_t position_ = 0;
};

// NewTask under the task list's lock, giving the UID (0 when refused): the
// record may be finished and freed as soon as the lock is released.
inline int64_t StartTask(TTranserThread& thread, std::string_view name, TStream* stream,
                         uint32_t tag, std::span<const uint8_t> info, uint8_t packetType,
                         uint8_t bufferType, TBufferProc proc = {}) {
  std::scoped_lock lock(thread.Tasks().Mutex());
  TTranserTask* task =
      thread.NewTask(name, stream, tag, info, packetType, bufferType, std::move(proc));
  return task != nullptr ? task->UID : 0;
}

inline std::vector<uint8_t> PatternBytes(std::size_t n, uint32_t seed = 7) {
  std::vector<uint8_t> out(n);
  uint32_t x = seed;
  for (auto& b : out) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return out;
}

}  // namespace tarnix::test
