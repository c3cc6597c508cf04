#include "platform/registry/registry_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include "platform/registry/registry_fixture.h"

namespace larkedi::registry {
namespace {

using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;
using StoreTest = testing::RegistryTest;

std::vector<std::string> ValueNames(const Store& store, long hive, const std::string& key) {
  std::vector<Value> values;
  EXPECT_EQ(store.ListValues(hive, key, &values), Status::Ok);
  std::vector<std::string> names;
  for (const Value& v : values) names.push_back(v.name);
  return names;
}

TEST_F(StoreTest, NamesCompareWithoutCaseAndKeepTheirCase) {
  Store s = store();
  ASSERT_EQ(s.SetValue(HKEY_CURRENT_USER, "Software\\Orca Technologies",
                       Value::String("ApplicationPath", "/opt/orca/")),
            Status::Ok);
  // Writing through another spelling replaces the value and keeps the first spelling.
  ASSERT_EQ(s.SetValue(HKEY_CURRENT_USER, "software\\ORCA TECHNOLOGIES",
                       Value::Dword("APPLICATIONPATH", 3)),
            Status::Ok);
  EXPECT_EQ(ValueNames(s, HKEY_CURRENT_USER, "Software\\Orca Technologies"),
            std::vector<std::string>{"ApplicationPath"});
  std::vector<std::string> subkeys;
  ASSERT_EQ(s.ListSubKeys(HKEY_CURRENT_USER, "software", &subkeys), Status::Ok);
  EXPECT_EQ(subkeys, std::vector<std::string>{"Orca Technologies"});

  // Letters beyond ASCII fold too.
  ASSERT_EQ(s.CreateKey(HKEY_CURRENT_USER, "Software\\CAFÉ ÆØÅ Ωμέγα ДОМ"), Status::Ok);
  EXPECT_EQ(s.KeyExists(HKEY_CURRENT_USER, "software\\café æøå ωμέγα дом"), Status::Ok);
  EXPECT_EQ(s.KeyExists(HKEY_LOCAL_MACHINE, "Software\\Orca Technologies"), Status::NotFound)
      << "hives are separate";
  // Latin Extended-A pairs alternate odd/even upper case; a few letters have no pair.
  EXPECT_EQ(FoldCase("ŁÓDŹ Ÿ İĸ"), "łódź ÿ iĸ");
}

// A key whose name starts with another key's name is its sibling, not its child; sub-keys
// are listed in alphabetical order whatever their case.
TEST_F(StoreTest, KeysSharingAPrefixAreSiblings) {
  Store s = store();
  for (const char* name : {"Gamma", "Alpha Two", "beta"}) {
    ASSERT_EQ(s.CreateKey(HKEY_CURRENT_USER, std::string("Root\\") + name), Status::Ok);
  }
  ASSERT_EQ(s.CreateKey(HKEY_CURRENT_USER, "Root\\Alpha\\Child"), Status::Ok);
  std::vector<Key> tree;
  ASSERT_EQ(s.ListTree(HKEY_CURRENT_USER, "Root\\Alpha", &tree), Status::Ok);
  ASSERT_EQ(tree.size(), 2u) << "Alpha Two is a sibling, not a child";
  EXPECT_EQ(tree[1].path, "Root\\Alpha\\Child");
  std::vector<std::string> subkeys;
  ASSERT_EQ(s.ListSubKeys(HKEY_CURRENT_USER, "Root", &subkeys), Status::Ok);
  EXPECT_EQ(subkeys, (std::vector<std::string>{"Alpha", "Alpha Two", "beta", "Gamma"}));
}

TEST_F(StoreTest, DeletingKeysAndValues) {
  Store s = store();
  ASSERT_EQ(s.SetValue(HKEY_LOCAL_MACHINE, "A\\B\\C", Value::Dword("n", 1)), Status::Ok);
  ASSERT_EQ(s.SetValue(HKEY_LOCAL_MACHINE, "A B", Value::Dword("n", 1)), Status::Ok);
  EXPECT_EQ(s.KeyExists(HKEY_LOCAL_MACHINE, "A\\B"), Status::Ok) << "parents are created";
  EXPECT_EQ(s.DeleteKey(HKEY_LOCAL_MACHINE, "", true), Status::Refused);
  EXPECT_EQ(s.DeleteKey(HKEY_LOCAL_MACHINE, "a", true), Status::Ok);
  EXPECT_EQ(s.KeyExists(HKEY_LOCAL_MACHINE, "A\\B"), Status::NotFound);
  EXPECT_EQ(s.KeyExists(HKEY_LOCAL_MACHINE, "A B"), Status::Ok) << "a sibling survives";
}

TEST_F(StoreTest, DamagedHiveIsReportedAndNeverRewritten) {
  Store s = store();
  ASSERT_EQ(s.SetValue(HKEY_CURRENT_USER, "Software\\X", Value::String("a", "1")), Status::Ok);
  ASSERT_EQ(s.SetValue(HKEY_LOCAL_MACHINE, "Software\\Y", Value::String("b", "2")), Status::Ok);
  const std::string damaged =
      "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\X]\n"
      "\"a\"=\"1\"\n\"b\"=dword:zz\n\"c\"=\"3\"\n";
  WriteFileOrDie(HiveFile(HKEY_CURRENT_USER), damaged);

  std::string error;
  Value v;
  EXPECT_EQ(s.GetValue(HKEY_CURRENT_USER, "Software\\X", "a", &v, &error), Status::Corrupt);
  EXPECT_NE(error.find("line 5"), std::string::npos) << error;
  EXPECT_NE(error.find(HiveFile(HKEY_CURRENT_USER)), std::string::npos) << error;
  EXPECT_EQ(s.SetValue(HKEY_CURRENT_USER, "Software\\X", Value::String("d", "4")), Status::Corrupt);
  EXPECT_EQ(s.Import("Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Z]\n"
                     "[HKEY_CURRENT_USER\\Z]\n"),
            Status::Corrupt);
  EXPECT_EQ(ReadFileOrEmpty(HiveFile(HKEY_CURRENT_USER)), damaged);
  EXPECT_EQ(s.KeyExists(HKEY_LOCAL_MACHINE, "Z"), Status::NotFound)
      << "an import touching a damaged hive changes nothing";

  // The other hives go on working; a hive file holding another hive's key is damaged too.
  EXPECT_EQ(s.GetValue(HKEY_LOCAL_MACHINE, "Software\\Y", "b", &v), Status::Ok);
  WriteFileOrDie(HiveFile(HKEY_CLASSES_ROOT),
                 "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software]\n");
  EXPECT_EQ(s.KeyExists(HKEY_CLASSES_ROOT, ""), Status::Corrupt);
}

TEST_F(StoreTest, FailedWriteLeavesTheFileAsItWas) {
  Store s = store();
  ASSERT_EQ(s.SetValue(HKEY_CURRENT_USER, "K", Value::String("a", "1")), Status::Ok);
  const std::string before = ReadFileOrEmpty(HiveFile(HKEY_CURRENT_USER));
  {
    testing::FailingWritesEnv failing;
    testing::ScopedEnv scoped(&failing);
    std::string error;
    EXPECT_EQ(s.SetValue(HKEY_CURRENT_USER, "K", Value::String("b", "2"), &error),
              Status::WriteFailed);
    EXPECT_NE(error.find("No space"), std::string::npos) << error;
    EXPECT_EQ(s.CreateKey(HKEY_CURRENT_USER, "K"), Status::Ok) << "nothing to write";
  }
  EXPECT_EQ(ReadFileOrEmpty(HiveFile(HKEY_CURRENT_USER)), before);
}

TEST_F(StoreTest, ImportAppliesWholeFilesOnly) {
  Store s = store();
  ASSERT_EQ(s.SetValue(HKEY_CURRENT_USER, "Old\\Sub", Value::String("x", "1")), Status::Ok);
  ASSERT_EQ(s.SetValue(HKEY_CURRENT_USER, "Keep", Value::String("gone", "1")), Status::Ok);
  std::string file =
      "Windows Registry Editor Version 5.00\n\n"
      "[-HKEY_CURRENT_USER\\Old]\n\n"
      "[HKEY_CURRENT_USER\\Keep]\n\"gone\"=-\n\"new\"=dword:00000002\n\n"
      "[HKEY_CLASSES_ROOT\\ConnectMethodOrca.spooler\\LocalServer32]\n@=\"/usr/bin/"
      "orca-connector\"\n";
  ASSERT_EQ(s.Import(file), Status::Ok);
  EXPECT_EQ(s.KeyExists(HKEY_CURRENT_USER, "Old"), Status::NotFound);
  EXPECT_EQ(ValueNames(s, HKEY_CURRENT_USER, "Keep"), std::vector<std::string>{"new"});
  Value v;
  ASSERT_EQ(s.GetValue(HKEY_CLASSES_ROOT, "ConnectMethodOrca.spooler\\LocalServer32", "", &v),
            Status::Ok);
  EXPECT_EQ(v.text, "/usr/bin/orca-connector");

  // A file with a bad line changes nothing, even in the sections before it.
  std::string error;
  EXPECT_EQ(s.Import("Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Keep]\n"
                     "\"new\"=-\n\"bad\"=dword:\n",
                     &error),
            Status::Corrupt);
  EXPECT_NE(error.find("line 5"), std::string::npos) << error;
  EXPECT_EQ(ValueNames(s, HKEY_CURRENT_USER, "Keep"), std::vector<std::string>{"new"});
}

TEST_F(StoreTest, ConcurrentWritersLoseNothing) {
  constexpr int kWriters = 2;
  constexpr int kValues = 200;
  std::vector<pid_t> children;
  for (int w = 0; w < kWriters; ++w) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      Store s(dir_);
      int failures = 0;
      for (int i = 0; i < kValues; ++i) {
        std::string name = "w" + std::to_string(w) + "_" + std::to_string(i);
        if (s.SetValue(HKEY_CURRENT_USER, "Software\\Shared",
                       Value::Dword(name, static_cast<uint32_t>(i))) != Status::Ok) {
          ++failures;
        }
      }
      ::_exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  const std::vector<std::string> all = ValueNames(store(), HKEY_CURRENT_USER, "Software\\Shared");
  const std::set<std::string> names(all.begin(), all.end());
  EXPECT_EQ(names.size(), static_cast<std::size_t>(kWriters * kValues));
  EXPECT_TRUE(names.count("w0_199") && names.count("w1_0"));
}

TEST_F(StoreTest, FolderAndSimpleAccess) {
  EXPECT_EQ(Store::DefaultFolder(), dir_);
  {
    testing::ScopedEnvVar registry("LARKEDI_REGISTRY_DIR", nullptr);
    testing::ScopedEnvVar home("HOME", "/home/dealer");
    testing::ScopedEnvVar config("XDG_CONFIG_HOME", "/cfg");
    EXPECT_EQ(Store::DefaultFolder(), "/cfg/larkedi/registry");
    testing::ScopedEnvVar relative("XDG_CONFIG_HOME", "relative/is/ignored");
    EXPECT_EQ(Store::DefaultFolder(), "/home/dealer/.config/larkedi/registry");
  }

  const std::string display = "HKCU\\Software\\VB and VBA Program Settings\\LarkEDI\\display";
  ASSERT_TRUE(RegistrySetDword(display, "Width", 4000000000u));
  EXPECT_EQ(RegistryGetDword(display, "width"), 4000000000u);
  ASSERT_TRUE(RegistrySetString(display, "Name", "x"));
  EXPECT_FALSE(RegistryGetDword(display, "Name").has_value()) << "a text is not a number";
  EXPECT_FALSE(RegistrySetString("HKEY_USERS\\X", "a", "b"));
}

}  // namespace
}  // namespace larkedi::registry
