// Designs handed to the stack in any declared encoding, and with namespace declarations on
// their root: what is stored reads back with the same text and names.
#include <gtest/gtest.h>

#include <filesystem>

#include "host/frm_edi.h"
#include "orders/stack_files.h"
#include "orders/xme_file.h"
#include "presentation/style_sheets.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/xml_helpers.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::WriteFileOrDie;

// "Crème brûlée" in UTF-8.
constexpr const char* kCreme =
    "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
    "e";

std::string Design(const std::string& name, const std::string& root_attributes = "",
                   const std::string& extra = "") {
  return "<Designs" + root_attributes +
         "><Design><JobInfo><Header><ComputerName>PC</ComputerName><Number>N1</Number>"
         "<GlobalID/></Header><FileName>a.kit</FileName></JobInfo><Catalog><Identification>"
         "<Name>ABC</Name></Identification><Item><Text>" +
         name + "</Text></Item>" + extra + "</Catalog></Design></Designs>";
}

std::string Latin1(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else {  // two-byte sequences only (U+0080..U+00FF)
      out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
    }
  }
  return out;
}

// UTF-16 of a text whose characters all lie below U+0100, with the byte order mark.
std::string Utf16(const std::string& utf8, bool little_endian) {
  std::string out = little_endian ? "\xFF\xFE" : "\xFE\xFF";
  for (char c : Latin1(utf8)) {
    out += little_endian ? std::string{c, '\0'} : std::string{'\0', c};
  }
  return out;
}

class StackInputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::StubStandardStyleSheets(module_.path("html"));
    module_.Restart();
    WriteFileOrDie(SettingsPath(), "<SETTINGS><SPOOLPATH>" + module_.path("Send") +
                                       "</SPOOLPATH><ARCHIVEPATH>" + module_.path("Archive") +
                                       "</ARCHIVEPATH><PARTNER><ID>1</ID><NAME>A</NAME>"
                                       "</PARTNER><CATALOG><ID>1</ID><CODE>ABC</CODE>"
                                       "<PARTNERID>1</PARTNERID></CATALOG></SETTINGS>");
    edi_.OpenHeadless();
  }

  // Takes `input` in as the window does (with or without the start-up validation first);
  // false when it was refused.
  bool TakeIn(std::string input, bool startup) {
    int status = 0;
    if (startup && !edi_.Orders.TakeInStartupInput(input, status)) return false;
    edi_.Orders.LoadOrders(false, input);
    return !ListXmeFiles(module_.path("Send")).empty();
  }

  // The single stacked design's plain text, as the next load reads it.
  xml::Document Stored(std::string* plain = nullptr) {
    const auto files = ListXmeFiles(module_.path("Send"));
    EXPECT_EQ(files.size(), 1u);
    std::string text;
    xml::Document doc;
    if (files.size() == 1) {
      EXPECT_FALSE(DecipherFile(module_.path("Send/" + files[0]), &text));
      EXPECT_TRUE(doc.loadXML(DesignFileText(text))) << text;
      if (plain) *plain = DesignFileText(text);
    }
    return doc;
  }

  void Clear() {
    fs::remove_all(module_.path("Send"));
    edi_.Orders.LoadOrders(false);
  }

  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  frmEDI edi_;
};

TEST_F(StackInputTest, EveryDeclaredEncodingIsReadAsTheCommandsReadIt) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"";
  // What `xme decrypt` prints for a stacked design: the module's own encoding.
  std::string stacked = Design(kCreme);
  ASSERT_TRUE(TakeIn(stacked, false));
  std::string decrypted;
  ASSERT_FALSE(
      DecipherFile(module_.path("Send/" + ListXmeFiles(module_.path("Send"))[0]), &decrypted));
  ASSERT_EQ(decrypted.find(kCreme), std::string::npos) << "not stored in a one-byte encoding";
  Clear();

  // A bare Design, as `xme decrypt` prints it, is wrapped in a root as the command line does.
  const std::size_t after_decl = decrypted.find("?>") + 2;
  const std::pair<const char*, std::string> inputs[] = {
      {"ISO-8859-1", decl + "ISO-8859-1\"?>\r\n" + Latin1(Design(kCreme))},
      {"windows-1252", decl + "windows-1252\"?>" + Latin1(Design(kCreme))},
      {"UTF-16 LE mark", Utf16(decl + "UTF-16\"?>" + Design(kCreme), true)},
      {"UTF-16 BE mark", Utf16(Design(kCreme), false)},
      {"UTF-8 mark", "\xEF\xBB\xBF" + decl + "UTF-8\"?>" + Design(kCreme)},
      {"xme decrypt",
       decrypted.substr(0, after_decl) + "<Designs>" + decrypted.substr(after_decl) + "</Designs>"},
  };
  for (const auto& [what, bytes] : inputs) {
    for (bool startup : {true, false}) {
      SCOPED_TRACE(std::string(what) + (startup ? " through start-up" : " loaded directly"));
      ASSERT_TRUE(TakeIn(bytes, startup));
      EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//Design/Catalog/Item/Text"), kCreme);
      EXPECT_EQ(GetNodeText(Stored(), "//Catalog/Item/Text"), kCreme);
      Clear();
    }
  }

  // Bytes that are not what the declaration says are refused, with the reason; nothing is
  // stored.
  const std::pair<std::string, const char*> refused[] = {
      {decl + "x-martian\"?>" + Design("x"), "x-martian"},
      {decl + "UTF-8\"?>" + Latin1(Design(kCreme)), "not valid UTF-8"},
  };
  for (const auto& [bytes, reason] : refused) {
    for (bool startup : {true, false}) {
      SCOPED_TRACE(reason);
      dialogs_.shown.clear();
      EXPECT_FALSE(TakeIn(bytes, startup));
      EXPECT_EQ(dialogs_.CountShown(Res("MSG ErrorLoadingXMLFromCallingApp")), 1);
      EXPECT_EQ(dialogs_.CountShown(reason), 1);
    }
  }
}

// The namespaces the input's root declares stay declared on the stored design, whether its
// elements use them or not, through the load, a reload and an edit saved back.
TEST_F(StackInputTest, NamespaceDeclarationsOfTheRootStayWithTheDesign) {
  const std::string note = "<x:Note x:kind=\"k\">said</x:Note>";
  ASSERT_TRUE(TakeIn(Design("plain", " xmlns:x=\"urn:x\" xmlns:q='urn:\"q\"'", note), true));
  auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    std::string plain;
    xml::Document stored = Stored(&plain);
    for (xml::Document* doc : {&stored, &edi_.Orders.docOrders}) {
      ASSERT_TRUE(doc->setSelectionNamespaces("xmlns:x='urn:x'"));
      EXPECT_EQ(GetNodeText(*doc, "//Catalog/x:Note[@x:kind='k']"), "said");
    }
    EXPECT_NE(plain.find("xmlns:q='urn:\"q\"'"), std::string::npos) << plain;
  };
  check("stored");
  edi_.Orders.LoadOrders(false);
  check("reloaded");
  const long group = edi_.Orders.FindGroup("1");
  ASSERT_GT(group, 0);
  ASSERT_FALSE(edi_.Orders.SetGroupField(group, OrderStack::GroupField::PONumber, "P9"));
  ASSERT_FALSE(edi_.Orders.SaveOrders());
  edi_.Orders.LoadOrders(false);
  check("edited and saved");
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP/PONUMBER"), "P9");
}

}  // namespace
}  // namespace larkedi
