// Time from "open this file" to the tree pane filled and the first hex page
// shown, in the real main window on the offscreen platform. The file is a
// 4 GiB sparse WAV: only its header holds bytes, so the figure measures the
// viewer, not the disk. Target: under 300 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "support/FakeUserDialogs.h"
#include "viewer/qt/RiffoscopeUnit1.h"

namespace {

using riffo::TRiffoscopeForm;

constexpr uint64_t kFileSize = 4ull << 30;

void Put32(std::vector<char>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// RIFF/WAVE with a PCM fmt chunk and one data chunk that fills the rest.
std::string MakeSparseWave() {
  const auto path = std::filesystem::temp_directory_path() / "riffo-bench-4gib.wav";
  std::vector<char> head;
  head.insert(head.end(), {'R', 'I', 'F', 'F'});
  Put32(head, static_cast<uint32_t>(kFileSize - 8));
  head.insert(head.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
  Put32(head, 16);
  const uint8_t fmt[16] = {1, 0, 2, 0, 0x80, 0xBB, 0, 0, 0, 0xEE, 2, 0, 4, 0, 16, 0};
  head.insert(head.end(), fmt, fmt + 16);
  head.insert(head.end(), {'d', 'a', 't', 'a'});
  Put32(head, static_cast<uint32_t>(kFileSize - 44));
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(head.data(), static_cast<std::streamsize>(head.size()));
  }
  std::filesystem::resize_file(path, kFileSize);
  return path.string();
}

void BM_OpenSparse4GiB(benchmark::State& state) {
  const std::string file = MakeSparseWave();
  const std::u16string name = QString::fromStdString(file).toStdU16String();
  riffo::test::TFakeDialogs dialogs;  // every question answered No
  TRiffoscopeForm form(&dialogs);
  form.show();
  QApplication::processEvents();
  for (auto _ : state) {
    form.Session().UnLoadFile();
    const bool loaded = form.Session().LoadFile(name);
    QApplication::processEvents();  // the panes paint what they were given
    if (!loaded || form.Memo1()->blockCount() < 2 || form.TreeView1()->topLevelItemCount() != 1)
      state.SkipWithError("the file did not open");
  }
  std::filesystem::remove(file);
  state.counters["messages"] = static_cast<double>(dialogs.Boxes.size());
}
BENCHMARK(BM_OpenSparse4GiB)->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
