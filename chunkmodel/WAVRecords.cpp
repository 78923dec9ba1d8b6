#include "chunkmodel/WAVRecords.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <type_traits>
#include <vector>

#include "pcm/FmtPayload.h"
#include "platform/ByteOrder.h"
#include "platform/Guard.h"

namespace riffo {
namespace {

// Reads a whole payload, refusing sizes that would make a crafted header
// allocate without bound. False when the payload is too big or short.
bool ReadPayload(TStream& stream, int64_t size, std::vector<uint8_t>& payload) {
  if (size < 0 || size > MAX_METADATA_PAYLOAD) return false;
  payload.resize(static_cast<size_t>(size));
  return size == 0 || stream.Read(payload.data(), size) == size;
}

// Reads a record's fields in file order from a run of bytes: each field takes
// its own width (a text field's array length, a number's size) and the next
// field follows it. Bytes past the end of the run read as zero.
class TFieldReader {
public:
  TFieldReader(const uint8_t* data, int64_t size, int64_t pos = 0)
      : FData(data), FSize(size), FPos(pos) {}
  explicit TFieldReader(const std::vector<uint8_t>& payload, int64_t pos = 0)
      : TFieldReader(payload.data(), static_cast<int64_t>(payload.size()), pos) {}

  template <size_t N>
  TFieldReader& operator>>(uint8_t (&field)[N]) {
    Take(field, N);
    return *this;
  }

  template <typename T>
  requires std::is_unsigned_v<T> TFieldReader& operator>>(T& value) {
    uint8_t bytes[sizeof(T)];
    Take(bytes, sizeof bytes);
    if constexpr (sizeof(T) == 2)
      value = GetLE16(bytes);
    else if constexpr (sizeof(T) == 4)
      value = GetLE32(bytes);
    else
      value = GetLE64(bytes);
    return *this;
  }

  // Fills `count` bytes of a field of variable length (zeros past the end).
  void Take(uint8_t* field, size_t count) {
    std::memset(field, 0, count);
    if (FPos >= 0 && FPos < FSize) {
      const int64_t available = std::min<int64_t>(static_cast<int64_t>(count), FSize - FPos);
      std::memcpy(field, FData + FPos, static_cast<size_t>(available));
    }
    FPos += static_cast<int64_t>(count);
  }

  int64_t Position() const { return FPos; }

private:
  const uint8_t* FData;
  int64_t FSize;
  int64_t FPos;
};

// Reads up to `count` bytes into a zero-filled buffer; false when fewer came.
template <size_t N>
bool ReadFixed(TStream& stream, uint8_t (&buffer)[N], int64_t count = N) {
  std::memset(buffer, 0, N);
  const int64_t got = stream.Read(buffer, count);
  return got == count;
}

}  // namespace

bool ReadCountedString(const uint8_t* text, int32_t maxLength, std::string& result,
                       int32_t& consumed, int32_t& counted) {
  result.clear();
  consumed = 0;
  counted = 0;
  return Guarded(u"dgn: Error in ReadCountedString call...", false, [&] {
    for (int32_t i = 0; i < maxLength; ++i) {
      const uint8_t byte = text[i];
      ++consumed;
      if (byte == 0) {
        counted = static_cast<int32_t>(result.size()) + 1;
        return true;
      }
      // Only printable ASCII is kept; control and high bytes are skipped.
      if (byte >= 0x20 && byte <= 0x7E) result.push_back(static_cast<char>(byte));
    }
    counted = static_cast<int32_t>(result.size());
    return true;
  });
}

HRESULT ParseBroadcastAudioExtension(TStream* fileStream, int64_t size,
                                     Tbroadcast_audio_extension& record) {
  return Guarded(u"vld: Error in ParseBroadcastAudioExtension call...", E_FAIL, [&]() -> HRESULT {
    if (fileStream == nullptr) return E_FAIL;
    std::vector<uint8_t> payload;
    if (!ReadPayload(*fileStream, size, payload)) return E_FAIL;

    // The three text fields are read one after the other from a moving
    // position, so a field whose padding holds stray bytes shifts the rest.
    int64_t pos = 0;
    struct TextField {
      uint8_t* Data;
      int32_t Width;
    };
    auto text = [](auto& field) {
      return TextField{field, static_cast<int32_t>(std::size(field))};
    };
    const TextField fields[] = {text(record.Description), text(record.Originator),
                                text(record.OriginatorReference)};
    for (const auto& field : fields) {
      std::memset(field.Data, 0, static_cast<size_t>(field.Width));
      const int64_t left = size - pos;
      if (left <= 0) continue;  // a short chunk: the field has no bytes
      const auto window = static_cast<int32_t>(std::min<int64_t>(field.Width, left));
      std::string kept;
      int32_t consumed = 0, counted = 0;
      ReadCountedString(payload.data() + pos, window, kept, consumed, counted);
      std::memcpy(field.Data, kept.data(), kept.size());
      int32_t passed = consumed;
      pos += consumed;
      while (passed < field.Width && pos < size && payload[static_cast<size_t>(pos)] == 0) {
        ++pos;
        ++passed;
      }
    }

    TFieldReader in(payload, pos);
    in >> record.OriginationDate >> record.OriginationTime >> record.TimeReferenceLow >>
        record.TimeReferenceHigh >> record.Version >> record.SMPTE_UMID >> record.LoudnessValue >>
        record.LoudnessRange >> record.MaxTruePeakLevel >> record.MaxMomentaryLoudness >>
        record.MaxShortTermLoudness >> record.Reserved;

    // The size counts every coding-history byte of the chunk; the field keeps
    // as many as it holds.
    record.CodingHistorySize = static_cast<int32_t>(size - in.Position());
    std::memset(record.CodingHistory, 0, sizeof record.CodingHistory);
    if (record.CodingHistorySize >= 1)
      in.Take(record.CodingHistory,
              static_cast<size_t>(std::min(record.CodingHistorySize, CODING_HISTORY_CAPACITY)));
    return S_OK;
  });
}

HRESULT ParseQualityChunk(TStream* fileStream, int64_t size, Tquality_chunk& record) {
  return Guarded(u"vld: Error in ParseQualityChunk call...", E_FAIL, [&]() -> HRESULT {
    record.LinesCount = 0;
    if (fileStream == nullptr) return E_FAIL;
    std::vector<uint8_t> payload;
    if (!ReadPayload(*fileStream, size, payload)) return E_FAIL;
    TFieldReader in(payload);
    in >> record.FileSecurityReport >> record.FileSecurityWave;

    auto pos = static_cast<size_t>(in.Position());
    while (record.LinesCount < QUALITY_LINES_CAPACITY) {
      if (pos >= payload.size() || payload[pos] == 0) break;
      size_t end = pos;
      while (end + 1 < payload.size() && !(payload[end] == '\r' && payload[end + 1] == '\n')) ++end;
      if (end + 1 >= payload.size()) break;  // an unterminated last line is not kept
      record.Lines[record.LinesCount++].assign(reinterpret_cast<const char*>(payload.data() + pos),
                                               end - pos);
      pos = end + 2;
    }
    return S_OK;
  });
}

bool ReadFormatRecord(TStream& stream, int64_t size, tWAVEFORMATEX& record) {
  // Up to the whole extensible record; a 16-byte format chunk has no cbSize.
  uint8_t bytes[FMT_EXTENSIBLE_SIZE];
  record.HasExtension = false;
  const int64_t wanted = std::clamp<int64_t>(size, 0, FMT_EXTENSIBLE_SIZE);
  std::memset(bytes, 0, sizeof bytes);
  const int64_t got = wanted == 0 ? 0 : std::max<int64_t>(stream.Read(bytes, wanted), 0);
  if (got < std::min<int64_t>(wanted, FMT_RECORD_SIZE)) return false;
  TFieldReader in(bytes, sizeof bytes);
  in >> record.wFormatTag >> record.nChannels >> record.nSamplesPerSec >> record.nAvgBytesPerSec >>
      record.nBlockAlign >> record.wBitsPerSample >> record.cbSize;
  // The extensible part is interpreted by the sample readers' decoder, which
  // takes it only when the tag, cbSize and the bytes read all leave room for
  // it, so the tree and the modules see the same extension.
  TFmtPayload decoded;
  if (DecodeFmtPayload(bytes, static_cast<size_t>(got), decoded) && decoded.Fields.HasExtension) {
    record.HasExtension = true;
    record.wValidBitsPerSample = decoded.Fields.ValidBitsPerSample;
    record.dwChannelMask = decoded.ChannelMask;
    std::memcpy(record.SubFormat, decoded.Fields.SubFormat, sizeof record.SubFormat);
  }
  return true;
}

TDs64Status ReadDs64Record(TStream& stream, int64_t size, Tds64_chunk& record) {
  record = Tds64_chunk{};
  // Never more than the fixed part and a full table at capacity, whatever
  // the size field says.
  constexpr int64_t kMostRead = DS64_FIXED_SIZE + int64_t{DS64_ENTRY_SIZE} * DS64_TABLE_CAPACITY;
  const int64_t wanted = std::clamp<int64_t>(size, 0, kMostRead);
  std::vector<uint8_t> payload(static_cast<size_t>(wanted));
  const int64_t got = wanted == 0 ? 0 : std::max<int64_t>(stream.Read(payload.data(), wanted), 0);
  payload.resize(static_cast<size_t>(got));
  if (got < DS64_FIXED_SIZE) return TDs64Status::Short;

  TFieldReader in(payload);
  in >> record.riffSize >> record.dataSize >> record.sampleCount >> record.tableLength;

  // Entries the chunk's payload has room for, by subtraction (size is at
  // least the fixed part here), and entries the file actually gave.
  const int64_t roomInChunk = (size - DS64_FIXED_SIZE) / DS64_ENTRY_SIZE;
  const int64_t readable = (got - DS64_FIXED_SIZE) / DS64_ENTRY_SIZE;
  const int64_t declared = record.tableLength;
  const int64_t kept = std::min({declared, readable, int64_t{DS64_TABLE_CAPACITY}});
  record.Table.reserve(static_cast<size_t>(kept));
  for (int64_t i = 0; i < kept; ++i) {
    TDs64Entry entry{};
    in >> entry.ChunkId >> entry.Size;
    record.Table.push_back(entry);
  }
  const bool fileEnded = kept < std::min<int64_t>(declared, DS64_TABLE_CAPACITY);
  return declared > roomInChunk || fileEnded ? TDs64Status::TableOverrun : TDs64Status::Complete;
}

// fact, levl and mext take their fixed size whatever the chunk's size says.
bool ReadFactRecord(TStream& stream, Tfact_chunk& record) {
  uint8_t bytes[FACT_RECORD_SIZE];
  const bool complete = ReadFixed(stream, bytes);
  TFieldReader(bytes, sizeof bytes) >> record.dwSampleLength;
  return complete;
}

bool ReadLevlRecord(TStream& stream, TLevl_chunk& record) {
  uint8_t bytes[LEVL_RECORD_SIZE];
  const bool complete = ReadFixed(stream, bytes);
  TFieldReader(bytes, sizeof bytes) >> record.dwVersion >> record.dwFormat >>
      record.dwPointsPerValue >> record.dwBlockSize >> record.dwPeakChannels >>
      record.dwNumPeakFrames >> record.dwPosPeakOfPeaks >> record.dwOffsetToPeaks >>
      record.strTimestamp;
  return complete;
}

bool ReadMextRecord(TStream& stream, Tmext_chunk& record) {
  uint8_t bytes[MEXT_RECORD_SIZE];
  const bool complete = ReadFixed(stream, bytes);
  TFieldReader(bytes, sizeof bytes) >> record.SoundInformtion >> record.FrameSize >>
      record.AncillaryDataLength >> record.AncillaryDataDef >> record.Reserved;
  return complete;
}

bool ReadCartRecord(TStream& stream, int64_t size, Tcart_extension& record) {
  std::vector<uint8_t> payload;
  if (!ReadPayload(stream, size, payload)) return false;
  TFieldReader in(payload);
  in >> record.Version >> record.Title >> record.Artist >> record.CutID >> record.ClientID >>
      record.Category >> record.Classification >> record.OutCue >> record.StartDate >>
      record.StartTime >> record.EndDate >> record.EndTime >> record.ProducerAppID >>
      record.ProducerAppVersion >> record.UserDef >> record.dwLevelReference;
  for (TPostTimer& timer : record.PostTimer) in >> timer.dwUsage >> timer.dwValue;
  in >> record.Reserved >> record.URL;
  // The tag text follows the fixed part.
  record.TagTextSize = size > CART_FIXED_SIZE ? static_cast<int32_t>(size - CART_FIXED_SIZE) : 0;
  in.Take(record.TagText, static_cast<size_t>(std::min(record.TagTextSize, TAG_TEXT_CAPACITY)));
  return true;
}

}  // namespace riffo
