// Registry files that would wipe a hive or bury keys thousands of levels deep.
#include <gtest/gtest.h>

#include "platform/registry/registry_fixture.h"

namespace larkedi::registry {
namespace {

using testing::ReadFileOrEmpty;
using testing::RunCommand;
using testing::WriteFileOrDie;
using RegistryLimitsTest = testing::RegistryTest;

std::string DeepKey(std::size_t depth) {
  std::string key = "Deep";
  for (std::size_t i = 1; i < depth; ++i) key += "\\K" + std::to_string(i);
  return key;
}

std::string RegFile(const std::string& body) {
  return "Windows Registry Editor Version 5.00\r\n\r\n" + body;
}

TEST_F(RegistryLimitsTest, ImportNeverDeletesAWholeHive) {
  Store s = store();
  ASSERT_EQ(s.SetValue(HKEY_CURRENT_USER, "Software\\Orca", Value::String("Keep", "me")),
            Status::Ok);
  const std::string before = ReadFileOrEmpty(HiveFile(HKEY_CURRENT_USER));
  for (const char* line : {"[-HKEY_CURRENT_USER]", "[-HKCU\\]", "[-hkey_current_user]"}) {
    std::string error;
    EXPECT_EQ(
        s.Import(RegFile("[HKEY_LOCAL_MACHINE\\Software\\X]\r\n\r\n" + std::string(line) + "\r\n"),
                 &error),
        Status::Refused)
        << line;
    EXPECT_NE(error.find("whole hive HKEY_CURRENT_USER"), std::string::npos) << error;
    EXPECT_NE(error.find("line 5"), std::string::npos) << error;
  }
  EXPECT_EQ(ReadFileOrEmpty(HiveFile(HKEY_CURRENT_USER)), before);
  EXPECT_EQ(s.KeyExists(HKEY_LOCAL_MACHINE, "Software\\X"), Status::NotFound)
      << "nothing of a refused file is applied";

  // Deleting a key below the hive still works.
  EXPECT_EQ(s.Import(RegFile("[-HKEY_CURRENT_USER\\Software\\Orca]\r\n")), Status::Ok);
  EXPECT_EQ(s.KeyExists(HKEY_CURRENT_USER, "Software\\Orca"), Status::NotFound);
  EXPECT_EQ(s.KeyExists(HKEY_CURRENT_USER, "Software"), Status::Ok);

  const std::string file = module_->path("wipe.reg");
  WriteFileOrDie(file, RegFile("[-HKEY_LOCAL_MACHINE]\r\n"));
  std::string out;
  EXPECT_EQ(RunCommand(testing::LarkediExe() + " reg import '" + file + "' </dev/null", &out), 1);
  EXPECT_NE(out.find("whole hive HKEY_LOCAL_MACHINE"), std::string::npos) << out;
}

TEST_F(RegistryLimitsTest, KeysDeeperThanTheLimitAreRefused) {
  Store s = store();
  std::string error;
  EXPECT_EQ(s.Import(RegFile("[HKEY_CURRENT_USER\\" + DeepKey(kMaxKeyDepth + 1) + "]\r\n"), &error),
            Status::BadPath);
  EXPECT_NE(error.find("513 levels deep; at most 512"), std::string::npos) << error;
  EXPECT_EQ(s.KeyExists(HKEY_CURRENT_USER, "Deep"), Status::NotFound);
  EXPECT_EQ(s.CreateKey(HKEY_CURRENT_USER, DeepKey(kMaxKeyDepth + 1), &error), Status::BadPath);
  EXPECT_EQ(s.SetValue(HKEY_CURRENT_USER, DeepKey(kMaxKeyDepth + 1), Value::Dword("n", 1)),
            Status::BadPath);

  // At the limit the key and all its parents are there, and query and export walk them.
  ASSERT_EQ(s.Import(RegFile("[HKEY_CURRENT_USER\\" + DeepKey(kMaxKeyDepth) +
                             "]\r\n\"Leaf\"=dword:00000007\r\n"),
                     &error),
            Status::Ok)
      << error;
  std::vector<Key> keys;
  ASSERT_EQ(s.ListTree(HKEY_CURRENT_USER, "Deep", &keys), Status::Ok);
  ASSERT_EQ(keys.size(), kMaxKeyDepth);
  EXPECT_EQ(keys.back().path, DeepKey(kMaxKeyDepth));
  Value v;
  EXPECT_EQ(s.GetValue(HKEY_CURRENT_USER, DeepKey(kMaxKeyDepth), "leaf", &v), Status::Ok);
  EXPECT_EQ(v.number, 7u);
  std::string exported;
  ASSERT_EQ(s.Export(HKEY_CURRENT_USER, "Deep\\K1", &exported), Status::Ok);

  std::string out;
  EXPECT_EQ(RunCommand(testing::LarkediExe() + " reg import /dev/zero </dev/null", &out), 1);
  EXPECT_NE(out.find("not a file"), std::string::npos) << out;
}

}  // namespace
}  // namespace larkedi::registry
