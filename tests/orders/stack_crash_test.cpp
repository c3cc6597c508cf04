// Power cuts during the stack commands: for every file-system step of `stack add`, `stack
// set`, `stack remove` and the archiving they trigger, the process is stopped at that step
// and the folders are checked: no design lost or doubled, no plain or truncated .xme file,
// and the stack still loads. A replacement (`stack add` of a design already stacked) leaves
// exactly one copy: the new one once it was written whole, else the old one.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <set>

#include "orders/orders_fixture.h"
#include "platform/xml/xml.h"
#include "platform/zip/zip.h"
#include "sending/ckutil.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

std::string DesignText(const std::string& file, const std::vector<std::string>& catalogs) {
  return "<Designs>" +
         testing::DesignXml(file, catalogs, "N-" + file, "PC",
                            "<Item><Text>Crème brûlée drawer</Text></Item>") +
         "</Designs>";
}

class StackCrashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = testing::MakeTempDir();
    testing::CopySourceHtml(base_);
    fs::create_directories(fs::path(base_) / "run");
    WriteFileOrDie(
        base_ + "/larkEDI.xml",
        testing::StackSettings(base_, {{"1", "ABC", "1"}, {"2", "DEF", "2"}, {"3", "NOBODY", "-1"}},
                               testing::kCommandSettings));
    Add("one.kit", {"abc", "Def"});
    Add("two.kit", {"abc"});
    Add("three.kit", {"nobody"});  // no partner: archived by the next save
    WriteFileOrDie(base_ + "/Archive/LastPo.xml", "<PO/>");
    WriteFileOrDie(base_ + "/new.xml", DesignText("four.kit", {"abc", "Def"}));
    for (const auto& name : Xme(base_ + "/Send")) before_.insert(name);
    ASSERT_EQ(before_.size(), 3u);
  }
  void TearDown() override { fs::remove_all(base_); }

  void Add(const std::string& file, const std::vector<std::string>& catalogs) {
    WriteFileOrDie(base_ + "/in.xml", DesignText(file, catalogs));
    std::string out;
    ASSERT_EQ(Run(base_, "stack add " + base_ + "/in.xml", "", &out), 0) << out;
  }

  // A copy of the prepared module whose settings name the copy's own folders.
  std::string Copy() {
    const std::string dir = testing::MakeTempDir();
    fs::copy(base_, dir, fs::copy_options::recursive);
    std::string settings = ReadFileOrEmpty(dir + "/larkEDI.xml");
    for (std::size_t at; (at = settings.find(base_ + "/")) != std::string::npos;) {
      settings.replace(at, base_.size(), dir);
    }
    WriteFileOrDie(dir + "/larkEDI.xml", settings);
    return dir;
  }

  static std::vector<std::string> Xme(const std::string& folder) {
    std::vector<std::string> out;
    if (!fs::is_directory(folder)) return out;
    for (const auto& e : fs::directory_iterator(folder)) {
      const std::string n = e.path().filename().string();
      if (e.is_regular_file() && n.size() > 4 && n.substr(n.size() - 4) == ".xme") out.push_back(n);
    }
    return out;
  }

  static int Run(const std::string& dir, const std::string& args, const std::string& env,
                 std::string* out) {
    return testing::RunCommand("XDG_RUNTIME_DIR=" + dir + "/run " + env + " " +
                                   testing::LarkediExe() + " --module-dir " + dir + " --yes " +
                                   args,
                               out);
  }

  // The group ID spec of the design stored from `file` for partner `partner`.
  std::string GroupOf(const std::string& dir, const std::string& kit, const std::string& partner) {
    std::string out;
    Run(dir, "stack list --xml", "", &out);
    xml::Document doc;
    EXPECT_TRUE(doc.loadXML(out)) << out;
    return doc.selectSingleNode("//Design[JobInfo/FileName='" + kit + "']/FileName").text() + ":" +
           partner;
  }

  // Checks the folders after an interrupted run.
  void CheckFolders(const std::string& dir, const std::string& what) {
    SCOPED_TRACE(what);
    CKUtil ck;
    std::map<std::string, int> seen;
    for (const char* folder : {"Send", "Archive"}) {
      for (const auto& name : Xme(dir + "/" + folder)) {
        const std::string path = dir + "/" + folder + "/" + name;
        EXPECT_EQ(ReadFileOrEmpty(path).rfind("PK", 0), 0u) << path << " is not enciphered";
        EXPECT_NE(ck.DeCryptFile(path).find("<Design>"), std::string::npos) << path;
        ++seen[name];
      }
    }
    // The yearly archive holds designs already counted when a run stopped before the loose
    // copies were deleted; a design there is "in the archive" once.
    std::set<std::string> zipped;
    if (fs::is_directory(dir + "/Archive")) {
      for (const auto& e : fs::directory_iterator(dir + "/Archive")) {
        if (e.path().extension() != ".zip") continue;
        std::string error;
        auto zip = zip::Archive::Open(ReadFileOrEmpty(e.path().string()), &error);
        ASSERT_TRUE(zip) << error;
        for (int i = 0; i < zip->EntryCount(); ++i) zipped.insert(zip->EntryName(i));
      }
    }
    const auto loose_archive = Xme(dir + "/Archive");
    for (const auto& name : before_) {
      const bool in_spool = fs::exists(dir + "/Send/" + name);
      const bool in_archive =
          zipped.count(name) ||
          std::find(loose_archive.begin(), loose_archive.end(), name) != loose_archive.end();
      EXPECT_EQ(int(in_spool) + int(in_archive), 1) << name;
    }
    EXPECT_EQ(ReadFileOrEmpty(dir + "/Archive/LastPo.xml"), "<PO/>");
    std::string out;
    EXPECT_EQ(Run(dir, "stack list", "", &out), 0) << out;
    EXPECT_EQ(out.find("cannot be read"), std::string::npos) << out;
  }

  // Runs the command once to count its steps, then once per step with the crash there;
  // `check` (CheckFolders unless given) looks at the folders after each run.
  using Check = std::function<void(const std::string& dir, const std::string& what)>;
  void CrashEveryStep(const std::string& command, const std::string& kit,
                      const std::string& partner, const std::string& tail = "",
                      Check check = nullptr) {
    if (!check) check = [this](const std::string& d, const std::string& w) { CheckFolders(d, w); };
    const std::string probe = Copy();
    std::string args = command;
    if (!kit.empty()) args += " " + GroupOf(probe, kit, partner);
    args += tail;
    const std::string trace = probe + "/trace.txt";
    std::string out;
    ASSERT_EQ(Run(probe, args, "LARKEDI_CRASH_TRACE=" + trace, &out), 0) << out;
    const std::string steps = ReadFileOrEmpty(trace);
    const int count = static_cast<int>(std::count(steps.begin(), steps.end(), '\n'));
    ASSERT_GT(count, 3) << steps;
    check(probe, args + " without a crash");
    fs::remove_all(probe);

    for (int n = 1; n <= count; ++n) {
      const std::string dir = Copy();
      const int status = Run(dir, args, "LARKEDI_CRASH_AT=" + std::to_string(n), &out);
      EXPECT_EQ(status, 86) << "step " << n << ": " << out;
      check(dir, args + " stopped at step " + std::to_string(n));
      fs::remove_all(dir);
    }
  }

  std::string base_;
  std::set<std::string> before_;
};

TEST_F(StackCrashTest, AddStopsCleanlyAtEveryStep) {
  CrashEveryStep("stack add " + base_ + "/new.xml", "", "");
}

TEST_F(StackCrashTest, SetAndItsArchivingStopCleanlyAtEveryStep) {
  CrashEveryStep("stack set", "one.kit", "1", " ponumber EDITED");
}

TEST_F(StackCrashTest, RemoveAndItsArchivingStopCleanlyAtEveryStep) {
  CrashEveryStep("stack remove", "two.kit", "1");
}

TEST_F(StackCrashTest, ReplacementStoppedAtEveryStepLeavesOneCopy) {
  // The dealer held the old copy back; the new copy comes in marked to send.
  const std::string group = GroupOf(base_, "two.kit", "1");
  const std::string old_file = group.substr(0, group.find(':'));
  std::string out;
  ASSERT_EQ(Run(base_, "stack set " + group + " sendit 0", "", &out), 0) << out;
  std::string text = DesignText("two.kit", {"abc"});
  text.replace(text.find("N-two.kit"), 9, "NEW");
  WriteFileOrDie(base_ + "/replace.xml", text);

  bool old_only = false, both = false;
  CrashEveryStep("stack add " + base_ + "/replace.xml", "", "", "",
                 [&](const std::string& dir, const std::string& what) {
                   SCOPED_TRACE(what);
                   const auto spool = Xme(dir + "/Send");
                   const bool has_old = std::count(spool.begin(), spool.end(), old_file) > 0;
                   // A stored file is renamed into place whole: a name not stacked before is
                   // the new copy.
                   const bool new_whole = std::any_of(spool.begin(), spool.end(),
                                                      [&](auto& n) { return !before_.count(n); });
                   old_only = old_only || (has_old && !new_whole);
                   both = both || (has_old && new_whole);
                   ASSERT_EQ(Run(dir, "stack list --xml", "", &out), 0) << out;
                   xml::Document stack;
                   ASSERT_TRUE(stack.loadXML(out)) << out;
                   xml::NodeList copies = stack.selectNodes("//Design[JobInfo/FileName='two.kit']");
                   ASSERT_EQ(copies.length(), 1) << out;
                   EXPECT_EQ(copies.item(0).selectSingleNode("JobInfo/Header/Number").text(),
                             new_whole ? "NEW" : "N-two.kit");
                   EXPECT_EQ(copies.item(0).selectSingleNode("ORDERGROUP/SENDIT").text(),
                             new_whole ? "1" : "0");
                   EXPECT_EQ(stack.selectNodes("//Design[JobInfo/FileName='one.kit']").length(), 1);
                   const auto left = Xme(dir + "/Send");
                   EXPECT_EQ(std::count(left.begin(), left.end(), old_file), new_whole ? 0 : 1);
                 });
  // Both cases came up: stopped before the new copy was whole, and after it with the old
  // one still there (the replacement the next load completes).
  EXPECT_TRUE(old_only);
  EXPECT_TRUE(both);
}

}  // namespace
}  // namespace larkedi
