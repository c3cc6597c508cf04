// The stack commands as a dealer's scripts run them: what they refuse and what they report.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/cli/cli_fixture.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::Designs;
using testing::LarkediExe;
using testing::ReadFileOrEmpty;
using testing::RunCommand;
using testing::WriteFileOrDie;
using StackCommandTest = testing::CommandTest;

// The manufacturer's script refuses the catalog whatever letters the design writes its code
// in: the code names the same catalog, so the same partner and the same script.
TEST_F(StackCommandTest, ValidationRunsForACodeInOtherLetterCase) {
  fs::create_directories(module_.path("Validate"));
  WriteFileOrDie(module_.path("Validate/ACME.js"),
                 "function Validate() { docError.loadXML('<ERROR><CODE>R</CODE><DESCRIPTION>"
                 "refused</DESCRIPTION><MESSAGE>refused</MESSAGE><ACTION>2</ACTION></ERROR>'); }");
  std::string out;
  for (const char* code : {"ABC", "abc"}) {
    SCOPED_TRACE(code);
    EXPECT_EQ(Add(Designs("k", {code}), &out), 3) << out;
  }
  EXPECT_EQ(Lark("stack list", &out), 0) << out;
  EXPECT_EQ(out.find(".xme"), std::string::npos) << out;

  // Without the script the lower-case code is stacked into the manufacturer's order.
  fs::remove(module_.path("Validate/ACME.js"));
  EXPECT_EQ(Add(Designs("k", {"abc"}), &out), 0) << out;
  EXPECT_EQ(Lark("stack list", &out), 0);
  EXPECT_NE(out.find("\t1\tAcme\t1\t"), std::string::npos) << out;
}

// What is no design is refused at once. A save that cannot write the stacked design fails
// the command, names the file and the reason, and leaves the previous file as it was. A typed
// value with a character XML cannot hold is stored without it and the design stays readable.
TEST_F(StackCommandTest, RefusedInputsFailedSavesAndControlCharactersLeaveTheStackReadable) {
  std::string out;
  for (const std::string& input : {std::string("/dev/zero"), module_.dir()}) {
    SCOPED_TRACE(input);
    EXPECT_EQ(Lark("--yes stack add " + input, &out), 3) << out;
    EXPECT_NE(out.find("not a regular file"), std::string::npos) << out;
  }
  // A design without catalogs is said not to be stacked, and why.
  EXPECT_EQ(Add(Designs("k", {}), &out), 3) << out;
  EXPECT_NE(out.find("no catalog"), std::string::npos) << out;
  EXPECT_EQ(out.find("stacked "), std::string::npos) << out;

  ASSERT_EQ(Add(Designs("k", {"ABC"}, 2000), &out), 0) << out;
  const std::vector<std::string> files = Stacked();
  ASSERT_EQ(files.size(), 1u);
  ASSERT_GT(fs::file_size(files[0]), 16384u);
  const std::string before = ReadFileOrEmpty(files[0]);
  // No file may grow beyond 4 or 8 KiB (the unit of ulimit -f depends on the shell): the design
  // cannot be written back (the limit holds for every user, root included).
  EXPECT_NE(
      RunCommand("trap '' XFSZ; ulimit -f 8; " + LarkediExe() + " stack set 1 ponumber NEW-PO",
                 &out),
      0)
      << out;
  EXPECT_NE(out.find("not saved"), std::string::npos) << out;
  EXPECT_NE(out.find(fs::path(files[0]).filename().string()), std::string::npos) << out;
  EXPECT_EQ(ReadFileOrEmpty(files[0]), before);

  EXPECT_EQ(Lark("stack set 1 comment \"$(printf 'Deliver\\vto side door')\"", &out), 0) << out;
  EXPECT_EQ(Lark("stack set 1 ponumber \"$(printf 'PO\\357\\277\\2767')\"", &out), 0) << out;
  EXPECT_EQ(Lark("stack list --xml", &out), 0);
  EXPECT_NE(out.find("Deliverto side door"), std::string::npos) << out;
  EXPECT_EQ(Lark("stack list", &out), 0);
  EXPECT_NE(out.find("\t1\tAcme\t1\tPO7\t"), std::string::npos) << out;

  // Input that does not parse, values out of range and groups that are not there: each
  // refused with its reason, the stack untouched.
  const std::string bad = module_.path("bad.xml");
  WriteFileOrDie(bad, "<Designs><Design>");
  struct Refusal {
    std::string args;
    int status;
    std::string says;
  };
  for (const Refusal& r : std::vector<Refusal>{{"validate " + bad, 4, bad},
                                               {"sort --method BWT " + bad, 1, "does not parse"},
                                               {"complete-design " + bad, 1, "cannot complete"},
                                               {"stack set 1 sendit 2", 2, "sendit takes 1 or 0"},
                                               {"stack set 9 ponumber X", 1, "no order group 9"},
                                               {"--yes stack remove 9", 1, "no order group 9"}}) {
    SCOPED_TRACE(r.args);
    EXPECT_EQ(Lark(r.args, &out), r.status) << out;
    EXPECT_NE(out.find(r.says), std::string::npos) << out;
  }
  EXPECT_EQ(Stacked(), files);
}

}  // namespace
}  // namespace larkedi
