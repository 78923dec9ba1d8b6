// The whole validation of one file, on bytes in memory: the chunk loader,
// the conformance rules and the silence and noise detector, every finding
// through the rule catalogue to a report sink, as the module's worker runs
// them on a file. Every line that reaches the sink must be one a report can
// carry: a known severity, the rule number in front, well-formed UTF-16.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "chunkmodel/WAVCommonChunk.h"
#include "fuzz/FuzzSupport.h"
#include "pcm/PcmFormat.h"
#include "platform/Stream.h"
#include "sonolint/SonolintSettings.h"
#include "sonolint/ValidationSettings.h"
#include "sonolint/WAVRIFFValidator.h"
#include "sonolint/WAVSilenceNoiseDetector.h"

namespace {

using riffo::fuzz::Check;

bool IsWellFormedUtf16(const char16_t* text) {
  for (; *text != 0; ++text) {
    if (*text >= 0xD800 && *text <= 0xDBFF) {
      if (text[1] < 0xDC00 || text[1] > 0xDFFF) return false;
      ++text;
    } else if (*text >= 0xDC00 && *text <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

bool IsRulePrefix(const char16_t* text) {
  // "[NNN] ": at least three digits between the brackets.
  if (text[0] != u'[') return false;
  size_t digits = 0;
  while (text[1 + digits] >= u'0' && text[1 + digits] <= u'9') ++digits;
  return digits >= 3 && text[1 + digits] == u']' && text[2 + digits] == u' ';
}

// The host's end of the report channel; it lives as long as the process.
class TCheckingSink final : public riffo::IQuorvexReport {
public:
  riffo::HRESULT QVX_CALL QueryInterface(const riffo::IID&, void** object) override {
    *object = nullptr;
    return riffo::E_NOINTERFACE;
  }
  uint32_t QVX_CALL AddRef() override { return ++FReferences; }
  uint32_t QVX_CALL Release() override { return --FReferences; }
  riffo::HRESULT QVX_CALL Report(int32_t, int32_t reportType, const char16_t* reportMessage,
                                 int32_t) override {
    Check(reportType >= riffo::REPORT_TYPE_NONE && reportType <= riffo::REPORT_TYPE_ERROR,
          "a report line with an unknown severity");
    Check(reportMessage != nullptr, "a report line without text");
    Check(IsRulePrefix(reportMessage), "a report line without its rule number");
    Check(IsWellFormedUtf16(reportMessage), "a report line that is not well-formed UTF-16");
    ++Lines;
    return riffo::S_OK;
  }
  int64_t Lines = 0;

private:
  uint32_t FReferences = 1;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TCheckingSink sink;
  static riffo::TValidationSettingList catalogue;
  if (catalogue.ValidationSettingsCount() == 0) {
    catalogue.AddBuiltInValidationSettings();
    catalogue.SetQuorvexReport(&sink);
  }
  const riffo::TReportFunction report = [](int32_t module, int32_t reportType,
                                           const char16_t* message, int32_t validationID, int32_t) {
    return catalogue.Report(module, reportType, message != nullptr ? message : u"", validationID,
                            -1);
  };

  const std::vector<uint8_t> bytes(data, data + size);
  riffo::TMemoryStream stream(bytes);
  riffo::TWAVCommonChunk root(nullptr);
  root.SetReportFunction(report);
  if (root.LoadChunk(&stream) == riffo::S_OK) {
    riffo::TWAVRIFFValidator validator;
    validator.SetReportFunction(report);
    validator.ValidateWAV(&root);
  }

  // The stream parameters as the worker takes them from fmt and data.
  riffo::TWAVCommonChunk* fmt = nullptr;
  riffo::TWAVCommonChunk* pcm = nullptr;
  root.FindChunkByName(riffo::FOURCC_fmt, fmt, 1);
  root.FindChunkByName(riffo::FOURCC_data, pcm, 1);
  if (fmt == nullptr || pcm == nullptr || !fmt->Ffmt) return 0;
  const riffo::tWAVEFORMATEX& format = *fmt->Ffmt;
  // Short minimums so that small files find blocks too.
  riffo::TSonolintSettings settings;
  settings.MinSilenceBlockMS = 100;
  settings.MinNoiseBlockMS = 100;
  riffo::TFmtFields fields;
  fields.FormatTag = format.wFormatTag;
  fields.Channels = format.nChannels;
  fields.SamplesPerSec = format.nSamplesPerSec;
  fields.BlockAlign = format.nBlockAlign;
  fields.BitsPerSample = format.wBitsPerSample;
  const riffo::TPcmFormat described = riffo::DescribePcmFormat(fields);
  riffo::TWAVSilenceDetector detector;
  detector.SetReportFunction(report);
  // A format it cannot analyse leaves the detector inactive; Finalize then says why.
  detector.SetPCMFormat(described);
  detector.SetSilenceParameters(settings.SilenceLeveldB, settings.MinSilenceBlockMS);
  detector.SetNoiseParameters(settings.NoiseLeveldB, settings.MinNoiseBlockMS);

  // The samples the data chunk claims, as far as the bytes go: a short read
  // ends the reading, as on a truncated file.
  const int64_t offset = pcm->FOffset + 8;
  const auto claimed = static_cast<int64_t>(static_cast<uint32_t>(pcm->FSize));
  int64_t available = 0;
  if (offset >= 0 && offset < static_cast<int64_t>(size))
    available = std::min(claimed, static_cast<int64_t>(size) - offset);
  for (int64_t at = 0; at < available; at += riffo::PCM_READ_PIECE_SIZE) {
    const int64_t piece = std::min<int64_t>(riffo::PCM_READ_PIECE_SIZE, available - at);
    detector.AddPCMData(data + offset + at, static_cast<int32_t>(piece));
  }
  detector.Finalize();

  if (detector.SamplesPerSeconds() > 0 && described.FrameBytes > 0) {
    const double bytesPerSecond =
        static_cast<double>(described.SamplesPerSec) * described.FrameBytes;
    const double duration = static_cast<double>(available) / bytesPerSecond;
    Check(static_cast<double>(detector.TotalFileSilenceSeconds() +
                              detector.TotalFileNoiseSeconds()) <= duration + 1e-6,
          "silence and noise together exceed the data's duration");
  }
  return 0;
}
