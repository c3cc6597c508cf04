#include "platform/ui/window_server.h"

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ui/page_dialogs.h"
#include "platform/ui/window_fixture.h"
#include "testing/temp_module.h"

namespace larkedi::ui {
namespace {

using std::chrono::milliseconds;
using testing::Fetch;
using testing::FetchResult;

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
};

class WindowServerTest : public WindowFixture {
 protected:
  void SetUp() override {
    root_ = testing::MakeTempDir();
    html_ = root_ + "/html";
    std::filesystem::create_directories(html_ + "/sub");
    for (const char* name :
         {"window.htm", "larkedi.css", "sub/inner.css", "page.xsl", ".hidden.css"})
      testing::WriteFileOrDie(html_ + "/" + name, std::string("<html>served ") + name);
    testing::WriteFileOrDie(root_ + "/secret.css", "TOP-SECRET");
    std::filesystem::create_symlink(root_ + "/secret.css", html_ + "/link.css");
    WindowOptions options;
    options.html_dir = html_;
    options.page_gone_after = milliseconds(300);
    options.heartbeat = milliseconds(50);
    StartServer(options);
    server_->SetEventHandler([this](const PageEvent& e) {
      events_.push_back(e);
      return false;
    });
    server_->SetCloseHandler([this](CloseReason r) { closes_.push_back(r); });
  }
  void TearDown() override {
    server_.reset();
    std::filesystem::remove_all(root_);
  }

  FetchResult Post(const std::string& path, const std::string& body,
                   std::vector<std::string> headers = {}) {
    return Request(base_ + path, cookie_, std::move(headers), &body);
  }
  // Answers the dialog from another thread, as the page would, once it is shown.
  long Answer(const std::string& answer) {
    for (int i = 0; i < 500; ++i) {
      long status = Post("/answer", answer).status;
      if (status != 404) return status;
      std::this_thread::sleep_for(milliseconds(10));
    }
    return 404;
  }
  std::string root_, html_;
  std::vector<PageEvent> events_;
  std::vector<CloseReason> closes_;
};

TEST_F(WindowServerTest, TheSecretIsExchangedOnceForAStrictHttpOnlyCookie) {
  EXPECT_GE(server_->secret().size(), 32u);  // at least 128 bits
  WindowServer other(loop_, WindowOptions{});
  ASSERT_TRUE(other.Start());
  EXPECT_NE(other.secret(), server_->secret());

  FetchResult wrong = Fetch(base_ + "/?s=" + std::string(server_->secret().size(), 'a'));
  EXPECT_EQ(wrong.status, 403);
  EXPECT_EQ(wrong.Header("Set-Cookie"), "");

  FetchResult first = Fetch(server_->Address());
  EXPECT_EQ(first.status, 303);
  EXPECT_EQ(first.Header("Location"), "/");
  const std::string set = first.Header("Set-Cookie");
  EXPECT_NE(set.find("HttpOnly"), std::string::npos);
  EXPECT_NE(set.find("SameSite=Strict"), std::string::npos);
  EXPECT_EQ(set.find(server_->secret()), std::string::npos);

  FetchResult page = Request(base_ + "/", set.substr(0, set.find(';')));
  EXPECT_EQ(page.status, 200);
  EXPECT_EQ(page.body, "<html>served window.htm");
  const std::string policy = page.Header("Content-Security-Policy");
  for (const char* part : {"default-src 'self'", "script-src 'self';", "frame-ancestors 'self'"})
    EXPECT_NE(policy.find(part), std::string::npos) << policy;
  EXPECT_EQ(page.Header("Cache-Control"), "no-store");
  EXPECT_EQ(page.Header("X-Content-Type-Options"), "nosniff");
}

// Every request needs the window's host, no foreign origin and the secret or its cookie
// (each attack on the verdict itself is a row of the window request table; these rows prove
// the headers reach it); only regular, visible files inside html/ are served; a posted event
// must name a frame and a kind.
TEST_F(WindowServerTest, EveryRequestIsCheckedBeforeItIsServed) {
  const std::string port = std::to_string(server_->port());
  std::string altered = cookie_;
  altered.back() = altered.back() == '0' ? '1' : '0';
  const std::string click = R"({"frame":"fDocB","kind":"click","id":"x1","tag":"BUTTON"})";
  struct Case {
    std::string what, path, cookie;
    std::vector<std::string> headers;
    long status;
    std::string body = {};  // a POST when not empty
  };
  const Case cases[] = {
      {"no cookie, a file", "/window.htm", "", {}, 403},
      {"altered cookie", "/", altered, {}, 403},
      {"value under another name", "/", "other=" + cookie_.substr(cookie_.find('=') + 1), {}, 403},
      {"localhost", "/larkedi.css", cookie_, {"Host: localhost:" + port}, 200},
      {"host without port", "/larkedi.css", cookie_, {"Host: 127.0.0.1"}, 403},
      {"secret on a rebound name",
       server_->Address().substr(base_.size()),
       "",
       {"Host: attacker.example:" + port},
       403},
      {"foreign origin", "/event", cookie_, {"Origin: http://attacker.example"}, 403, click},
      {"origin on another port",
       "/event",
       cookie_,
       {"Origin: http://127.0.0.1:" + port + "0"},
       403,
       click},
      {"unknown frame", "/event", cookie_, {}, 400, R"({"frame":"fDocZ","kind":"click"})"},
      {"not json", "/event", cookie_, {}, 400, "not json"},
      {"a file in a sub-folder", "/sub/inner.css", cookie_, {}, 200},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FetchResult r =
        Request(base_ + c.path, c.cookie, c.headers, c.body.empty() ? nullptr : &c.body);
    EXPECT_EQ(r.status, c.status);
    if (r.status == 403) {
      EXPECT_EQ(r.Header("Cache-Control"), "no-store");
    }
  }
  Drain();
  EXPECT_TRUE(events_.empty());
  EXPECT_EQ(Post("/event", click, {"Origin: http://127.0.0.1:" + port}).status, 200);
  EXPECT_TRUE(events_.empty());  // nothing runs on the server's threads
  Drain();
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].tag, "button");

  // Encoded dot segments reach the server as they are; plain ones are the resolver's.
  for (const char* path :
       {"/%2e%2e/secret.css", "/%2E%2E%2Fsecret.css", "/sub/%2e%2e/%2e%2e/secret.css",
        "//etc/passwd", "/%2Fetc%2Fpasswd", "/link.css", "/.hidden.css", "/page.xsl", "/nosuch.css",
        "/sub", "/sub/", "/sub\\inner.css"}) {
    FetchResult r = Get(path);
    EXPECT_TRUE(r.status == 403 || r.status == 404) << path << " gave " << r.status;
    EXPECT_EQ(r.body.find("TOP-SECRET"), std::string::npos) << path;
    EXPECT_EQ(r.body.find("root:"), std::string::npos) << path;
  }
  std::string resolved;
  EXPECT_TRUE(ResolveStaticPath(html_, "/sub/inner.css", &resolved));
  EXPECT_EQ(resolved, std::filesystem::canonical(html_ + "/sub/inner.css").string());
  for (const char* path :
       {"/../secret.css", "/sub/../../secret.css", "/link.css", "sub/inner.css"}) {
    EXPECT_FALSE(ResolveStaticPath(html_, path, &resolved)) << path;
  }
}

TEST_F(WindowServerTest, AnEventCarriesTheFormStateIntoTheModelBeforeDispatch) {
  FrameModel& page = *server_->Frame("fDocB");
  ASSERT_TRUE(page.LoadHtml(
      R"(<html><body><input type="checkbox" id="check5"/><input id="po3" value="old"/></body></html>)"));
  std::string seen;
  server_->SetEventHandler([&](const PageEvent&) {
    seen = page.GetElementById("po3").value() +
           (page.GetElementById("check5").checked() ? " checked" : "");
    return false;
  });
  EXPECT_EQ(Post("/event", R"({"frame":"fDocB","kind":"click","id":"check5","controls":[
      {"id":"check5","checked":true},{"id":"po3","value":"PO <7>"}]})")
                .status,
            200);
  Drain();
  EXPECT_EQ(seen, "PO <7> checked");
}

// While an operation waits for a dialog, clicks are dropped, a page's document-complete
// is kept for later and the dialog's answer still arrives.
TEST_F(WindowServerTest, WhileAnOperationRunsClicksAreDroppedButAnswersArrive) {
  PageDialogs dialogs(*server_);
  std::optional<MsgResult> result;
  long refused = 0, answered = 0;
  std::string click_reply;
  loop_.Post([&] {
    std::thread page([&] {
      // A button the box does not offer is refused and the box stays open.
      refused = Answer(R"({"dialog":1,"button":"ok"})");
      click_reply = Post("/event", R"({"frame":"fDocB","kind":"click","id":"send1"})").body;
      Post("/event", R"({"frame":"window","kind":"complete"})");
      answered = Answer(R"({"dialog":1,"button":"no"})");
    });
    result = dialogs.MsgBox("Send now?", MsgButtons::YesNoCancel, MsgIcon::Question, "");
    page.join();
  });
  Drain();
  EXPECT_EQ(refused, 400);
  EXPECT_EQ(answered, 200);
  EXPECT_EQ(result, MsgResult::No);
  EXPECT_NE(click_reply.find("\"queued\":false"), std::string::npos);
  ASSERT_EQ(events_.size(), 1u);
  EXPECT_EQ(events_[0].kind, EventKind::Complete);

  std::thread closed([&] { Answer(R"({"dialog":2,"button":"cancel"})"); });
  EXPECT_FALSE(dialogs.InputBox("Number:", "LarkEDI", "PO").has_value());
  closed.join();
}

TEST_F(WindowServerTest, APickerListsFoldersOnlyWhileOpenAndAcceptsOnlyAnExistingFolder) {
  EXPECT_EQ(Get("/fs?path=" + root_).status, 403);  // no picker open
  PageDialogs dialogs(*server_);
  long missing = 0, listed = 0;
  std::thread page([&] {
    missing = Answer(R"({"dialog":1,"button":"ok","text":")" + root_ + R"(/nosuch"})");
    listed = Get("/fs?path=" + root_).status;
    Answer(R"({"dialog":1,"button":"ok","text":")" + html_ + R"("})");
  });
  std::optional<std::string> folder = dialogs.PickFolder("Choose", root_);
  page.join();
  EXPECT_EQ(missing, 400);
  EXPECT_EQ(listed, 200);
  EXPECT_EQ(folder, html_);
}

TEST_F(WindowServerTest, ALostPageCancelsTheDialogAndClosesTheWindowOnce) {
  PageDialogs dialogs(*server_);
  auto stream = std::make_unique<Stream>(base_ + "/events?page=p1", cookie_);
  ASSERT_TRUE(stream->WaitFor("\"op\":\"state\""));
  std::thread lose([&] {
    ASSERT_TRUE(stream->WaitFor("\"op\":\"dialog\""));
    stream->Close();
  });
  MsgResult r = dialogs.MsgBox("Save?", MsgButtons::YesNo, MsgIcon::Question, "LarkEDI");
  lose.join();
  EXPECT_EQ(r, MsgResult::No);  // never Yes
  loop_.RunUntil([&] { return !closes_.empty(); }, milliseconds(20));
  server_->RequestClose();
  Drain();
  EXPECT_EQ(closes_, std::vector<CloseReason>{CloseReason::PageGone});
  // Gone is gone: later dialogs do not wait for a page.
  EXPECT_EQ(dialogs.MsgBox("Again?", MsgButtons::OKCancel, MsgIcon::None, ""), MsgResult::Cancel);
}

TEST_F(WindowServerTest, AReloadedPageCancelsTheDialogItWasShowing) {
  PageDialogs dialogs(*server_);
  Stream first(base_ + "/events?page=before", cookie_);
  ASSERT_TRUE(first.WaitFor("\"op\":\"state\""));
  std::unique_ptr<Stream> second;
  std::thread reload([&] {
    ASSERT_TRUE(first.WaitFor("\"op\":\"dialog\""));
    second = std::make_unique<Stream>(base_ + "/events?page=after", cookie_);
  });
  MsgResult r = dialogs.MsgBox("Continue?", MsgButtons::OKCancel, MsgIcon::Exclamation, "");
  reload.join();
  EXPECT_EQ(r, MsgResult::Cancel);
  EXPECT_TRUE(closes_.empty());
}

// The print page needs the cookie and carries none of its HTML's scripts; a close request
// reaches the page and the module once.
TEST_F(WindowServerTest, ThePrintPageIsScriptFreeAndACloseRequestArrivesOnce) {
  Stream stream(base_ + "/events?page=p1", cookie_);
  ASSERT_TRUE(stream.WaitFor("\"op\":\"state\""));
  server_->PrintPreview("<table><tr><td>Order 7</td></tr></table><script>steal()</script>");
  ASSERT_TRUE(stream.WaitFor("\"url\":\"/print/1\""));
  FetchResult print = Get("/print/1");
  EXPECT_EQ(print.status, 200);
  EXPECT_NE(print.body.find("Order 7"), std::string::npos);
  EXPECT_EQ(print.body.find("steal()"), std::string::npos);
  EXPECT_EQ(Fetch(base_ + "/print/1").status, 403);

  server_->RequestClose();
  server_->RequestClose();
  ASSERT_TRUE(stream.WaitFor("\"op\":\"close\""));
  Drain();
  EXPECT_EQ(closes_, std::vector<CloseReason>{CloseReason::Requested});
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
