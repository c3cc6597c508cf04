#include "support/registry.h"

#include <gtest/gtest.h>

#include "platform/registry/registry_fixture.h"

namespace larkedi {
namespace {

using registry::Value;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;
using ClsRegistryTest = testing::RegistryTest;

const std::string kKey = "Software\\Orca Technologies\\EDI\\Modules";

TEST_F(ClsRegistryTest, ReadingKeysValuesAndSubKeys) {
  clsRegistry reg;
  std::string value = "stale";
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey, "Spooler", value), REG_OPEN_FAILED);
  EXPECT_EQ(value, "");
  EXPECT_EQ(reg.LastResult(), 4);
  std::vector<std::string> names = {"untouched"};
  EXPECT_EQ(reg.getEnumSubKey(HKEY_CURRENT_USER, kKey, names), REG_OPEN_FAILED);

  ASSERT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey + "\\Fax", kRegTypeText, "Exe Path", "fax.exe"),
            REG_OK);
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey + "\\FAX", "exe path", value), REG_OK);
  EXPECT_EQ(value, "fax.exe");
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey + "\\Fax", "Missing", value), REG_READ_FAILED);
  EXPECT_EQ(value, "");

  // Other value types are not read.
  ASSERT_EQ(registry::Store::Default().SetValue(HKEY_CURRENT_USER, kKey,
                                                Value{"Blob", REG_BINARY, "", 0, "ab"}),
            registry::Status::Ok);
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey, "Blob", value), REG_READ_FAILED);

  EXPECT_EQ(reg.getEnumSubKey(HKEY_CURRENT_USER, kKey + "\\Fax", names), REG_NO_SUBKEYS);
  EXPECT_EQ(names, std::vector<std::string>{"untouched"});
  for (const char* sub : {"Viewer", "Email", "Email\\Deeper"}) {
    ASSERT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, kKey + "\\" + sub), REG_OK);
  }
  EXPECT_EQ(reg.getEnumSubKey(HKEY_CURRENT_USER, kKey, names), REG_OK);
  EXPECT_EQ(names, (std::vector<std::string>{"Email", "Fax", "Viewer"}));

  // The host's program path loses one trailing slash.
  EXPECT_EQ(RemoveTrailingBackslash("C:\\Orca\\"), "C:\\Orca");
  EXPECT_EQ(GetHostProgramPath(), "");
  ASSERT_TRUE(registry::RegistrySetString("HKEY_LOCAL_MACHINE\\Software\\Orca Larkspur",
                                          "ProgramPath", "/opt/larkspur//"));
  EXPECT_EQ(GetHostProgramPath(), "/opt/larkspur/");
}

TEST_F(ClsRegistryTest, RefusedWritesAndDeletesChangeNothing) {
  clsRegistry reg;
  EXPECT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, ""), REG_BAD_KEY);
  EXPECT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, "Bad\\\\Name"), REG_CREATE_FAILED);
  EXPECT_EQ(reg.CreateNewKey(42, "Software"), REG_CREATE_FAILED);
  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, "Bad\\\\Name", kRegTypeText, "a", "b"),
            REG_OPEN_FAILED);
  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, kRegTypeText, "Empty", ""), REG_BAD_VALUE);
  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, 3, "Other", "x"), REG_BAD_VALUE);
  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, kRegTypeNumber, "Big", "-2147483649"),
            REG_BAD_VALUE);
  EXPECT_EQ(registry::Store::Default().KeyExists(HKEY_CURRENT_USER, kKey),
            registry::Status::NotFound)
      << "a refused value writes nothing, not even its key";

  ASSERT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey + "\\Fax", kRegTypeText, "Spooler", "FaxSpool"),
            REG_OK);
  EXPECT_EQ(reg.DeleteRegKey(HKEY_CURRENT_USER, kKey), REG_DELETE_KEY_FAILED) << "it has sub-keys";
  EXPECT_EQ(reg.DeleteRegKey(HKEY_CURRENT_USER, ""), REG_DELETE_KEY_FAILED) << "the hive itself";
  EXPECT_EQ(reg.DeleteRegKey(HKEY_CURRENT_USER, kKey + "\\Nothing"), REG_OPEN_FAILED);
  EXPECT_EQ(reg.DeleteRegValue(HKEY_CURRENT_USER, kKey + "\\Nothing", "Spooler"), REG_OPEN_FAILED);
  EXPECT_EQ(reg.DeleteRegValue(HKEY_CURRENT_USER, kKey + "\\Fax", "Nothing"),
            REG_DELETE_VALUE_FAILED);
  EXPECT_EQ(reg.DeleteRegValue(HKEY_CURRENT_USER, kKey + "\\Fax", "SPOOLER"), REG_OK);
  EXPECT_EQ(reg.DeleteRegKey(HKEY_CURRENT_USER, kKey + "\\fax"), REG_OK);
  EXPECT_EQ(registry::Store::Default().KeyExists(HKEY_CURRENT_USER, kKey), registry::Status::Ok);
}

// Numbers are stored the way Val reads the text, as signed 32-bit numbers.
TEST_F(ClsRegistryTest, NumbersAreReadTheWayValReadsThem) {
  const std::pair<const char*, const char*> cases[] = {
      {" 1 2 3abc", "123"}, {"2.5", "2"},     {"3.5", "4"}, {"&hFFFF", "-1"},
      {"&O17", "15"},       {"1.5D1x", "15"}, {"abc", "0"}};
  clsRegistry reg;
  for (const auto& [text, stored] : cases) {
    ASSERT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, "N", kRegTypeNumber, "v", text), REG_OK) << text;
    std::string value;
    ASSERT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, "N", "v", value), REG_OK);
    EXPECT_EQ(value, stored) << text;
  }
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

TEST_F(ClsRegistryTest, DamagedHiveFailsAsAMissingKeyAndIsNeverRewritten) {
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\" + kKey + "]\n\"a\"=what\n";
  WriteFileOrDie(HiveFile(HKEY_CURRENT_USER), damaged);
  clsRegistry reg;
  std::string value;
  EXPECT_EQ(reg.ReadRegValue(HKEY_CURRENT_USER, kKey, "a", value), REG_OPEN_FAILED);
  EXPECT_EQ(reg.SetNewValue(HKEY_CURRENT_USER, kKey, kRegTypeText, "a", "b"), REG_OPEN_FAILED);
  EXPECT_EQ(reg.CreateNewKey(HKEY_CURRENT_USER, "Other"), REG_CREATE_FAILED);
  EXPECT_EQ(reg.DeleteRegValue(HKEY_CURRENT_USER, kKey, "a"), REG_OPEN_FAILED);
  EXPECT_EQ(ReadFileOrEmpty(HiveFile(HKEY_CURRENT_USER)), damaged);
}

}  // namespace
}  // namespace larkedi
