// Hostile and unusual inputs of the zip and file-encryption layers and of the commands on
// them: zip bombs, endless files, files enciphered twice or on a full disk, symbolic links in
// an archived folder, the causes of an unreadable stacked design (named by the library and
// the command, the file left as it was), and dates the util command refuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/zip/zip.h"
#include "sending/ckutil.h"
#include "testing/failing_env.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::LarkediExe;
using testing::ReadFileOrEmpty;
using testing::RunCommand;
using testing::TempModule;
using testing::WriteFileOrDie;

// Appends the values as little-endian fields; `widths` gives each field's size in bytes.
void PutLE(std::string& out, std::string_view widths, std::initializer_list<uint32_t> values) {
  auto width = widths.begin();
  for (uint32_t value : values) {
    for (int i = 0; i < *width - '0'; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    ++width;
  }
}

// Raw deflate data of `megabytes` MB of zero bytes, about 1 kB per MB: one flushed segment
// (which refers to nothing before it) repeated, then an empty final block.
std::string DeflatedZeros(uint32_t megabytes, uint32_t* crc) {
  const std::string mb(1u << 20, '\0');
  z_stream zs{};
  EXPECT_EQ(deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY), Z_OK);
  std::string segment(64 * 1024, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(mb.data()));
  zs.avail_in = static_cast<uInt>(mb.size());
  zs.next_out = reinterpret_cast<Bytef*>(segment.data());
  zs.avail_out = static_cast<uInt>(segment.size());
  EXPECT_EQ(deflate(&zs, Z_FULL_FLUSH), Z_OK);
  EXPECT_EQ(zs.avail_in, 0u);
  segment.resize(zs.total_out);
  deflateEnd(&zs);
  const uLong mb_crc = crc32(0, reinterpret_cast<const Bytef*>(mb.data()), mb.size());
  uLong total = crc32(0, nullptr, 0);
  std::string out;
  for (uint32_t i = 0; i < megabytes; ++i) {
    out += segment;
    total = crc32_combine(total, mb_crc, static_cast<z_off_t>(mb.size()));
  }
  out += std::string("\x03\x00", 2);
  *crc = static_cast<uint32_t>(total);
  return out;
}

// A one-entry zip archive around deflate data, recording `size` as the inflated size.
std::string ZipAround(const std::string& name, const std::string& deflated, uint32_t crc,
                      uint32_t size) {
  std::string local, central, end;
  const auto packed = static_cast<uint32_t>(deflated.size());
  const auto name_size = static_cast<uint32_t>(name.size());
  // Version, flags, deflate, time, date, CRC, sizes, name length, no extra field.
  PutLE(local, "42222244422", {0x04034b50, 20, 0, 8, 0, 0x21, crc, packed, size, name_size, 0});
  local += name;
  // As above after "made by"; no extra, comment, disk or attributes; local header at 0.
  PutLE(central, "42222224442222244",
        {0x02014b50, 20, 20, 0, 8, 0, 0x21, crc, packed, size, name_size, 0, 0, 0, 0, 0, 0});
  central += name;
  const auto central_at = static_cast<uint32_t>(local.size() + deflated.size());
  PutLE(end, "42222442",
        {0x06054b50, 0, 0, 1, 1, static_cast<uint32_t>(central.size()), central_at, 0});
  return local + deflated + central + end;
}

TEST(ZipLimitsTest, ABombIsRefusedFromItsHeaderAndWhileInflating) {
  uint32_t crc = 0;
  const std::string deflated = DeflatedZeros(1024, &crc);  // 1 GB of zeros
  ASSERT_LT(deflated.size(), 2u << 20);

  // An honest header: refused before anything is inflated.
  std::string error;
  zip::Failure why = zip::Failure::kNone;
  auto honest = zip::Archive::Open(ZipAround("bomb.xme", deflated, crc, 1u << 30), &error);
  ASSERT_TRUE(honest) << error;
  std::string data;
  EXPECT_FALSE(honest->ReadEntry(0, &data, &error, &why));
  EXPECT_EQ(why, zip::Failure::kTooLarge);
  EXPECT_NE(error.find("128 MB"), std::string::npos) << error;
  EXPECT_TRUE(data.empty());

  // A header that lies about the size: inflating stops at the limit.
  for (uint32_t claimed : {1000u, 0u}) {
    auto liar = zip::Archive::Open(ZipAround("bomb.xme", deflated, crc, claimed), &error);
    ASSERT_TRUE(liar) << error;
    why = zip::Failure::kNone;
    EXPECT_FALSE(liar->ReadEntry(0, &data, &error, &why)) << claimed;
    EXPECT_TRUE(why == zip::Failure::kTooLarge || why == zip::Failure::kDamaged) << error;
    EXPECT_LE(data.size(), zip::kMaxEntryBytes);
  }

  // Raw deflate data (attachments) stops at the limit it is given.
  why = zip::Failure::kNone;
  EXPECT_FALSE(zip::RawInflate(deflated, &data, &error, 4u << 20, &why));
  EXPECT_EQ(why, zip::Failure::kTooLarge);
  EXPECT_TRUE(zip::RawInflate(DeflatedZeros(3, &crc), &data, &error, 4u << 20, &why)) << error;
  EXPECT_EQ(data.size(), 3u << 20);
}

TEST(ZipLimitsTest, EndlessInputsAreRefusedNotRead) {
  TempModule module;
  std::string data, error;
  ReadFailure why = ReadFailure::kNone;
  EXPECT_FALSE(ReadFileAtMost("/dev/zero", 1u << 20, &data, &error, &why));
  EXPECT_EQ(why, ReadFailure::kNotAFile);
  EXPECT_NE(error.find("/dev/zero"), std::string::npos) << error;

  WriteFileOrDie(module.path("big.bin"), std::string(2048, 'x'));
  EXPECT_FALSE(ReadFileAtMost(module.path("big.bin"), 2047, &data, &error, &why));
  EXPECT_EQ(why, ReadFailure::kTooLarge);
  EXPECT_TRUE(ReadFileAtMost(module.path("big.bin"), 2048, &data, &error, &why)) << error;
  EXPECT_EQ(data.size(), 2048u);

  // A pipe has no size to check first: reading stops at the limit.
  const std::string fifo = module.path("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // The writer lets go of the command's output before it waits for a reader.
  ASSERT_EQ(
      RunCommand("(exec </dev/null >/dev/null 2>&1; head -c 3000000 /dev/zero > '" + fifo + "') &"),
      0);
  EXPECT_FALSE(ReadFileAtMost(fifo, 1u << 20, &data, &error, &why));
  EXPECT_EQ(why, ReadFailure::kTooLarge);
  EXPECT_NE(error.find("larger than 1 MB"), std::string::npos) << error;

  CKUtil ck;
  Err err;
  XmeFailure cause = XmeFailure::kNone;
  EXPECT_EQ(ck.DeCryptFile("/dev/zero", &err, &cause), "");
  EXPECT_EQ(cause, XmeFailure::kNotAFile);
  EXPECT_EQ(ck.GetCompressedFileData("/dev/zero", true, false, &err), "");
  EXPECT_TRUE(err);
  EXPECT_EQ(ck.GetBase64("/dev/zero", true), "");
  for (const char* command : {" xme decrypt /dev/zero", " xme encrypt /dev/zero"}) {
    std::string out;
    EXPECT_EQ(RunCommand(LarkediExe() + command, &out), 1) << command;
    EXPECT_NE(out.find("not a file"), std::string::npos) << out;
  }
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
  uint32_t crc = 0;
  const std::string bomb = ZipAround("bomb.xme", DeflatedZeros(1024, &crc), crc, 1u << 30);

  const struct {
    const char* name;
    std::string content;
    XmeFailure why;
    const char* text;
  } cases[] = {
      {"plain.xme", "<Design/>", XmeFailure::kNotArchive, "not an encrypted archive"},
      {"empty.xme", "", XmeFailure::kNotArchive, "not an encrypted archive"},
      {"cut.xme", archive.substr(0, archive.size() - 30), XmeFailure::kTruncated, "truncated"},
      {"half.xme", archive.substr(0, archive.size() / 2), XmeFailure::kTruncated, "truncated"},
      {"wrong.xme", other, XmeFailure::kWrongPassword, "wrong password"},
      {"none.zip", std::string("PK\x05\x06", 4) + std::string(18, '\0'), XmeFailure::kEmpty,
       "empty archive"},
      {"bomb.xme", bomb, XmeFailure::kTooLarge, "too large"},
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
  EXPECT_EQ(RunCommand(LarkediExe() + " xme decrypt '" + module.path("missing.xme") + "'"), 1);

  if (::geteuid() != 0) {  // the superuser reads any file
    ASSERT_EQ(::chmod(good.c_str(), 0), 0);
    EXPECT_EQ(ck.DeCryptFile(good, nullptr, &why), "");
    EXPECT_EQ(why, XmeFailure::kPermission);
  }
}

// Encrypting never harms the file: done by the command, it decrypts to what it was; a
// second time it is refused; a full disk leaves the plain file, a missing one stays missing.
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
  EXPECT_EQ(RunCommand(LarkediExe() + " xme encrypt '" + path + "'"), 1);
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
  Err absent;
  ck.EnCryptFile(module.path("absent.xme"), &absent);
  EXPECT_TRUE(absent);
  EXPECT_FALSE(Env::Default()->Exists(module.path("absent.xme")));

  // A plain zip archive (not encrypted) is still just a file to encrypt.
  std::string error, plain_zip;
  auto plain = zip::Archive::Create(&error);
  ASSERT_TRUE(plain->AddEntry("a.txt", "a", 9, false, &error));
  ASSERT_TRUE(plain->Finish(&plain_zip, &error));
  WriteFileOrDie(module.path("plain.zip"), plain_zip);
  Err plain_err;
  ck.EnCryptFile(module.path("plain.zip"), &plain_err);
  EXPECT_FALSE(plain_err) << plain_err.Description;
  EXPECT_EQ(ck.DeCryptFile(module.path("plain.zip")), plain_zip);
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

  std::string out;
  EXPECT_EQ(RunCommand(LarkediExe() + " xme pack '" + folder + "'", &out), 0) << out;
  const std::string yearly = out.substr(0, out.find('\n'));
  auto packed = zip::Archive::Open(ReadFileOrEmpty(yearly), &error);
  ASSERT_TRUE(packed) << yearly << ": " << error;
  EXPECT_EQ(packed->FindEntry("LINK.xme"), -1);
  EXPECT_GE(packed->FindEntry("A.xme"), 0);
  EXPECT_EQ(RunCommand(LarkediExe() + " xme pack '" + module.path("NoSuchFolder") + "'"), 1);
}

std::string Larkedi(const std::string& args, int* code) {
  std::string out;
  *code = RunCommand(LarkediExe() + " " + args, &out);
  return out;
}

// The util command as support staff run it.
TEST(UtilCommandTest, EncodesAndConvertsDatesInTheLocalZoneRefusingOthers) {
  TempModule module;
  int code = -1;
  const std::string encoded = Larkedi("util encode 'Crème brûlée' pw", &code);
  ASSERT_EQ(code, 0);
  std::string trimmed = encoded.substr(0, encoded.size() - 1);
  EXPECT_EQ(Larkedi("util decode " + trimmed + " pw", &code), "Crème brûlée\n");
  EXPECT_EQ(RunCommand("TZ=America/Montreal " + LarkediExe() +
                       " util xsdatetime '2006-03-05 14:07:09' | grep -qx "
                       "'2006-03-05T14:07:09-05:00'"),
            0);
  EXPECT_EQ(Larkedi("util from-xsdatetime 2006-03-05T14:07:09Z", &code), "2006-03-05 14:07:09\n");
  Larkedi("util xsdatetime 'next tuesday'", &code);
  EXPECT_EQ(code, 2);
  Larkedi("util from-xsdatetime nonsense", &code);
  EXPECT_EQ(code, 2);
}

}  // namespace
}  // namespace larkedi
