#include "chunkmodel/WAVRecords.h"

#include <algorithm>
#include <cstring>
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

// Copies `count` bytes of the payload from `pos` on; bytes beyond its end stay zero.
void CopyField(const std::vector<uint8_t>& payload, int64_t pos, uint8_t* field, size_t count) {
  std::memset(field, 0, count);
  const int64_t size = static_cast<int64_t>(payload.size());
  if (pos < 0 || pos >= size) return;
  const size_t available = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), size - pos));
  std::memcpy(field, payload.data() + pos, available);
}

template <size_t N>
void CopyField(const std::vector<uint8_t>& payload, int64_t pos, uint8_t (&field)[N]) {
  CopyField(payload, pos, field, N);
}

uint16_t Field16(const std::vector<uint8_t>& payload, int64_t pos) {
  uint8_t bytes[2];
  CopyField(payload, pos, bytes);
  return GetLE16(bytes);
}

uint32_t Field32(const std::vector<uint8_t>& payload, int64_t pos) {
  uint8_t bytes[4];
  CopyField(payload, pos, bytes);
  return GetLE32(bytes);
}

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
    const TextField fields[] = {{record.Description, 256},
                                {record.Originator, 32},
                                {record.OriginatorReference, 32}};
    for (const auto& field : fields) {
      std::memset(field.Data, 0, static_cast<size_t>(field.Width));
      const int64_t left = size - pos;
      if (left <= 0) continue;  // a short chunk: the field has no bytes
      const auto window = static_cast<int32_t>(std::min<int64_t>(field.Width, left));
      std::string text;
      int32_t consumed = 0, counted = 0;
      ReadCountedString(payload.data() + pos, window, text, consumed, counted);
      std::memcpy(field.Data, text.data(), text.size());
      int32_t passed = consumed;
      pos += consumed;
      while (passed < field.Width && pos < size && payload[static_cast<size_t>(pos)] == 0) {
        ++pos;
        ++passed;
      }
    }

    CopyField(payload, pos, record.OriginationDate);
    pos += 10;
    CopyField(payload, pos, record.OriginationTime);
    pos += 8;
    record.TimeReferenceLow = Field32(payload, pos);
    pos += 4;
    record.TimeReferenceHigh = Field32(payload, pos);
    pos += 4;
    record.Version = Field16(payload, pos);
    pos += 2;
    CopyField(payload, pos, record.SMPTE_UMID);
    pos += 64;
    record.LoudnessValue = Field16(payload, pos);
    record.LoudnessRange = Field16(payload, pos + 2);
    record.MaxTruePeakLevel = Field16(payload, pos + 4);
    record.MaxMomentaryLoudness = Field16(payload, pos + 6);
    record.MaxShortTermLoudness = Field16(payload, pos + 8);
    pos += 10;
    CopyField(payload, pos, record.Reserved);
    pos += 180;

    // The size counts every coding-history byte of the chunk; the field keeps
    // as many as it holds.
    record.CodingHistorySize = static_cast<int32_t>(size - pos);
    std::memset(record.CodingHistory, 0, sizeof record.CodingHistory);
    if (record.CodingHistorySize >= 1)
      CopyField(payload, pos, record.CodingHistory,
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
    record.FileSecurityReport = Field32(payload, 0);
    record.FileSecurityWave = Field32(payload, 4);

    size_t pos = 8;
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
  // A 16-byte format chunk has no cbSize.
  uint8_t bytes[18];
  record.HasExtension = false;
  if (!ReadFixed(stream, bytes, std::clamp<int64_t>(size, 0, 18))) return false;
  record.wFormatTag = GetLE16(bytes);
  record.nChannels = GetLE16(bytes + 2);
  record.nSamplesPerSec = GetLE32(bytes + 4);
  record.nAvgBytesPerSec = GetLE32(bytes + 8);
  record.nBlockAlign = GetLE16(bytes + 12);
  record.wBitsPerSample = GetLE16(bytes + 14);
  record.cbSize = GetLE16(bytes + 16);
  // The extensible part is read only when the tag, cbSize and the chunk all
  // leave room for it; a short read leaves the record as it was. The sample
  // readers' decoder interprets it, so both see the same extension.
  if (record.wFormatTag == WAVE_FORMAT_EXTENSIBLE && record.cbSize >= 22 &&
      size >= FMT_EXTENSIBLE_SIZE) {
    uint8_t whole[FMT_EXTENSIBLE_SIZE];
    std::memcpy(whole, bytes, sizeof bytes);
    if (stream.Read(whole + sizeof bytes, FMT_EXTENSIBLE_SIZE - sizeof bytes) ==
        static_cast<int64_t>(FMT_EXTENSIBLE_SIZE - sizeof bytes)) {
      TFmtPayload decoded;
      if (DecodeFmtPayload(whole, sizeof whole, decoded) && decoded.Fields.HasExtension) {
        record.HasExtension = true;
        record.wValidBitsPerSample = decoded.Fields.ValidBitsPerSample;
        record.dwChannelMask = decoded.ChannelMask;
        std::memcpy(record.SubFormat, decoded.Fields.SubFormat, sizeof record.SubFormat);
      }
    }
  }
  return true;
}

TDs64Status ReadDs64Record(TStream& stream, int64_t size, Tds64_chunk& record) {
  record = Tds64_chunk{};
  // Never more than the fixed part and a full table at capacity, whatever
  // the size field says.
  constexpr int64_t kMostRead =
      DS64_FIXED_SIZE + int64_t{DS64_ENTRY_SIZE} * DS64_TABLE_CAPACITY;
  const int64_t wanted = std::clamp<int64_t>(size, 0, kMostRead);
  std::vector<uint8_t> payload(static_cast<size_t>(wanted));
  const int64_t got = wanted == 0 ? 0 : std::max<int64_t>(stream.Read(payload.data(), wanted), 0);
  payload.resize(static_cast<size_t>(got));
  if (got < DS64_FIXED_SIZE) return TDs64Status::Short;

  const uint8_t* p = payload.data();
  record.riffSize = GetLE64(p);
  record.dataSize = GetLE64(p + 8);
  record.sampleCount = GetLE64(p + 16);
  record.tableLength = GetLE32(p + 24);

  // Entries the chunk's payload has room for, by subtraction (size is at
  // least the fixed part here), and entries the file actually gave.
  const int64_t roomInChunk = (size - DS64_FIXED_SIZE) / DS64_ENTRY_SIZE;
  const int64_t readable = (got - DS64_FIXED_SIZE) / DS64_ENTRY_SIZE;
  const int64_t declared = record.tableLength;
  const int64_t kept = std::min({declared, readable, int64_t{DS64_TABLE_CAPACITY}});
  record.Table.reserve(static_cast<size_t>(kept));
  for (int64_t i = 0; i < kept; ++i) {
    const uint8_t* entry = p + DS64_FIXED_SIZE + i * DS64_ENTRY_SIZE;
    record.Table.push_back({GetLE32(entry), GetLE64(entry + 4)});
  }
  const bool fileEnded = kept < std::min<int64_t>(declared, DS64_TABLE_CAPACITY);
  return declared > roomInChunk || fileEnded ? TDs64Status::TableOverrun : TDs64Status::Complete;
}

// fact, levl and mext take their fixed size whatever the chunk's size says.
bool ReadFactRecord(TStream& stream, Tfact_chunk& record) {
  uint8_t bytes[4];
  const bool complete = ReadFixed(stream, bytes);
  record.dwSampleLength = GetLE32(bytes);
  return complete;
}

bool ReadLevlRecord(TStream& stream, TLevl_chunk& record) {
  uint8_t bytes[60];
  const bool complete = ReadFixed(stream, bytes);
  uint32_t* numbers[] = {&record.dwVersion,       &record.dwFormat,         &record.dwPointsPerValue,
                         &record.dwBlockSize,     &record.dwPeakChannels,   &record.dwNumPeakFrames,
                         &record.dwPosPeakOfPeaks, &record.dwOffsetToPeaks};
  for (size_t i = 0; i < 8; ++i) *numbers[i] = GetLE32(bytes + 4 * i);
  std::memcpy(record.strTimestamp, bytes + 32, sizeof record.strTimestamp);
  return complete;
}

bool ReadMextRecord(TStream& stream, Tmext_chunk& record) {
  uint8_t bytes[12];
  const bool complete = ReadFixed(stream, bytes);
  record.SoundInformtion = GetLE16(bytes);
  record.FrameSize = GetLE16(bytes + 2);
  record.AncillaryDataLength = GetLE16(bytes + 4);
  record.AncillaryDataDef = GetLE16(bytes + 6);
  std::memcpy(record.Reserved, bytes + 8, sizeof record.Reserved);
  return complete;
}

bool ReadCartRecord(TStream& stream, int64_t size, Tcart_extension& record) {
  std::vector<uint8_t> payload;
  if (!ReadPayload(stream, size, payload)) return false;
  struct Text {
    uint8_t* Data;
    size_t Width;
    int64_t Offset;
  };
  const Text texts[] = {
      {record.Version, 4, 0},           {record.Title, 64, 4},
      {record.Artist, 64, 68},          {record.CutID, 64, 132},
      {record.ClientID, 64, 196},       {record.Category, 64, 260},
      {record.Classification, 64, 324}, {record.OutCue, 64, 388},
      {record.StartDate, 10, 452},      {record.StartTime, 8, 462},
      {record.EndDate, 10, 470},        {record.EndTime, 8, 480},
      {record.ProducerAppID, 64, 488},  {record.ProducerAppVersion, 64, 552},
      {record.UserDef, 64, 616},        {record.Reserved, 276, 748},
      {record.URL, 1024, 1024}};
  for (const auto& t : texts) CopyField(payload, t.Offset, t.Data, t.Width);
  record.dwLevelReference = Field32(payload, 680);
  for (int i = 0; i < 8; ++i) {
    record.PostTimer[i].dwUsage = Field32(payload, 684 + 8 * i);
    record.PostTimer[i].dwValue = Field32(payload, 688 + 8 * i);
  }
  record.TagTextSize = size > CART_FIXED_SIZE ? static_cast<int32_t>(size - CART_FIXED_SIZE) : 0;
  CopyField(payload, CART_FIXED_SIZE, record.TagText,
            static_cast<size_t>(std::min(record.TagTextSize, TAG_TEXT_CAPACITY)));
  return true;
}

}  // namespace riffo
