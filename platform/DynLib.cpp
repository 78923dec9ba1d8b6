#include "platform/DynLib.h"

#include <dlfcn.h>

#include <utility>

#include "platform/Files.h"

namespace riffo {
namespace {

std::string TakeDlError(const char* fallback) {
  const char* text = ::dlerror();
  return text != nullptr ? std::string(text) : std::string(fallback);
}

}  // namespace

TDynLib::TDynLib(TDynLib&& other) noexcept
    : FHandle(std::exchange(other.FHandle, nullptr)), FLastError(std::move(other.FLastError)) {}

TDynLib& TDynLib::operator=(TDynLib&& other) noexcept {
  if (this != &other) {
    Free();
    FHandle = std::exchange(other.FHandle, nullptr);
    FLastError = std::move(other.FLastError);
  }
  return *this;
}

bool TDynLib::Load(const std::u16string& fileName, bool keepMapped) {
  Free();
  FLastError.clear();
  if (fileName.empty()) {
    // dlopen(nullptr) would hand back the program itself.
    FLastError = "empty library file name";
    return false;
  }
  ::dlerror();
  FHandle = ::dlopen(ToNativePath(fileName).c_str(),
                     RTLD_NOW | RTLD_LOCAL | (keepMapped ? RTLD_NODELETE : 0));
  if (FHandle == nullptr) {
    FLastError = TakeDlError("dlopen failed");
    return false;
  }
  return true;
}

void* TDynLib::Symbol(const char* name) const {
  if (FHandle == nullptr || name == nullptr) {
    FLastError = "no library loaded";
    return nullptr;
  }
  ::dlerror();
  void* address = ::dlsym(FHandle, name);
  if (address == nullptr) FLastError = TakeDlError("symbol not found");
  return address;
}

bool TDynLib::Free() {
  if (FHandle == nullptr) return true;
  void* handle = std::exchange(FHandle, nullptr);  // never closed twice
  ::dlerror();
  if (::dlclose(handle) != 0) {
    FLastError = TakeDlError("dlclose failed");
    return false;
  }
  return true;
}

}  // namespace riffo
