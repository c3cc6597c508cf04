// The window server's checks of a request and its reading of a posted event, without a
// socket.
#include <gtest/gtest.h>

#include <tuple>

#include "platform/ui/window_server.h"

namespace larkedi::ui {
namespace {

TEST(WindowRequest, OnlyTheWindowsOwnPageIsServed) {
  const std::set<std::string> tokens = {"t0ken1", "t0ken2"};
  const std::string ok_cookie = "larkedi4242=t0ken1";
  const std::tuple<const char*, RequestFacts, RequestVerdict> cases[] = {
      {"token", {"127.0.0.1:4242", {}, "/a.htm", {}, ok_cookie}, RequestVerdict::Serve},
      {"localhost, own origin, other cookies",
       {"localhost:4242", "http://localhost:4242", "/", {}, "x=1;  larkedi4242=t0ken2; y"},
       RequestVerdict::Serve},
      {"secret", {"127.0.0.1:4242", {}, "/", "s3cret", ""}, RequestVerdict::ExchangeSecret},
      {"secret and origin",
       {"127.0.0.1:4242", "http://127.0.0.1:4242", "/", "s3cret", ""},
       RequestVerdict::ExchangeSecret},
      {"wrong secret", {"127.0.0.1:4242", {}, "/", "s3creT", ok_cookie}, RequestVerdict::Refuse},
      {"empty secret", {"127.0.0.1:4242", {}, "/", "", ok_cookie}, RequestVerdict::Refuse},
      {"secret elsewhere", {"127.0.0.1:4242", {}, "/a.htm", "s3cret", ""}, RequestVerdict::Refuse},
      {"rebound host name", {"evil.example:4242", {}, "/", {}, ok_cookie}, RequestVerdict::Refuse},
      {"other port", {"127.0.0.1:4243", {}, "/", {}, ok_cookie}, RequestVerdict::Refuse},
      {"no host", {"", {}, "/", "s3cret", ok_cookie}, RequestVerdict::Refuse},
      {"foreign origin",
       {"127.0.0.1:4242", "http://evil.example", "/", {}, ok_cookie},
       RequestVerdict::Refuse},
      {"opaque origin", {"127.0.0.1:4242", "null", "/", "s3cret", ""}, RequestVerdict::Refuse},
      {"no cookie", {"127.0.0.1:4242", {}, "/a.htm", {}, ""}, RequestVerdict::Refuse},
      {"empty token", {"127.0.0.1:4242", {}, "/", {}, "larkedi4242="}, RequestVerdict::Refuse},
      {"part of a token",
       {"127.0.0.1:4242", {}, "/", {}, "larkedi4242=t0ken"},
       RequestVerdict::Refuse},
      {"another window's cookie",
       {"127.0.0.1:4242", {}, "/", {}, "larkedi4243=t0ken1"},
       RequestVerdict::Refuse},
  };
  for (const auto& [what, request, verdict] : cases) {
    EXPECT_EQ(CheckRequest(request, 4242, "s3cret", "larkedi4242", tokens), verdict) << what;
  }
  EXPECT_EQ(CheckRequest({"127.0.0.1:4242", {}, "/", {}, "larkedi4242="}, 4242, "s3cret",
                         "larkedi4242", {""}),
            RequestVerdict::Refuse);
  // Another process asking the window forward shows the secret in a header of a POST.
  RequestFacts raise{"127.0.0.1:4242", {}, "/api/raise", {}, "", "POST", "s3cret"};
  EXPECT_EQ(CheckRequest(raise, 4242, "s3cret", "larkedi4242", tokens), RequestVerdict::Serve);
  for (auto [method, secret] : {std::pair{"GET", "s3cret"}, {"POST", "s3creT"}, {"POST", ""}}) {
    raise.method = method;
    raise.raise_secret = secret;
    EXPECT_EQ(CheckRequest(raise, 4242, "s3cret", "larkedi4242", tokens), RequestVerdict::Refuse)
        << method << " " << secret;
  }
  raise = {"evil.example:4242", {}, "/api/raise", {}, "", "POST", "s3cret"};
  EXPECT_EQ(CheckRequest(raise, 4242, "s3cret", "larkedi4242", tokens), RequestVerdict::Refuse);
}

TEST(WindowRequest, APostedEventIsReadWithItsControls) {
  auto posted = ParseEventBody(
      R"({"kind":"keydown","frame":"fDocB","id":"po","tag":"INPUT","type":"Text","form":"f",
          "key":"F1","ctrl":true,"alt":false,"shift":"yes","message":7,
          "controls":[{"id":"po","value":"P-1"},{"id":"send","checked":true},
                      {"id":"pick","selected":[2,"x",0,1.5]},{"value":"no id"},"junk",
                      {"id":"n","value":5,"checked":"on"}]})");
  ASSERT_TRUE(posted);
  const PageEvent& e = posted->event;
  EXPECT_EQ(e.kind, EventKind::KeyDown);
  EXPECT_EQ(e.form, "f");
  EXPECT_EQ(e.key, "F1");
  EXPECT_TRUE(e.ctrl);
  EXPECT_FALSE(e.shift);     // not a boolean
  EXPECT_EQ(e.message, "");  // not a text
  ASSERT_EQ(posted->controls.size(), 4u);
  EXPECT_EQ(posted->controls[0].value, "P-1");
  EXPECT_FALSE(posted->controls[0].checked);
  EXPECT_EQ(posted->controls[1].checked, true);
  EXPECT_EQ(posted->controls[2].selected, (std::vector<int>{2, 0}));
  EXPECT_FALSE(posted->controls[3].value || posted->controls[3].checked);

  for (const char* body : {"", "not json", "[]", "\"click\"", "{}", R"({"kind":"hover"})",
                           R"({"kind":1,"frame":"fDocA"})", R"({"kind":"CLICK"})",
                           R"({"kind":"click","frame":"fDocA")"}) {
    EXPECT_FALSE(ParseEventBody(body)) << body;
  }
}

}  // namespace
}  // namespace larkedi::ui
