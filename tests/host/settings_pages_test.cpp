// The settings page, partner list and partner page of the main window, driven through its
// event table as the page would: what each event changes in the settings file and the
// order stack, and what it shows.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <thread>

#include "host/main_window.h"
#include "support/resx.h"
#include "support/xml_helpers.h"
#include "testing/failing_env.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::OneDesignInput;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;
using ui::EventKind;
using ui::PageEvent;

class SettingsPagesTest : public testing::WindowTest {
 protected:
  void SetUp() override {
    // No partner web service: the load's question fails at once.
    ::setenv("LARKEDI_PARTNER_ENDPOINT", "http://127.0.0.1:9/wsManufInfo.asmx", 1);
    ::setenv("LARKEDI_REGISTRY_DIR", module_.path("registry").c_str(), 1);
    WriteFileOrDie(
        module_.path("larkEDI.xml"),
        "<SETTINGS><METHOD><ID>1</ID><NAME>XML</NAME><OBJECTNAME>ConnectMethodOrca</OBJECTNAME>"
        "</METHOD><METHOD><ID>2</ID><NAME>Form</NAME><OBJECTNAME>ORDR</OBJECTNAME></METHOD>"
        "<SPOOLPATH>" +
            module_.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" + module_.path("Archive") +
            "</ARCHIVEPATH><TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
            "<SORTORDER>NS</SORTORDER>"
            "<PARTNER><ID>1</ID><NAME>Acme</NAME><MANUFID>ACME</MANUFID><METHODID>1</METHODID>"
            "</PARTNER>"
            "<PARTNER><ID>2</ID><CODE>BIRCH</CODE><NAME>Birch</NAME><MANUFID>BIRCH</MANUFID>"
            "<METHODID>1</METHODID></PARTNER>"
            "<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG>"
            "<CATALOG><ID>2</ID><CODE>OTHER</CODE><PARTNERID>1</PARTNERID></CATALOG>"
            "</SETTINGS>");
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
  bool Event(EventKind kind, const std::string& frame, const std::string& id,
             const std::string& form = "") {
    PageEvent e;
    e.kind = kind;
    e.frame = frame;
    e.id = id;
    e.form = form;
    if (ui::HtmlElement el =
            surface_.Frame(frame) ? surface_.Frame(frame)->GetElementById(id) : ui::HtmlElement()) {
      e.tag = el.tagName();
      e.type = el.type();
    }
    return window_.HandleEvent(e);
  }
  bool Click(const std::string& id) { return Event(EventKind::Click, "fDocB", id); }
  // Chooses the option whose value is `value` in the list `id`, as the page reports it.
  void Choose(const std::string& id, const std::string& value) {
    std::vector<ui::HtmlElement> options = B(id).options();
    for (std::size_t i = 0; i < options.size(); ++i) {
      if (options[i].value() == value) {
        surface_.b_.ApplyControlState({{id, std::nullopt, std::nullopt, std::vector<int>{int(i)}}});
        Event(EventKind::Change, "fDocB", id);
        return;
      }
    }
    ADD_FAILURE() << "no option " << value << " in " << id;
  }
  void Type(const std::string& id, const std::string& value) {
    surface_.b_.ApplyControlState({{id, value, std::nullopt, std::nullopt}});
    Event(EventKind::KeyUp, "fDocB", id);
  }
  xml::Document Saved() {
    xml::Document doc;
    EXPECT_TRUE(doc.load(SettingsPath())) << doc.parseErrorReason();
    return doc;
  }
  // The PONUMBER of the stack file's first group, read by another process's load.
  std::string StackedPoNumber() {
    frmEDI other;
    EXPECT_FALSE(other.OpenHeadless());
    other.Orders.LoadOrders(false);
    return GetNodeText(other.Orders.docOrders, "//ORDERGROUP/PONUMBER");
  }
  // Opens the stack with a design and types a purchase-order number that is not saved yet.
  void TypeUnsavedPoNumber(const std::string& number) {
    Open(1, OneDesignInput("kitchen.kit", "ABC"));
    const std::string id = GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP/ID");
    Type("ponumber" + id, number);
    ASSERT_TRUE(edi_.Orders.bOrdersChanged);
    ASSERT_NE(StackedPoNumber(), number);
  }
};

TEST_F(SettingsPagesTest, SettingsPageShowsEveryControlItsEventsRead) {
  Open(5);
  for (const char* id : {"sortlist", "newcatalog", "editcatalog1", "removecatalog1",
                         "partnerassign1", "editpartnerlist", "setspoolpathbutton", "spoolpath",
                         "setarchivepathbutton", "archivepath", "savebutton"}) {
    EXPECT_TRUE(B(id)) << id;
  }
  EXPECT_EQ(B("partnerassign1").value(), "1");
  EXPECT_EQ(B("spoolpath").innerText(), module_.path("Send"));
  EXPECT_TRUE(B("savebutton").form());

  Click("editpartnerlist");
  for (const char* id : {"editpartner1", "removepartner2", "newpartner", "displaysettings"}) {
    EXPECT_TRUE(B(id)) << id;
  }
  Click("editpartner2");
  for (const char* id : {"NAME2", "MANUFID2", "DEALERID2", "KITFILEID2", "kitfiletextid2",
                         "METHODIDLIST2", "configmethod2", "savepartner2", "exitpartner"}) {
    EXPECT_TRUE(B(id)) << id;
  }
  // The method options carry the method ID as the only digits of their id.
  std::vector<ui::HtmlElement> options = B("METHODIDLIST2").options();
  ASSERT_EQ(options.size(), 2u);
  EXPECT_EQ(GetIdNumber(options[1].id()), 2);
  // The kit-file box keeps its new state and its label follows it.
  surface_.b_.ApplyControlState({{"KITFILEID2", std::nullopt, true, std::nullopt}});
  EXPECT_TRUE(Click("KITFILEID2"));
  EXPECT_EQ(B("kitfiletextid2").innerText(), Res("LBL Included"));
  // The XML connector's configuration dialog opens for the partner's code.
  dialogs_.shown.clear();
  Click("configmethod2");
  ASSERT_FALSE(dialogs_.shown.empty());
  EXPECT_EQ(dialogs_.shown.front().kind, "inputbox");
  EXPECT_NE(dialogs_.shown.front().text.find("Gateway servers"), std::string::npos);
  Click("exitpartner");
  EXPECT_TRUE(B("newpartner"));  // back on the list it was opened from
  Click("displaysettings");
  EXPECT_TRUE(B("newcatalog"));
}

TEST_F(SettingsPagesTest, CatalogEventsSaveTheStackEditsBeforeItIsRebuilt) {
  TypeUnsavedPoNumber("PO-71");
  window_.NavigateTo(5);
  // Renaming asks with the current code; an unchanged answer changes nothing.
  dialogs_.text_answers = {std::string("OTHER")};
  Click("editcatalog2");
  EXPECT_FALSE(edi_.Orders.docOrders.selectSingleNode("/*").isNull());
  // A new code rebuilds the stack (its groups come from the codes): the typed number is
  // written first.
  dialogs_.text_answers = {std::string("OTHER 2")};
  Click("EditCatalog2");  // ids are read without regard to case
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/CATALOG[ID=2]/CODE"), "OTHER 2");
  EXPECT_TRUE(edi_.Orders.docOrders.selectSingleNode("/*").isNull());
  EXPECT_FALSE(edi_.Orders.bOrdersChanged);
  EXPECT_EQ(StackedPoNumber(), "PO-71");
  EXPECT_NE(surface_.b_.Html().find("OTHER 2"), std::string::npos);

  dialogs_.text_answers = {std::string("NEW")};
  Click("newcatalog");
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/CATALOG[ID=3]/PARTNERID"), "-2");
  ASSERT_TRUE(B("removecatalog3"));
  dialogs_.msgbox_answers = {MsgResult::No};
  Click("removecatalog3");
  EXPECT_EQ(Saved().selectNodes("SETTINGS/CATALOG").length(), 3);
  dialogs_.msgbox_answers = {MsgResult::Yes};
  Click("removecatalog3");
  EXPECT_EQ(Saved().selectNodes("SETTINGS/CATALOG").length(), 2);
  EXPECT_FALSE(B("removecatalog3"));
}

TEST_F(SettingsPagesTest, AssigningACatalogRegroupsTheStack) {
  TypeUnsavedPoNumber("PO-72");
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP/PARTNERID"), "1");
  window_.NavigateTo(5);
  Choose("partnerassign1", "1");  // the partner it has: nothing saved, the stack stays
  EXPECT_FALSE(edi_.Orders.docOrders.selectSingleNode("/*").isNull());
  // Any assignment rebuilds the stack; its edits are written before it goes.
  Choose("partnerassign2", "2");
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/CATALOG[ID=2]/PARTNERID"), "2");
  EXPECT_TRUE(edi_.Orders.docOrders.selectSingleNode("/*").isNull());
  EXPECT_EQ(StackedPoNumber(), "PO-72");
  Choose("partnerassign1", "2");
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/CATALOG[ID=1]/PARTNERID"), "2");
  window_.NavigateTo(2);
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP/PARTNERID"), "2");
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP/PARTNERNAME"), "Birch");
}

TEST_F(SettingsPagesTest, NewPartnersAreSavedAloneOrTogetherAndDroppedOnExit) {
  Open(5);
  Click("editpartnerlist");
  Click("newpartner");
  const std::string first = "3";
  ASSERT_TRUE(B("NAME" + first));
  Click("exitpartner");
  EXPECT_TRUE(B("newpartner"));
  EXPECT_EQ(edi_.Settings.docSettings.selectNodes("SETTINGS/PARTNER").length(), 2);

  // Two new partners: saving the second leaves the first out of the file and shows every
  // partner under the warning.
  Click("newpartner");
  const std::string a = GetNodeText(edi_.Settings.docSettings, "SETTINGS/PARTNER[last()]/ID");
  EXPECT_NE(a, first);  // the dropped partner's number is not given again
  Click("newpartner");
  const std::string b = GetNodeText(edi_.Settings.docSettings, "SETTINGS/PARTNER[last()]/ID");
  Type("NAME" + b, "Cedar & Co");
  Click("savepartner" + b);
  xml::Document saved = Saved();
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/PARTNER[ID='" + b + "']/NAME"), "Cedar & Co");
  EXPECT_TRUE(saved.selectSingleNode("SETTINGS/PARTNER[ID='" + a + "']").isNull());
  EXPECT_NE(surface_.b_.Html().find(Res("LBL UnsavedPartnersWarning")), std::string::npos);
  EXPECT_TRUE(B("savepartner1") && B("savepartner" + a));
  // Saving the first saves everything and goes back to the list.
  Type("NAME" + a, "Dogwood");
  Click("savepartner" + a);
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/PARTNER[ID='" + a + "']/NAME"), "Dogwood");
  EXPECT_EQ(Saved().selectNodes("SETTINGS/PARTNER").length(), 4);
  EXPECT_TRUE(B("newpartner"));

  // Removing asks; the list shows the rest.
  dialogs_.msgbox_answers = {MsgResult::Yes};
  Click("removepartner" + b);
  EXPECT_TRUE(Saved().selectSingleNode("SETTINGS/PARTNER[ID='" + b + "']").isNull());
  EXPECT_FALSE(B("removepartner" + b));
}

TEST_F(SettingsPagesTest, TheMethodChoiceReachesTheSettingsOnlyWithTheSave) {
  Open(5);
  Click("editpartnerlist");
  Click("editpartner1");
  EXPECT_FALSE(B("configmethod1").hasAttribute("disabled"));
  Choose("METHODIDLIST1", "2");
  // An order-form module has no configuration dialog.
  EXPECT_TRUE(B("configmethod1").hasAttribute("disabled"));
  EXPECT_FALSE(B("savepartner1").hasAttribute("disabled"));
  EXPECT_EQ(GetNodeText(edi_.Settings.docSettings, "SETTINGS/PARTNER[ID='1']/METHODID"), "1");
  // Another save meanwhile (a new catalog) does not carry the unsaved choice.
  ASSERT_FALSE(edi_.Settings.CreateCatalog("XYZ"));
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/PARTNER[ID='1']/METHODID"), "1");
  Click("savepartner1");
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/PARTNER[ID='1']/METHODID"), "2");
}

TEST_F(SettingsPagesTest, ExitAndSaveOfThePartnerPageKeepTheStackEdits) {
  TypeUnsavedPoNumber("PO-73");
  window_.NavigateTo(4);
  Click("newpartner");
  Click("exitpartner");
  EXPECT_EQ(StackedPoNumber(), "PO-73");
  EXPECT_FALSE(edi_.Orders.bOrdersChanged);
}

TEST_F(SettingsPagesTest, AFailedFormSaveIsReportedAndTheButtonStaysEnabled) {
  Open(5);
  Type("SORT", "SEQUENCE+DESC");
  EXPECT_FALSE(B("savebutton").hasAttribute("disabled"));
  {
    // The settings file cannot be written (a full disk).
    testing::FailingWritesEnv full;
    testing::ScopedEnv scoped(&full);
    Event(EventKind::Click, "fDocB", "savebutton", "display");
  }
  EXPECT_EQ(dialogs_.CountShown(Res("MSG ProblemSavingForm")), 1);
  EXPECT_FALSE(B("savebutton").hasAttribute("disabled"));
  EXPECT_TRUE(Saved().selectSingleNode("SETTINGS/DISPLAY").isNull());
  Event(EventKind::Click, "fDocB", "savebutton", "display");
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/DISPLAY/SORT"), "SEQUENCE+DESC");
  EXPECT_TRUE(B("savebutton").hasAttribute("disabled"));
}

TEST_F(SettingsPagesTest, TheSameFolderWrittenDifferentlyIsRefused) {
  Open(5);
  fs::create_directories(module_.path("Send"));
  dialogs_.text_answers = {module_.path("Send/../Send/")};
  Click("setarchivepathbutton");
  EXPECT_EQ(dialogs_.CountShown(Res("MSG SelectDiffFolderForArchiving")), 1);
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/ARCHIVEPATH"), module_.path("Archive"));
  // Cancel changes nothing; another folder is taken, shown and saved.
  Click("setspoolpathbutton");
  dialogs_.text_answers = {module_.path("Stack")};
  Click("setspoolpathbutton");
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/SPOOLPATH"), module_.path("Stack"));
  EXPECT_EQ(B("spoolpath").innerText(), module_.path("Stack"));
}

TEST_F(SettingsPagesTest, LinksOpenTheConfiguredAddresses) {
  const std::string out = module_.path("opened.txt");
  WriteFileOrDie(module_.path("opener"), "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + out + "'\n");
  ::chmod(module_.path("opener").c_str(), 0755);
  ::setenv("LARKEDI_OPENER", module_.path("opener").c_str(), 1);
  Open(0);
  ASSERT_TRUE(B("urloxnet"));
  for (const char* id : {"idOrcaedisite", "idOrcadesignsite", "urloxnet", "urlpaysupport"}) {
    EXPECT_FALSE(Click(id)) << id;
  }
  ::unsetenv("LARKEDI_OPENER");
  // The opener is not waited for: its lines arrive in their own time.
  std::string text;
  for (int i = 0; i < 200 && std::count(text.begin(), text.end(), '\n') < 4; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    text = ReadFileOrEmpty(out);
  }
  for (WebSite site : {WebSite::EdiService, WebSite::Design, WebSite::Orcanet, WebSite::Support}) {
    EXPECT_NE(text.find(DefaultWebSiteAddress(site) + "\n"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace larkedi
