#include "platform/log_sink.h"

#include <atomic>

namespace larkedi {
namespace {
std::atomic<LogSink> g_sink{nullptr};
}

LogSink SetPlatformLogSink(LogSink sink) {
  return g_sink.exchange(sink);
}

void PlatformLog(const std::string& line) {
  if (LogSink sink = g_sink.load()) sink(line);
}

}  // namespace larkedi
