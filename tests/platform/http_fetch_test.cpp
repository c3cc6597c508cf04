// Requests sent without blocking the thread that starts them: a dropped request never
// reports, and curl stops a transfer whose abort flag is set.
#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/http_client.h"
#include "platform/ui/ui_loop.h"

namespace larkedi {
namespace {

using std::chrono::milliseconds;

// An HTTP client that holds every request until its abort flag is set.
class GateHttp final : public HttpClient {
 public:
  GateHttp() : previous_(HttpClient::SetDefault(this)) {}
  ~GateHttp() override { HttpClient::SetDefault(previous_); }

  HttpResponse Send(const HttpRequest& request) override {
    std::unique_lock<std::mutex> lock(mu_);
    ++arrived_;
    cv_.notify_all();
    cv_.wait(lock, [&] { return request.abort && request.abort->load(); });
    ++returned_;
    cv_.notify_all();
    HttpResponse r;
    r.error = "aborted";
    return r;
  }
  // Waits until `n` requests arrived or returned (false after a generous bound).
  bool WaitArrived(int n) { return WaitFor(arrived_, n); }
  bool WaitReturned(int n) { return WaitFor(returned_, n); }
  // The abort flag reaches a client only through the request; pokes the waiting requests.
  void Poke() { cv_.notify_all(); }

 private:
  bool WaitFor(const int& count, int n) {
    std::unique_lock<std::mutex> lock(mu_);
    return cv_.wait_for(lock, std::chrono::seconds(20), [&] { return count >= n; });
  }
  HttpClient* previous_;
  std::mutex mu_;
  std::condition_variable cv_;
  int arrived_ = 0;
  int returned_ = 0;
};

// (An answer drawn as a task of the window's thread, and one arriving after the dealer left,
// are the status pages' tests.)
TEST(HttpFetch, ADroppedRequestNeverReportsAndIsAborted) {
  GateHttp http;
  ui::UiLoop loop;
  bool delivered = false;
  {
    HttpFetch fetch;
    HttpRequest request;
    request.url = "http://dealer.localhost/slow";
    for (int n = 1; n <= 2; ++n) {
      ASSERT_TRUE(fetch.Start(
          request, [&](std::function<void()> task) { loop.Post(std::move(task)); },
          [&](const HttpResponse&) { delivered = true; }));
      ASSERT_TRUE(http.WaitArrived(n));
    }
    // A new request drops the running one.
    http.Poke();
    ASSERT_TRUE(http.WaitReturned(1)) << "the first request saw its abort flag";
    EXPECT_TRUE(fetch.Pending());
  }  // destroyed while the second waits: its abort flag is set
  http.Poke();
  ASSERT_TRUE(http.WaitReturned(2)) << "the second request saw its abort flag";
  while (loop.RunOnce(milliseconds(300))) {
  }
  EXPECT_FALSE(delivered);
}

TEST(HttpSend, CurlStopsATransferWhoseAbortFlagIsSet) {
  // A server that never answers while the test runs.
  httplib::Server server;
  std::atomic<bool> release{false};
  server.Get("/stall", [&](const httplib::Request&, httplib::Response& res) {
    while (!release.load()) std::this_thread::sleep_for(milliseconds(20));
    res.set_content("late", "text/plain");
  });
  const int port = server.bind_to_any_port("127.0.0.1");
  ASSERT_GT(port, 0);
  std::thread serving([&] { server.listen_after_bind(); });

  auto abort = std::make_shared<std::atomic<bool>>(false);
  HttpRequest request;
  request.url = "http://127.0.0.1:" + std::to_string(port) + "/stall";
  request.total_timeout_ms = 600000;  // only the flag can end it
  request.abort = abort;
  std::thread stopper([&] {
    std::this_thread::sleep_for(milliseconds(300));
    abort->store(true);
  });
  HttpResponse response = HttpSend(request);
  stopper.join();
  EXPECT_FALSE(response.completed);
  EXPECT_EQ(response.error, "aborted");
  release = true;
  server.stop();
  serving.join();
}

}  // namespace
}  // namespace larkedi
