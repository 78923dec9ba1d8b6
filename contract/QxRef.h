// A counted reference to a plug-in interface: AddRef when a reference is
// shared in, Release when it is cleared or goes out of scope. The host and the
// modules keep every interface they hold in one of these, so no way out of an
// operation can leak or double-release a reference.
#pragma once

#include <utility>

#include "contract/QuorvexControlInterface.h"

namespace riffo {

template <typename T>
class TQxRef {
public:
  TQxRef() = default;
  ~TQxRef() { Clear(); }

  // Takes a reference the caller already owns (an entry point's result).
  static TQxRef Adopt(T* object) {
    TQxRef ref;
    ref.FObject = object;
    return ref;
  }
  // Takes a reference of its own on a borrowed pointer.
  static TQxRef Share(T* object) {
    TQxRef ref;
    if (object != nullptr) object->AddRef();
    ref.FObject = object;
    return ref;
  }

  TQxRef(const TQxRef& other) : FObject(other.FObject) {
    if (FObject != nullptr) FObject->AddRef();
  }
  TQxRef(TQxRef&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
  TQxRef& operator=(TQxRef other) noexcept {
    std::swap(FObject, other.FObject);
    return *this;
  }

  // Releases the reference; the pointer is null before Release runs, so a
  // re-entrant call from inside the object's destruction sees an empty holder.
  void Clear() {
    if (T* object = std::exchange(FObject, nullptr)) object->Release();
  }

  // The address to pass as an "out" argument; clears the holder first.
  T** Put() {
    Clear();
    return &FObject;
  }

  // Asks the object for another of its interfaces; empty when not supported.
  template <typename U>
  TQxRef<U> Query(const IID& iid) const {
    TQxRef<U> result;
    if (FObject == nullptr) return result;
    void* raw = nullptr;
    if (FObject->QueryInterface(iid, &raw) == S_OK && raw != nullptr)
      result = TQxRef<U>::Adopt(static_cast<U*>(raw));
    return result;
  }

  T* Get() const { return FObject; }
  T* operator->() const { return FObject; }
  explicit operator bool() const { return FObject != nullptr; }

private:
  T* FObject = nullptr;
};

}  // namespace riffo
