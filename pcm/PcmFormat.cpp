#include "pcm/PcmFormat.h"

#include <cstdio>
#include <cstring>
#include <iterator>

namespace riffo {
namespace {

// {0000xxxx-0000-0010-8000-00AA00389B71} with the format tag in the first two bytes.
constexpr uint8_t kGuidTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                   0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

std::string Hex4(uint32_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(value & 0xFFFF));
  return text;
}

std::string Bits(int32_t bits) { return std::to_string(bits) + " bits per sample"; }

}  // namespace

TSubFormat SubFormatOf(const uint8_t (&guid)[16]) {
  if (std::memcmp(guid + 2, kGuidTail, sizeof kGuidTail) != 0) return TSubFormat::Unknown;
  const uint16_t tag = static_cast<uint16_t>(guid[0] | (guid[1] << 8));
  if (tag == PCM_TAG_INTEGER) return TSubFormat::Pcm;
  if (tag == PCM_TAG_IEEE_FLOAT) return TSubFormat::IeeeFloat;
  return TSubFormat::Unknown;
}

std::string GuidText(const uint8_t (&g)[16]) {
  char text[40];
  std::snprintf(text, sizeof text,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g[3],
                g[2], g[1], g[0], g[5], g[4], g[7], g[6], g[8], g[9], g[10], g[11], g[12], g[13],
                g[14], g[15]);
  return text;
}

std::string SubFormatName(TSubFormat subFormat) {
  switch (subFormat) {
    case TSubFormat::Pcm: return "PCM";
    case TSubFormat::IeeeFloat: return "IEEE float";
    default: return "unknown";
  }
}

std::string ChannelMaskText(uint32_t mask) {
  // The speaker positions of the mask's low bits, in bit order.
  static constexpr const char* kSpeakers[] = {"FL",  "FR",  "FC",  "LFE", "BL",  "BR",
                                              "FLC", "FRC", "BC",  "SL",  "SR",  "TC",
                                              "TFL", "TFC", "TFR", "TBL", "TBC", "TBR"};
  char hex[12];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(mask));
  std::string text = hex;
  if (mask == 0) return text;
  std::string names;
  for (uint32_t bit = 0; bit < 32; ++bit) {
    if ((mask & (uint32_t{1} << bit)) == 0) continue;
    if (!names.empty()) names += ' ';
    names += bit < std::size(kSpeakers) ? std::string(kSpeakers[bit]) : "bit" + std::to_string(bit);
  }
  return text + " (" + names + ")";
}

TPcmFormat DescribePcmFormat(const TFmtFields& fields) {
  TPcmFormat format;
  format.FormatTag = fields.FormatTag;
  format.Channels = fields.Channels;
  format.SamplesPerSec = fields.SamplesPerSec;
  format.BitsPerSample = fields.BitsPerSample;
  const int32_t bits = fields.BitsPerSample;

  // Integer or float, from the tag or the extensible record's SubFormat.
  bool isFloat = false;
  if (fields.FormatTag == PCM_TAG_INTEGER) {
    isFloat = false;
  } else if (fields.FormatTag == PCM_TAG_IEEE_FLOAT) {
    isFloat = true;
  } else if (fields.FormatTag == PCM_TAG_EXTENSIBLE) {
    if (!fields.HasExtension) {
      format.Reason = "format tag 0xFFFE without its extension, " + Bits(bits);
      return format;
    }
    format.SubFormat = SubFormatOf(fields.SubFormat);
    if (format.SubFormat == TSubFormat::Unknown) {
      format.Reason =
          "format tag 0xFFFE with SubFormat " + GuidText(fields.SubFormat) + ", " + Bits(bits);
      return format;
    }
    isFloat = format.SubFormat == TSubFormat::IeeeFloat;
  } else {
    format.Reason = "format tag " + Hex4(fields.FormatTag) + ", " + Bits(bits);
    return format;
  }

  if (fields.Channels == 0) {
    format.Reason = "no channels";
    return format;
  }
  if (fields.BlockAlign % fields.Channels != 0) {
    format.Reason = "block align " + std::to_string(fields.BlockAlign) + " for " +
                    std::to_string(fields.Channels) + " channels";
    return format;
  }
  const int32_t container = fields.BlockAlign / fields.Channels;

  TSampleEncoding encoding = TSampleEncoding::Unsupported;
  int32_t validBits = bits;
  int32_t containerNeeded = 0;  // 0: 3 or 4 bytes (24-bit)
  if (isFloat) {
    if (bits == 32) {
      encoding = TSampleEncoding::Float32;
      containerNeeded = 4;
    } else if (bits == 64) {
      encoding = TSampleEncoding::Float64;
      containerNeeded = 8;
    }
    if (encoding == TSampleEncoding::Unsupported) {
      format.Reason = "IEEE float, " + Bits(bits);
      return format;
    }
  } else {
    const uint16_t valid = fields.HasExtension ? fields.ValidBitsPerSample : 0;
    switch (bits) {
      case 8:
        encoding = TSampleEncoding::UInt8;
        containerNeeded = 1;
        break;
      case 16:
        encoding = TSampleEncoding::Int16;
        containerNeeded = 2;
        break;
      case 24: encoding = TSampleEncoding::Int24; break;
      case 32:
        // At most 24 significant bits in a 4-byte container: 24-bit samples.
        encoding = valid > 16 && valid <= 24 ? TSampleEncoding::Int24 : TSampleEncoding::Int32;
        validBits = encoding == TSampleEncoding::Int24 ? 24 : 32;
        containerNeeded = 4;
        break;
      default: format.Reason = "integer PCM, " + Bits(bits); return format;
    }
  }
  const bool containerFits =
      containerNeeded == 0 ? (container == 3 || container == 4) : container == containerNeeded;
  if (!containerFits) {
    format.Reason = Bits(bits) + " in " + std::to_string(container) + "-byte containers";
    return format;
  }
  format.Encoding = encoding;
  format.ValidBits = validBits;
  format.ContainerBytes = container;
  format.FrameBytes = fields.BlockAlign;
  return format;
}

}  // namespace riffo
