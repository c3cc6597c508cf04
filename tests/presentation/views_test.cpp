// The module's views rendered from order stacks built like the real ones (generated designs,
// settings copy, order groups) and read back with an HTML parser, the way the page events
// find their elements: by id.
#include "presentation/render.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <map>
#include <memory>
#include <regex>
#include <set>
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

std::string ToUpper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::vector<std::string> Split(const std::string& text, char sep) {
  std::vector<std::string> parts(1);
  for (char c : text) {
    if (c == sep) {
      parts.emplace_back();
    } else {
      parts.back() += c;
    }
  }
  return parts;
}

// ---- Building order stacks -----------------------------------------------------------

struct Partner {
  int id;
  std::string name;
  int method = 1;
  bool kitfile = false;
};

struct StackSpec {
  std::vector<Partner> partners;
  // catalog code -> partner ID (codes absent here are registered with PARTNERID -1)
  std::map<std::string, int> assignments;
  int designs = 0;
  std::uint64_t seed = 7;
  bool rfq = false;
  int max_items = 12;
};

std::string SettingsXml(const StackSpec& spec) {
  std::string s = "<SETTINGS>";
  for (const Partner& p : spec.partners) {
    s += "<PARTNER><ID>" + std::to_string(p.id) + "</ID><CODE><![CDATA[P" + std::to_string(p.id) +
         "]]></CODE><NAME>" + xml::EscapeXmlText(p.name) + "</NAME><MANUFID><![CDATA[M" +
         std::to_string(p.id) + "]]></MANUFID><DEALERID><![CDATA[D-" + std::to_string(p.id) +
         "]]></DEALERID><METHODID>" + std::to_string(p.method) + "</METHODID><KITFILEID>" +
         (p.kitfile ? "1" : "0") + "</KITFILEID></PARTNER>";
  }
  int id = 0;
  for (const std::string& code : gen::DefaultCatalogCodes()) {
    auto it = spec.assignments.find(code);
    s += "<CATALOG><ID>" + std::to_string(++id) + "</ID><CODE><![CDATA[" + code +
         "]]></CODE><PARTNERID>" +
         (it == spec.assignments.end() ? "-1" : std::to_string(it->second)) +
         "</PARTNERID></CATALOG>";
  }
  s += "<METHOD><ID>1</ID><NAME><![CDATA[Orca XML Connector]]></NAME>"
       "<OBJECTNAME><![CDATA[ConnectMethodOrca]]></OBJECTNAME></METHOD>"
       "<METHOD legacy=\"1\" dontsave=\"1\"><ID>2</ID><NAME><![CDATA[Order form]]></NAME>"
       "<OBJECTNAME><![CDATA[ORDR]]></OBJECTNAME></METHOD>"
       "<METHOD legacy=\"1\" dontsave=\"1\"><ID>3</ID><NAME><![CDATA[Legacy EDI]]></NAME>"
       "<OBJECTNAME><![CDATA[LegacySpool]]></OBJECTNAME></METHOD>"
       "<SPOOLPATH><![CDATA[/srv/larkedi/Send]]></SPOOLPATH>"
       "<ARCHIVEPATH><![CDATA[/srv/larkedi/Archive]]></ARCHIVEPATH>"
       "<TRANSFORMATION><![CDATA[CatalogToEDI.xsl]]></TRANSFORMATION>"
       "<SORTORDER><![CDATA[WBT]]></SORTORDER>"
       "<DISPLAY><SORT><![CDATA[SEQUENCE+DESC]]></SORT></DISPLAY>";
  if (spec.rfq) s += "<RFQMODE>1</RFQMODE>";
  return s + "</SETTINGS>";
}

void AddText(xml::Document& doc, xml::Node parent, const std::string& name, const std::string& text,
             bool cdata = false) {
  xml::Node e = parent.appendChild(doc.createElement(name));
  e.appendChild(cdata ? doc.createCDATASection(text) : doc.createTextNode(text));
}

// An order stack as the stack loader and the grouping leave it: designs numbered from 1,
// catalogs numbered across the stack, one order group per partner with catalogs.
xml::Document BuildStack(const StackSpec& spec) {
  xml::Document doc;
  EXPECT_TRUE(doc.loadXML("<Orders>" + SettingsXml(spec) + "</Orders>"));
  gen::DesignGenOptions options;
  options.seed = spec.seed;
  options.min_items = 3;
  options.max_items = spec.max_items;
  options.max_catalogs = 4;
  int catalog_id = 0, group_id = 0;
  for (int d = 1; d <= spec.designs; ++d) {
    xml::Document design;
    EXPECT_TRUE(design.loadXML(gen::GenerateDesign(options, d)));
    xml::Node root = doc.documentElement().appendChild(design.documentElement());
    AddText(doc, root, "ID", std::to_string(d));
    AddText(doc, root, "FileName",
            "0123456789ABCDEF0123456789ABCD" + std::to_string(10 + d) + ".xme");
    for (xml::Node catalog : root.selectNodes("Catalog")) {
      AddText(doc, catalog, "ID", std::to_string(++catalog_id));
    }
    for (const Partner& p : spec.partners) {
      xml::Node group;
      for (xml::Node catalog : root.selectNodes("Catalog")) {
        auto it = spec.assignments.find(catalog.selectSingleNode("Identification/Name").text());
        if (it == spec.assignments.end() || it->second != p.id) continue;
        if (!group) {
          group = root.appendChild(doc.createElement("ORDERGROUP"));
          AddText(doc, group, "ID", "0");
          AddText(doc, group, "PARTNERID", std::to_string(p.id));
          AddText(doc, group, "PARTNERNAME", p.name);
          AddText(doc, group, "SENDIT", "1");
          AddText(doc, group, "PONUMBER", GetNodeText(root, "JobInfo/Header/Number"), true);
          AddText(doc, group, "COMMENT", "", true);
          AddText(doc, group, "CONTACTNAME",
                  GetNodeText(root, "JobInfo/Profile[Type='BillTo']/Contact[Type='Designer']/Name"),
                  true);
          if (spec.rfq) AddText(doc, group, "RFQ", "0");
        }
        group.selectSingleNode("ID").setText(std::to_string(++group_id));
        AddText(doc, group, "CATALOGID", catalog.selectSingleNode("ID").text());
      }
    }
  }
  return doc;
}

StackSpec TwoPartners(int designs) {
  StackSpec spec;
  spec.designs = designs;
  spec.partners = {{1, "Meridian Cabinetry"}, {2, "Cascade Woodworks", 3, true}};
  spec.assignments = {{"MERIDIAN", 1},  {"AUBURN", 1},   {"CASCADE", 2},
                      {"BIRCHWOOD", 2}, {"KINGSTON", 1}, {"NORTHPOINT", 2}};
  // ASHFORD stays unassigned: its catalogs are in no group.
  return spec;
}

// ---- Reading pages --------------------------------------------------------------------

struct Page {
  std::string html;
  xml::Document dom;

  xml::Node Id(const std::string& id) const {
    return dom.selectSingleNode("//*[@id=" + xml::XPathLiteral(id) + "]");
  }
  int CountId(const std::string& id) const {
    return static_cast<int>(dom.selectNodes("//*[@id=" + xml::XPathLiteral(id) + "]").length());
  }
  std::string Text() const { return dom.documentElement().text(); }
};

class Views : public ::testing::Test {
 protected:
  void SetUp() override {
    dialogs_guard_ = std::make_unique<ScopedDialogs>(&dialogs_);
    module_.Restart();
  }

  Page Render(const std::string& view, const std::vector<std::string>& args,
              const xml::Node& orders, const xml::Node& settings, const std::string& save_as = "") {
    Page page;
    Err err;
    EXPECT_TRUE(RenderView(view, args, orders, settings, page.html, err))
        << view << ": " << err.Description;
    std::string error;
    EXPECT_TRUE(xml::ParseHtml(page.html, page.dom, &error)) << view << ": " << error;
    CheckPage(view, page);
    // The browser check opens the pages the test writes here.
    if (const char* out = std::getenv("LARKEDI_VIEWS_OUT"); out && *out && !save_as.empty()) {
      std::string write_error;
      EXPECT_TRUE(Env::Default()->CreateDirectories(out, &write_error));
      EXPECT_TRUE(Env::Default()->WriteFileAtomic(JoinPath(out, save_as + ".html"), page.html,
                                                  &write_error))
          << write_error;
    }
    return page;
  }

  // What holds on every page: it is localised, self-contained, has no script, and its ids
  // are unique (an attached-file remove link repeats its order's id by design: the file is
  // told apart by its Type).
  static void CheckPage(const std::string& view, const Page& page) {
    EXPECT_EQ(page.html.find("ResNotFound!"), std::string::npos) << view;
    EXPECT_EQ(page.html.find("<IDS"), std::string::npos) << view;
    EXPECT_EQ(page.dom.selectNodes("//script").length(), 0) << view;
    EXPECT_EQ(page.dom.selectNodes("//*[@src or @href[contains(., '://')]]").length(), 0) << view;
    EXPECT_TRUE(page.dom.selectSingleNode("/html/head/style")) << view;
    std::map<std::string, int> ids;
    for (xml::Node n : page.dom.selectNodes("//*[@id]")) ++ids[n.getAttribute("id")];
    for (const auto& [id, count] : ids) {
      if (id.rfind("remattachfile", 0) == 0) continue;
      EXPECT_EQ(count, 1) << view << ": id " << id << " appears " << count << " times";
    }
  }

  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  std::unique_ptr<ScopedDialogs> dialogs_guard_;
};

TEST_F(Views, OrderStackListHasEveryOrderFieldAndTheUnassignedCatalogs) {
  StackSpec spec = TwoPartners(4);
  spec.rfq = true;
  spec.assignments.erase("KINGSTON");
  spec.assignments.erase("NORTHPOINT");
  xml::Document stack = BuildStack(spec);
  // One order not marked, one request for quote switched on, two attached files.
  xml::Node first = stack.selectSingleNode("//ORDERGROUP");
  first.selectSingleNode("SENDIT").setText("0");
  first.selectSingleNode("RFQ").setText("1");
  for (const char* path : {"/home/dealer/Plans/Élévation NORD.PDF", "/home/dealer/notes.txt"}) {
    xml::Node file = first.appendChild(stack.createElement("File"));
    AddText(stack, file, "Type", std::string(path).substr(std::string(path).size() - 3));
    AddText(stack, file, "Name", path);
    AddText(stack, file, "FileData", "");
  }
  Page page = Render("orderstacklist", {}, stack, xml::Node(), "orderstacklist");

  xml::NodeList groups = stack.selectNodes("//ORDERGROUP");
  ASSERT_GE(groups.length(), 2);
  for (xml::Node group : groups) {
    const std::string id = group.selectSingleNode("ID").text();
    for (const char* action : {"ordercheck", "ordermode", "ponumber", "pocomment", "contactname",
                               "orderdetailslink", "orderremovelink", "attachfile"}) {
      EXPECT_EQ(page.CountId(action + id), 1) << action << id;
    }
    xml::Node check = page.Id("ordercheck" + id);
    EXPECT_EQ(check.hasAttribute("checked"), group.selectSingleNode("SENDIT").text() == "1") << id;
    EXPECT_EQ(page.Id("ordermode" + id).hasAttribute("checked"),
              group.selectSingleNode("RFQ").text() == "1");
    EXPECT_EQ(page.Id("ponumber" + id).getAttribute("value"),
              group.selectSingleNode("PONUMBER").text());
    EXPECT_EQ(page.Id("contactname" + id).getAttribute("value"),
              group.selectSingleNode("CONTACTNAME").text());
    // Inputs are labelled, so they can be reached and understood from the keyboard.
    for (const char* input : {"ordercheck", "ponumber", "pocomment", "contactname"}) {
      EXPECT_TRUE(page.dom.selectSingleNode("//label[@for=" + xml::XPathLiteral(input + id) + "]"))
          << input << id;
    }
  }
  const std::string first_id = first.selectSingleNode("ID").text();
  std::vector<std::string> types;
  for (xml::Node link : page.dom.selectNodes("//*[@id='remattachfile" + first_id + "']")) {
    types.push_back(link.getAttribute("type"));
  }
  EXPECT_EQ(types, (std::vector<std::string>{"/home/dealer/plans/élévation nord.pdf",
                                             "/home/dealer/notes.txt"}));

  // Every catalog is named; those of no partner are listed apart with the hint.
  const std::string text = page.Text();
  for (xml::Node catalog : stack.selectNodes("//Design/Catalog")) {
    EXPECT_NE(text.find(catalog.selectSingleNode("Identification/Name").text()), std::string::npos);
  }
  xml::NodeList loose = stack.selectNodes("//Design/Catalog[not(ID = ../ORDERGROUP/CATALOGID)]");
  ASSERT_GT(loose.length(), 0) << "the seed should give at least one unassigned catalog";
  EXPECT_EQ(page.dom.selectNodes("//div[contains(@class,'warning')]//li").length(), loose.length());
  for (xml::Node design : stack.selectNodes("//Design")) {
    EXPECT_NE(text.find(design.selectSingleNode("JobInfo/Header/Name").text()), std::string::npos);
  }
}

TEST_F(Views, EmptyStackStillDrawsListTotalsAndProgressPage) {
  xml::Document stack = BuildStack(TwoPartners(0));
  Page list = Render("orderstacklist", {}, stack, xml::Node(), "orderstacklist-empty");
  EXPECT_EQ(list.dom.selectNodes("//input").length(), 0);
  EXPECT_NE(list.Text().find(Res("OST ThereAreNoOrdersStacked")), std::string::npos);

  Page totals = Render("orderstacktotals", {}, stack, xml::Node());
  ASSERT_TRUE(totals.Id("sendorders"));
  EXPECT_TRUE(totals.Id("sendorders").hasAttribute("disabled"));
  EXPECT_EQ(totals.Id("totaldesigns").text(), "0");

  Page go = Render("orderstogo", {}, stack, xml::Node());
  EXPECT_TRUE(go.Id("CancelButton"));
  EXPECT_EQ(go.dom.selectNodes("//*[contains(@id,'OrderProgressLeft')]").length(), 0);
}

TEST_F(Views, ValidationErrorsAreShownPlainlyAndCountedOut) {
  xml::Document stack = BuildStack(TwoPartners(3));
  xml::Node group = stack.selectSingleNode("//ORDERGROUP[2]");
  if (!group) group = stack.selectSingleNode("//ORDERGROUP");
  const std::string cat_id = group.selectSingleNode("CATALOGID").text();
  xml::Node catalog = stack.selectSingleNode("//Catalog[ID='" + cat_id + "']");
  xml::Node error = catalog.appendChild(stack.createElement("ERROR"));
  AddText(stack, error, "CODE", "42");
  AddText(stack, error, "DESCRIPTION", "invalid design", true);
  AddText(stack, error, "MESSAGE", "Hinge side missing on <W3030> & finish \"Navy\"", true);
  AddText(stack, error, "ACTION", "2");
  for (xml::Node g : group.parentNode().selectNodes("ORDERGROUP")) {
    g.selectSingleNode("SENDIT").setText("0");
  }
  AddText(stack, group, "VALIDSTATUS", "2");

  Page page = Render("orderstacklist", {}, stack, xml::Node(), "orderstacklist-errors");
  const std::string id = group.selectSingleNode("ID").text();
  EXPECT_FALSE(page.Id("ordercheck" + id).hasAttribute("checked"));
  xml::Node shown = page.dom.selectSingleNode(
      "//div[contains(@class,'error')]/span[contains(., 'Hinge side missing on <W3030>')]");
  ASSERT_TRUE(shown);
  EXPECT_EQ(shown.text(), "Hinge side missing on <W3030> & finish \"Navy\"");
  EXPECT_EQ(page.dom.selectNodes("//*[local-name()='w3030']").length(), 0);

  Page totals = Render("orderstacktotals", {}, stack, xml::Node(), "orderstacktotals");
  const long marked = stack.selectNodes("//ORDERGROUP[SENDIT='1']").length();
  EXPECT_EQ(totals.Id("totalmarked").text(), std::to_string(marked));
  EXPECT_EQ(totals.Id("totalorders").text(),
            std::to_string(stack.selectNodes("//ORDERGROUP").length()));
  EXPECT_EQ(totals.Id("sendorders").hasAttribute("disabled"), marked == 0);

  Page detail = Render("orderdetail", {id}, stack, xml::Node());
  EXPECT_NE(detail.Text().find("Hinge side missing on <W3030>"), std::string::npos);

  // Only the groups still marked get a progress row, each with its four parts.
  Page go = Render("orderstogo", {}, stack, xml::Node(), "orderstogo");
  EXPECT_EQ(go.dom.selectNodes("//*[contains(@id,'OrderProgressLeft')]").length(), marked);
  for (xml::Node g : stack.selectNodes("//ORDERGROUP")) {
    const std::string gid = g.selectSingleNode("ID").text();
    const bool sent = g.selectSingleNode("SENDIT").text() == "1";
    for (const char* suffix :
         {"OrderProgressLeft", "OrderProgressText", "OrderSpan", "ProgressSpan"}) {
      EXPECT_EQ(go.CountId(gid + suffix), sent ? 1 : 0) << gid << suffix;
    }
    if (sent) {
      EXPECT_EQ(go.Id(gid + "OrderProgressLeft").getAttribute("width"), "0%");
    }
  }
}

TEST_F(Views, ScriptInDataStaysTextAndLongNonAsciiNamesSurvive) {
  StackSpec spec = TwoPartners(2);
  const std::string long_name =
      "Ébénisterie Saint-Jérôme & Fils — " + std::string(220, 'x') + " Øresund ÆØÅ 日本";
  spec.partners[0].name = "<script>alert('p')</script>" + long_name;
  xml::Document stack = BuildStack(spec);
  xml::Node group = stack.selectSingleNode("//ORDERGROUP");
  group.selectSingleNode("COMMENT").setText(
      "<script>alert(1)</script><img src=x onerror=alert(2)>");
  group.selectSingleNode("PONUMBER").setText("\"><script>alert(3)</script>");
  const std::string id = group.selectSingleNode("ID").text();

  Page list = Render("orderstacklist", {}, stack, xml::Node(), "orderstacklist-script");
  EXPECT_EQ(list.Id("pocomment" + id).getAttribute("value"),
            "<script>alert(1)</script><img src=x onerror=alert(2)>");
  EXPECT_EQ(list.Id("ponumber" + id).getAttribute("value"), "\"><script>alert(3)</script>");
  EXPECT_EQ(list.dom.selectNodes("//img").length(), 0);
  EXPECT_NE(list.Text().find("<script>alert('p')</script>" + long_name), std::string::npos);

  Page detail = Render("orderdetail", {id}, stack, xml::Node(), "orderdetail-script");
  EXPECT_NE(detail.Text().find("<script>alert(1)</script>"), std::string::npos);
  EXPECT_NE(detail.Text().find(long_name), std::string::npos);

  xml::Document settings;
  ASSERT_TRUE(settings.loadXML(stack.selectSingleNode("/Orders/SETTINGS").xml()));
  for (const char* view : {"settings", "partnerlist", "status"}) {
    Page page = Render(view, {}, xml::Node(), settings);
    EXPECT_NE(page.Text().find(long_name), std::string::npos) << view;
  }
  Page partner = Render("partner", {"1"}, xml::Node(), settings);
  EXPECT_EQ(partner.Id("NAME1").getAttribute("value"), "<script>alert('p')</script>" + long_name);
}

TEST_F(Views, OrderDetailShowsEveryItemOfTheOrdersCatalogsOnly) {
  StackSpec spec = TwoPartners(3);
  spec.max_items = 40;
  xml::Document stack = BuildStack(spec);
  xml::Node group = stack.selectSingleNode("//ORDERGROUP[count(CATALOGID) > 1]");
  if (!group) group = stack.selectSingleNode("//ORDERGROUP");
  const std::string id = group.selectSingleNode("ID").text();
  Page page = Render("orderdetail", {id}, stack, xml::Node(), "orderdetail");

  std::vector<std::string> expected;
  for (xml::Node cat_id : group.selectNodes("CATALOGID")) {
    for (xml::Node item :
         stack.selectNodes("//Catalog[ID=" + xml::XPathLiteral(cat_id.text()) + "]/Item")) {
      expected.push_back(item.selectSingleNode("LineItemNumber").text() + "|" +
                         item.selectSingleNode("Code").text() + "|" +
                         item.selectSingleNode("Description").text() + "|" +
                         item.selectSingleNode("Quantity").text());
    }
  }
  std::vector<std::string> shown;
  for (xml::Node row : page.dom.selectNodes("//table[contains(@class,'grid')]/tbody/tr")) {
    shown.push_back(
        row.selectSingleNode("td[1]").text() + "|" + row.selectSingleNode("td[2]").text() + "|" +
        row.selectSingleNode("td[3]").text() + "|" + row.selectSingleNode("td[4]").text());
  }
  EXPECT_EQ(shown, expected);
  xml::Node design = group.parentNode();
  const std::string text = page.Text();
  for (const char* path : {"JobInfo/Header/Name", "JobInfo/Profile[Type='BillTo']/Name",
                           "JobInfo/Profile[Type='ShipTo']/Name"}) {
    EXPECT_NE(text.find(GetNodeText(design, path)), std::string::npos) << path;
  }

  Page missing = Render("orderdetail", {"999"}, stack, xml::Node());
  EXPECT_EQ(missing.dom.selectNodes("//tbody/tr").length(), 0);
  EXPECT_NE(missing.Text().find(Res("LBL OrderNotFound")), std::string::npos);

  Err err;
  std::string html;
  EXPECT_FALSE(RenderView("orderdetail", {}, stack, xml::Node(), html, err));
  EXPECT_FALSE(RenderView("nosuchview", {}, stack, xml::Node(), html, err));
  EXPECT_EQ(err.Number, kErrGeneral);
}

TEST_F(Views, SettingsPartnerListPartnerAndStatusPagesCarryTheirContracts) {
  StackSpec spec = TwoPartners(0);
  spec.partners.push_back({3, "Kingston Order Forms", 2});
  xml::Document settings;
  ASSERT_TRUE(settings.loadXML(SettingsXml(spec)));

  Page page = Render("settings", {}, xml::Node(), settings, "settings");
  for (const char* id : {"sortlist", "newcatalog", "editpartnerlist", "setspoolpathbutton",
                         "spoolpath", "setarchivepathbutton", "archivepath", "savebutton"}) {
    EXPECT_EQ(page.CountId(id), 1) << id;
  }
  EXPECT_EQ(page.Id("spoolpath").text(), "/srv/larkedi/Send");
  EXPECT_EQ(
      page.dom.selectSingleNode("//select[@id='sortlist']/option[@selected]").getAttribute("value"),
      "WBT");
  for (xml::Node catalog : settings.selectNodes("/SETTINGS/CATALOG")) {
    const std::string id = catalog.selectSingleNode("ID").text();
    const std::string partner = catalog.selectSingleNode("PARTNERID").text();
    EXPECT_TRUE(page.Id("editcatalog" + id));
    EXPECT_TRUE(page.Id("removecatalog" + id));
    xml::Node chosen =
        page.dom.selectSingleNode("//select[@id='partnerassign" + id + "']/option[@selected]");
    ASSERT_TRUE(chosen) << id;
    EXPECT_EQ(chosen.getAttribute("value"), partner) << id;
    // Every partner can be chosen, by its ID.
    EXPECT_EQ(page.dom.selectNodes("//select[@id='partnerassign" + id + "']/option").length(),
              static_cast<long>(spec.partners.size()) + (partner == "-1" ? 1 : 0));
  }
  // The settings form saves into SETTINGS/<form id>/<input id>.
  xml::Node form = page.dom.selectSingleNode("//form[.//*[@id='savebutton']]");
  ASSERT_TRUE(form);
  for (xml::Node input : form.selectNodes(".//input[@type='text']")) {
    const std::string path =
        "/SETTINGS/" + ToUpper(form.getAttribute("id")) + "/" + ToUpper(input.getAttribute("id"));
    ASSERT_TRUE(settings.selectSingleNode(path)) << path;
    EXPECT_EQ(input.getAttribute("value"), settings.selectSingleNode(path).text());
  }

  Page list = Render("partnerlist", {}, xml::Node(), settings, "partnerlist");
  for (const Partner& p : spec.partners) {
    EXPECT_TRUE(list.Id("editpartner" + std::to_string(p.id)));
    EXPECT_TRUE(list.Id("removepartner" + std::to_string(p.id)));
  }
  EXPECT_TRUE(list.Id("newpartner"));
  EXPECT_TRUE(list.Id("displaysettings"));

  Page partner = Render("partner", {"2"}, xml::Node(), settings, "partner");
  EXPECT_EQ(partner.Id("NAME2").getAttribute("value"), "Cascade Woodworks");
  EXPECT_EQ(partner.Id("MANUFID2").getAttribute("value"), "M2");
  EXPECT_EQ(partner.Id("DEALERID2").getAttribute("value"), "D-2");
  EXPECT_TRUE(partner.Id("KITFILEID2").hasAttribute("checked"));
  EXPECT_EQ(partner.Id("kitfiletextid2").text(), Res("LBL Included"));
  std::vector<std::string> method_ids;
  std::string selected;
  for (xml::Node option : partner.dom.selectNodes("//select[@id='METHODIDLIST2']/option")) {
    std::string digits = std::regex_replace(option.getAttribute("id"), std::regex("[^0-9]"), "");
    method_ids.push_back(digits);
    if (option.hasAttribute("selected")) selected = digits;
  }
  EXPECT_EQ(method_ids, (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(selected, "3");
  EXPECT_FALSE(partner.Id("configmethod2").hasAttribute("disabled"));
  EXPECT_TRUE(partner.Id("savepartner2"));
  EXPECT_TRUE(partner.Id("exitpartner"));
  // An order-form module has nothing to configure.
  Page order_form = Render("partner", {"3"}, xml::Node(), settings);
  EXPECT_TRUE(order_form.Id("configmethod3").hasAttribute("disabled"));

  // Warning mode: every partner, each form complete, option ids still distinct.
  Page warning = Render("partner", {"0", "warning"}, xml::Node(), settings, "partner-warning");
  for (const Partner& p : spec.partners) {
    for (const char* field : {"NAME", "MANUFID", "DEALERID", "KITFILEID", "METHODIDLIST",
                              "savepartner", "configmethod", "kitfiletextid"}) {
      EXPECT_EQ(warning.CountId(field + std::to_string(p.id)), 1) << field << p.id;
    }
  }
  EXPECT_TRUE(warning.dom.selectSingleNode("//div[contains(@class,'message warning')]"));

  // The status page leaves out the order-form partner, and only on the page.
  Page status = Render("status", {}, xml::Node(), settings, "status");
  for (int id : {1, 2}) {
    EXPECT_TRUE(status.Id("statusbutton" + std::to_string(id)));
    EXPECT_EQ(status.Id("partnerpassword" + std::to_string(id)).getAttribute("type"), "password");
  }
  EXPECT_FALSE(status.Id("statusbutton3"));
  EXPECT_FALSE(status.Id("partnerpassword3"));
  EXPECT_TRUE(settings.selectSingleNode("/SETTINGS/PARTNER[ID='3']"));
}

TEST_F(Views, DealerServerListAndDetailAreRendered) {
  xml::Document list;
  ASSERT_TRUE(list.loadXML(
      "<DATA><ORDERS>"
      "<ORDER><SEQUENCE>1042</SEQUENCE><GUID>AAAABBBBCCCCDDDDEEEEFFFF00001111</GUID>"
      "<PONUMBER>Q24-0001</PONUMBER><STATUS>Shipped</STATUS></ORDER>"
      "<ORDER><SEQUENCE>1043</SEQUENCE><GUID>AAAABBBBCCCCDDDDEEEEFFFF00002222</GUID>"
      "<PONUMBER>&lt;script&gt;x&lt;/script&gt;</PONUMBER><STATUS>Entered</STATUS></ORDER>"
      "</ORDERS><PAGE>2</PAGE><PAGECOUNT>3</PAGECOUNT>"
      "<IMAGEPATH><![CDATA[file:///srv/larkedi/html/]]></IMAGEPATH><CALLBACKPAGE><![CDATA[]]></"
      "CALLBACKPAGE>"
      "<DETAILPAGE><![CDATA[]]></DETAILPAGE><NEXTMONTHDISPLAY><![CDATA[April "
      "2024]]></NEXTMONTHDISPLAY>"
      "<CURRMONTHDISPLAY><![CDATA[March 2024]]></CURRMONTHDISPLAY>"
      "<PREVMONTHDISPLAY><![CDATA[February 2024]]></PREVMONTHDISPLAY></DATA>"));
  Page page = Render("ediorderlist", {}, list, xml::Node(), "ediorderlist");
  EXPECT_NE(page.Id("statusprevmonth").text().find("February 2024"), std::string::npos);
  EXPECT_NE(page.Id("statusnextmonth").text().find("April 2024"), std::string::npos);
  EXPECT_EQ(page.Id("statusorder2").getAttribute("name"), "AAAABBBBCCCCDDDDEEEEFFFF00002222");
  EXPECT_TRUE(page.Id("statuspage1"));
  EXPECT_FALSE(page.Id("statuspage2"));  // the current page is not a link
  EXPECT_TRUE(page.Id("statuspage3"));
  EXPECT_EQ(page.dom.selectNodes("//tbody/tr").length(), 2);
  EXPECT_EQ(page.Text().find("file:///srv"), std::string::npos);

  // The dealer server's order detail goes through the order detail style sheet too.
  xml::Document detail;
  ASSERT_TRUE(
      detail.loadXML("<DATA><PONUMBER>Q24-0001</PONUMBER><STATUS>Shipped</STATUS>"
                     "<LINE><CODE>B12</CODE><QTY>2</QTY></LINE><LINE><CODE>W3030</CODE><QTY>1</"
                     "QTY></LINE></DATA>"));
  Page shown = Render("orderdetail", {}, detail, xml::Node(), "orderdetail-dealer");
  EXPECT_NE(shown.Text().find("Shipped"), std::string::npos);
  EXPECT_EQ(shown.dom.selectNodes("//tbody/tr").length(), 2);
  EXPECT_EQ(shown.dom.selectSingleNode("//tbody/tr[2]/td[1]").text(), "W3030");
}

TEST_F(Views, HomeAndFramePagesAreLocalised) {
  Page home = Render("home", {}, xml::Node(), xml::Node(), "home");
  for (const char* id : {"idOrcaedisite", "idOrcadesignsite", "urloxnet", "urlpaysupport"}) {
    EXPECT_TRUE(home.Id(id)) << id;
  }
  EXPECT_NE(home.Text().find(Res("LBL HomeTitle")), std::string::npos);

  std::string frames = LoadLocalizedFile("frames.htm", "lkedi.resx", true);
  xml::Document dom;
  ASSERT_TRUE(xml::ParseHtml(frames, dom));
  std::vector<std::string> names;
  for (xml::Node frame : dom.selectNodes("//frameset/frame"))
    names.push_back(frame.getAttribute("name"));
  EXPECT_EQ(names, (std::vector<std::string>{"fDocA", "fDocB", "fDocC"}));
  EXPECT_EQ(Split(dom.selectSingleNode("//frameset").getAttribute("rows"), ',').size(), 3u);
  EXPECT_EQ(dom.selectSingleNode("//title").text(), Res("FRM EDI"));
}

// Every text placeholder of the shipped pages names a key of the language files.
TEST(ViewFiles, EveryPlaceholderIsAKnownResourceKey) {
  std::set<std::string> keys;
  std::string list = testing::ReadFileOrEmpty(testing::SourceDir() + "/html/resource-keys.txt");
  for (const std::string& line : Split(list, '\n')) {
    if (!line.empty()) keys.insert(line);
  }
  int placeholders = 0;
  for (const char* file :
       {"orderstacklist.xsl", "orderstacktotals.xsl", "orderdetail.xsl", "orderstogo.xsl",
        "settings.xsl", "partnerlist.xsl", "partner.xsl", "Status.xsl", "ediorderlist.xsl",
        "frames.htm", "home.htm", "top.htm", "blank.htm"}) {
    xml::Document doc;
    ASSERT_TRUE(doc.load(testing::SourceDir() + "/html/" + file)) << file;
    for (xml::Node ids : doc.selectNodes("//IDS")) {
      ++placeholders;
      EXPECT_TRUE(keys.count(ids.getAttribute("Name"))) << file << ": " << ids.getAttribute("Name");
    }
  }
  EXPECT_GT(placeholders, 100);
}

TEST(ParseHtml, ReadsLooseHtmlAndKeepsEscapedTextAsText) {
  xml::Document dom;
  std::string error;
  ASSERT_TRUE(
      xml::ParseHtml("<p id=a>one<br>two &amp; &lt;script&gt;<P ID=B>three&nbsp;", dom, &error))
      << error;
  EXPECT_EQ(dom.selectSingleNode("//p[@id='a']").text(), "onetwo & <script>");
  EXPECT_EQ(dom.selectSingleNode("//p[@id='B']").text(), "three\xC2\xA0");
  EXPECT_EQ(dom.selectNodes("//script").length(), 0);
  ASSERT_TRUE(xml::ParseHtml("<div><script>alert(1)</script></div>", dom));
  EXPECT_EQ(dom.selectNodes("//script").length(), 1);
}

}  // namespace
}  // namespace larkedi
