// loudlint_measure FILE [PARTS [OFF]]: measures a WAVE file as the module does
// and prints the values and the time the measurement took (PARTS 0 or absent:
// as many parts as the module would use). OFF is a comma-separated list of
// rules switched off (e.g. 615,622,630): only what the others need is measured,
// and the values not measured print as "-".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "loudlint/LoudlintWorker.h"
#include "loudlint/LoudnessFindings.h"
#include "platform/Text.h"

int main(int argc, char** argv) {
  using namespace riffo;
  if (argc < 2) {
    std::fprintf(stderr, "usage: loudlint_measure FILE [PARTS [OFF]]\n");
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
  TFindingContext context;
  context.Bext = stream.Bext;
  if (argc > 3) {
    std::stringstream list(argv[3]);
    for (std::string id; std::getline(list, id, ',');)
      if (!id.empty()) context.RulesOff.push_back(std::atoi(id.c_str()));
  }
  input.Needs = MeterNeeds(context);
  const TMeterResult r = MeasureLoudness(input);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!r.NotMeasured.empty()) {
    std::fprintf(stderr, "loudlint_measure: not measured: %s\n", r.NotMeasured.c_str());
    return 1;
  }
  const auto value = [](bool measured, double v) {
    char text[32] = "-";
    if (measured) std::snprintf(text, sizeof text, "%.2f", v);
    return std::string(text);
  };
  double truePeak = 0;
  for (double peak : r.TruePeak) truePeak = truePeak > peak ? truePeak : peak;
  const bool loud = input.Needs.Loudness;
  std::printf(
      "I %s LUFS  LRA %s LU  M max %s LUFS  S max %s LUFS  TP %s dBTP  parts %d"
      "  oversampled %.0f%%\n",
      value(loud, r.Integrated).c_str(), value(loud, r.Range).c_str(),
      value(loud, r.MaxMomentary).c_str(), value(loud, r.MaxShortTerm).c_str(),
      value(input.Needs.TruePeak, ToDecibels(truePeak)).c_str(), r.PartsUsed,
      r.FramesMeasured > 0
          ? 100.0 * static_cast<double>(r.TruePeakFrames) / static_cast<double>(r.FramesMeasured)
          : 0.0);
  std::printf("seconds %.3f\n", seconds);
  return 0;
}
