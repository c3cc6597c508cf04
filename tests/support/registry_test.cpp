#include "support/registry.h"

#include <gtest/gtest.h>

#include "platform/registry/registry_fixture.h"
#include "support/log.h"

namespace larkedi {
namespace {

using registry::Value;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;
using ClsRegistryTest = testing::RegistryTest;

const std::string kKey = "Software\\Orca Technologies\\EDI\\Modules";

TEST_F(ClsRegistryTest, ReadingKeysAndValues) {
  clsRegistry reg;
  std::string value = "stale";
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey, "Spooler", value), REG_OPEN_FAILED);
  EXPECT_EQ(value, "");
  EXPECT_EQ(reg.LastResult(), 4);

  ASSERT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey + "\\Fax", kRegTypeText, "Exe Path", "fax.exe"),
            REG_OK);
  ASSERT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey + "\\Fax", kRegTypeNumber, "Count", "5"),
            REG_OK);
  EXPECT_EQ(reg.LastResult(), 0);
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey + "\\FAX", "exe path", value), REG_OK);
  EXPECT_EQ(value, "fax.exe");
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey + "\\Fax", "Count", value), REG_OK);
  EXPECT_EQ(value, "5");
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey + "\\Fax", "Missing", value), REG_READ_FAILED);
  EXPECT_EQ(value, "");
  EXPECT_EQ(reg.ReadRegValue(HKEY_LOCAL_MACHINE, kKey + "\\Fax", "Count", value), REG_OPEN_FAILED);

  // Other value types are not read.
  Value blob;
  blob.name = "Blob";
  blob.type = REG_BINARY;
  blob.bytes = "ab";
  ASSERT_EQ(registry::Store::Default().SetValue(HKEY_CURRENT_USER, kKey, blob),
            registry::Status::Ok);
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey, "Blob", value), REG_READ_FAILED);

  // A number with its top bit set reads as a signed 32-bit number.
  ASSERT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, kRegTypeNumber, "All", "4294967295"), REG_OK);
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey, "All", value), REG_OK);
  EXPECT_EQ(value, "-1");
}

TEST_F(ClsRegistryTest, EnumeratingSubKeys) {
  clsRegistry reg;
  std::vector<std::string> names = {"untouched"};
  EXPECT_EQ(reg.getEnumSubKey(HKEY_CURRENT_USER, kKey, names), REG_OPEN_FAILED);
  ASSERT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, kKey), REG_OK);
  EXPECT_EQ(reg.getEnumSubKey(HKEY_CURRENT_USER, kKey, names), REG_NO_SUBKEYS);
  EXPECT_EQ(names, std::vector<std::string>{"untouched"});
  for (const char* sub : {"Viewer", "fax", "Email"}) {
    ASSERT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, kKey + "\\" + sub), REG_OK);
  }
  ASSERT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, kKey + "\\Email\\Deeper"), REG_OK);
  EXPECT_EQ(reg.getEnumSubKey(HKEY_CURRENT_USER, kKey, names), REG_OK);
  EXPECT_EQ(names, (std::vector<std::string>{"Email", "fax", "Viewer"}));
}

TEST_F(ClsRegistryTest, WritingAndDeleting) {
  clsRegistry reg;
  EXPECT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, ""), REG_BAD_KEY);
  EXPECT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, "Bad\\\\Name"), REG_CREATE_FAILED);
  EXPECT_EQ(reg.CreateNewKey(42, "Software"), REG_CREATE_FAILED);

  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, kRegTypeText, "Empty", ""), REG_BAD_VALUE);
  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, 3, "Other", "x"), REG_BAD_VALUE);
  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, kRegTypeNumber, "Big", "5000000000"),
            REG_BAD_VALUE);
  EXPECT_EQ(registry::Store::Default().KeyExists(HKEY_CURRENT_USER, kKey),
            registry::Status::NotFound)
      << "a refused value writes nothing, not even its key";
  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, "Bad\\\\Name", kRegTypeText, "a", "b"),
            REG_OPEN_FAILED);

  ASSERT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey + "\\Fax", kRegTypeText, "Spooler", "FaxSpool"),
            REG_OK);
  EXPECT_EQ(reg.DeleteRegKey(HKEY_CURRENT_USER, kKey), REG_DELETE_KEY_FAILED) << "it has sub-keys";
  EXPECT_EQ(reg.DeleteRegKey(HKEY_CURRENT_USER, kKey + "\\Nothing"), REG_OPEN_FAILED);
  EXPECT_EQ(reg.DeleteRegValue(HKEY_CURRENT_USER, kKey + "\\Nothing", "Spooler"), REG_OPEN_FAILED);
  EXPECT_EQ(reg.DeleteRegValue(HKEY_CURRENT_USER, kKey + "\\Fax", "Nothing"),
            REG_DELETE_VALUE_FAILED);
  EXPECT_EQ(reg.DeleteRegValue(HKEY_CURRENT_USER, kKey + "\\Fax", "SPOOLER"), REG_OK);
  EXPECT_EQ(reg.DeleteRegKey(HKEY_CURRENT_USER, kKey + "\\fax"), REG_OK);
  EXPECT_EQ(reg.DeleteRegKey(HKEY_CURRENT_USER, ""), REG_DELETE_KEY_FAILED) << "the hive itself";
  std::vector<std::string> names;
  EXPECT_EQ(reg.getEnumSubKey(HKEY_CURRENT_USER, kKey, names), REG_NO_SUBKEYS);
}

TEST_F(ClsRegistryTest, NumbersAreReadTheWayValReadsThem) {
  struct Case {
    const char* text;
    const char* stored;
  };
  const Case cases[] = {
      {"12abc", "12"}, {" 1 2 3", "123"}, {"2.5", "2"},     {"3.5", "4"},
      {"-2.5", "-2"},  {"&H10", "16"},    {"&hFFFF", "-1"}, {"&O17", "15"},
      {"1e3", "1000"}, {"1.5D1x", "15"},  {"abc", "0"},     {"-7", "-7"},
      {"+8", "8"},     {".5", "0"},       {"1e", "1"},      {"2147483648", "-2147483648"},
  };
  clsRegistry reg;
  for (const Case& c : cases) {
    ASSERT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, "N", kRegTypeNumber, "v", c.text), REG_OK)
        << c.text;
    std::string value;
    ASSERT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, "N", "v", value), REG_OK);
    EXPECT_EQ(value, c.stored) << c.text;
  }
  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, "N", kRegTypeNumber, "v", "-2147483649"),
            REG_BAD_VALUE);
}

TEST_F(ClsRegistryTest, FailedFileWritesAreCodesNotSilence) {
  clsRegistry reg;
  ASSERT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, kRegTypeText, "Keep", "1"), REG_OK);
  ASSERT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, kKey + "\\Sub"), REG_OK);
  const std::string before = ReadFileOrEmpty(HiveFile(HKEY_CURRENT_USER));
  {
    testing::FailingWritesEnv failing;
    testing::ScopedEnv scoped(&failing);
    EXPECT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, kKey + "\\New"), REG_CLOSE_FAILED);
    EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, kRegTypeText, "New", "1"), REG_WRITE_FAILED);
    EXPECT_EQ(reg.DeleteRegKey(HKEY_CURRENT_USER, kKey + "\\Sub"), REG_DELETE_KEY_FAILED);
    EXPECT_EQ(reg.DeleteRegValue(HKEY_CURRENT_USER, kKey, "Keep"), REG_DELETE_VALUE_FAILED);
  }
  EXPECT_EQ(ReadFileOrEmpty(HiveFile(HKEY_CURRENT_USER)), before);
}

TEST_F(ClsRegistryTest, DamagedHiveFailsAsAMissingKeyAndIsLogged) {
  module_->EnableLogging();
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" + kKey + "]\n\"a\"=what\n";
  WriteFileOrDie(HiveFile(HKEY_CURRENT_USER), damaged);
  clsRegistry reg;
  std::string value;
  std::vector<std::string> names;
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey, "a", value), REG_OPEN_FAILED);
  EXPECT_EQ(reg.getEnumSubKey(HKEY_CURRENT_USER, "Software", names), REG_OPEN_FAILED);
  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, kRegTypeText, "a", "b"), REG_OPEN_FAILED);
  EXPECT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, "Other"), REG_CREATE_FAILED);
  EXPECT_EQ(reg.DeleteRegKey(HKEY_CURRENT_USER, kKey), REG_OPEN_FAILED);
  EXPECT_EQ(reg.DeleteRegValue(HKEY_CURRENT_USER, kKey, "a"), REG_OPEN_FAILED);
  EXPECT_EQ(ReadFileOrEmpty(HiveFile(HKEY_CURRENT_USER)), damaged);
  std::string log = ReadFileOrEmpty(LogPath());
  EXPECT_NE(log.find("is damaged at line 4"), std::string::npos) << log;
}

TEST_F(ClsRegistryTest, ReadingWrappers) {
  std::string value = "stale";
  EXPECT_FALSE(ReadRegistryValue(HKEY_CURRENT_USER, "Software\\X", "Name", value));
  EXPECT_EQ(value, "");
  ASSERT_TRUE(registry::RegistrySetString("HKCU\\Software\\X", "Name", "Larkspur é"));
  EXPECT_TRUE(ReadRegistryValue(HKEY_CURRENT_USER, "Software\\X", "Name", value));
  EXPECT_EQ(value, "Larkspur é");

  std::vector<std::string> names = {"untouched"};
  EXPECT_FALSE(ReadRegistrySubKeys(HKEY_CURRENT_USER, "Software\\X", names));
  EXPECT_EQ(names, std::vector<std::string>{"untouched"});
  ASSERT_TRUE(registry::RegistrySetString("HKCU\\Software\\X\\B", "v", "1"));
  ASSERT_TRUE(registry::RegistrySetString("HKCU\\Software\\X\\A", "v", "1"));
  EXPECT_TRUE(ReadRegistrySubKeys(HKEY_CURRENT_USER, "Software\\X", names));
  EXPECT_EQ(names, (std::vector<std::string>{"A", "B"}));
}

TEST_F(ClsRegistryTest, HostProgramPath) {
  EXPECT_EQ(RemoveTrailingBackslash("C:\\Orca\\"), "C:\\Orca");
  EXPECT_EQ(RemoveTrailingBackslash("/opt/larkspur/"), "/opt/larkspur");
  EXPECT_EQ(RemoveTrailingBackslash("/opt/larkspur//"), "/opt/larkspur/") << "one character only";
  EXPECT_EQ(RemoveTrailingBackslash("/opt/larkspur"), "/opt/larkspur");
  EXPECT_EQ(RemoveTrailingBackslash(""), "");

  EXPECT_EQ(GetHostProgramPath(), "");
  ASSERT_TRUE(registry::RegistrySetString("HKEY_LOCAL_MACHINE\\Software\\Orca Larkspur",
                                          "ProgramPath", "/opt/larkspur/"));
  EXPECT_EQ(GetHostProgramPath(), "/opt/larkspur");
  ASSERT_TRUE(registry::RegistrySetDword("HKLM\\Software\\Orca Larkspur", "ProgramPath", 7));
  EXPECT_EQ(GetHostProgramPath(), "7");
}

}  // namespace
}  // namespace larkedi
