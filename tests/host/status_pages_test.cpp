// The order status views in the main window, on plain frame models: the order list and
// detail fetched on another thread and rendered when their task runs, with the dealer server
// played by a fake HTTP client. The browser check follows the ordinary paths against the
// partner simulator; here: the year crossed, late answers, failures and a missing server.
#include "host/status_pages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "host/host_fixture.h"
#include "host/main_window.h"
#include "sending/connect_method_orca.h"
#include "support/module.h"
#include "support/resx.h"
#include "testing/fake_http.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

using testing::Click;

constexpr const char* kPassword = "a&b#1+%";
constexpr const char* kEncoded = "a%26b%231%2B%25";

// The value of `name` in the query of `address`, percent-decoded as the server reads it.
std::string Param(const std::string& address, const std::string& name) {
  std::size_t at = address.find("?" + name + "=");
  if (at == std::string::npos) at = address.find("&" + name + "=");
  if (at == std::string::npos) return "(none)";
  std::string value;
  for (at += name.size() + 2; at < address.size() && address[at] != '&'; ++at) {
    const bool escaped = address[at] == '%' && at + 2 < address.size();
    value += escaped ? static_cast<char>(std::stoi(address.substr(at + 1, 2), nullptr, 16))
                     : address[at];
    if (escaped) at += 2;
  }
  return value;
}

class StatusPagesTest : public testing::WindowTest {
 protected:
  StatusPagesTest() : WindowTest({.pump_runs_tasks = false, .accept_site_panel = true}) {}
  void SetUp() override {
    module_.Restart();  // the language texts the pages and messages are made of
    ASSERT_FALSE(Res("LBL January").empty());
    testing::WriteSettings(module_,
                           testing::Method(1, "Orca", "ConnectMethodOrca") +
                               testing::Method(9, "Order form", "ORDR", true) +
                               testing::Partner(1, "NWC", "Northwind", "100", 1,
                                                "<DEALERID>shop@lakeside.example</DEALERID>") +
                               testing::Partner(2, "PAP", "Paper forms", "", 9));
    ConnectMethodOrca connector(module_.dir());
    ASSERT_FALSE(connector.AddServer("NWC", "http://gate.localhost:8123"));
  }

  void Open() {
    // The partner web service is not asked: its question would race the dealer server's.
    edi_.Settings.bWebServiceDone = true;
    window_.StartValue = 3;
    ASSERT_TRUE(window_.Form_Load());
    window_.ShowFirstPage();
  }
  void TypePassword(const std::string& password) {
    surface_.b_.ApplyControlState({{"partnerpassword1", password, std::nullopt, std::nullopt}});
  }
  std::string LastUrl() {
    auto requests = http_.Requests();
    return requests.empty() ? std::string() : requests.back().url;
  }
  std::string Body() { return surface_.b_.body().innerHTML(); }

  testing::FakeHttp http_;
};

TEST_F(StatusPagesTest, TheDetailLeadsBackToItsPageAcrossTheYear) {
  Open();
  window_.Status().SetMonth({2026, 1});
  TypePassword(kPassword);
  const std::string list =
      "<DATA><ORDER><SEQUENCE>12</SEQUENCE><PONUMBER>PO-&lt;7&gt;</PONUMBER><GUID>G7</GUID>"
      "</ORDER><PAGE>1</PAGE><PAGECOUNT>2</PAGECOUNT></DATA>";
  for (const char* id : {"statuslist1", "statusprevmonth", "statuspage2"}) {
    http_.Answer(200, list);
    window_.HandleEvent(Click("fDocB", id));
    ASSERT_EQ(surface_.RunAnswer(), 1) << id;
  }
  // The server's markup-looking text is drawn as text.
  EXPECT_NE(Body().find("PO-&lt;7&gt;"), std::string::npos) << Body();
  http_.Answer(200, "<ORDERDETAIL><GUID>G7</GUID><PONUMBER>PO-7</PONUMBER></ORDERDETAIL>");
  window_.HandleEvent(Click("fDocB", "statusorder1"));
  ASSERT_EQ(surface_.RunAnswer(), 1);
  EXPECT_EQ(Param(LastUrl(), "guid"), "G7");
  ASSERT_TRUE(surface_.c_.GetElementById("lmenubacktopage2"));

  http_.Answer(200, list);
  window_.HandleEvent(Click("fDocC", "lmenubacktopage2"));
  ASSERT_EQ(surface_.RunAnswer(), 1);
  EXPECT_EQ(LastUrl().rfind("http://dealer.localhost:8123/xmlorderlist.asp?", 0), 0u);
  const std::pair<const char*, std::string> expected[] = {
      {"pw", kPassword}, {"manufcode", "100"}, {"dealercode", "shop@lakeside.example"},
      {"y", "2025"},     {"m", "12"},          {"page", "2"}};
  for (const auto& [name, value] : expected) EXPECT_EQ(Param(LastUrl(), name), value) << name;
  EXPECT_TRUE(dialogs_.shown.empty()) << dialogs_.shown[0].text;
}

TEST_F(StatusPagesTest, AListArrivingAfterTheDealerLeftIsNotDrawn) {
  Open();
  TypePassword(kPassword);
  http_.Answer(200, "<DATA><ORDER><PONUMBER>LATE-LIST</PONUMBER><GUID>G</GUID></ORDER></DATA>");
  window_.HandleEvent(Click("fDocB", "statuslist1"));
  // The server has the request; the dealer goes to the settings page before its answer is
  // drawn (its task, when already posted, has not run yet).
  for (int i = 0; i < 2000 && http_.Requests().empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(http_.Requests().size(), 1u) << http_.Requests().front().url;
  window_.HandleEvent(Click("window", "tool5"));
  surface_.RunAnswer(std::chrono::milliseconds(1500));
  EXPECT_EQ(Body().find("LATE-LIST"), std::string::npos);
  EXPECT_NE(window_.Status().ReadyState(), 4);
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(StatusPagesTest, FailuresAreReportedWithoutThePassword) {
  module_.EnableLogging();
  Open();
  TypePassword(kPassword);

  http_.FailWith("Connection refused");
  window_.HandleEvent(Click("fDocB", "statuslist1"));
  ASSERT_EQ(surface_.RunAnswer(), 1);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find("pw=***"), std::string::npos) << dialogs_.shown[0].text;
  EXPECT_NE(dialogs_.shown[0].text.find("Connection refused"), std::string::npos);

  // Answers that are no order list: reported, nothing drawn.
  const std::string before = Body();
  const struct {
    int status;
    const char* body;
    std::string reported;
  } answers[] = {
      {200, "<DATA><ORDER>", ResParam("MSG ErrorOpeningParam", {""}).substr(0, 5)},
      {200, "<html><body>Login</body></html>", Res("MSG InvalidDataFromWebSite")},
      {403, "<DATA><ERROR>no</ERROR></DATA>", "403"},  // a refused login page
  };
  for (const auto& answer : answers) {
    SCOPED_TRACE(answer.body);
    http_.Answer(answer.status, answer.body);
    window_.Status().GoToPage(1);
    ASSERT_EQ(surface_.RunAnswer(), 1);
    EXPECT_NE(dialogs_.shown.back().text.find(answer.reported), std::string::npos);
    EXPECT_EQ(Body(), before);
  }
  for (const DialogRecord& shown : dialogs_.shown) {
    EXPECT_EQ(shown.text.find(kPassword), std::string::npos) << shown.text;
    EXPECT_EQ(shown.text.find(kEncoded), std::string::npos) << shown.text;
  }
  const std::string log = testing::ReadFileOrEmpty(module_.path("larkEDI.log"));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.find(kPassword), std::string::npos);
  EXPECT_EQ(log.find(kEncoded), std::string::npos);
}

TEST_F(StatusPagesTest, APartnerWithoutADealerServerOpensNothing) {
  ASSERT_FALSE(ConnectMethodOrca(module_.dir()).RemoveServer("NWC", "http://gate.localhost:8123"));
  Open();
  TypePassword(kPassword);
  window_.HandleEvent(Click("fDocB", "statusbutton1"));
  EXPECT_EQ(surface_.panel, "");
  window_.HandleEvent(Click("fDocB", "statuslist1"));
  // Nothing goes to a dealer site.
  for (const HttpRequest& request : http_.Requests()) {
    EXPECT_EQ(request.url.find(".asp"), std::string::npos) << request.url;
  }
  EXPECT_EQ(window_.Status().ReadyState(), 0);
  ASSERT_EQ(dialogs_.CountShown(Res("MSG CannotGetServerNameForPartner")), 2);
}

}  // namespace
}  // namespace larkedi
