// Fuzz target: a registry file imported into an empty store, then exported and queried.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "platform/env.h"
#include "platform/registry/registry_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace larkedi;
  using namespace larkedi::registry;
  static const std::string folder = fuzz::ScratchDir() + "/registry";
  Store store(folder);
  // Each input starts from an empty store.
  for (long hive : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    Env::Default()->RemoveFile(store.HivePath(hive), nullptr);
  }
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  // Keys hundreds of levels deep are refused or accepted by a depth check the unit tests
  // cover; under the fuzzer's instrumentation each such input takes seconds (every level
  // is a full path in the hive's map), which starves the search of everything else.
  std::size_t line_start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i == text.size() || text[i] == '\n') {
      if (i - line_start > 400) return 0;
      line_start = i + 1;
    }
  }
  if (store.Import(text, &error) != Status::Ok) return 0;
  for (long hive : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    std::string exported;
    if (store.Export(hive, "", &exported, &error) != Status::Ok) continue;
    // What was exported imports again.
    if (store.Import(exported, &error) != Status::Ok) __builtin_trap();
    std::vector<std::string> names;
    store.ListSubKeys(hive, "", &names, &error);
  }
  return 0;
}
