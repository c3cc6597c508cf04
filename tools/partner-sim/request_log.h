// Every request the simulator receives, appended to a file as one JSON object per line:
//   {"method":"POST","path":"/wsManufInfo.asmx","headers":[["SOAPAction","..."],...],
//    "body":"..."}
// Headers keep the spelling they arrived with (sorted by name). Written before the answer is
// sent, so a client that got its answer finds its request in the file.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace partnersim {

struct LoggedRequest {
  std::string method;
  std::string path;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
};

class RequestLog {
 public:
  /// An empty path logs nothing.
  explicit RequestLog(std::string path) : path_(std::move(path)) {}
  void Append(const LoggedRequest& request);

 private:
  std::string path_;
  std::mutex mutex_;
};

}  // namespace partnersim
