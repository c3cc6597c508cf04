// The main window on plain frame models: its load, first page, the order stack page's
// events, the spool watch and the unload, as the page would drive them.
#include "host/main_window.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "orders/stack_files.h"
#include "testing/failing_env.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

using testing::Click;
using testing::OneDesignInput;
using ui::EventKind;
using ui::PageEvent;

class MainWindowTest : public testing::WindowTest {
 protected:
  void SetUp() override {
    testing::WriteOnePartnerSettings(module_, "Acme &lt;b&gt;bold&lt;/b&gt;");
  }

  // Opens the window on the order stack with `design` handed in.
  void Open(const std::string& design) {
    window_.StartupInput = design;
    window_.StartValue = 1;
    window_.Finished = [this] { ++finished_; };
    ASSERT_TRUE(window_.Form_Load());
    window_.ShowFirstPage();
  }

  long GroupId() {
    return std::stol(edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP/ID").text());
  }
  std::string GroupText(const std::string& element) {
    return edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP/" + element).text();
  }
  bool Dispatch(PageEvent e) { return window_.HandleEvent(e); }
  // The page reports the new state of a control along with the event.
  bool Tick(const std::string& id, bool checked) {
    surface_.b_.ApplyControlState({{id, std::nullopt, checked, std::nullopt}});
    return Dispatch(Click("fDocB", id));
  }
  void Type(const std::string& id, const std::string& value) {
    surface_.b_.ApplyControlState({{id, value, std::nullopt, std::nullopt}});
    PageEvent e;
    e.kind = EventKind::KeyUp;
    e.frame = "fDocB";
    e.id = id;
    e.type = "text";
    e.key = "x";
    Dispatch(e);
  }

  int finished_ = 0;
};

TEST_F(MainWindowTest, OrderStackPageShowsTheStackAndItsTotals) {
  Open(OneDesignInput("kitchen.kit", "ABC"));
  const std::string id = std::to_string(GroupId());
  EXPECT_TRUE(surface_.b_.GetElementById("ordercheck" + id));
  EXPECT_TRUE(surface_.b_.GetElementById("ponumber" + id));
  EXPECT_NE(surface_.c_.Html().find("<body"), std::string::npos);
  EXPECT_EQ(FrameRows(window_.Pages()), "0,*,35");
  EXPECT_TRUE(edi_.bStackShown);
  EXPECT_TRUE(window_.SpoolTimerEnabled());
  // The menu marks the Orders tool.
  ui::HtmlElement orders_tool = surface_.window_.GetElementById("tool2");
  ASSERT_TRUE(orders_tool);
  EXPECT_EQ(orders_tool.getAttribute("class"), "current");
  EXPECT_NE(surface_.window_.GetElementById("tool1").getAttribute("class"), "current");
  // The partner name holding markup is text, nowhere an element.
  for (ui::HtmlElement b : surface_.b_.GetElementsByTagName("b")) {
    EXPECT_NE(b.innerText(), "bold");
  }
  EXPECT_NE(surface_.b_.body().innerText().find("<b>bold</b>"), std::string::npos);
}

TEST_F(MainWindowTest, CheckBoxesChangeTheStackAndTheTotals) {
  Open(OneDesignInput("kitchen.kit", "ABC"));
  const std::string id = std::to_string(GroupId());
  ASSERT_EQ(GroupText("SENDIT"), "1");
  const std::string totals_before = surface_.c_.Html();
  EXPECT_TRUE(Tick("ordercheck" + id, false));  // the box keeps its new state
  EXPECT_EQ(GroupText("SENDIT"), "0");
  EXPECT_NE(surface_.c_.Html(), totals_before);
  EXPECT_TRUE(edi_.Orders.bOrdersChanged);

  // The request-for-quote box is on the page of a group that has the field.
  edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP")
      .appendChild(edi_.Orders.docOrders.createElement("RFQ"));
  window_.DisplayEDI(false);
  ASSERT_TRUE(surface_.b_.GetElementById("ordermode" + id));
  EXPECT_FALSE(surface_.b_.GetElementById("ordermode" + id).checked());
  EXPECT_TRUE(Tick("ordermode" + id, true));
  EXPECT_EQ(GroupText("RFQ"), "1");
  // Ticks reach the stack file at close.
  EXPECT_FALSE(window_.Form_Unload());
  EXPECT_EQ(finished_, 1);
  frmEDI again;
  ASSERT_FALSE(again.OpenHeadless());
  again.Orders.LoadOrders(false);
  EXPECT_EQ(again.Orders.docOrders.selectSingleNode("//ORDERGROUP/SENDIT").text(), "0");
  EXPECT_EQ(again.Orders.docOrders.selectSingleNode("//ORDERGROUP/RFQ").text(), "1");
  // A second unload (page gone after the Close tool) raises nothing more.
  window_.Form_Unload();
  EXPECT_EQ(finished_, 1);
}

TEST_F(MainWindowTest, TypedFieldsAreSavedAtCloseAsText) {
  Open(OneDesignInput("kitchen.kit", "ABC"));
  const std::string id = std::to_string(GroupId());
  Type("ponumber" + id, "PO-<i>7</i>");
  Type("contactname" + id, "Ann");
  EXPECT_EQ(GroupText("PONUMBER"), "PO-<i>7</i>");
  EXPECT_EQ(GroupText("CONTACTNAME"), "Ann");
  EXPECT_TRUE(edi_.Orders.bOrdersChanged);
  // Redrawn, the number is the field's value and no element of the page.
  window_.DisplayEDI(false);
  EXPECT_EQ(surface_.b_.GetElementById("ponumber" + id).value(), "PO-<i>7</i>");
  EXPECT_TRUE(surface_.b_.GetElementsByTagName("i").empty());

  // The Close tool asks the window to close; the owner unloads it.
  Dispatch(Click("window", "tool7"));
  EXPECT_EQ(surface_.close_requests, 1);
  EXPECT_FALSE(window_.Form_Unload());
  frmEDI again;
  ASSERT_FALSE(again.OpenHeadless());
  again.Orders.LoadOrders(false);
  EXPECT_EQ(again.Orders.docOrders.selectSingleNode("//ORDERGROUP/PONUMBER").text(), "PO-<i>7</i>");
}

TEST_F(MainWindowTest, AFailedSaveAtCloseIsReportedAndStillFinishes) {
  Open(OneDesignInput("kitchen.kit", "ABC"));
  Type("ponumber" + std::to_string(GroupId()), "PO-9");
  Err err;
  {
    testing::FailingWritesEnv full;
    testing::ScopedEnv scoped(&full);
    err = window_.Form_Unload();
  }
  EXPECT_TRUE(err);
  EXPECT_FALSE(err.Description.empty());
  EXPECT_EQ(finished_, 1);
  frmEDI again;
  ASSERT_FALSE(again.OpenHeadless());
  again.Orders.LoadOrders(false);
  EXPECT_NE(again.Orders.docOrders.selectSingleNode("//ORDERGROUP/PONUMBER").text(), "PO-9");
}

TEST_F(MainWindowTest, DetailPrintAndBack) {
  Open(OneDesignInput("kitchen.kit", "ABC"));
  const std::string id = std::to_string(GroupId());
  EXPECT_FALSE(Dispatch(Click("fDocB", "OrderDetailsLink" + id)));
  EXPECT_FALSE(surface_.b_.GetElementById("ordercheck" + id));
  ASSERT_TRUE(surface_.c_.GetElementById("lmenureturn"));
  ASSERT_TRUE(surface_.c_.GetElementById("lmenuprint"));
  EXPECT_EQ(FrameRows(window_.Pages()), "0,*,35");

  Dispatch(Click("fDocC", "lmenuprint"));
  ASSERT_EQ(surface_.printed.size(), 1u);
  EXPECT_EQ(surface_.printed[0], surface_.b_.body().innerHTML());

  Dispatch(Click("fDocC", "lmenureturn"));
  EXPECT_TRUE(surface_.b_.GetElementById("ordercheck" + id));
  EXPECT_FALSE(surface_.c_.GetElementById("lmenureturn"));
}

TEST_F(MainWindowTest, RemoveAsksAndKeepsTheOrderOnNo) {
  Open(OneDesignInput("kitchen.kit", "ABC"));
  const std::string id = std::to_string(GroupId());
  dialogs_.msgbox_answers.push_back(MsgResult::No);
  Dispatch(Click("fDocB", "orderremovelink" + id));
  EXPECT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_FALSE(edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP").isNull());

  dialogs_.msgbox_answers.push_back(MsgResult::Yes);
  Dispatch(Click("fDocB", "orderremovelink" + id));
  EXPECT_TRUE(edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP").isNull());
  EXPECT_FALSE(surface_.b_.GetElementById("ordercheck" + id));
  EXPECT_TRUE(ListXmeFiles(edi_.Orders.SpoolFolder()).empty());
}

TEST_F(MainWindowTest, AFailingHandlerShowsItsErrorAndLeavesTheWindowUsable) {
  Open(OneDesignInput("kitchen.kit", "ABC"));
  edi_.StyleSheets.Clear();
  edi_.StyleSheets.Add("orderdetail", "<xsl:stylesheet broken");
  Dispatch(Click("fDocB", "orderdetailslink" + std::to_string(GroupId())));
  EXPECT_NE(surface_.b_.body().innerText().find("DisplayOrder"), std::string::npos)
      << surface_.b_.Html();
  EXPECT_TRUE(window_.Enabled());
  EXPECT_TRUE(window_.SpoolTimerEnabled());
}

TEST_F(MainWindowTest, EventsWithoutAnActionDoNothing) {
  Open(OneDesignInput("kitchen.kit", "ABC"));
  const std::string page = surface_.b_.Html();
  PageEvent menu = Click("fDocB", "ordercheck" + std::to_string(GroupId()));
  menu.kind = EventKind::ContextMenu;
  EXPECT_FALSE(Dispatch(menu));
  PageEvent f5 = Click("fDocB", "");
  f5.kind = EventKind::KeyDown;
  f5.key = "F5";
  EXPECT_FALSE(Dispatch(f5));
  EXPECT_FALSE(Dispatch(Click("fDocB", "nosuchaction3")));
  // "ordercheck" of the bottom strip is no action there.
  EXPECT_FALSE(Dispatch(Click("fDocC", "ordercheck" + std::to_string(GroupId()))));
  EXPECT_EQ(surface_.b_.Html(), page);
  EXPECT_FALSE(edi_.Orders.bOrdersChanged);
}

TEST_F(MainWindowTest, SpoolTimerRedrawsWhenAnotherProcessStacksADesign) {
  Open(OneDesignInput("kitchen.kit", "ABC"));
  EXPECT_EQ(edi_.Orders.docOrders.selectNodes("/Orders/Design").length(), 1);
  window_.SpoolTimerTick();  // nothing changed
  EXPECT_EQ(edi_.Orders.docOrders.selectNodes("/Orders/Design").length(), 1);
  // A number typed before the rebuild survives it.
  Type("ponumber" + std::to_string(GroupId()), "PO-5");
  {
    frmEDI other;
    ASSERT_FALSE(other.OpenHeadless());
    std::string input = OneDesignInput("bath.kit", "ABC");
    other.Orders.LoadOrders(false, input);
  }
  window_.SpoolTimerTick();
  EXPECT_EQ(edi_.Orders.docOrders.selectNodes("/Orders/Design").length(), 2);
  EXPECT_NE(surface_.b_.Html().find("bath.kit"), std::string::npos);
  EXPECT_EQ(edi_.Orders.docOrders
                .selectSingleNode("/Orders/Design[JobInfo/FileName='kitchen.kit']/ORDERGROUP/"
                                  "PONUMBER")
                .text(),
            "PO-5");
}

TEST_F(MainWindowTest, DesignThatDoesNotParseFailsTheLoad) {
  window_.StartupInput = "<Designs><Design>";
  window_.Finished = [this] { ++finished_; };
  EXPECT_FALSE(window_.Form_Load());
  EXPECT_TRUE(edi_.LoadFailed);
  EXPECT_EQ(dialogs_.shown.size(), 1u);
}

TEST_F(MainWindowTest, StartValuesChooseTheFirstPage) {
  window_.StartValue = 5;
  ASSERT_TRUE(window_.Form_Load());
  window_.ShowFirstPage();
  EXPECT_TRUE(surface_.window_.GetElementById("tool1").hasAttribute("disabled"));
  EXPECT_EQ(surface_.window_.GetElementById("tool5").getAttribute("class"), "current");
  EXPECT_FALSE(edi_.bStackShown);
  // The home tool is off: a click on it does nothing.
  const std::string page = surface_.b_.Html();
  Dispatch(Click("window", "tool1"));
  EXPECT_EQ(surface_.b_.Html(), page);
  // The Orders tool is off as well; Help is not.
  Dispatch(Click("window", "tool2"));
  EXPECT_FALSE(edi_.bStackShown);
}

}  // namespace
}  // namespace larkedi
