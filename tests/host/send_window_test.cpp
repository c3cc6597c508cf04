// The send progress page's rows on a plain frame model: what a gateway or a partner says
// is data and reaches the page as text; a message made of the module's own links stays
// markup. (The browser check sends through the window and watches these rows.)
#include "host/send_window.h"

#include <gtest/gtest.h>

#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

// The row parts as the progress style sheet lays them out, for order 7.
constexpr const char* kRow =
    "<html><body><table><tr><td id=\"7OrderProgressLeft\" width=\"0%\" bgcolor=\"#2f7fd0\"></td>"
    "</tr></table><span id=\"7ProgressSpan\">waiting</span><span id=\"7OrderProgressText\">"
    "</span><span id=\"7OrderSpan\"></span><button id=\"CancelButton\">Cancel</button>"
    "</body></html>";

int Count(const ui::HtmlElement& e, const std::string& xpath) {
  return static_cast<int>(e.node().selectNodes(xpath).length());
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
  EXPECT_GT(surface.pumps, 0);         // the window stays responsive while rows are drawn

  SendRow linked = failed;
  linked.message_html = "text <A id=\"urloxnet\" href=\"https://x.invalid/\">site</A>";
  page.OrderDone(linked);
  EXPECT_EQ(Count(surface.b_.GetElementById("7OrderSpan"), ".//a[@id='urloxnet']"), 1);

  // The sequence number the gateway returns is data too.
  ASSERT_TRUE(surface.b_.LoadHtml(kRow));
  SendRow sent;
  sent.order_id = "7";
  sent.result = SendResult::Sent;
  sent.sequence = "<b>7</b>";
  page.OrderDone(sent);
  span = surface.b_.GetElementById("7OrderSpan");
  EXPECT_EQ(Count(span, ".//b"), 0);
  EXPECT_NE(span.innerText().find("<b>7</b>"), std::string::npos);
}

}  // namespace
}  // namespace larkedi
