// Packing an archive folder into its yearly archive: what is deleted, what stays, and what
// a failed archive write leaves.
#include <gtest/gtest.h>

#include <filesystem>

#include "orders/stack_files.h"
#include "orders/xme_file.h"
#include "platform/zip/zip.h"
#include "testing/failing_env.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

class ArchiveFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = module_.path("Archive");
    fs::create_directories(dir_);
    for (const char* name : {"A.xme", "B.XME"}) {
      WriteFileOrDie(dir_ + "/" + name, std::string("<Design>") + name + "</Design>");
      ASSERT_FALSE(EncipherFile(dir_ + "/" + name));
    }
    WriteFileOrDie(dir_ + "/LastPo.xml", "<PO/>");
    // A link to a design elsewhere: archiving must neither pack nor delete what it points to.
    WriteFileOrDie(module_.path("outside.xme"), "keep me");
    fs::create_symlink(module_.path("outside.xme"), dir_ + "/link.xme");
  }

  std::vector<std::string> Entries(const std::string& zip_path) {
    std::string error;
    auto zip = zip::Archive::Open(ReadFileOrEmpty(zip_path), &error);
    EXPECT_TRUE(zip) << error;
    std::vector<std::string> out;
    for (int i = 0; zip && i < zip->EntryCount(); ++i) out.push_back(zip->EntryName(i));
    std::sort(out.begin(), out.end());
    return out;
  }

  testing::TempModule module_;
  std::string dir_;
};

TEST_F(ArchiveFolderTest, PacksIntoTheYearsArchiveAndDeletesOnlyWhatWasPacked) {
  {
    testing::FailingWritesEnv full;
    testing::ScopedEnv scoped(&full);
    EXPECT_TRUE(ArchiveXmeFolder(dir_, nullptr));
  }
  EXPECT_TRUE(fs::exists(dir_ + "/B.XME")) << "deleted although the archive was not written";

  // 2031-06-15, whatever today is. An archive that does not read as one is left alone, and
  // so are the designs.
  testing::FixedClockEnv clock(1939939200);
  testing::ScopedEnv scoped(&clock);
  const std::string zip_path = dir_ + "/archive_2031.zip";
  WriteFileOrDie(zip_path, "not a zip archive");
  EXPECT_TRUE(ArchiveXmeFolder(dir_, nullptr));
  EXPECT_EQ(ReadFileOrEmpty(zip_path), "not a zip archive");
  EXPECT_TRUE(fs::exists(dir_ + "/A.xme"));

  fs::remove(zip_path);
  std::string written;
  ASSERT_FALSE(ArchiveXmeFolder(dir_, &written));
  EXPECT_EQ(written, zip_path);
  EXPECT_EQ(Entries(zip_path), (std::vector<std::string>{"A.xme", "B.XME"}));
  EXPECT_FALSE(fs::exists(dir_ + "/B.XME"));
  EXPECT_EQ(ReadFileOrEmpty(dir_ + "/LastPo.xml"), "<PO/>");
  EXPECT_TRUE(fs::is_symlink(dir_ + "/link.xme"));
  EXPECT_EQ(ReadFileOrEmpty(module_.path("outside.xme")), "keep me");

  // A later design of the same year joins the same archive; entries already there stay.
  WriteFileOrDie(dir_ + "/C.xme", "<Design>C</Design>");
  ASSERT_FALSE(ArchiveXmeFolder(dir_, &written));
  EXPECT_EQ(Entries(zip_path), (std::vector<std::string>{"A.xme", "B.XME", "C.xme"}));
}

}  // namespace
}  // namespace larkedi
