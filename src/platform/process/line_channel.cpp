#include "platform/process/line_channel.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

extern char** environ;

namespace larkedi::process {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
// A message line longer than this is a broken peer, not a message.
constexpr std::size_t kMaxLine = std::size_t{1} << 30;
// A side line longer than this is handed over in pieces.
constexpr std::size_t kMaxSideLine = 16 * 1024;

int MillisUntil(Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
  if (left.count() <= 0) return 0;
  // Wake at least once a second so a missed deadline arithmetic never blocks for long.
  return static_cast<int>(std::min<long long>(left.count(), 1000));
}

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

}  // namespace

LineChannel::LineChannel(int fd) : fd_(fd) {
  int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
}

LineChannel::~LineChannel() {
  Close();
}

LineChannel::LineChannel(LineChannel&& other) noexcept {
  *this = std::move(other);
}

LineChannel& LineChannel::operator=(LineChannel&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.fd_;
    side_fd_ = other.side_fd_;
    in_buf_ = std::move(other.in_buf_);
    side_buf_ = std::move(other.side_buf_);
    on_side_line_ = std::move(other.on_side_line_);
    other.fd_ = -1;
    other.side_fd_ = -1;
  }
  return *this;
}

void LineChannel::SetSideInput(int fd, std::function<void(const std::string&)> on_line) {
  CloseFd(side_fd_);
  side_fd_ = fd;
  on_side_line_ = std::move(on_line);
  int flags = ::fcntl(side_fd_, F_GETFL);
  if (flags >= 0) ::fcntl(side_fd_, F_SETFL, flags | O_NONBLOCK);
}

void LineChannel::Close() {
  FlushSideLines(true);
  CloseFd(fd_);
  CloseFd(side_fd_);
  in_buf_.clear();
}

void LineChannel::FlushSideLines(bool all) {
  std::size_t pos;
  while ((pos = side_buf_.find('\n')) != std::string::npos) {
    std::string line = side_buf_.substr(0, pos);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    side_buf_.erase(0, pos + 1);
    if (on_side_line_) on_side_line_(line);
  }
  if ((all && !side_buf_.empty()) || side_buf_.size() > kMaxSideLine) {
    if (on_side_line_) on_side_line_(side_buf_);
    side_buf_.clear();
  }
}

// Reads what the side input has now. Returns false once it is closed.
bool LineChannel::PumpSide() {
  if (side_fd_ < 0) return false;
  char buf[4096];
  for (;;) {
    ssize_t n = ::read(side_fd_, buf, sizeof buf);
    if (n > 0) {
      side_buf_.append(buf, static_cast<std::size_t>(n));
      FlushSideLines(false);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    FlushSideLines(true);
    CloseFd(side_fd_);
    return false;
  }
}

IoStatus LineChannel::WriteLine(std::string_view line, Clock::time_point deadline) {
  std::string data(line);
  data += '\n';
  return WriteBytes(data, deadline);
}

IoStatus LineChannel::WriteBytes(std::string_view data, Clock::time_point deadline) {
  if (fd_ < 0) return IoStatus::Closed;
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      return (errno == EPIPE || errno == ECONNRESET) ? IoStatus::Closed : IoStatus::Failed;
    }
    int wait = MillisUntil(deadline);
    if (wait == 0) return IoStatus::Timeout;
    pollfd fds[2] = {{fd_, POLLOUT, 0}, {side_fd_, POLLIN, 0}};
    int r = ::poll(fds, side_fd_ >= 0 ? 2 : 1, wait);
    if (r < 0 && errno != EINTR) return IoStatus::Failed;
    if (r > 0 && side_fd_ >= 0 && fds[1].revents) PumpSide();
  }
  return IoStatus::Ok;
}

IoStatus LineChannel::ReadLine(std::string* line, Clock::time_point deadline) {
  std::size_t scanned = 0;  // no line feed before this offset of in_buf_
  return Fill(
      [&]() -> bool {
        std::size_t pos = in_buf_.find('\n', scanned);
        if (pos == std::string::npos) {
          scanned = in_buf_.size();
          return false;
        }
        line->assign(in_buf_, 0, pos);
        if (!line->empty() && line->back() == '\r') line->pop_back();
        in_buf_.erase(0, pos + 1);
        return true;
      },
      true, deadline);
}

IoStatus LineChannel::ReadBytes(std::size_t count, std::string* out, Clock::time_point deadline) {
  return Fill(
      [&]() -> bool {
        if (in_buf_.size() < count) return false;
        out->assign(in_buf_, 0, count);
        in_buf_.erase(0, count);
        return true;
      },
      false, deadline);
}

// Receives into in_buf_ until `complete` takes what it needs from it.
IoStatus LineChannel::Fill(const std::function<bool()>& complete, bool line_limit,
                           Clock::time_point deadline) {
  for (;;) {
    if (complete()) return IoStatus::Ok;
    if (fd_ < 0) return IoStatus::Closed;
    char buf[kReadChunk];
    ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
    if (n > 0) {
      in_buf_.append(buf, static_cast<std::size_t>(n));
      if (line_limit && in_buf_.size() > kMaxLine && in_buf_.find('\n') == std::string::npos) {
        in_buf_.clear();
        return IoStatus::Failed;
      }
      continue;
    }
    if (n == 0) return IoStatus::Closed;
    if (errno == EINTR) continue;
    if (errno == ECONNRESET) return IoStatus::Closed;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return IoStatus::Failed;
    int wait = MillisUntil(deadline);
    if (wait == 0) return IoStatus::Timeout;
    pollfd fds[2] = {{fd_, POLLIN, 0}, {side_fd_, POLLIN, 0}};
    int r = ::poll(fds, side_fd_ >= 0 ? 2 : 1, wait);
    if (r < 0 && errno != EINTR) return IoStatus::Failed;
    if (r > 0 && side_fd_ >= 0 && fds[1].revents) PumpSide();
  }
}

void LineChannel::DrainSide(Clock::time_point deadline) {
  while (side_fd_ >= 0) {
    int wait = MillisUntil(deadline);
    if (wait == 0) break;
    pollfd fd{side_fd_, POLLIN, 0};
    int r = ::poll(&fd, 1, wait);
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && !PumpSide()) break;
  }
  FlushSideLines(true);
}

std::vector<std::string> SplitCommandLine(std::string_view command_line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false;
  for (char c : command_line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

bool SpawnWithChannel(const std::vector<std::string>& argv, SpawnedChild* child,
                      std::string* error) {
  if (argv.empty() || argv[0].empty()) {
    *error = "empty command line";
    return false;
  }
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
    *error = std::string("socketpair: ") + strerror(errno);
    return false;
  }
  int err_pipe[2];
  if (::pipe2(err_pipe, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + strerror(errno);
    ::close(sv[0]);
    ::close(sv[1]);
    return false;
  }

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, sv[1], 0);
  posix_spawn_file_actions_adddup2(&actions, sv[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGCHLD);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  int rc = argv[0].find('/') != std::string::npos
               ? ::posix_spawn(&pid, args[0], &actions, &attr, args.data(), environ)
               : ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  ::close(sv[1]);
  ::close(err_pipe[1]);
  if (rc != 0) {
    *error = "cannot start '" + argv[0] + "': " + strerror(rc);
    ::close(sv[0]);
    ::close(err_pipe[0]);
    return false;
  }
  child->pid = pid;
  child->channel_fd = sv[0];
  child->stderr_fd = err_pipe[0];
  return true;
}

bool ReapIfEnded(pid_t pid, int* status) {
  if (pid <= 0) return false;
  for (;;) {
    pid_t r = ::waitpid(pid, status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) {
      *status = 0;
      return true;  // not our child any more (reaped elsewhere): treat as ended
    }
    return false;
  }
}

int EndChild(pid_t pid, std::chrono::milliseconds wait) {
  int status = 0;
  if (pid <= 0) return status;
  auto deadline = Clock::now() + wait;
  while (Clock::now() < deadline) {
    if (ReapIfEnded(pid, &status)) return status;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ::kill(pid, SIGKILL);
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
}

std::string DescribeWaitStatus(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) {
    int sig = WTERMSIG(status);
    const char* name = strsignal(sig);
    return "signal " + std::to_string(sig) + (name ? std::string(" (") + name + ")" : "");
  }
  return "status " + std::to_string(status);
}

}  // namespace larkedi::process
