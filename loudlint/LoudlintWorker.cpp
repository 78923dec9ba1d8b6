#include "loudlint/LoudlintWorker.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "chunkmodel/WAVCommonChunk.h"
#include "pcm/FmtPayload.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "platform/Stream.h"

namespace riffo {
namespace {

constexpr std::chrono::milliseconds POLL_STEP{1};
// A fmt payload longer than this is not read: no format has a longer record.
constexpr int64_t MAX_FMT_PAYLOAD = 4096;
// The bext loudness fields end here; a shorter bext does not hold them.
constexpr int64_t BEXT_LOUDNESS_END = 422;

}  // namespace

bool LoadStreamDescription(const std::u16string& fileName, TLoadedStream& out) {
  out = TLoadedStream{};
  if (!IsWAVEFile(fileName)) return false;
  std::unique_ptr<TFileStream> stream = TFileStream::Open(fileName, FileMode::OpenRead);
  if (!stream) return false;
  TWAVCommonChunk root(nullptr);
  // The structure findings are Sonolint's; this module keeps quiet about them.
  root.SetReportFunction([](int32_t, int32_t, const char16_t*, int32_t, int32_t) { return S_OK; });
  if (root.LoadChunk(stream.get()) != S_OK) return false;

  TWAVCommonChunk* fmt = nullptr;
  TWAVCommonChunk* data = nullptr;
  TWAVCommonChunk* bext = nullptr;
  root.FindChunkByName(FOURCC_fmt, fmt, 1);
  root.FindChunkByName(FOURCC_data, data, 1);
  root.FindChunkByName(FOURCC_bext, bext, 1);
  if (fmt != nullptr && data != nullptr) {
    // Capped: the record is small, whatever the size field says.
    const int64_t size = std::clamp<int64_t>(fmt->FSize, 0, MAX_FMT_PAYLOAD);
    std::vector<uint8_t> payload(static_cast<size_t>(size));
    TFmtPayload decoded;
    if (stream->Seek(fmt->FOffset + 8, SeekOrigin::Begin) >= 0 &&
        stream->Read(payload.data(), size) == size &&
        DecodeFmtPayload(payload.data(), payload.size(), decoded)) {
      out.HasFormat = true;
      out.Format = DescribePcmFormat(decoded.Fields);
      out.ChannelMask = decoded.ChannelMask;
      out.DataOffset = data->FOffset + 8;
      out.DataSize = data->FSize;
    }
  }
  if (bext != nullptr && bext->FSize >= BEXT_LOUDNESS_END) {
    const Tbroadcast_audio_extension& record = bext->Fbroadcast_audio_extension;
    if (record.Version >= 2) {
      TBextLoudness fields;
      fields.LoudnessValue = static_cast<int16_t>(record.LoudnessValue);
      fields.LoudnessRange = static_cast<int16_t>(record.LoudnessRange);
      fields.MaxTruePeakLevel = static_cast<int16_t>(record.MaxTruePeakLevel);
      fields.MaxMomentaryLoudness = static_cast<int16_t>(record.MaxMomentaryLoudness);
      fields.MaxShortTermLoudness = static_cast<int16_t>(record.MaxShortTermLoudness);
      out.Bext = fields;
    }
  }
  return true;
}

std::vector<TFinding> MeasureFile(const std::u16string& fileName, const TLoadedStream& stream,
                                  const TLoudlintSettings& settings,
                                  const std::function<bool()>& cancel, const TRuleCatalogue* rules,
                                  TMeterResult* measured) {
  TFindingContext context;
  context.Profile = settings.SelectedProfile();
  context.BextTolerance = settings.BextToleranceCentiLU / 100.0;
  context.Bext = stream.Bext;
  context.DataOffset = stream.DataOffset;
  context.FrameBytes = stream.Format.FrameBytes;
  context.ContainerBytes = stream.Format.ContainerBytes;
  context.SampleRate = stream.Format.SamplesPerSec;
  context.DcOffsetLimitdBFS = settings.DcOffsetLeveldBFS;
  context.CorrelationLimit = settings.CorrelationLimitCenti / 100.0;
  // The switches as the run starts: a rule's line and its measurement agree.
  for (int32_t i = 0; rules != nullptr && i < rules->ValidationSettingsCount(); ++i)
    if (const TValidationSetting* rule = rules->GetValidationSetting(i); !rule->Enabled)
      context.RulesOff.push_back(rule->ID);

  TMeterResult result;
  if (!stream.HasFormat) {
    result.NotMeasured = "no format record and data chunk";
  } else {
    TMeterInput input;
    input.FileName = fileName;
    input.DataOffset = stream.DataOffset;
    input.DataSize = stream.DataSize;
    input.Format = stream.Format;
    input.ChannelMask = stream.ChannelMask;
    input.ClipRunSamples = std::max(1, settings.ClipRunSamples);
    input.CorrelationLimit = settings.CorrelationLimitCenti / 100.0;
    input.Cancel = cancel;
    input.Needs = MeterNeeds(context);
    result = MeasureLoudness(input);
  }
  std::vector<TFinding> findings = LoudnessFindings(result, context);
  if (measured != nullptr) *measured = std::move(result);
  return findings;
}

TLoudlintWorker::TLoudlintWorker() {
  FThread = std::thread([this] { Execute(); });
}

TLoudlintWorker::~TLoudlintWorker() {
  GuardedVoid(u"dgn: Error in TLoudlintWorker.Destroy call...", [&] {
    if (FThread.joinable()) {
      FTerminated.store(true, std::memory_order_release);
      FWakeEvent.Set();
      FThread.join();
    }
  });
}

// Serves the mailbox when a command is posted (and every millisecond
// besides) until the thread is to end.
void TLoudlintWorker::Execute() {
  GuardedVoid(u"dgn: Error in TLoudlintWorker.Execute call...", [&] {
    for (;;) {
      FWakeEvent.Wait(POLL_STEP);
      if (FTerminated.load(std::memory_order_acquire)) break;
      const int32_t command = FCommand.load(std::memory_order_acquire);
      if (command != 0) ExecuteCommand(command);
    }
  });
}

void TLoudlintWorker::ExecuteCommand(int32_t command) {
  // A failure escaping a command becomes its failure status, so that the
  // loop goes on serving the mailbox.
  const bool done = Guarded(u"dgn: Error in TLoudlintWorker.Execute call...", false, [&] {
    switch (command) {
      case LL_COMMAND_LOAD: DoLoad(); return true;
      case LL_COMMAND_UNLOAD:
        FStream.reset();
        {
          std::lock_guard lock(FLock);
          FDuration = 0;
          FProgress = 0;
        }
        Answer(LL_STATUS_DONE_OFFSET + LL_COMMAND_UNLOAD);
        return true;
      case LL_COMMAND_PLAY: DoPlay(); return true;
      case LL_COMMAND_STOP: Answer(LL_STATUS_DONE_OFFSET + LL_COMMAND_STOP); return true;
      default: return true;
    }
  });
  if (!done) Answer(LL_STATUS_FAILED_OFFSET + command);
}

void TLoudlintWorker::Answer(int32_t status) {
  FStatus.store(status, std::memory_order_release);
  FCommand.store(0, std::memory_order_release);
  FAnswerEvent.Set();
}

void TLoudlintWorker::Post(int32_t command) {
  while (FCommand.load(std::memory_order_acquire) != 0) std::this_thread::sleep_for(POLL_STEP);
  FStatus.store(command, std::memory_order_release);
  FCommand.store(command, std::memory_order_release);
  FWakeEvent.Set();
}

void TLoudlintWorker::LoadFile(const std::u16string& fileName) {
  while (FCommand.load(std::memory_order_acquire) != 0) std::this_thread::sleep_for(POLL_STEP);
  FParamFileName = fileName;
  Post(LL_COMMAND_LOAD);
}

void TLoudlintWorker::DoLoad() {
  FLoadedFileName = FParamFileName;
  TLoadedStream stream;
  const bool loaded = LoadStreamDescription(FLoadedFileName, stream);
  if (loaded)
    FStream = stream;
  else
    FStream.reset();
  {
    std::lock_guard lock(FLock);
    const TPcmFormat& format = stream.Format;
    FDuration =
        stream.HasFormat && format.Supported() && format.SamplesPerSec > 0
            ? static_cast<int64_t>(static_cast<double>(stream.DataSize / format.FrameBytes) /
                                   format.SamplesPerSec * 10000000.0)
            : 0;
    FProgress = 0;
  }
  Answer(loaded ? LL_STATUS_DONE_OFFSET + LL_COMMAND_LOAD
                : LL_STATUS_FAILED_OFFSET + LL_COMMAND_LOAD);
}

bool TLoudlintWorker::MeasurementCancelled() const {
  return FTerminated.load(std::memory_order_acquire) ||
         FCommand.load(std::memory_order_acquire) != 0;
}

void TLoudlintWorker::Report(const TFinding& finding) const {
  if (FCatalogue != nullptr)
    FCatalogue->Report(MODULE_ID_LOUDLINT, finding.Type, finding.Text, finding.ID, -1);
}

void TLoudlintWorker::DoPlay() {
  Answer(LL_STATUS_DONE_OFFSET + LL_COMMAND_PLAY);
  if (!FStream) return;
  TMeterResult measured;
  for (const TFinding& finding : MeasureFile(
           FLoadedFileName, *FStream, FSettings, [this] { return MeasurementCancelled(); },
           FCatalogue, &measured))
    Report(finding);
  std::lock_guard lock(FLock);
  if (!measured.Cancelled) FProgress = 100;
}

int64_t TLoudlintWorker::Duration() const {
  std::lock_guard lock(FLock);
  return FDuration;
}

double TLoudlintWorker::Progress() const {
  std::lock_guard lock(FLock);
  return FProgress;
}

}  // namespace riffo
