// The silence and noise detector fed the same samples twice: once in one
// piece and once in pieces of fuzzed sizes. How the data arrives must not
// change what is found, so both runs give the same report lines, events and
// totals. Silence and noise are exclusive here (the silence level is below
// the noise level), so their totals never exceed the data's duration.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "pcm/PcmFormat.h"
#include "sonolint/WAVSilenceNoiseDetector.h"

namespace {

using riffo::fuzz::Check;

struct TRunResult {
  std::vector<std::u16string> Lines;  // id, type and text of every report line
  std::vector<std::u16string> Events;
  long double Silence = 0;
  long double Noise = 0;
  int64_t Processed = 0;
};

struct TSetup {
  riffo::TFmtFields Format;
  double SilencedB = 0;
  int32_t MinSilenceMS = 0;
  double NoisedB = 0;
  int32_t MinNoiseMS = 0;
};

std::u16string EventText(uint32_t type, double start, double end) {
  const std::string text =
      std::to_string(type) + " " + std::to_string(start) + " " + std::to_string(end);
  return std::u16string(text.begin(), text.end());
}

// Runs the detector over the samples, cut at the given piece sizes (the last
// piece takes what is left); false when the format is not one it takes.
bool Run(const TSetup& setup, const std::vector<uint8_t>& samples,
         const std::vector<int32_t>& pieces, TRunResult& result) {
  riffo::TWAVSilenceDetector detector;
  detector.SetReportFunction(
      [&result](int32_t, int32_t type, const char16_t* text, int32_t id, int32_t) {
        Check(text != nullptr, "a report line without text");
        result.Lines.push_back(riffo::fuzz::U16Number(id) + u" " + riffo::fuzz::U16Number(type) +
                               u" " + text);
        return riffo::S_OK;
      });
  const auto onEvent = [&result](uint32_t type, double start, double end) {
    // A confirmation comes while the block is still open: its end is 0.
    const bool ended =
        type == riffo::SILENCE_BLOCK_ENDED_EVENT || type == riffo::NOISE_BLOCK_ENDED_EVENT;
    Check(std::isfinite(start) && std::isfinite(end) && start >= 0 && (!ended || start <= end),
          "an event ends before it starts");
    result.Events.push_back(EventText(type, start, end));
    return riffo::S_OK;
  };
  detector.OnSilenceDetect(onEvent);
  detector.OnNoiseDetect(onEvent);
  if (detector.SetPCMFormat(riffo::DescribePcmFormat(setup.Format)) != riffo::S_OK) return false;
  detector.SetSilenceParameters(setup.SilencedB, setup.MinSilenceMS);
  detector.SetNoiseParameters(setup.NoisedB, setup.MinNoiseMS);
  size_t at = 0;
  for (const int32_t piece : pieces) {
    if (at >= samples.size()) break;
    const size_t size = std::min(samples.size() - at, static_cast<size_t>(piece));
    detector.AddPCMData(samples.data() + at, static_cast<int32_t>(size));
    at += size;
  }
  if (at < samples.size())
    detector.AddPCMData(samples.data() + at, static_cast<int32_t>(samples.size() - at));
  detector.Finalize();
  result.Silence = detector.TotalFileSilenceSeconds();
  result.Noise = detector.TotalFileNoiseSeconds();
  result.Processed = detector.ProcessedBytes();
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  riffo::fuzz::TFuzzInput input(data, size);
  static constexpr uint32_t RATES[] = {6000, 8000, 11025, 22050, 44100, 48000, 96000, 192000};
  static constexpr uint16_t TAGS[] = {1, 1, 3, 0xFFFE};
  static constexpr uint16_t BITS[] = {8, 16, 24, 32, 64};
  // The sub-formats' GUIDs differ only in their first byte (1 PCM, 3 float).
  static constexpr uint8_t GUID_TAIL[] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                          0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  TSetup setup;
  riffo::TFmtFields& format = setup.Format;
  // Mostly formats the detector takes, sometimes any value at all.
  const bool usual = input.Bool();
  format.FormatTag = usual ? input.Pick(TAGS) : input.U16();
  format.SamplesPerSec = usual ? input.Pick(RATES) : input.U32();
  format.Channels = static_cast<uint16_t>(input.Range(0, 34));
  format.BitsPerSample = usual ? input.Pick(BITS) : input.U16();
  // Containers of the sample's own size, now and then one byte wider.
  const int container = format.BitsPerSample / 8 + (input.Range(0, 7) == 0 ? 1 : 0);
  format.BlockAlign = static_cast<uint16_t>(format.Channels * container);
  format.HasExtension = format.FormatTag == 0xFFFE;
  if (format.HasExtension) {
    format.ValidBitsPerSample = input.Bool() ? format.BitsPerSample : input.U16();
    format.SubFormat[0] = input.Bool() ? 1 : 3;
    for (size_t i = 0; i < sizeof GUID_TAIL; ++i) format.SubFormat[i + 2] = GUID_TAIL[i];
  }
  setup.SilencedB = -static_cast<double>(input.Range(20, 130));
  setup.NoisedB = setup.SilencedB + static_cast<double>(input.Range(1, 130));
  // Short minimums so that small inputs find blocks, and now and then any value.
  setup.MinSilenceMS =
      input.Bool() ? static_cast<int32_t>(input.Range(0, 300)) : static_cast<int32_t>(input.U32());
  setup.MinNoiseMS =
      input.Bool() ? static_cast<int32_t>(input.Range(0, 300)) : static_cast<int32_t>(input.U32());

  std::vector<int32_t> pieces;
  const auto pieceCount = input.Range(1, 24);
  for (int64_t i = 0; i < pieceCount; ++i)
    pieces.push_back(static_cast<int32_t>(input.Range(1, 9000)));
  const std::vector<uint8_t> samples = input.Rest();

  TRunResult whole;
  if (!Run(setup, samples, {static_cast<int32_t>(std::max<size_t>(samples.size(), 1))}, whole))
    return 0;
  TRunResult cut;
  Run(setup, samples, pieces, cut);

  Check(whole.Lines == cut.Lines, "report lines depend on the piece sizes");
  Check(whole.Events == cut.Events, "events depend on the piece sizes");
  Check(whole.Silence == cut.Silence && whole.Noise == cut.Noise,
        "totals depend on the piece sizes");
  Check(whole.Processed == cut.Processed, "processed bytes depend on the piece sizes");
  Check(whole.Processed >= 0 && whole.Processed <= static_cast<int64_t>(samples.size()),
        "more bytes processed than given");

  const riffo::TPcmFormat described = riffo::DescribePcmFormat(format);
  const double bytesPerSecond = static_cast<double>(described.SamplesPerSec) * described.FrameBytes;
  const double duration = static_cast<double>(samples.size()) / bytesPerSecond;
  Check(whole.Silence >= 0 && whole.Noise >= 0, "a negative total");
  Check(bytesPerSecond <= 0 || static_cast<double>(whole.Silence + whole.Noise) <= duration + 1e-6,
        "silence and noise together exceed the data's duration");
  return 0;
}
