// Decodes a fmt chunk's payload bytes into what the sample readers need,
// the extensible part included, plus the extensible record's channel mask.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pcm/PcmFormat.h"

namespace riffo {

// Speaker bits of an extensible record's channel mask.
inline constexpr uint32_t SPEAKER_FRONT_LEFT = 0x1;
inline constexpr uint32_t SPEAKER_FRONT_RIGHT = 0x2;
inline constexpr uint32_t SPEAKER_FRONT_CENTER = 0x4;
inline constexpr uint32_t SPEAKER_LOW_FREQUENCY = 0x8;
inline constexpr uint32_t SPEAKER_BACK_LEFT = 0x10;
inline constexpr uint32_t SPEAKER_BACK_RIGHT = 0x20;
inline constexpr uint32_t SPEAKER_FRONT_LEFT_OF_CENTER = 0x40;
inline constexpr uint32_t SPEAKER_FRONT_RIGHT_OF_CENTER = 0x80;
inline constexpr uint32_t SPEAKER_BACK_CENTER = 0x100;
inline constexpr uint32_t SPEAKER_SIDE_LEFT = 0x200;
inline constexpr uint32_t SPEAKER_SIDE_RIGHT = 0x400;

struct TFmtPayload {
  TFmtFields Fields;
  // The extensible record's dwChannelMask; 0 without the extension.
  uint32_t ChannelMask = 0;
};

// False when the payload is shorter than the 16-byte base record. The
// extension counts only for tag 0xFFFE with a cbSize of at least 22 that the
// payload really holds.
bool DecodeFmtPayload(const uint8_t* payload, size_t size, TFmtPayload& out);

}  // namespace riffo
