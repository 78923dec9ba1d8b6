// What a fmt record says about the samples of a data chunk, and whether the
// sample readers (PcmReader.h) can decode them.
//
//   TFmtFields fields;            // filled from the decoded fmt record
//   fields.FormatTag = 1; ...
//   const TPcmFormat format = DescribePcmFormat(fields);
//   if (!format.Supported()) Warn(format.Reason);   // "format tag 0x0011, 4 bits per sample"
//
// Decodable: 8-bit unsigned and 16-, 24- and 32-bit signed integers (format
// tag 1, or 0xFFFE with the PCM SubFormat), 32- and 64-bit IEEE floats (tag 3,
// or 0xFFFE with the IEEE float SubFormat). Each sample sits in a container of
// BlockAlign / Channels bytes; 24-bit samples may sit in 3- or 4-byte
// containers. Where the container is wider than the sample, the sample fills
// its most significant bytes (the extensible format's rule), so a 24-bit
// sample in a 4-byte container is bytes 1..3 and byte 0 is padding. An
// extensible record with wBitsPerSample 32 and 17..24 valid bits is read as
// 24-bit samples in 4-byte containers.
#pragma once

#include <cstdint>
#include <string>

namespace riffo {

inline constexpr uint16_t PCM_TAG_INTEGER = 0x0001;
inline constexpr uint16_t PCM_TAG_IEEE_FLOAT = 0x0003;
inline constexpr uint16_t PCM_TAG_EXTENSIBLE = 0xFFFE;

// The fields of a fmt record the readers need. The extensible part counts
// only when HasExtension is set (tag 0xFFFE with cbSize of at least 22).
struct TFmtFields {
  uint16_t FormatTag = 0;
  uint16_t Channels = 0;
  uint32_t SamplesPerSec = 0;
  uint16_t BlockAlign = 0;
  uint16_t BitsPerSample = 0;
  bool HasExtension = false;
  uint16_t ValidBitsPerSample = 0;
  uint8_t SubFormat[16] = {};
};

// How one sample is stored.
enum class TSampleEncoding { Unsupported, UInt8, Int16, Int24, Int32, Float32, Float64 };

// The extensible record's SubFormat, by its GUID.
enum class TSubFormat { None, Pcm, IeeeFloat, Unknown };
TSubFormat SubFormatOf(const uint8_t (&guid)[16]);
// "{00000001-0000-0010-8000-00AA00389B71}": the first three groups are
// little-endian numbers in the record, the last two plain bytes.
std::string GuidText(const uint8_t (&guid)[16]);
// "PCM", "IEEE float" or "unknown" (None reads "unknown" too).
std::string SubFormatName(TSubFormat subFormat);
// The extensible record's channel mask as hex with the speakers it names:
// "0x0000003F (FL FR FC LFE BL BR)". Bits without a speaker name read
// "bitN"; a mask of 0 is the hex alone.
std::string ChannelMaskText(uint32_t mask);

struct TPcmFormat {
  TSampleEncoding Encoding = TSampleEncoding::Unsupported;
  uint16_t FormatTag = 0;
  TSubFormat SubFormat = TSubFormat::None;
  int32_t Channels = 0;
  uint32_t SamplesPerSec = 0;
  int32_t BitsPerSample = 0;   // wBitsPerSample as recorded
  int32_t ValidBits = 0;       // significant bits: 8, 16, 24, 32 or 64
  int32_t ContainerBytes = 0;  // BlockAlign / Channels
  int32_t FrameBytes = 0;      // BlockAlign: one sample of every channel
  // Why the samples cannot be decoded; empty when they can.
  std::string Reason;

  bool Supported() const { return Encoding != TSampleEncoding::Unsupported; }
  bool IsFloat() const {
    return Encoding == TSampleEncoding::Float32 || Encoding == TSampleEncoding::Float64;
  }
};

// Classifies the samples. Never fails: an undecodable format comes back with
// Encoding Unsupported and a short reason such as "format tag 0x0011, 4 bits
// per sample", "IEEE float, 16 bits per sample", "24 bits per sample in
// 5-byte containers" or "no channels". The sample rate is copied, not judged.
TPcmFormat DescribePcmFormat(const TFmtFields& fields);

}  // namespace riffo
