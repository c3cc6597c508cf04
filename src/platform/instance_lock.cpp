#include "platform/instance_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <sstream>

#include "platform/env.h"

namespace larkedi {
namespace {

std::map<std::string, int>& HeldLocks() {
  static std::map<std::string, int> locks;
  return locks;
}

}  // namespace

std::string RuntimeFolder() {
  for (const char* var : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
    const char* v = std::getenv(var);
    if (v && *v && Env::Default()->IsDirectory(v)) return v;
  }
  return "/tmp";
}

bool AcquireInstanceLock(const std::string& name) {
  auto& held = HeldLocks();
  if (held.count(name)) return true;
  std::string path = JoinPath(RuntimeFolder(), name + ".lock");
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return !busy;
  }
  held[name] = fd;
  return true;
}

void ReleaseInstanceLock(const std::string& name) {
  auto& held = HeldLocks();
  auto it = held.find(name);
  if (it == held.end()) return;
  ::flock(it->second, LOCK_UN);
  ::close(it->second);
  held.erase(it);
}

bool WriteWindowTag(const std::string& tag_name, const WindowTag& tag) {
  // The tag holds the window's secret: only this user may read it. The file is made (or
  // kept) 0600 before the atomic write, whose new file takes over the old one's mode.
  const std::string path = JoinPath(RuntimeFolder(), tag_name);
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  struct stat st {};
  const bool ours = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::getuid() &&
                    ::fchmod(fd, 0600) == 0;
  ::close(fd);
  if (!ours) return false;
  std::ostringstream out;
  out << "address=" << tag.address << "\nsecret=" << tag.secret << "\npid=" << ::getpid() << "\n";
  return Env::Default()->WriteFileAtomic(path, out.str(), nullptr);
}

void RemoveWindowTag(const std::string& tag_name) {
  std::string path = JoinPath(RuntimeFolder(), tag_name);
  auto tag = ReadWindowTag(tag_name);
  if (tag && tag->pid == ::getpid()) ::unlink(path.c_str());
}

std::optional<WindowTag> ReadWindowTag(const std::string& tag_name) {
  const std::string path = JoinPath(RuntimeFolder(), tag_name);
  // Only a tag this user wrote counts: another user's file in a shared temp folder is
  // nobody's window.
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid()) {
    return std::nullopt;
  }
  std::string data;
  if (!Env::Default()->ReadFile(path, &data, nullptr)) return std::nullopt;
  WindowTag tag;
  std::istringstream in(data);
  std::string line;
  while (std::getline(in, line)) {
    auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    std::string key = line.substr(0, eq), value = line.substr(eq + 1);
    if (key == "address") tag.address = value;
    if (key == "secret") tag.secret = value;
    if (key == "pid") tag.pid = std::strtol(value.c_str(), nullptr, 10);
  }
  // A tag left by a process that ended is no window at all.
  if (tag.address.empty() || tag.pid <= 0) return std::nullopt;
  if (::kill(static_cast<pid_t>(tag.pid), 0) != 0 && errno == ESRCH) return std::nullopt;
  return tag;
}

}  // namespace larkedi
