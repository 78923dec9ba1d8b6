#include "sonolint/WAVRIFFValidator.h"

#include <utility>

#include "chunkmodel/WAVHelpers.h"
#include "platform/DebugTrace.h"
#include "platform/Guard.h"
#include "platform/Text.h"

namespace riffo {

namespace {

// A group of characters read as a whole number: plain decimal digits only, so
// blanks, signs and letters all reject it.
bool ReadNumber(std::string_view text, size_t from, size_t count, int& value) {
  value = 0;
  for (size_t i = from; i < from + count; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

bool InRange(std::string_view text, size_t from, size_t count, int low, int high) {
  int value = 0;
  return ReadNumber(text, from, count, value) && value >= low && value <= high;
}

// "<label>" followed by the field's text up to its first 0 byte.
template <size_t N>
std::u16string FieldLine(const char16_t* label, const uint8_t (&field)[N]) {
  return std::u16string(label) + FieldText(field);
}

std::u16string UnsignedLine(const char16_t* label, uint32_t value) {
  return std::u16string(label) + Format16("%u", value);
}

}  // namespace

TWAVRIFFValidator::~TWAVRIFFValidator() {
  GuardedVoid(u"dgn: Error in TWAVRIFFValidator.Destroy call...",
              [&] { FReportFunction = nullptr; });
}

HRESULT TWAVRIFFValidator::SetReportFunction(TReportFunction reportFunction) {
  FReportFunction = std::move(reportFunction);
  return S_OK;
}

HRESULT TWAVRIFFValidator::Report(int32_t module, int32_t reportType, int32_t validationID,
                                  const std::u16string& message) {
  return Guarded(u"dgn: Error in TWAVRIFFValidator.Report call...", E_FAIL, [&] {
    if (!FReportFunction) return E_FAIL;
    return FReportFunction(module, reportType, message.c_str(), validationID, -1);
  });
}

void TWAVRIFFValidator::ReportAt(int32_t validationID, const char* messageBeforeOffset,
                                 int64_t offset) {
  Report(MODULE_ID_SONOLINT, REPORT_TYPE_ERROR, validationID,
         Format16("%s0x%s .", messageBeforeOffset, HexPos(offset).c_str()));
}

void TWAVRIFFValidator::ReportInfo(std::initializer_list<TInfoLine> lines) {
  for (const TInfoLine& line : lines)
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO, line.ValidationID, line.Message);
}

HRESULT TWAVRIFFValidator::ValidateWAV(const TWAVCommonChunk* wavCommonChunk) {
  return Guarded(u"dgn: Error in TWAVRIFFValidator.ValidateWAV call...", E_FAIL, [&] {
    if (!wavCommonChunk) {
      DebugTrace(u"dgn: Error in TWAVRIFFValidator.ValidateWAV - WAVCommonChunk not initialized.");
      return E_FAIL;
    }
    const char* const nonRiff = "Non-RIFF chunk found in the root layer at ";
    // A RIFF form followed by anything else at the top is not examined at all.
    if (wavCommonChunk->FSubChunks.size() != 1) {
      ReportAt(207, nonRiff, wavCommonChunk->FOffset);
      return E_FAIL;
    }
    const TWAVCommonChunk* riff = wavCommonChunk->FSubChunks.front().get();
    if (!riff || (riff->FName != FOURCC_RIFF && !Is64BitForm(riff->FName))) {
      ReportAt(207, nonRiff, riff ? riff->FOffset : wavCommonChunk->FOffset);
      return E_FAIL;
    }
    if (Failed(ValidateRIFFChunk(*riff, wavCommonChunk->FSize)))
      DebugTrace(
          u"dgn: Error in TWAVRIFFValidator.ValidateWAV - cannot validate first RIFF chunk.");
    return S_OK;
  });
}

HRESULT TWAVRIFFValidator::ValidateRIFFChunk(const TWAVCommonChunk& riff, int64_t fileSize) {
  return Guarded(u"dgn: Error in TWAVRIFFValidator.ValidateRIFFChunk call...", E_FAIL, [&] {
    if (riff.FType != FOURCC_WAVE) {
      ReportAt(208, "Invalid chunk name. The main RIFF chunk should be of WAV type. Offset: ",
               riff.FOffset);
      return E_FAIL;
    }
    if (Is64BitForm(riff.FName)) Validate64BitForm(riff, fileSize);
    bool fmtSeen = false;
    bool bextSeen = false;
    bool cartSeen = false;
    bool dataSeen = false;
    uint32_t byteRate = 0;
    int64_t dataSize = 0;

    for (const auto& child : riff.FSubChunks) {
      if (!child) continue;
      switch (child->FName) {
        case FOURCC_fmt:
          fmtSeen = true;
          if (Failed(ValidatefmtChunk(*child)))
            DebugTrace(
                u"dgn: Error in TWAVRIFFValidator.ValidateRIFFChunk - cannot validate fmt chunk.");
          // A fmt chunk without a record contributes no byte rate.
          if (child->Ffmt) byteRate = child->Ffmt->nAvgBytesPerSec;
          break;
        case FOURCC_bext:
          bextSeen = true;
          if (Failed(ValidatebextChunk(*child)))
            DebugTrace(
                u"dgn: Error in TWAVRIFFValidator.ValidateRIFFChunk - cannot validate bext chunk.");
          break;
        case FOURCC_cart:
          cartSeen = true;
          if (Failed(ValidatecartChunk(*child)))
            DebugTrace(
                u"dgn: Error in TWAVRIFFValidator.ValidateRIFFChunk - cannot validate cart chunk.");
          break;
        case FOURCC_data:
          dataSeen = true;
          // A RIFF form's sizes are 32 bits wide; an RF64/BW64 form's are 64.
          dataSize = Is64BitForm(riff.FName) ? child->FSize
                                             : static_cast<int64_t>(static_cast<uint32_t>(
                                                   static_cast<uint64_t>(child->FSize)));
          break;
        default: DebugTrace(FourCCToText(child->FName)); break;
      }
    }

    if (!fmtSeen)
      ReportAt(209, "fmt chunk not found in the main RIFF chunk. Offset: ", riff.FOffset);
    if (!bextSeen)
      ReportAt(211, "bext chunk not found in the main RIFF chunk. Offset: ", riff.FOffset);
    if (!cartSeen)
      ReportAt(212, "cart chunk not found in the main RIFF chunk. Offset: ", riff.FOffset);
    if (!dataSeen)
      ReportAt(210, "data chunk not found in the main RIFF chunk. Offset: ", riff.FOffset);

    const auto signedRate = static_cast<int32_t>(byteRate);
    if (fmtSeen && dataSeen && dataSize > 0 && signedRate > 0) {
      const double seconds = static_cast<double>(dataSize) / static_cast<double>(signedRate);
      Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO, 301,
             u"WAVE Stream Duration = " + SecondsToDurationText(seconds));
    }
    return S_OK;
  });
}

void TWAVRIFFValidator::Validate64BitForm(const TWAVCommonChunk& form, int64_t fileSize) {
  const std::string formName = Utf16ToUtf8(FourCCToText(form.FName));
  const TWAVCommonChunk* ds64 = nullptr;
  const TWAVCommonChunk* data = nullptr;
  for (const auto& child : form.FSubChunks) {
    if (!child) continue;
    if (child->FName == FOURCC_ds64 && ds64 == nullptr) ds64 = child.get();
    if (child->FName == FOURCC_data && data == nullptr) data = child.get();
  }
  if (ds64 == nullptr)
    ReportAt(229, ("ds64 chunk not found in the main " + formName + " chunk. Offset: ").c_str(),
             form.FOffset);
  else if (ds64 != form.FSubChunks.front().get())
    ReportAt(
        229,
        ("ds64 chunk is not the first chunk of the main " + formName + " chunk. Offset: ").c_str(),
        ds64->FOffset);

  auto unresolved = [&](const TWAVCommonChunk& chunk) {
    if (chunk.FSizeSource != TSizeSource::Unresolved) return;
    const std::string text = "Chunk size 0xFFFFFFFF of " + Utf16ToUtf8(FourCCToText(chunk.FName)) +
                             " has no 64-bit size in the ds64 chunk. Offset: ";
    ReportAt(230, text.c_str(), chunk.FOffset);
  };
  unresolved(form);
  for (const auto& child : form.FSubChunks)
    if (child) unresolved(*child);

  // The sizes the ds64 record gives, against what the file holds.
  if (ds64 != nullptr && ds64->Fds64) {
    const Tds64_chunk& sizes = *ds64->Fds64;
    auto disagree = [&](const char* what, uint64_t recorded, int64_t actual, int64_t offset) {
      Report(MODULE_ID_SONOLINT, REPORT_TYPE_ERROR, 231,
             Format16("%s in the ds64 chunk (%llu) disagrees with the file (%lld). Offset: 0x%s .",
                      what, static_cast<unsigned long long>(recorded),
                      static_cast<long long>(actual), HexPos(offset).c_str()));
    };
    // The form's payload runs from behind its header to the end of the file.
    const int64_t formPayload = fileSize - form.FOffset - 8;
    if (formPayload < 0 || sizes.riffSize != static_cast<uint64_t>(formPayload))
      disagree("RIFF size", sizes.riffSize, formPayload, form.FOffset);
    if (data != nullptr) {
      const int64_t held = fileSize - data->FOffset - 8;  // bytes behind the data header
      if (data->FSizeSource == TSizeSource::Field) {
        if (sizes.dataSize != static_cast<uint64_t>(data->FSize))
          disagree("Data size", sizes.dataSize, data->FSize, data->FOffset);
      } else if (held < 0 || sizes.dataSize > static_cast<uint64_t>(held)) {
        disagree("Data size", sizes.dataSize, held, data->FOffset);
      }
    }
  }

  // Every size fits in 32 bits when the whole file does.
  if (fileSize - form.FOffset - 8 <= int64_t{0xFFFFFFFF})
    Report(MODULE_ID_SONOLINT, REPORT_TYPE_INFO, 232,
           Format16(
               "%s form used for a file of %lld bytes that a RIFF form would hold. Offset: 0x%s .",
               formName.c_str(), static_cast<long long>(fileSize), HexPos(form.FOffset).c_str()));
}

HRESULT TWAVRIFFValidator::ValidatefmtChunk(const TWAVCommonChunk& chunk) {
  return Guarded(u"dgn: Error in TWAVRIFFValidator.ValidatefmtChunk call...", E_FAIL, [&] {
    if (!chunk.Ffmt) {
      ReportAt(0, "Invalid fmt chunk. Offset: ", chunk.FOffset);
      return E_FAIL;
    }
    const tWAVEFORMATEX& fmt = *chunk.Ffmt;
    ReportInfo({
        {302, Format16("WAVE fmt - FormatTag = %d", fmt.wFormatTag)},
        {303, Format16("WAVE fmt - Channels = %d", fmt.nChannels)},
        {304, Format16("WAVE fmt - SamplesPerSec = %d", static_cast<int32_t>(fmt.nSamplesPerSec))},
        {305,
         Format16("WAVE fmt - AvgBytesPerSec = %d", static_cast<int32_t>(fmt.nAvgBytesPerSec))},
        {306, Format16("WAVE fmt - BlockAlign = %d", fmt.nBlockAlign)},
        {307, Format16("WAVE fmt - BitsPerSample = %d", fmt.wBitsPerSample)},
    });

    if (fmt.wFormatTag == 0)
      ReportAt(401, "Invalid FormatTag value in the fmt chunk. Offset: ", chunk.FOffset);
    if (fmt.nChannels == 0)
      ReportAt(402, "Invalid Channels value in the fmt chunk. Offset: ", chunk.FOffset);
    if (fmt.nSamplesPerSec == 0)
      ReportAt(403, "Invalid SamplesPerSec value in the fmt chunk. Offset: ", chunk.FOffset);
    if (fmt.nAvgBytesPerSec == 0)
      ReportAt(404, "Invalid AvgBytesPerSec value in the fmt chunk. Offset: ", chunk.FOffset);
    if (fmt.nBlockAlign == 0)
      ReportAt(405, "Invalid BlockAlign value in the fmt chunk. Offset: ", chunk.FOffset);
    if (fmt.wBitsPerSample == 0 && fmt.wFormatTag == 1)
      ReportAt(406, "Invalid BitsPerSample value in the fmt chunk. Offset: ", chunk.FOffset);
    return S_OK;
  });
}

HRESULT TWAVRIFFValidator::ValidatebextChunk(const TWAVCommonChunk& chunk) {
  return Guarded(u"dgn: Error in TWAVRIFFValidator.ValidatebextChunk call...", E_FAIL, [&] {
    const Tbroadcast_audio_extension& bext = chunk.Fbroadcast_audio_extension;
    // The loudness fields print as stored, unsigned and unscaled.
    ReportInfo({
        {410, FieldLine(u"WAVE bext - Description : ", bext.Description)},
        {411, FieldLine(u"WAVE bext - Originator : ", bext.Originator)},
        {412, FieldLine(u"WAVE bext - Originator Reference : ", bext.OriginatorReference)},
        {413, FieldLine(u"WAVE bext - Origination Date : ", bext.OriginationDate)},
        {414, FieldLine(u"WAVE bext - Origination Time : ", bext.OriginationTime)},
        {415, UnsignedLine(u"WAVE bext - Time Reference Low : ", bext.TimeReferenceLow)},
        {416, UnsignedLine(u"WAVE bext - Time Reference High : ", bext.TimeReferenceHigh)},
        {417, UnsignedLine(u"WAVE bext - Version : ", bext.Version)},
        {418, UnsignedLine(u"WAVE bext - Loudness Value : ", bext.LoudnessValue)},
        {419, UnsignedLine(u"WAVE bext - Loudness Range : ", bext.LoudnessRange)},
        {420, UnsignedLine(u"WAVE bext - Max True Peak Level : ", bext.MaxTruePeakLevel)},
        {421, UnsignedLine(u"WAVE bext - Max Momentary Loudness : ", bext.MaxMomentaryLoudness)},
        {422, UnsignedLine(u"WAVE bext - Max Short Term Loudness : ", bext.MaxShortTermLoudness)},
    });

    if (!IsValidDateText(FieldBytes(bext.OriginationDate)))
      ReportAt(217, "Invalid Origination Date in the bext chunk. Offset: ", chunk.FOffset);
    if (!IsValidTimeText(FieldBytes(bext.OriginationTime)))
      ReportAt(218, "Invalid Origination Time in the bext chunk. Offset: ", chunk.FOffset);
    return S_OK;
  });
}

HRESULT TWAVRIFFValidator::ValidatecartChunk(const TWAVCommonChunk& chunk) {
  return Guarded(u"dgn: Error in TWAVRIFFValidator.ValidatecartChunk call...", E_FAIL, [&] {
    if (!chunk.Fcart_extension) {
      ReportAt(0, "Invalid cart chunk. Offset: ", chunk.FOffset);
      return E_FAIL;
    }
    const Tcart_extension& cart = *chunk.Fcart_extension;
    ReportInfo({
        {430, FieldLine(u"WAVE cart - Version : ", cart.Version)},
        {431, FieldLine(u"WAVE cart - Title : ", cart.Title)},
        {432, FieldLine(u"WAVE cart - Artist : ", cart.Artist)},
        {433, FieldLine(u"WAVE cart - Cut ID : ", cart.CutID)},
        {434, FieldLine(u"WAVE cart - Client ID : ", cart.ClientID)},
        {435, FieldLine(u"WAVE cart - Category : ", cart.Category)},
        {436, FieldLine(u"WAVE cart - Classification : ", cart.Classification)},
        {437, FieldLine(u"WAVE cart - Out Cue : ", cart.OutCue)},
        {438, FieldLine(u"WAVE cart - Start Date : ", cart.StartDate)},
        {439, FieldLine(u"WAVE cart - Start Time : ", cart.StartTime)},
        {440, FieldLine(u"WAVE cart - End Date : ", cart.EndDate)},
        {441, FieldLine(u"WAVE cart - End Time : ", cart.EndTime)},
        {442, FieldLine(u"WAVE cart - Producer App ID : ", cart.ProducerAppID)},
        {443, FieldLine(u"WAVE cart - Producer App Version : ", cart.ProducerAppVersion)},
        {444, FieldLine(u"WAVE cart - User Def : ", cart.UserDef)},
        {445, UnsignedLine(u"WAVE cart - Level Reference : ", cart.dwLevelReference)},
        {446, FieldLine(u"WAVE cart - URL : ", cart.URL)},
    });

    if (!IsValidDateText(FieldBytes(cart.StartDate)))
      ReportAt(219, "Invalid Start Date in the cart chunk. Offset: ", chunk.FOffset);
    if (!IsValidTimeText(FieldBytes(cart.StartTime)))
      ReportAt(220, "Invalid Start Time in the cart chunk. Offset: ", chunk.FOffset);
    if (!IsValidDateText(FieldBytes(cart.EndDate)))
      ReportAt(221, "Invalid End Date in the cart chunk. Offset: ", chunk.FOffset);
    if (!IsValidTimeText(FieldBytes(cart.EndTime)))
      ReportAt(222, "Invalid End Time in the cart chunk. Offset: ", chunk.FOffset);
    return S_OK;
  });
}

int32_t TWAVRIFFValidator::IsValidDateText(std::string_view text) {
  return text.size() == 10 && InRange(text, 0, 4, 0, 9999) && InRange(text, 5, 2, 1, 12) &&
                 InRange(text, 8, 2, 1, 31)
             ? 1
             : 0;
}

int32_t TWAVRIFFValidator::IsValidTimeText(std::string_view text) {
  return text.size() == 8 && InRange(text, 0, 2, 0, 24) && InRange(text, 3, 2, 0, 59) &&
                 InRange(text, 6, 2, 0, 59)
             ? 1
             : 0;
}

}  // namespace riffo
