// Shared pieces of the engine tests: WAV files written
// from generated PCM, and a recording report sink that counts its references.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "contract/QuorvexControlInterface.h"
#include "support/RiffBuilder.h"
#include "support/StoreFolder.h"
#include "support/TempFolder.h"

namespace riffo::test {

inline void WriteBytes(const std::string& path, const Bytes& bytes) { WriteFileBytes(path, bytes); }

// 16-bit interleaved PCM: frames x channels samples from sample(frame, channel).
Bytes Pcm16(int64_t frames, int channels, const std::function<int16_t(int64_t, int)>& sample);
// A level that is neither silent at -80 dB nor noisy at -10 dB (about -30 dB).
inline constexpr int16_t NORMAL_LEVEL = 1000;
// Above -10 dB (about -4 dB).
inline constexpr int16_t LOUD_LEVEL = 20000;
// A square wave of the given amplitude: RMS equals the amplitude.
inline int16_t Square(int64_t frame, int16_t amplitude) {
  return static_cast<int16_t>(frame % 2 == 0 ? amplitude : -amplitude);
}

// The fields of a 602-byte bext payload.
struct BextFields {
  std::string Description = "Riffoscope test tone";
  std::string Originator = "Riffoscope tests";
  std::string OriginatorReference = "REF0001";
  std::string OriginationDate = "2026-12-10";
  std::string OriginationTime = "01:02:03";
  uint32_t TimeReferenceLow = 48000;
  uint32_t TimeReferenceHigh = 0;
  uint16_t Version = 2;
  uint16_t LoudnessValue = static_cast<uint16_t>(-2300);
  uint16_t LoudnessRange = 500;
  uint16_t MaxTruePeakLevel = static_cast<uint16_t>(-100);
  uint16_t MaxMomentaryLoudness = 0;
  uint16_t MaxShortTermLoudness = 0;
};
Bytes BextPayload(const BextFields& fields);

// RIFF/WAVE with fmt (16-bit PCM), an optional bext and data.
Bytes WaveFile(int channels, uint32_t rate, const Bytes& pcm, const BextFields* bext = nullptr);

// A WAVE file whose data chunk declares dataSize bytes of zeros, written
// sparse (holes read as silence without taking disk space).
void WriteSparseWave(const std::string& path, uint32_t dataSize);

struct ReportLine {
  int32_t Module;
  int32_t Type;
  std::string Text;  // UTF-8
  int32_t Stream;
  // The rule number inside the "[NNN] " prefix; -1 without a prefix.
  int32_t ID() const;
};

// The host side of the report channel, as the session window implements it:
// accepts lines from any thread and only stores them.
class RecordingSink final : public IQuorvexReport {
public:
  RecordingSink() = default;
  ~RecordingSink() = default;
  HRESULT QVX_CALL QueryInterface(const IID& iid, void** object) override;
  uint32_t QVX_CALL AddRef() override { return ++FRefs; }
  uint32_t QVX_CALL Release() override { return --FRefs; }  // owned by the test
  HRESULT QVX_CALL Report(int32_t module, int32_t reportType, const char16_t* reportMessage,
                          int32_t streamID) override;

  uint32_t References() const { return FRefs; }
  std::vector<ReportLine> Lines() const;
  std::vector<int32_t> IDs() const;
  size_t Count() const;
  void Clear();

private:
  std::atomic<uint32_t> FRefs{1};
  mutable std::mutex FLock;
  std::vector<ReportLine> FLines;
};

}  // namespace riffo::test
