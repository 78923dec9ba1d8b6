#!/usr/bin/env python3
"""Writes samples/broadcast-sample.wav, the broadcast-wave file shipped with
Riffoscope for trying out the viewer and the validation module.

The file is 16-bit stereo PCM at 48 kHz: a 1 kHz tone at -18 dBFS, a stretch
of exact digital silence, then the tone again. The silence is longer than the
silence detector's default minimum block (5000 ms), so a validation run with
default settings reports one silence block. Beside fmt and data it carries
fact, bext (version 2), cart (version 0101, with post timers and tag text) and
a levl chunk (peak envelope header plus a few peak values).

The output depends on nothing but this script: running it again writes the
same bytes. Standard library only.

    python3 scripts/make-sample.py [OUTPUT]
"""

import math
import os
import struct
import sys

RATE = 48000
CHANNELS = 2
BITS = 16
BLOCK_ALIGN = CHANNELS * BITS // 8

TONE_HZ = 1000
TONE_DBFS = -18.0
TONE_SECONDS = 0.5       # before and after the silence
SILENCE_SECONDS = 6.0    # clearly above the detector's default 5000 ms

ORIGINATION_DATE = "2017-03-14"
ORIGINATION_TIME = "10:20:30"


def text_field(text, width):
    """A fixed-size 8-bit text field, zero-padded."""
    raw = text.encode("ascii")
    if len(raw) > width:
        raise ValueError("%r does not fit %d bytes" % (text, width))
    return raw + b"\0" * (width - len(raw))


def chunk(fourcc, payload):
    """A RIFF chunk: id, 32-bit little-endian size, payload, pad byte when odd."""
    assert len(fourcc) == 4
    pad = b"\0" if len(payload) % 2 else b""
    return fourcc.encode("ascii") + struct.pack("<I", len(payload)) + payload + pad


def tone_frames(frame_count):
    """Stereo frames of the tone; both channels carry the same signal."""
    amplitude = round(32767 * 10 ** (TONE_DBFS / 20))
    period = RATE // TONE_HZ  # 48 samples: the tone starts and ends on a zero crossing
    cycle = [round(amplitude * math.sin(2 * math.pi * n / period)) for n in range(period)]
    out = bytearray()
    for n in range(frame_count):
        sample = struct.pack("<h", cycle[n % period])
        out += sample * CHANNELS
    return bytes(out), amplitude


def fmt_chunk():
    return chunk("fmt ", struct.pack("<HHIIHH", 1, CHANNELS, RATE, RATE * BLOCK_ALIGN,
                                     BLOCK_ALIGN, BITS))


def fact_chunk(frames):
    return chunk("fact", struct.pack("<I", frames))


def bext_chunk():
    hours, minutes, seconds = (int(x) for x in ORIGINATION_TIME.split(":"))
    time_reference = (hours * 3600 + minutes * 60 + seconds) * RATE  # samples since midnight
    coding_history = (
        "A=PCM,F=48000,W=16,M=stereo,T=original\r\n"
        "A=PCM,F=48000,W=16,M=stereo,T=sample generator\r\n"
    ).encode("ascii")
    payload = b"".join([
        text_field("1 kHz tone at -18 dBFS, 6 s of digital silence, 1 kHz tone", 256),
        text_field("make-sample.py", 32),
        text_field("RIFFOSAMPLE000000000001", 32),
        ORIGINATION_DATE.encode("ascii"),
        ORIGINATION_TIME.encode("ascii"),
        struct.pack("<II", time_reference & 0xFFFFFFFF, time_reference >> 32),
        struct.pack("<H", 2),                      # Version
        b"\0" * 64,                                # SMPTE_UMID: none
        struct.pack("<hhhhh",
                    -2000,                         # LoudnessValue, LUFS x 100
                    0,                             # LoudnessRange, LU x 100
                    -1800,                         # MaxTruePeakLevel, dBTP x 100
                    -2000,                         # MaxMomentaryLoudness
                    -2480),                        # MaxShortTermLoudness
        b"\0" * 180,                               # Reserved
        coding_history,
    ])
    assert len(payload) == 602 + len(coding_history)
    return chunk("bext", payload)


def cart_chunk():
    post_timers = [(b"SEC1", TONE_SECONDS * RATE),
                   (b"EOD ", (TONE_SECONDS + SILENCE_SECONDS) * RATE)]
    timers = b"".join(struct.pack("<4sI", usage, int(value)) for usage, value in post_timers)
    timers += b"\0" * (64 - len(timers))
    tag_text = "Generated test signal.\r\nTone, silence, tone.\r\n".encode("ascii")
    fixed = b"".join([
        text_field("0101", 4),
        text_field("Broadcast sample", 64),               # Title
        text_field("Riffoscope test signals", 64),        # Artist
        text_field("CUT00001", 64),                       # CutID
        text_field("", 64),                               # ClientID
        text_field("TEST", 64),                           # Category
        text_field("", 64),                               # Classification
        text_field("tone out", 64),                       # OutCue
        text_field(ORIGINATION_DATE, 10),                 # StartDate
        text_field(ORIGINATION_TIME, 8),                  # StartTime
        text_field("2099-12-31", 10),                     # EndDate
        text_field("23:59:59", 8),                        # EndTime
        text_field("make-sample.py", 64),                 # ProducerAppID
        text_field("1.0", 64),                            # ProducerAppVersion
        text_field("", 64),                               # UserDef
        struct.pack("<I", 32768),                         # dwLevelReference: 0 dBFS
        timers,                                           # PostTimer, 8 timers
        b"\0" * 276,                                      # Reserved
        text_field("http://example.com/broadcast-sample", 1024),  # URL
    ])
    assert len(fixed) == 2048
    return chunk("cart", fixed + tag_text)


def levl_chunk(frames, amplitude):
    """Peak envelope: the 60-byte header, then one unsigned 8-bit peak per
    channel for every block of half a second."""
    block = RATE // 2
    peak_frames = (frames + block - 1) // block
    tone_blocks = int(TONE_SECONDS * RATE) // block
    peak_value = round(255 * amplitude / 32767)
    peaks = bytearray()
    for index in range(peak_frames):
        in_tone = index < tone_blocks or index >= peak_frames - tone_blocks
        peaks += bytes([peak_value if in_tone else 0]) * CHANNELS
    header = struct.pack("<8I", 1,           # dwVersion
                         1,                  # dwFormat: LEVL_FORMAT_UINT8
                         1,                  # dwPointsPerValue: positive peaks only
                         block,              # dwBlockSize, frames per peak
                         CHANNELS,           # dwPeakChannels
                         peak_frames,        # dwNumPeakFrames
                         RATE // TONE_HZ // 4,  # dwPosPeakOfPeaks: first crest of the tone
                         60)                 # dwOffsetToPeaks: right behind this header
    header += text_field("2017:03:14:10:20:30:000", 28)  # strTimestamp
    assert len(header) == 60
    return chunk("levl", header + bytes(peaks))


def build():
    tone_count = int(TONE_SECONDS * RATE)
    silence_count = int(SILENCE_SECONDS * RATE)
    tone, amplitude = tone_frames(tone_count)
    samples = tone + b"\0" * (silence_count * BLOCK_ALIGN) + tone
    frames = len(samples) // BLOCK_ALIGN
    body = b"".join([
        fmt_chunk(),
        fact_chunk(frames),
        bext_chunk(),
        cart_chunk(),
        levl_chunk(frames, amplitude),
        chunk("data", samples),
    ])
    return b"RIFF" + struct.pack("<I", 4 + len(body)) + b"WAVE" + body


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    target = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "samples",
                                                                 "broadcast-sample.wav")
    data = build()
    os.makedirs(os.path.dirname(os.path.abspath(target)), exist_ok=True)
    with open(target, "wb") as out:
        out.write(data)
    print("%s: %d bytes" % (target, len(data)))


if __name__ == "__main__":
    main()
