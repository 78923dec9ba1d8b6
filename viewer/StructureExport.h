// The structure export file: a framed header naming the file and its size,
// then one indented line per chunk caption and decoded field, as the chunk
// tree renderer sends them. The viewer's Export Structure command and the
// command line both write through this one writer, so their files are the
// same byte for byte: UTF-8 without byte-order mark, CR LF after every line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "chunkmodel/WAVCommonChunk.h"
#include "platform/Stream.h"

namespace riffo {

// The maker's lines of the header frame.
inline constexpr char16_t EXPORT_MAKER_URL[] = u"www.brindlecorp.example";
inline constexpr char16_t EXPORT_MAKER_NAME[] = u"Brindlecorp Ltd.";

struct TExportResult {
  bool Ok = true;
  // On failure: "Cannot write %s file." with the output's name. Lines
  // written before the failure stay in the output.
  std::u16string Message;
};

// "//", 8 blanks, the text left-aligned in 42 characters, "//" (54 in all;
// a longer text is not cut).
std::u16string FramedLine(const std::u16string& text);

// Header lines 1 to 13, without line ends.
std::vector<std::u16string> StructureHeaderLines(const std::u16string& fileName, int64_t fileSize);

// Level x 6 blanks, then the text (a negative level counts as 0).
std::u16string StructureLine(const std::u16string& text, int32_t level);

// Writes the header and the structure lines of chunk (the root of a loaded
// tree; nullptr writes the header only) to out. fileName is the file's name
// as opened, fileSize the size the open read stream reports, outName the
// name used in the failure message.
TExportResult WriteStructureExport(TStream& out, const std::u16string& outName,
                                   const std::u16string& fileName, int64_t fileSize,
                                   const TWAVCommonChunk* chunk);

// Writes the export into outFileName through TOutputFile: the file appears
// (replacing an existing regular file) only once the export is complete.
// Whether an existing file may be replaced is the caller's decision.
TExportResult ExportStructureToFile(const std::u16string& outFileName,
                                    const std::u16string& fileName, int64_t fileSize,
                                    const TWAVCommonChunk* chunk);

}  // namespace riffo
