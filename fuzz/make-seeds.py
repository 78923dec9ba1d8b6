#!/usr/bin/env python3
"""Writes the hand-made seed inputs of the fuzz targets.

Each target reads its input in its own way (see the comment at the top of
fuzz/fuzz_<name>.cpp); this script writes a few small inputs per target that
reach every path the fuzzer should start from: WAV files with every chunk
kind the decoders know (fmt, fact, data, bext, cart, qlty, levl, mext, LIST,
nested RIFF), truncated and oddly sized ones, and structured inputs for the
exporters, the settings store, the hex editor, the text conversions and the
detector. Output is deterministic; names are the content's SHA-1, as the
fuzzer names its own finds.

    python3 fuzz/make-seeds.py OUTPUT_FOLDER

writes OUTPUT_FOLDER/<target>/<sha1> for every target. scripts/fuzz.sh
merges them into the committed corpora (fuzz/corpus/<target>).
"""

import hashlib
import os
import struct
import sys


def chunk(fourcc, payload, size=None):
    pad = b"\0" if len(payload) % 2 else b""
    return fourcc + struct.pack("<I", len(payload) if size is None else size) + payload + pad


def riff(form, body, kind=b"RIFF"):
    return chunk(kind, form + body)


def field(text, width):
    raw = text if isinstance(text, bytes) else text.encode("latin-1")
    return raw[:width] + b"\0" * (width - len(raw[:width]))


def fmt(channels=1, rate=8000, bits=8, tag=1, extra=None):
    align = channels * bits // 8
    payload = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
    if extra is not None:
        payload += struct.pack("<H", len(extra)) + extra
    return chunk(b"fmt ", payload)


def bext(version=2, history=b"A=PCM,F=8000,W=8,M=mono,T=seed\r\n", description=b"seed"):
    payload = b"".join([
        field(description, 256), field(b"make-seeds", 32), field(b"REF0001", 32),
        b"2017-03-14", b"10:20:30", struct.pack("<II", 8000, 0), struct.pack("<H", version),
        bytes(range(64)) if version >= 1 else b"\0" * 64,
        struct.pack("<hhhhh", -2300, 500, -100, -2000, -2200) if version >= 2 else b"\0" * 10,
        b"\0" * 180, history])
    return chunk(b"bext", payload)


def cart(tag_text=b"Tag text line one.\r\nLine two.\r\n"):
    timers = struct.pack("<4sI4sI", b"SEC1", 100, b"EOD ", 2000) + b"\0" * 48
    fixed = b"".join([
        b"0101", field(b"Title", 64), field(b"Artist", 64), field(b"CUT1", 64), field(b"", 64),
        field(b"CAT", 64), field(b"", 64), field(b"cue", 64), b"2017-03-14", b"10:20:30",
        b"2099-12-31", b"23:59:59", field(b"seeds", 64), field(b"1.0", 64), field(b"", 64),
        struct.pack("<I", 32768), timers, b"\0" * 276, field(b"https://example.invalid/", 1024)])
    assert len(fixed) == 2048
    return chunk(b"cart", fixed + tag_text)


def qlty(lines=(b"B 00:00:00.000 start", b"E 00:00:01.000 end")):
    return chunk(b"qlty", struct.pack("<II", 1, 2) + b"".join(line + b"\r\n" for line in lines) + b"\0")


def levl():
    header = struct.pack("<IIIIIIII", 1, 1, 1, 256, 1, 4, 2, 128) + field(b"2017:03:14:10:20:30:00", 28)
    header += b"\0" * (128 - len(header))
    return chunk(b"levl", header + bytes([10, 200, 30, 90]))


def mext():
    return chunk(b"mext", struct.pack("<HHHH", 1, 417, 0, 0) + b"\0" * 4)


def fact(frames):
    return chunk(b"fact", struct.pack("<I", frames))


def list_info():
    return chunk(b"LIST", b"INFO" + chunk(b"INAM", b"seed\0") + chunk(b"ICMT", b"odd\0\0"))


def pcm8(silence_frames, noise_frames):
    """8-bit samples: digital silence (128), then a loud square wave."""
    return b"\x80" * silence_frames + bytes([0x10, 0xF0] * (noise_frames // 2))


def pcm16(frames, channels=2):
    out = bytearray()
    for n in range(frames):
        value = 0 if n < frames // 2 else (20000 if n % 8 < 4 else -20000)
        out += struct.pack("<h", value) * channels
    return bytes(out)


def wav_seeds():
    data8 = pcm8(1200, 1200)  # 8 kHz mono: 150 ms of silence, 150 ms of noise
    full = riff(b"WAVE", fmt() + fact(len(data8)) + bext() + cart() + qlty() + levl() + mext()
                + list_info() + chunk(b"data", data8))
    seeds = [
        full,
        riff(b"WAVE", fmt(2, 8000, 16) + chunk(b"data", pcm16(1600))),
        riff(b"WAVE", fmt() + bext(0, b"") + chunk(b"data", data8[:400])),
        riff(b"WAVE", fmt() + bext(1, b"A=PCM\r\nunterminated") + chunk(b"data", b"\x80" * 33)),
        riff(b"WAVE", fmt(1, 8000, 8, 3, b"") + cart(b"") + chunk(b"data", b"")),
        riff(b"WAVE", fmt(6, 48000, 24, 0xFFFE, struct.pack("<HI16s", 24, 63, b"\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71"))
             + chunk(b"data", b"\0" * 36)),
        riff(b"WAVE", fmt() + chunk(b"JUNK", b"\0" * 7) + chunk(b"data", b"\x80" * 9, size=0x7FFFFFFF)),
        riff(b"WAVE", chunk(b"LIST", b"adtl" + chunk(b"labl", b"\1\0\0\0x\0")) + riff(b"WAVE", fmt() + chunk(b"data", b"")),),
        full[:700],  # truncated inside bext
        full[:60],
        riff(b"WAVE", fmt() + qlty(()) + levl() + mext() + chunk(b"data", b"\x80" * 16)) + b"\0" * 24,
        riff(b"WAVE", chunk(b"ds64", struct.pack("<QQQI", 100, 16, 8, 0)) + fmt() + chunk(b"data", b"\x80" * 16),
             kind=b"RF64"),
    ]
    return seeds + rf64_seeds()


def extensible(channels, bits, valid_bits, mask, sub_tag):
    guid = struct.pack("<H", sub_tag) + b"\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71"
    return fmt(channels, 48000, bits, 0xFFFE, struct.pack("<HI", valid_bits, mask) + guid)


def ds64(riff_size, data_size, frames, table=(), table_length=None):
    """A ds64 chunk: the three 64-bit sizes, the table length, the entries."""
    count = len(table) if table_length is None else table_length
    return chunk(b"ds64", struct.pack("<QQQI", riff_size, data_size, frames, count)
                 + b"".join(struct.pack("<4sQ", cid, size) for cid, size in table))


def rf64(body, kind=b"RF64"):
    """An RF64/BW64 form with the size field 0xFFFFFFFF; a leading ds64 with
    riffSize 0 gets the form's true size."""
    form = kind + b"\xff\xff\xff\xff" + b"WAVE" + body
    if body[:4] == b"ds64" and form[20:28] == b"\0" * 8:
        form = form[:20] + struct.pack("<Q", len(form) - 8) + form[28:]
    return form


def sized(fourcc, payload):
    """A chunk whose size field stands for a size in the ds64 chunk."""
    return chunk(fourcc, payload, size=0xFFFFFFFF)


def rf64_seeds():
    """RF64 and BW64 forms, well formed and broken in each way ds64 can be,
    and extensible format records of every sample kind."""
    pcm24 = b"\0\0\0" * 12
    return [
        rf64(ds64(0, 36, 2, [(b"JUNK", 6)]) + extensible(6, 24, 24, 0x3F, 1) + sized(b"JUNK", b"\0" * 6)
             + sized(b"data", pcm24)),
        rf64(ds64(0, 16, 2) + extensible(2, 32, 32, 0x3, 3) + sized(b"data", b"\0" * 16), kind=b"BW64"),
        rf64(ds64(0, 16, 2) + extensible(2, 32, 24, 0x3, 1) + sized(b"data", b"\0" * 16)),
        rf64(ds64(0, 16, 2) + extensible(1, 64, 64, 0x4, 3) + sized(b"data", b"\0" * 16)),
        rf64(ds64(0, 16, 2) + extensible(2, 16, 16, 0x80000003, 0x92) + sized(b"data", b"\0" * 16)),
        riff(b"WAVE", extensible(2, 24, 20, 0, 1)[:-22] + chunk(b"data", b"\0" * 12)),
        rf64(chunk(b"ds64", struct.pack("<QQ", 0, 16)) + fmt() + sized(b"data", b"\x80" * 16)),
        rf64(ds64(0, 16, 16, [(b"JUNK", 8)], table_length=3) + fmt() + sized(b"data", b"\x80" * 16)),
        rf64(ds64(0, 16, 16, [(b"JUNK", 8)], table_length=0xFFFFFFFF) + fmt() + sized(b"data", b"\x80" * 16)),
        rf64(ds64(0xFFFFFFFFFFFFFFFF, 0x8000000000000000, 0) + fmt() + sized(b"data", b"\x80" * 16)),
        rf64(fmt() + ds64(64, 16, 16) + sized(b"data", b"\x80" * 16)),
        rf64(ds64(0, 16, 16) + fmt() + sized(b"LIST", b"INFO") + sized(b"data", b"\x80" * 16)),
        rf64(fmt() + sized(b"data", b"\x80" * 16), kind=b"BW64"),
        riff(b"WAVE", ds64(100, 16, 16) + rf64(ds64(0, 4, 4) + sized(b"data", b"\x80" * 4))),
    ]


def u16text(text):
    """A length byte, then UTF-16LE code units (the targets' Text16)."""
    units = text.encode("utf-16-le")
    return bytes([len(units) // 2]) + units


def u8text(raw):
    return bytes([len(raw)]) + raw


def exporter_seeds():
    def line(module, type_index, stream_index, message):
        # Bool (pick), module index, type, stream, message.
        return bytes([1, module, type_index, stream_index]) + u16text(message)

    seeds = []
    for pdf, name, leaf, lines in [
        (1, "take.wav", "report", [(2, 2, 0, "[201] plain line"), (3, 4, 3, "a, \"quoted\" line\r\nand more")]),
        (0, "<b>&amp;\".wav", "r&<x>", [(4, 3, 5, "<script>alert(1)</script> & ]]> done")]),
        (5, "caf\u00e9 \U0001F3B5.wav", "\u00e9", [(0, 1, 1, "")]),
        (7, "", "", []),
        (3, "ctl\x1b[31m\x02.wav", "\x7f", [(1, 3, 0, "bell\x07 tab\t cr\r lf\n end\ufffe")]),
    ]:
        body = bytes([pdf]) + u16text(name) + u16text(leaf) + bytes([len(lines)])
        body += b"".join(line(*entry) for entry in lines)
        seeds.append(body)
    return seeds


def settings_seeds():
    store = (
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Sonolint]\r\n"
        "\"SilenceLeveldB\"=dword:ffffffb0\r\n\"MinSilenceBlockMS\"=hex(4):88,13,00,00\r\n"
        "; a comment\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Brindlecorp\\Quorvex\\Modules\\Sonolint\\ValidationSettings]\r\n"
        "\"201_Enabled\"=dword:00000000\r\n\"201_Type\"=dword:00000002\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Brindlecorp\\Riffoscope]\r\n"
        "\"FormTop\"=dword:0000003c\r\n\"Name\"=\"a \\\"quoted\\\" \\\\ text\"\r\n"
        "@=\"default\"\r\n\"Multi\"=hex(1):41,00,0a,00,42,00,00,00\r\n"
        "\"Bin\"=hex:01,02,\\\r\n  03,04\r\n\"Exp\"=hex(2):41,00,00,00\r\n"
    ).encode("utf-8")

    def writes(key_index, entries, key_text=""):
        # The fuzzed key path, the key's index, the number of writes, then
        # per write (after the first) whether it is a new name, the name, and
        # a number or a text.
        out = u16text(key_text) + bytes([key_index, len(entries)])
        for i, entry in enumerate(entries):
            if i > 0:
                out += bytes([1])
            out += u16text(entry[0])
            if isinstance(entry[1], int):
                out += bytes([1]) + struct.pack("<I", entry[1] & 0xFFFFFFFF)
            else:
                out += bytes([0]) + u16text(entry[1])
        # With the module's settings round trip.
        return out + bytes([0])

    return [
        writes(0, [("FormTop", 60), ("Name", "text")]) + store,
        writes(1, [("201_Enabled", 1), ("multi", "line\r\nbreak")]) + store,
        writes(2, []) + b"REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Brindlecorp\\Riffoscope]\n\"A\"=dword:1\n",
        writes(0, [("x", 5)]) + b"[HKEY_CURRENT_USER\\broken\n\"x\"=dword:zz\n",
        writes(3, [("v", "\u00e9\U0001F3B5")], "Software\\Other\\Key") + b"",
        writes(0, [("a", -1)]) + b"\xff\xfe not utf-8",
    ]


def hexedit_seeds():
    def step(column, row, op, extra=b""):
        # Column and row are read as value + 1 (both start at -1).
        return bytes([column + 1, row + 1, op]) + extra

    def typed(text):
        alphabet = "079aFf Gx-\u00e9"
        return bytes([len(text)]) + bytes(alphabet.index(c) for c in text)

    file_bytes = bytes(range(64))
    # File size (two bytes), the file, offset, extent, step count, steps.
    steps = [
        step(3, 1, 2, bytes([0xAB])),   # two digits typed
        step(5, 2, 0),                  # select a cell
        step(0, 0, 3, typed(" 7")),     # type at the cursor
        step(0, 0, 4),                  # Enter
        step(0, 1, 0),                  # select the address column: refused
        step(2, 2, 1, typed("a")),      # one digit typed
        step(0, 0, 5),                  # save answered No
        step(0, 0, 6),                  # save
        step(4, 1, 1, typed("xG")),     # junk typed
        step(4, 1, 2, bytes([0x04])),   # back to what the file holds
        step(0, 0, 6),
    ]
    seeds = [struct.pack("<H", len(file_bytes)) + file_bytes + bytes([20, 30, len(steps)]) + b"".join(steps)]
    seeds.append(struct.pack("<H", 8) + b"RIFF\0\0\0\0" + bytes([0, 200, 2]) + step(1, 1, 2, b"\xff") + step(0, 0, 6))
    seeds.append(struct.pack("<H", 0) + bytes([0, 0, 0]))
    return seeds


def text_seeds():
    position = struct.pack("<II", 0x12345678, 0x9ABCDEF0)
    return [
        position + u16text("plain \u00e9\U0001F3B5") + "caf\u00e9 \u20ac".encode("utf-8"),
        position + bytes([3]) + b"\x00\xd8\x41\x00\x00\xdc" + b"\x80\x9f\xff\xfe bad \xc0\xaf \xed\xa0\x80",
        b"\0" * 8 + bytes([0]) + b"ASCII only\0after nul",
    ]


def detector_seeds():
    # Usual format, tag index (1 1 3 FFFE), rate index, channels, bits index
    # (8 16 24 32 64), container (0: the sample's size), then for an
    # extensible tag whether valid bits are the bits and whether the
    # sub-format is PCM; silence, noise gap, two minimums, piece count and
    # sizes, then the samples.
    def setup(tag_index, rate_index, channels, bits_index, pieces, samples, extension=b""):
        out = bytes([1, tag_index, rate_index, channels, bits_index, 1]) + extension
        out += bytes([40, 60, 1, 100, 0, 1, 100, 0, len(pieces)])
        out += b"".join(struct.pack("<H", p) for p in pieces)
        return out + samples

    floats = b"".join(struct.pack("<f", v) for v in [0.0] * 800 + [0.9, -0.9] * 400 + [float("nan"), float("inf")])
    return [
        setup(0, 1, 1, 0, [7, 300, 1, 4000], pcm8(2400, 2400)),
        setup(0, 5, 2, 1, [1000, 3, 9000], pcm16(4000)),
        setup(0, 0, 3, 1, [1], bytes(range(256)) * 8),
        setup(0, 7, 32, 1, [5000, 5000], b"\0" * 12000),
        setup(2, 1, 1, 3, [333, 4], floats),
        setup(3, 1, 2, 2, [3, 3000], bytes(range(255)) * 30, bytes([1, 1])),
        setup(3, 1, 1, 4, [64], struct.pack("<d", 0.5) * 900, bytes([1, 0])),
    ]


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "fuzz/seeds"
    wav = wav_seeds()
    targets = {
        "loader": wav, "pipeline": wav, "structure": wav,
        "exporters": exporter_seeds(), "settings": settings_seeds(), "hexedit": hexedit_seeds(),
        "text": text_seeds(), "detector": detector_seeds(),
    }
    for target, seeds in targets.items():
        folder = os.path.join(out, target)
        os.makedirs(folder, exist_ok=True)
        for seed in seeds:
            with open(os.path.join(folder, hashlib.sha1(seed).hexdigest()), "wb") as f:
                f.write(seed)


if __name__ == "__main__":
    main()
