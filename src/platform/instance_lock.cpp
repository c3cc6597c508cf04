#include "platform/instance_lock.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
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
  std::ostringstream out;
  out << "address=" << tag.address << "\nsecret=" << tag.secret << "\npid=" << ::getpid() << "\n";
  return Env::Default()->WriteFileAtomic(JoinPath(RuntimeFolder(), tag_name), out.str(), nullptr);
}

void RemoveWindowTag(const std::string& tag_name) {
  std::string path = JoinPath(RuntimeFolder(), tag_name);
  auto tag = ReadWindowTag(tag_name);
  if (tag && tag->pid == ::getpid()) ::unlink(path.c_str());
}

std::optional<WindowTag> ReadWindowTag(const std::string& tag_name) {
  std::string data;
  if (!Env::Default()->ReadFile(JoinPath(RuntimeFolder(), tag_name), &data, nullptr)) {
    return std::nullopt;
  }
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
