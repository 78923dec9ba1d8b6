// Loader costs: headers of many small chunks (block-buffered walk against one
// read call per header), and a huge sparse data chunk against a small one
// (loading must never read sample data).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "chunkmodel/WAVCommonChunk.h"
#include "platform/ByteOrder.h"
#include "platform/Text.h"

namespace {

using riffo::TFileStream;
using riffo::TWAVCommonChunk;

constexpr int kSmallChunks = 100000;

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  uint8_t b[4];
  riffo::PutLE32(b, v);
  out.insert(out.end(), b, b + 4);
}

// RIFF/WAVE with fmt, `count` small 4-byte chunks and a data chunk whose
// size field claims `dataSize` bytes; the file is extended sparsely to match.
std::string MakeFile(const char* name, int count, uint32_t dataSize) {
  std::vector<uint8_t> body;
  const char* tail = "WAVE";
  body.insert(body.end(), tail, tail + 4);
  const char* fmt = "fmt ";
  body.insert(body.end(), fmt, fmt + 4);
  Put32(body, 16);
  const uint8_t pcm[16] = {1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0, 0xEE, 2, 0, 4, 0, 16, 0};
  body.insert(body.end(), pcm, pcm + 16);
  for (int i = 0; i < count; ++i) {
    const char* id = "junk";
    body.insert(body.end(), id, id + 4);
    Put32(body, 4);
    Put32(body, static_cast<uint32_t>(i));
  }
  const char* data = "data";
  body.insert(body.end(), data, data + 4);
  Put32(body, dataSize);
  std::vector<uint8_t> file = {'R', 'I', 'F', 'F'};
  Put32(file, static_cast<uint32_t>(body.size() + dataSize));
  file.insert(file.end(), body.begin(), body.end());

  const std::string path = std::string("/tmp/riffoscope-bench-") + name + ".wav";
  const int fd = ::open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0644);
  if (fd < 0 || ::write(fd, file.data(), file.size()) != static_cast<ssize_t>(file.size()) ||
      ::ftruncate(fd, static_cast<off_t>(file.size() + dataSize)) != 0) {
    std::perror(path.c_str());
  }
  ::close(fd);
  return path;
}

void LoadWithLoader(benchmark::State& state, const std::string& path, size_t expectedChildren) {
  auto stream = TFileStream::Open(path, riffo::FileMode::OpenRead);
  for (auto _ : state) {
    TWAVCommonChunk root;
    root.LoadChunk(stream.get());
    if (root.FSubChunks.empty() || root.FSubChunks[0]->FSubChunks.size() != expectedChildren)
      state.SkipWithError("unexpected tree");
    benchmark::DoNotOptimize(root.FSubChunks.data());
  }
}

const std::string& ManySmall() {
  static const std::string path = MakeFile("many-small", kSmallChunks, 0);
  return path;
}

void BM_LoadManySmallChunks(benchmark::State& state) {
  LoadWithLoader(state, ManySmall(), kSmallChunks + 2);
  state.SetItemsProcessed(state.iterations() * kSmallChunks);
}
BENCHMARK(BM_LoadManySmallChunks)->Unit(benchmark::kMillisecond);

// The same walk over the same file, reading each 8-byte header with a read
// call of its own and building no tree: what the block buffer saves.
void BM_ReadEachHeaderWithItsOwnCall(benchmark::State& state) {
  auto stream = TFileStream::Open(ManySmall(), riffo::FileMode::OpenRead);
  for (auto _ : state) {
    int64_t pos = 12;
    int64_t headers = 0;
    uint8_t header[8];
    while (true) {
      stream->Seek(pos, riffo::SeekOrigin::Begin);
      if (stream->Read(header, 8) != 8) break;
      const int64_t size = riffo::GetLE32(header + 4);
      pos += 8 + size + (size % 2);
      ++headers;
    }
    benchmark::DoNotOptimize(headers);
  }
  state.SetItemsProcessed(state.iterations() * kSmallChunks);
}
BENCHMARK(BM_ReadEachHeaderWithItsOwnCall)->Unit(benchmark::kMillisecond);

void BM_LoadSmallFile(benchmark::State& state) {
  static const std::string path = MakeFile("small", 0, 4096);
  LoadWithLoader(state, path, 2);
}
BENCHMARK(BM_LoadSmallFile)->Unit(benchmark::kMicrosecond);

void BM_LoadSparse1GiBData(benchmark::State& state) {
  static const std::string path = MakeFile("sparse-1gib", 0, 1u << 30);
  LoadWithLoader(state, path, 2);
}
BENCHMARK(BM_LoadSparse1GiBData)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
