#include "sending/ckutil.h"

#include <gtest/gtest.h>

#include "platform/env.h"
#include "platform/zip/zip.h"
#include "testing/failing_env.h"
#include "testing/temp_module.h"

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
  std::string error;
  auto archive = zip::Archive::Open(ReadFileOrEmpty(zip_path), &error);
  EXPECT_TRUE(archive) << zip_path << ": " << error;
  std::vector<std::string> names;
  for (int i = 0; archive && i < archive->EntryCount(); ++i) names.push_back(archive->EntryName(i));
  std::sort(names.begin(), names.end());
  return names;
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

TEST(CKUtilTest, FailedEncryptionLeavesThePlainFile) {
  TempModule module;
  CKUtil ck;
  const std::string path = module.path("keep.xme");
  WriteFileOrDie(path, kDesign);
  {
    FullDiskEnv full;
    Err err;
    ck.EnCryptFile(path, &err);
    EXPECT_TRUE(err);
  }
  EXPECT_EQ(ReadFileOrEmpty(path), kDesign);
  Err err;
  ck.EnCryptFile(module.path("absent.xme"), &err);
  EXPECT_TRUE(err);
  EXPECT_FALSE(Env::Default()->Exists(module.path("absent.xme")));
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

class YearlyArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = module_.path("Archive");
    for (const char* n : {"A1.xme", "B2.XME", "LastPo.xml", "notes.txt", ".hidden.xme"}) {
      WriteFileOrDie(folder_ + "/" + n, std::string("content of ") + n);
    }
    WriteFileOrDie(folder_ + "/sub/C3.xme", "deeper");
  }
  bool Pack(const std::string& zip_name, const std::string& pattern = "\\*.xme",
            Err* err = nullptr) {
    return ck_.CompressArchive(folder_, folder_ + "/" + zip_name, pattern, "", false, false, false,
                               false, false, err);
  }
  TempModule module_;
  CKUtil ck_;
  std::string folder_;
};

TEST_F(YearlyArchiveTest, AddsMatchingFilesAndKeepsWhatWasThere) {
  ASSERT_TRUE(Pack("archive_2025.zip"));
  EXPECT_EQ(EntryNames(folder_ + "/archive_2025.zip"),
            (std::vector<std::string>{"A1.xme", "B2.XME"}));
  // Sent designs leave the folder; the next run adds the new one and keeps the old ones.
  ASSERT_TRUE(Env::Default()->RemoveFile(folder_ + "/A1.xme", nullptr));
  WriteFileOrDie(folder_ + "/D4.xme", "new");
  WriteFileOrDie(folder_ + "/B2.XME", "changed");
  ASSERT_TRUE(Pack("archive_2025.zip"));
  const std::string zip_path = folder_ + "/archive_2025.zip";
  EXPECT_EQ(EntryNames(zip_path), (std::vector<std::string>{"A1.xme", "B2.XME", "D4.xme"}));
  // A new year starts a new archive; last year's stays as it was.
  const std::string before = ReadFileOrEmpty(zip_path);
  ASSERT_TRUE(Pack("archive_2026.zip"));
  EXPECT_EQ(EntryNames(folder_ + "/archive_2026.zip"),
            (std::vector<std::string>{"B2.XME", "D4.xme"}));
  EXPECT_EQ(ReadFileOrEmpty(zip_path), before);
}

TEST_F(YearlyArchiveTest, LastPoNeverEntersTheArchiveWhateverItsCase) {
  WriteFileOrDie(folder_ + "/lastpo.XML", "the same file in another case");
  WriteFileOrDie(folder_ + "/LASTPO.XML.xme", "looks alike but is a design");
  ASSERT_TRUE(Pack("archive_2025.zip", "*"));
  EXPECT_EQ(EntryNames(folder_ + "/archive_2025.zip"),
            (std::vector<std::string>{"A1.xme", "B2.XME", "LASTPO.XML.xme", "notes.txt"}));
}

TEST_F(YearlyArchiveTest, AnEmptyFolderGivesAValidEmptyArchive) {
  const std::string empty = module_.path("Empty");
  ASSERT_TRUE(Env::Default()->CreateDirectories(empty, nullptr));
  Err err;
  EXPECT_TRUE(ck_.CompressArchive(empty, empty + "/archive_2025.zip", "*.xme", "", false, false,
                                  false, false, false, &err))
      << err.Description;
  EXPECT_TRUE(EntryNames(empty + "/archive_2025.zip").empty());
  const std::string seven = SevenZip();
  ASSERT_FALSE(seven.empty()) << "7-Zip is not installed";
  std::string out;
  EXPECT_EQ(RunCommand(seven + " t '" + empty + "/archive_2025.zip'", &out), 0) << out;
}

TEST_F(YearlyArchiveTest, AFailedRunLeavesThePreviousArchiveWhole) {
  ASSERT_TRUE(Pack("archive_2025.zip"));
  const std::string zip_path = folder_ + "/archive_2025.zip";
  const std::string before = ReadFileOrEmpty(zip_path);
  WriteFileOrDie(folder_ + "/E5.xme", "more");
  {
    FullDiskEnv full;
    Err err;
    EXPECT_FALSE(Pack("archive_2025.zip", "*.xme", &err));
    EXPECT_TRUE(err);
  }
  EXPECT_EQ(ReadFileOrEmpty(zip_path), before);
  // A damaged archive is not replaced by one that would lose its entries.
  WriteFileOrDie(zip_path, before.substr(0, before.size() / 2));
  Err err;
  EXPECT_FALSE(Pack("archive_2025.zip", "*.xme", &err));
  EXPECT_NE(err.Description.find("archive_2025.zip"), std::string::npos);
  EXPECT_EQ(ReadFileOrEmpty(zip_path), before.substr(0, before.size() / 2));
}

}  // namespace
}  // namespace larkedi
