// Where the platform layer's diagnostic lines go. The platform sits below the module's log
// (which needs the module folder and the logging switch), so the log installs itself here
// as the sink; until it does, lines are dropped.
#pragma once

#include <string>

namespace larkedi {

using LogSink = void (*)(const std::string& line);

/// Installs the sink (nullptr drops lines again) and returns the previous one.
LogSink SetPlatformLogSink(LogSink sink);
/// Hands a diagnostic line to the sink, if one is installed.
void PlatformLog(const std::string& line);

}  // namespace larkedi
