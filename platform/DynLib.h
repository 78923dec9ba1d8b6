// A dynamic library held open for the lifetime of the object (dlopen with
// RTLD_NOW | RTLD_LOCAL); freed exactly once.
#pragma once

#include <string>

namespace riffo {

class TDynLib {
public:
  TDynLib() = default;
  ~TDynLib() { Free(); }
  TDynLib(const TDynLib&) = delete;
  TDynLib& operator=(const TDynLib&) = delete;
  TDynLib(TDynLib&& other) noexcept;
  TDynLib& operator=(TDynLib&& other) noexcept;

  // False when the library does not load; LastError() then holds dlerror().
  // keepMapped leaves the library and what it pulled in mapped after Free
  // (RTLD_NODELETE): for libraries with process-wide state of their own
  // (font caches, type registries) that cannot be unloaded safely.
  bool Load(const std::u16string& fileName, bool keepMapped = false);
  void* Symbol(const char* name) const;  // nullptr when missing
  bool Loaded() const { return FHandle != nullptr; }
  // Frees the library if loaded; returns false when dlclose reported an error.
  bool Free();
  const std::string& LastError() const { return FLastError; }

private:
  void* FHandle = nullptr;
  mutable std::string FLastError;
};

}  // namespace riffo
