// The one way the system writes an output file: the content goes into a
// temporary beside the target and is renamed in only when it is complete, so
// a partial output never appears under the final name and nothing is removed
// before there is something to put in its place. An existing target is
// either refused (exclusive creation) or replaced in one rename; anything
// that is not a regular file (a device, a FIFO, a folder, a symbolic link)
// is never replaced.
#pragma once

#include <memory>
#include <string>

#include "platform/Stream.h"

namespace riffo {

enum class TOutputMode {
  Exclusive,  // the target must not exist, also at the moment of the rename
  Replace     // an existing regular file is replaced
};

enum class TOutputSync {
  None,   // the rename is atomic; the bytes reach the disk when the system writes them
  ToDisk  // the content and the rename are flushed to the disk before Commit returns
};

enum class TOutputStatus {
  Ok,
  Exists,        // Exclusive, and the target exists
  NotRegular,    // the target exists and is not a regular file
  CannotCreate,  // no temporary could be made beside the target (errno tells why)
  CannotFinish   // the writer failed, or the rename did not happen
};

class TOutputFile {
public:
  // Checks the target and makes a private temporary folder beside it (a
  // hidden folder in the target's folder, so the rename stays on one file
  // system). Nothing is created when the status is not Ok.
  static std::unique_ptr<TOutputFile> Begin(const std::string& target, TOutputMode mode,
                                            TOutputStatus& status);
  // Removes the temporary unless the output was committed.
  ~TOutputFile();
  TOutputFile(const TOutputFile&) = delete;
  TOutputFile& operator=(const TOutputFile&) = delete;

  // A name that does not exist yet, inside the temporary folder, with the
  // target's own file name (so writers that choose by extension still do);
  // for writers that create their file by name.
  const std::string& TempPath() const { return FTempPath; }
  // A stream writing TempPath, for writers that take a stream; nullptr when
  // it cannot be created.
  TStream* Stream();

  // Puts the finished temporary in place of the target; the target is
  // checked again at this moment. The temporary is gone afterwards either way.
  TOutputStatus Commit(TOutputSync sync = TOutputSync::None);

  // The prefix of the private temporary folders' names: a writer killed
  // before its commit leaves such a folder beside its target.
  static constexpr const char* TEMP_FOLDER_PREFIX = ".riffoscope-out-";

  const std::string& Target() const { return FTarget; }

private:
  TOutputFile(std::string target, TOutputMode mode, std::string folder);
  void Discard();

  std::string FTarget;
  TOutputMode FMode;
  std::string FFolder;  // the private temporary folder, empty once removed
  std::string FTempPath;
  std::unique_ptr<TFileStream> FStream;
};

// What lstat says about a path: missing, a regular file, or something else.
enum class TPathKind { Missing, Regular, Other };
TPathKind PathKind(const std::string& path);

}  // namespace riffo
