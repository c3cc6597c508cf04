#include "platform/process/line_channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>

#include <thread>

namespace larkedi::process {
namespace {

Clock::time_point Soon() {
  return Clock::now() + std::chrono::seconds(5);
}

// Lines and raw payloads interleave on one stream: a payload may hold line feeds and be
// larger than any single read, and the line after it is read whole.
TEST(LineChannel, PayloadsBetweenLinesArriveExactly) {
  int sv[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
  LineChannel a(sv[0]), b(sv[1]);
  std::string payload;
  for (int i = 0; i < 300000; ++i) payload += static_cast<char>(i % 7 == 0 ? '\n' : 'a' + i % 26);

  std::thread writer([&] {
    EXPECT_EQ(a.WriteLine("first", Soon()), IoStatus::Ok);
    EXPECT_EQ(a.WriteBytes(payload, Soon()), IoStatus::Ok);
    EXPECT_EQ(a.WriteBytes("", Soon()), IoStatus::Ok);
    EXPECT_EQ(a.WriteLine(std::string(200000, 'z') + "\r", Soon()), IoStatus::Ok);
    a.Close();
  });
  std::string line, bytes;
  ASSERT_EQ(b.ReadLine(&line, Soon()), IoStatus::Ok);
  EXPECT_EQ(line, "first");
  ASSERT_EQ(b.ReadBytes(payload.size(), &bytes, Soon()), IoStatus::Ok);
  EXPECT_TRUE(bytes == payload);
  ASSERT_EQ(b.ReadBytes(0, &bytes, Soon()), IoStatus::Ok);
  EXPECT_TRUE(bytes.empty());
  ASSERT_EQ(b.ReadLine(&line, Soon()), IoStatus::Ok);
  EXPECT_EQ(line, std::string(200000, 'z'));
  EXPECT_EQ(b.ReadBytes(1, &bytes, Soon()), IoStatus::Closed);
  writer.join();
}

}  // namespace
}  // namespace larkedi::process
