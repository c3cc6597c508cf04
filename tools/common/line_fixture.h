// The serving loop the fixture programs share: one JSON message per line on standard input,
// one answer per line on standard output (docs/automation-protocol.md), and a log file of
// what was handled, for tests to read.
#pragma once

#include <stdlib.h>

#include <cctype>
#include <functional>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "platform/env.h"

namespace larkedi::fixture {

/// Appends `line` to the log at `log_path`; nothing when no log was asked for.
inline void LogLine(const std::string& log_path, const std::string& line) {
  if (log_path.empty()) return;
  std::string error;
  Env::Default()->AppendFile(log_path, line + "\n", &error);
}

/// Writes one message as a line of standard output.
inline void SendLine(const nlohmann::json& message) {
  std::cout << message.dump() << "\n" << std::flush;
}

/// Member names are matched without regard to case.
inline std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

/// Reads the requests line by line until input ends or `handle` returns false; lines that
/// are not a JSON object are skipped. The crash points of a test are the module's, so they
/// are cleared first: the fixture runs to the end.
inline void ServeLines(const std::function<bool(const nlohmann::json&)>& handle) {
  std::ios::sync_with_stdio(false);
  ::unsetenv("LARKEDI_CRASH_AT");
  ::unsetenv("LARKEDI_CRASH_TRACE");
  std::string line;
  while (std::getline(std::cin, line)) {
    const nlohmann::json request = nlohmann::json::parse(line, nullptr, false);
    if (request.is_discarded() || !request.is_object()) continue;
    if (!handle(request)) return;
  }
}

}  // namespace larkedi::fixture
