#include "platform/Stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/Files.h"

namespace riffo {

bool TStream::ReadExact(void* buffer, int64_t count) {
  return count >= 0 && Read(buffer, count) == count;
}

// ---------------------------------------------------------------- files

namespace {

// One system call moves at most this much; larger counts go in pieces.
constexpr int64_t MAX_PIECE = int64_t{1} << 30;

// Moves count bytes at the position in pieces, going on after an
// interruption and stopping at the end of the file; the position advances
// by what was moved. -1 only when nothing could be moved.
template <typename Move>
int64_t Transfer(int64_t count, int64_t& position, Move move) {
  int64_t done = 0;
  while (done < count) {
    const auto piece = static_cast<size_t>(std::min(count - done, MAX_PIECE));
    const ssize_t n = move(done, piece);
    if (n < 0) {
      if (errno == EINTR) continue;
      return done > 0 ? done : -1;
    }
    if (n == 0) break;
    done += n;
    position += n;
  }
  return done;
}

}  // namespace

std::unique_ptr<TFileStream> TFileStream::Open(const std::string& utf8FileName, FileMode mode) {
  int flags = O_CLOEXEC;
  switch (mode) {
    case FileMode::OpenRead: flags |= O_RDONLY; break;
    case FileMode::OpenReadWrite: flags |= O_RDWR; break;
    case FileMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  const int fd = ::open(utf8FileName.c_str(), flags, 0666);
  if (fd < 0) return nullptr;
  // A folder opens for reading on POSIX but is no stream of bytes.
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    ::close(fd);
    errno = EISDIR;
    return nullptr;
  }
  return std::unique_ptr<TFileStream>(new TFileStream(fd, utf8FileName));
}

std::unique_ptr<TFileStream> TFileStream::Open(const std::u16string& fileName, FileMode mode) {
  return Open(ToNativePath(fileName), mode);
}

TFileStream::~TFileStream() {
  if (FFd >= 0) ::close(FFd);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || FPosition < 0) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  return Transfer(count, FPosition, [&](int64_t done, size_t piece) {
    return ::pread(FFd, out + done, piece, FPosition);
  });
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const auto* in = static_cast<const uint8_t*>(buffer);
  return Transfer(count, FPosition, [&](int64_t done, size_t piece) {
    return ::pwrite(FFd, in + done, piece, FPosition);
  });
}

int64_t TFileStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = FPosition;
  if (origin == SeekOrigin::End) base = Size();
  if (base < 0) return -1;
  // Overflow-safe: a position that would leave the signed range is refused.
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
  FPosition = base + offset;
  return FPosition;
}

int64_t TFileStream::Size() const {
  struct stat info {};
  if (::fstat(FFd, &info) != 0) return -1;
  return static_cast<int64_t>(info.st_size);
}

bool TFileStream::StillUnderItsName() const {
  struct stat opened {
  }, named{};
  if (::fstat(FFd, &opened) != 0 || ::stat(FNativeName.c_str(), &named) != 0) return false;
  return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

bool TFileStream::Flush() { return ::fsync(FFd) == 0; }

// ---------------------------------------------------------------- memory

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  const int64_t size = Size();
  if (count <= 0 || FPosition >= size) return 0;
  const int64_t n = std::min(count, size - FPosition);
  std::memcpy(buffer, FBytes.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  const int64_t end = FPosition + count;
  if (end > Size()) FBytes.resize(static_cast<size_t>(end));
  std::memcpy(FBytes.data() + FPosition, buffer, static_cast<size_t>(count));
  FPosition = end;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, SeekOrigin origin) {
  int64_t base = 0;
  if (origin == SeekOrigin::Current) base = FPosition;
  if (origin == SeekOrigin::End) base = Size();
  if ((offset > 0 && base > INT64_MAX - offset) || base + offset < 0) return -1;
  FPosition = base + offset;
  return FPosition;
}

}  // namespace riffo
