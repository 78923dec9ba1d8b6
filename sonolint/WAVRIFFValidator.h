// The RIFF/WAVE conformance rules. The validator walks a chunk tree that the
// loader has already built (it never touches the file) and sends every
// finding and information line through its report function, with the rule
// identifier, module 4 and stream -1. The severities it passes are the
// producer's; the rule catalogue may regrade or drop the lines afterwards.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "chunkmodel/WAVCommonChunk.h"
#include "contract/QuorvexControlInterface.h"

namespace riffo {

class TWAVRIFFValidator {
public:
  TWAVRIFFValidator() = default;  // no report function yet
  ~TWAVRIFFValidator();
  TWAVRIFFValidator(const TWAVRIFFValidator&) = delete;
  TWAVRIFFValidator& operator=(const TWAVRIFFValidator&) = delete;

  HRESULT SetReportFunction(TReportFunction reportFunction);

  // Runs every rule over the tree below the given root. S_OK when the RIFF
  // form was examined, whatever was found; E_FAIL when the root is null, when
  // it does not hold exactly one RIFF chunk (after reporting 207), or on an
  // unexpected failure. Without a report function the findings are dropped.
  HRESULT ValidateWAV(const TWAVCommonChunk* wavCommonChunk);

  // 8-bit date "YYYY?MM?DD": exactly 10 characters, year 0..9999, month
  // 1..12, day 1..31 (separators and month lengths are not examined).
  static int32_t IsValidDateText(std::string_view text);
  // 8-bit time "HH?MM?SS": exactly 8 characters, hour 0..24, minute and
  // second 0..59 (separators are not examined).
  static int32_t IsValidTimeText(std::string_view text);

  // Sends one line to the report function with stream -1; its result, or
  // E_FAIL when no report function is set.
  HRESULT Report(int32_t module, int32_t reportType, int32_t validationID,
                 const std::u16string& message);

private:
  HRESULT ValidateRIFFChunk(const TWAVCommonChunk& riff, int64_t fileSize);
  // The RF64/BW64 rules: the ds64 chunk's place, sizes left at 0xFFFFFFFF,
  // the ds64 sizes against the file, and a form that RIFF would have held.
  void Validate64BitForm(const TWAVCommonChunk& form, int64_t fileSize);
  HRESULT ValidatefmtChunk(const TWAVCommonChunk& chunk);
  HRESULT ValidatebextChunk(const TWAVCommonChunk& chunk);
  HRESULT ValidatecartChunk(const TWAVCommonChunk& chunk);

  // Sends a severity-3 finding whose message ends in the chunk's offset.
  void ReportAt(int32_t validationID, const char* messageBeforeOffset, int64_t offset);
  // Sends information lines, each with its rule identifier, in order.
  struct TInfoLine {
    int32_t ValidationID;
    std::u16string Message;
  };
  void ReportInfo(std::initializer_list<TInfoLine> lines);

  TReportFunction FReportFunction;
};

}  // namespace riffo
