#include "platform/process/launch.h"

#include <errno.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform/process/line_channel.h"

extern char** environ;

namespace larkedi::process {

namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// Reaps `pid` on a thread of its own, for children nobody waits for.
void ReapInBackground(pid_t pid) {
  std::thread([pid] {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
}

int ExitCode(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}

}  // namespace

std::vector<std::string> CommandLineWords(const std::string& command_line) {
  std::vector<std::string> words = SplitCommandLine(command_line);
  if (words.size() < 2) return words;
  // A quoted program stands as it is; only an unquoted first word may need its neighbours.
  const std::size_t first = command_line.find_first_not_of(" \t");
  if (first != std::string::npos && command_line[first] == '"') return words;
  if (IsRegularFile(words[0])) return words;
  std::string program = words[0];
  for (std::size_t n = 1; n < words.size(); ++n) {
    program += " " + words[n];
    if (IsRegularFile(program)) {
      std::vector<std::string> joined{program};
      joined.insert(joined.end(), words.begin() + static_cast<std::ptrdiff_t>(n) + 1, words.end());
      return joined;
    }
  }
  return words;
}

StartedProcess::~StartedProcess() {
  if (pid_ > 0) ReapInBackground(pid_);
}

StartedProcess& StartedProcess::operator=(StartedProcess&& other) noexcept {
  if (this != &other) {
    if (pid_ > 0) ReapInBackground(pid_);
    pid_ = other.pid_;
    other.pid_ = -1;
  }
  return *this;
}

int StartedProcess::Wait(const std::function<void()>& between, int step_ms) {
  if (pid_ <= 0) return -1;
  const auto step = std::chrono::milliseconds(step_ms > 0 ? step_ms : 100);
  int status = 0;
  for (;;) {
    const pid_t done = ::waitpid(pid_, &status, WNOHANG);
    if (done == pid_) break;
    if (done < 0 && errno != EINTR) {
      status = -1;
      break;
    }
    if (done == 0) {
      std::this_thread::sleep_for(step);
      if (between) between();
    }
  }
  pid_ = -1;
  return status;
}

StartedProcess StartProcess(const std::vector<std::string>& argv, const std::string& working_folder,
                            Err* err) {
  if (err) err->Clear();
  if (argv.empty() || argv[0].empty()) {
    if (err) *err = Err::Raise(kErrGeneral, "StartProcess", "No program was given.");
    return {};
  }
  std::string program = argv[0];
  // A relative path with a folder part would be looked up from the child's new folder.
  if (program.find('/') != std::string::npos && program[0] != '/') {
    std::error_code ec;
    program = std::filesystem::absolute(program, ec).string();
  }
  std::vector<std::string> args = argv;
  std::vector<char*> raw;
  raw.reserve(args.size() + 1);
  for (std::string& a : args) raw.push_back(a.data());
  raw.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (!working_folder.empty()) {
    posix_spawn_file_actions_addchdir_np(&actions, working_folder.c_str());
  }
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK);

  pid_t pid = -1;
  const int rc = program.find('/') == std::string::npos
                     ? posix_spawnp(&pid, program.c_str(), &actions, &attr, raw.data(), environ)
                     : posix_spawn(&pid, program.c_str(), &actions, &attr, raw.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) {
    if (err) {
      *err = Err::Raise(kErrGeneral, "StartProcess",
                        "Cannot start " + argv[0] +
                            (working_folder.empty() ? "" : " in " + working_folder) + ": " +
                            std::strerror(rc));
    }
    return {};
  }
  return StartedProcess(pid);
}

bool RunAndWait(const std::string& command_line, const std::function<void()>& between,
                int* exit_status, Err* err) {
  if (exit_status) *exit_status = -1;
  const std::vector<std::string> words = CommandLineWords(command_line);
  if (words.empty()) {
    if (err) *err = Err::Raise(kErrGeneral, "RunAndWait", "The command line is empty.");
    return false;
  }
  std::string folder;
  if (const std::size_t slash = words[0].rfind('/'); slash != std::string::npos) {
    folder = slash == 0 ? "/" : words[0].substr(0, slash);
  }
  StartedProcess child = StartProcess(words, folder, err);
  if (!child) return false;
  const int status = child.Wait(between);
  if (exit_status) *exit_status = status < 0 ? -1 : ExitCode(status);
  return true;
}

bool OpenWithAssociatedProgram(const std::string& address) {
  const char* opener = std::getenv("LARKEDI_OPENER");
  const std::string program = opener && *opener ? opener : "xdg-open";
  Err err;
  StartedProcess child = StartProcess({program, address}, "", &err);
  return static_cast<bool>(child);  // reaped in the background when it ends
}

}  // namespace larkedi::process
