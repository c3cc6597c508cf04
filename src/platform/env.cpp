#include "platform/env.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>
#include <thread>

namespace larkedi {
namespace {

std::string Reason(const std::string& what, const std::string& path, int err) {
  return what + " " + path + ": " + std::strerror(err);
}

bool WriteAll(int fd, std::string_view data) {
  const char* p = data.data();
  std::size_t left = data.size();
  while (left > 0) {
    ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string TempSuffix() {
  static std::atomic<unsigned> counter{0};
  std::random_device rd;
  return ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(counter++) + "_" +
         std::to_string(rd() % 100000);
}

class PosixFileLock final : public FileLock {
 public:
  explicit PosixFileLock(int fd) : fd_(fd) {}
  ~PosixFileLock() override {
    ::flock(fd_, LOCK_UN);
    ::close(fd_);
  }
  PosixFileLock(const PosixFileLock&) = delete;
  PosixFileLock& operator=(const PosixFileLock&) = delete;

 private:
  int fd_;
};

class PosixEnv final : public Env {
 public:
  bool ReadFile(const std::string& path, std::string* data, std::string* error) override {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      if (error) *error = Reason("Cannot open", path, errno);
      return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd);
      if (error) *error = "Cannot read " + path + ": it is a folder";
      return false;
    }
    std::string out;
    if (st.st_size > 0) out.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    while (true) {
      ssize_t n = ::read(fd, buf, sizeof buf);
      if (n < 0) {
        if (errno == EINTR) continue;
        int e = errno;
        ::close(fd);
        if (error) *error = Reason("Cannot read", path, e);
        return false;
      }
      if (n == 0) break;
      out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    *data = std::move(out);
    return true;
  }

  bool WriteFileAtomic(const std::string& path, std::string_view data,
                       std::string* error) override {
    std::string temp = path + TempSuffix();
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (error) *error = Reason("Cannot create", path, errno);
      return false;
    }
    // A replaced file keeps its permissions (a settings file made read-only stays so).
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
    // A half-written temporary file is what a crash here leaves; the target is untouched.
    std::size_t half = data.size() / 2;
    bool ok = WriteAll(fd, data.substr(0, half));
    if (ok) CrashPoint("write-partial");
    ok = ok && WriteAll(fd, data.substr(half)) && ::fsync(fd) == 0;
    int e = errno;
    if (::close(fd) != 0 && ok) {
      ok = false;
      e = errno;
    }
    if (!ok) {
      ::unlink(temp.c_str());
      if (error) *error = Reason("Cannot write", path, e);
      return false;
    }
    CrashPoint("write-before-rename");
    if (::rename(temp.c_str(), path.c_str()) != 0) {
      e = errno;
      ::unlink(temp.c_str());
      if (error) *error = Reason("Cannot replace", path, e);
      return false;
    }
    SyncFolder(path);
    CrashPoint("write-renamed");
    return true;
  }

  bool AppendFile(const std::string& path, std::string_view data, std::string* error) override {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (error) *error = Reason("Cannot open", path, errno);
      return false;
    }
    bool ok = WriteAll(fd, data);
    int e = errno;
    ::close(fd);
    if (!ok && error) *error = Reason("Cannot write", path, e);
    return ok;
  }

  bool Exists(const std::string& path) override {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
  }

  bool IsDirectory(const std::string& path) override {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  }

  bool CreateDirectories(const std::string& path, std::string* error) override {
    if (path.empty()) return false;
    if (IsDirectory(path)) return true;
    std::string parent = DirName(path);
    if (parent != path && parent != "." && parent != "/" && !IsDirectory(parent)) {
      if (!CreateDirectories(parent, error)) return false;
    }
    if (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
      if (error) *error = Reason("Cannot create folder", path, errno);
      return false;
    }
    if (!IsDirectory(path)) {
      if (error) *error = "Cannot create folder " + path + ": a file has that name";
      return false;
    }
    return true;
  }

  bool RemoveFile(const std::string& path, std::string* error) override {
    CrashPoint("remove");
    if (::unlink(path.c_str()) != 0) {
      if (error) *error = Reason("Cannot delete", path, errno);
      return false;
    }
    return true;
  }

  bool RenameFile(const std::string& from, const std::string& to, std::string* error) override {
    CrashPoint("rename");
    if (::rename(from.c_str(), to.c_str()) != 0) {
      if (error) *error = Reason("Cannot rename", from, errno);
      return false;
    }
    SyncFolder(to);
    return true;
  }

  bool ListDirectory(const std::string& path, std::vector<std::string>* names,
                     std::string* error) override {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
      if (error) *error = Reason("Cannot read folder", path, errno);
      return false;
    }
    names->clear();
    while (struct dirent* e = ::readdir(dir)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      names->emplace_back(e->d_name);
    }
    ::closedir(dir);
    std::sort(names->begin(), names->end());
    return true;
  }

  int64_t ModificationTime(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return -1;
    return static_cast<int64_t>(st.st_mtime);
  }

  bool IsSymbolicLink(const std::string& path) override {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  }

  int64_t FileSize(const std::string& path) override {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    return static_cast<int64_t>(st.st_size);
  }

  int64_t Now() override { return static_cast<int64_t>(::time(nullptr)); }

  bool LockFile(const std::string& path, int timeout_ms, std::unique_ptr<FileLock>* lock,
                std::string* error) override {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
      if (error) *error = Reason("Cannot open the lock file", path, errno);
      return false;
    }
    // Polled rather than blocking, so a lock held by a hung process ends in an error instead
    // of a hang.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const int e = errno;
      if ((e != EWOULDBLOCK && e != EINTR) || std::chrono::steady_clock::now() >= deadline) {
        ::close(fd);
        if (error) {
          *error = e == EWOULDBLOCK ? path + " is held by another process (waited " +
                                          std::to_string(timeout_ms / 1000) + " s)"
                                    : Reason("Cannot lock", path, e);
        }
        return false;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    *lock = std::make_unique<PosixFileLock>(fd);
    return true;
  }

 private:
  static void SyncFolder(const std::string& path) {
    int fd = ::open(DirName(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
      ::fsync(fd);
      ::close(fd);
    }
  }
};

PosixEnv g_posix_env;
std::atomic<Env*> g_default{&g_posix_env};

}  // namespace

Env* Env::Default() {
  return g_default.load();
}

Env* Env::SetDefault(Env* env) {
  return g_default.exchange(env ? env : &g_posix_env);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string out(folder);
  while (out.size() > 1 && out.back() == '/') out.pop_back();
  while (!name.empty() && name.front() == '/') name.remove_prefix(1);
  if (out != "/") out += '/';
  out += name;
  return out;
}

std::string DirName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return ".";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string BaseName(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FindFileNoCase(std::string_view folder, std::string_view name) {
  std::string exact = JoinPath(folder, name);
  if (Env::Default()->Exists(exact)) return exact;
  std::vector<std::string> names;
  if (!Env::Default()->ListDirectory(std::string(folder), &names, nullptr)) return {};
  auto lower = [](std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
  };
  std::string wanted = lower(name);
  for (const auto& n : names) {
    if (lower(n) == wanted) return JoinPath(folder, n);
  }
  return {};
}

void CrashPoint(const char* step) {
  static const long crash_at = [] {
    const char* v = std::getenv("LARKEDI_CRASH_AT");
    return v ? std::strtol(v, nullptr, 10) : 0L;
  }();
  static const char* trace = std::getenv("LARKEDI_CRASH_TRACE");
  static std::atomic<long> count{0};
  if (crash_at <= 0 && !trace) return;
  long n = ++count;
  if (trace) {
    int fd = ::open(trace, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd >= 0) {
      std::string line = std::to_string(n) + " " + step + "\n";
      WriteAll(fd, line);
      ::close(fd);
    }
  }
  if (crash_at > 0 && n == crash_at) ::_exit(86);
}

}  // namespace larkedi
