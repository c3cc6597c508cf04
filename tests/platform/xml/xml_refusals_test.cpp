// What the XML layer refuses, and how it words it: documents nested too deep (in the
// user's language) and documents whose own entities would not survive being written back.
#include <gtest/gtest.h>

#include "platform/xml/xml.h"
#include "support/resx.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

std::string Nested(int depth) {
  std::string text;
  for (int i = 0; i < depth; ++i) text += "<a>";
  for (int i = 0; i < depth; ++i) text += "</a>";
  return text;
}

TEST(XmlRefusals, TooDeepADocumentIsRefusedInTheUsersLanguage) {
  testing::TempModule module;
  xml::Document doc;
  EXPECT_TRUE(doc.loadXML(Nested(xml::kMaxElementDepth)));
  ASSERT_FALSE(doc.loadXML(Nested(xml::kMaxElementDepth + 50)));
  const std::string english = doc.parseErrorReason();
  EXPECT_EQ(english.find("XML_PARSE_HUGE"), std::string::npos) << english;
  EXPECT_NE(english.find("more than 256 levels deep"), std::string::npos) << english;
  EXPECT_NE(english.find("(line 1, column"), std::string::npos) << english;

  // The shared resources speak French: so does the refusal.
  ASSERT_TRUE(Resources().LoadResXFile(testing::SourceDir() + "/html/fr/LkEDI.resx"));
  ASSERT_FALSE(doc.loadXML(Nested(1000)));
  const std::string french = doc.parseErrorReason();
  ASSERT_TRUE(Resources().LoadResXFile(testing::SourceDir() + "/html/LkEDI.resx"));
  EXPECT_NE(french.find("plus de 256 niveaux"), std::string::npos) << french;
  EXPECT_EQ(french.find("XML_PARSE_HUGE"), std::string::npos) << french;

  // Other parse errors keep their own reason.
  ASSERT_FALSE(doc.loadXML("<a><b></a>"));
  EXPECT_EQ(doc.parseErrorReason().find("levels deep"), std::string::npos);
  xml::SetMessageLookup(nullptr);
}

TEST(XmlRefusals, InternalEntitiesAreReplacedSoTheWrittenTextParsesAgain) {
  xml::Document doc;
  ASSERT_TRUE(
      doc.loadXML("<!DOCTYPE Design [<!ENTITY maker \"Acme &amp; Sons\">"
                  "<!ENTITY line \"&maker; B30\">]>"
                  "<Design><Item><Code>&line;</Code></Item></Design>"))
      << doc.parseErrorReason();
  EXPECT_EQ(doc.selectSingleNode("/Design/Item/Code").text(), "Acme & Sons B30");
  xml::Document again;
  ASSERT_TRUE(again.loadXML(doc.xml())) << again.parseErrorReason() << "\n" << doc.xml();
  EXPECT_EQ(again.selectSingleNode("/Design/Item/Code").text(), "Acme & Sons B30");

  // Entities that multiply out of all proportion are still refused.
  std::string laughs = "<!DOCTYPE d [<!ENTITY a0 \"aaaaaaaaaa\">";
  for (int i = 1; i < 10; ++i) {
    laughs += "<!ENTITY a" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) laughs += "&a" + std::to_string(i - 1) + ";";
    laughs += "\">";
  }
  laughs += "]><d>&a9;</d>";
  EXPECT_FALSE(doc.loadXML(laughs));
}

}  // namespace
}  // namespace larkedi
