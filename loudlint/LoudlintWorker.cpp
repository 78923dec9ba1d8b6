#include "loudlint/LoudlintWorker.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "chunkmodel/WAVCommonChunk.h"
#include "pcm/FmtPayload.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "platform/Stream.h"

namespace riffo {
namespace {

// A fmt payload longer than this is not read: no format has a longer record.
constexpr int64_t MAX_FMT_PAYLOAD = 4096;
// The bext loudness fields end here; a shorter bext does not hold them.
constexpr int64_t BEXT_LOUDNESS_END = 422;

}  // namespace

bool LoadStreamDescription(const std::u16string& fileName, TLoadedStream& out,
                           const std::function<bool()>& cancel) {
  out = TLoadedStream{};
  if (!IsWAVEFile(fileName)) return false;
  std::unique_ptr<TFileStream> stream = TFileStream::Open(fileName, FileMode::OpenRead);
  if (!stream) return false;
  TWAVCommonChunk root(nullptr);
  // The structure findings are Sonolint's; this module keeps quiet about them.
  root.SetReportFunction([](int32_t, int32_t, const char16_t*, int32_t, int32_t) { return S_OK; });
  if (cancel) root.SetCancelFunction(cancel);
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

TMeterInput MeterInputFor(const std::u16string& fileName, const TLoadedStream& stream) {
  TMeterInput input;
  input.FileName = fileName;
  input.DataOffset = stream.DataOffset;
  input.DataSize = stream.DataSize;
  input.Format = stream.Format;
  input.ChannelMask = stream.ChannelMask;
  return input;
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
    TMeterInput input = MeterInputFor(fileName, stream);
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
  FMailbox.Start({[this] { DoLoad(); }, [this] { DoUnload(); }, [this] { DoPlay(); }});
}

TLoudlintWorker::~TLoudlintWorker() {
  GuardedVoid(u"dgn: Error in TLoudlintWorker.Destroy call...", [&] { FMailbox.End(); });
}

void TLoudlintWorker::DoLoad() {
  FLoadedFileName = FMailbox.FileName();
  TLoadedStream stream;
  // A load the module object gave up stops at its next chunk and fails.
  const bool loaded =
      LoadStreamDescription(FLoadedFileName, stream, [this] { return FMailbox.GivenUp(); });
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
  FMailbox.Answer(loaded ? DoneStatus(COMMAND_LOAD) : FailedStatus(COMMAND_LOAD));
}

void TLoudlintWorker::DoUnload() {
  FStream.reset();
  {
    std::lock_guard lock(FLock);
    FDuration = 0;
    FProgress = 0;
  }
  FMailbox.Answer(DoneStatus(COMMAND_UNLOAD));
}

void TLoudlintWorker::Report(const TFinding& finding) const {
  if (FCatalogue != nullptr)
    FCatalogue->Report(MODULE_ID_LOUDLINT, finding.Type, finding.Text, finding.ID, -1);
}

void TLoudlintWorker::DoPlay() {
  // Answered before the work, so that a stop posted during the measurement
  // cuts it short.
  FMailbox.Answer(DoneStatus(COMMAND_PLAY));
  if (!FStream) return;
  TMeterResult measured;
  for (const TFinding& finding : MeasureFile(
           FLoadedFileName, *FStream, FSettings, [this] { return FMailbox.Interrupted(); },
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
