#include "plugin/api/THCPStream.h"

#include <map>

namespace tarnix {
namespace {

// The views lent right now, for GetTask. Never destroyed: lending can happen on
// a connection thread until the very end of the process.
class TLentViews {
 public:
  void Add(const TStream* stream, IHCStream* view) {
    std::scoped_lock lock(mutex_);
    views_.emplace(stream, view);
  }
  void Remove(const TStream* stream, IHCStream* view) {
    std::scoped_lock lock(mutex_);
    const auto [first, last] = views_.equal_range(stream);
    for (auto it = first; it != last; ++it) {
      if (it->second == view) {
        views_.erase(it);
        return;
      }
    }
  }
  IHCStream* Find(const TStream* stream) {
    std::scoped_lock lock(mutex_);
    const auto it = views_.find(stream);
    return it == views_.end() ? nullptr : it->second;
  }

 private:
  std::mutex mutex_;
  std::multimap<const TStream*, IHCStream*> views_;  // guarded by mutex_
};

TLentViews& LentViews() {
  static TLentViews* const views = new TLentViews;
  return *views;
}

}  // namespace

HCPtr<IHCStream> THCPStream::CreateOwning(std::unique_ptr<TStream> stream) {
  if (!stream) return nullptr;
  TStream* const raw = stream.get();
  return HCPtr<IHCStream>::Adopt(new THCPStream(raw, std::move(stream)));
}

uint32_t THCPStream::Read(void* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::scoped_lock lock(mutex_);
  if (stream_ == nullptr) return 0;
  try {
    const int64_t got = stream_->Read(buffer, size);
    return got > 0 ? static_cast<uint32_t>(got) : 0;
  } catch (...) {
    return 0;
  }
}

uint32_t THCPStream::Write(const void* buffer, uint32_t size) {
  if (buffer == nullptr || size == 0) return 0;
  std::scoped_lock lock(mutex_);
  if (stream_ == nullptr) return 0;
  try {
    const int64_t put = stream_->Write(buffer, size);
    return put > 0 ? static_cast<uint32_t>(put) : 0;
  } catch (...) {
    return 0;
  }
}

int64_t THCPStream::Seek(int64_t offset, int32_t origin) {
  if (origin < 0 || origin > 2) return -1;
  std::scoped_lock lock(mutex_);
  if (stream_ == nullptr) return -1;
  try {
    return stream_->Seek(offset, static_cast<TSeekOrigin>(origin));
  } catch (...) {
    return -1;
  }
}

intptr_t THCPStream::handle() {
  std::scoped_lock lock(mutex_);
  return reinterpret_cast<intptr_t>(stream_);
}

void THCPStream::Detach() {
  std::scoped_lock lock(mutex_);
  stream_ = nullptr;
}

std::shared_ptr<IHCStream> LendHostStream(TStream* stream) {
  if (stream == nullptr) return nullptr;
  THCPStream* const view = new THCPStream(stream, nullptr);
  LentViews().Add(stream, view);
  return std::shared_ptr<IHCStream>(view, [stream](IHCStream* lent) {
    LentViews().Remove(stream, lent);
    static_cast<THCPStream*>(lent)->Detach();
    lent->Release();
  });
}

IHCStream* LentViewOf(const TStream* stream) {
  return stream == nullptr ? nullptr : LentViews().Find(stream);
}

}  // namespace tarnix
