#include "sending/ckutil.h"

#include <gtest/gtest.h>

#include "orders/stack_files.h"
#include "platform/env.h"
#include "platform/zip/zip.h"
#include "sending/send_fixture.h"
#include "testing/failing_env.h"

namespace larkedi {
namespace {

using testing::ReadFileOrEmpty;
using testing::RunCommand;
using testing::TempModule;
using testing::WriteFileOrDie;

const std::string kDesign =
    "<?xml version=\"1.0\"?>\r\n<Design><Name>Crème brûlée — 5 €</Name>\t<Qty>3</Qty></Design>";

// The 7-Zip command line: `7z` (p7zip) or `7zz` (Debian's 7zip package).
std::string SevenZip() {
  for (const char* exe : {"7z", "7zz"}) {
    if (RunCommand(std::string("command -v ") + exe + " >/dev/null") == 0) return exe;
  }
  return {};
}

// Refuses every atomic write for the life of the object, as a full disk would.
struct FullDiskEnv {
  testing::FailingWritesEnv disk;
  testing::ScopedEnv scoped{&disk};
};

std::vector<std::string> EntryNames(const std::string& zip_path) {
  std::vector<std::string> names;
  for (const auto& entry : testing::ZipEntries(zip_path)) names.push_back(entry.first);
  return names;  // sorted
}

TEST(CKUtilTest, SevenZipReadsOurFilesAndWeReadItsAes128Archives) {
  const std::string seven = SevenZip();
  ASSERT_FALSE(seven.empty()) << "7-Zip is not installed (scripts/install-deps installs 7zip)";
  TempModule module;
  CKUtil ck;
  const std::string ours = module.path("Send/ours.xme");
  WriteFileOrDie(ours, kDesign);
  Err err;
  ck.EnCryptFile(ours, &err);
  ASSERT_FALSE(err) << err.Description;
  EXPECT_EQ(ck.DeCryptFile("  " + ours + " "), kDesign);  // paths are trimmed
  // Only the archive is left in the folder: no temporary files.
  std::vector<std::string> names;
  ASSERT_TRUE(Env::Default()->ListDirectory(module.path("Send"), &names, nullptr));
  EXPECT_EQ(names, std::vector<std::string>{"ours.xme"});
  std::string listing, extracted;
  ASSERT_EQ(RunCommand(seven + " l -slt -pkq7zv41 '" + ours + "'", &listing), 0) << listing;
  EXPECT_NE(listing.find("AES-128"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Encrypted = +"), std::string::npos) << listing;
  const std::string out = module.path("out");
  ASSERT_EQ(RunCommand(seven + " x -y -pkq7zv41 -o'" + out + "' '" + ours + "'", &extracted), 0)
      << extracted;
  EXPECT_EQ(ReadFileOrEmpty(out + "/ours.xme"), kDesign);
  EXPECT_NE(RunCommand(seven + " x -y -pwrong -o'" + out + "2' '" + ours + "'"), 0);

  // An archive 7-Zip made, named after its entry and under another name.
  const std::string plain = module.path("src/design.xme");
  WriteFileOrDie(plain, kDesign);
  const std::string theirs = module.path("design.xme");
  ASSERT_EQ(RunCommand("cd '" + module.path("src") + "' && " + seven +
                           " a -tzip -mem=AES128 -pkq7zv41 '" + theirs + "' design.xme",
                       &listing),
            0)
      << listing;
  EXPECT_EQ(ck.DeCryptFile(theirs), kDesign);
  const std::string renamed = module.path("other.xme");
  ASSERT_TRUE(Env::Default()->RenameFile(theirs, renamed, nullptr));
  EXPECT_EQ(ck.DeCryptFile(renamed), kDesign);  // falls back to the first entry

  // 7-Zip's entries are checked by their authentication code (they carry no CRC), stored
  // or deflated: a changed byte of the enciphered data is refused.
  for (const char* method : {"Copy", "Deflate"}) {
    const std::string made = module.path(std::string("m_") + method + ".xme");
    ASSERT_EQ(RunCommand("cd '" + module.path("src") + "' && " + seven + " a -tzip -mm=" + method +
                         " -mem=AES128 -pkq7zv41 '" + made + "' design.xme"),
              0);
    EXPECT_EQ(ck.DeCryptFile(made), kDesign) << method;
    std::string bytes = ReadFileOrEmpty(made);
    // Local header, name and extra field (lengths at offsets 26 and 28), salt and password
    // check, then the enciphered data.
    const auto u16 = [&](std::size_t at) {
      return static_cast<unsigned char>(bytes[at]) | static_cast<unsigned char>(bytes[at + 1]) << 8;
    };
    bytes[30 + u16(26) + u16(28) + 8 + 2 + 5] ^= 1;
    WriteFileOrDie(made, bytes);
    Err tampered;
    EXPECT_EQ(ck.DeCryptFile(made, &tampered), "") << method;
    EXPECT_TRUE(tampered) << method;
  }
}

TEST(CKUtilTest, AttachmentDataIsBase64OfRawDeflate) {
  TempModule module;
  CKUtil ck;
  const std::string path = module.path("kit.txt");
  std::string kit;
  for (int i = 0; i < 500; ++i) kit += "Cabinet B" + std::to_string(i % 13) + " 30\" — white\r\n";
  WriteFileOrDie(path, kit);

  const std::string b64 = ck.GetCompressedFileData(path, true, false);
  // Raw deflate as zlib reads it (the zip layer's own tests check that against zlib).
  std::string raw, out, error;
  ASSERT_TRUE(zip::Base64Decode(b64, &raw));
  ASSERT_TRUE(zip::RawInflate(raw, &out, &error)) << error;
  EXPECT_EQ(out, kit);
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, b64, false), kit);

  // The zip container form holds the file as its one entry.
  const std::string zipped = ck.GetCompressedFileData(path, true, true);
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, zipped, true), kit);

  Err err;
  EXPECT_EQ(ck.GetCompressedFileData(module.path("none.txt"), true, false, &err), "");
  EXPECT_TRUE(err);
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, "!!not base64!!", false, &err), "");
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, zip::Base64Encode("junk"), false), "");
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, zip::Base64Encode("junk"), true), "");
}

TEST(CKUtilTest, ExtractWritesEntriesButNothingOutsideTheFolder) {
  TempModule module;
  CKUtil ck;
  std::string error, bytes;
  auto a = zip::Archive::Create(&error);
  ASSERT_TRUE(a->AddEntry("a.txt", "A", 9, false, &error));
  ASSERT_TRUE(a->AddEntry("sub/b.txt", "B", 9, false, &error));
  ASSERT_TRUE(a->Finish(&bytes, &error));
  const std::string dest = module.path("out");
  EXPECT_TRUE(ck.ExtractFilesFromData(true, true, zip::Base64Encode(bytes), dest));
  EXPECT_EQ(ReadFileOrEmpty(dest + "/a.txt"), "A");
  EXPECT_EQ(ReadFileOrEmpty(dest + "/sub/b.txt"), "B");

  auto evil = zip::Archive::Create(&error);
  ASSERT_TRUE(evil->AddEntry("../escaped.txt", "X", 9, false, &error));
  ASSERT_TRUE(evil->Finish(&bytes, &error));
  Err err;
  EXPECT_FALSE(ck.ExtractFilesFromData(true, false, bytes, module.path("out2"), &err));
  EXPECT_TRUE(err);
  EXPECT_FALSE(Env::Default()->Exists(module.path("escaped.txt")));
  EXPECT_FALSE(ck.ExtractFilesFromData(true, false, "not a zip", module.path("out3")));
}

// The yearly archive run by run: new files join, old entries stay, a new year starts a new
// archive, lastPO.xml never enters it, a failed run or a damaged archive loses nothing.
TEST(YearlyArchiveTest, EachRunAddsWhatIsNewAndLosesNothing) {
  TempModule module;
  CKUtil ck;
  const std::string folder = module.path("Archive");
  for (const char* n : {"A1.xme", "B2.XME", "LastPo.xml", "notes.txt", ".hidden.xme"}) {
    WriteFileOrDie(folder + "/" + n, std::string("content of ") + n);
  }
  WriteFileOrDie(folder + "/sub/C3.xme", "deeper");
  auto pack = [&](const std::string& year, const std::string& pattern = "\\*.xme",
                  Err* err = nullptr) {
    return ck.CompressArchive(folder, folder + "/archive_" + year + ".zip", pattern, "", false,
                              false, false, false, false, err);
  };
  using Names = std::vector<std::string>;
  // lastPO.xml never enters the archive, whatever its case.
  WriteFileOrDie(folder + "/lastpo.XML", "the same file in another case");
  WriteFileOrDie(folder + "/LASTPO.XML.xme", "looks alike but is a design");
  ASSERT_TRUE(pack("2024", "*"));
  EXPECT_EQ(EntryNames(folder + "/archive_2024.zip"),
            (Names{"A1.xme", "B2.XME", "LASTPO.XML.xme", "notes.txt"}));
  ASSERT_TRUE(Env::Default()->RemoveFile(folder + "/LASTPO.XML.xme", nullptr));
  const std::string zip_2025 = folder + "/archive_2025.zip";
  ASSERT_TRUE(pack("2025"));
  EXPECT_EQ(EntryNames(zip_2025), (Names{"A1.xme", "B2.XME"}));
  // Sent designs leave the folder; the next run adds the new one and keeps the old ones.
  ASSERT_TRUE(Env::Default()->RemoveFile(folder + "/A1.xme", nullptr));
  WriteFileOrDie(folder + "/D4.xme", "new");
  WriteFileOrDie(folder + "/B2.XME", "changed");
  ASSERT_TRUE(pack("2025"));
  EXPECT_EQ(EntryNames(zip_2025), (Names{"A1.xme", "B2.XME", "D4.xme"}));
  const std::string before = ReadFileOrEmpty(zip_2025);
  WriteFileOrDie(folder + "/E5.xme", "more");
  {
    FullDiskEnv full;
    Err err;
    EXPECT_FALSE(pack("2025", "*.xme", &err));
    EXPECT_TRUE(err);
  }
  EXPECT_EQ(ReadFileOrEmpty(zip_2025), before);
  // A new year starts a new archive; last year's stays as it was.
  ASSERT_TRUE(pack("2026"));
  EXPECT_EQ(EntryNames(folder + "/archive_2026.zip"), (Names{"B2.XME", "D4.xme", "E5.xme"}));
  EXPECT_EQ(ReadFileOrEmpty(zip_2025), before);
  // A damaged archive is not replaced by one that would lose its entries.
  WriteFileOrDie(zip_2025, before.substr(0, before.size() / 2));
  Err err;
  EXPECT_FALSE(pack("2025", "*.xme", &err));
  EXPECT_NE(err.Description.find("archive_2025.zip"), std::string::npos);
  EXPECT_EQ(ReadFileOrEmpty(zip_2025), before.substr(0, before.size() / 2));

  // An empty folder gives a valid empty archive.
  const std::string empty = module.path("Empty");
  ASSERT_TRUE(Env::Default()->CreateDirectories(empty, nullptr));
  EXPECT_TRUE(ck.CompressArchive(empty, empty + "/archive_2025.zip", "*.xme", "", false, false,
                                 false, false, false, &err))
      << err.Description;
  EXPECT_TRUE(EntryNames(empty + "/archive_2025.zip").empty());
  const std::string seven = SevenZip();
  ASSERT_FALSE(seven.empty()) << "7-Zip is not installed";
  std::string out;
  EXPECT_EQ(RunCommand(seven + " t '" + empty + "/archive_2025.zip'", &out), 0) << out;
}

// The yearly archive keeps every copy: a design archived again is an entry of its own, and
// a loose file goes only once its entry is in the written archive.
TEST(ArchiveEntries, ADesignArchivedAgainGetsAnEntryOfItsOwn) {
  testing::TempModule module;
  const std::string folder = module.path("Archive");
  ASSERT_TRUE(Env::Default()->CreateDirectories(folder, nullptr));
  std::string zip;
  // The second archiving of the same name: other bytes add an entry, the same bytes do not.
  for (const char* bytes : {"first copy", "second copy", "second copy", "third copy"}) {
    WriteFileOrDie(folder + "/ABC.xme", bytes);
    ASSERT_FALSE(ArchiveXmeFolder(folder, &zip));
    EXPECT_FALSE(Env::Default()->Exists(folder + "/ABC.xme")) << bytes;
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
