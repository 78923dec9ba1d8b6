// Caps the size of the files this process writes for the lifetime of the
// object, so a test can make a write fail part way: beyond the cap a write
// fails with EFBIG (the signal that would end the process is ignored
// meanwhile). The previous limit and signal handling are put back.
#pragma once

#include <sys/resource.h>

#include <csignal>

namespace riffo::test {

class FileSizeLimit {
public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &FOld);
    FOldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = FOld;
    limit.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &FOld);
    std::signal(SIGXFSZ, FOldHandler);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
  rlimit FOld{};
  void (*FOldHandler)(int) = nullptr;
};

}  // namespace riffo::test
