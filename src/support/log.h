// The diagnostic log and the error record every operation fills when it fails.
#pragma once

#include <string>

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

/// Path of the log file: <module folder>/<module name>.log.
std::string LogPath();

}  // namespace larkedi
