#include "platform/Files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/Text.h"

namespace riffo {

std::string ToNativePath(const std::u16string& fileName) { return NativeFromUtf16(fileName); }

std::u16string FromNativePath(std::string_view nativeName) { return Utf16FromNative(nativeName); }

bool FileExists(const std::u16string& fileName) {
  if (fileName.empty()) return false;
  struct stat info {};
  return ::stat(ToNativePath(fileName).c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool RemoveFile(const std::u16string& fileName) {
  const std::string path = ToNativePath(fileName);
  if (::unlink(path.c_str()) == 0) return true;
  return errno == ENOENT;
}

std::u16string ProgramFolder() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return u"./";
  std::string path(buffer, static_cast<size_t>(n));
  const size_t slash = path.rfind('/');
  path = slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
  return FromNativePath(path);
}

}  // namespace riffo
