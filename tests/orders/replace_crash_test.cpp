// Power cuts while `stack add --yes` replaces a stacked design: the process is stopped at
// every file-system step of the replacement, then the next load runs. Whatever the step,
// exactly one copy of the design is left: the new one once it was written whole (its send
// flag, not the old copy's), else the old one.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "platform/xml/xml.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

std::string DesignText(const std::string& number) {
  return "<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName><Number>" + number +
         "</Number><GlobalID/></Header><FileName>same.kit</FileName></JobInfo><Catalog>"
         "<Identification><Name>ABC</Name></Identification><Item><Text>drawer</Text></Item>"
         "</Catalog></Design></Designs>";
}

std::set<std::string> Xme(const std::string& folder) {
  std::set<std::string> out;
  if (!fs::is_directory(folder)) return out;
  for (const auto& e : fs::directory_iterator(folder)) {
    if (e.is_regular_file() && e.path().extension() == ".xme") {
      out.insert(e.path().filename().string());
    }
  }
  return out;
}

class ReplaceCrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = testing::MakeTempDir();
    testing::CopySourceHtml(base_);
    WriteFileOrDie(base_ + "/larkEDI.xml", Settings(base_));
    WriteFileOrDie(base_ + "/old.xml", DesignText("OLD"));
    WriteFileOrDie(base_ + "/new.xml", DesignText("NEW"));
    std::string out;
    ASSERT_EQ(Run(base_, "stack add " + base_ + "/old.xml", "", &out), 0) << out;
    ASSERT_EQ(Xme(base_ + "/Send").size(), 1u);
    old_ = *Xme(base_ + "/Send").begin();
    // The dealer held the old copy back; the new copy comes in marked to send.
    ASSERT_EQ(Run(base_, "stack set " + old_ + ":1 sendit 0", "", &out), 0) << out;
  }
  void TearDown() override { fs::remove_all(base_); }

  static std::string Settings(const std::string& dir) {
    return "<SETTINGS><METHOD><ID>1</ID><NAME>x</NAME></METHOD><SPOOLPATH>" + dir +
           "/Send</SPOOLPATH><ARCHIVEPATH>" + dir +
           "/Archive</ARCHIVEPATH><TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
           "<SORTORDER>NS</SORTORDER><PARTNER><ID>1</ID><NAME>One</NAME></PARTNER>"
           "<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG></SETTINGS>";
  }

  std::string Copy() {
    const std::string dir = testing::MakeTempDir();
    fs::copy(base_, dir, fs::copy_options::recursive);
    WriteFileOrDie(dir + "/larkEDI.xml", Settings(dir));
    return dir;
  }

  static int Run(const std::string& dir, const std::string& args, const std::string& env,
                 std::string* out) {
    fs::create_directories(dir + "/run");
    return testing::RunCommand("XDG_RUNTIME_DIR=" + dir + "/run " + env + " " +
                                   testing::LarkediExe() + " --module-dir " + dir + " --yes " +
                                   args,
                               out);
  }

  // After a stop: the next load leaves one copy, the new one when it was on disk whole.
  void CheckNextLoad(const std::string& dir, const std::string& what) {
    SCOPED_TRACE(what);
    const std::set<std::string> after_stop = Xme(dir + "/Send");
    // A stored file is renamed into place whole, so any other .xme name is the new copy.
    const bool new_whole = after_stop.size() > after_stop.count(old_);
    std::string out;
    ASSERT_EQ(Run(dir, "stack list --xml", "", &out), 0) << out;
    xml::Document stack;
    ASSERT_TRUE(stack.loadXML(out)) << out;
    ASSERT_EQ(stack.selectNodes("//Design[JobInfo/FileName='same.kit']").length(), 1) << out;
    EXPECT_EQ(stack.selectSingleNode("//Design/JobInfo/Header/Number").text(),
              new_whole ? "NEW" : "OLD");
    EXPECT_EQ(stack.selectSingleNode("//Design/ORDERGROUP/SENDIT").text(), new_whole ? "1" : "0");
    const std::set<std::string> left = Xme(dir + "/Send");
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left.count(old_), new_whole ? 0u : 1u);
    EXPECT_TRUE(Xme(dir + "/Archive").empty());
  }

  std::string base_;
  std::string old_;
};

TEST_F(ReplaceCrashTest, ReplacementStoppedAtEveryStepLeavesOneCopy) {
  const std::string args = "stack add " + base_ + "/new.xml";
  const std::string probe = Copy();
  const std::string trace = probe + "/trace.txt";
  std::string out;
  ASSERT_EQ(Run(probe, args, "LARKEDI_CRASH_TRACE=" + trace, &out), 0) << out;
  const std::string steps = ReadFileOrEmpty(trace);
  // Steps up to the new copy's rename, then at least the old copy's removal.
  ASSERT_NE(steps.find("write-renamed"), std::string::npos) << steps;
  ASSERT_NE(steps.find("remove"), std::string::npos) << steps;
  const int count = static_cast<int>(std::count(steps.begin(), steps.end(), '\n'));
  CheckNextLoad(probe, "without a stop");
  fs::remove_all(probe);

  // Both cases come up: stopped before the new copy was whole (only the old one on disk),
  // and after it with the old one still there (the replacement the next load completes).
  bool old_only = false, both = false;
  for (int n = 1; n <= count; ++n) {
    const std::string dir = Copy();
    EXPECT_EQ(Run(dir, args, "LARKEDI_CRASH_AT=" + std::to_string(n), &out), 86)
        << "step " << n << ": " << out;
    const auto left = Xme(dir + "/Send");
    old_only = old_only || (left.size() == 1 && left.count(old_));
    both = both || (left.size() == 2 && left.count(old_));
    CheckNextLoad(dir, "stopped at step " + std::to_string(n));
    fs::remove_all(dir);
  }
  EXPECT_TRUE(old_only);
  EXPECT_TRUE(both);
}

}  // namespace
}  // namespace larkedi
