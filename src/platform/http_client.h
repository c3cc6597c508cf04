// Blocking HTTP requests through libcurl, with connect and total time-outs and a cap on
// what is read, so a slow or hostile server can neither hang nor flood the module.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace larkedi {

struct HttpRequest {
  std::string method = "GET";
  std::string url;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  long connect_timeout_ms = 5000;
  long total_timeout_ms = 20000;
  /// Bodies longer than this end the transfer with an error.
  std::size_t max_response_bytes = 8u << 20;
  /// A file of certificate authorities to trust instead of the system's (a private
  /// authority); empty for the system's. Certificates are always verified.
  std::string ca_file;
};

struct HttpResponse {
  /// True when a complete HTTP answer arrived (whatever its status code).
  bool completed = false;
  long status = 0;
  std::string body;
  std::string content_type;
  /// Why the request did not complete.
  std::string error;
};

/// Where the module's HTTP requests go: libcurl, or a test double.
class HttpClient {
 public:
  virtual ~HttpClient() = default;

  /// The process-wide client (libcurl unless a test installed another).
  static HttpClient* Default();
  /// Installs `client` (not owned) as the default and returns the previous one; nullptr
  /// restores libcurl.
  static HttpClient* SetDefault(HttpClient* client);

  /// Sends the request and waits for the answer (or a time-out). `completed` tells whether an
  /// HTTP answer arrived; `error` says why not. Never throws. May be called from any thread.
  virtual HttpResponse Send(const HttpRequest& request) = 0;
};

/// Sends the request through the default client.
HttpResponse HttpSend(const HttpRequest& request);

}  // namespace larkedi
