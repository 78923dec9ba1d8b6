// The fixture files of the rendering, export and command-line tests, built
// byte by byte. Each is named after what it carries; the expected tree and
// export texts of each are checked in under data/.
#pragma once

#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "chunkmodel/WAVCommonChunk.h"
#include "platform/Stream.h"
#include "support/RiffBuilder.h"
#include "support/TempFolder.h"

namespace riffo::test {

// fmt (16-bit stereo, 48 kHz) and an empty data chunk: 44 bytes.
inline Bytes CanonicalPcmFile() { return CanonicalPcm(); }

// A broadcast wave file with every chunk the viewer decodes: fmt, fact,
// bext (with a two-line coding history and a loudness value above 0x7FFF),
// cart (odd size, so followed by a pad byte; two post timers, one with
// zero bytes in its usage code), levl, qlty, mext and data.
inline Bytes BroadcastWaveFile() {
  Bytes body = Chunk("fmt ", PcmFormat(2, 48000, 24));

  Bytes fact;
  Append32(fact, 48000);
  Append(body, Chunk("fact", fact));

  Bytes bext;
  Append(bext, Field("Morning news, take 2", 256));
  Append(bext, Field("Studio B", 32));
  Append(bext, Field("REF0001", 32));
  AppendText(bext, "2026-12-10");
  AppendText(bext, "06:30:00");
  Append32(bext, 172800000);
  Append32(bext, 1);
  Append16(bext, 2);
  for (int i = 0; i < 64; ++i) bext.push_back(static_cast<uint8_t>(0x30 + i));  // UMID
  Append16(bext, 0xF704);                                                       // loudness value
  Append16(bext, 80);                                                           // loudness range
  Append16(bext, 0xFFF6);  // max true peak level
  Append16(bext, 0xFF38);  // max momentary loudness
  Append16(bext, 0xFF9C);  // max short term loudness
  Append(bext, Bytes(180, 0));
  AppendText(bext, "A=PCM,F=48000,W=24,M=stereo\r\nT=(mix)\r\n");
  Append(body, Chunk("bext", bext));

  Bytes cart;
  AppendText(cart, "0101");
  Append(cart, Field("Morning News", 64));
  Append(cart, Field("Newsroom", 64));
  Append(cart, Field("C-42", 64));
  Append(cart, Field("", 64));
  Append(cart, Field("NEWS", 64));
  Append(cart, Field("", 64));
  Append(cart, Field("fade", 64));
  AppendText(cart, "2026-12-10");
  AppendText(cart, "06:00:00");
  AppendText(cart, "2026-12-31");
  AppendText(cart, "23:59:59");
  Append(cart, Field("Mixdesk", 64));
  Append(cart, Field("3.1", 64));
  Append(cart, Field("", 64));
  Append32(cart, 32768);
  AppendText(cart, "SEC1");
  Append32(cart, 48000);
  Append(cart, Bytes{'A', 'B', 0, 0});
  Append32(cart, 7);
  Append(cart, Bytes(6 * 8, 0));  // the other six post timers
  Append(cart, Bytes(276, 0));    // reserved
  Append(cart, Field("http://www.example.org/cut42", 1024));
  AppendText(cart, "Promo\r\n");
  Append(body, Chunk("cart", cart));

  Bytes levl;
  for (uint32_t v : {1u, 2u, 2u, 256u, 2u, 100u, 12u, 128u}) Append32(levl, v);
  Append(levl, Field("2026:12:10:06:30:00:00", 28));
  Append(body, Chunk("levl", levl));

  Bytes qlty;
  Append32(qlty, 0);
  Append32(qlty, 0x1234);
  AppendText(qlty, "B=start\r\nE=end\r\n");
  Append(body, Chunk("qlty", qlty));

  Bytes mext;
  Append16(mext, 5);
  Append16(mext, 417);
  Append16(mext, 0);
  Append16(mext, 0);
  Append(mext, Bytes{'a', 'b', 0, 0});
  Append(body, Chunk("mext", mext));

  Append(body, Chunk("data", Bytes(12, 0)));
  return Riff("WAVE", body);
}

// A RIFF chunk nested in the WAVE form (holding a fmt chunk and a chunk whose
// id is four zero bytes), a LIST chunk, a RIFF chunk without sub-chunks and
// an odd-sized data chunk with its pad byte.
inline Bytes NestedRiffAndListFile() {
  Bytes body = Chunk("fmt ", PcmFormat(1, 8000, 8));

  Bytes list;
  AppendText(list, "INFO");
  Append(list, Chunk("INAM", Bytes{'T', 'o', 'n', 'e'}));
  Append(body, Chunk("LIST", list));

  Bytes inner = Chunk("fmt ", PcmFormat(1, 8000, 8));
  Append(inner, Chunk(std::string(4, '\0'), {}));
  Append(body, Riff("WAVE", inner));

  Append(body, Riff("WAVE", {}));
  Append(body, Chunk("data", Bytes{1, 2, 3}));
  return Riff("WAVE", body);
}

// The canonical file cut after 26 bytes, in the middle of its fmt chunk: the
// RIFF and fmt headers are there, the format record is not.
inline Bytes TruncatedInFmtFile() {
  Bytes file = CanonicalPcm();
  file.resize(26);
  return file;
}

// A RIFF form nested in the WAVE form whose last chunk's size field runs 8
// bytes past the nested form: the nested form reports 205 where that chunk
// ends, still inside the outer form.
inline Bytes NestedOverrunFile() {
  Bytes body = Chunk("fmt ", PcmFormat(1, 8000, 8));
  Append(body, Riff("WAVE", ChunkWithSize("junk", 12, Bytes(4, 0x22))));
  Append(body, Chunk("data", Bytes(16, 0x33)));
  return Riff("WAVE", body);
}

// An RF64 form whose sizes come from its ds64 chunk: ds64 (one table entry,
// for 'big1'), an extensible fmt chunk (6 channels, 24 bits, 5.1 mask, PCM),
// 'big1' and data, both with 0xFFFFFFFF size fields. 166 bytes.
inline Bytes Rf64ExtensibleFile() {
  Bytes rest = Chunk("fmt ", ExtensibleFormat(6, 48000, 24, 24, 0x3F, 1));
  Append(rest, ChunkWithSize("big1", 0xFFFFFFFF, Bytes(6, 0x44)));
  Append(rest, ChunkWithSize("data", 0xFFFFFFFF, Bytes(36, 0)));
  Bytes body = Chunk("ds64", Ds64(158, 36, 2, {{"big1", 6}}));
  Append(body, rest);
  return Rf64(body);
}

// The chunk tree of a fixture, loaded from memory as the viewer loads a file.
inline std::unique_ptr<TWAVCommonChunk> LoadTree(const Bytes& file) {
  TMemoryStream stream(file);
  auto root = std::make_unique<TWAVCommonChunk>(nullptr);
  if (root->LoadChunk(&stream) != S_OK) return nullptr;
  return root;
}

// The expected files are kept with LF line ends; the export ends its lines
// with CR LF.
inline std::string ToCrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

struct Fixture {
  const char* Name;  // the expected files are data/<Name>.export.txt and data/<Name>.tree.txt
  Bytes (*Build)();
};

inline const Fixture FIXTURES[] = {
    {"canonical-pcm", CanonicalPcmFile},
    {"broadcast-wave", BroadcastWaveFile},
    {"nested-riff-and-list", NestedRiffAndListFile},
    {"truncated-in-fmt", TruncatedInFmtFile},
    {"rf64-extensible", Rf64ExtensibleFile},
};

}  // namespace riffo::test
