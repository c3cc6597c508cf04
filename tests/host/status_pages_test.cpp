// The order status views in the main window, on plain frame models: the order list and
// detail fetched on another thread and rendered when their task runs, with the dealer server
// played by a fake HTTP client. The browser check follows the ordinary paths against the
// partner simulator; here: the year crossed, late answers, failures and a missing server.
#include "host/status_pages.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <thread>

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

// The query of an address as the server reads it (values percent-decoded).
std::map<std::string, std::string> QueryOf(const std::string& address) {
  std::map<std::string, std::string> params;
  const std::size_t mark = address.find('?');
  std::size_t at = mark == std::string::npos ? address.size() + 1 : mark + 1;
  while (at <= address.size()) {
    std::size_t end = address.find('&', at);
    if (end == std::string::npos) end = address.size();
    const std::string pair = address.substr(at, end - at);
    const std::size_t eq = pair.find('=');
    const std::string raw = eq == std::string::npos ? "" : pair.substr(eq + 1);
    std::string value;
    for (std::size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] == '%' && i + 2 < raw.size()) {
        value += static_cast<char>(std::stoi(raw.substr(i + 1, 2), nullptr, 16));
        i += 2;
      } else {
        value += raw[i];
      }
    }
    params[pair.substr(0, eq)] = value;
    at = end + 1;
  }
  return params;
}

class StatusPagesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_.Restart();  // the language texts the pages and messages are made of
    ASSERT_FALSE(Res("LBL January").empty());
    testing::WriteFileOrDie(
        module_.path("larkEDI.xml"),
        "<SETTINGS><METHOD><ID>1</ID><NAME>Orca</NAME><OBJECTNAME>ConnectMethodOrca</OBJECTNAME>"
        "</METHOD><METHOD legacy=\"1\"><ID>9</ID><NAME>Order form</NAME><OBJECTNAME>ORDR"
        "</OBJECTNAME></METHOD><SPOOLPATH>" +
            module_.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" + module_.path("Archive") +
            "</ARCHIVEPATH><TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
            "<PARTNER><ID>1</ID><NAME>Northwind</NAME><CODE>NWC</CODE><MANUFID>100</MANUFID>"
            "<DEALERID>shop@lakeside.example</DEALERID><METHODID>1</METHODID></PARTNER>"
            "<PARTNER><ID>2</ID><NAME>Paper forms</NAME><CODE>PAP</CODE><METHODID>9</METHODID>"
            "</PARTNER></SETTINGS>");
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

  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  testing::FakeHttp http_;
  frmEDI edi_;
  testing::TestSurface surface_{{.pump_runs_tasks = false, .accept_site_panel = true}};
  MainWindow window_{edi_, surface_};
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
  EXPECT_EQ(LastUrl(), "http://dealer.localhost:8123/xmlorderdetail.asp?guid=G7&lang=" +
                           Module().LanguageCode);
  ASSERT_TRUE(surface_.c_.GetElementById("lmenubacktopage2"));

  http_.Answer(200, list);
  window_.HandleEvent(Click("fDocC", "lmenubacktopage2"));
  ASSERT_EQ(surface_.RunAnswer(), 1);
  const auto query = QueryOf(LastUrl());
  EXPECT_EQ(LastUrl().rfind("http://dealer.localhost:8123/xmlorderlist.asp?", 0), 0u);
  EXPECT_EQ(query.at("pw"), kPassword);
  EXPECT_EQ(query.at("manufcode"), "100");
  EXPECT_EQ(query.at("dealercode"), "shop@lakeside.example");
  EXPECT_EQ(query.at("y"), "2025");
  EXPECT_EQ(query.at("m"), "12");
  EXPECT_EQ(query.at("page"), "2");
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
  EXPECT_EQ(dialogs_.shown[0].icon, MsgIcon::Critical);
  EXPECT_NE(dialogs_.shown[0].text.find("pw=***"), std::string::npos) << dialogs_.shown[0].text;
  EXPECT_NE(dialogs_.shown[0].text.find("Connection refused"), std::string::npos);

  // An answer that is not XML: reported, nothing drawn.
  const std::string before = Body();
  http_.Answer(200, "<DATA><ORDER>");
  window_.Status().GoToPage(1);
  ASSERT_EQ(surface_.RunAnswer(), 1);
  ASSERT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_EQ(dialogs_.shown[1].icon, MsgIcon::Information);
  EXPECT_EQ(dialogs_.shown[1].text.rfind(ResParam("MSG ErrorOpeningParam", {""}).substr(0, 5), 0),
            0u);
  EXPECT_EQ(Body(), before);

  // XML that is no order list (a login page, say).
  http_.Answer(200, "<html><body>Login</body></html>");
  window_.Status().GoToPage(1);
  ASSERT_EQ(surface_.RunAnswer(), 1);
  ASSERT_EQ(dialogs_.shown.size(), 3u);
  EXPECT_EQ(dialogs_.shown[2].text, Res("MSG InvalidDataFromWebSite"));
  EXPECT_EQ(Body(), before);

  // A refused login page is no list either.
  http_.Answer(403, "<DATA><ERROR>no</ERROR></DATA>");
  window_.Status().GoToPage(1);
  ASSERT_EQ(surface_.RunAnswer(), 1);
  ASSERT_EQ(dialogs_.shown.size(), 4u);
  EXPECT_NE(dialogs_.shown[3].text.find("403"), std::string::npos);

  for (const DialogRecord& shown : dialogs_.shown) {
    EXPECT_EQ(shown.text.find(kPassword), std::string::npos) << shown.text;
    EXPECT_EQ(shown.text.find(kEncoded), std::string::npos) << shown.text;
  }
  const std::string log = testing::ReadFileOrEmpty(module_.path("larkEDI.log"));
  EXPECT_NE(log.find("Entering DisplayStatusList"), std::string::npos) << "the log is written";
  EXPECT_EQ(log.find(kPassword), std::string::npos);
  EXPECT_EQ(log.find(kEncoded), std::string::npos);
}

TEST_F(StatusPagesTest, APartnerWithoutADealerServerOpensNothing) {
  ASSERT_FALSE(ConnectMethodOrca(module_.dir()).RemoveServer("NWC", "http://gate.localhost:8123"));
  Open();
  EXPECT_FALSE(surface_.b_.GetElementById("statusbutton2")) << "order-form partners have none";
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
