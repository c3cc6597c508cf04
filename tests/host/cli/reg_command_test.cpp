// The `larkedi reg` command, run as a separate process.
#include <gtest/gtest.h>

#include "platform/registry/registry_fixture.h"

namespace larkedi {
namespace {

using registry::Status;
using registry::Value;
using testing::ReadFileOrEmpty;
using testing::RunCommand;
using testing::WriteFileOrDie;
using RegCommandTest = testing::RegistryTest;

// Single-quotes an argument for the shell (no argument here holds a single quote).
std::string Q(const std::string& arg) {
  return "'" + arg + "'";
}

int Reg(const std::string& args, std::string* out) {
  return RunCommand(Q(testing::LarkediExe()) + " reg " + args + " </dev/null", out);
}

TEST_F(RegCommandTest, AddQueryDeleteAndTheirExitCodes) {
  std::string out;
  const std::string key = Q("HKCU\\Software\\Orca Technologies\\EDI\\Viewer");
  ASSERT_EQ(Reg("add " + key + " /v Server /d " + Q("gate.orca.example \"x\" é") + " /f", &out), 0)
      << out;
  ASSERT_EQ(Reg("add " + key + " -V Count /T reg_dword /D 0x1F /f", &out), 0) << out;
  ASSERT_EQ(Reg("add " + key + " /ve /d " + Q("default"), &out), 0) << out;
  ASSERT_EQ(
      Reg("add " + Q("HKEY_CURRENT_USER\\Software\\Orca Technologies\\EDI\\Viewer\\Sub"), &out), 0)
      << out;

  ASSERT_EQ(Reg("query " + Q("hkcu\\software\\orca technologies\\edi\\viewer"), &out), 0) << out;
  EXPECT_EQ(out,
            "\nHKEY_CURRENT_USER\\Software\\Orca Technologies\\EDI\\Viewer\n"
            "    (Default)    REG_SZ    default\n"
            "    Server    REG_SZ    gate.orca.example \"x\" é\n"
            "    Count    REG_DWORD    0x1f\n"
            "\n"
            "HKEY_CURRENT_USER\\Software\\Orca Technologies\\EDI\\Viewer\\Sub\n");
  ASSERT_EQ(Reg("query " + key + " /v server", &out), 0) << out;
  EXPECT_NE(out.find("    Server    REG_SZ    gate.orca.example"), std::string::npos) << out;
  EXPECT_EQ(out.find("Count"), std::string::npos) << out;
  ASSERT_EQ(Reg("query HKCU\\\\Software /s", &out), 0) << out;
  EXPECT_NE(out.find("Viewer\\Sub\n"), std::string::npos) << out;

  // Missing keys and values: 1, with the reason.
  EXPECT_EQ(Reg("query " + key + " /v Nothing", &out), 1) << out;
  EXPECT_NE(out.find("unable to find"), std::string::npos) << out;
  EXPECT_EQ(Reg("query HKLM\\\\Nothing", &out), 1) << out;
  EXPECT_EQ(Reg("delete HKLM\\\\Nothing /f", &out), 1) << out;
  EXPECT_EQ(Reg("delete " + key + " /v Nothing /f", &out), 1) << out;
  // Without /f an existing value is not overwritten when nobody can say yes: with no terminal
  // the unanswered question is a usage error (2), answered No it is a cancelled change (3).
  EXPECT_EQ(Reg("add " + key + " /v Server /d other", &out), 2) << out;
  EXPECT_NE(out.find("--yes or --no"), std::string::npos) << out;
  EXPECT_EQ(
      RunCommand(Q(testing::LarkediExe()) + " --no reg add " + key + " /v Server /d other", &out),
      3)
      << out;
  Value v;
  ASSERT_EQ(
      store().GetValue(HKEY_CURRENT_USER, "Software\\Orca Technologies\\EDI\\Viewer", "Server", &v),
      Status::Ok);
  EXPECT_EQ(v.text, "gate.orca.example \"x\" é");

  EXPECT_EQ(Reg("delete " + key + " /v Server /f", &out), 0) << out;
  EXPECT_EQ(Reg("delete " + Q("HKCU\\Software\\Orca Technologies") + " /f", &out), 0) << out;
  EXPECT_EQ(store().KeyExists(HKEY_CURRENT_USER, "Software\\Orca Technologies"), Status::NotFound);
  EXPECT_EQ(store().KeyExists(HKEY_CURRENT_USER, "Software"), Status::Ok);
}

TEST_F(RegCommandTest, UsageErrorsAndHelp) {
  std::string out;
  const char* usage[] = {
      "query",
      "query HKU\\\\Software",
      "query HKCU\\\\A HKCU\\\\B",
      "query HKCU\\\\A /v",
      "add HKCU\\\\A /v n /t REG_BINARY /d 00",
      "add HKCU\\\\A /v n /t REG_DWORD /d 12x",
      "add HKCU\\\\A /v n /t REG_DWORD /d 0x100000000",
      "add HKCU\\\\A /v n /ve",
      "add HKCU\\\\A\\\\\\\\B",
      "delete HKCU /f",
      "delete HKCU\\\\A -q",
      "import",
      "export HKCU",
      "",
  };
  for (const char* args : usage) EXPECT_EQ(Reg(args, &out), 2) << args << "\n" << out;
  EXPECT_EQ(store().KeyExists(HKEY_CURRENT_USER, "A"), Status::NotFound) << "nothing was written";

  ASSERT_EQ(Reg("add HKCU\\\\A /?", &out), 0);
  EXPECT_NE(out.find("Usage: larkedi reg add"), std::string::npos) << out;
  EXPECT_EQ(store().KeyExists(HKEY_CURRENT_USER, "A"), Status::NotFound) << "help runs nothing";
}

// The file format, a damaged hive and writers side by side are the store's own tests; here:
// what each command reports and its exit status.
TEST_F(RegCommandTest, ExportImportAndDamagedFiles) {
  std::string out;
  ASSERT_EQ(store().SetValue(HKEY_CLASSES_ROOT, "Fax.spooler\\LocalServer32",
                             Value::String("", "/usr/bin/fax --stdio")),
            Status::Ok);
  ASSERT_EQ(store().SetValue(HKEY_CLASSES_ROOT, "Other", Value::Dword("n", 1)), Status::Ok);
  const std::string exported = module_->path("fax.reg");
  ASSERT_EQ(Reg("export HKCR\\\\Fax.spooler " + Q(exported), &out), 0) << out;
  EXPECT_EQ(Reg("export HKCR\\\\Fax.spooler " + Q(exported), &out), 2) << "exists, no /y";
  EXPECT_EQ(Reg("export HKCR\\\\Missing " + Q(module_->path("missing.reg")), &out), 1) << out;

  ASSERT_EQ(Reg("delete HKCR\\\\Fax.spooler /f", &out), 0) << out;
  ASSERT_EQ(Reg("import " + Q(exported), &out), 0) << out;
  Value v;
  ASSERT_EQ(store().GetValue(HKEY_CLASSES_ROOT, "fax.spooler\\localserver32", "", &v), Status::Ok);
  EXPECT_EQ(v.text, "/usr/bin/fax --stdio");
  EXPECT_EQ(Reg("import " + Q(module_->path("nothing.reg")), &out), 1) << out;

  const std::string bad = module_->path("bad.reg");
  WriteFileOrDie(bad,
                 "Windows Registry Editor Version 5.00\n\n[HKCR\\Other]\n\"n\"=-\n\"x\"=bogus\n");
  EXPECT_EQ(Reg("import " + Q(bad), &out), 1);
  EXPECT_NE(out.find("line 5"), std::string::npos) << out;

  WriteFileOrDie(HiveFile(HKEY_CLASSES_ROOT),
                 ReadFileOrEmpty(HiveFile(HKEY_CLASSES_ROOT)) + "garbage line\n");
  EXPECT_EQ(Reg("add HKCR\\\\Other /v m /d 1 /f", &out), 1);
  EXPECT_NE(out.find("damaged"), std::string::npos) << out;
  EXPECT_EQ(Reg("query HKCR\\\\Other", &out), 1);
}

}  // namespace
}  // namespace larkedi
