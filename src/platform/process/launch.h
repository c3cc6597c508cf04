// Starting other programs: a legacy transmission program the send waits for, a web
// address opened in the user's browser. Programs are started with posix_spawn and an
// argument vector, never through a shell, so no character of a path or an argument is
// special. The working folder is set for the child only: the module never changes its own
// current folder, because the window server's threads run meanwhile.
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/err.h"

namespace larkedi::process {

/// The words of a command line as the host writes one: blanks separate words and double
/// quotes group them. An unquoted program path with blanks in it ("/opt/Send Tool/send -x")
/// is found the way the host finds it: the shortest run of leading words that names an
/// existing file is the program. Empty for a blank line.
std::vector<std::string> CommandLineWords(const std::string& command_line);

/// A started child. The destructor does not wait or kill: an unwaited child is reaped by a
/// background waiter so it never stays a zombie.
class StartedProcess {
 public:
  StartedProcess() = default;
  explicit StartedProcess(pid_t pid) : pid_(pid) {}
  ~StartedProcess();
  StartedProcess(StartedProcess&& other) noexcept : pid_(other.pid_) { other.pid_ = -1; }
  StartedProcess& operator=(StartedProcess&& other) noexcept;
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  /// False for a process that could not be started (the empty handle).
  explicit operator bool() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  /// Waits for the end, calling `between` after every `step_ms` that passes without it
  /// (the window lets its messages run there). Returns the wait status, -1 without a process.
  int Wait(const std::function<void()>& between, int step_ms = 100);

 private:
  pid_t pid_ = -1;
};

/// Starts `argv` (argv[0] is searched on PATH when it holds no '/'). `working_folder`, when
/// not empty, is the child's current folder. The empty handle with `err` set when the
/// program cannot be started (missing, not executable, bad folder).
StartedProcess StartProcess(const std::vector<std::string>& argv, const std::string& working_folder,
                            Err* err);

/// Starts the program of `command_line` from its own folder (the folder part of the
/// program path, when it has one) and waits for it, calling `between` every 100 ms.
/// True when a process was started (and has ended); `exit_status` gets its exit code
/// (128 + signal for a killed one), `err` why it could not start.
bool RunAndWait(const std::string& command_line, const std::function<void()>& between,
                int* exit_status, Err* err);

/// Opens `address` in the program the desktop associates with web pages: the program named
/// by LARKEDI_OPENER when set (tests point it at a recorder), else xdg-open. The program
/// gets the address as its only argument and is not waited for. True when it was started.
bool OpenWithAssociatedProgram(const std::string& address);

}  // namespace larkedi::process
