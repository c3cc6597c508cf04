// The send from the main window on plain frame models: the progress page's rows (escaped
// data, bars grown a step at a time) and the send button of the totals strip.
#include "host/send_window.h"

#include <gtest/gtest.h>

#include "host/main_window.h"
#include "platform/automation/automation.h"
#include "support/resx.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

using automation::Variant;
using testing::Click;

// The row parts as the progress style sheet lays them out, for order 7.
constexpr const char* kRow =
    "<html><body><table><tr><td id=\"7OrderProgressLeft\" width=\"0%\" bgcolor=\"#2f7fd0\"></td>"
    "</tr></table><span id=\"7ProgressSpan\">waiting</span><span id=\"7OrderProgressText\">"
    "</span><span id=\"7OrderSpan\"></span><button id=\"CancelButton\">Cancel</button>"
    "</body></html>";

int Count(const ui::HtmlElement& e, const std::string& xpath) {
  return static_cast<int>(e.node().selectNodes(xpath).length());
}

TEST(SendProgressPageTest, BarsGrowOneStepAPatchAtATimeAndNeverShrink) {
  testing::TempModule module;
  std::vector<std::string> events;
  ui::FrameModel frame("fDocB", [&events](const ui::Patch& p) {
    if (p.kind == ui::Patch::Kind::StyleWidth) events.push_back(p.value);
  });
  ASSERT_TRUE(frame.LoadHtml(kRow));
  ui::HtmlElement bar = frame.GetElementById("7OrderProgressLeft");
  AnimateWidth(bar, 30, [&events] { events.push_back("repaint"); });
  ASSERT_EQ(events.size(), 60u);
  for (int i = 0; i < 30; ++i) {
    EXPECT_EQ(events[2 * i], std::to_string(i + 1) + "%");
    EXPECT_EQ(events[2 * i + 1], "repaint");  // each step reaches the page before the next
  }
  EXPECT_EQ(bar.styleWidth(), "30%");
  events.clear();
  AnimateWidth(bar, 20, nullptr);
  EXPECT_TRUE(events.empty());
  AnimateWidth(bar, 40, nullptr);
  EXPECT_EQ(events.size(), 10u);
  EXPECT_EQ(events.front(), "31%");
}

TEST(SendProgressPageTest, RowsShowDataAsTextAndResourceLinksAsMarkup) {
  testing::TempModule module;
  module.Restart();
  testing::TestSurface surface({.pump_runs_tasks = false});
  ASSERT_TRUE(surface.b_.LoadHtml(kRow));
  FramePages pages;
  pages.fDocB = &surface.b_;
  StyleSheetTable table;
  xml::Document orders;
  SendProgressPage page(pages, table, orders, [&surface] { surface.PumpMessages(); });

  page.OrderStep("7", "<i>step</i>", 40);
  EXPECT_EQ(surface.b_.GetElementById("7OrderProgressLeft").styleWidth(), "40%");

  SendRow failed;
  failed.order_id = "7";
  failed.result = SendResult::Failed;
  failed.word = "<i>Failure</i>";
  failed.message = "dealer <unknown> & refused\nsecond line";
  page.OrderDone(failed);
  ui::HtmlElement bar = surface.b_.GetElementById("7OrderProgressLeft");
  EXPECT_EQ(bar.styleWidth(), "100%");
  EXPECT_EQ(bar.getAttribute("bgcolor"), "#FF0000");
  ui::HtmlElement word = surface.b_.GetElementById("7OrderProgressText");
  EXPECT_EQ(Count(word, ".//i"), 0);
  EXPECT_NE(word.innerText().find("<i>Failure</i>"), std::string::npos);
  ui::HtmlElement span = surface.b_.GetElementById("7OrderSpan");
  EXPECT_EQ(Count(span, ".//unknown"), 0);
  EXPECT_NE(span.innerText().find("dealer <unknown> & refused"), std::string::npos);
  EXPECT_EQ(Count(span, ".//br"), 1);  // one line break between the two lines
  EXPECT_GT(surface.pumps, 0);

  // A message with links keeps its anchors.
  SendRow linked = failed;
  linked.message_html = "text <A id=\"urloxnet\" href=\"https://x.invalid/\">site</A>";
  page.OrderDone(linked);
  EXPECT_EQ(Count(surface.b_.GetElementById("7OrderSpan"), ".//a[@id='urloxnet']"), 1);

  // Success: the returned sequence is data too; the step says done.
  ASSERT_TRUE(surface.b_.LoadHtml(kRow));
  SendRow sent;
  sent.order_id = "7";
  sent.result = SendResult::Sent;
  sent.sequence = "<b>7</b>";
  page.OrderDone(sent);
  span = surface.b_.GetElementById("7OrderSpan");
  EXPECT_EQ(Count(span, ".//b"), 0);
  EXPECT_NE(span.innerText().find("<b>7</b>"), std::string::npos);
  EXPECT_NE(span.innerText().find(Res("MSG OrderSentSuccessfully")), std::string::npos);
  EXPECT_EQ(surface.b_.GetElementById("7ProgressSpan").innerText(), Res("MSG Done"));
  EXPECT_EQ(surface.b_.GetElementById("7OrderProgressLeft").getAttribute("bgcolor"), "#2f7fd0");
  page.RunEnded();
  EXPECT_EQ(surface.b_.GetElementById("CancelButton").innerText(), Res("BTN Return"));
}

// A connector that accepts every order and counts them.
int g_sent = 0;

std::shared_ptr<automation::AutomationObject> MakeCountingConnector(Err*) {
  auto object = std::make_shared<automation::DispatchObject>("WindowTestConnector.spooler");
  object->AddMethod("connectioncount", [](std::vector<Variant>&, Variant* r) {
    *r = Variant(1L);
    return Err{};
  });
  object->AddMethod("testconnection", [](std::vector<Variant>&, Variant* r) {
    *r = Variant("http://gateway.test");
    return Err{};
  });
  object->AddMethod("sendfiles", [](std::vector<Variant>&, Variant* r) {
    ++g_sent;
    *r = Variant(true);
    return Err{};
  });
  object->AddProperty("response", [](Variant* r) {
    *r = Variant("<RESPONSE><SEQUENCE>" + std::to_string(500 + g_sent) + "</SEQUENCE></RESPONSE>");
    return Err{};
  });
  object->AddProperty("errornumber", [](Variant* r) {
    *r = Variant(0L);
    return Err{};
  });
  object->AddProperty("errordescription", [](Variant* r) {
    *r = Variant("");
    return Err{};
  });
  return object;
}

class SendButtonTest : public testing::WindowTest {
 protected:
  SendButtonTest() : WindowTest({.pump_runs_tasks = false}) {}

  void SetUp() override {
    g_sent = 0;
    automation::RegisterBuiltinClass("WindowTestConnector.spooler", MakeCountingConnector);
    testing::WriteFileOrDie(
        module_.path("larkEDI.xml"),
        "<SETTINGS><METHOD><ID>1</ID><NAME>x</NAME><OBJECTNAME>WindowTestConnector</OBJECTNAME>"
        "</METHOD><SPOOLPATH>" +
            module_.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" + module_.path("Archive") +
            "</ARCHIVEPATH><TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
            "<SORTORDER>NS</SORTORDER><PARTNER><ID>1</ID><NAME>Acme &lt;b&gt;bold&lt;/b&gt;"
            "</NAME><CODE>ACM</CODE><MANUFID>ACME</MANUFID><DEALERID>D-1</DEALERID>"
            "<METHODID>1</METHODID><TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
            "<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE></PARTNER>"
            "<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG></SETTINGS>");
    module_.Restart();
  }
  void TearDown() override { automation::UnregisterBuiltinClass("WindowTestConnector.spooler"); }

  void Open() {
    window_.StartupInput =
        "<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName><Number>N-1</Number>"
        "<GlobalID/></Header><FileName>kitchen.kit</FileName></JobInfo><Catalog>"
        "<Identification><Name>ABC</Name></Identification><Item><Code>C1</Code><Qty>2</Qty>"
        "</Item></Catalog></Design></Designs>";
    window_.StartValue = 1;
    ASSERT_TRUE(window_.Form_Load());
    window_.ShowFirstPage();
  }
};

TEST_F(SendButtonTest, TheSendButtonSendsOnceWithItsProgressPageAndAsksThePasswordOnce) {
  Open();
  const std::string id = edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP/ID").text();
  ASSERT_TRUE(surface_.c_.GetElementById("sendorders"));
  dialogs_.credential_answers = {{false, "", " typed "}};
  window_.HandleEvent(Click("fDocC", "sendorders"));

  EXPECT_EQ(g_sent, 1);
  ASSERT_EQ(dialogs_.credentials_asked.size(), 1u);
  EXPECT_EQ(dialogs_.credentials_asked[0].kind, CredentialsRequest::Kind::Password);
  // The progress page shows the order's row, ended with success, its partner name as text.
  ui::HtmlElement bar = surface_.b_.GetElementById(id + "OrderProgressLeft");
  ASSERT_TRUE(bar);
  EXPECT_EQ(bar.styleWidth(), "100%");
  EXPECT_EQ(surface_.b_.GetElementById(id + "ProgressSpan").innerText(), Res("MSG Done"));
  EXPECT_NE(surface_.b_.GetElementById(id + "OrderSpan").innerText().find("501"),
            std::string::npos);
  EXPECT_EQ(surface_.b_.body().node().selectNodes(".//b[.='bold']").length(), 0);
  EXPECT_EQ(surface_.b_.GetElementById("CancelButton").innerText(), Res("BTN Return"));
  EXPECT_TRUE(window_.Enabled());

  // The stack was read again: nothing is left to send, and the totals say so.
  EXPECT_TRUE(edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP").isNull());
  ASSERT_TRUE(surface_.c_.GetElementById("totalorders"));
  EXPECT_EQ(surface_.c_.GetElementById("totalorders").innerText(), "0");

  // A second click sends nothing and says why.
  const size_t shown = dialogs_.shown.size();
  window_.HandleEvent(Click("fDocC", "sendorders"));
  EXPECT_EQ(g_sent, 1);
  ASSERT_GT(dialogs_.shown.size(), shown);
  EXPECT_NE(dialogs_.shown.back().text.find(Res("OST NoOrdersToSend")), std::string::npos);
  EXPECT_EQ(dialogs_.credentials_asked.size(), 1u);
}

}  // namespace
}  // namespace larkedi
