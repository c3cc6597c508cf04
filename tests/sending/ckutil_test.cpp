// CKUtil and the zip and file-encryption layers under it: archives 7-Zip reads and makes,
// attachment data, extraction, the yearly archive's copies, and hostile or unusual inputs of
// those layers and of the commands on them: zip bombs, endless files, files enciphered twice
// or on a full disk, symbolic links in an archived folder, the causes of an unreadable stacked
// design (named by the library and the command, the file left as it was).
#include "sending/ckutil.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "orders/stack_files.h"
#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/zip/zip.h"
#include "sending/send_fixture.h"
#include "testing/failing_env.h"

namespace larkedi {
namespace {

using testing::LarkediExe;
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

TEST(CKUtilTest, AttachmentsAreRawDeflateOrZipAndExtractionStaysInItsFolder) {
  TempModule module;
  CKUtil ck;
  const std::string path = module.path("kit.txt");
  std::string kit;
  for (int i = 0; i < 500; ++i) kit += "Cabinet B" + std::to_string(i % 13) + " 30\" — white\r\n";
  WriteFileOrDie(path, kit);
  // Base64 of raw deflate, as the partner's zlib reads it.
  std::string raw, out, error;
  ASSERT_TRUE(zip::Base64Decode(ck.GetCompressedFileData(path, true, false), &raw));
  ASSERT_TRUE(zip::RawInflate(raw, &out, &error)) << error;
  EXPECT_EQ(out, kit);
  // The zip form holds the file as its one entry, and extracts to it.
  const std::string zipped = ck.GetCompressedFileData(path, true, true);
  EXPECT_EQ(ck.GetDecompressedFileData(true, true, zipped, true), kit);
  EXPECT_TRUE(ck.ExtractFilesFromData(true, true, zipped, module.path("out")));
  EXPECT_EQ(ReadFileOrEmpty(module.path("out/kit.txt")), kit);
  Err err;
  EXPECT_EQ(ck.GetCompressedFileData(module.path("none.txt"), true, false, &err), "");
  EXPECT_TRUE(err);

  std::string bytes;
  auto evil = zip::Archive::Create(&error);
  ASSERT_TRUE(evil->AddEntry("../escaped.txt", "X", 9, false, &error));
  ASSERT_TRUE(evil->Finish(&bytes, &error));
  EXPECT_FALSE(ck.ExtractFilesFromData(true, false, bytes, module.path("out2"), &err));
  EXPECT_FALSE(Env::Default()->Exists(module.path("escaped.txt")));
}

// The yearly archive keeps every copy: a design archived again is an entry of its own.
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
}

// A zip archive of one entry that inflates to just more than the limit (zeros: the archive
// itself is small).
const std::string& BombZip() {
  static const std::string bytes = [] {
    std::string error, out;
    auto a = zip::Archive::Create(&error);
    EXPECT_TRUE(
        a &&
        a->AddEntry("bomb.xme", std::string(zip::kMaxEntryBytes + 4096, '\0'), 9, false, &error) &&
        a->Finish(&out, &error))
        << error;
    return out;
  }();
  return bytes;
}

// `zip` with its one entry's recorded size (local and central header) replaced by `size`.
std::string Claiming(std::string zip, uint32_t size) {
  for (std::size_t at : {std::size_t{22}, zip.rfind(std::string("PK\x01\x02", 4)) + 24}) {
    for (int i = 0; i < 4; ++i) zip[at + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
  }
  return zip;
}

TEST(ZipLimitsTest, ABombIsRefusedFromItsHeaderAndWhileInflating) {
  ASSERT_LT(BombZip().size(), 2u << 20);
  // An honest header: refused before anything is inflated.
  std::string error, data;
  zip::Failure why = zip::Failure::kNone;
  auto honest = zip::Archive::Open(BombZip(), &error);
  ASSERT_TRUE(honest) << error;
  EXPECT_FALSE(honest->ReadEntry(0, &data, &error, &why));
  EXPECT_EQ(why, zip::Failure::kTooLarge);

  // A header that lies about the size: inflating stops at the limit.
  for (uint32_t claimed : {1000u, 0u}) {
    auto liar = zip::Archive::Open(Claiming(BombZip(), claimed), &error);
    ASSERT_TRUE(liar) << error;
    why = zip::Failure::kNone;
    EXPECT_FALSE(liar->ReadEntry(0, &data, &error, &why)) << claimed;
    EXPECT_TRUE(why == zip::Failure::kTooLarge || why == zip::Failure::kDamaged) << error;
    EXPECT_LE(data.size(), zip::kMaxEntryBytes);
  }

  // Raw deflate data (attachments) stops at the limit it is given.
  std::string raw;
  ASSERT_TRUE(zip::RawDeflate(std::string(5u << 20, '\0'), 9, &raw, &error)) << error;
  why = zip::Failure::kNone;
  EXPECT_FALSE(zip::RawInflate(raw, &data, &error, 4u << 20, &why));
  EXPECT_EQ(why, zip::Failure::kTooLarge);
  EXPECT_TRUE(zip::RawInflate(raw, &data, &error, 6u << 20, &why)) << error;
  EXPECT_EQ(data.size(), 5u << 20);
}

TEST(ZipLimitsTest, EndlessInputsAreRefusedNotRead) {
  TempModule module;
  std::string data, error;
  ReadFailure why = ReadFailure::kNone;
  WriteFileOrDie(module.path("big.bin"), std::string(2048, 'x'));
  EXPECT_FALSE(ReadFileAtMost(module.path("big.bin"), 2047, &data, &error, &why));
  EXPECT_EQ(why, ReadFailure::kTooLarge);
  EXPECT_TRUE(ReadFileAtMost(module.path("big.bin"), 2048, &data, &error, &why)) << error;

  // A pipe has no size to check first: reading stops at the limit.
  const std::string fifo = module.path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // The writer lets go of the command's output before it waits for a reader.
  ASSERT_EQ(
      RunCommand("(exec </dev/null >/dev/null 2>&1; head -c 3000000 /dev/zero > '" + fifo + "') &"),
      0);
  EXPECT_FALSE(ReadFileAtMost(fifo, 1u << 20, &data, &error, &why));
  EXPECT_EQ(why, ReadFailure::kTooLarge);

  // A device is no file: the design reader, CKUtil's reader and the command refuse it.
  CKUtil ck;
  Err err;
  XmeFailure cause = XmeFailure::kNone;
  EXPECT_EQ(ck.DeCryptFile("/dev/zero", &err, &cause), "");
  EXPECT_EQ(cause, XmeFailure::kNotAFile);
  EXPECT_EQ(ck.GetCompressedFileData("/dev/zero", true, false, &err), "");
  EXPECT_TRUE(err);
  std::string out;
  EXPECT_EQ(RunCommand(LarkediExe() + " xme encrypt /dev/zero", &out), 1);
  EXPECT_NE(out.find("not a file"), std::string::npos) << out;
}

TEST(ZipLimitsTest, UnreadableXmeFilesNameTheirCause) {
  TempModule module;
  CKUtil ck;
  const std::string good = module.path("good.xme");
  WriteFileOrDie(good, "<Design/>");
  ck.EnCryptFile(good);
  const std::string archive = ReadFileOrEmpty(good);
  std::string error, other;
  auto wrong = zip::Archive::Create(&error);
  wrong->SetPassword("not-it");
  ASSERT_TRUE(wrong->AddEntry("wrong.xme", "<Design/>", 9, true, &error));
  ASSERT_TRUE(wrong->Finish(&other, &error));

  const struct {
    const char* name;
    std::string content;
    XmeFailure why;
    const char* text;
  } cases[] = {
      {"plain.xme", "<Design/>", XmeFailure::kNotArchive, "not an encrypted archive"},
      {"cut.xme", archive.substr(0, archive.size() - 30), XmeFailure::kTruncated, "truncated"},
      {"wrong.xme", other, XmeFailure::kWrongPassword, "wrong password"},
      {"none.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'), XmeFailure::kEmpty,
       "empty archive"},
      {"bomb.xme", BombZip(), XmeFailure::kTooLarge, "too large"},
  };
  for (const auto& c : cases) {
    const std::string path = module.path(c.name);
    WriteFileOrDie(path, c.content);
    Err err;
    XmeFailure why = XmeFailure::kNone;
    EXPECT_EQ(ck.DeCryptFile(path, &err, &why), "") << c.name;
    EXPECT_EQ(why, c.why) << c.name << ": " << err.Description;
    EXPECT_NE(err.Description.find(c.name), std::string::npos) << err.Description;
    EXPECT_EQ(ReadFileOrEmpty(path), c.content) << c.name << " was changed";
    std::string out;
    EXPECT_EQ(RunCommand(LarkediExe() + " xme decrypt '" + path + "'", &out), 1) << c.name;
    EXPECT_NE(out.find(c.text), std::string::npos) << out;
  }
  XmeFailure why = XmeFailure::kNone;
  EXPECT_EQ(ck.DeCryptFile(module.path("missing.xme"), nullptr, &why), "");
  EXPECT_EQ(why, XmeFailure::kMissing);
}

// Encrypting never harms the file: done by the command, it decrypts to what it was; a
// second time it is refused; a full disk leaves the plain file.
TEST(ZipLimitsTest, AnEncryptedFileIsNeverEncryptedTwiceOrLost) {
  TempModule module;
  CKUtil ck;
  const std::string path = module.path("Send/ONCE.xme");
  WriteFileOrDie(path, "<Design>\xC3\xA9</Design>");
  std::string out;
  ASSERT_EQ(RunCommand(LarkediExe() + " xme encrypt '" + path + "'", &out), 0) << out;
  const std::string encrypted = ReadFileOrEmpty(path);
  EXPECT_NE(encrypted, "<Design>\xC3\xA9</Design>");
  EXPECT_EQ(RunCommand(LarkediExe() + " xme decrypt '" + path + "'", &out), 0);
  EXPECT_EQ(out, "<Design>\xC3\xA9</Design>\n");
  Err err;
  ck.EnCryptFile(path, &err);
  EXPECT_TRUE(err);
  EXPECT_NE(err.Description.find("already"), std::string::npos) << err.Description;
  EXPECT_EQ(ReadFileOrEmpty(path), encrypted);

  const std::string plain_file = module.path("keep.xme");
  WriteFileOrDie(plain_file, "<Design/>");
  {
    testing::FailingWritesEnv disk;
    testing::ScopedEnv full(&disk);
    Err refused;
    ck.EnCryptFile(plain_file, &refused);
    EXPECT_TRUE(refused);
  }
  EXPECT_EQ(ReadFileOrEmpty(plain_file), "<Design/>");
}

TEST(ZipLimitsTest, ArchivingNeverFollowsSymbolicLinks) {
  TempModule module;
  const std::string folder = module.path("Archive");
  const std::string outside = module.path("Elsewhere");
  WriteFileOrDie(folder + "/A.xme", "a");
  WriteFileOrDie(folder + "/sub/B.xme", "b");
  WriteFileOrDie(outside + "/SECRET.xme", "secret");
  ASSERT_EQ(::symlink((outside + "/SECRET.xme").c_str(), (folder + "/LINK.xme").c_str()), 0);
  ASSERT_EQ(::symlink(outside.c_str(), (folder + "/linked").c_str()), 0);
  ASSERT_EQ(::symlink(folder.c_str(), (folder + "/sub/loop").c_str()), 0);

  const std::string zip_path = folder + "/archive.zip";
  Err err;
  EXPECT_TRUE(CKUtil().CompressArchive(folder, zip_path, "*.xme", "", /*Recurse=*/true,
                                       /*SaveExtraPath=*/true, false, false, false, &err))
      << err.Description;
  std::string error;
  auto archive = zip::Archive::Open(ReadFileOrEmpty(zip_path), &error);
  ASSERT_TRUE(archive) << error;
  ASSERT_EQ(archive->EntryCount(), 2);
  EXPECT_GE(archive->FindEntry("A.xme"), 0);
  EXPECT_GE(archive->FindEntry("sub/B.xme"), 0);
}

}  // namespace
}  // namespace larkedi
