// Builds RIFF files byte by byte for tests: chunks with any id and size
// field, pad bytes where wanted, nested containers.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace riffo::test {

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& out, const Bytes& more) {
  out.insert(out.end(), more.begin(), more.end());
}
inline void AppendText(Bytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
}
inline void Append16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Append32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The first four characters of id as bytes. The vectors below start from
// these rather than from an empty vector appended to, which g++ 12 at -O3
// takes for a write past the end (-Wstringop-overflow).
inline Bytes Id(const std::string& id) {
  const std::string four = id.substr(0, 4);
  return Bytes(four.begin(), four.end());
}

// id + size field + payload (+ a pad byte when the payload is odd and pad is true).
inline Bytes Chunk(const std::string& id, const Bytes& payload, bool pad = true) {
  Bytes out = Id(id);
  Append32(out, static_cast<uint32_t>(payload.size()));
  Append(out, payload);
  if (pad && payload.size() % 2 == 1) out.push_back(0);
  return out;
}

// A chunk whose size field says something else than its payload.
inline Bytes ChunkWithSize(const std::string& id, uint32_t sizeField, const Bytes& payload) {
  Bytes out = Id(id);
  Append32(out, sizeField);
  Append(out, payload);
  return out;
}

inline Bytes Riff(const std::string& formType, const Bytes& body) {
  Bytes payload(formType.begin(), formType.end());
  Append(payload, body);
  return Chunk("RIFF", payload, false);
}

// The 16 bytes every fmt payload starts with, for any tag, depth and block
// align; the byte rate follows from the rate and the block align.
inline Bytes FormatPayload(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits,
                           uint16_t blockAlign) {
  Bytes p;
  Append16(p, tag);
  Append16(p, channels);
  Append32(p, rate);
  Append32(p, rate * blockAlign);
  Append16(p, blockAlign);
  Append16(p, bits);
  return p;
}

inline Bytes PcmFormat(uint16_t channels, uint32_t rate, uint16_t bits) {
  return FormatPayload(1, channels, rate, bits, static_cast<uint16_t>(channels * bits / 8));
}

inline void Append64(Bytes& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// An RF64 (or BW64) form whose size field stands for the ds64 chunk's riffSize.
inline Bytes Rf64(const Bytes& body, const std::string& id = "RF64") {
  Bytes payload;
  AppendText(payload, "WAVE");
  Append(payload, body);
  return ChunkWithSize(id, 0xFFFFFFFF, payload);
}

struct Ds64Entry {
  std::string Id;
  uint64_t Size;
};

// A ds64 payload: riffSize, dataSize, sampleCount, the table length (the
// table's size unless given), then the entries.
inline Bytes Ds64(uint64_t riffSize, uint64_t dataSize, uint64_t sampleCount,
                  const std::vector<Ds64Entry>& table = {}, int64_t tableLength = -1) {
  Bytes p;
  Append64(p, riffSize);
  Append64(p, dataSize);
  Append64(p, sampleCount);
  Append32(p, static_cast<uint32_t>(tableLength < 0 ? table.size() : tableLength));
  for (const auto& e : table) {
    AppendText(p, e.Id.substr(0, 4));
    Append64(p, e.Size);
  }
  return p;
}

// The head of an RF64/BW64 file whose data chunk, last in the file, holds
// dataSize bytes: form header, ds64 (riffSize, dataSize, the frame count),
// the fmt chunk and the data header, every large size field 0xFFFFFFFF. The
// file is the head followed by the data bytes (write it sparse for big ones).
inline Bytes Rf64Head(uint64_t dataSize, const Bytes& fmtPayload, const std::string& id = "RF64") {
  const uint16_t blockAlign = static_cast<uint16_t>(fmtPayload[12] | (fmtPayload[13] << 8));
  Bytes body = Chunk("ds64", Ds64(0, dataSize, blockAlign != 0 ? dataSize / blockAlign : 0));
  Append(body, Chunk("fmt ", fmtPayload));
  AppendText(body, "data");
  Append32(body, 0xFFFFFFFF);
  Bytes head = Rf64(body, id);
  const uint64_t riffSize = head.size() - 8 + dataSize;
  for (int i = 0; i < 8; ++i) head[20 + i] = static_cast<uint8_t>(riffSize >> (8 * i));
  return head;
}

// A 40-byte extensible fmt payload; subFormatTag 1 is PCM, 3 IEEE float.
inline Bytes ExtensibleFormat(uint16_t channels, uint32_t rate, uint16_t bits, uint16_t validBits,
                              uint32_t channelMask, uint16_t subFormatTag) {
  Bytes p = FormatPayload(0xFFFE, channels, rate, bits, static_cast<uint16_t>(channels * bits / 8));
  Append16(p, 22);
  Append16(p, validBits);
  Append32(p, channelMask);
  Append16(p, subFormatTag);
  Append(p, {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
  return p;
}

// A fixed-width 8-bit field: the text, then zeros up to the width.
inline Bytes Field(const std::string& text, size_t width) {
  Bytes out(width, 0);
  std::copy_n(text.begin(), std::min(text.size(), width), out.begin());
  return out;
}

// A 16-bit stereo 48 kHz WAVE file: fmt, the chunks given (already built),
// then a data chunk with the bytes given.
inline Bytes PcmWave(const Bytes& between, const Bytes& data) {
  Bytes body = Chunk("fmt ", PcmFormat(2, 48000, 16));
  Append(body, between);
  Append(body, Chunk("data", data));
  return Riff("WAVE", body);
}

// The canonical 44-byte PCM file: fmt (16-bit stereo 48 kHz) and an empty data chunk.
inline Bytes CanonicalPcm() { return PcmWave({}, {}); }

}  // namespace riffo::test
