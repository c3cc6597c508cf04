// Blocking HTTP requests through libcurl, with connect and total time-outs and a cap on
// what is read, so a slow or hostile server can neither hang nor flood the module.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
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
  /// When set, the transfer stops soon after the flag turns true (the answer is then an
  /// error "aborted").
  std::shared_ptr<const std::atomic<bool>> abort;
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

/// Runs a task on the thread that waits for an answer (the user-interface thread: the
/// window passes UiLoop::Post). Called from the fetch's own thread.
using PostTask = std::function<void(std::function<void()>)>;

/// One request sent through the default client on a thread of its own, so the thread that
/// starts it (the user-interface thread) never waits for the network. When the answer, or
/// the reason there is none, has come, a task that calls `done` is handed to `post`; `done`
/// thus runs on the thread that runs the posted tasks.
///
/// Cancel, a new Start or the destructor drops the request: its `done` never runs, its
/// transfer is stopped, and `post` is not called once they have returned (so `post` and
/// whatever `done` uses need to live only as long as the fetch). Start, Cancel, the
/// destructor and the posted task belong to one thread.
class HttpFetch {
 public:
  using Done = std::function<void(const HttpResponse&)>;

  HttpFetch() = default;
  ~HttpFetch() { Cancel(); }
  HttpFetch(const HttpFetch&) = delete;
  HttpFetch& operator=(const HttpFetch&) = delete;

  /// Drops any running request and starts `request`. False with `error` set when no thread
  /// could be started (nothing is posted then).
  bool Start(HttpRequest request, PostTask post, Done done, std::string* error = nullptr);
  /// Drops the running request, if any.
  void Cancel();
  /// True from Start until `done` was called or the request dropped.
  bool Pending() const;

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace larkedi
