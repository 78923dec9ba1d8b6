// One file through the validation modules, as the single-file command and
// every batch worker do it: the input checked first (an input that cannot
// be read is UNREADABLE, never a pass), the run, the verdict, and the report
// written where asked.
#pragma once

#include <cstdint>
#include <string>

#include "host/MediaValidationSession.h"
#include "platform/OutputFile.h"
#include "platform/Stream.h"

namespace riffo::cli {

enum class TVerdict { Pass, Warn, Fail, Unreadable, Error, Stopped };
const char* VerdictName(TVerdict verdict);
bool VerdictFromName(const std::string& name, TVerdict& verdict);

// The report formats of the command line: the window's five and JSON.
enum class TCliFormat { TXT, CSV, XML, HTML, PDF, JSON };
bool FormatFromName(const std::string& name, TCliFormat& format);
const char* FormatExtension(TCliFormat format);
// What a report file's name asks for, as the window's Save Report decides,
// plus ".json".
TCliFormat FormatForFileName(const std::string& name);

struct TFileResult {
  TVerdict Verdict = TVerdict::Error;
  std::string Reason;  // UNREADABLE and ERROR: why
  int32_t Errors = 0, Warnings = 0, Infos = 0;
  int64_t Bytes = 0;        // the file's size, for the progress display
  std::string OutputError;  // the report could not be written: why
};

// The command line's view of a run: nothing on screen, a fast poll, and a
// stop when Ctrl+C came.
class TCliRunView final : public TValidationRunView {
public:
  explicit TCliRunView(TMediaValidationSession& session) : FSession(session) {}
  void ProcessEvents() override;
  int PollIntervalMs() const override { return 1; }

private:
  TMediaValidationSession& FSession;
};

// Validates fileName (as given) with the session's ticked modules. When the
// input is readable and reportPath is not empty, writes the report there in
// format through TOutputFile (replacing an existing regular file only when
// force). The session keeps the lines for the caller.
TFileResult ValidateOneFile(TMediaValidationSession& session, const std::string& fileName,
                            const std::string& reportPath, TCliFormat format, bool force);

// Writes the session's report in format into a stream (standard output) or
// an output file that the caller commits; false when it could not be written.
bool RenderReport(TMediaValidationSession& session, TCliFormat format, TStream& out);
bool RenderReport(TMediaValidationSession& session, TCliFormat format, TOutputFile& output);

}  // namespace riffo::cli
