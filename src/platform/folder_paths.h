// Folder names as the settings hold them, compared as the folders they name.
#pragma once

#include <string>

namespace larkedi {

/// The folder `path` names, written one way: absolute, without "." and ".." steps, repeated
/// or trailing '/', with the symbolic links of its existing part resolved. Empty for an
/// empty path.
std::string RealFolder(const std::string& path);

/// True when both texts name the same folder (RealFolder of both is equal, or both name one
/// existing file-system object). Texts that differ only in letter case name different
/// folders here, as the file system sees them.
bool SameFolder(const std::string& a, const std::string& b);

}  // namespace larkedi
