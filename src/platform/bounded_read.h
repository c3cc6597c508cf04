// Reading input files whose size the module does not control (designs handed in, stacked
// and archived design files, registry exports, settings given on the command line) without
// ever holding more than a fixed amount: a file that grows without end (/dev/zero, a pipe)
// or a huge one is refused with a reason instead of exhausting memory.
#pragma once

#include <cstddef>
#include <string>

namespace larkedi {

/// Why an input file could not be read.
enum class ReadFailure {
  kNone,
  kNotFound,    // no such file
  kPermission,  // the user may not read it
  kFolder,      // it is a folder
  kNotAFile,    // a device or socket (/dev/zero, /dev/tty), which holds no file content
  kTooLarge,    // it holds more than the limit
  kIo,          // any other reading failure
};

/// Largest input file read whole, when the caller names no smaller limit. Designs and
/// settings are a few megabytes at most; this leaves room for the yearly archive of sent
/// designs.
inline constexpr std::size_t kMaxInputFileBytes = 256u * 1024 * 1024;

/// Reads the whole file into `data` when it holds at most `limit` bytes. Stops reading as
/// soon as the limit is passed (a pipe is read up to the limit); devices are refused
/// without reading. False with `error` (naming the path) and `why` set otherwise.
bool ReadFileAtMost(const std::string& path, std::size_t limit, std::string* data,
                    std::string* error, ReadFailure* why = nullptr);

/// True when `path` is itself a symbolic link (whatever it points to).
bool IsSymbolicLink(const std::string& path);

}  // namespace larkedi
