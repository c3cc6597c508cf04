// Shared set-up of the fuzz targets: a private scratch folder, made once per process, that
// serves as the module folder and holds the files the targets write.
#pragma once

#include <stdlib.h>

#include <string>

namespace larkedi::fuzz {

/// The scratch folder (created on first use; the module folder points at it).
inline const std::string& ScratchDir() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/larkedi-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern);
    std::string path = made ? made : "/tmp";
    ::setenv("LARKEDI_MODULE_DIR", path.c_str(), 1);
    ::setenv("LARKEDI_REGISTRY_DIR", (path + "/registry").c_str(), 1);
    return path;
  }();
  return dir;
}

}  // namespace larkedi::fuzz
