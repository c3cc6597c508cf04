#include "support/log.h"

#include "platform/env.h"
#include "platform/log_sink.h"
#include "support/module.h"

namespace larkedi {
namespace {
// The platform layer's diagnostic lines (automation objects, script workers) join this log.
const bool kSinkInstalled = (SetPlatformLogSink(&WriteLog), true);
}  // namespace

std::string LogPath() {
  return ModulePath(ModuleName() + ".log");
}

void WriteLog(const std::string& message) {
  if (!Module().LogEnabled) return;
  // Opened, written and closed on every call so the log survives a crash.
  if (message == "CLEAR") {
    Env::Default()->RemoveFile(LogPath(), nullptr);
    return;
  }
  Env::Default()->AppendFile(LogPath(), message + "\r\n", nullptr);
}

void LogError(const std::string& context, const Err& error) {
  WriteLog(context + "\r\nError number: " + std::to_string(error.Number) +
           "\r\nSource: " + error.Source + "\r\nError description: " + error.Description);
}

void LogError(const std::string& context, Err& error) {
  LogError(context, static_cast<const Err&>(error));
  error.Clear();
}

}  // namespace larkedi
