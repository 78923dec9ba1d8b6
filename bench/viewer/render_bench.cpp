// Rendering the display tree and writing the structure export of a file with
// 100,000 chunks; both should stay well under 200 ms. The file is loaded once,
// outside the timed part.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "support/RiffBuilder.h"
#include "viewer/ChunkTreeRender.h"
#include "viewer/StructureExport.h"

namespace riffo {
namespace {

constexpr int CHUNK_COUNT = 100000;

// fmt, then leaf chunks: mostly unknown ones, every 50th a fact chunk and
// every 1000th a bext chunk with a coding history (its hex and text lines
// make the heaviest nodes).
const TWAVCommonChunk& LargeTree() {
  static const std::unique_ptr<TWAVCommonChunk> root = [] {
    using namespace test;
    Bytes body = Chunk("fmt ", PcmFormat(2, 48000, 16));
    Bytes bext(602, 0);
    AppendText(bext, "A=PCM,F=48000,W=16,M=stereo\r\nT=bench\r\n");
    for (int i = 1; i < CHUNK_COUNT - 1; ++i) {
      if (i % 1000 == 0)
        Append(body, Chunk("bext", bext));
      else if (i % 50 == 0)
        Append(body, Chunk("fact", Bytes(4, 1)));
      else
        Append(body, Chunk("junk", Bytes(4, 0)));
    }
    Append(body, Chunk("data", Bytes(16, 0)));
    TMemoryStream stream(Riff("WAVE", body));
    auto tree = std::make_unique<TWAVCommonChunk>(nullptr);
    tree->LoadChunk(&stream);
    return tree;
  }();
  return *root;
}

void BM_RenderDisplayTree(benchmark::State& state) {
  const TWAVCommonChunk& root = LargeTree();
  for (auto _ : state) {
    auto fileNode = MakeFileNode(u"large.wav", root.FSize);
    UpdateTreeView(fileNode.get(), fileNode.get(), 0, nullptr, &root);
    benchmark::DoNotOptimize(fileNode->Children.size());
  }
  state.counters["chunks"] = static_cast<double>(root.FSubChunks.at(0)->FSubChunks.size());
}
BENCHMARK(BM_RenderDisplayTree)->Unit(benchmark::kMillisecond);

void BM_ExportToMemory(benchmark::State& state) {
  const TWAVCommonChunk& root = LargeTree();
  for (auto _ : state) {
    TMemoryStream out;
    benchmark::DoNotOptimize(WriteStructureExport(out, u"out", u"large.wav", root.FSize, &root).Ok);
  }
}
BENCHMARK(BM_ExportToMemory)->Unit(benchmark::kMillisecond);

void BM_ExportToFile(benchmark::State& state) {
  const TWAVCommonChunk& root = LargeTree();
  const std::string name = "/tmp/riffo-export-bench-" + std::to_string(::getpid()) + ".txt";
  const std::u16string outName(name.begin(), name.end());
  for (auto _ : state)
    benchmark::DoNotOptimize(ExportStructureToFile(outName, u"large.wav", root.FSize, &root).Ok);
  std::remove(name.c_str());
}
BENCHMARK(BM_ExportToFile)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace riffo

BENCHMARK_MAIN();
