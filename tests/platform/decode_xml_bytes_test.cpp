// Turning the bytes of an XML design file into the UTF-8 text the XML layer parses.
#include <gtest/gtest.h>

#include "platform/text_encoding.h"
#include "platform/xml/xml.h"

namespace larkedi {
namespace {

// "Café € “x”" in UTF-8.
const std::string kName = "Caf\xC3\xA9 \xE2\x82\xAC \xE2\x80\x9Cx\xE2\x80\x9D";

std::string Utf16(const std::string& ascii_or_utf8, bool big_endian) {
  std::string out;
  for (std::size_t pos = 0; pos < ascii_or_utf8.size();) {
    const char32_t cp = NextCodePoint(ascii_or_utf8, pos);
    const char hi = static_cast<char>(cp >> 8), lo = static_cast<char>(cp & 0xFF);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  }
  return out;
}

std::string Document(const std::string& encoding) {
  return "<?xml version=\"1.0\" encoding=\"" + encoding +
         "\" standalone=\"yes\"?>\n<Design><Name>" + kName + "</Name></Design>";
}

// Decodes, checks the declaration now says UTF-8, parses and gives the name.
std::string NameOf(const std::string& bytes) {
  std::string text, error;
  EXPECT_TRUE(DecodeXmlBytes(bytes, &text, &error)) << error;
  if (text.rfind("<?xml", 0) == 0) {
    // The declaration keeps its form; only the encoding's name changes.
    EXPECT_LT(text.find("UTF-8"), text.find("?>")) << text.substr(0, 80);
  }
  EXPECT_EQ(text.find("\xEF\xBB\xBF"), std::string::npos) << "the byte order mark is dropped";
  xml::Document doc;
  EXPECT_TRUE(doc.loadXML(text)) << doc.parseErrorReason();
  return doc.selectSingleNode("/Design/Name").text();
}

TEST(DecodeXmlBytes, EveryEncodingTheFileNamesGivesTheSameText) {
  EXPECT_EQ(NameOf("<Design><Name>" + kName + "</Name></Design>"), kName);
  // UTF-16 little-endian with its mark and without one (big-endian is the command's test).
  EXPECT_EQ(NameOf("\xFF\xFE" + Utf16(Document("UTF-16"), false)), kName);
  EXPECT_EQ(NameOf(Utf16(Document("UTF-16LE"), false)), kName);
  // ISO-8859-15 (€ is A4), which iconv knows; windows-1252 is the command's test.
  EXPECT_EQ(NameOf("<?xml version=\"1.0\" encoding = \"ISO-8859-15\" ?><Design><Name>\xA4"
                   "</Name></Design>"),
            "\xE2\x82\xAC");
  // The mark wins over a declaration that names another encoding.
  EXPECT_EQ(NameOf("\xEF\xBB\xBF" + Document("ISO-8859-1")), kName);
}

TEST(DecodeXmlBytes, InvalidBytesAreRefusedAndTheTextLeftAlone) {
  std::string text = "unchanged", error;
  // Overlong forms and surrogates are not UTF-8.
  EXPECT_FALSE(DecodeXmlBytes("<a>\xC0\xAF</a>", &text, &error));
  EXPECT_FALSE(DecodeXmlBytes("<a>\xED\xA0\x80</a>", &text, &error));
  // A windows-1252 byte the code page leaves unassigned.
  EXPECT_FALSE(DecodeXmlBytes("<?xml version=\"1.0\" encoding=\"windows-1252\"?><a>\x81</a>", &text,
                              &error));
  EXPECT_NE(error.find("not valid windows-1252"), std::string::npos) << error;
  // UTF-16 cut in the middle of a character.
  EXPECT_FALSE(
      DecodeXmlBytes("\xFF\xFE<\x00"
                     "a",
                     &text, &error));
  EXPECT_EQ(text, "unchanged");
}

}  // namespace
}  // namespace larkedi
