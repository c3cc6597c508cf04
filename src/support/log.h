// The diagnostic log and the error record every operation fills when it fails.
#pragma once

#include <string>
#include <utility>

#include "platform/err.h"

namespace larkedi {

/// Appends `message` and CR LF to the log when logging is on. "CLEAR" deletes the log
/// instead. Failures are ignored.
void WriteLog(const std::string& message);

/// Logs `context` and the error in four lines (context, "Error number: ", "Source: ",
/// "Error description: ") and clears the error.
void LogError(const std::string& context, Err& error);
/// The same for an error record the caller keeps.
void LogError(const std::string& context, const Err& error);

/// Marks a routine's boundaries in the log: "Entering " + `routine` when made and, when
/// `exiting` is given, "Exiting " + `exiting` when the scope ends (every exit path).
class LogScope {
 public:
  explicit LogScope(const std::string& routine, std::string exiting = {})
      : exiting_(std::move(exiting)) {
    WriteLog("Entering " + routine);
  }
  ~LogScope() {
    if (!exiting_.empty()) WriteLog("Exiting " + exiting_);
  }
  LogScope(const LogScope&) = delete;
  LogScope& operator=(const LogScope&) = delete;

 private:
  std::string exiting_;
};

/// Path of the log file: <module folder>/<module name>.log.
std::string LogPath();

}  // namespace larkedi
