#include "EngineTestSupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/Text.h"

namespace riffo::test {

Bytes Pcm16(int64_t frames, int channels, const std::function<int16_t(int64_t, int)>& sample) {
  Bytes pcm;
  pcm.reserve(static_cast<size_t>(frames * channels * 2));
  for (int64_t k = 0; k < frames; ++k) {
    for (int c = 0; c < channels; ++c) Append16(pcm, static_cast<uint16_t>(sample(k, c)));
  }
  return pcm;
}

Bytes BextPayload(const BextFields& f) {
  Bytes p;
  Append(p, Field(f.Description, 256));
  Append(p, Field(f.Originator, 32));
  Append(p, Field(f.OriginatorReference, 32));
  Append(p, Field(f.OriginationDate, 10));
  Append(p, Field(f.OriginationTime, 8));
  Append32(p, f.TimeReferenceLow);
  Append32(p, f.TimeReferenceHigh);
  Append16(p, f.Version);
  Append(p, Bytes(64, 0));  // SMPTE UMID
  Append16(p, f.LoudnessValue);
  Append16(p, f.LoudnessRange);
  Append16(p, f.MaxTruePeakLevel);
  Append16(p, f.MaxMomentaryLoudness);
  Append16(p, f.MaxShortTermLoudness);
  Append(p, Bytes(180, 0));  // reserved
  return p;
}

Bytes WaveFile(int channels, uint32_t rate, const Bytes& pcm, const BextFields* bext) {
  Bytes body = Chunk("fmt ", PcmFormat(static_cast<uint16_t>(channels), rate, 16));
  if (bext != nullptr) Append(body, Chunk("bext", BextPayload(*bext)));
  Append(body, Chunk("data", pcm));
  return Riff("WAVE", body);
}

void WriteSparseWave(const std::string& path, uint32_t dataSize) {
  Bytes fmt = Chunk("fmt ", PcmFormat(2, 48000, 16));
  Bytes header;
  AppendText(header, "RIFF");
  Append32(header, static_cast<uint32_t>(4 + fmt.size() + 8 + dataSize));
  AppendText(header, "WAVE");
  Append(header, fmt);
  AppendText(header, "data");
  Append32(header, dataSize);
  WriteBytes(path, header);
  if (::truncate(path.c_str(), static_cast<off_t>(header.size() + dataSize)) != 0) {
    throw std::runtime_error("cannot extend " + path);
  }
}

int32_t ReportLine::ID() const {
  if (Text.size() < 5 || Text[0] != '[') return -1;
  const size_t close = Text.find(']');
  if (close == std::string::npos) return -1;
  return std::atoi(Text.substr(1, close - 1).c_str());
}

HRESULT RecordingSink::QueryInterface(const IID& iid, void** object) {
  if (object == nullptr) return E_INVALIDARG;
  if (iid == IID_IUnknown || iid == IID_IQuorvexReport) {
    *object = static_cast<IQuorvexReport*>(this);
    AddRef();
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT RecordingSink::Report(int32_t module, int32_t reportType, const char16_t* reportMessage,
                              int32_t streamID) {
  std::lock_guard lock(FLock);
  FLines.push_back({module, reportType, reportMessage ? Utf16ToUtf8(reportMessage) : "", streamID});
  return S_OK;
}

std::vector<ReportLine> RecordingSink::Lines() const {
  std::lock_guard lock(FLock);
  return FLines;
}

std::vector<int32_t> RecordingSink::IDs() const {
  std::vector<int32_t> ids;
  for (const ReportLine& line : Lines()) ids.push_back(line.ID());
  return ids;
}

size_t RecordingSink::Count() const {
  std::lock_guard lock(FLock);
  return FLines.size();
}

void RecordingSink::Clear() {
  std::lock_guard lock(FLock);
  FLines.clear();
}

}  // namespace riffo::test
