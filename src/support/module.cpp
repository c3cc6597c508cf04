#include "support/module.h"

#include <unistd.h>

#include <cstdlib>
#include <mutex>

#include "platform/env.h"

namespace larkedi {
namespace {

std::string& FolderOverride() {
  static std::string folder;
  return folder;
}

std::string ExecutableFolder() {
  char buf[4096];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return ".";
  buf[n] = '\0';
  return DirName(buf);
}

}  // namespace

ModuleValues& Module() {
  static ModuleValues values;
  return values;
}

std::string ModuleFolder() {
  if (!FolderOverride().empty()) return FolderOverride();
  if (const char* env = std::getenv("LARKEDI_MODULE_DIR"); env && *env) {
    std::string folder = env;
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
  }
  static const std::string exe = ExecutableFolder();
  return exe;
}

void SetModuleFolder(const std::string& folder) {
  std::string f = folder;
  while (f.size() > 1 && f.back() == '/') f.pop_back();
  FolderOverride() = f;
}

std::string ModuleName() {
  return "larkEDI";
}

std::string ModulePath(const std::string& relative) {
  return JoinPath(ModuleFolder(), relative);
}

std::string ModuleTitle() {
  return "LarkEDI";
}

}  // namespace larkedi
