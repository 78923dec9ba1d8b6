// The worker of one Loudlint run, driven by the module object through a
// command mailbox (modulekit/CommandMailbox.h) as Sonolint's worker is.
// Loading reads the chunk tree and takes the format, the data chunk's place
// and the bext loudness fields; play measures the data and sends the findings
// through the rule catalogue.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "contract/QuorvexControlInterface.h"
#include "loudlint/LoudlintSettings.h"
#include "loudlint/LoudnessFindings.h"
#include "modulekit/CommandMailbox.h"
#include "modulekit/RuleCatalogue.h"
#include "pcm/PcmFormat.h"

namespace riffo {

// What a load found in the file.
struct TLoadedStream {
  bool HasFormat = false;  // a fmt record and a data chunk
  TPcmFormat Format;
  uint32_t ChannelMask = 0;
  int64_t DataOffset = 0;
  int64_t DataSize = 0;
  std::optional<TBextLoudness> Bext;  // bext version 2 or later
};

// Reads what the measurement needs from a WAVE file; false when the file
// cannot be opened or is not a RIFF tree, or when cancel (checked between
// chunks) says to stop.
bool LoadStreamDescription(const std::u16string& fileName, TLoadedStream& stream,
                           const std::function<bool()>& cancel = {});

// The meter's input for a loaded file's data; the other inputs keep their
// defaults.
TMeterInput MeterInputFor(const std::u16string& fileName, const TLoadedStream& stream);

// Measures a loaded file's data with the settings and returns its lines.
// rules: the run's rule catalogue; the lines of its disabled rules are left
// out and only what the others need is measured (null: every rule is on).
// measured: receives the meter's result (may be null).
std::vector<TFinding> MeasureFile(const std::u16string& fileName, const TLoadedStream& stream,
                                  const TLoudlintSettings& settings,
                                  const std::function<bool()>& cancel,
                                  const TRuleCatalogue* rules = nullptr,
                                  TMeterResult* measured = nullptr);

class TLoudlintWorker {
public:
  TLoudlintWorker();
  // Ends the thread: a measurement in progress is cut short at its next
  // piece, a load in progress at its next chunk.
  ~TLoudlintWorker();
  TLoudlintWorker(const TLoudlintWorker&) = delete;
  TLoudlintWorker& operator=(const TLoudlintWorker&) = delete;

  // Set before the first command.
  void SetCatalogue(const TRuleCatalogue* catalogue) { FCatalogue = catalogue; }
  void SetSettings(const TLoudlintSettings& settings) { FSettings = settings; }

  // Where the commands are posted and answered.
  TCommandMailbox& Mailbox() { return FMailbox; }

  int64_t Duration() const;  // 100 ns units
  double Progress() const;   // 0, or 100 once measured

private:
  void DoLoad();
  void DoUnload();
  void DoPlay();
  void Report(const TFinding& finding) const;

  const TRuleCatalogue* FCatalogue = nullptr;
  TLoudlintSettings FSettings;
  // Worker side.
  std::u16string FLoadedFileName;
  std::optional<TLoadedStream> FStream;
  mutable std::mutex FLock;  // guards the two below
  int64_t FDuration = 0;
  double FProgress = 0;
  // Last, so that its thread is started after and ended before the rest.
  TCommandMailbox FMailbox{u"TLoudlintWorker"};
};

}  // namespace riffo
