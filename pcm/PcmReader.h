// One decoder per PCM sample format, from interleaved little-endian bytes.
// Every module that reads samples goes through these (or through kernels
// tested against them).
//
// Single samples (p points at the sample's first byte, not its container's):
//   DecodeUInt8    unsigned 8-bit, returned centred: byte - 128 (-128..127)
//   DecodeInt16/24/32  signed little-endian integers, sign-extended
//   DecodeFloat32/64   IEEE floats, bit for bit (NaN and infinities kept)
//
// Whole frames (ReadSamples): `frames` frames of a format DescribePcmFormat
// accepted, written interleaved as in the data (frames x Channels values).
//   int32_t out: the integer sample values above (8-bit centred); integer
//                formats only, false for float data.
//   float/double out: normalised so that integer full scale is -1.0 (the
//                most negative value) up to just below +1.0: value / 2^(bits-1)
//                for 8, 16, 24 and 32 bits. Float data is passed through (a
//                float64 value narrowed to float where float is asked for).
// False, with nothing written, for an unsupported format or a null pointer.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "pcm/PcmFormat.h"

namespace riffo {

inline int32_t DecodeUInt8(const uint8_t* p) noexcept { return static_cast<int32_t>(p[0]) - 128; }

inline int32_t DecodeInt16(const uint8_t* p) noexcept {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

inline int32_t DecodeInt24(const uint8_t* p) noexcept {
  // Placed in the top three bytes and shifted back down, which sign-extends.
  const uint32_t raw = (static_cast<uint32_t>(p[0]) << 8) | (static_cast<uint32_t>(p[1]) << 16) |
                       (static_cast<uint32_t>(p[2]) << 24);
  return static_cast<int32_t>(raw) >> 8;
}

inline int32_t DecodeInt32(const uint8_t* p) noexcept {
  return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                              (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[3]) << 24));
}

inline float DecodeFloat32(const uint8_t* p) noexcept {
  return std::bit_cast<float>(static_cast<uint32_t>(DecodeInt32(p)));
}

inline double DecodeFloat64(const uint8_t* p) noexcept {
  const uint64_t low = static_cast<uint32_t>(DecodeInt32(p));
  const uint64_t high = static_cast<uint32_t>(DecodeInt32(p + 4));
  return std::bit_cast<double>(low | (high << 32));
}

// Offset of the sample's first byte inside its container: the sample fills
// the container's most significant bytes.
inline int32_t SampleOffsetInContainer(const TPcmFormat& format) noexcept {
  return format.Encoding == TSampleEncoding::Int24 ? format.ContainerBytes - 3 : 0;
}

bool ReadSamples(const TPcmFormat& format, const uint8_t* data, size_t frames, int32_t* out);
bool ReadSamples(const TPcmFormat& format, const uint8_t* data, size_t frames, float* out);
bool ReadSamples(const TPcmFormat& format, const uint8_t* data, size_t frames, double* out);

}  // namespace riffo
