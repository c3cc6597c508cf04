// Line-oriented messages over a socket to a child process, with deadlines, and the
// helpers that start, stop and reap such children. Used by the automation objects served
// by other executables and by the script worker.
//
// Writes never raise SIGPIPE (the channel is a socket and is written with MSG_NOSIGNAL),
// and while a call waits it keeps draining the child's error output, so a child that fills
// that pipe never blocks the exchange.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace larkedi::process {

using Clock = std::chrono::steady_clock;

enum class IoStatus { Ok, Closed, Timeout, Failed };

class LineChannel {
 public:
  LineChannel() = default;
  /// Takes ownership of `fd` (a connected stream socket) and makes it non-blocking.
  explicit LineChannel(int fd);
  ~LineChannel();
  LineChannel(LineChannel&& other) noexcept;
  LineChannel& operator=(LineChannel&& other) noexcept;
  LineChannel(const LineChannel&) = delete;
  LineChannel& operator=(const LineChannel&) = delete;

  /// Also reads `fd` (takes ownership) whenever the channel waits, handing each complete
  /// line to `on_line`; used for the child's standard error.
  void SetSideInput(int fd, std::function<void(const std::string&)> on_line);

  /// Writes `line` and a line feed. Timeout when the peer does not take it in time.
  IoStatus WriteLine(std::string_view line, Clock::time_point deadline);
  /// Writes `data` as it is (no line feed): a payload announced by a line before it.
  IoStatus WriteBytes(std::string_view data, Clock::time_point deadline);
  /// Reads the next complete line (without its line feed). Closed at end of stream; Failed
  /// for a line beyond 1 GB.
  IoStatus ReadLine(std::string* line, Clock::time_point deadline);
  /// Reads exactly `count` bytes (a payload written with WriteBytes). Closed when the
  /// stream ends first.
  IoStatus ReadBytes(std::size_t count, std::string* out, Clock::time_point deadline);
  /// Reads what is left on the side input until it closes or the deadline passes.
  void DrainSide(Clock::time_point deadline);

  void Close();
  bool is_open() const { return fd_ >= 0; }
  int fd() const { return fd_; }

 private:
  bool PumpSide();
  IoStatus Fill(const std::function<bool()>& complete, bool line_limit, Clock::time_point deadline);
  void FlushSideLines(bool all);

  int fd_ = -1;
  int side_fd_ = -1;
  std::string in_buf_;
  std::string side_buf_;
  std::function<void(const std::string&)> on_side_line_;
};

/// Splits a command line into words: blanks separate words, double quotes group them.
/// No shell is involved and no other character is special.
std::vector<std::string> SplitCommandLine(std::string_view command_line);

struct SpawnedChild {
  pid_t pid = -1;
  int channel_fd = -1;  // the parent's end of the child's standard input and output
  int stderr_fd = -1;   // the read end of the child's standard error
};

/// Starts `argv[0]` (searched on PATH when it holds no '/') without a shell, its standard
/// input and output connected to one socket and its standard error to a pipe; every other
/// descriptor is closed in the child. False with `error` set when it cannot be started.
bool SpawnWithChannel(const std::vector<std::string>& argv, SpawnedChild* child,
                      std::string* error);

/// Waits up to `wait` for the child to end by itself, then kills it (SIGKILL) and reaps it.
/// Returns the wait status.
int EndChild(pid_t pid, std::chrono::milliseconds wait);
/// Non-blocking check: true (and `status` set) when the child has ended and was reaped.
bool ReapIfEnded(pid_t pid, int* status);
/// "exit status 3", "signal 9 (Killed)".
std::string DescribeWaitStatus(int status);

}  // namespace larkedi::process
