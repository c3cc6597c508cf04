#include "platform/script/script_host.h"

#include <gtest/gtest.h>
#include <signal.h>

#include "platform/ui/dialogs.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi::script {
namespace {

using testing::ReadFileOrEmpty;
using testing::SourceDir;

const char kDesign[] =
    "<Design><ID>1</ID><Catalog><ID>1</ID><Identification><Name>ACME</Name></Identification>"
    "<Item><Code>B24</Code><Qty>2</Qty></Item><Item><Code>OBSOLETE</Code><Qty>0</Qty></Item>"
    "</Catalog></Design>";
const char kCatalog[] =
    "<Catalog><ID>1</ID><Identification><Name>ACME</Name></Identification>"
    "<Item><Code>B24</Code><Qty>2</Qty></Item><Item><Code>W30</Code></Item></Catalog>";

std::string Fixture(const std::string& name) {
  return ReadFileOrEmpty(SourceDir() + "/tests/fixtures/scripts/" + name);
}

class ScriptHostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(catalog.loadXML(kCatalog));
    ASSERT_TRUE(design.loadXML(kDesign));
    host.SetTimeout(8000);
  }
  ScriptResult Run(const std::string& fixture, bool allowUI = false) {
    std::string text = Fixture(fixture);
    EXPECT_FALSE(text.empty()) << fixture;
    return host.Run(text, catalog, design, error, allowUI);
  }
  ScriptResult Fails(const std::string& fixture, long number, bool allowUI = false) {
    ScriptResult r = Run(fixture, allowUI);
    EXPECT_FALSE(r.ok) << fixture;
    EXPECT_EQ(r.errorNumber, number) << fixture << ": " << r.errorDescription;
    return r;
  }
  static std::string Where(const ScriptResult& r) {
    return r.errorSource + ", line " + std::to_string(r.errorLine);
  }
  ScriptHost host;
  xml::Document catalog, design, error;
};

TEST_F(ScriptHostTest, EditsToDocDesignComeBackAndCatalogMembersAreGlobal) {
  ScriptResult r = Run("edit_design.js");
  ASSERT_TRUE(r.ok) << r.errorDescription;
  xml::Node note = design.selectSingleNode("/Design/ValidationNote");
  ASSERT_FALSE(note.isNull());
  EXPECT_EQ(note.getAttribute("by"), "ACME");
  EXPECT_EQ(note.firstChild().nodeType(), xml::NodeType::CData);
  EXPECT_EQ(note.text(), "checked <ok> & fine");
  EXPECT_EQ(design.selectSingleNode("//Item[Code='B24']/Qty").text(), "3");
  EXPECT_TRUE(design.selectSingleNode("//Item[Code='OBSOLETE']").isNull());
  EXPECT_EQ(design.documentElement().getAttribute("children"), "ID,Catalog,ValidationNote");
  // The catalog was only read: the caller's document is the same tree as before.
  EXPECT_EQ(catalog.selectNodes("//Item").length(), 2);
  EXPECT_TRUE(error.documentElement().isNull());
}

// Only the documents a script changed come back to the caller.
TEST_F(ScriptHostTest, OnlyTheDocumentsAScriptChangedComeBack) {
  ScriptDocument docs[3];
  const std::string texts[3] = {kCatalog, kDesign, ""};
  for (int i = 0; i < 3; ++i) docs[i].text = [&texts, i] { return texts[i]; };
  ScriptResult r = host.Run(
      "function Validate() { var n = docDesign.selectSingleNode('//Item[Code=\"OBSOLETE\"]');"
      " docCatalog.selectNodes('//Item'); docError.loadXML('<ERROR><ACTION>1</ACTION><MESSAGE>'"
      " + n.selectSingleNode('Code').text + '</MESSAGE></ERROR>'); }",
      docs[0], docs[1], docs[2], false);
  ASSERT_TRUE(r.ok) << r.errorDescription;
  EXPECT_FALSE(docs[0].changed || docs[1].changed);
  ASSERT_TRUE(docs[2].changed);
  EXPECT_NE(docs[2].result.find("<MESSAGE>OBSOLETE</MESSAGE>"), std::string::npos);
}

TEST_F(ScriptHostTest, ScriptErrorsReportNumberDescriptionAndLine) {
  ScriptResult r = Fails("throw.js", kErrScriptRuntime);
  EXPECT_EQ(r.errorDescription, "catalog code missing");
  EXPECT_EQ(Where(r), "JavaScript runtime error, line 5");
  EXPECT_EQ(Where(Fails("syntax_error.js", kErrScriptSyntax)),
            "JavaScript compilation error, line 2");
  EXPECT_NE(Fails("no_validate.js", kErrScriptUndefined).errorDescription.find("Validate"),
            std::string::npos);
  // A VBScript-style error object keeps its own number and description.
  r = host.Run("function Validate() { throw {number: 1000, description: 'bad finish'}; }", catalog,
               design, error, false);
  EXPECT_EQ(r.errorNumber, 1000);
  EXPECT_EQ(r.errorDescription, "bad finish");
}

// Dialogs that take the worker down while the script waits for the answer.
class KillingDialogs : public Dialogs {
  using Text = std::optional<std::string>;
  using S = const std::string&;

 public:
  explicit KillingDialogs(pid_t* victim) : victim_(victim) {}
  MsgResult MsgBox(S, MsgButtons, MsgIcon, S) override {
    ::kill(*victim_, SIGKILL);
    return MsgResult::OK;
  }
  Text InputBox(S, S, S) override { return {}; }
  Text PickFile(S, S, S) override { return {}; }
  Text PickFolder(S, S) override { return {}; }

 private:
  pid_t* victim_;
};

// One worker serves script after script, each in a fresh interpreter; a script error or an
// exhausted memory limit keeps it, a time-out or a death replaces it, and a failed run
// leaves the documents as they were.
TEST_F(ScriptHostTest, TheWorkerLivesThroughScriptErrorsAndIsReplacedWhenItFails) {
  ASSERT_TRUE(Run("leave_global.js").ok);
  pid_t worker = host.WorkerPid();
  ASSERT_GT(worker, 0);
  for (int i = 0; i < 10; ++i) {
    ASSERT_TRUE(Run("leave_global.js").ok);
    EXPECT_EQ(design.documentElement().getAttribute("seen"), "undefined");
  }
  Fails("throw.js", kErrScriptRuntime);
  host.SetMemoryLimit(16u << 20);
  Fails("memory_hog.js", kErrScriptOutOfMemory);
  ASSERT_TRUE(Run("leave_global.js").ok);
  EXPECT_EQ(host.WorkerPid(), worker);

  // Only the looping script gets the short limit: the others must not race a busy machine.
  std::string before = design.xml();
  host.SetTimeout(300);
  ScriptResult r = Fails("infinite_loop.js", kErrScriptTimeout);
  host.Reset();
  EXPECT_TRUE(r.timedOut);
  EXPECT_NE(r.errorDescription.find("300 ms"), std::string::npos) << r.errorDescription;
  EXPECT_EQ(design.xml(), before);
  EXPECT_EQ(host.WorkerPid(), -1);
  EXPECT_NE(::kill(worker, 0), 0);  // killed and reaped
  ASSERT_TRUE(Run("leave_global.js").ok);
  EXPECT_NE(host.WorkerPid(), worker);

  worker = host.WorkerPid();
  KillingDialogs killer(&worker);
  ScopedDialogs scoped(&killer);
  before = design.xml();
  Fails("msgbox.js", kErrScriptHostFailure, true);  // killed while a script runs
  EXPECT_EQ(design.xml(), before);
  ASSERT_TRUE(Run("leave_global.js").ok);
  EXPECT_NE(host.WorkerPid(), worker);

  worker = host.WorkerPid();
  ::kill(worker, SIGKILL);  // killed while idle
  EXPECT_TRUE(Run("edit_design.js").ok);
  EXPECT_NE(host.WorkerPid(), worker);
}

TEST_F(ScriptHostTest, ScriptsCannotReadFiles) {
  std::string dir = testing::MakeTempDir();
  std::string secret_path = dir + "/secret.txt";
  testing::WriteFileOrDie(secret_path, "TOP-SECRET-CONTENT");
  ASSERT_TRUE(
      catalog.loadXML("<Catalog><Path>" + xml::EscapeXmlText(secret_path) + "</Path></Catalog>"));
  EXPECT_EQ(Run("read_file.js").errorDescription, "no file access");
  EXPECT_EQ(design.selectSingleNode("//Read").text(), "");
  EXPECT_EQ(design.xml().find("TOP-SECRET"), std::string::npos);
}

TEST_F(ScriptHostTest, MsgBoxReachesTheDialogsOnlyWithAllowUI) {
  ScriptedDialogs dialogs;
  dialogs.msgbox_answers.push_back(MsgResult::No);
  ScopedDialogs scoped(&dialogs);

  ScriptResult r = Run("msgbox.js", true);
  ASSERT_TRUE(r.ok) << r.errorDescription;
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].text, "Use soft-close hinges?");
  EXPECT_EQ(dialogs.shown[0].buttons, MsgButtons::YesNo);
  EXPECT_EQ(design.documentElement().getAttribute("answer"), "7");  // vbNo

  Fails("msgbox.js", kErrScriptPermission);
  EXPECT_EQ(dialogs.shown.size(), 1u);
}

TEST_F(ScriptHostTest, TheShippedExampleScriptWorks) {
  const std::string example = ReadFileOrEmpty(SourceDir() + "/Validate/Example.js");
  ASSERT_FALSE(example.empty());
  auto validate = [&](const std::string& items) {
    EXPECT_TRUE(catalog.loadXML("<Catalog><ID>1</ID>" + items + "</Catalog>"));
    xml::Document answer;
    ScriptResult r = host.Run(example, catalog, design, answer, false);
    EXPECT_TRUE(r.ok) << r.errorDescription;
    return answer;
  };
  // An item without quantity aborts; a wall cabinet without hinge side warns; else stamped.
  EXPECT_EQ(validate("<Item><Code>W30</Code></Item>").selectSingleNode("/ERROR/MESSAGE").text(),
            "These items have no quantity: W30.");
  EXPECT_EQ(validate("<Item><Code>W30</Code><Qty>1</Qty></Item>")
                .selectSingleNode("/ERROR/ACTION")
                .text(),
            "1");
  EXPECT_TRUE(validate("<Item><Code>B24</Code><Qty>1</Qty></Item>").documentElement().isNull());
  EXPECT_EQ(design.selectSingleNode("/Design/Catalog[ID='1']/ValidatedBy").text(),
            "Example.js 1.0");
}

}  // namespace
}  // namespace larkedi::script
