// Builds RIFF files byte by byte for tests: chunks with any id and size
// field, pad bytes where wanted, nested containers.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace riffo::test {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }
inline void AppendText(Bytes& out, const std::string& text) {
  const size_t at = out.size();
  out.resize(at + text.size());
  std::copy(text.begin(), text.end(), out.begin() + static_cast<std::ptrdiff_t>(at));
}
inline void Append16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Append32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// id + size field + payload (+ a pad byte when the payload is odd and pad is true).
inline Bytes Chunk(const std::string& id, const Bytes& payload, bool pad = true) {
  Bytes out;
  AppendText(out, id.substr(0, 4));
  Append32(out, static_cast<uint32_t>(payload.size()));
  Append(out, payload);
  if (pad && payload.size() % 2 == 1) out.push_back(0);
  return out;
}

// A chunk whose size field says something else than its payload.
inline Bytes ChunkWithSize(const std::string& id, uint32_t sizeField, const Bytes& payload) {
  Bytes out;
  AppendText(out, id.substr(0, 4));
  Append32(out, sizeField);
  Append(out, payload);
  return out;
}

inline Bytes Riff(const std::string& formType, const Bytes& body) {
  Bytes payload;
  AppendText(payload, formType);
  Append(payload, body);
  return Chunk("RIFF", payload, false);
}

inline Bytes PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
  Bytes p;
  const uint16_t align = static_cast<uint16_t>(channels * bits / 8);
  Append16(p, 1);
  Append16(p, channels);
  Append32(p, rate);
  Append32(p, rate * align);
  Append16(p, align);
  Append16(p, bits);
  return p;
}

// A fixed-width 8-bit field: the text, then zeros up to the width.
inline Bytes Field(const std::string& text, size_t width) {
  Bytes out(width, 0);
  std::copy_n(text.begin(), std::min(text.size(), width), out.begin());
  return out;
}

// The canonical 44-byte PCM file: fmt (16-bit stereo 48 kHz) and an empty data chunk.
inline Bytes CanonicalPcm() {
  Bytes body = Chunk("fmt ", PcmFormat(2, 48000, 16));
  Append(body, Chunk("data", {}));
  return Riff("WAVE", body);
}

}  // namespace riffo::test
