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
  EXPECT_EQ(doc.documentElement().nodeName(), "a");
  EXPECT_FALSE(doc.loadXML("<a><b></a>"));
  EXPECT_NE(doc.parseErrorReason().find("mismatch"), std::string::npos) << doc.parseErrorReason();
  EXPECT_TRUE(doc.documentElement().isNull());
  EXPECT_FALSE(doc.loadXML(""));
  EXPECT_FALSE(doc.parseErrorReason().empty());
  EXPECT_FALSE(doc.load("/nonexistent/file.xml"));
  EXPECT_NE(doc.parseErrorReason().find("/nonexistent/file.xml"), std::string::npos);
}

TEST(XmlDocument, IndentationDroppedButLeafTextKeptExactly) {
  Document doc;
  ASSERT_TRUE(doc.loadXML("<a>\n  <b> 2</b>\n  <c>   </c>\n  <d>x <e/> y</d>\n</a>"));
  Node a = doc.documentElement();
  EXPECT_EQ(a.childNodes().length(), 3);
  EXPECT_EQ(a.firstChild().nodeName(), "b");
  EXPECT_EQ(a.firstChild().text(), " 2");
  EXPECT_EQ(a.selectSingleNode("c").text(), "   ");
  // Mixed content with real text keeps its text nodes.
  EXPECT_EQ(a.selectSingleNode("d").text(), "x  y");

  // Blanks around comments and CDATA between elements go; a blank run that ends in an
  // entity is real text; xml:space="preserve" keeps every blank beneath it, "default"
  // restores dropping; the element after a dropped blank is still in its place.
  ASSERT_TRUE(
      doc.loadXML("<r>\n <!--c-->\n <x/>\t<![CDATA[ ]]> <y/>  &amp;<z/>\n"
                  "<p xml:space=\"preserve\"> <q/> <s xml:space=\"default\"> <t/> </s></p>\n</r>"));
  EXPECT_EQ(doc.documentElement().xml(),
            "<r><!--c--><x/><![CDATA[ ]]><y/>  &amp;<z/><p xml:space=\"preserve\"> <q/> "
            "<s xml:space=\"default\"><t/></s></p></r>");
  // Long runs of texts, blank and not, keep every character (the parser hands them over
  // in pieces).
  const std::string spaces(5000, ' ');
  const std::string words(5000, 'w');
  ASSERT_TRUE(doc.loadXML("<r>" + spaces + "<a>" + spaces + words + "</a>" + spaces + "<b>" +
                          spaces + "</b>" + spaces + "</r>"));
  EXPECT_EQ(doc.documentElement().childNodes().length(), 2);
  EXPECT_EQ(doc.selectSingleNode("/r/a").text(), spaces + words);
  EXPECT_EQ(doc.selectSingleNode("/r/b").text(), spaces);
}

TEST(XmlDocument, CDataSurvivesRoundTripAndFile) {
  testing::TempModule module(false);
  Document doc;
  ASSERT_TRUE(doc.loadXML("<a><![CDATA[<x> & y]]></a>"));
  EXPECT_EQ(doc.documentElement().text(), "<x> & y");
  EXPECT_EQ(doc.documentElement().firstChild().nodeType(), NodeType::CData);
  EXPECT_NE(doc.xml().find("<![CDATA[<x> & y]]>"), std::string::npos);
  std::string path = module.path("cdata.xml");
  ASSERT_TRUE(doc.save(path));
  Document back;
  ASSERT_TRUE(back.load(path));
  EXPECT_EQ(back.documentElement().firstChild().nodeType(), NodeType::CData);
  EXPECT_EQ(back.documentElement().text(), "<x> & y");
}

TEST(XmlDocument, TextIsConcatenatedAndSettingItReplacesContent) {
  Document doc;
  ASSERT_TRUE(doc.loadXML("<a>one<b>two<c>three</c></b><![CDATA[four]]><!--no--></a>"));
  Node a = doc.documentElement();
  EXPECT_EQ(a.text(), "onetwothreefour");
  Node b = a.selectSingleNode("b");
  ASSERT_TRUE(a.setText("x < y & z"));
  EXPECT_EQ(a.text(), "x < y & z");
  EXPECT_EQ(a.xml(), "<a>x &lt; y &amp; z</a>");
  // A node that was replaced by the new text is still a usable (detached) node.
  EXPECT_EQ(b.text(), "twothree");
  EXPECT_TRUE(b.parentNode().isNull());
}

TEST(XmlDocument, TreeChangesKeepHandlesValid) {
  Document doc;
  ASSERT_TRUE(doc.loadXML("<r><a/><b/></r>"));
  Node r = doc.documentElement();
  Node t1 = r.appendChild(doc.createTextNode("x"));
  Node t2 = r.appendChild(doc.createTextNode("y"));
  // Adjacent text nodes are not merged: both handles stay distinct and valid.
  EXPECT_EQ(t1.text(), "x");
  EXPECT_EQ(t2.text(), "y");
  EXPECT_EQ(r.childNodes().length(), 4);

  Node a = r.selectSingleNode("a");
  Node removed = r.removeChild(a);
  ASSERT_FALSE(removed.isNull());
  EXPECT_TRUE(r.selectSingleNode("a").isNull());
  Node c = doc.createElement("c");
  EXPECT_FALSE(r.replaceChild(c, r.selectSingleNode("b")).isNull());
  EXPECT_EQ(r.firstChild().nodeName(), "c");
  // Re-attach the removed node elsewhere.
  EXPECT_FALSE(c.appendChild(removed).isNull());
  EXPECT_EQ(doc.documentElement().xml(), "<r><c><a/></c>xy</r>");
  // A node cannot be put inside itself, nor can a document get a second root.
  EXPECT_TRUE(c.appendChild(r).isNull());
  EXPECT_TRUE(doc.appendChild(doc.createElement("second")).isNull());
  EXPECT_FALSE(r.removeChild(doc.createElement("z")));
}

TEST(XmlDocument, CloneAndCrossDocumentAppendCopy) {
  Document src, dst;
  ASSERT_TRUE(src.loadXML("<Design id=\"1\"><Catalog>K</Catalog></Design>"));
  ASSERT_TRUE(dst.loadXML("<Orders/>"));
  Node clone = src.documentElement().cloneNode(true);
  clone.setAttribute("id", "2");
  EXPECT_EQ(src.documentElement().getAttribute("id"), "1");
  Node moved = dst.documentElement().appendChild(clone);
  ASSERT_FALSE(moved.isNull());
  EXPECT_EQ(dst.documentElement().xml(),
            "<Orders><Design id=\"2\"><Catalog>K</Catalog></Design></Orders>");
  EXPECT_EQ(moved.ownerDocument().documentElement(), dst.documentElement());
  Node shallow = src.documentElement().cloneNode(false);
  EXPECT_EQ(shallow.xml(), "<Design id=\"1\"/>");
  // Documents outlive the source handles: the copied node stays readable.
  src = Document();
  EXPECT_EQ(moved.selectSingleNode("Catalog").text(), "K");
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
    Node note = root.removeChild(root.selectSingleNode("Note"));
    catalog.appendChild(note);
    first = orders.adoptChild(src);
    ASSERT_FALSE(first.isNull());
    EXPECT_EQ(first, root);  // the same node, not a copy
    EXPECT_TRUE(src.documentElement().isNull());
    EXPECT_FALSE(src.hasChildNodes());
    // The emptied source is still a working document.
    EXPECT_TRUE(orders.adoptChild(src).isNull());
    ASSERT_TRUE(src.loadXML("<Design id=\"2\"/>"));
    EXPECT_FALSE(orders.adoptChild(src).isNull());
  }
  EXPECT_EQ(dst.documentElement().xml(),
            "<Orders><Design id=\"1\"><Catalog>K<Note/></Catalog><![CDATA[a<b]]></Design>"
            "<Design id=\"2\"/></Orders>");
  EXPECT_EQ(first.ownerDocument().documentElement(), orders);
  EXPECT_EQ(dst.selectNodes("//Design").length(), 2);
  // Handles from the source stay valid and editable in the new tree; a node removed
  // there is freed once, by its new document.
  catalog.setAttribute("n", "1");
  EXPECT_EQ(dst.selectSingleNode("//Catalog/@n").text(), "1");
  EXPECT_FALSE(catalog.removeChild(catalog.selectSingleNode("Note")).isNull());
  orders.appendChild(dst.createElement("Design"));
  EXPECT_EQ(dst.selectNodes("/Orders/Design").length(), 3);

  // An old handle keeps the receiving document alive.
  Node kept;
  {
    Document a;
    Document b;
    ASSERT_TRUE(a.loadXML("<x/>"));
    ASSERT_TRUE(b.loadXML("<y><z>t</z></y>"));
    Node z = b.documentElement().firstChild();
    ASSERT_FALSE(a.documentElement().adoptChild(b).isNull());
    kept = z;
    // Moving back the other way would tie the two together: it copies instead.
    Document c;
    ASSERT_TRUE(c.loadXML("<w/>"));
    ASSERT_FALSE(c.documentElement().adoptChild(a).isNull());
    ASSERT_FALSE(b.appendChild(b.createElement("q")).isNull());
    Node back = b.documentElement().adoptChild(c);
    ASSERT_FALSE(back.isNull());
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

TEST(XmlDocument, AttributesAndNodeFacts) {
  Document doc;
  ASSERT_TRUE(doc.loadXML("<a x=\"1\"><?pi data?><!--c--><b/></a>"));
  Node a = doc.documentElement();
  EXPECT_TRUE(a.hasAttribute("x"));
  EXPECT_FALSE(a.hasAttribute("y"));
  EXPECT_EQ(a.getAttribute("y"), "");
  Node attr = doc.createAttribute("y");
  attr.setText("q\"<");
  a.setAttributeNode(attr);
  EXPECT_EQ(a.getAttribute("y"), "q\"<");
  EXPECT_EQ(a.attributes().length(), 2);
  EXPECT_EQ(a.attributes().item(1).nodeName(), "y");
  EXPECT_TRUE(a.attributes().item(5).isNull());
  EXPECT_TRUE(a.removeAttribute("x"));
  EXPECT_EQ(attr.nodeValue(), "q\"<");
  EXPECT_EQ(a.firstChild().nodeType(), NodeType::ProcessingInstruction);
  EXPECT_FALSE(a.setAttribute("bad name", "v"));
}

// Short texts are kept inside their node after a parse: every way of changing, copying
// or moving such a text keeps the value (and, under the sanitizers, frees nothing twice).
TEST(XmlDocument, ShortParsedTextsChangeCopyAndMoveSafely) {
  Document doc;
  ASSERT_TRUE(doc.loadXML("<a><b>short</b><c>x</c><d>534.00</d><e>fifteen chars!!</e></a>"));
  Node b = doc.selectSingleNode("/a/b");
  Node btext = b.firstChild();
  ASSERT_TRUE(btext.setNodeValue("a much longer text than fits inside a node"));
  EXPECT_EQ(b.text(), "a much longer text than fits inside a node");
  ASSERT_TRUE(doc.selectSingleNode("/a/c").setText("y"));
  Node copy = doc.selectSingleNode("/a/d").cloneNode(true);
  doc.documentElement().appendChild(copy);
  copy.firstChild().setNodeValue("1.00");
  EXPECT_EQ(GetText(doc, "/a/d[1]"), "534.00");
  EXPECT_EQ(GetText(doc, "/a/d[2]"), "1.00");

  Document orders;
  Node root = orders.appendChild(orders.createElement("Orders"));
  ASSERT_FALSE(root.adoptChild(doc).isNull());
  doc = Document();
  EXPECT_EQ(GetText(orders, "/Orders/a/e"), "fifteen chars!!");
  orders.selectSingleNode("/Orders/a/e").firstChild().setNodeValue("");
  EXPECT_EQ(orders.documentElement().xml(),
            "<Orders><a><b>a much longer text than fits inside a node</b><c>y</c><d>534.00</d>"
            "<e></e><d>1.00</d></a></Orders>");
}

TEST(XmlDocument, ImportNodeCopiesIntoThisDocumentAndLeavesTheSourceAlone) {
  Document source, target;
  ASSERT_TRUE(source.loadXML("<s><p a=\"1\"><q>x</q></p></s>"));
  ASSERT_TRUE(target.loadXML("<t/>"));
  Node p = source.selectSingleNode("/s/p");
  Node deep = target.importNode(p, true);
  ASSERT_FALSE(deep.isNull());
  EXPECT_TRUE(deep.parentNode().isNull());
  EXPECT_TRUE(deep.ownerDocument() == target);
  target.documentElement().appendChild(deep);
  deep.selectSingleNode("q").setText("changed");
  EXPECT_EQ(target.documentElement().xml(), "<t><p a=\"1\"><q>changed</q></p></t>");
  EXPECT_EQ(source.documentElement().xml(), "<s><p a=\"1\"><q>x</q></p></s>");
  Node shallow = target.importNode(p, false);
  EXPECT_EQ(shallow.xml(), "<p a=\"1\"/>");
  EXPECT_TRUE(target.importNode(Node(), true).isNull());
  EXPECT_TRUE(target.importNode(p.selectSingleNode("@a"), true).isNull());
}

TEST(XmlSelection, PathsPredicatesAndInvalidExpressions) {
  Document doc;
  ASSERT_TRUE(doc.loadXML("<S><P ID=\"1\"><C>ab</C></P><P ID=\"2\"><C>Cd</C><C>ef</C></P></S>"));
  EXPECT_EQ(doc.selectNodes("//C").length(), 3);
  EXPECT_EQ(doc.selectSingleNode("/S/P[@ID='2']/C[2]").text(), "ef");
  EXPECT_EQ(doc.selectNodes("//P[C='ab']").length(), 1);
  EXPECT_EQ(doc.selectNodes("//C[../@ID != '1']").length(), 2);
  EXPECT_EQ(
      doc.selectSingleNode(
             "//C[translate(.,'ABCDEFGHIJKLMNOPQRSTUVWXYZ','abcdefghijklmnopqrstuvwxyz')='cd']")
          .text(),
      "Cd");
  Node p2 = doc.selectSingleNode("//P[2]");
  EXPECT_EQ(p2.selectNodes("C").length(), 2);
  std::string error;
  EXPECT_TRUE(doc.selectSingleNode("//P[", &error).isNull());
  EXPECT_FALSE(error.empty());
  EXPECT_TRUE(doc.selectNodes("count(//P)", &error).empty());
  EXPECT_FALSE(error.empty());
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
    EXPECT_EQ(found.length(), exists ? 1 : 0) << xpath;
    if (exists) {
      EXPECT_EQ(found.item(0).getAttribute("name"), value);
    }
  }
}

TEST(XmlSelection, BoundNamespacePrefix) {
  Document doc;
  ASSERT_TRUE(doc.loadXML(
      "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\"><soap:Body>"
      "<R xmlns=\"urn:lark\"><V>7</V></R></soap:Body></soap:Envelope>"));
  EXPECT_TRUE(doc.selectSingleNode("//oxox:V").isNull());
  EXPECT_TRUE(doc.setSelectionNamespaces(
      "xmlns:soap='http://schemas.xmlsoap.org/soap/envelope/' xmlns:oxox=\"urn:lark\""));
  EXPECT_EQ(doc.selectSingleNode("/soap:Envelope/soap:Body/oxox:R/oxox:V").text(), "7");
  EXPECT_EQ(doc.selectSingleNode("//oxox:V").baseName(), "V");
  EXPECT_FALSE(doc.setSelectionNamespaces("xmlns:broken"));
  EXPECT_EQ(doc.selectSingleNode("//oxox:V").text(), "7");
}

TEST(XmlSecurity, ExternalEntitiesAndDtdsAreNeverLoaded) {
  testing::TempModule module(false);
  std::string secret = module.path("secret.txt");
  testing::WriteFileOrDie(secret, "TOPSECRET");
  testing::WriteFileOrDie(module.path("evil.dtd"),
                          "<!ENTITY leak SYSTEM \"file://" + secret + "\">");
  Document doc;
  // A file entity in the internal subset: parsed, but never expanded from disk.
  bool ok = doc.loadXML("<!DOCTYPE a [<!ENTITY e SYSTEM \"file://" + secret + "\">]><a>&e;</a>");
  if (ok) {
    EXPECT_EQ(doc.documentElement().text().find("TOPSECRET"), std::string::npos);
  }
  EXPECT_EQ(doc.xml().find("TOPSECRET"), std::string::npos);
  // An external DTD that defines the entity is not read either.
  ok = doc.loadXML("<!DOCTYPE a SYSTEM \"file://" + module.path("evil.dtd") + "\"><a>&leak;</a>");
  if (ok) {
    EXPECT_EQ(doc.xml().find("TOPSECRET"), std::string::npos);
  }
  // Same through load() of a file.
  testing::WriteFileOrDie(module.path("x.xml"),
                          "<!DOCTYPE a [<!ENTITY e SYSTEM \"file://" + secret + "\">]><a>&e;</a>");
  ok = doc.load(module.path("x.xml"));
  if (ok) {
    EXPECT_EQ(doc.documentElement().text().find("TOPSECRET"), std::string::npos);
  }
  // Nested entity expansion bombs are refused rather than expanded without end.
  std::string bomb = "<!DOCTYPE b [<!ENTITY a \"aaaaaaaaaa\">";
  for (int i = 1; i < 12; ++i) {
    bomb += "<!ENTITY a" + std::to_string(i) + " \"";
    for (int j = 0; j < 10; ++j) bomb += i == 1 ? "&a;" : "&a" + std::to_string(i - 1) + ";";
    bomb += "\">";
  }
  bomb += "]><b>&a11;</b>";
  if (doc.loadXML(bomb)) {
    EXPECT_LT(doc.documentElement().text().size(), 1000u);
  }
}

TEST(XmlTransform, ParametersAreStringsAndOutputIsUtf8) {
  Document sheet;
  ASSERT_TRUE(sheet.loadXML(
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\">"
      "<xsl:output method=\"html\" encoding=\"iso-8859-1\"/>"
      "<xsl:param name=\"who\"/>"
      "<xsl:template match=\"/\"><p><xsl:value-of select=\"$who\"/>:"
      "<xsl:value-of select=\"//n\"/></p></xsl:template></xsl:stylesheet>"));
  Document input;
  ASSERT_TRUE(input.loadXML("<r><n>Crème &lt;script&gt;</n></r>"));
  Template tmpl;
  ASSERT_TRUE(tmpl.setStylesheet(sheet));
  Processor proc(tmpl);
  proc.setInput(input);
  proc.addParameter("who", "O'Brien \"&\" /r");
  ASSERT_TRUE(proc.transform()) << proc.error();
  EXPECT_NE(proc.output().find("O'Brien \"&amp;\" /r:"), std::string::npos) << proc.output();
  EXPECT_NE(proc.output().find("Crème &lt;script&gt;"), std::string::npos) << proc.output();

  std::string error;
  std::string text = input.transformNode(sheet, &error);
  EXPECT_NE(text.find("Crème"), std::string::npos) << error;

  Document bad;
  ASSERT_TRUE(bad.loadXML("<notxsl/>"));
  Template broken;
  EXPECT_FALSE(broken.setStylesheet(bad, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(input.transformNode(bad, &error), "");
}

TEST(XmlTransform, StyleSheetCannotWriteFiles) {
  testing::TempModule module(false);
  std::string target = module.path("written.txt");
  Document sheet;
  ASSERT_TRUE(sheet.loadXML(
      "<xsl:stylesheet version=\"1.0\" xmlns:xsl=\"http://www.w3.org/1999/XSL/Transform\" "
      "xmlns:exsl=\"http://exslt.org/common\" extension-element-prefixes=\"exsl\">"
      "<xsl:template match=\"/\"><exsl:document href=\"" +
      target + "\"><x/></exsl:document></xsl:template></xsl:stylesheet>"));
  Document input;
  ASSERT_TRUE(input.loadXML("<r/>"));
  std::string error;
  input.transformNode(sheet, &error);
  EXPECT_EQ(testing::ReadFileOrEmpty(target), "");
}

TEST(XmlDocument, EveryReferenceSeesAReload) {
  Document a;
  ASSERT_TRUE(a.loadXML("<old/>"));
  Document b = a;
  Node old_root = a.documentElement();
  ASSERT_TRUE(b.loadXML("<new><x>1</x></new>"));
  EXPECT_EQ(a.documentElement().nodeName(), "new");
  EXPECT_EQ(a.selectSingleNode("/new/x").text(), "1");
  EXPECT_EQ(a.xml(), "<new><x>1</x></new>\r\n");
  // A node taken before the reload still reads its own (old) tree.
  EXPECT_EQ(old_root.nodeName(), "old");
}

TEST(XmlSafeText, CharactersXmlCannotHoldNeverReachADocument) {
  // Word's manual line break, a form feed, U+FFFE, a lone surrogate and a stray byte; the
  // letters and the emoji around them stay.
  const std::string typed =
      "Deliver\vto side\f door \xEF\xBF\xBE \xED\xA0\x80 caf\xC3\xA9 \xF0\x9F\x98\x80\xFF\t!";
  EXPECT_EQ(xml::XmlSafeText(typed), "Deliverto side door   caf\xC3\xA9 \xF0\x9F\x98\x80\t!");
  xml::Document doc;
  ASSERT_TRUE(doc.loadXML("<R><T/><C/></R>"));
  doc.selectSingleNode("/R/T").setText(typed);
  doc.selectSingleNode("/R/C").appendChild(doc.createCDATASection(typed));
  doc.documentElement().setAttribute("a", typed);
  doc.documentElement().appendChild(doc.createTextNode(typed));
  xml::Document again;
  ASSERT_TRUE(again.loadXML(doc.xml())) << again.parseErrorReason();
  EXPECT_EQ(again.selectSingleNode("/R/T").text(), xml::XmlSafeText(typed));
  EXPECT_EQ(again.selectSingleNode("/R/C").text(), xml::XmlSafeText(typed));
  EXPECT_EQ(again.documentElement().getAttribute("a"), xml::XmlSafeText(typed));
}

}  // namespace
}  // namespace larkedi::xml
