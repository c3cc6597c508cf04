// The diagnostic log and the error record every operation fills when it fails.
#pragma once

#include <string>

namespace larkedi {

/// An error as operations report it: number, source (the routine) and description.
/// Number 0 means no error.
struct Err {
  long Number = 0;
  std::string Source;
  std::string Description;

  explicit operator bool() const { return Number != 0; }
  void Clear() { *this = Err{}; }
  static Err Raise(long number, std::string source, std::string description) {
    return Err{number, std::move(source), std::move(description)};
  }
};

/// Error numbers the module raises itself: component and parse failures, and others.
constexpr long kErrComponent = 9000;
constexpr long kErrGeneral = 1000;

/// Appends `message` and CR LF to the log when logging is on. "CLEAR" deletes the log
/// instead. Failures are ignored.
void WriteLog(const std::string& message);

/// Logs `context` and the error in four lines (context, "Error number: ", "Source: ",
/// "Error description: ") and clears the error.
void LogError(const std::string& context, Err& error);
/// The same for an error record the caller keeps.
void LogError(const std::string& context, const Err& error);

/// Path of the log file: <module folder>/<module name>.log.
std::string LogPath();

}  // namespace larkedi
