// The registry store with one key nested N levels deep: importing it, then walking the
// tree (query /s) and exporting it. Each costs time in proportion to the hive file, whose
// size grows with the square of the depth (every key's line names its full path), so the
// time per output byte (counter sec_per_byte) should stay flat as the depth grows.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/registry/registry_store.h"

namespace {

using namespace larkedi;
using namespace larkedi::registry;

std::string DeepFile(int depth) {
  std::string key = "Deep";
  for (int i = 1; i < depth; ++i) key += "\\Level" + std::to_string(i);
  return "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\" + key +
         "]\r\n\"Leaf\"=dword:00000001\r\n";
}

std::string FreshFolder() {
  char pattern[] = "/tmp/larkedi-registry-bench-XXXXXX";
  const char* made = ::mkdtemp(pattern);
  return made ? made : "/tmp";
}

void BM_DeepKeyImportWalkExport(benchmark::State& state) {
  const int depth = static_cast<int>(state.range(0));
  const std::string file = DeepFile(depth);
  const std::string folder = FreshFolder();
  std::size_t bytes = 0;
  for (auto _ : state) {
    Store store(folder);
    std::string error, exported;
    std::vector<Key> keys;
    if (store.Import(file, &error) != Status::Ok ||
        store.ListTree(HKEY_CURRENT_USER, "Deep", &keys, &error) != Status::Ok ||
        store.Export(HKEY_CURRENT_USER, "Deep", &exported, &error) != Status::Ok) {
      state.SkipWithError(error.c_str());
      break;
    }
    bytes += exported.size();
    benchmark::DoNotOptimize(keys);
  }
  std::filesystem::remove_all(folder);
  state.SetBytesProcessed(static_cast<int64_t>(bytes));
  state.counters["sec_per_byte"] = benchmark::Counter(
      static_cast<double>(bytes), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_DeepKeyImportWalkExport)
    ->Arg(64)
    ->Arg(128)
    ->Arg(256)
    ->Arg(512)
    ->Unit(benchmark::kMillisecond);

}  // namespace
