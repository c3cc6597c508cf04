// Several processes sharing one spool folder: the window open for hours, the host handing in
// designs and the command line, all at once.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "host/frm_edi.h"
#include "orders/orders_fixture.h"
#include "orders/stack_files.h"
#include "orders/xme_file.h"
#include "support/xml_helpers.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::LarkediExe;
using testing::RunCommand;
using testing::WriteFileOrDie;

std::string Design(const std::string& kit) {
  return "<Designs>" + testing::DesignXml(kit, {"abc"}) + "</Designs>";
}

class StackConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFileOrDie(
        module_.path("larkEDI.xml"),
        testing::StackSettings(module_.dir(), {{"1", "ABC", "1"}}, testing::kCommandSettings));
    for (int i = 0; i < 4; ++i) Add("start" + std::to_string(i) + ".kit");
  }

  void Add(const std::string& kit) {
    WriteFileOrDie(module_.path(kit + ".xml"), Design(kit));
    std::string out;
    ASSERT_EQ(RunCommand(LarkediExe() + " --yes stack add " + module_.path(kit + ".xml"), &out), 0)
        << out;
  }

  // Every stacked design by the kit it came from, each read back from its enciphered file;
  // a kit stacked twice or a file that does not read fails the test.
  struct Stored {
    xml::Document doc;
    std::string file;
  };
  std::map<std::string, Stored> Stack() {
    std::map<std::string, Stored> out;
    for (const auto& name : ListXmeFiles(module_.path("Send"))) {
      std::string text;
      EXPECT_FALSE(DecipherFile(module_.path("Send/" + name), &text)) << name;
      xml::Document doc;
      EXPECT_TRUE(doc.loadXML(DesignFileText(text))) << name << ": " << doc.parseErrorReason();
      const std::string kit = GetNodeText(doc, "/Design/JobInfo/FileName");
      EXPECT_FALSE(out.count(kit)) << kit << " is stacked twice";
      out[kit] = {doc, name};
    }
    return out;
  }

  std::string FileOf(const std::string& kit) { return Stack()[kit].file; }
  std::string Text(const std::string& kit, const std::string& xpath) {
    return GetNodeText(Stack()[kit].doc, xpath);
  }

  testing::TempModule module_;
};

// Editing, adding and removing at the same time from seven processes: afterwards every
// design is readable exactly once and every change a command reported is there.
TEST_F(StackConcurrencyTest, CommandsRunningAtOnceLoseAndResurrectNothing) {
  const std::string exe = LarkediExe() + " --yes ";
  std::string script;
  for (int i = 0; i < 3; ++i) {
    const std::string group = FileOf("start" + std::to_string(i) + ".kit") + ":1";
    script += "(for k in 1 2 3 4 5 6; do " + exe + "stack set " + group + " ponumber P" +
              std::to_string(i) + "-$k >/dev/null 2>&1 || echo FAILED set " + group + "; done) & ";
  }
  for (int a = 0; a < 3; ++a) {
    const std::string kit = "added" + std::to_string(a) + ".kit";
    WriteFileOrDie(module_.path(kit + ".xml"), Design(kit));
    script += "(" + exe + "stack add " + module_.path(kit + ".xml") +
              " >/dev/null 2>&1 || echo FAILED add " + kit + ") & ";
  }
  script += "(" + exe + "stack remove " + FileOf("start3.kit") +
            ":1 >/dev/null 2>&1 || echo FAILED remove) & wait";
  std::string out;
  ASSERT_EQ(RunCommand("sh -c '" + script + "'", &out), 0) << out;
  EXPECT_EQ(out.find("FAILED"), std::string::npos) << out;

  auto stack = Stack();
  EXPECT_EQ(stack.size(), 6u);
  for (int i = 0; i < 3; ++i) {
    const std::string kit = "start" + std::to_string(i) + ".kit";
    ASSERT_TRUE(stack.count(kit)) << kit;
    EXPECT_EQ(GetNodeText(stack[kit].doc, "//ORDERGROUP/PONUMBER"), "P" + std::to_string(i) + "-6")
        << kit;
  }
  for (int a = 0; a < 3; ++a) EXPECT_TRUE(stack.count("added" + std::to_string(a) + ".kit"));
  EXPECT_FALSE(stack.count("start3.kit")) << "the removed order came back";
}

// A window that loaded the stack earlier never writes back over another process's change:
// it saves only what it changed itself, and an edit that meets the other change in one
// design is reported and the stack reloaded with the other change.
TEST_F(StackConcurrencyTest, AnOpenWindowNeverOverwritesAChangeMadeSince) {
  ScriptedDialogs dialogs;
  ScopedDialogs scoped(&dialogs);
  frmEDI window;
  window.OpenHeadless();
  window.Orders.LoadOrders(false);
  const std::string x = FileOf("start0.kit"), y = FileOf("start1.kit");

  std::string out;
  ASSERT_EQ(RunCommand(LarkediExe() + " stack set " + x + ":1 ponumber FROM-OTHER", &out), 0)
      << out;

  // The window's own edit of another design is saved; the other change stays.
  OrderStack& stack = window.Orders;
  ASSERT_FALSE(stack.SetGroupField(stack.FindGroup(y + ":1"), OrderStack::GroupField::Comment,
                                   "window comment"));
  EXPECT_FALSE(stack.SaveOrders());
  EXPECT_EQ(Text("start0.kit", "//ORDERGROUP/PONUMBER"), "FROM-OTHER");
  EXPECT_EQ(Text("start1.kit", "//ORDERGROUP/COMMENT"), "window comment");
  EXPECT_TRUE(dialogs.shown.empty());

  // Its edit of the design the other process changed is refused, the user told, the stack
  // reloaded with the other change.
  ASSERT_FALSE(stack.SetGroupField(stack.FindGroup(x + ":1"), OrderStack::GroupField::PONumber,
                                   "FROM-WINDOW"));
  Err err = stack.SaveOrders();
  EXPECT_TRUE(err);
  EXPECT_NE(err.Description.find(x), std::string::npos) << err.Description;
  EXPECT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(Text("start0.kit", "//ORDERGROUP/PONUMBER"), "FROM-OTHER");
  EXPECT_EQ(GetNodeText(stack.docOrders,
                        "//Design[FileName=" + xml::XPathLiteral(x) + "]/ORDERGROUP/PONUMBER"),
            "FROM-OTHER");

  // A design another process removed is not brought back by the window's save.
  const std::string z = FileOf("start2.kit");
  ASSERT_EQ(RunCommand(LarkediExe() + " --yes stack remove " + z + ":1", &out), 0) << out;
  ASSERT_FALSE(
      stack.SetGroupField(stack.FindGroup(z + ":1"), OrderStack::GroupField::Comment, "too late"));
  EXPECT_TRUE(stack.SaveOrders());
  EXPECT_FALSE(Stack().count("start2.kit"));
}

}  // namespace
}  // namespace larkedi
