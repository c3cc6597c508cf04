// An HTTP client for tests: records every request and answers from a queue, so a test can
// play a server that fails, stalls or answers nonsense without a network.
#pragma once

#include <deque>
#include <mutex>
#include <vector>

#include "platform/http_client.h"

namespace larkedi::testing {

class FakeHttp final : public HttpClient {
 public:
  /// Installs itself as the default client for its lifetime.
  FakeHttp() : previous_(HttpClient::SetDefault(this)) {}
  ~FakeHttp() override { HttpClient::SetDefault(previous_); }
  FakeHttp(const FakeHttp&) = delete;
  FakeHttp& operator=(const FakeHttp&) = delete;

  /// Queues a complete answer with this status and body.
  void Answer(long status, std::string body) {
    HttpResponse r;
    r.completed = true;
    r.status = status;
    r.body = std::move(body);
    Push(std::move(r));
  }
  /// Queues a transfer that failed (refused connection, time-out) with this reason.
  void FailWith(std::string error) {
    HttpResponse r;
    r.error = std::move(error);
    Push(std::move(r));
  }

  HttpResponse Send(const HttpRequest& request) override {
    std::lock_guard<std::mutex> lock(mu_);
    requests_.push_back(request);
    if (answers_.empty()) {
      HttpResponse r;
      r.error = "no answer queued";
      return r;
    }
    HttpResponse r = std::move(answers_.front());
    answers_.pop_front();
    return r;
  }

  std::vector<HttpRequest> Requests() const {
    std::lock_guard<std::mutex> lock(mu_);
    return requests_;
  }

 private:
  void Push(HttpResponse r) {
    std::lock_guard<std::mutex> lock(mu_);
    answers_.push_back(std::move(r));
  }

  HttpClient* previous_;
  mutable std::mutex mu_;
  std::deque<HttpResponse> answers_;
  std::vector<HttpRequest> requests_;
};

}  // namespace larkedi::testing
