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
  const std::pair<const char*, const char*> vectors[] = {{"f", "Zg=="}, {"fo", "Zm8="}};
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

// (Archives, enciphered or not, are the compression utility's tests, against 7-Zip.)

}  // namespace
}  // namespace larkedi::zip
