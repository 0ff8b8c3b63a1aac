#pragma once
// THCPStream: a host stream (TStream) shown to a plugin as an IHCStream. Read
// and Write go to the host stream; Seek is the host stream's 64-bit seek;
// handle is the host stream object's address.
//
// Two kinds:
// - owning (CreateOwning): the view owns the host stream and destroys it with
//   itself, at its last Release;
// - lent (LendHostStream): the view shows a stream it does not own for the
//   length of one notification. When the lender lets go, the view is detached
//   from the stream: a plugin that kept a reference then gets 0 from every
//   method instead of touching a stream that no longer exists. While lent, the
//   view is also what GetTask shows for that stream (LentViewOf).
//
// Threads: every method takes the view's own lock, so detaching on the
// connection thread and a call on another thread never overlap.
#include <memory>
#include <mutex>

#include "plugin/sdk/HCPtr.h"
#include "plugin/sdk/THCObject.h"
#include "transport/tasks/TranserStream.h"

namespace tarnix {

class THCPStream final : public THCObject<IHCStream> {
 public:
  // A new view that owns stream (one reference, the caller's); null for none.
  static HCPtr<IHCStream> CreateOwning(std::unique_ptr<TStream> stream);

  uint32_t HCCALL Read(void* buffer, uint32_t size) override;
  uint32_t HCCALL Write(const void* buffer, uint32_t size) override;
  // The new position; -1 after a failure or once detached.
  int64_t HCCALL Seek(int64_t offset, int32_t origin) override;
  intptr_t HCCALL handle() override;

 private:
  friend std::shared_ptr<IHCStream> LendHostStream(TStream* stream);

  THCPStream(TStream* stream, std::unique_ptr<TStream> owned)
      : stream_(stream), owned_(std::move(owned)) {}
  ~THCPStream() override = default;

  void Detach();

  std::mutex mutex_;
  TStream* stream_;                 // guarded by mutex_; null once detached
  std::unique_ptr<TStream> owned_;  // set for an owning view; destroyed with it
};

// A view over stream for the length of a notification: releasing the result
// detaches the view (see above) and drops the lender's reference. Null for a
// null stream.
std::shared_ptr<IHCStream> LendHostStream(TStream* stream);
// The view currently lent for stream, or null (borrowed, valid while lent).
IHCStream* LentViewOf(const TStream* stream);

}  // namespace tarnix
