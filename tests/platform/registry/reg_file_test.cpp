#include "platform/registry/reg_file.h"

#include <gtest/gtest.h>

namespace larkedi::registry {
namespace {

std::vector<RegSection> ParseOk(std::string_view text) {
  std::vector<RegSection> sections;
  std::string error;
  EXPECT_TRUE(ParseRegText(text, &sections, &error)) << error;
  return sections;
}

TEST(RegFile, ValuesSurviveFormatAndParse) {
  Key key;
  key.path = "Software\\Orca Technologies\\Café";
  key.values = {
      Value::String("", "default"),
      Value::String("Path", "C:\\Orca\\ \"quoted\""),
      Value::String("Lines", std::string("one\r\ntwo\0three", 14)),
      Value::String("Ünïcode \"name\"", "日本語 é"),
      Value::String("Empty", ""),
      Value::Dword("Count", 10),
      Value{"Blob", REG_BINARY, "", 0, std::string("\x00\x01\xff", 3)},
      Value{"Expand", REG_EXPAND_SZ, "", 0, std::string("\x00\x01\xff", 3)},
  };
  std::string text = FormatRegText(HKEY_CURRENT_USER, {key});
  // Written as regedit writes it, so that regedit reads it; non-ASCII text as UTF-8.
  EXPECT_EQ(text.rfind("Windows Registry Editor Version 5.00\n\n", 0), 0u) << text;
  for (const char* line :
       {"[HKEY_CURRENT_USER\\Software\\Orca Technologies\\Café]\n@=\"default\"\n",
        "\"Path\"=\"C:\\\\Orca\\\\ \\\"quoted\\\"\"\n", "\"Count\"=dword:0000000a\n",
        "\"Blob\"=hex:00,01,ff\n", "\"Expand\"=hex(2):00,01,ff\n", "日本語 é"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  }

  auto sections = ParseOk(text);
  ASSERT_EQ(sections.size(), 1u);
  EXPECT_EQ(sections[0].key, key.path);
  ASSERT_EQ(sections[0].entries.size(), key.values.size());
  for (std::size_t i = 0; i < key.values.size(); ++i) {
    const Value& want = key.values[i];
    const Value& got = sections[0].entries[i].value;
    EXPECT_FALSE(sections[0].entries[i].remove);
    EXPECT_EQ(got.name, want.name) << i;
    EXPECT_EQ(got.type, want.type) << i;
    EXPECT_EQ(got.text, want.text) << i;
    EXPECT_EQ(got.number, want.number) << i;
    EXPECT_EQ(got.bytes, want.bytes) << i;
  }
}

TEST(RegFile, ReadsFilesWrittenByOtherTools) {
  // A regedit export as Windows writes it (CR LF, comments, continued hex lines), plus the
  // import-only deletion forms.
  std::string text =
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Orca Larkspur]\r\n"
      "\"ProgramPath\"=\"C:\\\\Orca\\\\\"  \r\n"
      "\"Hand\"=\"C:\\Orca\"\r\n"
      "\"Seven\"=hex(4):07,00,00,00\r\n"
      "\"Wide\"=hex(1):41,00,e9,00,00,00\r\n"
      "\"Long\"=hex:01,02,\\\r\n"
      "  03,04\r\n"
      "\"Gone\"=-\r\n"
      "[-HKCR\\Old]\r\n";
  auto sections = ParseOk(text);
  ASSERT_EQ(sections.size(), 2u);
  const auto& e = sections[0].entries;
  ASSERT_EQ(e.size(), 6u);
  EXPECT_EQ(e[0].value.text, "C:\\Orca\\");
  EXPECT_EQ(e[1].value.text, "C:\\Orca") << "a lone backslash typed by hand stays";
  EXPECT_EQ(e[2].value.number, 7u);
  EXPECT_EQ(e[3].value.text, "Aé");
  EXPECT_EQ(e[4].value.bytes, std::string("\x01\x02\x03\x04", 4));
  EXPECT_TRUE(e[5].remove);
  EXPECT_TRUE(sections[1].remove);
  EXPECT_EQ(sections[1].hive, HKEY_CLASSES_ROOT);

  // REGEDIT4 and a UTF-16LE file with its byte order mark.
  EXPECT_EQ(ParseOk("REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n@=\"x\"\n").size(), 1u);
  std::string utf16 = "\xFF\xFE";
  for (char c :
       std::string("Windows Registry Editor Version 5.00\r\n\r\n[HKCU\\W]\r\n\"a\"=\"b\"\r\n")) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  auto wide = ParseOk(utf16);
  ASSERT_EQ(wide.size(), 1u);
  EXPECT_EQ(wide[0].entries.at(0).value.text, "b");
}

TEST(RegFile, DamagedLinesAreReportedWithTheirNumber) {
  const std::string head = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n";
  // The damaged lines and the line the error names.
  const std::pair<std::string, std::string> cases[] = {
      {"\"a\"=\"unterminated\n", "line 4"},  {"\"a\"=dword:xyz\n", "line 4"},
      {"\"a\" \"b\"\n", "line 4"},           {"\"a\"=\"b\" trailing\n", "line 4"},
      {"\"a\"=hex(4):01,02\n", "line 4"},    {"\"a\"=hex:01,\\\n", "line 4"},
      {"\n\nsomething else\n", "line 6"},    {"[HKEY_NOWHERE\\X]\n", "line 4"},
      {"[HKEY_CURRENT_USER\\A\n", "line 4"}, {"[-HKEY_CURRENT_USER\\A]\n\"a\"=\"b\"\n", "line 5"},
      {"\"a\"=unknown:1\n", "line 4"},
  };
  std::vector<RegSection> sections;
  std::string error;
  for (const auto& [body, line] : cases) {
    EXPECT_FALSE(ParseRegText(head + body, &sections, &error)) << body;
    EXPECT_EQ(error.rfind(line + ":", 0), 0u) << body << " -> " << error;
  }
  EXPECT_FALSE(ParseRegText("[HKEY_CURRENT_USER\\A]\n", &sections, &error)) << "no header";
  EXPECT_FALSE(
      ParseRegText("Windows Registry Editor Version 5.00\n\"a\"=\"b\"\n", &sections, &error))
      << "value before any key";
}

TEST(RegFile, KeyPathRules) {
  EXPECT_TRUE(ValidKeyPath("Caf\xC3\xA9\\" + std::string(255, 'k')));
  for (const std::string& bad :
       {std::string("\\Software"), std::string("Soft\nware"), std::string(256, 'k')}) {
    EXPECT_FALSE(ValidKeyPath(bad)) << bad;
  }
}

}  // namespace
}  // namespace larkedi::registry
