#include "platform/ui/window_server.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/page_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi::ui {
namespace {

using std::chrono::milliseconds;

struct Reply {
  long status = 0;
  std::string body;
  std::map<std::string, std::string> headers;  // lower-case names
};

std::size_t Collect(char* data, std::size_t size, std::size_t n, void* out) {
  static_cast<std::string*>(out)->append(data, size * n);
  return size * n;
}

std::size_t CollectHeader(char* data, std::size_t size, std::size_t n, void* out) {
  std::string line(data, size * n);
  std::size_t colon = line.find(':');
  if (colon != std::string::npos) {
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::string value = line.substr(colon + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
    while (!value.empty() && value.front() == ' ') value.erase(0, 1);
    (*static_cast<std::map<std::string, std::string>*>(out))[name] = value;
  }
  return size * n;
}

// One request over loopback. The path is sent as given (no dot-segment clean-up).
Reply Http(const std::string& url, const std::vector<std::string>& headers = {},
           const std::string* post = nullptr) {
  Reply reply;
  CURL* curl = curl_easy_init();
  curl_slist* list = nullptr;
  for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
  if (post) list = curl_slist_append(list, "Content-Type: application/json");
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &reply.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, CollectHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &reply.headers);
  if (post) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, post->c_str());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(post->size()));
  }
  if (curl_easy_perform(curl) == CURLE_OK) {
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply.status);
  }
  curl_slist_free_all(list);
  curl_easy_cleanup(curl);
  return reply;
}

// The page's event stream, read on a thread of its own until Close().
class Stream {
 public:
  Stream(const std::string& url, const std::string& cookie) {
    thread_ = std::thread([this, url, cookie] {
      CURL* curl = curl_easy_init();
      curl_slist* list = curl_slist_append(nullptr, ("Cookie: " + cookie).c_str());
      curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
      curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
      curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
      curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Stream::Write);
      curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
      curl_easy_perform(curl);
      curl_slist_free_all(list);
      curl_easy_cleanup(curl);
      ended_ = true;
    });
  }
  ~Stream() { Close(); }

  /// Waits (at most a few seconds) until the stream has carried `text`.
  bool WaitFor(const std::string& text) {
    for (int i = 0; i < 500; ++i) {
      {
        std::lock_guard<std::mutex> lock(mu_);
        if (data_.find(text) != std::string::npos) return true;
      }
      std::this_thread::sleep_for(milliseconds(10));
    }
    return false;
  }
  std::string data() {
    std::lock_guard<std::mutex> lock(mu_);
    return data_;
  }
  void Close() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  static std::size_t Write(char* data, std::size_t size, std::size_t n, void* self) {
    auto* s = static_cast<Stream*>(self);
    if (s->stop_) return 0;  // ends the transfer
    std::lock_guard<std::mutex> lock(s->mu_);
    s->data_.append(data, size * n);
    return size * n;
  }
  std::thread thread_;
  std::mutex mu_;
  std::string data_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> ended_{false};
};

class WindowServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = testing::MakeTempDir();
    html_ = root_ + "/html";
    std::filesystem::create_directories(html_ + "/sub");
    testing::WriteFileOrDie(html_ + "/window.htm", "<html><body>window page</body></html>");
    testing::WriteFileOrDie(html_ + "/larkedi.css", "body{}");
    testing::WriteFileOrDie(html_ + "/sub/inner.css", "p{}");
    testing::WriteFileOrDie(html_ + "/page.xsl", "<xsl/>");
    testing::WriteFileOrDie(html_ + "/.hidden.css", "hidden");
    testing::WriteFileOrDie(root_ + "/secret.css", "TOP-SECRET");
    std::filesystem::create_symlink(root_ + "/secret.css", html_ + "/link.css");
    WindowOptions options;
    options.html_dir = html_;
    options.page_gone_after = milliseconds(300);
    options.heartbeat = milliseconds(50);
    server_ = std::make_unique<WindowServer>(loop_, options);
    server_->SetEventHandler([this](const PageEvent& e) {
      events_.push_back(e);
      return false;
    });
    server_->SetCloseHandler([this](CloseReason r) { closes_.push_back(r); });
    std::string error;
    ASSERT_TRUE(server_->Start(&error)) << error;
    base_ = "http://127.0.0.1:" + std::to_string(server_->port());
    host_ = "127.0.0.1:" + std::to_string(server_->port());
  }
  void TearDown() override {
    server_.reset();
    std::filesystem::remove_all(root_);
  }

  std::string Cookie() {
    Reply r = Http(server_->Address());
    EXPECT_EQ(r.status, 303);
    std::string set = r.headers["set-cookie"];
    return set.substr(0, set.find(';'));
  }
  Reply Get(const std::string& path, const std::string& cookie,
            std::vector<std::string> headers = {}) {
    headers.push_back("Cookie: " + cookie);
    return Http(base_ + path, headers);
  }
  Reply PostJson(const std::string& path, const std::string& cookie, const std::string& body,
                 std::vector<std::string> headers = {}) {
    headers.push_back("Cookie: " + cookie);
    return Http(base_ + path, headers, &body);
  }
  // Runs the user-interface loop until nothing is queued.
  void Drain() {
    while (loop_.RunOnce(milliseconds(0))) {
    }
  }

  UiLoop loop_;
  std::unique_ptr<WindowServer> server_;
  std::string root_, html_, base_, host_;
  std::vector<PageEvent> events_;
  std::vector<CloseReason> closes_;
};

TEST_F(WindowServerTest, TheSecretIsExchangedOnceForAStrictHttpOnlyCookie) {
  EXPECT_GE(server_->secret().size(), 32u);  // at least 128 bits
  WindowServer other(loop_, WindowOptions{});
  ASSERT_TRUE(other.Start());
  EXPECT_NE(other.secret(), server_->secret());

  EXPECT_EQ(Http(base_ + "/").status, 403);
  EXPECT_EQ(Http(base_ + "/window.htm").status, 403);
  Reply wrong = Http(base_ + "/?s=" + std::string(server_->secret().size(), 'a'));
  EXPECT_EQ(wrong.status, 403);
  EXPECT_EQ(wrong.headers.count("set-cookie"), 0u);
  EXPECT_EQ(Http(base_ + "/?s=").status, 403);

  Reply first = Http(server_->Address());
  EXPECT_EQ(first.status, 303);
  EXPECT_EQ(first.headers["location"], "/");
  std::string set = first.headers["set-cookie"];
  EXPECT_NE(set.find("HttpOnly"), std::string::npos);
  EXPECT_NE(set.find("SameSite=Strict"), std::string::npos);
  EXPECT_EQ(set.find(server_->secret()), std::string::npos);
  std::string cookie = set.substr(0, set.find(';'));

  Reply page = Get("/", cookie);
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.body, "<html><body>window page</body></html>");
  EXPECT_EQ(page.headers["content-type"], "text/html; charset=utf-8");
  std::string csp = page.headers["content-security-policy"];
  EXPECT_NE(csp.find("default-src 'self'"), std::string::npos);
  EXPECT_NE(csp.find("script-src 'self';"), std::string::npos);
  EXPECT_NE(csp.find("frame-ancestors 'self'"), std::string::npos);
  EXPECT_EQ(page.headers["cache-control"], "no-store");
  EXPECT_EQ(page.headers["x-content-type-options"], "nosniff");

  std::string altered = cookie;
  altered.back() = altered.back() == '0' ? '1' : '0';
  EXPECT_EQ(Get("/", altered).status, 403);
  EXPECT_EQ(Get("/", "other=" + cookie.substr(cookie.find('=') + 1)).status, 403);
  // Refusals carry the same headers.
  Reply refused = Http(base_ + "/larkedi.css");
  EXPECT_EQ(refused.status, 403);
  EXPECT_EQ(refused.headers["cache-control"], "no-store");
}

TEST_F(WindowServerTest, ForeignHostsAndOriginsAreRefused) {
  std::string cookie = Cookie();
  std::string port = std::to_string(server_->port());
  EXPECT_EQ(Get("/larkedi.css", cookie).status, 200);
  EXPECT_EQ(Get("/larkedi.css", cookie, {"Host: localhost:" + port}).status, 200);
  EXPECT_EQ(Get("/larkedi.css", cookie, {"Host: attacker.example:" + port}).status, 403);
  EXPECT_EQ(Get("/larkedi.css", cookie, {"Host: 127.0.0.1"}).status, 403);
  EXPECT_EQ(Get("/larkedi.css", cookie, {"Host: 127.0.0.1:1"}).status, 403);
  // A rebound name cannot even exchange the secret.
  EXPECT_EQ(Http(server_->Address(), {"Host: attacker.example:" + port}).status, 403);

  const std::string click =
      R"({"frame":"fDocB","kind":"click","id":"x1","tag":"BUTTON","type":"submit"})";
  EXPECT_EQ(PostJson("/event", cookie, click, {"Origin: http://attacker.example"}).status, 403);
  EXPECT_EQ(PostJson("/event", cookie, click, {"Origin: null"}).status, 403);
  EXPECT_EQ(PostJson("/event", cookie, click, {"Origin: http://127.0.0.1:" + port + "0"}).status,
            403);
  Drain();
  EXPECT_TRUE(events_.empty());

  EXPECT_EQ(PostJson("/event", cookie, click, {"Origin: http://127.0.0.1:" + port}).status, 200);
  Drain();
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].id, "x1");
  EXPECT_EQ(events_[0].tag, "button");
}

TEST_F(WindowServerTest, OnlyFilesInsideTheHtmlFolderAreServed) {
  std::string cookie = Cookie();
  Reply css = Get("/larkedi.css", cookie);
  EXPECT_EQ(css.status, 200);
  EXPECT_EQ(css.headers["content-type"], "text/css; charset=utf-8");
  EXPECT_EQ(Get("/sub/inner.css", cookie).body, "p{}");

  for (const char* path :
       {"/../secret.css", "/%2e%2e/secret.css", "/%2E%2E%2Fsecret.css", "/sub/../../secret.css",
        "/sub/%2e%2e/%2e%2e/secret.css", "//etc/passwd", "/%2Fetc%2Fpasswd", "/link.css",
        "/.hidden.css", "/page.xsl", "/nosuch.css", "/sub", "/sub/", "/sub\\inner.css"}) {
    Reply r = Get(path, cookie);
    EXPECT_TRUE(r.status == 403 || r.status == 404) << path << " gave " << r.status;
    EXPECT_EQ(r.body.find("TOP-SECRET"), std::string::npos) << path;
    EXPECT_EQ(r.body.find("root:"), std::string::npos) << path;
  }
  EXPECT_EQ(testing::ReadFileOrEmpty(root_ + "/secret.css"), "TOP-SECRET");

  std::string resolved;
  EXPECT_TRUE(ResolveStaticPath(html_, "/sub/inner.css", &resolved));
  EXPECT_EQ(resolved, std::filesystem::canonical(html_ + "/sub/inner.css").string());
  EXPECT_FALSE(ResolveStaticPath(html_, "/link.css", &resolved));
  EXPECT_FALSE(ResolveStaticPath(html_, "sub/inner.css", &resolved));
  EXPECT_FALSE(ResolveStaticPath(html_, "/sub/./inner.css", &resolved));
}

TEST_F(WindowServerTest, EventsCarryTheFormStateIntoTheModelBeforeDispatch) {
  FrameModel& page = *server_->Frame("fDocB");
  ASSERT_TRUE(page.LoadHtml(R"(<html><body><form id="f1">
      <input type="checkbox" id="ordercheck5"/><input id="ponumber3" value="old"/></form>
      </body></html>)"));
  bool checked_at_dispatch = false;
  std::string value_at_dispatch;
  server_->SetEventHandler([&](const PageEvent& e) {
    events_.push_back(e);
    checked_at_dispatch = page.GetElementById("ordercheck5").checked();
    value_at_dispatch = page.GetElementById("ponumber3").value();
    return false;
  });
  std::string cookie = Cookie();
  Reply r = PostJson("/event", cookie, R"({"frame":"fDocB","kind":"click","id":"ordercheck5",
      "tag":"INPUT","type":"checkbox","form":"f1","controls":[
      {"id":"ordercheck5","checked":true},{"id":"ponumber3","value":"PO <7>"}]})");
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(events_.empty());  // nothing runs on the server's threads
  Drain();
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].kind, EventKind::Click);
  EXPECT_EQ(events_[0].frame, "fDocB");
  EXPECT_EQ(events_[0].form, "f1");
  EXPECT_EQ(events_[0].type, "checkbox");
  EXPECT_TRUE(checked_at_dispatch);
  EXPECT_EQ(value_at_dispatch, "PO <7>");

  EXPECT_EQ(PostJson("/event", cookie, R"({"frame":"fDocZ","kind":"click"})").status, 400);
  EXPECT_EQ(PostJson("/event", cookie, R"({"frame":"fDocB","kind":"dblclick"})").status, 400);
  EXPECT_EQ(PostJson("/event", cookie, "not json").status, 400);
  Drain();
  EXPECT_EQ(events_.size(), 1u);
}

TEST_F(WindowServerTest, ClicksArrivingWhileAnOperationRunsAreDropped) {
  std::string cookie = Cookie();
  Reply during;
  loop_.Post([&] {
    std::thread page([&] {
      during = PostJson("/event", cookie, R"({"frame":"fDocB","kind":"click","id":"b1"})");
    });
    page.join();
  });
  Drain();
  EXPECT_EQ(during.status, 200);
  EXPECT_NE(during.body.find("\"queued\":false"), std::string::npos);
  EXPECT_TRUE(events_.empty());
  // A document-complete event is never dropped.
  loop_.Post([&] {
    std::thread page(
        [&] { PostJson("/event", cookie, R"({"frame":"window","kind":"complete"})"); });
    page.join();
  });
  Drain();
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].kind, EventKind::Complete);
}

TEST_F(WindowServerTest, AConnectingPageGetsTheWholeStateThenPatches) {
  FrameModel& page = *server_->Frame("fDocB");
  page.LoadHtml("<html><body><span id=\"counter\">clicks: 0</span></body></html>");
  std::string cookie = Cookie();
  Stream stream(base_ + "/events?page=p1", cookie);
  ASSERT_TRUE(stream.WaitFor("\"op\":\"state\""));
  EXPECT_NE(stream.data().find("clicks: 0"), std::string::npos);
  EXPECT_NE(stream.data().find("\"name\":\"fDocC\""), std::string::npos);
  EXPECT_NE(stream.data().find("menubar"), std::string::npos);
  EXPECT_TRUE(server_->PageConnected());

  page.GetElementById("counter").setInnerText("clicks: <1>");
  ASSERT_TRUE(stream.WaitFor("\"target\":\"counter\""));
  EXPECT_NE(stream.data().find("clicks: &lt;1&gt;"), std::string::npos);
  stream.Close();

  // A page that connects again sees the current state, not the first one.
  Stream again(base_ + "/events?page=p1", cookie);
  ASSERT_TRUE(again.WaitFor("\"op\":\"state\""));
  EXPECT_NE(again.data().find("clicks: &lt;1&gt;"), std::string::npos);
  EXPECT_EQ(again.data().find("clicks: 0"), std::string::npos);
  EXPECT_EQ(server_->connections(), 2);
}

// Answers the first dialog of a fresh window from another thread, as the page would.
void AnswerFromThePage(const std::string& base, const std::string& cookie,
                       const std::string& answer, std::atomic<long>* status) {
  for (int i = 0; i < 500; ++i) {
    Reply r = Http(base + "/answer", {"Cookie: " + cookie}, &answer);
    *status = r.status;
    if (r.status != 404) return;
    std::this_thread::sleep_for(milliseconds(10));
  }
}

TEST_F(WindowServerTest, ADialogAnswerFromThePageReachesTheWaitingOperation) {
  std::string cookie = Cookie();
  PageDialogs dialogs(*server_);
  std::atomic<long> status{0};
  std::atomic<long> refused{0};
  std::thread page([&] {
    // A button the box does not offer is refused and the box stays open.
    AnswerFromThePage(base_, cookie, R"({"dialog":1,"button":"ok"})", &refused);
    AnswerFromThePage(base_, cookie, R"({"dialog":1,"button":"no"})", &status);
  });
  MsgResult r = dialogs.MsgBoxWithDefault("Send now?", MsgButtons::YesNoCancel, MsgIcon::Question,
                                          "LarkEDI", 1);
  page.join();
  EXPECT_EQ(refused, 400);
  EXPECT_EQ(status, 200);
  EXPECT_EQ(r, MsgResult::No);

  std::thread typed([&] {
    AnswerFromThePage(base_, cookie, R"({"dialog":2,"button":"ok","text":"PO 42"})", &status);
  });
  std::optional<std::string> text = dialogs.InputBox("Number:", "LarkEDI", "PO");
  typed.join();
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, "PO 42");

  std::thread closed(
      [&] { AnswerFromThePage(base_, cookie, R"({"dialog":3,"button":"cancel"})", &status); });
  EXPECT_FALSE(dialogs.InputBox("Number:", "LarkEDI", "PO").has_value());
  closed.join();
}

TEST_F(WindowServerTest, APickerBrowsesFoldersAndAcceptsOnlyAnExistingFolder) {
  std::string cookie = Cookie();
  EXPECT_EQ(Get("/fs?path=" + root_, cookie).status, 403);  // no picker open
  PageDialogs dialogs(*server_);
  std::atomic<long> missing{0}, listed{0}, status{0};
  std::string listing;
  std::thread page([&] {
    AnswerFromThePage(base_, cookie,
                      R"({"dialog":1,"button":"ok","text":")" + root_ + R"(/nosuch"})", &missing);
    Reply r = Get("/fs?path=" + root_ + "&files=1&filter=*.CSS", cookie);
    listed = r.status;
    listing = r.body;
    AnswerFromThePage(base_, cookie, R"({"dialog":1,"button":"ok","text":")" + html_ + R"("})",
                      &status);
  });
  std::optional<std::string> folder = dialogs.PickFolder("Choose", root_);
  page.join();
  EXPECT_EQ(missing, 400);
  EXPECT_EQ(listed, 200);
  EXPECT_NE(listing.find("\"folders\":[\"html\"]"), std::string::npos) << listing;
  EXPECT_NE(listing.find("\"files\":[\"secret.css\"]"), std::string::npos) << listing;
  ASSERT_TRUE(folder.has_value());
  EXPECT_EQ(*folder, html_);
}

TEST_F(WindowServerTest, ALostPageCancelsTheDialogAndClosesTheWindow) {
  std::string cookie = Cookie();
  PageDialogs dialogs(*server_);
  auto stream = std::make_unique<Stream>(base_ + "/events?page=p1", cookie);
  ASSERT_TRUE(stream->WaitFor("\"op\":\"state\""));
  std::thread lose([&] {
    ASSERT_TRUE(stream->WaitFor("\"op\":\"dialog\""));
    stream->Close();
  });
  MsgResult r = dialogs.MsgBox("Save?", MsgButtons::YesNo, MsgIcon::Question, "LarkEDI");
  lose.join();
  EXPECT_EQ(r, MsgResult::No);  // never Yes
  loop_.RunUntil([&] { return !closes_.empty(); }, milliseconds(20));
  ASSERT_EQ(closes_.size(), 1u);
  EXPECT_EQ(closes_[0], CloseReason::PageGone);
  EXPECT_TRUE(server_->closed());
  // Gone is gone: later dialogs do not wait for a page.
  EXPECT_EQ(dialogs.MsgBox("Again?", MsgButtons::OKCancel, MsgIcon::None, ""), MsgResult::Cancel);
}

TEST_F(WindowServerTest, AReloadedPageCancelsTheDialogItWasShowing) {
  std::string cookie = Cookie();
  PageDialogs dialogs(*server_);
  Stream first(base_ + "/events?page=before", cookie);
  ASSERT_TRUE(first.WaitFor("\"op\":\"state\""));
  std::unique_ptr<Stream> second;
  std::thread reload([&] {
    ASSERT_TRUE(first.WaitFor("\"op\":\"dialog\""));
    second = std::make_unique<Stream>(base_ + "/events?page=after", cookie);
  });
  MsgResult r = dialogs.MsgBox("Continue?", MsgButtons::OKCancel, MsgIcon::Exclamation, "");
  reload.join();
  EXPECT_EQ(r, MsgResult::Cancel);
  EXPECT_TRUE(closes_.empty());
}

TEST_F(WindowServerTest, ACloseRequestTellsThePageAndTheModuleOnce) {
  std::string cookie = Cookie();
  Stream stream(base_ + "/events?page=p1", cookie);
  ASSERT_TRUE(stream.WaitFor("\"op\":\"state\""));
  server_->RequestClose();
  server_->RequestClose();
  ASSERT_TRUE(stream.WaitFor("\"op\":\"close\""));
  Drain();
  ASSERT_EQ(closes_.size(), 1u);
  EXPECT_EQ(closes_[0], CloseReason::Requested);
}

TEST_F(WindowServerTest, PrintPreviewAndTheSecondPanelReachThePage) {
  std::string cookie = Cookie();
  Stream stream(base_ + "/events?page=p1", cookie);
  ASSERT_TRUE(stream.WaitFor("\"op\":\"state\""));

  server_->PrintPreview(
      "<table id=\"t\"><tr><td>Order 7</td></tr></table>"
      "<script>steal()</script>");
  ASSERT_TRUE(stream.WaitFor("\"op\":\"print\""));
  ASSERT_NE(stream.data().find("\"url\":\"/print/1\""), std::string::npos);
  Reply print = Get("/print/1", cookie);
  EXPECT_EQ(print.status, 200);
  EXPECT_NE(print.body.find("Order 7"), std::string::npos);
  EXPECT_EQ(print.body.find("steal()"), std::string::npos);
  EXPECT_NE(print.body.find("<script src=\"/print.js\"></script>"), std::string::npos);
  EXPECT_EQ(Http(base_ + "/print/1").status, 403);
  EXPECT_EQ(Get("/print/2", cookie).status, 404);

  server_->ShowPanel("http://dealer.localhost:8080/status?a=1&b=2");
  HtmlElement panel = server_->WindowModel().GetElementById("panel");
  EXPECT_FALSE(panel.hasAttribute("hidden"));
  EXPECT_EQ(panel.getAttribute("data-address"), "http://dealer.localhost:8080/status?a=1&b=2");
  ASSERT_TRUE(stream.WaitFor("\"kind\":\"rmattr\",\"name\":\"hidden\""));
  server_->HidePanel();
  EXPECT_TRUE(panel.hasAttribute("hidden"));
  ASSERT_TRUE(stream.WaitFor("\"kind\":\"attr\",\"name\":\"hidden\""));
  EXPECT_NE(stream.data().find("\"frame\":\"window\",\"kind\":\"attr\",\"name\":\"data-address\""),
            std::string::npos);
}

TEST_F(WindowServerTest, WhileAnOperationWaitsForADialogClicksAreDroppedButTheAnswerArrives) {
  std::string cookie = Cookie();
  PageDialogs dialogs(*server_);
  std::optional<MsgResult> result;
  std::atomic<long> status{0};
  std::string click_reply;
  loop_.Post([&] {
    std::thread page([&] {
      // The dialog is up once the page's answer is taken: click first, then answer.
      for (int i = 0; i < 500; ++i) {
        Reply probe = PostJson("/answer", cookie, R"({"dialog":1,"button":"nosuch"})");
        if (probe.status == 400) break;
        std::this_thread::sleep_for(milliseconds(10));
      }
      click_reply =
          PostJson("/event", cookie, R"({"frame":"fDocB","kind":"click","id":"send1"})").body;
      AnswerFromThePage(base_, cookie, R"({"dialog":1,"button":"ok"})", &status);
    });
    result = dialogs.MsgBox("Sending", MsgButtons::OKCancel, MsgIcon::Information, "");
    page.join();
  });
  Drain();
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(*result, MsgResult::OK);
  EXPECT_EQ(status, 200);
  EXPECT_NE(click_reply.find("\"queued\":false"), std::string::npos);
  EXPECT_TRUE(events_.empty());
}

TEST(OpenWindowInBrowser, StartsTheAppBrowserWithTheAddressOnlyWhenThereIsADisplay) {
  std::string dir = testing::MakeTempDir();
  std::string browser = dir + "/fake-browser";
  testing::WriteFileOrDie(browser,
                          "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args.tmp\" && mv "
                          "\"$0.args.tmp\" \"$0.args\"\n");
  std::filesystem::permissions(browser, std::filesystem::perms::owner_all);
  const std::string address = "http://127.0.0.1:5/?s=abc";
  std::string error;
  {
    testing::ScopedEnvVar x11("DISPLAY", nullptr);
    testing::ScopedEnvVar wayland("WAYLAND_DISPLAY", nullptr);
    EXPECT_FALSE(OpenWindowInBrowser(address, browser, &error));
    EXPECT_FALSE(error.empty());
  }
  {
    testing::ScopedEnvVar x11("DISPLAY", ":99");
    EXPECT_FALSE(OpenWindowInBrowser(address, dir + "/nosuch-browser", &error));
    ASSERT_TRUE(OpenWindowInBrowser(address, browser, &error)) << error;
  }
  std::string args;
  for (int i = 0; i < 500 && args.empty(); ++i) {
    args = testing::ReadFileOrEmpty(browser + ".args");
    if (args.empty()) std::this_thread::sleep_for(milliseconds(10));
  }
  EXPECT_EQ(args, "--app=" + address + "\n");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace larkedi::ui
