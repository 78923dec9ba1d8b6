// An owned POSIX file descriptor: closed when its holder goes, so no early
// return or failed step can leak one.
//
//   TFileDescriptor fd(::open(path, O_RDONLY | O_CLOEXEC));
//   if (!fd) return false;
//   ::read(fd.Get(), buffer, size);
#pragma once

#include <fcntl.h>
#include <unistd.h>

namespace riffo {

class TFileDescriptor {
public:
  TFileDescriptor() = default;
  explicit TFileDescriptor(int fd) : FFd(fd) {}
  ~TFileDescriptor() { Reset(); }
  TFileDescriptor(TFileDescriptor&& other) noexcept : FFd(other.Release()) {}
  TFileDescriptor& operator=(TFileDescriptor&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  TFileDescriptor(const TFileDescriptor&) = delete;
  TFileDescriptor& operator=(const TFileDescriptor&) = delete;

  int Get() const { return FFd; }
  explicit operator bool() const { return FFd >= 0; }
  // Gives the descriptor up without closing it.
  int Release() {
    const int fd = FFd;
    FFd = -1;
    return fd;
  }
  // Closes the held descriptor (if any) and holds fd instead.
  void Reset(int fd = -1) {
    if (FFd >= 0) ::close(FFd);
    FFd = fd;
  }

private:
  int FFd = -1;
};

// A pipe whose two ends close on exec; false (both ends empty) when the
// system refuses one.
inline bool MakePipe(TFileDescriptor& readEnd, TFileDescriptor& writeEnd) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  readEnd.Reset(ends[0]);
  writeEnd.Reset(ends[1]);
  return true;
}

}  // namespace riffo
