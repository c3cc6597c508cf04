#include "platform/xml/xml.h"

#include <gtest/gtest.h>

#include "testing/temp_module.h"

namespace larkedi::xml {
namespace {

std::string GetText(Document& doc, const std::string& path) {
  return doc.selectSingleNode(path).text();
}

TEST(XmlDocument, LoadReportsReasonAndLeavesEmptyDocument) {
  Document doc;
  ASSERT_TRUE(doc.loadXML("<a><b>1</b></a>"));
  EXPECT_FALSE(doc.loadXML("<a><b></a>"));
  EXPECT_NE(doc.parseErrorReason().find("mismatch"), std::string::npos) << doc.parseErrorReason();
  EXPECT_TRUE(doc.documentElement().isNull());
  EXPECT_FALSE(doc.load("/nonexistent/file.xml"));
  EXPECT_NE(doc.parseErrorReason().find("/nonexistent/file.xml"), std::string::npos);
}

TEST(XmlDocument, IndentationDroppedButLeafTextKeptExactly) {
  Document doc;
  // Blanks around comments and CDATA between elements go; a blank run that ends in an
  // entity is real text; xml:space="preserve" keeps every blank beneath it, "default"
  // restores dropping; leaf and mixed texts keep their blanks.
  ASSERT_TRUE(
      doc.loadXML("<r>\n <!--c-->\n <x/>\t<![CDATA[ ]]> <y/>  &amp;<z/>\n <b> 2</b> <c>   </c>"
                  "<d>x <e/> y</d>\n"
                  "<p xml:space=\"preserve\"> <q/> <s xml:space=\"default\"> <t/> </s></p>\n</r>"));
  EXPECT_EQ(doc.documentElement().xml(),
            "<r><!--c--><x/><![CDATA[ ]]><y/>  &amp;<z/><b> 2</b><c>   </c><d>x <e/> y</d>"
            "<p xml:space=\"preserve\"> <q/> <s xml:space=\"default\"><t/></s></p></r>");
  // Long runs of texts, blank and not, keep every character (the parser hands them over
  // in pieces).
  const std::string spaces(5000, ' ');
  const std::string words(5000, 'w');
  ASSERT_TRUE(doc.loadXML("<r>" + spaces + "<a>" + spaces + words + "</a>" + spaces + "<b>" +
                          spaces + "</b>" + spaces + "</r>"));
  EXPECT_EQ(doc.documentElement().childNodes().length(), 2);
  EXPECT_EQ(GetText(doc, "/r/a"), spaces + words);
  EXPECT_EQ(GetText(doc, "/r/b"), spaces);
}

// Handles into a tree stay valid through every change (under the sanitizers nothing is
// freed twice or used after it was freed).
TEST(XmlDocument, TreeChangesKeepHandlesValid) {
  Document doc;
  ASSERT_TRUE(doc.loadXML("<r><a/><b>two<c>three</c></b></r>"));
  Node r = doc.documentElement();
  Node b = r.selectSingleNode("b");
  Node t1 = r.appendChild(doc.createTextNode("x"));
  r.appendChild(doc.createTextNode("y"));
  EXPECT_EQ(t1.text(), "x");  // adjacent text nodes are not merged
  Node removed = r.removeChild(r.selectSingleNode("a"));
  ASSERT_FALSE(removed.isNull());
  Node c = doc.createElement("c");
  EXPECT_FALSE(r.replaceChild(c, b).isNull());
  EXPECT_FALSE(c.appendChild(removed).isNull());
  EXPECT_EQ(doc.documentElement().xml(), "<r><c><a/></c>xy</r>");
  // A replaced node is still a usable, detached node.
  EXPECT_EQ(b.text(), "twothree");
  EXPECT_TRUE(b.parentNode().isNull());
  // A node cannot be put inside itself, nor can a document get a second root.
  EXPECT_TRUE(c.appendChild(r).isNull());
  EXPECT_TRUE(doc.appendChild(doc.createElement("second")).isNull());
  EXPECT_FALSE(r.removeChild(doc.createElement("z")));
  EXPECT_FALSE(r.setAttribute("bad name", "v"));
  EXPECT_TRUE(r.attributes().item(5).isNull());
}

TEST(XmlDocument, AdoptChildMovesTheRootWithoutCopying) {
  Document dst;
  Node orders = dst.appendChild(dst.createElement("Orders"));
  Node first;
  Node catalog;
  {
    Document src;
    ASSERT_TRUE(
        src.loadXML("<Design id=\"1\"><Catalog>K</Catalog><![CDATA[a<b]]><Note/></Design>"));
    Node root = src.documentElement();
    catalog = root.selectSingleNode("Catalog");
    // A node detached and re-attached through the source before the move.
    catalog.appendChild(root.removeChild(root.selectSingleNode("Note")));
    first = orders.adoptChild(src);
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first, root);  // the same node, not a copy
    EXPECT_TRUE(src.documentElement().isNull());
    // The emptied source is still a working document.
    EXPECT_TRUE(orders.adoptChild(src).isNull());
    ASSERT_TRUE(src.loadXML("<Design id=\"2\"/>"));
    EXPECT_FALSE(orders.adoptChild(src).isNull());
  }
  EXPECT_EQ(dst.documentElement().xml(),
            "<Orders><Design id=\"1\"><Catalog>K<Note/></Catalog><![CDATA[a<b]]></Design>"
            "<Design id=\"2\"/></Orders>");
  // Handles from the source stay valid and editable in the new tree; a node removed
  // there is freed once, by its new document.
  catalog.setAttribute("n", "1");
  EXPECT_EQ(GetText(dst, "//Catalog/@n"), "1");
  EXPECT_FALSE(catalog.removeChild(catalog.selectSingleNode("Note")).isNull());

  // An old handle keeps the receiving document alive.
  Node kept;
  {
    Document a, b, c;
    ASSERT_TRUE(a.loadXML("<x/>"));
    ASSERT_TRUE(b.loadXML("<y><z>t</z></y>"));
    kept = b.documentElement().firstChild();
    ASSERT_FALSE(a.documentElement().adoptChild(b).isNull());
    // Moving back the other way would tie the two together: it copies instead.
    ASSERT_TRUE(c.loadXML("<w/>"));
    ASSERT_FALSE(c.documentElement().adoptChild(a).isNull());
    ASSERT_FALSE(b.appendChild(b.createElement("q")).isNull());
    ASSERT_FALSE(b.documentElement().adoptChild(c).isNull());
    EXPECT_EQ(b.documentElement().xml(), "<q><w><x><y><z>t</z></y></x></w></q>");
  }
  EXPECT_EQ(kept.text(), "t");
  // Nothing to move into a document that already has a root, nor from itself.
  Document d;
  ASSERT_TRUE(d.loadXML("<r/>"));
  EXPECT_TRUE(dst.adoptChild(d).isNull());
  EXPECT_TRUE(orders.adoptChild(dst).isNull());
  EXPECT_EQ(d.documentElement().nodeName(), "r");
}

// Short texts are kept inside their node after a parse: every way of changing, copying
// or moving such a text keeps the value (and, under the sanitizers, frees nothing twice).
TEST(XmlDocument, ShortParsedTextsChangeCopyAndMoveSafely) {
  Document doc;
  ASSERT_TRUE(doc.loadXML("<a><b>short</b><c>x</c><d>534.00</d><e>fifteen chars!!</e></a>"));
  ASSERT_TRUE(doc.selectSingleNode("/a/b").firstChild().setNodeValue(
      "a much longer text than fits inside a node"));
  ASSERT_TRUE(doc.selectSingleNode("/a/c").setText("y"));
  Node copy = doc.selectSingleNode("/a/d").cloneNode(true);
  doc.documentElement().appendChild(copy);
  copy.firstChild().setNodeValue("1.00");

  Document orders;
  Node root = orders.appendChild(orders.createElement("Orders"));
  ASSERT_FALSE(root.adoptChild(doc).isNull());
  doc = Document();
  orders.selectSingleNode("/Orders/a/e").firstChild().setNodeValue("");
  EXPECT_EQ(orders.documentElement().xml(),
            "<Orders><a><b>a much longer text than fits inside a node</b><c>y</c><d>534.00</d>"
            "<e></e><d>1.00</d></a></Orders>");
}

TEST(XmlDocument, EveryReferenceSeesAReload) {
  Document a;
  ASSERT_TRUE(a.loadXML("<old/>"));
  Document b = a;
  Node old_root = a.documentElement();
  ASSERT_TRUE(b.loadXML("<new><x>1</x></new>"));
  EXPECT_EQ(GetText(a, "/new/x"), "1");
  // A node taken before the reload still reads its own (old) tree.
  EXPECT_EQ(old_root.nodeName(), "old");
}

TEST(XmlSelection, InvalidExpressionsReportFailure) {
  Document doc;
  ASSERT_TRUE(doc.loadXML("<R><V>7</V></R>"));
  std::string error;
  EXPECT_TRUE(doc.selectSingleNode("//P[", &error).isNull());
  EXPECT_FALSE(error.empty());
  error.clear();
  EXPECT_TRUE(doc.selectNodes("count(//P)", &error).empty());
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(doc.selectSingleNode("//oxox:V").isNull());
}

TEST(XmlSelection, LiteralsWithQuotesSelectExactly) {
  Document doc;
  ASSERT_TRUE(
      doc.loadXML("<S><C name=\"O'Brien\"/><C name='say \"hi\"'/><C name=\"it's &quot;x&quot;\"/>"
                  "<C name=\"plain\"/></S>"));
  for (std::string value : {"O'Brien", "say \"hi\"", "it's \"x\"", "plain", "'", "\"'"}) {
    std::string xpath = "//C[@name=" + XPathLiteral(value) + "]";
    std::string error;
    NodeList found = doc.selectNodes(xpath, &error);
    EXPECT_TRUE(error.empty()) << xpath << ": " << error;
    bool exists = value != "'" && value != "\"'";
    ASSERT_EQ(found.length(), exists ? 1 : 0) << xpath;
    if (exists) {
      EXPECT_EQ(found.item(0).getAttribute("name"), value);
    }
  }
}

TEST(XmlSecurity, DocumentsAndStyleSheetsNeverReadOrWriteFiles) {
  testing::TempModule module(false);
  std::string secret = module.path("secret.txt");
  testing::WriteFileOrDie(secret, "TOPSECRET");
  testing::WriteFileOrDie(module.path("evil.dtd"),
                          "<!ENTITY leak SYSTEM \"file://" + secret + "\">");
  const std::string internal =
      "<!DOCTYPE a [<!ENTITY e SYSTEM \"file://" + secret + "\">]><a>&e;</a>";
  testing::WriteFileOrDie(module.path("x.xml"), internal);
  Document doc;
  // A file entity in the internal subset or in an external DTD: never expanded from disk,
  // whether the text is parsed or a file loaded.
  doc.loadXML(internal);
  EXPECT_EQ(doc.xml().find("TOPSECRET"), std::string::npos);
  doc.loadXML("<!DOCTYPE a SYSTEM \"file://" + module.path("evil.dtd") + "\"><a>&leak;</a>");
  EXPECT_EQ(doc.xml().find("TOPSECRET"), std::string::npos);
  doc.load(module.path("x.xml"));
  EXPECT_EQ(doc.xml().find("TOPSECRET"), std::string::npos);

  // Nor can a style sheet write a file.
  const std::string target = module.path("written.txt");
  Document sheet;
  ASSERT_TRUE(sheet.loadXML(
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
      "xmlns:exsl=\"http://exslt.org/common\" extension-element-prefixes=\"exsl\">"
      "<xsl:template match=\"/\"><exsl:document href=\"" +
      target + "\"><x/></exsl:document></xsl:template></xsl:stylesheet>"));
  ASSERT_TRUE(doc.loadXML("<r/>"));
  std::string error;
  doc.transformNode(sheet, &error);
  EXPECT_EQ(testing::ReadFileOrEmpty(target), "");
}

// (Style sheet parameters passed as strings, UTF-8 output and failures are the style sheet
// and transformation tests.)

TEST(XmlSafeText, CharactersXmlCannotHoldNeverReachADocument) {
  // Word's manual line break, a form feed, U+FFFE, a lone surrogate and a stray byte; the
  // letters and the emoji around them stay.
  const std::string typed =
      "Deliver\vto side\f door \xEF\xBF\xBE \xED\xA0\x80 caf\xC3\xA9 \xF0\x9F\x98\x80\xFF\t!";
  const std::string safe = "Deliverto side door   caf\xC3\xA9 \xF0\x9F\x98\x80\t!";
  EXPECT_EQ(xml::XmlSafeText(typed), safe);
  xml::Document doc;
  ASSERT_TRUE(doc.loadXML("<R><T/><C/></R>"));
  doc.selectSingleNode("/R/T").setText(typed);
  doc.selectSingleNode("/R/C").appendChild(doc.createCDATASection(typed));
  doc.documentElement().setAttribute("a", typed);
  doc.documentElement().appendChild(doc.createTextNode(typed));
  xml::Document again;
  ASSERT_TRUE(again.loadXML(doc.xml())) << again.parseErrorReason();
  EXPECT_EQ(GetText(again, "/R/T"), safe);
  EXPECT_EQ(GetText(again, "/R/C"), safe);
  EXPECT_EQ(again.documentElement().getAttribute("a"), safe);
}

}  // namespace
}  // namespace larkedi::xml
