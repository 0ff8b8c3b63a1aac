#pragma once
// tarnix::HCPtr<T>: holds one reference to a contract interface and releases
// it, so neither host nor plugin code calls AddRef and Release by hand.
// Adopt() takes over a reference the caller already owns (a method's result);
// Share() takes a reference of its own (an argument it wants to keep).
#include <cstddef>
#include <utility>

#include "plugin/sdk/HCInterfaces.h"

namespace tarnix {

template <class T>
class HCPtr {
 public:
  constexpr HCPtr() noexcept = default;
  constexpr HCPtr(std::nullptr_t) noexcept {}

  static HCPtr Adopt(T* object) noexcept {
    HCPtr result;
    result.object_ = object;
    return result;
  }
  static HCPtr Share(T* object) noexcept {
    if (object != nullptr) object->AddRef();
    return Adopt(object);
  }

  HCPtr(const HCPtr& other) noexcept : object_(other.object_) {
    if (object_ != nullptr) object_->AddRef();
  }
  HCPtr(HCPtr&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
  template <class U>
  HCPtr(HCPtr<U>&& other) noexcept : object_(other.Detach()) {}
  template <class U>
  HCPtr(const HCPtr<U>& other) noexcept : object_(other.Get()) {
    if (object_ != nullptr) object_->AddRef();
  }
  HCPtr& operator=(HCPtr other) noexcept {
    std::swap(object_, other.object_);
    return *this;
  }
  ~HCPtr() { Reset(); }

  void Reset() noexcept {
    if (T* object = std::exchange(object_, nullptr)) object->Release();
  }
  // Hands the reference out (as a method's result); the pointer is left empty.
  T* Detach() noexcept { return std::exchange(object_, nullptr); }
  T* Get() const noexcept { return object_; }
  T* operator->() const noexcept { return object_; }
  T& operator*() const noexcept { return *object_; }
  explicit operator bool() const noexcept { return object_ != nullptr; }

  // The object's interface U through QueryInterface; empty when it has none.
  template <class U>
  HCPtr<U> Query() const noexcept {
    void* result = nullptr;
    if (object_ == nullptr || object_->QueryInterface(U::kIid, &result) != HCPE_ALLRIGHT) {
      return HCPtr<U>();
    }
    return HCPtr<U>::Adopt(static_cast<U*>(result));
  }

 private:
  T* object_ = nullptr;
};

}  // namespace tarnix
