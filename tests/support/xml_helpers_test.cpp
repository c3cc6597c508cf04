#include "support/xml_helpers.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/module.h"
#include "support/resx.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

TEST(XmlHelpers, SelectionHelpersNeverFail) {
  xml::Document doc;
  ASSERT_TRUE(
      doc.loadXML("<a n=\" 12abc\"><b>x</b><b>y</b><i>  12abc</i><f>2.5</f><g>3.5</g>"
                  "<h>40000</h><m>-2.5</m><e/></a>"));
  xml::Node a = doc.documentElement();
  EXPECT_FALSE(NodeExists("//b[", a));
  EXPECT_FALSE(NodeExists("//b", xml::Node()));

  xml::Node found = a;
  EXPECT_FALSE(GetSingleNode("zz", a, found));
  EXPECT_TRUE(found.isNull());
  xml::NodeList list;
  EXPECT_TRUE(GetNodeList("b", a, list));
  EXPECT_EQ(list.length(), 2);
  EXPECT_FALSE(GetNodeList("zz", a, list));
  EXPECT_EQ(list.length(), 0);

  EXPECT_EQ(GetNodeText(a, "  "), "");
  EXPECT_EQ(GetElementText(a.selectSingleNode("b"), ""), "x");
  EXPECT_EQ(GetNodeText(a, "b[2]"), "y");
  EXPECT_EQ(GetNodeText(xml::Node(), "b"), "");
  EXPECT_EQ(GetNodeText(a, "b["), "");

  // Integers as Val and CInt read them; too large for an Integer reads as 0.
  const std::pair<const char*, int> integers[] = {{"i", 12}, {"f", 2},       {"g", 4}, {"m", -2},
                                                  {"h", 0},  {"missing", 0}, {"", 0}};
  for (const auto& [path, value] : integers) EXPECT_EQ(GetNodeInteger(a, path), value) << path;
}

TEST(XmlHelpers, AttributeBooleanReadsFlagsAndLeavesValueWhenMissing) {
  xml::Document doc;
  ASSERT_TRUE(doc.loadXML(
      "<S><P freeedi=\"1\"/><P freeedi=\"\"/><P freeedi=\"yes\"/><P freeedi=\" -2 \"/><P/></S>"));
  bool value = false;
  for (const auto& [path, expected] :
       {std::pair{"//P[1]", true}, {"//P[3]", false}, {"//P[4]", true}}) {
    value = !expected;
    EXPECT_TRUE(GetAttributeBoolean(doc, path, "freeedi", value)) << path;
    EXPECT_EQ(value, expected) << path;
  }
  value = true;
  EXPECT_FALSE(GetAttributeBoolean(doc, "//P[5]", "freeedi", value));
  EXPECT_FALSE(GetAttributeBoolean(doc, "//Q", "freeedi", value));
  EXPECT_TRUE(value);
}

TEST(XmlHelpers, RemoveXmlHeaderCutsThroughTheFirstInstructionOnly) {
  std::string text = "<?style x?><?xml v?><a/>";
  RemoveXmlHeader(text);
  EXPECT_EQ(text, "<?xml v?><a/>");
  text = "<a/>";
  RemoveXmlHeader(text);
  EXPECT_EQ(text, "<a/>");
}

// The declaration names the encoding of the resources, lines end in CR LF and the text
// reads back unchanged whatever the encoding.
TEST(SaveXmlText, WritesTheDeclaredEncodingAndNonAsciiTextReadsBackUnchanged) {
  testing::TempModule module(false);
  const std::string body =
      "<Design name=\"Hélène Côté &amp; fils\"><Note>Crème brûlée — 5 € ✓ 日本</Note>"
      "<C><![CDATA[Zoë <b> 🙂]]></C><!-- café --></Design>";
  for (std::string encoding : {"iso-8859-1", "UTF-8", "no-such-charset"}) {
    SCOPED_TRACE(encoding);
    testing::WriteFileOrDie(
        module.path("html/LkEDI.resx"),
        "<root><data name=\"MSG XmlEncoding\"><value>" + encoding + "</value></data></root>");
    module.Restart();
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + body;
    const std::string path = module.path("n.xml");
    ASSERT_TRUE(SaveXmlText(text, path));
    EXPECT_EQ(text, "<?xml version=\"1.0\" encoding=\"" + encoding + "\"?>" + body);
    const std::string bytes = testing::ReadFileOrEmpty(path);
    EXPECT_EQ(bytes.substr(bytes.size() - 11), "</Design>\r\n");
    // Latin-1 files hold Latin-1 bytes, not UTF-8.
    if (encoding == "iso-8859-1") {
      EXPECT_NE(bytes.find("Cr\xE8me"), std::string::npos);
    }
    if (encoding == "no-such-charset") continue;  // a declaration nobody can read; bytes are ASCII
    xml::Document doc;
    ASSERT_TRUE(doc.load(path)) << doc.parseErrorReason();
    EXPECT_EQ(doc.documentElement().getAttribute("name"), "Hélène Côté & fils");
    EXPECT_EQ(doc.selectSingleNode("//Note").text(), "Crème brûlée — 5 € ✓ 日本");
    EXPECT_EQ(doc.selectSingleNode("//C").text(), "Zoë <b> 🙂");
  }
}

TEST(SaveXmlText, MissingEncodingResourceAndFailuresAreHandled) {
  testing::TempModule module(false);
  EXPECT_EQ(XmlDeclaration(), "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>");
  std::string text = "<a/>";
  EXPECT_FALSE(SaveXmlText(text, module.path("missing/dir/out.xml")));
  // The old file stays whole when a write fails.
  std::string path = module.path("keep.xml");
  testing::WriteFileOrDie(path, "old");
  ::chmod(module.dir().c_str(), 0555);
  text = "<new/>";
  bool ok = SaveXmlText(text, path);
  ::chmod(module.dir().c_str(), 0755);
  if (::geteuid() != 0) {
    EXPECT_FALSE(ok);
    EXPECT_EQ(testing::ReadFileOrEmpty(path), "old");
  }
}

}  // namespace
}  // namespace larkedi
