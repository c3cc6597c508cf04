#include "platform/folder_paths.h"

#include <filesystem>
#include <system_error>

namespace larkedi {

namespace fs = std::filesystem;

std::string RealFolder(const std::string& path) {
  if (path.empty()) return {};
  std::error_code ec;
  fs::path absolute = fs::absolute(fs::path(path), ec);
  if (ec) absolute = fs::path(path);
  // Resolves the links of the part that exists and normalises the rest lexically.
  fs::path real = fs::weakly_canonical(absolute, ec);
  if (ec) real = absolute.lexically_normal();
  std::string text = real.lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool SameFolder(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  if (RealFolder(a) == RealFolder(b)) return true;
  // Two names of one existing folder that the text cannot tell apart (bind mounts, hard
  // links to the same inode).
  std::error_code ec;
  return fs::exists(a, ec) && fs::exists(b, ec) && fs::equivalent(a, b, ec) && !ec;
}

}  // namespace larkedi
