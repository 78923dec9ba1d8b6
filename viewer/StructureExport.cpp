#include "viewer/StructureExport.h"

#include <memory>
#include <string_view>

#include "chunkmodel/WAVHelpers.h"
#include "platform/Files.h"
#include "platform/Guard.h"
#include "platform/OutputFile.h"
#include "platform/Product.h"
#include "platform/Text.h"
#include "viewer/ChunkTreeRender.h"

namespace riffo {

namespace {

constexpr int32_t INDENT_PER_LEVEL = 6;
constexpr size_t WRITE_BLOCK = 64 * 1024;

std::u16string Hex16(int64_t value) {
  std::u16string out;
  AppendHex(out, static_cast<uint64_t>(value), POSITION_HEX_DIGITS);
  return out;
}

// Collects encoded lines and hands them to the stream in blocks, so that a
// large tree does not cost one write per line. The first failed write ends
// the export: nothing after it is written, what was written stays.
class TStructureLineWriter {
public:
  explicit TStructureLineWriter(TStream& out) : FOut(out) { FBuffer.reserve(WRITE_BLOCK); }

  void WriteLine(std::u16string_view text) {
    if (FFailed) return;
    // Nearly every line is plain ASCII; those skip the conversion's copy.
    bool ascii = true;
    for (char16_t c : text) ascii = ascii && c < 0x80;
    if (ascii)
      for (char16_t c : text) FBuffer += static_cast<char>(c);
    else
      FBuffer += Utf16ToUtf8(text);
    FBuffer += "\r\n";
    if (FBuffer.size() >= WRITE_BLOCK) Flush();
  }

  // The line sink given to the renderer.
  void WriteStructureLine(const std::u16string& text, int32_t level) {
    if (FFailed) return;
    if (level > 0) FBuffer.append(static_cast<size_t>(level) * INDENT_PER_LEVEL, ' ');
    WriteLine(text);
  }

  bool Flush() {
    if (!FFailed && !FBuffer.empty()) {
      const auto size = static_cast<int64_t>(FBuffer.size());
      FFailed = FOut.Write(FBuffer.data(), size) != size;
      FBuffer.clear();
    }
    return !FFailed;
  }

private:
  TStream& FOut;
  std::string FBuffer;
  bool FFailed = false;
};

TExportResult WriteFailure(const std::u16string& outName) {
  return {false, Format16("Cannot write %s file.", Utf16ToUtf8(outName).c_str())};
}

}  // namespace

std::vector<std::u16string> StructureHeaderLines(const std::u16string& fileName, int64_t fileSize) {
  const std::u16string border(static_cast<size_t>(FRAME_WIDTH), u'/');
  const std::u16string blank =
      u"//" + std::u16string(static_cast<size_t>(FRAME_WIDTH) - 4, u' ') + u"//";
  return {border,
          blank,
          FramedLine(std::u16string(PROGRAM_NAME) + u" " + ProgramRelease()),
          FramedLine(MAKER_WEB),
          FramedLine(MAKER_NAME),
          blank,
          border,
          {},
          u"FileName: " + fileName,
          u"FileSize: 0x" + Hex16(fileSize),
          {},
          u"WAV Chunk Structure",
          {}};
}

std::u16string StructureLine(const std::u16string& text, int32_t level) {
  const int32_t indent = level > 0 ? level * INDENT_PER_LEVEL : 0;
  return std::u16string(static_cast<size_t>(indent), u' ') + text;
}

TExportResult WriteStructureExport(TStream& out, const std::u16string& outName,
                                   const std::u16string& fileName, int64_t fileSize,
                                   const TWAVCommonChunk* chunk) {
  return Guarded(u"dgn: Error in WriteStructureExport call...", WriteFailure(outName), [&] {
    TStructureLineWriter writer(out);
    for (const std::u16string& line : StructureHeaderLines(fileName, fileSize))
      writer.WriteLine(line);
    if (chunk != nullptr) {
      const TStructureLineProc sink = [&writer](const std::u16string& text, int32_t level) {
        writer.WriteStructureLine(text, level);
      };
      UpdateTreeView(nullptr, nullptr, 0, &sink, chunk);
    }
    return writer.Flush() ? TExportResult{} : WriteFailure(outName);
  });
}

TExportResult ExportStructureToFile(const std::u16string& outFileName,
                                    const std::u16string& fileName, int64_t fileSize,
                                    const TWAVCommonChunk* chunk) {
  return Guarded(u"dgn: Error in ExportStructureToFile call...", WriteFailure(outFileName), [&] {
    TOutputStatus status = TOutputStatus::Ok;
    const std::unique_ptr<TOutputFile> output =
        TOutputFile::Begin(ToNativePath(outFileName), TOutputMode::Replace, status);
    TStream* out = output ? output->Stream() : nullptr;
    if (out == nullptr) return WriteFailure(outFileName);
    TExportResult result = WriteStructureExport(*out, outFileName, fileName, fileSize, chunk);
    if (result.Ok && output->Commit() != TOutputStatus::Ok) result = WriteFailure(outFileName);
    return result;
  });
}

}  // namespace riffo
