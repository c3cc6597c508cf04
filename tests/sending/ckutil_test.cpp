#include "sending/ckutil.h"
#include "support/log.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <ctime>

#include "platform/env.h"
#include "platform/zip/zip.h"
#include "support/module.h"
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

TEST(CKUtilTest, EncryptedFileReadsBackAndHidesItsText) {
  TempModule module;
  const std::string path = module.path("Send/4F1C.xme");
  WriteFileOrDie(path, kDesign);
  CKUtil ck;
  Err err;
  ck.EnCryptFile(path, &err);
  ASSERT_FALSE(err) << err.Description;
  const std::string stored = ReadFileOrEmpty(path);
  EXPECT_EQ(stored.substr(0, 2), "PK");
  EXPECT_EQ(stored.find("Design"), std::string::npos);
  EXPECT_EQ(EntryNames(path), std::vector<std::string>{"4F1C.xme"});
  EXPECT_EQ(ck.DeCryptFile(path, &err), kDesign);
  EXPECT_FALSE(err);
  EXPECT_EQ(ck.DeCryptFile("  " + path + " "), kDesign);  // paths are trimmed
  // Only the archive is left in the folder: no temporary files.
  std::vector<std::string> names;
  ASSERT_TRUE(Env::Default()->ListDirectory(module.path("Send"), &names, nullptr));
  EXPECT_EQ(names, std::vector<std::string>{"4F1C.xme"});
}

TEST(CKUtilTest, SevenZipReadsOurFilesAndWeReadItsAes128Archives) {
  const std::string seven = SevenZip();
  ASSERT_FALSE(seven.empty()) << "7-Zip is not installed (scripts/install-deps installs 7zip)";
  TempModule module;
  CKUtil ck;
  const std::string ours = module.path("ours.xme");
  WriteFileOrDie(ours, kDesign);
  ck.EnCryptFile(ours);
  std::string listing, extracted;
  ASSERT_EQ(RunCommand(seven + " l -slt -pkq7zv41 '" + ours + "'", &listing), 0) << listing;
  EXPECT_NE(listing.find("AES-128"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Deflate"), std::string::npos) << listing;
  EXPECT_NE(listing.find("Maximum"), std::string::npos) << listing;
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
    Err err;
    EXPECT_EQ(ck.DeCryptFile(made, &err), "") << method;
    EXPECT_TRUE(err) << method;
  }
}

TEST(CKUtilTest, UnreadableDesignFilesGiveEmptyTextAndALogLine) {
  TempModule module;
  module.EnableLogging();
  CKUtil ck;
  const std::string good = module.path("good.xme");
  WriteFileOrDie(good, kDesign);
  ck.EnCryptFile(good);
  const std::string archive = ReadFileOrEmpty(good);

  // Same layout under another password.
  std::string error, other;
  auto wrong = zip::Archive::Create(&error);
  wrong->SetPassword("not-it");
  ASSERT_TRUE(wrong->AddEntry("wrong.xme", kDesign, 9, true, &error));
  ASSERT_TRUE(wrong->Finish(&other, &error));

  const std::pair<std::string, std::string> cases[] = {
      {"plain.xme", kDesign},
      {"empty.xme", ""},
      {"truncated.xme", archive.substr(0, archive.size() - 30)},
      {"half.xme", archive.substr(0, archive.size() / 2)},
      {"wrong.xme", other},
  };
  for (const auto& [name, content] : cases) {
    const std::string path = module.path(name);
    WriteFileOrDie(path, content);
    Err err;
    EXPECT_EQ(ck.DeCryptFile(path, &err), "") << name;
    EXPECT_TRUE(err) << name;
    EXPECT_NE(err.Description.find(name), std::string::npos) << err.Description;
    EXPECT_EQ(ReadFileOrEmpty(path), content) << name << " was changed";
  }
  Err err;
  EXPECT_EQ(ck.DeCryptFile(module.path("missing.xme"), &err), "");
  EXPECT_TRUE(err);
  const std::string log = ReadFileOrEmpty(LogPath());
  EXPECT_NE(log.find("Error in DeCryptFile"), std::string::npos);
  EXPECT_NE(log.find("wrong.xme"), std::string::npos);
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
    EXPECT_NE(err.Description.find("No space"), std::string::npos);
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
  std::string raw;
  ASSERT_TRUE(zip::Base64Decode(b64, &raw));
  z_stream zs{};
  ASSERT_EQ(inflateInit2(&zs, -15), Z_OK);
  std::string out(kit.size() + 16, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(raw.data());
  zs.avail_in = static_cast<uInt>(raw.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  inflateEnd(&zs);
  EXPECT_EQ(out, kit);
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, b64, false), kit);
  EXPECT_EQ(ck.GetDecompressedFileData(false, true, b64, false), raw);
  EXPECT_EQ(ck.GetCompressedFileData(path, false, false), raw);

  // The zip container form holds the file as its one entry.
  const std::string zipped = ck.GetCompressedFileData(path, true, true);
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, zipped, true), kit);
  EXPECT_EQ(ck.GetBase64(path, true), zip::Base64Encode(kit));
  EXPECT_EQ(ck.GetBase64("abc", false), "YWJj");
  EXPECT_EQ(ck.GetBinary(path), kit);

  Err err;
  EXPECT_EQ(ck.GetCompressedFileData(module.path("none.txt"), true, false, &err), "");
  EXPECT_TRUE(err);
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, "!!not base64!!", false, &err), "");
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, zip::Base64Encode("junk"), false), "");
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, zip::Base64Encode("junk"), true), "");
  EXPECT_EQ(ck.GetBase64(module.path("none.txt"), true), "");
  EXPECT_EQ(ck.GetBinary(module.path("none.txt")), "");
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
  EXPECT_EQ(ck_.GetDecompressedFileData(false, false, ReadFileOrEmpty(zip_path), true).empty(),
            false);
  // A new year starts a new archive; last year's stays as it was.
  const std::string before = ReadFileOrEmpty(zip_path);
  ASSERT_TRUE(Pack("archive_2026.zip"));
  EXPECT_EQ(EntryNames(folder_ + "/archive_2026.zip"),
            (std::vector<std::string>{"B2.XME", "D4.xme"}));
  EXPECT_EQ(ReadFileOrEmpty(zip_path), before);
}

TEST_F(YearlyArchiveTest, LastPoNeverEntersTheArchive) {
  WriteFileOrDie(folder_ + "/LASTPO.XML.xme", "looks alike but is a design");
  ASSERT_TRUE(Pack("archive_2025.zip", "*"));
  const auto names = EntryNames(folder_ + "/archive_2025.zip");
  for (const auto& n : names) EXPECT_NE(n, "LastPo.xml");
  EXPECT_EQ(names, (std::vector<std::string>{"A1.xme", "B2.XME", "LASTPO.XML.xme", "notes.txt"}));
  // Whatever its case, and with the caller's own exclusion.
  ASSERT_TRUE(Env::Default()->RemoveFile(folder_ + "/archive_2025.zip", nullptr));
  ASSERT_TRUE(
      Env::Default()->RenameFile(folder_ + "/LastPo.xml", folder_ + "/lastpo.XML", nullptr));
  ASSERT_TRUE(ck_.CompressArchive(folder_, folder_ + "/x.zip", "*", "*.TXT", false, false, false,
                                  false, false));
  EXPECT_EQ(EntryNames(folder_ + "/x.zip"),
            (std::vector<std::string>{"A1.xme", "B2.XME", "LASTPO.XML.xme"}));
}

TEST_F(YearlyArchiveTest, FlagsAndAnEmptyFolder) {
  ASSERT_TRUE(ck_.CompressArchive(folder_, folder_ + "/all.zip", "*.xme", "", true, true, false,
                                  true, false));
  EXPECT_EQ(EntryNames(folder_ + "/all.zip"),
            (std::vector<std::string>{".hidden.xme", "A1.xme", "B2.XME", "sub/C3.xme"}));
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
  EXPECT_EQ(RunCommand(seven + " t '" + folder_ + "/all.zip'", &out), 0) << out;
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
