#pragma once
// tarnix::THCObject<Interface>: the reference counting and QueryInterface of an
// object that implements one contract interface. A subclass implements the
// interface's own methods; it is created with new, handed out through
// HCPtr::Adopt, and destroyed at its last Release. Destructors stay non-public
// so nobody deletes a counted object directly.
#include <atomic>
#include <cstdint>

#include "plugin/sdk/HCInterfaces.h"

namespace tarnix {

template <class Interface>
class THCObject : public Interface {
 public:
  THCObject(const THCObject&) = delete;
  THCObject& operator=(const THCObject&) = delete;

  HCRESULT HCCALL QueryInterface(const HCGUID& iid, void** object) override {
    if (object == nullptr) return HC_E_POINTER;
    if (iid == IID_IHCUnknown || iid == Interface::kIid) {
      AddRef();
      *object = static_cast<Interface*>(this);
      return HCPE_ALLRIGHT;
    }
    *object = nullptr;
    return HC_E_NOINTERFACE;
  }

  uint32_t HCCALL AddRef() override {
    // Relaxed: taking a reference needs no ordering, the caller already holds one.
    return count_.fetch_add(1, std::memory_order_relaxed) + 1;
  }

  uint32_t HCCALL Release() override {
    // Acquire-release: every use of the object by other holders happens before
    // the thread that drops the last reference destroys it.
    const uint32_t left = count_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
      // Back to 1 so that a Release re-entered from the destructor cannot
      // destroy the object a second time.
      count_.store(1, std::memory_order_relaxed);
      delete this;
    }
    return left;
  }

 protected:
  THCObject() = default;
  virtual ~THCObject() = default;

 private:
  std::atomic<uint32_t> count_{1};  // a new object carries its creator's reference
};

}  // namespace tarnix
