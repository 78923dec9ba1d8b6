#include "pcm/FmtPayload.h"

#include <algorithm>

#include "platform/ByteOrder.h"

namespace riffo {
namespace {

constexpr size_t FMT_BASE_SIZE = 16;
constexpr size_t FMT_EXTENSION_SIZE = 22;  // after the 2-byte cbSize

}  // namespace

bool DecodeFmtPayload(const uint8_t* payload, size_t size, TFmtPayload& out) {
  out = TFmtPayload{};
  if (payload == nullptr || size < FMT_BASE_SIZE) return false;
  TFmtFields& f = out.Fields;
  f.FormatTag = GetLE16(payload);
  f.Channels = GetLE16(payload + 2);
  f.SamplesPerSec = GetLE32(payload + 4);
  f.BlockAlign = GetLE16(payload + 12);
  f.BitsPerSample = GetLE16(payload + 14);
  // cbSize and the extension, only when the payload holds all of them.
  if (f.FormatTag != PCM_TAG_EXTENSIBLE || size - FMT_BASE_SIZE < 2 + FMT_EXTENSION_SIZE)
    return true;
  const uint16_t cbSize = GetLE16(payload + 16);
  if (cbSize < FMT_EXTENSION_SIZE) return true;
  const uint8_t* ext = payload + 18;
  f.HasExtension = true;
  f.ValidBitsPerSample = GetLE16(ext);
  out.ChannelMask = GetLE32(ext + 2);
  std::copy_n(ext + 6, 16, f.SubFormat);
  return true;
}

}  // namespace riffo
