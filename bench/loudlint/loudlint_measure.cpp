// loudlint_measure FILE [PARTS]: measures a WAVE file as the module does and
// prints the values and the time the measurement took (PARTS 0 or absent:
// as many parts as the module would use).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "loudlint/LoudlintWorker.h"
#include "loudlint/LoudnessFindings.h"
#include "platform/Text.h"

int main(int argc, char** argv) {
  using namespace riffo;
  if (argc < 2) {
    std::fprintf(stderr, "usage: loudlint_measure FILE [PARTS]\n");
    return 2;
  }
  const std::u16string file = Utf8ToUtf16(argv[1]);
  const auto start = std::chrono::steady_clock::now();
  TLoadedStream stream;
  if (!LoadStreamDescription(file, stream) || !stream.HasFormat) {
    std::fprintf(stderr, "loudlint_measure: %s is not a WAVE file with audio\n", argv[1]);
    return 1;
  }
  TMeterInput input = MeterInputFor(file, stream);
  input.Parts = argc > 2 ? std::atoi(argv[2]) : 0;
  const TMeterResult r = MeasureLoudness(input);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!r.NotMeasured.empty()) {
    std::fprintf(stderr, "loudlint_measure: not measured: %s\n", r.NotMeasured.c_str());
    return 1;
  }
  double truePeak = 0;
  for (double peak : r.TruePeak) truePeak = truePeak > peak ? truePeak : peak;
  std::printf(
      "I %.2f LUFS  LRA %.2f LU  M max %.2f LUFS  S max %.2f LUFS  TP %.2f dBTP  parts %d"
      "  oversampled %.0f%%\n",
      r.Integrated, r.Range, r.MaxMomentary, r.MaxShortTerm, ToDecibels(truePeak), r.PartsUsed,
      r.FramesMeasured > 0
          ? 100.0 * static_cast<double>(r.TruePeakFrames) / static_cast<double>(r.FramesMeasured)
          : 0.0);
  std::printf("seconds %.3f\n", seconds);
  return 0;
}
