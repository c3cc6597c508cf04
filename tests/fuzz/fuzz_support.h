// Shared set-up of the fuzz targets: a private scratch folder, made once per process, that
// serves as the module folder and holds the files the targets write.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace larkedi::fuzz {

/// The scratch folder (created on first use; the module folder points at it).
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    // In memory where the system offers it: the store and the stack flush every file they
    // write, which on a disk would bound the targets to a few runs a second.
    char in_memory[] = "/dev/shm/larkedi-fuzz-XXXXXX";
    char on_disk[] = "/tmp/larkedi-fuzz-XXXXXX";
    const char* made = ::mkdtemp(in_memory);
    if (!made) made = ::mkdtemp(on_disk);
    std::string path = made ? made : "/tmp";
    if (made) {
      static std::string to_remove;
      to_remove = path;
      std::atexit([] {
        std::error_code ignored;
        std::filesystem::remove_all(to_remove, ignored);
      });
    }
    ::setenv("LARKEDI_MODULE_DIR", path.c_str(), 1);
    ::setenv("LARKEDI_REGISTRY_DIR", (path + "/registry").c_str(), 1);
    return path;
  }();
  return dir;
}

}  // namespace larkedi::fuzz
