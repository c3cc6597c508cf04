// The main window on plain frame models: what its load, its event table and its unload do
// when something goes wrong. The browser checks drive the order stack page's ordinary use.
#include "host/main_window.h"

#include <gtest/gtest.h>

#include <map>

#include "host/host_fixture.h"

#include "testing/failing_env.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

using testing::Click;
using ui::EventKind;
using ui::PageEvent;

class MainWindowTest : public testing::WindowTest {
 protected:
  void SetUp() override { testing::WriteOnePartnerSettings(module_, "Acme"); }

  // Opens the window on the order stack with one design handed in.
  void Open() {
    window_.StartupInput = testing::OneDesignInput("kitchen.kit", "ABC");
    window_.StartValue = 1;
    window_.Finished = [this] { ++finished_; };
    ASSERT_TRUE(window_.Form_Load());
    window_.ShowFirstPage();
  }
  std::string GroupId() { return edi_.Orders.docOrders.selectSingleNode("//ORDERGROUP/ID").text(); }

  int finished_ = 0;
};

TEST_F(MainWindowTest, AFailedSaveAtCloseIsReportedAndStillFinishesOnce) {
  Open();
  surface_.b_.ApplyControlState({{"ponumber" + GroupId(), "PO-9", std::nullopt, std::nullopt}});
  PageEvent typed = Click("fDocB", "ponumber" + GroupId());
  typed.kind = EventKind::KeyUp;
  typed.type = "text";
  typed.key = "9";
  window_.HandleEvent(typed);
  ASSERT_TRUE(edi_.Orders.bOrdersChanged);
  Err err;
  {
    testing::FailingWritesEnv full;
    testing::ScopedEnv scoped(&full);
    err = window_.Form_Unload();
  }
  EXPECT_FALSE(err.Description.empty());
  EXPECT_EQ(finished_, 1);
  EXPECT_NE(testing::ReloadedOrders().selectSingleNode("//ORDERGROUP/PONUMBER").text(), "PO-9");
  // A second unload (page gone after the Close tool) raises nothing more.
  window_.Form_Unload();
  EXPECT_EQ(finished_, 1);
}

TEST_F(MainWindowTest, TypedFieldsReachTheirOwnElementsAndAreSavedAtClose) {
  Open();
  const std::map<std::string, std::string> fields = {
      {"ponumber", "PO-9"}, {"pocomment", "after 10 <am> & \"gate\""}, {"contactname", "O'Neil"}};
  for (const auto& [name, value] : fields) {
    surface_.b_.ApplyControlState({{name + GroupId(), value, std::nullopt, std::nullopt}});
    PageEvent typed = Click("fDocB", name + GroupId());
    typed.kind = EventKind::KeyUp;
    typed.key = "x";
    window_.HandleEvent(typed);
  }
  EXPECT_FALSE(window_.Form_Unload());
  const xml::Document saved = testing::ReloadedOrders();
  EXPECT_EQ(saved.selectSingleNode("//ORDERGROUP/PONUMBER").text(), "PO-9");
  EXPECT_EQ(saved.selectSingleNode("//ORDERGROUP/COMMENT").text(), fields.at("pocomment"));
  EXPECT_EQ(saved.selectSingleNode("//ORDERGROUP/CONTACTNAME").text(), "O'Neil");
}

TEST_F(MainWindowTest, EventsWithoutAnActionDoNothingAndAFailingHandlerLeavesTheWindowUsable) {
  Open();
  const std::string page = surface_.b_.Html();
  PageEvent menu = Click("fDocB", "ordercheck" + GroupId());
  menu.kind = EventKind::ContextMenu;
  EXPECT_FALSE(window_.HandleEvent(menu));
  EXPECT_FALSE(window_.HandleEvent(Click("fDocB", "nosuchaction3")));
  // "ordercheck" of the bottom strip is no action there.
  EXPECT_FALSE(window_.HandleEvent(Click("fDocC", "ordercheck" + GroupId())));
  // "ordercheck" of the bottom strip is no action there.
  EXPECT_FALSE(window_.HandleEvent(Click("fDocC", "ordercheck" + GroupId())));
  EXPECT_EQ(surface_.b_.Html(), page);
  EXPECT_FALSE(edi_.Orders.bOrdersChanged);

  edi_.StyleSheets.Clear();
  edi_.StyleSheets.Add("orderdetail", "<xsl:stylesheet broken");
  window_.HandleEvent(Click("fDocB", "orderdetailslink" + GroupId()));
  EXPECT_NE(surface_.b_.body().innerText().find("DisplayOrder"), std::string::npos)
      << surface_.b_.Html();
  EXPECT_TRUE(window_.Enabled());
  EXPECT_TRUE(window_.SpoolTimerEnabled());
}

}  // namespace
}  // namespace larkedi
