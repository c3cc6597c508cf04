#include "validation/edi_validate.h"
#include "support/module.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/automation/automation.h"
#include "platform/ui/dialogs.h"
#include "platform/xml/xml.h"
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

std::string CatalogXml(const std::string& id, const std::string& name,
                       const std::string& items = "<Item><Code>B24</Code><Qty>1</Qty></Item>") {
  return "<Catalog><ID>" + id + "</ID><Identification><Name>" + xml::EscapeXmlText(name) +
         "</Name></Identification>" + items + "</Catalog>";
}

std::string Group(const std::string& id, const std::vector<std::string>& catalogIds) {
  std::string g = "<ORDERGROUP><ID>" + id + "</ID>";
  for (const auto& c : catalogIds) g += "<CATALOGID>" + c + "</CATALOGID>";
  return g + "</ORDERGROUP>";
}

class EdiValidateTest : public ::testing::Test {
 protected:
  void SetUp() override {
    automation::AutomationOptions options;
    options.call_timeout = std::chrono::seconds(4);
    options.release_wait = std::chrono::seconds(1);
    previous_options_ = automation::SetAutomationOptions(options);
    ClearFakeModule();
  }
  void TearDown() override {
    automation::SetAutomationOptions(previous_options_);
    ClearFakeModule();
  }
  static void ClearFakeModule() {
    for (const char* name : {"FAKE_MODULE_STATUS", "FAKE_MODULE_MESSAGE"}) {
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
  static std::string DesignXml(const std::string& body) {
    xml::Document d = Load("<Design>" + body + "</Design>");
    return d.documentElement().xml();
  }
  // Validates a design made of `body` against Settings(); `doc` holds it afterwards.
  EdiValidateStatus Validate(const std::string& body, bool dialog, bool startup,
                             long timeout_ms = clsEdiValidate::kDefaultScriptTimeoutMs) {
    doc = Load("<Design>" + body + "</Design>");
    design = doc.documentElement();
    clsEdiValidate validator(timeout_ms);
    EdiValidateStatus status = validator.ValidateDesign2(design, settings, dialog, startup);
    failures = validator.ScriptFailures();
    return status;
  }

  // Settings: catalogs KITA/KITB for partner 7 (script WARN), KITC for partner 8 (script
  // ABRT), O'Brien for partner 7, KITM/KITN for partner 9 (module Fake.Module, also
  // MANUFID WARN), KITZ for partner 0, KITQ for a missing partner 5.
  static std::string Settings(const std::string& partner9ProgId = "Fake.Module") {
    std::string s = "<SETTINGS>";
    for (const std::string row :
         {"KITA 7", "KITB 7", "KITC 8", "O'Brien 7", "KITM 9", "KITN 9", "KITZ 0", "KITQ 5"}) {
      s += "<CATALOG><CODE>" + xml::EscapeXmlText(row.substr(0, row.find(' '))) +
           "</CODE><PARTNERID>" + row.substr(row.find(' ') + 1) + "</PARTNERID></CATALOG>";
    }
    return s +
           "<PARTNER><ID>7</ID><MANUFID> WARN </MANUFID><PROGID/></PARTNER>"
           "<PARTNER><ID>8</ID><MANUFID>ABRT</MANUFID></PARTNER>"
           "<PARTNER><ID>9</ID><MANUFID>WARN</MANUFID><PROGID>" +
           partner9ProgId + "</PROGID></PARTNER></SETTINGS>";
  }

  testing::TempModule module_{false};
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_dialogs_{&dialogs_};
  automation::ScopedLocalServerResolver resolver_{Resolve};
  automation::AutomationOptions previous_options_;
  xml::Document settings = Load(Settings());
  xml::Document doc;
  xml::Node design;
  std::vector<std::string> failures;
};

// The module is called once per partner with the partner and its linked catalogs, the
// script once per catalog without a module; no temporary element is left behind.
TEST_F(EdiValidateTest, ModuleOncePerPartnerWithItsCatalogsScriptOncePerCatalog) {
  std::vector<std::string> seen;
  automation::RegisterBuiltinClass("Test.Recorder", [&seen](Err*) {
    auto object = std::make_shared<automation::DispatchObject>("Test.Recorder");
    object->AddMethod("ValidateCatalog",
                      [&seen](std::vector<automation::Variant>& args, automation::Variant* result) {
                        seen.push_back(args.at(0).AsString());
                        *result = automation::Variant("");
                        return Err{};
                      });
    return object;
  });
  Script("WARN", kCountScript);
  settings = Load(Settings("Test.Recorder"));
  EXPECT_EQ(Validate(CatalogXml("1", "KITM") + CatalogXml("2", "KITA") + CatalogXml("3", "KITN") +
                         CatalogXml("4", "KITB"),
                     false, true),
            EDI_VALIDATE_OK);
  automation::UnregisterBuiltinClass("Test.Recorder");

  ASSERT_EQ(seen.size(), 1u);
  xml::Document sent = Load(seen[0]);
  xml::NodeList linked = sent.selectNodes("/Design/PARTNER[ID='9']/LINKEDCATALOG/CODE");
  ASSERT_EQ(linked.length(), 2);
  EXPECT_EQ(linked.item(0).text(), "KITM");
  EXPECT_EQ(linked.item(1).text(), "KITN");
  // Partner 9's catalogs have a module: no script for them although its MANUFID has one.
  xml::NodeList ran = design.selectNodes("Ran");
  ASSERT_EQ(ran.length(), 2);
  EXPECT_EQ(ran.item(0).getAttribute("catalog"), "2");
  EXPECT_EQ(ran.item(1).getAttribute("catalog"), "4");
  EXPECT_FALSE(settings.selectSingleNode("//LINKEDCATALOG"));
  EXPECT_FALSE(design.selectSingleNode("PARTNER"));
}

TEST_F(EdiValidateTest, ModuleCatalogStatusWinsOverScriptAndDialogEditsDesign) {
  FixtureScript("WARN", "warning");
  ::setenv("FAKE_MODULE_STATUS", "2", 1);
  // The module's abort counts for the design, not only for its order group.
  EXPECT_EQ(Validate(CatalogXml("1", "KITM") + Group("1", {"1"}), true, false), EDI_VALIDATE_ABORT);
  EXPECT_TRUE(dialogs_.shown.empty());                  // the warning script never ran
  EXPECT_TRUE(design.selectSingleNode("DIALOGSHOWN"));  // DoDialog's edit is kept
  EXPECT_EQ(GetNodeText(design, "ORDERGROUP/VALIDSTATUS"), "2");
  EXPECT_EQ(GetNodeText(design, "ORDERGROUP/SENDIT"), "0");
}

TEST_F(EdiValidateTest, StartupModeShowsTheMessageAndKeepsTheDesign) {
  ::setenv("FAKE_MODULE_MESSAGE", "Door style missing", 1);
  EXPECT_EQ(Validate(CatalogXml("1", "KITM"), true, true), EDI_VALIDATE_OK);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find("Door style missing"), std::string::npos);
  EXPECT_FALSE(design.selectSingleNode("DIALOGSHOWN"));  // a message means no dialog

  FixtureScript("WARN", "warning");
  dialogs_.shown.clear();
  EXPECT_EQ(Validate(CatalogXml("1", "KITA"), false, true), EDI_VALIDATE_WARNING);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].text, "Cabinet B24 has no hinge side.");
  EXPECT_EQ(design.xml(), DesignXml(CatalogXml("1", "KITA")));

  // An action with a blank is no action: nothing shown, nothing held back, still attached.
  Script("WARN",
         "function Validate() { docError.loadXML('<ERROR><CODE>B2</CODE><MESSAGE>m</MESSAGE>"
         "<ACTION> 2</ACTION></ERROR>'); }");
  dialogs_.shown.clear();
  const std::string body = CatalogXml("1", "KITA") + Group("1", {"1"});
  EXPECT_EQ(Validate(body, false, true), EDI_VALIDATE_OK);
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_EQ(Validate(body, false, false), EDI_VALIDATE_OK);
  EXPECT_FALSE(design.selectSingleNode("ORDERGROUP/SENDIT"));
  EXPECT_EQ(GetNodeText(design, "Catalog/ERROR/ACTION"), " 2");
}

TEST_F(EdiValidateTest, SendModeMarksStackDesignsAndGroups) {
  FixtureScript("WARN", "warning");
  xml::Document orders =
      Load("<Orders>" + Settings() + "<Design><ID>1</ID>" +
           CatalogXml("1", "KITA",
                      "<Item><Code>W30</Code><Qty>1</Qty></Item><ERROR><CODE>OLD</CODE></ERROR>") +
           CatalogXml("2", "KITZ") + Group("1", {"1"}) + Group("2", {"2"}) +
           "</Design><Design><ID>2</ID>" + CatalogXml("1", "KITZ") + Group("1", {"1"}) +
           "</Design></Orders>");
  const std::string settings_before = orders.selectSingleNode("Orders/SETTINGS").xml();
  clsEdiValidate validator;
  ASSERT_TRUE(validator.ValidateOrders(orders, true));
  EXPECT_TRUE(dialogs_.shown.empty());

  xml::Node first = orders.selectSingleNode("Orders/Design[ID='1']");
  xml::NodeList errors = first.selectNodes("Catalog[ID='1']/ERROR");
  ASSERT_EQ(errors.length(), 1);  // replaces the earlier one
  EXPECT_EQ(GetNodeText(errors.item(0), "MESSAGE"), "Cabinet W30 has no hinge side.");
  EXPECT_EQ(GetNodeText(first, "ORDERGROUP[ID='1']/VALIDSTATUS"), "1");
  EXPECT_FALSE(first.selectSingleNode("ORDERGROUP[ID='2']/VALIDSTATUS"));
  EXPECT_EQ(first.selectNodes("ORDERGROUP[SENDIT='0']").length(), 2);
  EXPECT_EQ(GetNodeText(first, "VALIDSTATUS"), "1");
  xml::Node second = orders.selectSingleNode("Orders/Design[ID='2']");
  EXPECT_EQ(GetNodeText(second, "VALIDSTATUS"), "0");
  EXPECT_FALSE(second.selectSingleNode("ORDERGROUP/SENDIT"));
  EXPECT_EQ(orders.selectSingleNode("Orders/SETTINGS").xml(), settings_before);

  // A stack without designs or settings is not reported as validated.
  xml::Document no_design = Load("<Orders>" + Settings() + "</Orders>");
  EXPECT_FALSE(validator.ValidateOrders(no_design, true));
  xml::Document no_settings = Load("<Orders><Design/></Orders>");
  EXPECT_FALSE(validator.ValidateOrders(no_settings, true));
}

TEST_F(EdiValidateTest, WarningAndAbortInOneDesignAndCatalogNamesInAnyCase) {
  FixtureScript("WARN", "warning");
  FixtureScript("ABRT", "abort");
  EXPECT_EQ(
      Validate(CatalogXml("1", "KITA") + CatalogXml("2", "KITC", "<Item><Code>T84</Code></Item>") +
                   Group("1", {"1"}) + Group("2", {"2"}) + Group("3", {"1", "2"}) +
                   CatalogXml("4", "o'BRIEN") + CatalogXml("5", "kitb"),
               false, false),
      EDI_VALIDATE_ABORT);
  // The catalog's name finds its settings catalog whatever its letter case and quotes.
  EXPECT_EQ(design.selectNodes("Catalog[ID>3]/ERROR").length(), 2);
  EXPECT_EQ(GetNodeText(design, "ORDERGROUP[ID='1']/VALIDSTATUS"), "1");
  EXPECT_EQ(GetNodeText(design, "ORDERGROUP[ID='2']/VALIDSTATUS"), "2");
  EXPECT_EQ(GetNodeText(design, "ORDERGROUP[ID='3']/VALIDSTATUS"), "2");
  EXPECT_EQ(GetNodeText(design, "Catalog[ID='2']/ERROR/ACTION"), "2");
}

TEST_F(EdiValidateTest, ScriptEditsReachTheCallerAndTheStack) {
  FixtureScript("WARN", "edit_design");
  const std::string items =
      "<Item><Code>B24</Code><Qty>2</Qty></Item><Item><Code>OBSOLETE</Code></Item>";
  EXPECT_EQ(Validate(CatalogXml("1", "KITA", items), false, true), EDI_VALIDATE_OK);
  EXPECT_EQ(GetNodeText(design, "ValidationNote"), "checked <ok> & fine");
  EXPECT_EQ(GetNodeText(design, "Catalog/Item[Code='B24']/Qty"), "3");
  EXPECT_FALSE(design.selectSingleNode("Catalog/Item[Code='OBSOLETE']"));

  // In the order stack the edited design, and the status written after it, stay there; a
  // design whose script only reads stays in place as the same nodes.
  Script("ABRT",
         "function Validate() { if (docDesign.selectNodes('//Item').length < 1) throw 1; }");
  xml::Document orders =
      Load("<Orders>" + Settings() + "<Design><ID>1</ID>" + CatalogXml("1", "KITC") +
           "</Design><Design><ID>2</ID>" + CatalogXml("1", "KITA", items) + "</Design></Orders>");
  xml::Node first = orders.selectSingleNode("Orders/Design[ID='1']");
  clsEdiValidate validator;
  ASSERT_TRUE(validator.ValidateOrders(orders, false));
  ASSERT_EQ(orders.selectNodes("Orders/Design").length(), 2);
  EXPECT_TRUE(orders.selectSingleNode("Orders/Design[1]") == first);
  EXPECT_TRUE(orders.selectSingleNode("Orders/Design[2]/ValidationNote"));
  EXPECT_EQ(GetNodeText(orders, "Orders/Design[2]/VALIDSTATUS"), "0");
}

TEST_F(EdiValidateTest, MissingOrUnsafeScriptAndSkippedCatalogs) {
  // No Validate folder at all, a partner 0 catalog and a catalog whose partner is missing.
  const std::string body = CatalogXml("1", "KITA") + CatalogXml("2", "KITZ") +
                           CatalogXml("3", "KITQ") + CatalogXml("4", "UNKNOWN");
  EXPECT_EQ(Validate(body, false, false), EDI_VALIDATE_OK);
  EXPECT_EQ(design.xml(), DesignXml(body));

  // A MANUFID naming a path outside the Validate folder never picks up a file there.
  std::filesystem::create_directories(module_.path("Validate"));
  WriteFileOrDie(module_.path("escape.js"),
                 ReadFileOrEmpty(testing::SourceDir() + "/tests/fixtures/scripts/warning.js"));
  settings = Load(
      "<SETTINGS><CATALOG><CODE>KITA</CODE><PARTNERID>7</PARTNERID></CATALOG>"
      "<PARTNER><ID>7</ID><MANUFID>../escape</MANUFID></PARTNER></SETTINGS>");
  EXPECT_EQ(Validate(body, false, false), EDI_VALIDATE_OK);
  EXPECT_EQ(design.xml(), DesignXml(body));
}

// A script that edits and then fails leaves the design as it was; the failure is reported by
// manufacturer.
TEST_F(EdiValidateTest, FailingAndEndlessScriptsLeaveTheDesignAloneAndAreReported) {
  Script("WARN",
         "function Validate() { docDesign.documentElement.appendChild("
         "docDesign.createElement('HalfDone')); throw new Error('gave up'); }");
  FixtureScript("ABRT", "throw");
  const std::string body = CatalogXml("1", "KITA") + CatalogXml("2", "KITC") + Group("1", {"1"});
  EXPECT_EQ(Validate(body, false, false), EDI_VALIDATE_OK);
  EXPECT_EQ(design.xml(), DesignXml(body));
  EXPECT_EQ(design, doc.documentElement());
  ASSERT_EQ(failures.size(), 2u);
  EXPECT_EQ(failures[0].rfind("WARN.js: ", 0), 0u) << failures[0];
  EXPECT_EQ(failures[1].rfind("ABRT.js: ", 0), 0u) << failures[1];

  // An endless script is stopped at the (short, injected) time-out, is not run again for the
  // next catalog of the same manufacturer, and the next manufacturer's script still runs.
  FixtureScript("WARN", "infinite_loop");
  FixtureScript("ABRT", "abort");
  EXPECT_EQ(Validate(CatalogXml("1", "KITA") + CatalogXml("2", "KITB") +
                         CatalogXml("3", "KITC", "<Item><Code>T84</Code></Item>"),
                     false, false, 500),
            EDI_VALIDATE_ABORT);
  EXPECT_FALSE(design.selectSingleNode("Catalog[ID!='3']/ERROR"));
  EXPECT_TRUE(design.selectSingleNode("Catalog[ID='3']/ERROR"));
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].rfind("WARN.js: ", 0), 0u) << failures[0];
  EXPECT_NE(failures[0].find("500"), std::string::npos) << failures[0];
}

TEST_F(EdiValidateTest, FailingModulesShowTheErrorAndKeepTheDesign) {
  for (const std::string prog_id : {"Fake.crash", "Fake.hang", "Fake.refuse", "No.Such.Module"}) {
    SCOPED_TRACE(prog_id);
    dialogs_.shown.clear();
    // The hanging module is given up after a short call time-out.
    automation::AutomationOptions options = automation::CurrentAutomationOptions();
    options.call_timeout = std::chrono::seconds(prog_id == "Fake.hang" ? 1 : 4);
    automation::SetAutomationOptions(options);
    settings = Load(Settings(prog_id));
    EXPECT_EQ(Validate(CatalogXml("1", "KITM"), true, false), EDI_VALIDATE_OK);
    ASSERT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_EQ(dialogs_.shown[0].text.rfind("Error in ValidatePartnersCatalog2 : ", 0), 0u);
    EXPECT_EQ(design.xml(), DesignXml(CatalogXml("1", "KITM")));
    EXPECT_FALSE(settings.selectSingleNode("//LINKEDCATALOG"));
  }
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
  doc = Load("<Orders><Design><ID>1</ID><FileName>MINE.xme</FileName>" + CatalogXml("1", "KITC") +
             "<ORDERGROUP><ID>1</ID><PARTNERID>5</PARTNERID><SENDIT>1</SENDIT>"
             "<CATALOGID>1</CATALOGID></ORDERGROUP></Design></Orders>");
  design = doc.selectSingleNode("/Orders/Design");
  clsEdiValidate().ValidateDesign2(design, settings, false, false);
  EXPECT_TRUE(design.selectSingleNode("Note")) << design.xml();
  EXPECT_EQ(GetNodeText(design, "FileName"), "MINE.xme");
  EXPECT_EQ(GetNodeText(design, "ID"), "1");
  EXPECT_EQ(GetNodeText(design, "ORDERGROUP/CATALOGID"), "1");
}

// (A file that cannot be read and the encodings are checked with the other design commands.)
TEST_F(EdiValidateTest, ValidateCommandExitStatusFollowsTheValidation) {
  FixtureScript("WARN", "warning");
  FixtureScript("ABRT", "abort");
  const std::string settings_file = module_.path("test-settings.xml");
  WriteFileOrDie(settings_file, Settings());
  auto run = [&](const std::string& catalogs, const std::string& flags, std::string* out) {
    WriteFileOrDie(module_.path("in.xml"), "<Job><Design>" + catalogs + "</Design></Job>");
    return testing::RunCommand(testing::LarkediExe() + " validate " + module_.path("in.xml") +
                                   " --settings " + settings_file + flags + " 2>&1",
                               out);
  };
  std::string out;
  EXPECT_EQ(run(CatalogXml("1", "KITA"), "", &out), 1) << out;
  EXPECT_NE(out.find("<CODE>W17</CODE>"), std::string::npos) << out;
  EXPECT_EQ(run(CatalogXml("1", "KITC", "<Item><Code>X</Code></Item>"), " --startup", &out), 3)
      << out;
  EXPECT_NE(out.find("without quantity"), std::string::npos) << out;  // shown on the console
}

}  // namespace
}  // namespace larkedi
