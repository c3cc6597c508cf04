// The year's archive keeps every copy: a design archived again is an entry of its own, and a
// loose file goes only once its entry is in the written archive. (The sent copies of two
// orders of one design are checked in catalog_send_test.)
#include <gtest/gtest.h>

#include <filesystem>

#include "orders/stack_files.h"
#include "sending/send_fixture.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

TEST(ArchiveEntries, ADesignArchivedAgainGetsAnEntryOfItsOwn) {
  testing::TempModule module;
  const std::string folder = module.path("Archive");
  fs::create_directories(folder);
  std::string zip;
  // The second archiving of the same name: other bytes add an entry, the same bytes do not.
  for (const char* bytes : {"first copy", "second copy", "second copy", "third copy"}) {
    WriteFileOrDie(folder + "/ABC.xme", bytes);
    ASSERT_FALSE(ArchiveXmeFolder(folder, &zip));
    EXPECT_FALSE(fs::exists(folder + "/ABC.xme")) << bytes;
  }
  EXPECT_EQ(
      testing::ZipEntries(zip),
      (std::map<std::string, std::string>{
          {"ABC.xme", "first copy"}, {"ABC~2.xme", "second copy"}, {"ABC~3.xme", "third copy"}}));

  // An archive that cannot be read takes nothing, and the file stays.
  WriteFileOrDie(zip, "not a zip archive");
  WriteFileOrDie(folder + "/ABC.xme", "fourth copy");
  EXPECT_TRUE(ArchiveXmeFolder(folder, &zip));
  EXPECT_EQ(ReadFileOrEmpty(folder + "/ABC.xme"), "fourth copy");
}

}  // namespace
}  // namespace larkedi
