#include "platform/OutputFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace riffo {

namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string BaseNameOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Moves from onto to only when to does not exist. renameat2 decides that in
// one step; where the file system lacks it, a hard link does the same.
bool RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
  if (errno != EINVAL && errno != ENOSYS) return false;
  if (::link(from.c_str(), to.c_str()) != 0) return false;
  ::unlink(from.c_str());
  return true;
}

// Flushes a file's (or a folder's) content to the disk.
bool SyncFile(const std::string& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = ::fsync(fd) == 0;
  return ::close(fd) == 0 && synced;
}

}  // namespace

TPathKind PathKind(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return TPathKind::Missing;
  return S_ISREG(info.st_mode) ? TPathKind::Regular : TPathKind::Other;
}

std::unique_ptr<TOutputFile> TOutputFile::Begin(const std::string& target, TOutputMode mode,
                                                TOutputStatus& status) {
  const std::string name = BaseNameOf(target);
  if (target.empty() || name.empty() || name == "." || name == "..") {
    status = TOutputStatus::CannotCreate;
    errno = EISDIR;
    return nullptr;
  }
  switch (PathKind(target)) {
    case TPathKind::Missing: break;
    case TPathKind::Regular:
      if (mode == TOutputMode::Exclusive) {
        status = TOutputStatus::Exists;
        return nullptr;
      }
      break;
    case TPathKind::Other:
      status = mode == TOutputMode::Exclusive ? TOutputStatus::Exists : TOutputStatus::NotRegular;
      return nullptr;
  }
  std::string folder = FolderOf(target) + "/" + TEMP_FOLDER_PREFIX + "XXXXXX";
  if (::mkdtemp(folder.data()) == nullptr) {
    status = TOutputStatus::CannotCreate;
    return nullptr;
  }
  status = TOutputStatus::Ok;
  return std::unique_ptr<TOutputFile>(new TOutputFile(target, mode, std::move(folder)));
}

TOutputFile::TOutputFile(std::string target, TOutputMode mode, std::string folder)
    : FTarget(std::move(target)), FMode(mode), FFolder(std::move(folder)) {
  FTempPath = FFolder + "/" + BaseNameOf(FTarget);
}

TOutputFile::~TOutputFile() { Discard(); }

void TOutputFile::Discard() {
  FStream.reset();
  if (FFolder.empty()) return;
  ::unlink(FTempPath.c_str());
  ::rmdir(FFolder.c_str());
  FFolder.clear();
}

TStream* TOutputFile::Stream() {
  if (!FStream && !FFolder.empty()) FStream = TFileStream::Open(FTempPath, FileMode::Create);
  return FStream.get();
}

TOutputStatus TOutputFile::Commit(TOutputSync sync) {
  if (FFolder.empty()) return TOutputStatus::CannotFinish;
  // The stream writes straight to the file (no buffer of its own), so a
  // failed write was already seen by the writer.
  FStream.reset();
  if (PathKind(FTempPath) != TPathKind::Regular ||
      (sync == TOutputSync::ToDisk && !SyncFile(FTempPath, O_RDONLY))) {
    Discard();
    return TOutputStatus::CannotFinish;
  }
  TOutputStatus status = TOutputStatus::Ok;
  if (FMode == TOutputMode::Exclusive) {
    if (!RenameNoReplace(FTempPath, FTarget))
      status = errno == EEXIST ? TOutputStatus::Exists : TOutputStatus::CannotFinish;
  } else {
    // Checked again here: what appeared meanwhile and is not a regular
    // file stays untouched.
    if (PathKind(FTarget) == TPathKind::Other)
      status = TOutputStatus::NotRegular;
    else if (::rename(FTempPath.c_str(), FTarget.c_str()) != 0)
      status = TOutputStatus::CannotFinish;
  }
  Discard();
  // Makes the rename itself durable; the new content is in place already, so
  // a folder that cannot be flushed does not undo the commit.
  if (status == TOutputStatus::Ok && sync == TOutputSync::ToDisk)
    SyncFile(FolderOf(FTarget), O_RDONLY | O_DIRECTORY);
  return status;
}

}  // namespace riffo
