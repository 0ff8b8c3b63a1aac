// bench-transfer: throughput of one transfer task between two connection threads
// over loopback, next to the raw loopback TCP throughput and the MD5 throughput
// of the linked OpenSSL measured in the same run (every byte is hashed once on
// each side). Prints one "name: value" line per figure.
//
// Usage: bench-transfer [MiB per transfer, default 256]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "transport/connection/TranserThread.h"
#include "transport/server/TranserServer.h"
#include "transport/tasks/TranserStream.h"
#include "transport/wire/Md5.h"

namespace tarnix::bench {
namespace {

using Clock = std::chrono::steady_clock;
constexpr double kMiB = 1024.0 * 1024.0;

double Seconds(Clock::time_point since) {
  return std::chrono::duration<double>(Clock::now() - since).count();
}

void Print(const std::string& name, double value) {
  std::printf("%s: %.2f\n", name.c_str(), value);
}

// size bytes made by repeating a pattern block; reading costs one copy.
class TPatternSource : public TStream {
 public:
  TPatternSource(const std::vector<uint8_t>& block, int64_t size) : block_(block), size_(size) {}
  int64_t Read(void* buffer, int64_t count) override {
    const int64_t n = std::max<int64_t>(0, std::min(count, size_ - position_));
    auto* out = static_cast<uint8_t*>(buffer);
    int64_t done = 0;
    while (done < n) {
      const auto at =
          static_cast<std::size_t>((position_ + done) % static_cast<int64_t>(block_.size()));
      const auto take = static_cast<std::size_t>(
          std::min<int64_t>(n - done, static_cast<int64_t>(block_.size() - at)));
      std::memcpy(out + done, block_.data() + at, take);
      done += static_cast<int64_t>(take);
    }
    position_ += n;
    return n;
  }
  int64_t Write(const void*, int64_t) override { return 0; }
  int64_t Seek(int64_t offset, TSeekOrigin origin) override {
    const int64_t base = origin == TSeekOrigin::Beginning ? 0
                         : origin == TSeekOrigin::Current ? position_
                                                          : size_;
    position_ = std::clamp<int64_t>(base + offset, 0, size_);
    return position_;
  }
  int64_t Size() override { return size_; }

 private:
  const std::vector<uint8_t>& block_;
  int64_t size_;
  int64_t position_ = 0;
};

// Checks every byte against the pattern and keeps only the count.
class TCheckingSink : public TStream {
 public:
  explicit TCheckingSink(const std::vector<uint8_t>& block) : block_(block) {}
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void* buffer, int64_t count) override {
    const auto* in = static_cast<const uint8_t*>(buffer);
    int64_t done = 0;
    while (done < count) {
      const auto at =
          static_cast<std::size_t>((position_ + done) % static_cast<int64_t>(block_.size()));
      const auto take = static_cast<std::size_t>(
          std::min<int64_t>(count - done, static_cast<int64_t>(block_.size() - at)));
      if (std::memcmp(in + done, block_.data() + at, take) != 0) damaged_ = true;
      done += static_cast<int64_t>(take);
    }
    position_ += count;
    size_ = std::max(size_, position_);
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
  bool Damaged() const { return damaged_; }

 private:
  const std::vector<uint8_t>& block_;
  int64_t size_ = 0;
  int64_t position_ = 0;
  bool damaged_ = false;
};

double TcpMbPerSecond(int64_t bytes) {
  const int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  listen(listener, 1);
  socklen_t len = sizeof addr;
  getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len);
  const int client = socket(AF_INET, SOCK_STREAM, 0);
  connect(client, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  const int server = accept(listener, nullptr, nullptr);
  close(listener);
  const auto start = Clock::now();
  std::thread writer([&] {
    std::vector<uint8_t> chunk(65536, 0x42);
    int64_t sent = 0;
    while (sent < bytes) {
      const ssize_t n = send(client, chunk.data(), std::min<int64_t>(bytes - sent, 65536), 0);
      if (n <= 0) break;
      sent += n;
    }
  });
  std::vector<uint8_t> buffer(65536);
  int64_t received = 0;
  while (received < bytes) {
    const ssize_t n = recv(server, buffer.data(), buffer.size(), 0);
    if (n <= 0) break;
    received += n;
  }
  writer.join();
  const double seconds = Seconds(start);
  close(client);
  close(server);
  return static_cast<double>(received) / kMiB / seconds;
}

double Md5MbPerSecond(int64_t bytes) {
  std::vector<uint8_t> chunk(32767, 0x5a);
  TMd5 md5;
  const auto start = Clock::now();
  int64_t done = 0;
  while (done < bytes) {
    md5.Begin();
    md5.Update(chunk.data(), chunk.size());
    volatile uint8_t keep = md5.Finish()[0];
    (void)keep;
    done += static_cast<int64_t>(chunk.size());
  }
  return static_cast<double>(done) / kMiB / Seconds(start);
}

struct TTransferResult {
  double mbPerSecond = 0;
  bool ok = false;
};

TTransferResult TaskMbPerSecond(int64_t bytes, int bufferSize, uint8_t packetType,
                                const std::vector<uint8_t>& block) {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  int32_t result = 0;
  TCheckingSink sink(block);

  TTranserServer server;
  server.SetLocalPort("0");
  server.SetOnGetTranserThread([&](TTranserServer&, TServerSocketThread& st) {
    auto thread = TTranserThread::Create(st);
    thread->SetBufferSize(bufferSize);
    TTranserEvents events;
    events.OnTaskNotify = [&](TTranserThread& self, TTranserTask& task, int code) {
      if (code == tkArrived) self.AcceptTask(task.UID, &sink, 0);
      if (code == tkFinished) {
        std::scoped_lock lock(mutex);
        finished = true;
        result = task.Result;
        done.notify_all();
      }
    };
    thread->SetEvents(events);
    return thread;
  });
  if (!server.Open()) return {};
  auto outgoing = TTranserThread::Create("127.0.0.1", server.BoundPort());
  outgoing->SetBufferSize(bufferSize);
  outgoing->SetPacketType(packetType);
  bool connected = false;
  TTranserEvents events;
  events.OnTranserNotify = [&](TTranserThread&, int code) {
    std::scoped_lock lock(mutex);
    if (code == tnConnected) connected = true;
    done.notify_all();
  };
  outgoing->SetEvents(events);
  outgoing->Start();
  {
    std::unique_lock lock(mutex);
    done.wait_for(lock, std::chrono::seconds(10), [&] { return connected; });
  }
  TPatternSource source(block, bytes);
  const auto start = Clock::now();
  outgoing->NewTask("bench", &source, 0, {}, 0, btStream);
  double seconds = 0;
  {
    std::unique_lock lock(mutex);
    done.wait_for(lock, std::chrono::minutes(10), [&] { return finished; });
    seconds = Seconds(start);
  }
  outgoing->Disconnect();
  outgoing->WaitFor();
  server.Close();
  TTransferResult r;
  r.ok = finished && result == trCompleted && !sink.Damaged() && sink.Size() == bytes;
  r.mbPerSecond = static_cast<double>(bytes) / kMiB / seconds;
  return r;
}

}  // namespace
}  // namespace tarnix::bench

int main(int argc, char** argv) {
  using namespace tarnix;
  using namespace tarnix::bench;
  const int64_t mib = argc > 1 ? std::max(1L, std::strtol(argv[1], nullptr, 10)) : 256;
  const int64_t bytes = mib * 1024 * 1024;

  std::vector<uint8_t> random(1 << 20);  // repeats every MiB: beyond deflate's window
  std::mt19937 rng(12345);
  for (auto& b : random) b = static_cast<uint8_t>(rng());
  std::vector<uint8_t> text;
  const std::string line = "Tarnix moves data between members in chunks, each coded on its own. ";
  while (text.size() < (1u << 20)) text.insert(text.end(), line.begin(), line.end());

  const double tcp = TcpMbPerSecond(std::max<int64_t>(bytes, 1LL << 30));
  const double md5 = Md5MbPerSecond(bytes);
  Print("transfer_mib", static_cast<double>(mib));
  Print("tcp_mb_s", tcp);
  Print("md5_mb_s", md5);

  struct TCase {
    const char* name;
    uint8_t packetType;
    const std::vector<uint8_t>* block;
  };
  const TCase cases[] = {
      {"normal", ptNormal, &random},
      {"compressed_text", ptCompressed, &text},
      {"compressed_random", ptCompressed, &random},
      {"encrypted", ptEncrypted, &random},
  };
  bool allOk = true;
  for (int bufferSize : {32767, 131072}) {
    for (const TCase& c : cases) {
      const TTransferResult r = TaskMbPerSecond(bytes, bufferSize, c.packetType, *c.block);
      const std::string name = std::string(c.name) + "_" + std::to_string(bufferSize);
      allOk = allOk && r.ok;
      if (!r.ok) std::printf("%s_failed: 1\n", name.c_str());
      Print(name + "_mb_s", r.mbPerSecond);
      Print(name + "_vs_tcp", r.mbPerSecond / tcp);
      Print(name + "_vs_md5", r.mbPerSecond / md5);
      std::fflush(stdout);
    }
  }
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  Print("peak_rss_mib", static_cast<double>(usage.ru_maxrss) / 1024.0);
  return allOk ? 0 : 1;
}
