// The format description and the sample readers.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "pcm/PcmFormat.h"
#include "pcm/PcmReader.h"

namespace riffo {
namespace {

constexpr uint8_t kPcmGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                  0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
constexpr uint8_t kFloatGuid[16] = {0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                    0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// The same tail with another first group (an ambisonic-style GUID).
constexpr uint8_t kOtherGuid[16] = {0x01, 0x00, 0x00, 0x00, 0x21, 0x07, 0xD3, 0x11,
                                    0x86, 0x44, 0xC8, 0xC1, 0xCA, 0x00, 0x00, 0x00};

TFmtFields Fields(uint16_t tag, uint16_t channels, uint16_t bits, uint16_t blockAlign) {
  TFmtFields f;
  f.FormatTag = tag;
  f.Channels = channels;
  f.SamplesPerSec = 48000;
  f.BitsPerSample = bits;
  f.BlockAlign = blockAlign;
  return f;
}

TFmtFields Extensible(uint16_t channels, uint16_t bits, uint16_t blockAlign, uint16_t valid,
                      const uint8_t (&guid)[16]) {
  TFmtFields f = Fields(PCM_TAG_EXTENSIBLE, channels, bits, blockAlign);
  f.HasExtension = true;
  f.ValidBitsPerSample = valid;
  std::memcpy(f.SubFormat, guid, 16);
  return f;
}

TEST(PcmFormat, ClassifiesWhatTheReadersDecode) {
  struct Case {
    const char* Name;
    TFmtFields Fields;
    TSampleEncoding Encoding;
    int32_t Container, ValidBits;
  };
  using E = TSampleEncoding;
  const Case cases[] = {
      {"8-bit", Fields(1, 1, 8, 1), E::UInt8, 1, 8},
      {"16-bit stereo", Fields(1, 2, 16, 4), E::Int16, 2, 16},
      {"24-bit packed", Fields(1, 2, 24, 6), E::Int24, 3, 24},
      {"24-bit in 4 bytes", Fields(1, 2, 24, 8), E::Int24, 4, 24},
      {"32-bit int", Fields(1, 2, 32, 8), E::Int32, 4, 32},
      {"float32", Fields(3, 2, 32, 8), E::Float32, 4, 32},
      {"float64", Fields(3, 1, 64, 8), E::Float64, 8, 64},
      {"ext 24", Extensible(6, 24, 18, 24, kPcmGuid), E::Int24, 3, 24},
      {"ext 24 valid in 32", Extensible(2, 32, 8, 24, kPcmGuid), E::Int24, 4, 24},
      {"ext 32 all valid", Extensible(2, 32, 8, 32, kPcmGuid), E::Int32, 4, 32},
      {"ext 20 valid in 24", Extensible(2, 24, 6, 20, kPcmGuid), E::Int24, 3, 24},
      {"ext float", Extensible(6, 32, 24, 32, kFloatGuid), E::Float32, 4, 32},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TPcmFormat f = DescribePcmFormat(c.Fields);
    EXPECT_TRUE(f.Supported());
    EXPECT_EQ(f.Reason, "");
    EXPECT_EQ(f.Encoding, c.Encoding);
    EXPECT_EQ(f.ContainerBytes, c.Container);
    EXPECT_EQ(f.ValidBits, c.ValidBits);
    EXPECT_EQ(f.FrameBytes, c.Fields.BlockAlign);
    EXPECT_EQ(f.Channels, c.Fields.Channels);
  }
}

TEST(PcmFormat, ExplainsWhatItCannotDecode) {
  TFmtFields shortExtensible = Fields(PCM_TAG_EXTENSIBLE, 2, 24, 6);
  const struct {
    TFmtFields Fields;
    const char* Reason;
  } cases[] = {
      {Fields(0x0011, 1, 4, 256), "format tag 0x0011, 4 bits per sample"},
      {Fields(0x0000, 2, 16, 4), "format tag 0x0000, 16 bits per sample"},
      {Fields(1, 2, 12, 4), "integer PCM, 12 bits per sample"},
      {Fields(1, 2, 20, 6), "integer PCM, 20 bits per sample"},
      {Fields(3, 2, 16, 4), "IEEE float, 16 bits per sample"},
      {Fields(1, 0, 24, 6), "no channels"},
      {Fields(1, 2, 24, 7), "block align 7 for 2 channels"},
      {Fields(1, 2, 24, 10), "24 bits per sample in 5-byte containers"},
      {Fields(1, 2, 32, 6), "32 bits per sample in 3-byte containers"},
      {Fields(3, 1, 64, 4), "64 bits per sample in 4-byte containers"},
      {shortExtensible, "format tag 0xFFFE without its extension, 24 bits per sample"},
      {Extensible(2, 24, 6, 24, kOtherGuid),
       "format tag 0xFFFE with SubFormat {00000001-0721-11D3-8644-C8C1CA000000}, 24 bits per "
       "sample"},
  };
  for (const auto& c : cases) {
    const TPcmFormat f = DescribePcmFormat(c.Fields);
    EXPECT_FALSE(f.Supported()) << c.Reason;
    EXPECT_EQ(f.Reason, c.Reason);
  }
}

TEST(PcmFormat, SubFormatAndGuidText) {
  EXPECT_EQ(SubFormatOf(kPcmGuid), TSubFormat::Pcm);
  EXPECT_EQ(SubFormatOf(kFloatGuid), TSubFormat::IeeeFloat);
  EXPECT_EQ(SubFormatOf(kOtherGuid), TSubFormat::Unknown);
  EXPECT_EQ(GuidText(kPcmGuid), "{00000001-0000-0010-8000-00AA00389B71}");
}

// Every integer decoder on its extreme and small values, through ReadSamples
// so the container stepping is covered too.
TEST(PcmReader, IntegerSamplesAndNormalisedValues) {
  struct Case {
    const char* Name;
    TFmtFields Fields;
    std::vector<uint8_t> Bytes;  // one channel
    std::vector<int32_t> Values;
    double Scale;  // 2^(bits-1)
  };
  const Case cases[] = {
      {"8", Fields(1, 1, 8, 1), {0x00, 0x80, 0x81, 0xFF}, {-128, 0, 1, 127}, 128.0},
      {"16",
       Fields(1, 1, 16, 2),
       {0x00, 0x80, 0xFF, 0xFF, 0x01, 0x00, 0xFF, 0x7F},
       {-32768, -1, 1, 32767},
       32768.0},
      {"24 packed",
       Fields(1, 1, 24, 3),
       {0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0x7F},
       {-8388608, -1, 1, 8388607},
       8388608.0},
      // The padding byte comes first and is ignored, whatever it holds.
      {"24 in 4",
       Fields(1, 1, 24, 4),
       {0xAB, 0x00, 0x00, 0x80, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x01, 0x00, 0x00, 0x55, 0xFF, 0xFF,
        0x7F},
       {-8388608, -1, 1, 8388607},
       8388608.0},
      {"32",
       Fields(1, 1, 32, 4),
       {0x00, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF,
        0x7F},
       {std::numeric_limits<int32_t>::min(), -1, 1, 2147483647},
       2147483648.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const TPcmFormat f = DescribePcmFormat(c.Fields);
    ASSERT_TRUE(f.Supported());
    std::vector<int32_t> ints(c.Values.size());
    std::vector<double> doubles(c.Values.size());
    std::vector<float> floats(c.Values.size());
    ASSERT_TRUE(ReadSamples(f, c.Bytes.data(), ints.size(), ints.data()));
    ASSERT_TRUE(ReadSamples(f, c.Bytes.data(), doubles.size(), doubles.data()));
    ASSERT_TRUE(ReadSamples(f, c.Bytes.data(), floats.size(), floats.data()));
    EXPECT_EQ(ints, c.Values);
    for (size_t i = 0; i < ints.size(); ++i) {
      EXPECT_EQ(doubles[i], c.Values[i] / c.Scale);
      EXPECT_EQ(floats[i], static_cast<float>(c.Values[i] / c.Scale));
    }
    EXPECT_EQ(doubles[0], -1.0);
  }
}

TEST(PcmReader, InterleavedFramesStayInterleaved) {
  // Stereo 24-bit in 4-byte containers: L = 1, R = -2, then L = 3, R = -4.
  const std::vector<uint8_t> bytes = {0, 1, 0, 0, 0, 0xFE, 0xFF, 0xFF,
                                      0, 3, 0, 0, 0, 0xFC, 0xFF, 0xFF};
  const TPcmFormat f = DescribePcmFormat(Fields(1, 2, 24, 8));
  int32_t out[4] = {};
  ASSERT_TRUE(ReadSamples(f, bytes.data(), 2, out));
  EXPECT_EQ(std::vector<int32_t>(out, out + 4), (std::vector<int32_t>{1, -2, 3, -4}));
}

TEST(PcmReader, FloatSamplesPassThroughBitForBit) {
  const float f32[] = {0.5f, -1.0f, 1e-30f, std::numeric_limits<float>::infinity(),
                       std::numeric_limits<float>::quiet_NaN()};
  const double f64[] = {0.25, -2.5, 1e-300, -std::numeric_limits<double>::infinity(),
                        std::numeric_limits<double>::quiet_NaN()};
  // Little-endian bytes, independently of the host's order.
  std::vector<uint8_t> b32, b64;
  for (float v : f32) {
    const uint32_t u = std::bit_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) b32.push_back(static_cast<uint8_t>(u >> (8 * i)));
  }
  for (double v : f64) {
    const uint64_t u = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) b64.push_back(static_cast<uint8_t>(u >> (8 * i)));
  }
  double out32[5], out64[5];
  ASSERT_TRUE(ReadSamples(DescribePcmFormat(Fields(3, 1, 32, 4)), b32.data(), 5, out32));
  ASSERT_TRUE(ReadSamples(DescribePcmFormat(Fields(3, 1, 64, 8)), b64.data(), 5, out64));
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(out32[i], static_cast<double>(f32[i]));
    EXPECT_EQ(out64[i], f64[i]);
  }
  EXPECT_TRUE(std::isnan(out32[4]));
  EXPECT_TRUE(std::isnan(out64[4]));
  // Float data has no integer values.
  int32_t ints[5];
  EXPECT_FALSE(ReadSamples(DescribePcmFormat(Fields(3, 1, 32, 4)), b32.data(), 5, ints));
}

TEST(PcmReader, RefusesWhatItCannotDecode) {
  const uint8_t bytes[8] = {};
  int32_t ints[8];
  double doubles[8];
  const TPcmFormat adpcm = DescribePcmFormat(Fields(0x0011, 1, 4, 256));
  EXPECT_FALSE(ReadSamples(adpcm, bytes, 1, ints));
  EXPECT_FALSE(ReadSamples(adpcm, bytes, 1, doubles));
  const TPcmFormat pcm16 = DescribePcmFormat(Fields(1, 1, 16, 2));
  EXPECT_FALSE(ReadSamples(pcm16, nullptr, 1, doubles));
  EXPECT_FALSE(ReadSamples(pcm16, bytes, 1, static_cast<double*>(nullptr)));
}

}  // namespace
}  // namespace riffo
