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
