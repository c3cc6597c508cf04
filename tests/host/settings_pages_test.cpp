// The settings and partner pages of the main window, driven through its event table as the
// page would. The browser check drives the ordinary paths; these are the ones where a stack
// edit or an unsaved choice could be lost, and a save that fails.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "host/host_fixture.h"
#include "host/main_window.h"
#include "support/resx.h"
#include "support/xml_helpers.h"
#include "testing/failing_env.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

using ui::EventKind;
using ui::PageEvent;

class SettingsPagesTest : public testing::WindowTest {
 protected:
  void SetUp() override {
    // No partner web service: the load's question fails at once.
    ::setenv("LARKEDI_PARTNER_ENDPOINT", "http://127.0.0.1:9/wsManufInfo.asmx", 1);
    ::setenv("LARKEDI_REGISTRY_DIR", module_.path("registry").c_str(), 1);
    testing::WriteSettings(module_, testing::Method(1, "XML", "ConnectMethodOrca") +
                                        testing::Method(2, "Form", "ORDR") +
                                        testing::Partner(1, "", "Acme", "ACME", 1) +
                                        testing::Partner(2, "BIRCH", "Birch", "BIRCH", 1) +
                                        testing::Catalog(1, "ABC", 1) +
                                        testing::Catalog(2, "OTHER", 1));
  }
  void TearDown() override {
    ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
    ::unsetenv("LARKEDI_REGISTRY_DIR");
  }

  void Open(int start, const std::string& design = "") {
    window_.StartupInput = design;
    window_.StartValue = start;
    ASSERT_TRUE(window_.Form_Load());
    window_.ShowFirstPage();
  }
  ui::HtmlElement B(const std::string& id) { return surface_.b_.GetElementById(id); }
  void Event(EventKind kind, const std::string& id, const std::string& form = "") {
    PageEvent e;
    e.kind = kind;
    e.frame = "fDocB";
    e.id = id;
    e.form = form;
    if (ui::HtmlElement el = B(id)) {
      e.tag = el.tagName();
      e.type = el.type();
    }
    window_.HandleEvent(e);
  }
  // Chooses the option whose value is `value` in the list `id`, as the page reports it.
  void Choose(const std::string& id, const std::string& value) {
    std::vector<ui::HtmlElement> options = B(id).options();
    for (std::size_t i = 0; i < options.size(); ++i) {
      if (options[i].value() == value) {
        surface_.b_.ApplyControlState({{id, std::nullopt, std::nullopt, std::vector<int>{int(i)}}});
        return Event(EventKind::Change, id);
      }
    }
    ADD_FAILURE() << "no option " << value << " in " << id;
  }
  void Type(const std::string& id, const std::string& value) {
    surface_.b_.ApplyControlState({{id, value, std::nullopt, std::nullopt}});
    Event(EventKind::KeyUp, id);
  }
  std::string Saved(const std::string& xpath) {
    xml::Document doc;
    EXPECT_TRUE(doc.load(SettingsPath())) << doc.parseErrorReason();
    return GetNodeText(doc, xpath);
  }
  std::string StackedPoNumber() {
    return GetNodeText(testing::ReloadedOrders(), "//ORDERGROUP/PONUMBER");
  }
  // Opens the stack with a design and types a purchase-order number that is not saved yet.
  void TypeUnsavedPoNumber(const std::string& number) {
    Open(1, testing::OneDesignInput("kitchen.kit", "ABC"));
    Type("ponumber" + GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP/ID"), number);
    ASSERT_TRUE(edi_.Orders.bOrdersChanged);
    ASSERT_NE(StackedPoNumber(), number);
  }
};

TEST_F(SettingsPagesTest, LeavingThePartnerPageDropsTheNewPartnerAndKeepsTheStackEdits) {
  TypeUnsavedPoNumber("PO-73");
  window_.NavigateTo(4);
  Event(EventKind::Click, "newpartner");
  Event(EventKind::Click, "exitpartner");
  EXPECT_EQ(edi_.Settings.docSettings.selectNodes("SETTINGS/PARTNER").length(), 2);
  EXPECT_EQ(StackedPoNumber(), "PO-73");
  EXPECT_FALSE(edi_.Orders.bOrdersChanged);
}

TEST_F(SettingsPagesTest, AssigningACatalogSavesTheStackEditsBeforeTheRegroup) {
  TypeUnsavedPoNumber("PO-72");
  window_.NavigateTo(5);
  Choose("partnerassign2", "2");
  EXPECT_EQ(Saved("SETTINGS/CATALOG[ID=2]/PARTNERID"), "2");
  EXPECT_TRUE(edi_.Orders.docOrders.selectSingleNode("/*").isNull());
  EXPECT_EQ(StackedPoNumber(), "PO-72");
}

TEST_F(SettingsPagesTest, RemovingAPartnerAsksFirstAndAnUnknownOneIsReported) {
  Open(4);
  const int partners = edi_.Settings.docSettings.selectNodes("SETTINGS/PARTNER").length();
  dialogs_.msgbox_answers = {MsgResult::No};
  Event(EventKind::Click, "removepartner2");
  EXPECT_EQ(edi_.Settings.docSettings.selectNodes("SETTINGS/PARTNER").length(), partners);
  EXPECT_EQ(Saved("SETTINGS/PARTNER[ID='2']/NAME"), "Birch");
  Event(EventKind::Click, "removepartner2");  // answered Yes
  EXPECT_EQ(edi_.Settings.docSettings.selectNodes("SETTINGS/PARTNER").length(), partners - 1);
  EXPECT_EQ(Saved("SETTINGS/PARTNER[ID='2']/NAME"), "");
  Event(EventKind::Click, "removepartner9");  // reported, nothing asked
  ASSERT_EQ(dialogs_.shown.size(), 3u);
  EXPECT_NE(dialogs_.shown.back().buttons, MsgButtons::YesNo);
}

TEST_F(SettingsPagesTest, AFailedFormSaveAndAnUnsavedMethodChoiceReachNoFile) {
  Open(5);
  Type("SORT", "SEQUENCE+DESC");
  {
    testing::FailingWritesEnv full;  // a full disk
    testing::ScopedEnv scoped(&full);
    Event(EventKind::Click, "savebutton", "display");
  }
  EXPECT_EQ(dialogs_.CountShown(Res("MSG ProblemSavingForm")), 1);
  EXPECT_FALSE(B("savebutton").hasAttribute("disabled"));
  EXPECT_EQ(Saved("SETTINGS/DISPLAY/SORT"), "");
  Event(EventKind::Click, "savebutton", "display");
  EXPECT_EQ(Saved("SETTINGS/DISPLAY/SORT"), "SEQUENCE+DESC");
  EXPECT_TRUE(B("savebutton").hasAttribute("disabled"));

  Event(EventKind::Click, "editpartnerlist");
  Event(EventKind::Click, "editpartner1");
  Choose("METHODIDLIST1", "2");
  const std::size_t shown = dialogs_.shown.size();
  // Another save meanwhile (a new catalog) does not carry the unsaved choice.
  ASSERT_FALSE(edi_.Settings.CreateCatalog("XYZ"));
  EXPECT_EQ(Saved("SETTINGS/PARTNER[ID='1']/METHODID"), "1");
  Event(EventKind::Click, "savepartner1");
  EXPECT_EQ(Saved("SETTINGS/PARTNER[ID='1']/METHODID"), "2");
  // A partner's connector opens its own dialog, for that partner's code.
  Event(EventKind::Click, "editpartnerlist");
  Event(EventKind::Click, "editpartner2");
  Event(EventKind::Click, "configmethod2");
  ASSERT_EQ(dialogs_.shown.size(), shown + 1);
  EXPECT_EQ(dialogs_.shown.back().kind, "inputbox");
  EXPECT_NE(dialogs_.shown.back().text.find("BIRCH"), std::string::npos);
}

}  // namespace
}  // namespace larkedi
