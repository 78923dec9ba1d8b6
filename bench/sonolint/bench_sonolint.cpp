// Sonolint's costs on 16-bit stereo 48 kHz PCM, single thread:
//   BM_MemoryRead        summing the words of a buffer larger than the caches
//                        (what reading memory costs at all, for comparison)
//   BM_FileRead          reading the page-cached file in 1 MiB pieces
//   BM_LevelKernel       the level function alone on one window in the cache
//   BM_DetectorMemory    the detector over PCM already in memory (AddPCMData)
//   BM_DetectorFile      the detector over the page-cached file (ProcessFile)
//   BM_DetectorDepth     the detector over the same program in memory as 16-,
//                        24- (3- and 4-byte containers) and 32-bit integers and
//                        32- and 64-bit floats, stereo 48 kHz; second argument
//                        the level kernel (0 scalar, 2 AVX2)
//   BM_ValidationRun     a whole run through the module object, as the host
//                        drives it (LoadFile, Play, polling every 10 ms, Stop,
//                        UnloadFile), on a 1 GiB file
// The files are generated in a temporary folder and removed at the end; the
// module's store goes to a temporary XDG_CONFIG_HOME as well.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "contract/QuorvexControlInterface.h"
#include "pcm/PcmFormat.h"
#include "platform/Stream.h"
#include "platform/Text.h"
#include "sonolint/SonolintClass.h"
#include "sonolint/WAVSilenceNoiseDetector.h"

namespace {

using namespace riffo;

constexpr int64_t kMemoryBytes = 256LL << 20;
constexpr uint32_t kFileDataBytes = 1u << 30;  // 1 GiB of PCM

std::string gFolder;
std::string gWaveFile;
std::vector<uint8_t> gPcm;  // kMemoryBytes of the same program as the file

// The program of gPcm in other sample formats, each about kMemoryBytes long.
struct DepthCase {
  const char* Name;
  uint16_t Tag, Bits, Container;
  std::vector<uint8_t> Pcm;
};
DepthCase gDepths[] = {{"16-bit", 1, 16, 2, {}},   {"24-bit", 1, 24, 3, {}},
                       {"24-in-32", 1, 24, 4, {}}, {"32-bit", 1, 32, 4, {}},
                       {"float32", 3, 32, 4, {}},  {"float64", 3, 64, 8, {}}};

void Convert(DepthCase& d) {
  const int64_t frames = kMemoryBytes / (2 * d.Container);
  d.Pcm.resize(static_cast<size_t>(frames * 2 * d.Container));
  uint8_t* out = d.Pcm.data();
  for (int64_t i = 0; i < 2 * frames; ++i, out += d.Container) {
    const int32_t s = static_cast<int16_t>(gPcm[static_cast<size_t>(2 * i)] |
                                           (gPcm[static_cast<size_t>(2 * i + 1)] << 8));
    uint64_t bits = 0;
    switch (d.Bits == 32 && d.Tag == 3 ? 0 : d.Bits) {
      case 0: bits = std::bit_cast<uint32_t>(static_cast<float>(s / 32768.0)); break;
      case 64: bits = std::bit_cast<uint64_t>(s / 32768.0); break;
      case 16: bits = static_cast<uint16_t>(s); break;
      // Integer samples fill their container's most significant bytes.
      default: bits = static_cast<uint32_t>(s) << (8 * d.Container - 16); break;
    }
    for (int b = 0; b < d.Container; ++b) out[b] = static_cast<uint8_t>(bits >> (8 * b));
  }
}

// A program with normal-level noise, silent stretches of 6 s every 30 s and a
// loud stretch, so both block state machines work as on real material.
void FillProgram(uint8_t* out, int64_t bytes, int64_t firstFrame, uint32_t& seed) {
  for (int64_t i = 0; i + 4 <= bytes; i += 4) {
    const int64_t frame = firstFrame + i / 4;
    const int64_t second = (frame / 48000) % 30;
    for (int c = 0; c < 2; ++c) {
      seed = seed * 1664525u + 1013904223u;
      int32_t s = static_cast<int32_t>(seed >> 16) % 2000 - 1000;
      if (second >= 10 && second < 16) s = 0;
      if (second >= 20 && second < 26) s *= 25;
      out[i + 2 * c] = static_cast<uint8_t>(s);
      out[i + 2 * c + 1] = static_cast<uint8_t>(s >> 8);
    }
  }
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Prepare() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") +
                        "/riffo-bench-sonolint-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  gFolder = name.data();
  ::setenv("XDG_CONFIG_HOME", (gFolder + "/config").c_str(), 1);

  gPcm.resize(kMemoryBytes);
  uint32_t seed = 1;
  FillProgram(gPcm.data(), kMemoryBytes, 0, seed);
  for (DepthCase& d : gDepths) Convert(d);

  // RIFF/WAVE, fmt, data: the header is 44 bytes.
  std::vector<uint8_t> header;
  const auto text = [&](const char* t) { header.insert(header.end(), t, t + 4); };
  text("RIFF");
  Put32(header, 36 + kFileDataBytes);
  text("WAVE");
  text("fmt ");
  Put32(header, 16);
  const uint8_t fmt[16] = {1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0, 0xEE, 2, 0, 4, 0, 16, 0};
  header.insert(header.end(), fmt, fmt + 16);
  text("data");
  Put32(header, kFileDataBytes);
  gWaveFile = gFolder + "/pcm-1gib.wav";
  std::ofstream out(gWaveFile, std::ios::binary);
  out.write(reinterpret_cast<const char*>(header.data()),
            static_cast<std::streamsize>(header.size()));
  std::vector<uint8_t> piece(16 << 20);
  for (int64_t at = 0; at < kFileDataBytes; at += static_cast<int64_t>(piece.size())) {
    FillProgram(piece.data(), static_cast<int64_t>(piece.size()), at / 4, seed);
    out.write(reinterpret_cast<const char*>(piece.data()),
              static_cast<std::streamsize>(piece.size()));
  }
  if (!out) throw std::runtime_error("cannot write " + gWaveFile);
}

void BM_MemoryRead(benchmark::State& state) {
  for (auto _ : state) {
    const uint8_t* p = gPcm.data();
    uint64_t sum = 0;
    for (int64_t i = 0; i < kMemoryBytes; i += 8) {
      uint64_t word;
      std::memcpy(&word, p + i, 8);
      sum += word;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetBytesProcessed(state.iterations() * kMemoryBytes);
}

void BM_FileRead(benchmark::State& state) {
  std::vector<uint8_t> piece(PCM_READ_PIECE_SIZE);
  for (auto _ : state) {
    auto stream = TFileStream::Open(gWaveFile, FileMode::OpenRead);
    stream->Seek(44, SeekOrigin::Begin);
    while (stream->Read(piece.data(), PCM_READ_PIECE_SIZE) == PCM_READ_PIECE_SIZE) {
    }
    benchmark::DoNotOptimize(piece.data());
  }
  state.SetBytesProcessed(state.iterations() * kFileDataBytes);
}

// The level function alone over one 50 ms window held in the cache.
void BM_LevelKernel(benchmark::State& state) {
  double volumes[2];
  for (auto _ : state) {
    Calc16bitChannelVolumes(gPcm.data(), 9600, 2, volumes);
    benchmark::DoNotOptimize(volumes);
  }
  state.SetBytesProcessed(state.iterations() * 9600);
}

struct Configured {
  Configured() {
    detector.SetReportFunction([this](int32_t, int32_t, const char16_t*, int32_t, int32_t) {
      ++lines;
      return S_OK;
    });
    detector.SetPCMFormat(48000, 2, 16);
    detector.SetSilenceParameters(-80, 5000);
    detector.SetNoiseParameters(-10, 5000);
  }
  TWAVSilenceDetector detector;
  int lines = 0;
};

void BM_DetectorMemory(benchmark::State& state) {
  for (auto _ : state) {
    Configured c;
    for (int64_t at = 0; at < kMemoryBytes; at += PCM_READ_PIECE_SIZE) {
      c.detector.AddPCMData(gPcm.data() + at, PCM_READ_PIECE_SIZE);
    }
    c.detector.Finalize();
    benchmark::DoNotOptimize(c.lines);
  }
  state.SetBytesProcessed(state.iterations() * kMemoryBytes);
}

// Argument: the level kernel (0 scalar, 1 SSE2, 2 AVX2).
void BM_DetectorFile(benchmark::State& state) {
  const TLevelKernel best = LevelKernel();
  if (!SetLevelKernel(static_cast<TLevelKernel>(state.range(0)))) {
    state.SkipWithError("kernel not available");
    return;
  }
  const std::u16string file = Utf8ToUtf16(gWaveFile);
  for (auto _ : state) {
    Configured c;
    c.detector.ProcessFile(file, 44, kFileDataBytes);
    benchmark::DoNotOptimize(c.lines);
  }
  SetLevelKernel(best);
  state.SetBytesProcessed(state.iterations() * kFileDataBytes);
}

// Arguments: the format (index into gDepths) and the level kernel.
void BM_DetectorDepth(benchmark::State& state) {
  DepthCase& d = gDepths[state.range(0)];
  const TLevelKernel best = LevelKernel();
  if (!SetLevelKernel(static_cast<TLevelKernel>(state.range(1)))) {
    state.SkipWithError("kernel not available");
    return;
  }
  TFmtFields fields;
  fields.FormatTag = d.Tag;
  fields.Channels = 2;
  fields.SamplesPerSec = 48000;
  fields.BitsPerSample = d.Bits;
  fields.BlockAlign = static_cast<uint16_t>(2 * d.Container);
  const TPcmFormat format = DescribePcmFormat(fields);
  const auto bytes = static_cast<int64_t>(d.Pcm.size());
  for (auto _ : state) {
    Configured c;
    c.detector.SetPCMFormat(format);
    c.detector.SetSilenceParameters(-80, 5000);
    c.detector.SetNoiseParameters(-10, 5000);
    for (int64_t at = 0; at < bytes; at += PCM_READ_PIECE_SIZE) {
      c.detector.AddPCMData(d.Pcm.data() + at, static_cast<int32_t>(std::min<int64_t>(
                                                   PCM_READ_PIECE_SIZE, bytes - at)));
    }
    c.detector.Finalize();
    benchmark::DoNotOptimize(c.lines);
  }
  SetLevelKernel(best);
  state.SetLabel(d.Name);
  state.SetBytesProcessed(state.iterations() * bytes);
}

// Counts the lines a run sends, as the host's sink would store them.
class CountingSink final : public IQuorvexReport {
public:
  HRESULT QVX_CALL QueryInterface(const IID&, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  uint32_t QVX_CALL AddRef() override { return 2; }
  uint32_t QVX_CALL Release() override { return 1; }
  HRESULT QVX_CALL Report(int32_t, int32_t, const char16_t*, int32_t) override {
    ++FLines;
    return S_OK;
  }
  std::atomic<int> FLines{0};
};

void BM_ValidationRun(benchmark::State& state) {
  const std::u16string file = Utf8ToUtf16(gWaveFile);
  CountingSink sink;
  IQuorvexControl* control = TSonolint::CreateInstance();
  void* set = nullptr;
  control->QueryInterface(IID_IQuorvexReportSet, &set);
  static_cast<IQuorvexReportSet*>(set)->SetQuorvexReport(&sink);
  static_cast<IQuorvexReportSet*>(set)->Release();
  for (auto _ : state) {
    control->LoadFile(file.c_str());
    control->Play();
    double progress = 0;
    while (control->GetProgress(&progress) == S_OK && progress < 100.0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    control->Stop();
    control->UnloadFile();
  }
  control->Release();
  state.counters["lines"] = sink.FLines.load() / static_cast<double>(state.iterations());
  state.SetBytesProcessed(state.iterations() * kFileDataBytes);
}

BENCHMARK(BM_MemoryRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FileRead)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LevelKernel);
BENCHMARK(BM_DetectorMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DetectorDepth)
    ->Unit(benchmark::kMillisecond)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5}, {0, 2}});
BENCHMARK(BM_DetectorFile)->Unit(benchmark::kMillisecond)->Arg(0)->Arg(1)->Arg(2);
BENCHMARK(BM_ValidationRun)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  Prepare();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ignored;
  std::filesystem::remove_all(gFolder, ignored);
  return 0;
}
