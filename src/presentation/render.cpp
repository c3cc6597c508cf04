#include "presentation/render.h"

#include <cctype>

#include "support/module.h"
#include "support/resx.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

constexpr const char* kSource = "RenderView";

struct ViewSpec {
  const char* name;
  const char* key;        // style sheet key; empty for the static home page
  bool settings;          // input is the settings document
  const char* error_key;  // resource text for a style sheet that does not load
  bool strip;             // drawn in the bottom strip
};

constexpr ViewSpec kViews[] = {
    {"orderstacklist", "orderstacklist", false, "MSG ErrorLoadingOrderStackListXSL", false},
    {"orderstacktotals", "orderstacktotals", false, "MSG ErrorLoadingOrderStackTotalsXSL", true},
    {"orderdetail", "orderdetail", false, "MSG CannotLoadOrderXSLFile", false},
    {"orderstogo", "orderstogo", false, "MSG ErrorLoadingOrdersToGoXSLFile", false},
    {"settings", "settings", true, "MSG ErrorLoadingSettingsXSLFile", false},
    {"partnerlist", "partnerlist", true, "MSG ErrorLoadingSettingsXSLFile", false},
    {"partner", "partner", true, "MSG ErrorLoadingPartnerXSLFile", false},
    {"status", "Status", true, "MSG CannotLoadStatusXSLFile", false},
    {"ediorderlist", "ediorderlist", false, "MSG CannotLoadStatusXSLFile", false},
    {"home", "", false, "", false},
};

const ViewSpec* FindView(std::string_view view) {
  const std::string name = LowerAscii(Trim(view));
  for (const ViewSpec& spec : kViews) {
    if (name == spec.name) return &spec;
  }
  return nullptr;
}

bool IsNumber(const std::string& text) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// The document node of whatever the caller handed in, so the style sheets see the root
// they expect ("/Orders", "/SETTINGS", "/DATA").
xml::Node AsDocument(const xml::Node& node) {
  if (!node) return {};
  if (node.nodeType() == xml::NodeType::Document) return node;
  return node.ownerDocument();
}

// The localised home page's body content.
bool HomeBody(std::string& body, Err& err) {
  std::string text = LoadLocalizedFile("home.htm", "lkedi.resx", true);
  xml::Document page;
  if (text.empty() || !page.loadXML(text)) {
    err = Err::Raise(kErrComponent, kSource, "home.htm: " + page.parseErrorReason());
    return false;
  }
  body.clear();
  for (xml::Node child : page.selectNodes("/html/body/node()")) body += child.xml();
  return true;
}

std::string Page(const ViewSpec& spec, const std::string& title, const std::string& body) {
  std::string css = ReadHtmlFile("larkedi.css", true);
  std::string lang = Module().LanguageCode.empty() ? "en" : Module().LanguageCode;
  std::string page = "<!DOCTYPE html>\n<html lang=\"" + xml::EscapeXmlText(lang, true) +
                     "\">\n<head>\n<meta charset=\"utf-8\">\n"
                     "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
                     "<title>" +
                     xml::EscapeXmlText(title) + "</title>\n<style>\n" + css +
                     "\n</style>\n</head>\n";
  page += std::string("<body class=\"view-") + spec.name + (spec.strip ? " strip" : "") + "\">\n";
  page += body;
  page += "\n</body>\n</html>\n";
  return page;
}

}  // namespace

const std::vector<std::string>& RenderableViews() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> v;
    for (const ViewSpec& spec : kViews) v.emplace_back(spec.name);
    return v;
  }();
  return names;
}

xml::Document StatusSettingsCopy(const xml::Node& docSettings) {
  xml::Document copy;
  xml::Node source = AsDocument(docSettings);
  if (!source || !copy.loadXML(source.xml())) return copy;
  for (xml::Node method : copy.selectNodes("//METHOD[@legacy='1'][OBJECTNAME='ORDR']")) {
    const std::string id = Trim(method.selectSingleNode("ID").text());
    if (id.empty()) continue;
    for (xml::Node partner :
         copy.selectNodes("//PARTNER[normalize-space(METHODID)=" + xml::XPathLiteral(id) + "]")) {
      partner.parentNode().removeChild(partner);
    }
  }
  return copy;
}

bool CheckRenderInput(std::string_view view, const std::vector<std::string>& args,
                      const xml::Node& docOrders, const xml::Node& docSettings, Err& err) {
  err.Clear();
  const ViewSpec* spec = FindView(view);
  if (!spec || !*spec->key) return true;
  const std::string name = spec->name;
  xml::Node input = AsDocument(spec->settings ? docSettings : docOrders);
  xml::Node root = input ? input.selectSingleNode("/*") : xml::Node();
  const std::string root_name = root ? root.nodeName() : std::string();
  auto fail = [&](const std::string& reason) {
    err = Err::Raise(kErrGeneral, kSource, reason);
    return false;
  };
  const std::string arg = args.empty() ? std::string() : Trim(args[0]);
  if (spec->settings) {
    if (root_name != "SETTINGS") {
      return fail("The view " + name + " needs a settings document (root SETTINGS); " +
                  (root ? "this one's root is " + root_name + "." : "there is none."));
    }
    const bool warning = args.size() > 1 && LowerAscii(Trim(args[1])) == "warning";
    if (name == "partner" && !warning && !arg.empty() &&
        !input.selectSingleNode("/SETTINGS/PARTNER[normalize-space(ID)=" + xml::XPathLiteral(arg) +
                                "]")) {
      return fail("There is no partner " + arg + " in the settings.");
    }
    return true;
  }
  if (name == "ediorderlist") {
    if (root_name != "DATA") {
      return fail("The view ediorderlist needs a dealer server's order list (root DATA); " +
                  (root ? "this one's root is " + root_name + "." : std::string("there is none.")));
    }
    return true;
  }
  if (name == "orderdetail" && root_name != "Orders") return true;  // a dealer server's detail
  if (root_name != "Orders") {
    return fail("The view " + name + " needs an order stack (root Orders); " +
                (root ? "this one's root is " + root_name + "." : std::string("there is none.")));
  }
  if (name == "orderdetail" && !arg.empty() &&
      !input.selectSingleNode(
          "/Orders/Design/ORDERGROUP[normalize-space(ID)=" + xml::XPathLiteral(arg) + "]")) {
    return fail("There is no order " + arg + " in the order stack.");
  }
  return true;
}

bool RenderView(const StyleSheetTable& table, std::string_view view,
                const std::vector<std::string>& args, const xml::Node& docOrders,
                const xml::Node& docSettings, std::string& html, Err& err) {
  html.clear();
  err.Clear();
  const ViewSpec* spec = FindView(view);
  if (!spec) {
    err = Err::Raise(kErrGeneral, kSource, "Unknown view: " + std::string(view));
    return false;
  }
  const std::string title = Res("FRM EDI");
  if (!*spec->key) {
    std::string body;
    if (!HomeBody(body, err)) return false;
    html = Page(*spec, title, body);
    return true;
  }

  xml::Node input = AsDocument(spec->settings ? docSettings : docOrders);
  if (!input || !input.selectSingleNode("/*")) {
    err = Err::Raise(kErrGeneral, kSource,
                     std::string("The view ") + spec->name + " needs the " +
                         (spec->settings ? "settings" : "order") + " document.");
    return false;
  }

  std::string param_name, param_value;
  std::vector<std::pair<std::string, std::string>> more;
  xml::Document status_copy;
  const std::string name = spec->name;
  if (name == "orderdetail" || name == "partner") {
    const bool orders_root = name == "partner" || input.selectSingleNode("/Orders");
    if (orders_root && (args.empty() || !IsNumber(Trim(args[0])))) {
      err = Err::Raise(kErrGeneral, kSource, "The view " + name + " needs a numeric ID.");
      return false;
    }
    param_name = name == "orderdetail" ? "OrderID" : "whichpartner";
    param_value = args.empty() ? "" : Trim(args[0]);
    if (name == "partner" && args.size() > 1 && LowerAscii(Trim(args[1])) == "warning") {
      more.emplace_back("msgwarning", "1");
    }
  } else if (name == "status") {
    status_copy = StatusSettingsCopy(input);
    input = status_copy;
  }

  std::string body;
  if (more.empty()) {
    if (!table.TransformXmlDoc(input, spec->key, Res(spec->error_key), param_name, param_value,
                               body, err)) {
      return false;
    }
  } else {
    // Two parameters: the table's routine passes one, so the template is run here.
    xml::Document sheet;
    xml::Template tmpl;
    std::string reason;
    if (!sheet.loadXML(table.Item(spec->key))) {
      reason = sheet.parseErrorReason();
    } else if (!tmpl.setStylesheet(sheet, &reason) && reason.empty()) {
      reason = "The style sheet is not valid XSLT.";
    }
    if (!reason.empty()) {
      err = Err::Raise(kErrComponent, std::string("RenderView using ") + spec->key,
                       Res(spec->error_key) + "\r\n" + reason);
      return false;
    }
    xml::Processor processor(tmpl);
    processor.addParameter(param_name, param_value);
    for (const auto& [pname, pvalue] : more) processor.addParameter(pname, pvalue);
    processor.setInput(input);
    if (!processor.transform()) {
      err = Err::Raise(kErrComponent, std::string("RenderView using ") + spec->key,
                       processor.error());
      return false;
    }
    body = processor.output();
  }
  html = Page(*spec, title, body);
  return true;
}

bool RenderView(std::string_view view, const std::vector<std::string>& args,
                const xml::Node& docOrders, const xml::Node& docSettings, std::string& html,
                Err& err) {
  StyleSheetTable table;
  table.FillStyleSheets(AsDocument(docSettings));
  return RenderView(table, view, args, docOrders, docSettings, html, err);
}

}  // namespace larkedi
