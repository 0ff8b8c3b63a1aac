#include "plugin/api/THCStream.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <unordered_map>

namespace tarnix {
namespace {

[[noreturn]] void PluginStreamFailed(const char* method) {
  throw std::runtime_error(std::string("Plugin stream failed in ") + method);
}

class TAdapterList {
 public:
  THCStream* Add(std::unique_ptr<THCStream> adapter) {
    THCStream* result = adapter.get();
    std::scoped_lock lock(mutex_);
    adapters_.emplace(result, std::move(adapter));
    return result;
  }
  std::unique_ptr<THCStream> Take(const TStream* stream) {
    std::scoped_lock lock(mutex_);
    const auto it = adapters_.find(stream);
    if (it == adapters_.end()) return nullptr;
    std::unique_ptr<THCStream> adapter = std::move(it->second);
    adapters_.erase(it);
    return adapter;
  }
  IHCStream* PluginStreamOf(const TStream* stream) {
    std::scoped_lock lock(mutex_);
    const auto it = adapters_.find(stream);
    return it == adapters_.end() ? nullptr : it->second->PluginStream();
  }
  std::size_t Count() {
    std::scoped_lock lock(mutex_);
    return adapters_.size();
  }

 private:
  std::mutex mutex_;
  std::unordered_map<const TStream*, std::unique_ptr<THCStream>> adapters_;  // guarded by mutex_
};

// Never destroyed, see the header.
TAdapterList& Adapters() {
  static TAdapterList* const list = new TAdapterList;
  return *list;
}

}  // namespace

THCStream::THCStream(IHCStream* stream) : stream_(HCPtr<IHCStream>::Share(stream)) {
  if (!stream_) throw std::invalid_argument("THCStream over a null stream");
}

THCStream::~THCStream() {
  if (IHCStream* stream = stream_.Detach()) {
    try {
      stream->Release();
    } catch (...) {
    }
  }
}

int64_t THCStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto size =
      static_cast<uint32_t>(std::min<int64_t>(count, std::numeric_limits<uint32_t>::max()));
  uint32_t got = 0;
  try {
    got = stream_->Read(buffer, size);
  } catch (...) {
    PluginStreamFailed("Read");
  }
  return std::min<int64_t>(got, size);  // never more than was asked for
}

int64_t THCStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto size =
      static_cast<uint32_t>(std::min<int64_t>(count, std::numeric_limits<uint32_t>::max()));
  uint32_t put = 0;
  try {
    put = stream_->Write(buffer, size);
  } catch (...) {
    PluginStreamFailed("Write");
  }
  return std::min<int64_t>(put, size);
}

int64_t THCStream::Seek(int64_t offset, TSeekOrigin origin) {
  try {
    return stream_->Seek(offset, static_cast<int32_t>(origin));
  } catch (...) {
    PluginStreamFailed("Seek");
  }
}

namespace THCStreamAdapters {

THCStream* Adopt(IHCStream* stream) {
  if (stream == nullptr) return nullptr;
  return Adapters().Add(std::make_unique<THCStream>(stream));
}

void Release(TStream* stream) {
  if (stream == nullptr) return;
  // Destroyed outside the list's lock: the plugin's Release runs here.
  std::unique_ptr<THCStream> adapter = Adapters().Take(stream);
}

IHCStream* PluginStreamOf(const TStream* stream) {
  return stream == nullptr ? nullptr : Adapters().PluginStreamOf(stream);
}

std::size_t Count() {
  return Adapters().Count();
}

}  // namespace THCStreamAdapters

}  // namespace tarnix
