#include "request_log.h"

#include <nlohmann/json.hpp>

#include "platform/env.h"

namespace partnersim {

void RequestLog::Append(const LoggedRequest& request) {
  if (path_.empty()) return;
  nlohmann::json headers = nlohmann::json::array();
  for (const auto& [name, value] : request.headers) headers.push_back({name, value});
  nlohmann::json line = {{"method", request.method},
                         {"path", request.path},
                         {"headers", headers},
                         {"body", request.body}};
  // Bytes that are not UTF-8 are replaced rather than dropping the whole entry.
  std::string text = line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  std::lock_guard<std::mutex> lock(mutex_);
  larkedi::Env::Default()->AppendFile(path_, text, nullptr);
}

}  // namespace partnersim
