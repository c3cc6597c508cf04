// Requests sent without blocking the thread that starts them: the answer comes back as a
// task for that thread, a dropped request never reports, and curl stops a transfer whose
// abort flag is set.
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

// An HTTP client that holds every request until the test opens the gate.
class GateHttp final : public HttpClient {
 public:
  GateHttp() : previous_(HttpClient::SetDefault(this)) {}
  ~GateHttp() override { HttpClient::SetDefault(previous_); }

  HttpResponse Send(const HttpRequest& request) override {
    std::unique_lock<std::mutex> lock(mu_);
    ++arrived_;
    cv_.notify_all();
    cv_.wait(lock, [&] { return open_ || (request.abort && request.abort->load()); });
    HttpResponse r;
    if (!open_) {
      r.error = "aborted";
    } else {
      r.completed = true;
      r.status = 200;
      r.body = "<DATA>" + request.url + "</DATA>";
    }
    ++returned_;
    cv_.notify_all();
    return r;
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mu_);
    open_ = true;
    cv_.notify_all();
  }
  // Wait until `n` requests arrived or returned (false after a generous bound: the test
  // then fails).
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
  bool open_ = false;
  int arrived_ = 0;
  int returned_ = 0;
};

// Requests held by the gate; answers handed to the owner's user-interface loop.
class HttpFetchTest : public ::testing::Test {
 protected:
  bool Start(HttpFetch& fetch, const std::string& path) {
    HttpRequest request;
    request.url = "http://dealer.localhost/" + path;
    return fetch.Start(
        request, [this](std::function<void()> task) { loop.Post(std::move(task)); },
        [this](const HttpResponse& r) {
          delivered.push_back(r.body);
          ran_on.push_back(std::this_thread::get_id());
        });
  }
  void Drain(milliseconds wait) {
    while (loop.RunOnce(wait)) {
    }
  }
  GateHttp http;
  ui::UiLoop loop;
  std::vector<std::string> delivered;
  std::vector<std::thread::id> ran_on;
};

// The answer runs as a task of the starting thread; a new request drops the running one.
TEST_F(HttpFetchTest, OnlyTheLatestAnswerRunsAndItRunsOnTheStartingThread) {
  HttpFetch fetch;
  ASSERT_TRUE(Start(fetch, "first"));
  // Start returned while the server still holds the request: the thread is free.
  ASSERT_TRUE(http.WaitArrived(1));
  EXPECT_TRUE(fetch.Pending());
  ASSERT_TRUE(Start(fetch, "second"));
  ASSERT_TRUE(http.WaitArrived(2));
  http.Open();
  ASSERT_TRUE(http.WaitReturned(2));
  // Only the second answer is delivered, however the two threads ended.
  while (delivered.empty() && loop.RunOnce(std::chrono::seconds(20))) {
  }
  Drain(milliseconds(200));
  EXPECT_EQ(delivered, std::vector<std::string>{"<DATA>http://dealer.localhost/second</DATA>"});
  EXPECT_EQ(ran_on, std::vector<std::thread::id>{std::this_thread::get_id()});
  EXPECT_FALSE(fetch.Pending());
}

TEST_F(HttpFetchTest, ACancelledRequestNeverReportsAndIsAborted) {
  {
    HttpFetch fetch;
    ASSERT_TRUE(Start(fetch, "slow"));
    ASSERT_TRUE(http.WaitArrived(1));
  }  // destroyed while the request waits: the abort flag is set
  http.Poke();
  ASSERT_TRUE(http.WaitReturned(1)) << "the client saw the abort flag";
  Drain(milliseconds(300));
  EXPECT_TRUE(delivered.empty());
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
