// Opening a settings key whose section holds N values: the time must grow
// close to linearly (the fitted complexity reads N log N, from the sorted map
// of values); 30,000 values take a fraction of a second, not a minute.
#include <benchmark/benchmark.h>

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/Text.h"
#include "platform/UserStore.h"

namespace {

const std::u16string kKey = u"SOFTWARE\\Bench\\Store";

// A store file whose one key holds `values` values, in a fresh folder that
// XDG_CONFIG_HOME points to.
std::string PrepareStore(int64_t values) {
  std::string folder =
      (std::filesystem::temp_directory_path() / "riffo-bench-store-XXXXXX").string();
  if (::mkdtemp(folder.data()) == nullptr) return {};
  ::setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  std::filesystem::create_directories(folder + "/brindlecorp");
  std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" +
                     riffo::Utf16ToUtf8(kKey) + "]\n";
  for (int64_t i = 0; i < values; ++i)
    text += riffo::Format8("\"Value%lld\"=dword:%08llx\n", static_cast<long long>(i),
                           static_cast<unsigned long long>(i));
  std::ofstream(folder + "/brindlecorp/user.reg", std::ios::binary) << text;
  return folder;
}

void BM_OpenKeyWithManyValues(benchmark::State& state) {
  const std::string folder = PrepareStore(state.range(0));
  for (auto _ : state) {
    auto key = riffo::TUserStoreKey::OpenOrCreate(kKey);
    benchmark::DoNotOptimize(key.get());
  }
  state.SetComplexityN(state.range(0));
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}
BENCHMARK(BM_OpenKeyWithManyValues)
    ->RangeMultiplier(3)
    ->Range(1000, 30000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();

}  // namespace

BENCHMARK_MAIN();
