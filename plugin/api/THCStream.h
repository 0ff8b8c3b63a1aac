#pragma once
// THCStream: a host stream (TStream) over a plugin's IHCStream, so a transfer
// task can read or write a stream the plugin supplied. Read, Write and Seek go
// to the plugin's Read, Write and Seek (origin passed through); size and
// position follow from seeking. A failure inside the plugin's stream becomes a
// host error (std::runtime_error) that ends the connection's processing step.
//
// THCStreamAdapters keeps every adapter that is a task's stream, from the
// moment NewTask or AcceptTask hands it to the connection until the task's
// removal, when the task routing calls Release and the plugin's reference is
// given back. The list lives for the whole process and is never destroyed: an
// adapter of a task that was never freed is left alone rather than released
// into a library that may be unloaded by then.
//
// Threads: adapters are created on the plugin's thread and used and released
// on the connection thread; the list has its own lock.
#include <cstdint>

#include "plugin/sdk/HCPtr.h"
#include "transport/tasks/TranserStream.h"

namespace tarnix {

class THCStream final : public TStream {
 public:
  // Takes a reference of its own to stream (not null).
  explicit THCStream(IHCStream* stream);
  // Gives the plugin's reference back; a fault inside its Release is dropped.
  ~THCStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;

  IHCStream* PluginStream() const { return stream_.Get(); }

 private:
  HCPtr<IHCStream> stream_;  // not null until destruction
};

namespace THCStreamAdapters {

// A new adapter over stream, kept until Release; null for a null stream.
THCStream* Adopt(IHCStream* stream);
// Frees stream when it is a kept adapter (its plugin stream is released);
// anything else is ignored.
void Release(TStream* stream);
// The plugin stream behind a kept adapter, or null (borrowed).
IHCStream* PluginStreamOf(const TStream* stream);
// How many adapters are kept (for tests).
std::size_t Count();

}  // namespace THCStreamAdapters

}  // namespace tarnix
