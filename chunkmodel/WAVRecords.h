// The decoded broadcast-wave metadata records. Field names and widths follow
// the published chunk layouts; the records are filled from byte buffers with
// explicit little-endian decoding, never by overlaying file bytes.
//
// Each text field's width is written once, as its array's length here: the
// decoders read each field in file order taking that many bytes, and the
// tree and the reports take the width from the field (FieldText).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "contract/QuorvexControlInterface.h"
#include "platform/Stream.h"

namespace riffo {

struct tWAVEFORMATEX {
  uint16_t wFormatTag;
  uint16_t nChannels;
  uint32_t nSamplesPerSec;
  uint32_t nAvgBytesPerSec;
  uint16_t nBlockAlign;
  uint16_t wBitsPerSample;
  uint16_t cbSize;
  // The extensible format's part (tag 0xFFFE, cbSize of at least 22, and a
  // chunk of at least 40 bytes); HasExtension says whether it was read.
  bool HasExtension = false;
  uint16_t wValidBitsPerSample = 0;
  uint32_t dwChannelMask = 0;
  uint8_t SubFormat[16] = {};
};

// The format record up to cbSize, and with the extensible part behind it.
inline constexpr int FMT_RECORD_SIZE = 18;
inline constexpr int FMT_EXTENSIBLE_SIZE = 40;

struct Tfact_chunk {
  uint32_t dwSampleLength;
};

inline constexpr int FACT_RECORD_SIZE = 4;

inline constexpr int BEXT_FIXED_SIZE = 602;
inline constexpr int CODING_HISTORY_CAPACITY = 8192;

struct Tbroadcast_audio_extension {
  uint8_t Description[256];
  uint8_t Originator[32];
  uint8_t OriginatorReference[32];
  uint8_t OriginationDate[10];
  uint8_t OriginationTime[8];
  uint32_t TimeReferenceLow;
  uint32_t TimeReferenceHigh;
  uint16_t Version;
  uint8_t SMPTE_UMID[64];
  uint16_t LoudnessValue;
  uint16_t LoudnessRange;
  uint16_t MaxTruePeakLevel;
  uint16_t MaxMomentaryLoudness;
  uint16_t MaxShortTermLoudness;
  uint8_t Reserved[180];
  uint8_t CodingHistory[CODING_HISTORY_CAPACITY];
  int32_t CodingHistorySize;  // coding-history bytes in the chunk (may exceed the field)
};

inline constexpr int QUALITY_LINES_CAPACITY = 256;

struct Tquality_chunk {
  uint32_t FileSecurityReport;
  uint32_t FileSecurityWave;
  std::string Lines[QUALITY_LINES_CAPACITY];  // raw 8-bit bytes of each line
  int32_t LinesCount;
};

struct TPostTimer {
  uint32_t dwUsage;  // FOURCC
  uint32_t dwValue;
};

inline constexpr int CART_FIXED_SIZE = 2048;
inline constexpr int TAG_TEXT_CAPACITY = 16384;

struct Tcart_extension {
  uint8_t Version[4];
  uint8_t Title[64];
  uint8_t Artist[64];
  uint8_t CutID[64];
  uint8_t ClientID[64];
  uint8_t Category[64];
  uint8_t Classification[64];
  uint8_t OutCue[64];
  uint8_t StartDate[10];
  uint8_t StartTime[8];
  uint8_t EndDate[10];
  uint8_t EndTime[8];
  uint8_t ProducerAppID[64];
  uint8_t ProducerAppVersion[64];
  uint8_t UserDef[64];
  uint32_t dwLevelReference;
  TPostTimer PostTimer[8];
  uint8_t Reserved[276];
  uint8_t URL[1024];
  uint8_t TagText[TAG_TEXT_CAPACITY];
  int32_t TagTextSize;  // tag-text bytes in the chunk (may exceed the field)
};

// The 64-bit sizes of an RF64/BW64 file: the form's, the data chunk's, the
// sample count, and a table of sizes of other chunks by id.
struct TDs64Entry {
  uint32_t ChunkId;
  uint64_t Size;
};

inline constexpr int DS64_FIXED_SIZE = 28;
inline constexpr int DS64_ENTRY_SIZE = 12;
// A real table names a handful of chunks; entries past this many are not
// read, so a crafted table length costs neither memory nor time.
inline constexpr uint32_t DS64_TABLE_CAPACITY = 1024;

struct Tds64_chunk {
  uint64_t riffSize = 0;
  uint64_t dataSize = 0;
  uint64_t sampleCount = 0;
  uint32_t tableLength = 0;       // as recorded
  std::vector<TDs64Entry> Table;  // the entries read: at most DS64_TABLE_CAPACITY
};

enum class TDs64Status { Complete, Short, TableOverrun };

struct TLevl_chunk {
  uint32_t dwVersion;
  uint32_t dwFormat;
  uint32_t dwPointsPerValue;
  uint32_t dwBlockSize;
  uint32_t dwPeakChannels;
  uint32_t dwNumPeakFrames;
  uint32_t dwPosPeakOfPeaks;
  uint32_t dwOffsetToPeaks;
  uint8_t strTimestamp[28];
};

inline constexpr int LEVL_RECORD_SIZE = 60;

struct Tmext_chunk {
  uint16_t SoundInformtion;
  uint16_t FrameSize;
  uint16_t AncillaryDataLength;
  uint16_t AncillaryDataDef;
  uint8_t Reserved[4];
};

inline constexpr int MEXT_RECORD_SIZE = 12;

// A record that every node has but only a few fill: it reads as all zeros
// until it is written, and costs a pointer until then. Files with many small
// chunks stay cheap to load. Read through a const reference or ->; write
// through -> on a non-const holder (which creates the record) or Edit().
//
//   const Tbroadcast_audio_extension& b = chunk.Fbroadcast_audio_extension;
//   chunk.Fquality_chunk->LinesCount = 1;
template <typename T>
class TLazyRecord {
public:
  const T* operator->() const { return FRecord ? FRecord.get() : &Empty(); }
  T* operator->() { return &Edit(); }
  const T& operator*() const { return *operator->(); }
  operator const T&() const { return *operator->(); }
  T& Edit() {
    if (!FRecord) FRecord = std::make_unique<T>();
    return *FRecord;
  }
  bool Filled() const { return FRecord != nullptr; }

private:
  static const T& Empty() {
    static const T empty{};
    return empty;
  }
  std::unique_ptr<T> FRecord;
};

// Payloads of bext, qlty and cart above this size are not read whole.
inline constexpr int64_t MAX_METADATA_PAYLOAD = 16 * 1024 * 1024;

// Reads one text field of the bext chunk (see the decoder): Result holds the
// kept printable bytes, Consumed the bytes looked at, Counted the kept
// characters plus one when a terminating 0 byte was met.
bool ReadCountedString(const uint8_t* text, int32_t maxLength, std::string& result,
                       int32_t& consumed, int32_t& counted);

HRESULT ParseBroadcastAudioExtension(TStream* fileStream, int64_t size,
                                     Tbroadcast_audio_extension& record);
HRESULT ParseQualityChunk(TStream* fileStream, int64_t size, Tquality_chunk& record);

// The fixed-size decoders; each returns false when fewer bytes than the
// record needs could be read (the record then holds what came).
bool ReadFormatRecord(TStream& stream, int64_t size, tWAVEFORMATEX& record);
bool ReadFactRecord(TStream& stream, Tfact_chunk& record);
bool ReadLevlRecord(TStream& stream, TLevl_chunk& record);
bool ReadMextRecord(TStream& stream, Tmext_chunk& record);
// Reads the fixed part and the table (see DS64_TABLE_CAPACITY). Short: fewer
// bytes than the fixed part; TableOverrun: the table runs past the chunk's
// payload or the file, the record then holds the entries that were there.
TDs64Status ReadDs64Record(TStream& stream, int64_t size, Tds64_chunk& record);
// Fills the cart record from the payload; false when the payload could not be read.
bool ReadCartRecord(TStream& stream, int64_t size, Tcart_extension& record);

}  // namespace riffo
