// The stack commands as a dealer's scripts run them: what they refuse and what they report.
#include <gtest/gtest.h>

#include <filesystem>

#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::LarkediExe;
using testing::ReadFileOrEmpty;
using testing::RunCommand;
using testing::WriteFileOrDie;

std::string Design(const std::string& kit, const std::string& catalog, int items = 1) {
  std::string d =
      "<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName>"
      "<Number>N-1</Number><GlobalID/></Header><FileName>" +
      kit + "</FileName></JobInfo><Catalog><Identification><Name>" + catalog +
      "</Name></Identification>";
  for (int i = 0; i < items; ++i) {
    // Texts that do not compress away, so the stored file has a real size.
    d += "<Item><Code>C" + std::to_string(i * 7919 % 10007) + "</Code><Qty>1</Qty><Text>" +
         std::to_string(i * 104729 % 99991) + " drawer " + std::to_string(i * 31337 % 65521) +
         "</Text></Item>";
  }
  return d + "</Catalog></Design></Designs>";
}

class StackCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteOnePartnerSettings(module_, "Acme"); }

  int Lark(const std::string& args, std::string* out = nullptr) {
    return RunCommand(LarkediExe() + " --yes " + args, out);
  }

  int Add(const std::string& design_text, std::string* out) {
    WriteFileOrDie(module_.path("in.xml"), design_text);
    return Lark("stack add " + module_.path("in.xml"), out);
  }

  testing::TempModule module_;
};

// The manufacturer's script refuses the catalog whatever letters the design writes its code
// in: the code names the same catalog, so the same partner and the same script.
TEST_F(StackCommandTest, ValidationRunsForACodeInOtherLetterCase) {
  fs::create_directories(module_.path("Validate"));
  WriteFileOrDie(module_.path("Validate/ACME.js"),
                 "function Validate() { docError.loadXML('<ERROR><CODE>R</CODE><DESCRIPTION>"
                 "refused</DESCRIPTION><MESSAGE>refused</MESSAGE><ACTION>2</ACTION></ERROR>'); }");
  std::string out;
  for (const char* code : {"ABC", "abc", "Abc"}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(Add(Design("k.kit", code), &out), 3) << out;
  }
  EXPECT_EQ(Lark("stack list", &out), 0) << out;
  EXPECT_EQ(out.find("k.kit"), std::string::npos) << out;
  EXPECT_EQ(out.find(".xme"), std::string::npos) << out;

  // Without the script the lower-case code is stacked into the manufacturer's order.
  fs::remove(module_.path("Validate/ACME.js"));
  EXPECT_EQ(Add(Design("k.kit", "abc"), &out), 0) << out;
  EXPECT_EQ(Lark("stack list", &out), 0);
  EXPECT_NE(out.find("\t1\tAcme\t1\t"), std::string::npos) << out;
}

// A save that cannot write the stacked design fails the command, names the file and the
// reason, and leaves the previous file as it was.
TEST_F(StackCommandTest, FailedSaveIsReportedAndKeepsThePreviousFile) {
  std::string out;
  ASSERT_EQ(Add(Design("k.kit", "ABC", 2000), &out), 0) << out;
  std::vector<std::string> files;
  for (const auto& e : fs::directory_iterator(module_.path("Send"))) {
    if (e.path().extension() == ".xme") files.push_back(e.path().string());
  }
  ASSERT_EQ(files.size(), 1u);
  ASSERT_GT(fs::file_size(files[0]), 16384u);
  const std::string before = ReadFileOrEmpty(files[0]);

  // No file may grow beyond 4 or 8 KiB (the unit of ulimit -f depends on the shell): the design
  // cannot be written back (the limit holds for every user, root included).
  const int status = RunCommand(
      "trap '' XFSZ; ulimit -f 8; " + LarkediExe() + " stack set 1 ponumber NEW-PO", &out);
  EXPECT_NE(status, 0) << out;
  EXPECT_NE(out.find("not saved"), std::string::npos) << out;
  EXPECT_NE(out.find(fs::path(files[0]).filename().string()), std::string::npos) << out;
  EXPECT_EQ(ReadFileOrEmpty(files[0]), before);

  EXPECT_EQ(Lark("stack set 1 ponumber NEW-PO", &out), 0) << out;
  EXPECT_EQ(Lark("stack list", &out), 0);
  EXPECT_NE(out.find("NEW-PO"), std::string::npos) << out;
}

// A typed value with a character XML cannot hold is stored without it; the design stays
// readable and its order stays in the stack.
TEST_F(StackCommandTest, ControlCharactersInATypedValueDoNotBreakTheDesign) {
  std::string out;
  ASSERT_EQ(Add(Design("k.kit", "ABC"), &out), 0) << out;
  EXPECT_EQ(RunCommand(LarkediExe() + " stack set 1 comment \"$(printf 'Deliver\\vto side door')\"",
                       &out),
            0)
      << out;
  EXPECT_EQ(
      RunCommand(LarkediExe() + " stack set 1 ponumber \"$(printf 'PO\\357\\277\\2767')\"", &out),
      0)
      << out;
  EXPECT_EQ(Lark("stack list --xml", &out), 0);
  EXPECT_NE(out.find("Deliverto side door"), std::string::npos) << out;
  EXPECT_NE(out.find("PO7"), std::string::npos) << out;
  EXPECT_EQ(Lark("stack list", &out), 0);
  EXPECT_NE(out.find("\t1\tAcme\t1\tPO7\t"), std::string::npos) << out;
}

TEST_F(StackCommandTest, InputsThatAreNoDesignFileAreRefusedAtOnce) {
  std::string out;
  for (const std::string& input : {std::string("/dev/zero"), module_.dir()}) {
    SCOPED_TRACE(input);
    EXPECT_EQ(Lark("stack add " + input, &out), 3) << out;
    EXPECT_NE(out.find("not a regular file"), std::string::npos) << out;
  }
  // A design without catalogs is said not to be stacked, and why.
  std::string empty = Design("k.kit", "ABC");
  empty.replace(empty.find("<Catalog>"), empty.find("</Catalog>") + 10 - empty.find("<Catalog>"),
                "");
  EXPECT_EQ(Add(empty, &out), 3) << out;
  EXPECT_NE(out.find("no catalog"), std::string::npos) << out;
  EXPECT_EQ(out.find("stacked "), std::string::npos) << out;
}

}  // namespace
}  // namespace larkedi
