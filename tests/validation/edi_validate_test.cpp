#include "validation/edi_validate.h"
#include "support/module.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/automation/automation.h"
#include "platform/ui/dialogs.h"
#include "platform/xml/xml.h"
#include "presentation/style_sheets.h"
#include "support/log.h"
#include "support/xml_helpers.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

const std::string kServer = std::string(LARKEDI_TOOLS_OUT) + "/larkedi-fake-validation";

// "Fake.Module" is the fake validation module; "Fake.<misbehaviour>" one that misbehaves.
std::optional<std::string> Resolve(const std::string& progId) {
  if (progId == "Fake.Module") return "\"" + kServer + "\"";
  if (progId.rfind("Fake.", 0) == 0) return kServer + " --misbehave=" + progId.substr(5);
  return std::nullopt;
}

// Appends <Ran catalog="ID"/> to the design: counts runs and shows the edit is kept.
const char* kCountScript = R"(function Validate() {
  var ran = docDesign.createElement("Ran");
  ran.setAttribute("catalog", docCatalog.selectSingleNode("/Catalog/ID").text);
  docDesign.documentElement.appendChild(ran);
})";

// Reports an ERROR whose ACTION is " 2" (not an abort).
const char* kBlankActionScript = R"(function Validate() {
  docError.loadXML("<ERROR><CODE>B2</CODE><DESCRIPTION>d</DESCRIPTION>" +
                   "<MESSAGE>blank action</MESSAGE><ACTION> 2</ACTION></ERROR>");
})";

// Edits the design, then fails.
const char* kEditThenThrowScript = R"(function Validate() {
  docDesign.documentElement.appendChild(docDesign.createElement("HalfDone"));
  throw new Error("gave up");
})";

std::string CatalogXml(const std::string& id, const std::string& name,
                       const std::string& items = "<Item><Code>B24</Code><Qty>1</Qty></Item>") {
  return "<Catalog><ID>" + id + "</ID><Identification><Name>" + xml::EscapeXmlText(name) +
         "</Name></Identification>" + items + "</Catalog>";
}

std::string Group(const std::string& id, const std::string& catalogIds) {
  return "<ORDERGROUP><ID>" + id + "</ID>" + catalogIds + "</ORDERGROUP>";
}

class EdiValidateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    automation::AutomationOptions options;
    options.call_timeout = std::chrono::seconds(4);
    options.release_wait = std::chrono::seconds(1);
    previous_options_ = automation::SetAutomationOptions(options);
    for (const char* name :
         {"FAKE_MODULE_STATUS", "FAKE_MODULE_MESSAGE", "FAKE_MODULE_DIALOG", "FAKE_MODULE_LOG"}) {
      ::unsetenv(name);
    }
  }
  void TearDown() override {
    automation::SetAutomationOptions(previous_options_);
    for (const char* name :
         {"FAKE_MODULE_STATUS", "FAKE_MODULE_MESSAGE", "FAKE_MODULE_DIALOG", "FAKE_MODULE_LOG"}) {
      ::unsetenv(name);
    }
  }

  void Script(const std::string& manufId, const std::string& text) {
    std::filesystem::create_directories(module_.path("Validate"));
    WriteFileOrDie(module_.path("Validate/" + manufId + ".js"), text);
  }
  void FixtureScript(const std::string& manufId, const std::string& fixture) {
    Script(manufId,
           ReadFileOrEmpty(testing::SourceDir() + "/tests/fixtures/scripts/" + fixture + ".js"));
  }
  static xml::Document Load(const std::string& text) {
    xml::Document doc;
    EXPECT_TRUE(doc.loadXML(text)) << doc.parseErrorReason() << "\n" << text;
    return doc;
  }

  // Settings: catalogs KITA/KITB for partner 7 (script WARN), KITC for partner 8 (script
  // ABRT), O'Brien for partner 7, KITM/KITN for partner 9 (module Fake.Module, also
  // MANUFID WARN), KITZ for partner 0, KITQ for a missing partner 5.
  static std::string Settings(const std::string& partner9ProgId = "Fake.Module") {
    return "<SETTINGS>"
           "<CATALOG><CODE>KITA</CODE><PARTNERID>7</PARTNERID></CATALOG>"
           "<CATALOG><CODE>KITB</CODE><PARTNERID>7</PARTNERID></CATALOG>"
           "<CATALOG><CODE>KITC</CODE><PARTNERID>8</PARTNERID></CATALOG>"
           "<CATALOG><CODE>O'Brien</CODE><PARTNERID>7</PARTNERID></CATALOG>"
           "<CATALOG><CODE>KITM</CODE><PARTNERID>9</PARTNERID></CATALOG>"
           "<CATALOG><CODE>KITN</CODE><PARTNERID>9</PARTNERID></CATALOG>"
           "<CATALOG><CODE>KITZ</CODE><PARTNERID>0</PARTNERID></CATALOG>"
           "<CATALOG><CODE>KITQ</CODE><PARTNERID>5</PARTNERID></CATALOG>"
           "<PARTNER><ID>7</ID><MANUFID> WARN </MANUFID><PROGID/></PARTNER>"
           "<PARTNER><ID>8</ID><MANUFID>ABRT</MANUFID></PARTNER>"
           "<PARTNER><ID>9</ID><MANUFID>WARN</MANUFID><PROGID>" +
           partner9ProgId +
           "</PROGID></PARTNER>"
           "</SETTINGS>";
  }

  testing::TempModule module_{false};
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_dialogs_{&dialogs_};
  automation::ScopedLocalServerResolver resolver_{Resolve};
  automation::AutomationOptions previous_options_;
};

TEST_F(EdiValidateTest, ModuleOncePerPartnerScriptOncePerCatalogAndNoTemporariesLeft) {
  Script("WARN", kCountScript);
  const std::string log = module_.path("fake.log");
  ::setenv("FAKE_MODULE_LOG", log.c_str(), 1);
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITM") + CatalogXml("2", "KITA") +
                           CatalogXml("3", "KITN") + CatalogXml("4", "KITB") + "</Design>");
  xml::Node design = doc.documentElement();

  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, true), EDI_VALIDATE_OK);

  std::string calls = ReadFileOrEmpty(log);
  size_t count = 0;
  for (size_t at = calls.find("ValidateCatalog"); at != std::string::npos;
       at = calls.find("ValidateCatalog", at + 1)) {
    ++count;
  }
  EXPECT_EQ(count, 1u) << calls;
  // Catalogs of partner 9 have a module: no script for them although its MANUFID has one.
  xml::NodeList ran = design.selectNodes("Ran");
  ASSERT_EQ(ran.length(), 2);
  EXPECT_EQ(ran.item(0).getAttribute("catalog"), "2");
  EXPECT_EQ(ran.item(1).getAttribute("catalog"), "4");
  // The edited design took the old one's place in its document.
  EXPECT_EQ(doc.documentElement(), design);
  EXPECT_EQ(doc.selectNodes("//Catalog").length(), 4);

  EXPECT_FALSE(settings.selectSingleNode("//LINKEDCATALOG"));
  EXPECT_FALSE(design.selectSingleNode("PARTNER"));
  EXPECT_TRUE(dialogs_.shown.empty());
}

TEST_F(EdiValidateTest, ModuleSeesThePartnerWithItsLinkedCatalogs) {
  std::string seen;
  automation::RegisterBuiltinClass("Test.Recorder", [&seen](Err*) {
    auto object = std::make_shared<automation::DispatchObject>("Test.Recorder");
    object->AddMethod("ValidateCatalog",
                      [&seen](std::vector<automation::Variant>& args, automation::Variant* result) {
                        seen = args.at(0).AsString();
                        *result = automation::Variant("");
                        return Err{};
                      });
    return object;
  });
  xml::Document settings = Load(Settings("Test.Recorder"));
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITM") + "</Design>");
  xml::Node design = doc.documentElement();
  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, false), EDI_VALIDATE_OK);
  automation::UnregisterBuiltinClass("Test.Recorder");

  xml::Document sent = Load(seen);
  xml::NodeList linked = sent.selectNodes("/Design/PARTNER[ID='9']/LINKEDCATALOG");
  ASSERT_EQ(linked.length(), 2);
  EXPECT_EQ(linked.item(0).selectSingleNode("CODE").text(), "KITM");
  EXPECT_EQ(linked.item(1).selectSingleNode("CODE").text(), "KITN");
  EXPECT_TRUE(sent.selectSingleNode("/Design/Catalog[ID='1']"));
  EXPECT_FALSE(settings.selectSingleNode("//LINKEDCATALOG"));
  EXPECT_FALSE(design.selectSingleNode("PARTNER"));
}

TEST_F(EdiValidateTest, ModuleCatalogStatusWinsOverScriptAndDialogEditsDesign) {
  FixtureScript("WARN", "warning");
  ::setenv("FAKE_MODULE_STATUS", "2", 1);
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITM") +
                           Group("1", "<CATALOGID>1</CATALOGID>") + "</Design>");
  xml::Node design = doc.documentElement();

  clsEdiValidate validator;
  EdiValidateStatus status = validator.ValidateDesign2(design, settings, true, false);
  // The module's abort counts for the design, not only for its order group.
  EXPECT_EQ(status, EDI_VALIDATE_ABORT);
  EXPECT_TRUE(dialogs_.shown.empty());  // the warning script never ran
  EXPECT_EQ(design.selectSingleNode("Catalog/CatalogStatus").text(), "2");
  EXPECT_TRUE(design.selectSingleNode("DIALOGSHOWN"));  // DoDialog's edit is kept
  EXPECT_EQ(design.selectSingleNode("ORDERGROUP/VALIDSTATUS").text(), "2");
  EXPECT_EQ(design.selectSingleNode("ORDERGROUP/SENDIT").text(), "0");
  EXPECT_FALSE(design.selectSingleNode("Catalog/ERROR"));
}

TEST_F(EdiValidateTest, ModuleMessageInStartupModeAndWithoutCatalogStatus) {
  ::setenv("FAKE_MODULE_MESSAGE", "Door style missing", 1);
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITM") + "</Design>");
  xml::Node design = doc.documentElement();

  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign2(design, settings, true, true), EDI_VALIDATE_OK);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].text,
            "Missing or incorrect information for catalog. \r\n\r\nDoor style missing");
  EXPECT_EQ(dialogs_.shown[0].icon, MsgIcon::Critical);
  EXPECT_EQ(dialogs_.shown[0].title, ModuleTitle());
  EXPECT_FALSE(design.selectSingleNode("DIALOGSHOWN"));  // a message means no dialog
}

TEST_F(EdiValidateTest, WarningInStartupModeShowsMessageAndKeepsDesign) {
  FixtureScript("WARN", "warning");
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITA") + "</Design>");
  xml::Node design = doc.documentElement();
  const std::string before = design.xml();

  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, true), EDI_VALIDATE_WARNING);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].text, "Cabinet B24 has no hinge side.");
  EXPECT_EQ(dialogs_.shown[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(dialogs_.shown[0].title, ModuleTitle());
  EXPECT_EQ(design, doc.documentElement());
  EXPECT_EQ(design.xml(), before);  // no ERROR attached in start-up mode
}

TEST_F(EdiValidateTest, SendModeMarksStackDesignsAndGroups) {
  FixtureScript("WARN", "warning");
  xml::Document orders =
      Load("<Orders>" + Settings() + "<Design><ID>1</ID>" +
           CatalogXml("1", "KITA",
                      "<Item><Code>W30</Code><Qty>1</Qty></Item><ERROR><CODE>OLD</CODE></ERROR>") +
           CatalogXml("2", "KITZ") + Group("1", "<CATALOGID>1</CATALOGID>") +
           Group("2", "<CATALOGID>2</CATALOGID>") + "</Design><Design><ID>2</ID>" +
           CatalogXml("1", "KITZ") + Group("1", "<CATALOGID>1</CATALOGID>") + "</Design></Orders>");
  const std::string settingsBefore = orders.selectSingleNode("Orders/SETTINGS").xml();

  clsEdiValidate validator;
  ASSERT_TRUE(validator.ValidateOrders(orders, true));
  EXPECT_TRUE(dialogs_.shown.empty());

  xml::Node first = orders.selectSingleNode("Orders/Design[ID='1']");
  ASSERT_TRUE(first);
  xml::NodeList errors = first.selectNodes("Catalog[ID='1']/ERROR");
  ASSERT_EQ(errors.length(), 1);
  EXPECT_EQ(errors.item(0).selectSingleNode("CODE").text(), "W17");
  EXPECT_EQ(errors.item(0).selectSingleNode("MESSAGE").text(), "Cabinet W30 has no hinge side.");
  EXPECT_EQ(first.selectSingleNode("ORDERGROUP[ID='1']/VALIDSTATUS").text(), "1");
  EXPECT_FALSE(first.selectSingleNode("ORDERGROUP[ID='2']/VALIDSTATUS"));
  EXPECT_EQ(first.selectNodes("ORDERGROUP[SENDIT='0']").length(), 2);
  EXPECT_EQ(first.selectSingleNode("VALIDSTATUS").text(), "1");

  xml::Node second = orders.selectSingleNode("Orders/Design[ID='2']");
  ASSERT_TRUE(second);
  EXPECT_EQ(second.selectSingleNode("VALIDSTATUS").text(), "0");
  EXPECT_FALSE(second.selectSingleNode("ORDERGROUP/SENDIT"));

  EXPECT_EQ(orders.selectSingleNode("Orders/SETTINGS").xml(), settingsBefore);

  // Missing pieces of the stack: nothing is done.
  xml::Document noDesign = Load("<Orders>" + Settings() + "</Orders>");
  EXPECT_FALSE(validator.ValidateOrders(noDesign, true));
  xml::Document noSettings = Load("<Orders><Design/></Orders>");
  EXPECT_FALSE(validator.ValidateOrders(noSettings, true));
  EXPECT_FALSE(noSettings.selectSingleNode("//VALIDSTATUS"));
  xml::Document empty;
  EXPECT_FALSE(validator.ValidateOrders(empty, true));
}

TEST_F(EdiValidateTest, WarningAndAbortInOneDesign) {
  FixtureScript("WARN", "warning");
  FixtureScript("ABRT", "abort");
  xml::Document settings = Load(Settings());
  xml::Document doc =
      Load("<Design>" + CatalogXml("1", "KITA") +
           CatalogXml("2", "KITC", "<Item><Code>T84</Code></Item>") +
           Group("1", "<CATALOGID>1</CATALOGID>") + Group("2", "<CATALOGID>2</CATALOGID>") +
           Group("3", "<CATALOGID>1</CATALOGID><CATALOGID>2</CATALOGID>") + "</Design>");
  xml::Node design = doc.documentElement();

  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, false), EDI_VALIDATE_ABORT);
  EXPECT_EQ(validator.OverallStatus(), 2);
  EXPECT_EQ(design.selectSingleNode("ORDERGROUP[ID='1']/VALIDSTATUS").text(), "1");
  EXPECT_EQ(design.selectSingleNode("ORDERGROUP[ID='2']/VALIDSTATUS").text(), "2");
  EXPECT_EQ(design.selectSingleNode("ORDERGROUP[ID='3']/VALIDSTATUS").text(), "2");
  EXPECT_EQ(design.selectSingleNode("Catalog[ID='2']/ERROR/MESSAGE").text(),
            "1 item(s) without quantity, first T84");
  EXPECT_EQ(design.selectSingleNode("Catalog[ID='2']/ERROR/ACTION").text(), "2");
}

TEST_F(EdiValidateTest, ScriptEditsReachTheCallerAndTheStack) {
  FixtureScript("WARN", "edit_design");
  const std::string items =
      "<Item><Code>B24</Code><Qty>2</Qty></Item><Item><Code>OBSOLETE</Code></Item>";
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITA", items) + "</Design>");
  xml::Node design = doc.documentElement();

  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, true), EDI_VALIDATE_OK);
  EXPECT_EQ(design.selectSingleNode("ValidationNote").text(), "checked <ok> & fine");
  EXPECT_EQ(design.selectSingleNode("ValidationNote").getAttribute("by"), "KITA");
  EXPECT_EQ(design.selectSingleNode("Catalog/Item[Code='B24']/Qty").text(), "3");
  EXPECT_FALSE(design.selectSingleNode("Catalog/Item[Code='OBSOLETE']"));

  // In the order stack the edited design, and the status written after it, stay in the stack.
  xml::Document orders = Load("<Orders>" + Settings() + "<Design>" +
                              CatalogXml("1", "KITA", items) + "</Design></Orders>");
  ASSERT_TRUE(validator.ValidateOrders(orders, false));
  xml::NodeList designs = orders.selectNodes("Orders/Design");
  ASSERT_EQ(designs.length(), 1);
  EXPECT_TRUE(designs.item(0).selectSingleNode("ValidationNote"));
  EXPECT_EQ(designs.item(0).selectSingleNode("VALIDSTATUS").text(), "0");
}

// A script that only reads leaves the stacked design where it is, as the same nodes, so
// designs keep their order and nothing is copied.
TEST_F(EdiValidateTest, ReadOnlyScriptKeepsTheStackedDesignInPlace) {
  Script("WARN",
         "function Validate() { if (docDesign.selectNodes('//Item').length < 1) "
         "throw 'no items'; }");
  xml::Document orders =
      Load("<Orders>" + Settings() + "<Design><ID>1</ID>" + CatalogXml("1", "KITA") +
           CatalogXml("2", "KITB") + "</Design><Design><ID>2</ID>" + CatalogXml("3", "KITZ") +
           "</Design></Orders>");
  xml::Node first = orders.selectSingleNode("Orders/Design[ID='1']");
  clsEdiValidate validator;
  ASSERT_TRUE(validator.ValidateOrders(orders, false));
  xml::NodeList designs = orders.selectNodes("Orders/Design");
  ASSERT_EQ(designs.length(), 2);
  EXPECT_TRUE(designs.item(0) == first);
  EXPECT_EQ(GetNodeText(designs.item(0), "ID"), "1");
  EXPECT_EQ(GetNodeText(designs.item(0), "VALIDSTATUS"), "0");
  EXPECT_EQ(designs.item(0).selectNodes("Catalog").length(), 2);
}

TEST_F(EdiValidateTest, ScriptWorkerStartsAheadOnlyForPartnersWithAScript) {
  xml::Document settings = Load(Settings());
  {
    clsEdiValidate validator;
    EXPECT_FALSE(validator.PrepareScripts(settings));  // no Validate/*.js yet
  }
  Script("ABRT", "function Validate() {}");
  Script("..", "function Validate() {}");
  clsEdiValidate validator;
  EXPECT_TRUE(validator.PrepareScripts(settings));
  xml::Document unsafe = Load(
      "<SETTINGS><PARTNER><ID>1</ID><MANUFID>..</MANUFID></PARTNER>"
      "</SETTINGS>");
  clsEdiValidate other;
  EXPECT_FALSE(other.PrepareScripts(unsafe));
}

TEST_F(EdiValidateTest, CatalogNameWithApostrophe) {
  FixtureScript("WARN", "warning");
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "O'Brien") + "</Design>");
  xml::Node design = doc.documentElement();
  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, false), EDI_VALIDATE_WARNING);
  EXPECT_TRUE(design.selectSingleNode("Catalog/ERROR"));
}

TEST_F(EdiValidateTest, ActionWithBlankIsNoAction) {
  Script("WARN", kBlankActionScript);
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITA") +
                           Group("1", "<CATALOGID>1</CATALOGID>") + "</Design>");
  xml::Node design = doc.documentElement();
  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, true), EDI_VALIDATE_OK);
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_FALSE(design.selectSingleNode("ORDERGROUP/SENDIT"));
  // Outside start-up mode the ERROR is still attached.
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, false), EDI_VALIDATE_OK);
  EXPECT_EQ(design.selectSingleNode("Catalog/ERROR/ACTION").text(), " 2");
}

TEST_F(EdiValidateTest, MissingOrUnsafeScriptAndSkippedCatalogs) {
  // No Validate folder at all, a partner 0 catalog and a catalog whose partner is missing.
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITA") + CatalogXml("2", "KITZ") +
                           CatalogXml("3", "KITQ") + CatalogXml("4", "UNKNOWN") + "</Design>");
  xml::Node design = doc.documentElement();
  const std::string before = design.xml();
  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, false), EDI_VALIDATE_OK);
  EXPECT_EQ(design.xml(), before);

  // A MANUFID naming a path outside the Validate folder never picks up a file there.
  std::filesystem::create_directories(module_.path("Validate"));
  WriteFileOrDie(module_.path("escape.js"),
                 ReadFileOrEmpty(testing::SourceDir() + "/tests/fixtures/scripts/warning.js"));
  xml::Document sneaky = Load(
      "<SETTINGS><CATALOG><CODE>KITA</CODE><PARTNERID>7</PARTNERID></CATALOG>"
      "<PARTNER><ID>7</ID><MANUFID>../escape</MANUFID></PARTNER></SETTINGS>");
  EXPECT_EQ(validator.ValidateDesign2(design, sneaky, false, false), EDI_VALIDATE_OK);
  EXPECT_EQ(design.xml(), before);
}

TEST_F(EdiValidateTest, ScriptErrorsLeaveTheDesignAlone) {
  Script("WARN", kEditThenThrowScript);
  FixtureScript("ABRT", "throw");
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITA") + CatalogXml("2", "KITC") +
                           Group("1", "<CATALOGID>1</CATALOGID>") + "</Design>");
  xml::Node design = doc.documentElement();
  const std::string before = design.xml();
  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, false), EDI_VALIDATE_OK);
  EXPECT_EQ(design.xml(), before);
  EXPECT_EQ(design, doc.documentElement());
}

TEST_F(EdiValidateTest, EndlessScriptIsStoppedAndTheNextCatalogStillRuns) {
  FixtureScript("WARN", "infinite_loop");
  FixtureScript("ABRT", "abort");
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITA") +
                           CatalogXml("2", "KITC", "<Item><Code>T84</Code></Item>") + "</Design>");
  xml::Node design = doc.documentElement();
  // A short script time-out instead of the default ten seconds; long enough for the
  // abort script of the next catalog, which runs in a fresh worker, on a busy machine.
  clsEdiValidate validator(500);
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, false), EDI_VALIDATE_ABORT);
  EXPECT_FALSE(design.selectSingleNode("Catalog[ID='1']/ERROR"));
  EXPECT_TRUE(design.selectSingleNode("Catalog[ID='2']/ERROR"));
}

TEST_F(EdiValidateTest, FailingModulesShowTheErrorAndKeepTheDesign) {
  for (const std::string progId : {"Fake.crash", "Fake.hang", "Fake.refuse", "No.Such.Module"}) {
    SCOPED_TRACE(progId);
    dialogs_.shown.clear();
    // The hanging module is given up after a short call time-out.
    automation::AutomationOptions options = automation::CurrentAutomationOptions();
    options.call_timeout = std::chrono::seconds(progId == "Fake.hang" ? 1 : 4);
    automation::SetAutomationOptions(options);
    xml::Document settings = Load(Settings(progId));
    xml::Document doc = Load("<Design>" + CatalogXml("1", "KITM") + "</Design>");
    xml::Node design = doc.documentElement();
    const std::string before = design.xml();
    clsEdiValidate validator;
    EXPECT_EQ(validator.ValidateDesign2(design, settings, true, false), EDI_VALIDATE_OK);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].text.rfind("Error in ValidatePartnersCatalog2 : ", 0), 0u)
        << dialogs_.shown[0].text;
    EXPECT_GT(dialogs_.shown[0].text.size(),
              std::string("Error in ValidatePartnersCatalog2 : ").size());
    EXPECT_EQ(design.xml(), before);
    EXPECT_FALSE(settings.selectSingleNode("//LINKEDCATALOG"));
  }
}

TEST_F(EdiValidateTest, DiagnosticCopyOnlyWithLogging) {
  FixtureScript("WARN", "warning");
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITA") + "</Design>");
  xml::Node design = doc.documentElement();
  {
    clsEdiValidate validator;
    validator.ValidateDesign2(design, settings, false, false);
  }
  EXPECT_FALSE(std::filesystem::exists(module_.path("Validate/WARNAfterValidate.xml")));

  module_.EnableLogging();
  clsEdiValidate validator;
  validator.ValidateDesign2(design, settings, false, false);
  xml::Document saved;
  ASSERT_TRUE(saved.load(module_.path("Validate/WARNAfterValidate.xml")));
  EXPECT_TRUE(saved.selectSingleNode("/Design/Catalog[ID='1']"));
  std::string log = ReadFileOrEmpty(LogPath());
  EXPECT_NE(log.find("The validation script for manuf WARN returned an error!\r\nCode: W17"),
            std::string::npos);
}

TEST_F(EdiValidateTest, PerCatalogVariantRunsScriptThenModule) {
  FixtureScript("WARN", "warning");
  const std::string log = module_.path("fake.log");
  ::setenv("FAKE_MODULE_LOG", log.c_str(), 1);
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITM") + CatalogXml("2", "KITN") +
                           Group("1", "<CATALOGID>2</CATALOGID>") + "</Design>");
  xml::Node design = doc.documentElement();

  // No module message: the script's warning stands, the dialog is shown once per partner.
  clsEdiValidate validator;
  EXPECT_EQ(validator.ValidateDesign(design, settings, false), EDI_VALIDATE_WARNING);
  std::string calls = ReadFileOrEmpty(log);
  EXPECT_NE(calls.find("DoDialog"), std::string::npos) << calls;
  EXPECT_EQ(calls.find("DoDialog"), calls.rfind("DoDialog")) << calls;
  EXPECT_EQ(design.selectSingleNode("Catalog[ID='1']/ERROR/CODE").text(), "W17");

  // A module message is an abort for the catalog and its ERROR replaces the script's.
  ::setenv("FAKE_MODULE_MESSAGE", "Door style missing", 1);
  EXPECT_EQ(validator.ValidateDesign(design, settings, false), EDI_VALIDATE_ABORT);
  xml::NodeList errors = design.selectNodes("Catalog[ID='2']/ERROR");
  ASSERT_EQ(errors.length(), 1);
  EXPECT_EQ(errors.item(0).selectSingleNode("CODE").text(), "9000");
  EXPECT_EQ(errors.item(0).selectSingleNode("MESSAGE").text(),
            "Missing or incorrect information for catalog KITN.\r\n\r\nDoor style missing");
  EXPECT_EQ(design.selectSingleNode("ORDERGROUP/VALIDSTATUS").text(), "2");
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_FALSE(settings.selectSingleNode("//LINKEDCATALOG"));
}

// ---- the validate command ----

class ValidateCommandTest : public EdiValidateTest {
 protected:
  int Run(const std::string& args, std::string* out) {
    return testing::RunCommand(testing::LarkediExe() + " validate " + args + " 2>&1", out);
  }
};

TEST_F(ValidateCommandTest, ExitStatusFollowsTheValidation) {
  FixtureScript("WARN", "warning");
  FixtureScript("ABRT", "abort");
  const std::string settings = module_.path("test-settings.xml");
  WriteFileOrDie(settings, Settings());
  auto designFile = [&](const std::string& name, const std::string& catalogs) {
    std::string path = module_.path(name);
    WriteFileOrDie(path, "<Job><Design>" + catalogs + "</Design></Job>");
    return path;
  };
  std::string out;
  int code = Run(designFile("ok.xml", CatalogXml("1", "KITZ")) + " --settings " + settings, &out);
  EXPECT_EQ(code, 0) << out;
  EXPECT_EQ(out.rfind("OK\n<Design>", 0), 0u) << out;

  code = Run(designFile("warn.xml", CatalogXml("1", "KITA")) + " --settings " + settings, &out);
  EXPECT_EQ(code, 1) << out;
  EXPECT_EQ(out.rfind("WARNING\n", 0), 0u) << out;
  EXPECT_NE(out.find("<CODE>W17</CODE>"), std::string::npos) << out;

  code = Run(designFile("abort.xml", CatalogXml("1", "KITC", "<Item><Code>X</Code></Item>")) +
                 " --startup --settings " + settings,
             &out);
  EXPECT_EQ(code, 3) << out;
  EXPECT_NE(out.find("without quantity"), std::string::npos) << out;  // shown on the console

  // Without --settings and without a settings file: nothing to check.
  code = Run(module_.path("abort.xml"), &out);
  EXPECT_EQ(code, 0) << out;

  code = Run(module_.path("nothing-here.xml"), &out);
  EXPECT_EQ(code, 4) << out;
  EXPECT_NE(out.find("nothing-here.xml"), std::string::npos) << out;
  WriteFileOrDie(module_.path("broken.xml"), "<Design><Catalog>");
  code = Run(module_.path("broken.xml"), &out);
  EXPECT_EQ(code, 4) << out;
  code = Run(module_.path("ok.xml") + " --settings " + module_.path("broken.xml"), &out);
  EXPECT_EQ(code, 4) << out;

  EXPECT_EQ(Run("", &out), 2) << out;
}

// A script that rewrites the stack's bookkeeping of a design (its orders, number and file)
// changes the content only: the bookkeeping stays as it was before the script ran.
TEST_F(EdiValidateTest, ScriptCannotRewriteTheStacksOwnElements) {
  Script("ABRT",
         "function Validate() { var d = docDesign.documentElement;"
         " var g = docDesign.selectSingleNode('//ORDERGROUP'); d.removeChild(g);"
         " docDesign.selectSingleNode('//FileName').text = 'OTHER.xme';"
         " docDesign.selectSingleNode('/Design/ID').text = '99';"
         " d.appendChild(docDesign.createElement('Note')); }");
  xml::Document settings = Load(Settings());
  xml::Document doc =
      Load("<Orders><Design><ID>1</ID><FileName>MINE.xme</FileName>" + CatalogXml("1", "KITC") +
           "<ORDERGROUP><ID>1</ID><PARTNERID>5</PARTNERID><SENDIT>1</SENDIT>"
           "<CATALOGID>1</CATALOGID></ORDERGROUP></Design></Orders>");
  xml::Node design = doc.selectSingleNode("/Orders/Design");
  clsEdiValidate validator;
  validator.ValidateDesign2(design, settings, false, false);
  EXPECT_TRUE(design.selectSingleNode("Note")) << design.xml();
  EXPECT_EQ(GetNodeText(design, "FileName"), "MINE.xme");
  EXPECT_EQ(GetNodeText(design, "ID"), "1");
  EXPECT_EQ(GetNodeText(design, "ORDERGROUP/CATALOGID"), "1");
}

// A script that fails is reported to the caller by manufacturer and cause; one that ran out
// of time is not run again for the other catalogs of the same validation (each would cost
// the whole limit).
TEST_F(EdiValidateTest, FailedScriptsAreReportedAndATimedOutOneRunsOnce) {
  FixtureScript("WARN", "infinite_loop");
  FixtureScript("ABRT", "throw");
  xml::Document settings = Load(Settings());
  xml::Document doc = Load("<Design>" + CatalogXml("1", "KITA") + CatalogXml("2", "KITB") +
                           CatalogXml("3", "KITC") + "</Design>");
  xml::Node design = doc.documentElement();
  clsEdiValidate validator(300);
  EXPECT_EQ(validator.ValidateDesign2(design, settings, false, false), EDI_VALIDATE_OK);
  const auto& failures = validator.ScriptFailures();
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].rfind("WARN.js: ", 0), 0u) << failures[0];
  EXPECT_NE(failures[0].find("300"), std::string::npos) << failures[0];
  EXPECT_EQ(failures[1].rfind("ABRT.js: ", 0), 0u) << failures[1];
}

}  // namespace
}  // namespace larkedi
