// A started window server and the cookie its secret was exchanged for, for the window
// tests of this folder.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/window_server.h"
#include "testing/partner_sim.h"

namespace larkedi::ui {

/// One request over loopback with `cookie` (when given) and `headers`; a POST of JSON when
/// `body` is given.
inline testing::FetchResult Request(const std::string& url, const std::string& cookie,
                                    std::vector<std::string> headers = {},
                                    const std::string* body = nullptr) {
  testing::FetchRequest request;
  request.headers = std::move(headers);
  if (!cookie.empty()) request.headers.push_back("Cookie: " + cookie);
  if (body) {
    request.method = "POST";
    request.body = *body;
    request.content_type = "application/json";
  }
  return testing::Fetch(url, request);
}

class WindowFixture : public ::testing::Test {
 protected:
  void StartServer(const WindowOptions& options) {
    server_ = std::make_unique<WindowServer>(loop_, options);
    std::string error;
    ASSERT_TRUE(server_->Start(&error)) << error;
    base_ = "http://127.0.0.1:" + std::to_string(server_->port());
    testing::FetchResult first = testing::Fetch(server_->Address());
    ASSERT_EQ(first.status, 303);
    const std::string set = first.Header("Set-Cookie");
    cookie_ = set.substr(0, set.find(';'));
  }
  /// A GET with the window's cookie of `path` (or of a whole address).
  testing::FetchResult Get(const std::string& path) {
    return Request(path.rfind("http", 0) == 0 ? path : base_ + path, cookie_);
  }
  /// Runs the user-interface loop until nothing is queued.
  void Drain() {
    while (loop_.RunOnce(std::chrono::milliseconds(0))) {
    }
  }

  UiLoop loop_;
  std::unique_ptr<WindowServer> server_;
  std::string base_, cookie_;
};

}  // namespace larkedi::ui
