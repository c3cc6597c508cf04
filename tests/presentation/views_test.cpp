// The module's views rendered from order stacks built like the real ones (generated designs,
// settings copy, order groups) and read back with an HTML parser: data reaches every page
// as text, never as markup. The element ids the page events use are checked where those
// events are tested.
#include "presentation/render.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "design_generator.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "platform/xml/html.h"
#include "platform/xml/xml.h"
#include "support/resx.h"
#include "support/xml_helpers.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

// Markup and a long non-ASCII text put into every field a page shows.
const std::string kLong =
    "Ébénisterie Saint-Jérôme & Fils — " + std::string(220, 'x') + " Øresund ÆØÅ 日本";
const std::string kScript = "<script>alert(1)</script><img src=x onerror=alert(2)>";

struct Partner {
  int id;
  std::string name;
  int method = 1;
};

// Partner 1 (named with markup), partner 2 and partner 3 (an order form); ASHFORD, KINGSTON
// and NORTHPOINT belong to nobody.
const std::vector<Partner> kPartners = {
    {1, "<script>alert('p')</script>" + kLong}, {2, "Cascade Woodworks", 3}, {3, "Forms", 2}};
const std::map<std::string, int> kAssigned = {
    {"MERIDIAN", 1}, {"AUBURN", 1}, {"CASCADE", 2}, {"BIRCHWOOD", 2}};

std::string SettingsXml(bool long_names = true) {
  std::string s = "<SETTINGS>";
  for (const Partner& p : kPartners) {
    const std::string id = std::to_string(p.id);
    s += "<PARTNER><ID>" + id + "</ID><CODE>P" + id + "</CODE><NAME>" +
         xml::EscapeXmlText(long_names ? p.name : "Partner " + id) + "</NAME><MANUFID>M" + id +
         "</MANUFID><DEALERID>D-" + id + "</DEALERID><METHODID>" + std::to_string(p.method) +
         "</METHODID></PARTNER>";
  }
  int id = 0;
  for (const std::string& code : gen::DefaultCatalogCodes()) {
    auto it = kAssigned.find(code);
    s += "<CATALOG><ID>" + std::to_string(++id) + "</ID><CODE>" + code + "</CODE><PARTNERID>" +
         (it == kAssigned.end() ? "-1" : std::to_string(it->second)) + "</PARTNERID></CATALOG>";
  }
  return s +
         "<METHOD><ID>1</ID><NAME>Orca XML Connector</NAME></METHOD>"
         "<METHOD legacy=\"1\"><ID>2</ID><NAME>Order "
         "form</NAME><OBJECTNAME>ORDR</OBJECTNAME></METHOD>"
         "<METHOD legacy=\"1\"><ID>3</ID><NAME>Legacy EDI</NAME></METHOD>"
         "<SPOOLPATH>/srv/larkedi/Send</SPOOLPATH><SORTORDER>WBT</SORTORDER></SETTINGS>";
}

void AddText(xml::Document& doc, xml::Node parent, const std::string& name,
             const std::string& text) {
  parent.appendChild(doc.createElement(name)).appendChild(doc.createTextNode(text));
}

// An order stack as the loader and the grouping leave it: designs and catalogs numbered,
// one order group per partner with catalogs in the design.
xml::Document BuildStack(int designs) {
  xml::Document doc;
  EXPECT_TRUE(doc.loadXML("<Orders>" + SettingsXml() + "</Orders>"));
  gen::DesignGenOptions options;
  options.seed = 7;
  options.min_items = 3;
  options.max_items = 30;
  options.max_catalogs = 4;
  int catalog_id = 0, group_id = 0;
  for (int d = 1; d <= designs; ++d) {
    xml::Document design;
    EXPECT_TRUE(design.loadXML(gen::GenerateDesign(options, d)));
    xml::Node root = doc.documentElement().appendChild(design.documentElement());
    AddText(doc, root, "ID", std::to_string(d));
    for (xml::Node catalog : root.selectNodes("Catalog")) {
      AddText(doc, catalog, "ID", std::to_string(++catalog_id));
    }
    for (const Partner& p : kPartners) {
      xml::Node group;
      for (xml::Node catalog : root.selectNodes("Catalog")) {
        auto it = kAssigned.find(GetNodeText(catalog, "Identification/Name"));
        if (it == kAssigned.end() || it->second != p.id) continue;
        if (!group) {
          group = root.appendChild(doc.createElement("ORDERGROUP"));
          AddText(doc, group, "ID", std::to_string(++group_id));
          AddText(doc, group, "PARTNERID", std::to_string(p.id));
          AddText(doc, group, "PARTNERNAME", p.name);
          AddText(doc, group, "SENDIT", "1");
          AddText(doc, group, "PONUMBER", GetNodeText(root, "JobInfo/Header/Number"));
          AddText(doc, group, "COMMENT", "");
          AddText(doc, group, "CONTACTNAME", "");
        }
        AddText(doc, group, "CATALOGID", GetNodeText(catalog, "ID"));
      }
    }
  }
  return doc;
}

struct Page {
  std::string html;
  xml::Document dom;
  xml::Node Id(const std::string& id) const {
    return dom.selectSingleNode("//*[@id=" + xml::XPathLiteral(id) + "]");
  }
  std::string Text() const { return dom.documentElement().text(); }
  bool Shows(const std::string& text) const { return Text().find(text) != std::string::npos; }
};

class Views : public ::testing::Test {
 protected:
  void SetUp() override { module_.Restart(); }

  // Renders a view and checks what holds on every page: localised, no script, nothing
  // fetched from elsewhere, unique ids (a remove link of an attached file repeats its
  // order's id by design). LARKEDI_VIEWS_OUT keeps the page for the browser check.
  Page Render(const std::string& view, const std::vector<std::string>& args,
              const xml::Node& orders, const xml::Node& settings, const std::string& save_as) {
    SCOPED_TRACE(save_as);
    Page page;
    Err err;
    EXPECT_TRUE(RenderView(view, args, orders, settings, page.html, err)) << err.Description;
    std::string error;
    EXPECT_TRUE(xml::ParseHtml(page.html, page.dom, &error)) << error;
    EXPECT_EQ(page.html.find("ResNotFound!"), std::string::npos);
    EXPECT_EQ(page.html.find("<IDS"), std::string::npos);
    EXPECT_EQ(page.dom.selectNodes("//script | //img").length(), 0);
    EXPECT_EQ(page.dom.selectNodes("//*[@src or @href[contains(., '://')]]").length(), 0);
    std::map<std::string, int> ids;
    for (xml::Node n : page.dom.selectNodes("//*[@id]")) ++ids[n.getAttribute("id")];
    for (const auto& [id, count] : ids) {
      if (id.rfind("remattachfile", 0) != 0) {
        EXPECT_EQ(count, 1) << id;
      }
    }
    if (const char* out = std::getenv("LARKEDI_VIEWS_OUT"); out && *out && !save_as.empty()) {
      EXPECT_TRUE(Env::Default()->CreateDirectories(out, &error));
      EXPECT_TRUE(
          Env::Default()->WriteFileAtomic(JoinPath(out, save_as + ".html"), page.html, &error))
          << error;
    }
    return page;
  }

  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
};

TEST_F(Views, OrderStackPagesShowTheStacksDataAsText) {
  xml::Document stack = BuildStack(3);
  // An order of partner 1 in a design that holds other catalogs too.
  xml::Node group =
      stack.selectSingleNode("//ORDERGROUP[PARTNERID='1'][count(../Catalog) > count(CATALOGID)]");
  ASSERT_TRUE(group);
  const std::string id = GetNodeText(group, "ID");
  group.selectSingleNode("SENDIT").setText("0");
  group.selectSingleNode("COMMENT").setText(kScript);
  group.selectSingleNode("PONUMBER").setText("\"><script>alert(3)</script>");
  xml::Node file = group.appendChild(stack.createElement("File"));
  AddText(stack, file, "Type", "PDF");
  AddText(stack, file, "Name", "/home/Élévation <b>.PDF");
  xml::Node error = stack.selectSingleNode("//Catalog[ID=" + GetNodeText(group, "CATALOGID") + "]")
                        .appendChild(stack.createElement("ERROR"));
  AddText(stack, error, "MESSAGE", "Hinge side missing on <W3030> & finish \"Navy\"");
  AddText(stack, error, "ACTION", "2");

  Page list = Render("orderstacklist", {}, stack, xml::Node(), "orderstacklist");
  EXPECT_EQ(list.Id("pocomment" + id).getAttribute("value"), kScript);
  EXPECT_EQ(list.Id("ponumber" + id).getAttribute("value"), "\"><script>alert(3)</script>");
  EXPECT_TRUE(list.Shows(kPartners[0].name));
  EXPECT_TRUE(list.Shows("Hinge side missing on <W3030> & finish \"Navy\""));
  EXPECT_EQ(list.Id("remattachfile" + id).getAttribute("type"), "/home/élévation <b>.pdf");
  for (xml::Node g : stack.selectNodes("//ORDERGROUP")) {
    EXPECT_EQ(list.Id("ordercheck" + GetNodeText(g, "ID")).hasAttribute("checked"),
              GetNodeText(g, "SENDIT") == "1");
  }
  // Catalogs of no partner are listed apart, one warning line each.
  xml::NodeList loose = stack.selectNodes("//Design/Catalog[not(ID = ../ORDERGROUP/CATALOGID)]");
  ASSERT_GT(loose.length(), 0);
  EXPECT_EQ(list.dom.selectNodes("//div[contains(@class,'warning')]//li").length(), loose.length());

  // The other pages of the stack (the sending page shows the partners' names).
  EXPECT_TRUE(Render("orderstogo", {}, stack, xml::Node(), "orderstogo").Shows(kPartners[0].name));
  Render("orderstacktotals", {}, stack, xml::Node(), "orderstacktotals");
  Page detail = Render("orderdetail", {id}, stack, xml::Node(), "orderdetail");
  EXPECT_TRUE(detail.Shows(kScript));
  EXPECT_TRUE(detail.Shows("Hinge side missing on <W3030>"));
}

TEST_F(Views, SettingsPagesShowThePartnersDataAsText) {
  xml::Document settings;
  ASSERT_TRUE(settings.loadXML(SettingsXml()));
  for (const char* view : {"settings", "partnerlist", "status"}) {
    EXPECT_TRUE(Render(view, {}, xml::Node(), settings, "").Shows(kLong)) << view;
  }
  Page partner = Render("partner", {"0", "warning"}, xml::Node(), settings, "");
  EXPECT_EQ(partner.Id("NAME1").getAttribute("value"), kPartners[0].name);

  // Ordinary names from here on: these pages are also kept for the browser check, where a
  // list is as wide as its longest name.
  ASSERT_TRUE(settings.loadXML(SettingsXml(false)));
  Page page = Render("settings", {}, xml::Node(), settings, "settings");
  for (xml::Node catalog : settings.selectNodes("/SETTINGS/CATALOG")) {
    xml::Node chosen = page.dom.selectSingleNode(
        "//select[@id='partnerassign" + GetNodeText(catalog, "ID") + "']/option[@selected]");
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen.getAttribute("value"), GetNodeText(catalog, "PARTNERID"));
  }
  Render("partnerlist", {}, xml::Node(), settings, "partnerlist");
  Render("partner", {"2"}, xml::Node(), settings, "partner");
  Render("partner", {"0", "warning"}, xml::Node(), settings, "partner-warning");
  // The status page leaves out the order-form partner.
  Page status = Render("status", {}, xml::Node(), settings, "status");
  EXPECT_TRUE(status.Id("statusbutton2"));
  EXPECT_FALSE(status.Id("statusbutton3"));
  EXPECT_TRUE(Render("home", {}, xml::Node(), xml::Node(), "home").Shows(Res("LBL HomeTitle")));
}

TEST_F(Views, DealerServerPagesShowTheServersDataAsText) {
  xml::Document list;
  ASSERT_TRUE(list.loadXML(
      "<DATA><ORDERS><ORDER><SEQUENCE>1042</SEQUENCE><GUID>G1</GUID><PONUMBER>Q24</PONUMBER>"
      "</ORDER><ORDER><SEQUENCE>1043</SEQUENCE><GUID>G2</GUID>"
      "<PONUMBER>&lt;script&gt;x&lt;/script&gt;</PONUMBER></ORDER></ORDERS>"
      "<PAGE>2</PAGE><PAGECOUNT>3</PAGECOUNT><IMAGEPATH>file:///srv/html/</IMAGEPATH>"
      "<CURRMONTHDISPLAY>March &lt;b&gt;2024</CURRMONTHDISPLAY></DATA>"));
  Page page = Render("ediorderlist", {}, list, xml::Node(), "ediorderlist");
  EXPECT_TRUE(page.Shows("<script>x</script>"));
  EXPECT_TRUE(page.Shows("March <b>2024"));

  xml::Document detail;
  ASSERT_TRUE(
      detail.loadXML("<DATA><STATUS>&lt;i&gt;Shipped</STATUS><LINE><CODE>B12</CODE></LINE>"
                     "<LINE><CODE>W3030</CODE></LINE></DATA>"));
  Page shown = Render("orderdetail", {}, detail, xml::Node(), "orderdetail-dealer");
  EXPECT_TRUE(shown.Shows("<i>Shipped"));
}

// A standalone page (the `render` command) of an order, partner or document that is not
// there is an error; the command exits with the reason on its error output, and renders a
// partner whose number is written with blanks.
TEST(RenderChecks, MissingOrdersPartnersAndWrongDocumentsAreErrors) {
  const std::string settings_xml =
      "<SETTINGS><PARTNER><ID>1</ID><NAME>Acme</NAME></PARTNER>"
      "<PARTNER><ID> 7 </ID><NAME>Brown</NAME></PARTNER></SETTINGS>";
  const std::string orders_xml =
      "<Orders><Design><ID>1</ID><ORDERGROUP><ID>3</ID><PARTNERID>1</PARTNERID></ORDERGROUP>"
      "</Design></Orders>";
  xml::Document settings, orders, design;
  ASSERT_TRUE(settings.loadXML(settings_xml) && orders.loadXML(orders_xml));
  ASSERT_TRUE(design.loadXML("<Project><Design/></Project>"));
  Err err;
  const struct {
    const char* view;
    std::vector<std::string> args;
    const xml::Node& orders;
    const xml::Node& settings;
    const char* reason;
  } failures[] = {
      {"orderdetail", {"99999"}, orders, settings, "no order 99999"},
      {"orderdetail", {"1'or'1"}, orders, settings, "no order 1'or'1"},
      {"partner", {"99"}, orders, settings, "no partner 99"},
      {"partnerlist", {}, orders, design, "root is Project"},
      {"settings", {}, orders, xml::Node(), "needs a settings document"},
      {"orderstacklist", {}, design, settings, "needs an order stack"},
      {"ediorderlist", {}, orders, settings, "root is Orders"},
  };
  for (const auto& f : failures) {
    EXPECT_FALSE(CheckRenderInput(f.view, f.args, f.orders, f.settings, err)) << f.view;
    EXPECT_EQ(err.Number, kErrGeneral);
    EXPECT_NE(err.Description.find(f.reason), std::string::npos) << err.Description;
  }

  testing::TempModule module;
  testing::WriteFileOrDie(module.path("larkEDI.xml"), settings_xml);
  testing::WriteFileOrDie(module.path("orders.xml"), orders_xml);
  const std::string exe = testing::LarkediExe() + " --module-dir '" + module.dir() + "' render ";
  const struct {
    std::string args;
    int code;
    const char* reason;
  } cases[] = {
      {"orderdetail 99999 --orders '" + module.path("orders.xml") + "'", 1, "no order 99999"},
      {"partnerlist --settings /dev/zero", 1, "not a file"},
  };
  for (const auto& c : cases) {
    std::string errors;
    // Only the error output reaches the capture: the page (none) is thrown away.
    EXPECT_EQ(testing::RunCommand("{ " + exe + c.args + " >/dev/null; }", &errors), c.code)
        << c.args;
    EXPECT_NE(errors.find(c.reason), std::string::npos) << c.args << ": " << errors;
  }
  std::string page;
  EXPECT_EQ(testing::RunCommand(exe + "partner 7 2>/dev/null", &page), 0) << page;
  EXPECT_NE(page.find("Brown"), std::string::npos);
}

// The parser the checks above rely on keeps escaped text as text and still sees real markup.
TEST(ParseHtml, ReadsLooseHtmlAndKeepsEscapedTextAsText) {
  xml::Document dom;
  ASSERT_TRUE(xml::ParseHtml("<p id=a>one<br>two &amp; &lt;script&gt;<P ID=B>three", dom));
  EXPECT_EQ(dom.selectSingleNode("//p[@id='a']").text(), "onetwo & <script>");
  EXPECT_EQ(dom.selectNodes("//script").length(), 0);
  ASSERT_TRUE(xml::ParseHtml("<div><script>alert(1)</script></div>", dom));
  EXPECT_EQ(dom.selectNodes("//script").length(), 1);
}

}  // namespace
}  // namespace larkedi
