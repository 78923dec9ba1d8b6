// One counted reference to a plug-in interface: AddRef when taken, Release
// when dropped or replaced.
#pragma once

#include <utility>

namespace riffo {

template <typename Interface>
class TInterfaceRef {
public:
  TInterfaceRef() = default;
  explicit TInterfaceRef(Interface* object) : FObject(object) {
    if (FObject != nullptr) FObject->AddRef();
  }
  TInterfaceRef(const TInterfaceRef& other) : TInterfaceRef(other.FObject) {}
  TInterfaceRef(TInterfaceRef&& other) noexcept : FObject(std::exchange(other.FObject, nullptr)) {}
  TInterfaceRef& operator=(TInterfaceRef other) noexcept {
    std::swap(FObject, other.FObject);
    return *this;
  }
  ~TInterfaceRef() { Clear(); }

  void Reset(Interface* object) { *this = TInterfaceRef(object); }
  void Clear() {
    if (Interface* object = std::exchange(FObject, nullptr)) object->Release();
  }
  Interface* Get() const { return FObject; }
  explicit operator bool() const { return FObject != nullptr; }

private:
  Interface* FObject = nullptr;
};

}  // namespace riffo
