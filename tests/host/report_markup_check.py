#!/usr/bin/env python3
"""Validates a Broadcast Wave file whose bext fields hold ESC and STX bytes
with the command-line program and its Sonolint module, writes the report as
XML and as HTML, and checks that an XML parser reads the XML back with the
controls shown as \\x1B and \\x02, and that neither report carries a raw
control character or an unescaped quote.

Usage: report_markup_check.py RIFFOSCOPE_CLI
"""
import os
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET


def chunk(fourcc, payload):
    pad = b"\0" if len(payload) % 2 else b""
    return fourcc + struct.pack("<I", len(payload)) + payload + pad


def field(text, width):
    return text[:width].ljust(width, b"\0")


def bext(description, date, time):
    payload = (field(description, 256) + field(b"Desk", 32) + field(b"REF", 32) +
               field(date, 10) + field(time, 8) + struct.pack("<Q", 0) +
               struct.pack("<H", 1) + bytes(64) + bytes(10) + bytes(180))
    return chunk(b"bext", payload)


def wave_file():
    fmt = chunk(b"fmt ", struct.pack("<HHIIHH", 1, 1, 8000, 16000, 2, 16))
    data = chunk(b"data", struct.pack("<8h", 1000, -1000, 2000, -2000, 1000, -1000, 2000, -2000))
    # The date and time fields are reported byte for byte, controls included.
    body = b"WAVE" + fmt + bext(b'Take "quoted" & <b>', b"\x1b[31m2024", b"10\x0200:00") + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def run_report(cli, wav, fmt, out):
    result = subprocess.run([cli, "validate", wav, "--format", fmt, "-o", out],
                            capture_output=True)
    if result.returncode not in (0, 1):
        sys.exit("validate --format %s exited %d: %s" % (fmt, result.returncode, result.stderr))
    with open(out, "rb") as f:
        return f.read()


def no_raw_controls(name, data):
    for byte in data:
        if byte < 0x20 and byte not in (0x09, 0x0A, 0x0D):
            sys.exit("%s report holds the raw control byte 0x%02X" % (name, byte))


def main():
    cli = sys.argv[1]
    with tempfile.TemporaryDirectory() as folder:
        wav = os.path.join(folder, "take.wav")
        with open(wav, "wb") as f:
            f.write(wave_file())

        xml = run_report(cli, wav, "xml", os.path.join(folder, "r.xml"))
        no_raw_controls("XML", xml)
        root = ET.fromstring(xml)
        messages = [m.text or "" for m in root.iter("REPORT_MESSAGE")]
        wanted = ['[410] WAVE bext - Description : Take "quoted" & <b>',
                  "[413] WAVE bext - Origination Date : \\x1B[31m2024",
                  "[414] WAVE bext - Origination Time : 10\\x0200:00"]
        for line in wanted:
            if line not in messages:
                sys.exit("XML report lacks %r; it has %r" % (line, messages))

        html = run_report(cli, wav, "html", os.path.join(folder, "r.html"))
        no_raw_controls("HTML", html)
        for row in (b"<TD>[410] WAVE bext - Description : Take &quot;quoted&quot; &amp; &lt;b&gt;</TD>",
                    b"<TD>[413] WAVE bext - Origination Date : \\x1B[31m2024</TD>",
                    b"<TD>[414] WAVE bext - Origination Time : 10\\x0200:00</TD>"):
            if row not in html:
                sys.exit("HTML report lacks %r" % row)
    print("reports well-formed")


if __name__ == "__main__":
    main()
