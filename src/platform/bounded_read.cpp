#include "platform/bounded_read.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace larkedi {
namespace {

bool Refuse(ReadFailure kind, const std::string& text, std::string* error, ReadFailure* why) {
  if (error) *error = text;
  if (why) *why = kind;
  return false;
}

ReadFailure FromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return ReadFailure::kNotFound;
    case EACCES:
    case EPERM:
      return ReadFailure::kPermission;
    case EISDIR:
      return ReadFailure::kFolder;
    default:
      return ReadFailure::kIo;
  }
}

std::string MegaBytes(std::size_t bytes) {
  return std::to_string(bytes / (1024 * 1024)) + " MB";
}

}  // namespace

bool ReadFileAtMost(const std::string& path, std::size_t limit, std::string* data,
                    std::string* error, ReadFailure* why) {
  if (why) *why = ReadFailure::kNone;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int e = errno;
    return Refuse(FromErrno(e), "Cannot open " + path + ": " + std::strerror(e), error, why);
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    return Refuse(ReadFailure::kFolder, "Cannot read " + path + ": it is a folder", error, why);
  }
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISSOCK(st.st_mode)) {
    ::close(fd);
    return Refuse(ReadFailure::kNotAFile, "Cannot read " + path + ": it is a device, not a file",
                  error, why);
  }
  const std::string too_large =
      "Cannot read " + path + ": it is larger than " + MegaBytes(limit) + ", the most accepted";
  if (S_ISREG(st.st_mode) && st.st_size > 0 && static_cast<std::size_t>(st.st_size) > limit) {
    ::close(fd);
    return Refuse(ReadFailure::kTooLarge, too_large, error, why);
  }
  std::string out;
  try {
    if (S_ISREG(st.st_mode) && st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    while (true) {
      const ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR) continue;
        const int e = errno;
        ::close(fd);
        return Refuse(FromErrno(e), "Cannot read " + path + ": " + std::strerror(e), error, why);
      }
      if (n == 0) break;
      if (out.size() + static_cast<std::size_t>(n) > limit) {
        ::close(fd);
        return Refuse(ReadFailure::kTooLarge, too_large, error, why);
      }
      out.append(buf, static_cast<std::size_t>(n));
    }
  } catch (const std::bad_alloc&) {
    ::close(fd);
    return Refuse(ReadFailure::kTooLarge, "Cannot read " + path + ": not enough memory", error,
                  why);
  }
  ::close(fd);
  *data = std::move(out);
  return true;
}

bool IsSymbolicLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace larkedi
