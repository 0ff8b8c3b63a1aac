#include "core/manager/BoundedMemoryStream.h"

namespace tarnix {

int64_t TBoundedMemoryStream::Write(const void* buffer, int64_t count) {
  if (count < 0 || Position() > capacity_ - count) {
    overflowed_ = true;
    return 0;
  }
  return TMemoryStream::Write(buffer, count);
}

}  // namespace tarnix
