// The year's archive keeps every copy: a design archived twice and the sent copies of two
// orders of one design are separate entries, and a loose file goes only once its entry is
// in the written archive.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "orders/stack_files.h"
#include "orders/xme_file.h"
#include "platform/zip/zip.h"
#include "sending/send_fixture.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

// Entry name -> bytes of the archive at `zip_path`.
std::map<std::string, std::string> Entries(const std::string& zip_path) {
  std::map<std::string, std::string> out;
  std::string error;
  auto zip = zip::Archive::Open(ReadFileOrEmpty(zip_path), &error);
  EXPECT_TRUE(zip) << error;
  if (!zip) return out;
  for (int i = 0; i < zip->EntryCount(); ++i) {
    std::string data;
    EXPECT_TRUE(zip->ReadEntry(i, &data, &error)) << error;
    out[zip->EntryName(i)] = data;
  }
  return out;
}

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
  EXPECT_EQ(Entries(zip), (std::map<std::string, std::string>{{"ABC.xme", "first copy"},
                                                              {"ABC~2.xme", "second copy"},
                                                              {"ABC~3.xme", "third copy"}}));

  // An archive that cannot be read takes nothing, and the file stays.
  WriteFileOrDie(zip, "not a zip archive");
  WriteFileOrDie(folder + "/ABC.xme", "fourth copy");
  EXPECT_TRUE(ArchiveXmeFolder(folder, &zip));
  EXPECT_EQ(ReadFileOrEmpty(folder + "/ABC.xme"), "fourth copy");
}

class SentCopies : public testing::SendFixture {};

TEST_F(SentCopies, TwoOrdersOfOneDesignKeepTwoCopies) {
  WriteSettings({{"OAK", {"Oak Base"}, "1", true}, {"ELM", {"Elm Base"}, "1", true}});
  RegisterConnector();
  Stack(testing::DesignText("PO-1", {"Oak Base", "Elm Base"}));
  testing::RowCollector rows;
  ASSERT_TRUE(Send(rows));
  ASSERT_EQ(rows.rows.size(), 2u);

  std::string zip;
  for (const auto& e : fs::directory_iterator(module_.path("Archive"))) {
    if (e.path().extension() == ".zip") zip = e.path().string();
    EXPECT_NE(e.path().extension(), ".xme") << "left loose: " << e.path();
  }
  ASSERT_FALSE(zip.empty());
  // Each order's copy (deciphered) holds its own catalog, and the design itself is there.
  std::set<std::string> catalogs;
  int copies = 0;
  for (const auto& [name, bytes] : Entries(zip)) {
    std::string text;
    ASSERT_FALSE(DecipherBytes(name, bytes, &text)) << name;
    xml::Document doc;
    ASSERT_TRUE(doc.loadXML(text)) << name;
    if (name.find("-sent") == std::string::npos) continue;
    ++copies;
    for (xml::Node n : doc.selectNodes("//Catalog/Identification/Name")) catalogs.insert(n.text());
  }
  EXPECT_EQ(copies, 2);
  EXPECT_EQ(Entries(zip).size(), 3u);  // and the design, archived once nothing was left
  EXPECT_EQ(catalogs, (std::set<std::string>{"Oak Base", "Elm Base"}));
}

}  // namespace
}  // namespace larkedi
