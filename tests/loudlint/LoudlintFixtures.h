// WAVE files with generated signals for the loudness tests: any PCM depth or
// float, plain or extensible format records, an optional bext chunk.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdint>
#include <numbers>
#include <string>
#include <vector>

#include "support/RiffBuilder.h"
#include "support/TempFolder.h"

namespace riffo::test {

// Interleaved samples, full scale 1.0.
using Signal = std::vector<double>;

inline double FromDecibels(double dB) { return std::pow(10.0, dB / 20.0); }

// A sine of the given peak level on every channel (or only on `only`).
inline Signal Sine(double frequency, double dBFS, double seconds, int channels = 2,
                   uint32_t rate = 48000, int only = -1, double phase = 0) {
  const auto frames = static_cast<size_t>(seconds * rate);
  const double amplitude = FromDecibels(dBFS);
  Signal out(frames * static_cast<size_t>(channels), 0.0);
  for (size_t i = 0; i < frames; ++i) {
    const double v =
        amplitude *
        std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / rate + phase);
    for (int c = 0; c < channels; ++c)
      if (only < 0 || c == only)
        out[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] = v;
  }
  return out;
}

inline Signal Concat(std::initializer_list<Signal> parts) {
  Signal out;
  for (const Signal& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

struct WaveLayout {
  int Channels = 2;
  uint32_t Rate = 48000;
  int Bits = 24;
  bool Float = false;
  bool Extensible = false;
  uint32_t ChannelMask = 0;
  uint16_t FormatTag = 0;         // overrides the tag when not 0
  const Bytes* Bext = nullptr;    // bext payload
  int64_t DeclaredDataSize = -1;  // the data chunk's size field, when not -1
};

inline Bytes EncodeSamples(const WaveLayout& layout, const Signal& signal) {
  Bytes out;
  const int bytes = (layout.Bits + 7) / 8;
  for (double v : signal) {
    if (layout.Float && layout.Bits == 32) {
      const float f = static_cast<float>(v);
      uint32_t raw;
      std::memcpy(&raw, &f, 4);
      Append32(out, raw);
    } else if (layout.Float) {
      uint64_t raw;
      std::memcpy(&raw, &v, 8);
      Append32(out, static_cast<uint32_t>(raw));
      Append32(out, static_cast<uint32_t>(raw >> 32));
    } else {
      const double scale = std::ldexp(1.0, layout.Bits - 1);
      const double clamped = std::clamp(std::round(v * scale), -scale, scale - 1);
      auto code = static_cast<int64_t>(clamped);
      if (layout.Bits == 8) code += 128;
      for (int b = 0; b < bytes; ++b) out.push_back(static_cast<uint8_t>(code >> (8 * b)));
    }
  }
  return out;
}

inline Bytes FormatPayload(const WaveLayout& layout) {
  const auto align = static_cast<uint16_t>(layout.Channels * ((layout.Bits + 7) / 8));
  uint16_t tag = layout.Extensible ? 0xFFFE : (layout.Float ? 3 : 1);
  if (layout.FormatTag != 0) tag = layout.FormatTag;
  Bytes p = FormatPayload(tag, static_cast<uint16_t>(layout.Channels), layout.Rate,
                          static_cast<uint16_t>(layout.Bits), align);
  if (layout.Extensible) {
    Append16(p, 22);
    Append16(p, static_cast<uint16_t>(layout.Bits));
    Append32(p, layout.ChannelMask);
    const Bytes guid = {static_cast<uint8_t>(layout.Float ? 3 : 1),
                        0,
                        0,
                        0,
                        0,
                        0,
                        0x10,
                        0,
                        0x80,
                        0,
                        0,
                        0xAA,
                        0,
                        0x38,
                        0x9B,
                        0x71};
    Append(p, guid);
  }
  return p;
}

// The five loudness fields of a bext payload, in hundredths.
struct BextLoudnessFields {
  uint16_t Version = 2;
  int16_t LoudnessValue = 0x7FFF, LoudnessRange = 0x7FFF, MaxTruePeakLevel = 0x7FFF,
          MaxMomentaryLoudness = 0x7FFF, MaxShortTermLoudness = 0x7FFF;
};

inline Bytes BextWithLoudness(const BextLoudnessFields& f) {
  Bytes p = Field("Loudness test", 256);
  Append(p, Field("Riffoscope tests", 32));
  Append(p, Field("REF", 32));
  Append(p, Field("2026-12-11", 10));
  Append(p, Field("10:00:00", 8));
  Append32(p, 0);
  Append32(p, 0);
  Append16(p, f.Version);
  Append(p, Bytes(64, 0));
  for (int16_t v : {f.LoudnessValue, f.LoudnessRange, f.MaxTruePeakLevel, f.MaxMomentaryLoudness,
                    f.MaxShortTermLoudness})
    Append16(p, static_cast<uint16_t>(v));
  Append(p, Bytes(180, 0));
  return p;
}

inline Bytes WaveFile(const WaveLayout& layout, const Signal& signal) {
  Bytes body = Chunk("fmt ", FormatPayload(layout));
  if (layout.Bext != nullptr) Append(body, Chunk("bext", *layout.Bext));
  const Bytes pcm = EncodeSamples(layout, signal);
  if (layout.DeclaredDataSize >= 0)
    Append(body, ChunkWithSize("data", static_cast<uint32_t>(layout.DeclaredDataSize), pcm));
  else
    Append(body, Chunk("data", pcm));
  return Riff("WAVE", body);
}

inline std::string WriteWave(const TempFolder& folder, const std::string& name,
                             const WaveLayout& layout, const Signal& signal) {
  const std::string path = folder.File(name);
  WriteFileBytes(path, WaveFile(layout, signal));
  return path;
}

}  // namespace riffo::test
