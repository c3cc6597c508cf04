#include "platform/zip/zip.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>

namespace larkedi::zip {
namespace {

std::string SampleData() {
  std::mt19937 rng(7);
  std::string s;
  for (int i = 0; i < 20000; ++i) s += "<Item Code=\"" + std::to_string(rng() % 97) + "\"/>\n";
  return s;
}

// Inflates with zlib directly, as a receiving partner would.
std::string ZlibInflateRaw(const std::string& data) {
  z_stream zs{};
  EXPECT_EQ(inflateInit2(&zs, -15), Z_OK);
  std::string out(SampleData().size() * 2 + 64, '\0');
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(out.data());
  zs.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&zs, Z_FINISH), Z_STREAM_END);
  out.resize(zs.total_out);
  inflateEnd(&zs);
  return out;
}

TEST(ZipTest, RawDeflateIsReadByZlibAndBack) {
  const std::string data = SampleData();
  std::string packed, unpacked, error;
  ASSERT_TRUE(RawDeflate(data, 9, &packed, &error)) << error;
  EXPECT_LT(packed.size(), data.size() / 4);
  EXPECT_EQ(ZlibInflateRaw(packed), data);
  ASSERT_TRUE(RawInflate(packed, &unpacked, &error)) << error;
  EXPECT_EQ(unpacked, data);
  std::string empty;
  ASSERT_TRUE(RawDeflate("", 9, &empty, &error));
  ASSERT_TRUE(RawInflate(empty, &unpacked, &error));
  EXPECT_EQ(unpacked, "");
  // Damaged or cut data is refused with a reason.
  EXPECT_FALSE(RawInflate(packed.substr(0, packed.size() / 2), &unpacked, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(RawInflate("\xFF\xFF\xFF\xFF garbage", &unpacked, &error));
}

TEST(ZipTest, Base64FollowsTheStandardAlphabet) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, b64] : vectors) {
    EXPECT_EQ(Base64Encode(plain), b64);
    std::string out;
    ASSERT_TRUE(Base64Decode(b64, &out));
    EXPECT_EQ(out, plain);
  }
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  std::string out, wrapped = Base64Encode(bytes);
  wrapped.insert(76, "\r\n");
  ASSERT_TRUE(Base64Decode(wrapped, &out));
  EXPECT_EQ(out, bytes);
  for (const char* bad : {"Zm9v!", "Zg==Zg==", "Z"}) EXPECT_FALSE(Base64Decode(bad, &out)) << bad;
}

TEST(ZipTest, ArchivesRoundTripWithAndWithoutEncryption) {
  ASSERT_TRUE(AesSupported());
  std::string error, bytes;
  auto a = Archive::Create(&error);
  ASSERT_TRUE(a) << error;
  a->SetPassword("pw");
  ASSERT_TRUE(a->AddEntry("plain.txt", "hello", 9, false, &error)) << error;
  ASSERT_TRUE(a->AddEntry("secret.txt", SampleData(), 9, true, &error)) << error;
  ASSERT_TRUE(a->AddEntry("plain.txt", "hello again", 9, false, &error)) << error;  // replaces
  ASSERT_TRUE(a->Finish(&bytes, &error)) << error;
  EXPECT_EQ(bytes.find("<Item"), std::string::npos);

  auto r = Archive::Open(bytes, &error);
  ASSERT_TRUE(r) << error;
  ASSERT_EQ(r->EntryCount(), 2);
  std::string data;
  ASSERT_TRUE(r->ReadEntry(r->FindEntry("plain.txt"), &data, &error)) << error;
  EXPECT_EQ(data, "hello again");
  EXPECT_FALSE(r->ReadEntry(r->FindEntry("secret.txt"), &data, &error));  // no password
  r->SetPassword("wrong");
  EXPECT_FALSE(r->ReadEntry(r->FindEntry("secret.txt"), &data, &error));
  r->SetPassword("pw");
  ASSERT_TRUE(r->ReadEntry(r->FindEntry("secret.txt"), &data, &error)) << error;
  EXPECT_EQ(data, SampleData());
  EXPECT_FALSE(r->ReadEntry(r->FindEntry("missing"), &data, &error));
  EXPECT_FALSE(r->ReadEntry(5, &data, &error));
}

TEST(ZipTest, EmptyArchivesAndDamagedBytes) {
  std::string error, bytes;
  auto a = Archive::Create(&error);
  ASSERT_TRUE(a);
  ASSERT_TRUE(a->Finish(&bytes, &error));
  auto r = Archive::Open(bytes, &error);
  ASSERT_TRUE(r) << error;
  EXPECT_EQ(r->EntryCount(), 0);

  auto full = Archive::Create(&error);
  ASSERT_TRUE(full->AddEntry("a.txt", SampleData(), 9, false, &error));
  ASSERT_TRUE(full->Finish(&bytes, &error));
  for (const std::string& bad :
       {std::string(), std::string("not a zip archive at all"), bytes.substr(0, bytes.size() - 10),
        bytes.substr(0, bytes.size() / 2)}) {
    error.clear();
    EXPECT_FALSE(Archive::Open(bad, &error)) << bad.size();
    EXPECT_FALSE(error.empty());
  }
}

}  // namespace
}  // namespace larkedi::zip
