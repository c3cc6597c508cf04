#include "presentation/frame_pages.h"

#include <cctype>

#include "support/module.h"
#include "support/resx.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

std::vector<std::string> SplitRows(const std::string& rows) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : rows) {
    if (c == ',') {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  parts.push_back(current);
  return parts;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Where `needle` (lower case) occurs in `text` from `from` on, without regard to case.
std::size_t FindNoCase(const std::string& text, const std::string& needle, std::size_t from) {
  if (needle.empty() || text.size() < needle.size()) return std::string::npos;
  for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
    std::size_t k = 0;
    while (k < needle.size() &&
           std::tolower(static_cast<unsigned char>(text[i + k])) == needle[k]) {
      ++k;
    }
    if (k == needle.size()) return i;
  }
  return std::string::npos;
}

// The references of a page's images, made absolute for ".gif" and ".jpg".
std::string FixBothImagePaths(const std::string& html, const std::string& base) {
  if (base.empty()) return html;
  return FixImagePaths(FixImagePaths(html, ".gif", base), ".jpg", base);
}

}  // namespace

std::string PercentEncodePath(std::string_view path) {
  return PercentEncode(path, "/");
}

std::string FixImagePaths(const std::string& html, const std::string& extension,
                          const std::string& base) {
  const std::string ext = LowerAscii(extension);
  std::string out = html;
  std::size_t from = 0;
  for (std::size_t at; (at = FindNoCase(out, ext, from)) != std::string::npos;) {
    from = at + ext.size();
    // Back to the quote that opens the reference; a ":" first means it is absolute, and
    // markup or a line end means the extension is not in a reference at all.
    std::size_t quote = std::string::npos;
    for (std::size_t back = 1; back <= 100 && back <= at; ++back) {
      const char c = out[at - back];
      if (c == '"' || c == '\'') {
        quote = at - back;
        break;
      }
      if (c == ':' || c == '<' || c == '>' || c == '\n' || c == '\r') break;
    }
    if (quote == std::string::npos) continue;
    // The reference ends with the extension, and the quote opens a value (attr="..." or
    // url('...')), so text that merely mentions a file name is left alone.
    if (from >= out.size() || out[from] != out[quote]) continue;
    std::size_t before = quote;
    while (before > 0 && (out[before - 1] == ' ' || out[before - 1] == '\t')) --before;
    if (before == 0 || (out[before - 1] != '=' && out[before - 1] != '(')) continue;
    if (out[quote + 1] == '/') continue;
    out.insert(quote + 1, base);
    from += base.size();  // on after the reference just rewritten
  }
  return out;
}

void PrintPage(const FramePages& pages, const std::string& html,
               const std::function<void(const std::string&)>& preview) {
  WriteLog("Entering PrintPage()");
  if (preview) preview(FixBothImagePaths(html, pages.html_address));
}

ui::FrameModel* FramePages::FrameAt(int index) const {
  switch (index) {
    case 0:
      return fDocA;
    case 1:
      return fDocB;
    case 2:
      return fDocC;
    default:
      return nullptr;
  }
}

std::string GetIdName(std::string_view id) {
  std::string name;
  for (char c : id) {
    if (!std::isdigit(static_cast<unsigned char>(c))) {
      name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
  }
  return name;
}

long GetIdNumber(std::string_view id) {
  long number = 0;
  for (char c : id) {
    if (!std::isdigit(static_cast<unsigned char>(c))) continue;
    if (number > 99999999) return -1;  // more digits than any ID the module gives
    number = number * 10 + (c - '0');
  }
  return number;
}

std::string FrameRows(const FramePages& pages) {
  if (!pages.window) return {};
  return pages.window->GetElementById("frameset").getAttribute("rows");
}

void SetFrameRowHeight(const FramePages& pages, int row, int height) {
  if (!pages.window || row < 0) return;
  ui::HtmlElement set = pages.window->GetElementById("frameset");
  if (!set) return;
  std::vector<std::string> parts = SplitRows(set.getAttribute("rows"));
  while (static_cast<int>(parts.size()) < 3) parts.push_back(parts.empty() ? "*" : "0");
  if (row >= static_cast<int>(parts.size())) return;
  parts[row] = std::to_string(height);
  std::string rows;
  for (std::size_t i = 0; i < parts.size(); ++i) rows += (i ? "," : "") + parts[i];
  if (rows != set.getAttribute("rows")) set.setAttribute("rows", rows);
}

std::string FrameDocument(const std::string& body, const std::string& body_class) {
  std::string page =
      "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"/>"
      "<link rel=\"stylesheet\" type=\"text/css\" href=\"larkedi.css\"/></head><body";
  if (!body_class.empty()) page += " class=\"" + ui::EscapeHtml(body_class) + "\"";
  return page + ">" + body + "</body></html>";
}

void SetFrameBody(ui::FrameModel* frame, const std::string& body, const std::string& body_class) {
  if (!frame) return;
  std::string error;
  if (!frame->LoadHtml(FrameDocument(body, body_class), &error)) {
    frame->LoadHtml(FrameDocument("<p>" + ui::EscapeHtml(error) + "</p>"));
  }
}

void ShowFrameMessage(const FramePages& pages, int frame, const std::string& text) {
  SetFrameBody(pages.FrameAt(frame), "<CENTER><B><I>" + text + "</I></B></CENTER>");
}

std::string ErrorHtml(const std::string& resource_text, const std::string& reason) {
  return "<FONT color=red>" + ui::EscapeHtml(resource_text) + "</FONT><BR>" +
         ui::EscapeHtml(reason);
}

std::string BuildMenuHtml(const std::vector<std::string>& items) {
  if (items.size() % 3 != 0) return {};
  std::string html =
      "<HTML><HEAD><BODY><STYLE> body{background-color:white;font-family:verdana,arial,"
      "helvetica;margin:0;}\r\nA:link{COLOR: #FFFFFF;text-decoration:none;}\r\n"
      "A:visited{COLOR: #FFFFFF;text-decoration:none;}\r\nA:hover{TEXT-DECORATION: "
      "underline;}</STYLE>"
      "<TABLE ID=\"ltblmenu\" BORDER=\"0\" STYLE=\"margin:0;  font-size:8pt; "
      "font-family:Verdana; font-weight:bold; color:white\" width=\"100%\" cellpadding=\"2\" "
      "cellspacing=\"0\" height=\"100%\"><TR><TD ALIGN=\"left\" width=\"10%\" "
      "STYLE=\"background-color:#003399;\">";
  for (std::size_t i = 0; i < items.size(); i += 3) {
    if (i > 0) html += "&nbsp;&nbsp;";
    html += "<button id=\"" + ui::EscapeHtml(items[i]) +
            "\" Style=\"font: 8pt verdana;background-color:#40e0d0;border-color:black;"
            "height:24;width:200;cursor:hand \" HREF=\"" +
            ui::EscapeHtml(items[i + 1]) + "\">" + ui::EscapeHtml(items[i + 2]) + "</button>";
  }
  html +=
      "</TD><TD width=\"90%\" STYLE=\"background-color:#003399;filter:alpha(opacity=100, "
      "finishopacity=0, style=1);\"></TD></TR></TABLE></BODY></HTML>";
  return html;
}

bool LoadPage(const FramePages& pages, int frame, const std::string& file_name,
              const xml::Node& docSettings, Err& err) {
  err.Clear();
  ui::FrameModel* target = pages.FrameAt(frame);
  SetFrameRowHeight(pages, 2, 0);
  if (!target) return true;
  std::string text = LoadLocalizedFile(file_name, "lkedi.resx", true);
  if (!pages.html_address.empty()) {
    // Images of a page in a sub-folder of html/ (Help/) are found beside it.
    const std::string path = ResolveHtmlPath(file_name);
    const std::string html = ModulePath("html") + "/";
    std::string folder;
    if (path.rfind(html, 0) == 0) {
      const std::string inside = path.substr(html.size());
      const std::size_t slash = inside.rfind('/');
      if (slash != std::string::npos) folder = PercentEncodePath(inside.substr(0, slash + 1));
    }
    text = FixBothImagePaths(text, pages.html_address + folder);
  }
  std::string reason;
  if (text.empty() || !target->LoadHtml(text, &reason)) {
    err = Err::Raise(kErrComponent, "LoadPage",
                     file_name + (reason.empty() ? std::string(": not found") : ": " + reason));
    return false;
  }
  for (ui::HtmlElement anchor : target->anchors()) {
    std::string href = Trim(anchor.href());
    for (std::size_t at; (at = LowerAscii(href).find("about:blank")) != std::string::npos;) {
      href.erase(at, 11);
    }
    if (href != anchor.href()) anchor.setHref(href);
  }
  if (!docSettings) return true;
  for (ui::HtmlElement form : target->forms()) {
    const std::string form_id = Trim(form.id());
    if (form_id.empty()) continue;
    xml::Node section = docSettings.selectSingleNode("/SETTINGS/" + Upper(form_id));
    if (section.isNull()) continue;
    for (ui::HtmlElement input : form.elements()) {
      if (input.type() != "text" || input.tagName() != "input" || input.id().empty()) continue;
      xml::Node child = section.selectSingleNode(Upper(input.id()));
      input.setValue(child.isNull() ? "" : child.text());
    }
  }
  return true;
}

void DisplayTotals(const FramePages& pages, const StyleSheetTable& table,
                   const xml::Node& docOrders) {
  SetFrameRowHeight(pages, 2, 35);
  std::string html;
  Err err;
  if (!table.TransformXmlDoc(docOrders, "orderstacktotals",
                             Res("MSG ErrorLoadingOrderStackTotalsXSL"), "", "", html, err)) {
    WriteLog("DisplayTotals: " + err.Description);
    SetFrameBody(pages.fDocC, ErrorHtml(Res("MSG ErrorTransformationTotals"), err.Description),
                 "strip");
    return;
  }
  SetFrameBody(pages.fDocC, html, "view-orderstacktotals strip");
}

void ShowOrderStack(const FramePages& pages, const StyleSheetTable& table,
                    const xml::Node& docOrders) {
  const bool has_designs = docOrders && !docOrders.selectSingleNode("/Orders/Design").isNull();
  if (!has_designs) {
    SetFrameBody(pages.fDocB, Res("OST ThereAreNoOrdersStacked") + "<BR><BR>");
  } else {
    std::string html;
    Err err;
    if (table.TransformXmlDoc(docOrders, "orderstacklist", Res("MSG ErrorLoadingOrderStackListXSL"),
                              "", "", html, err)) {
      SetFrameBody(pages.fDocB, FixBothImagePaths(html, pages.html_address), "view-orderstacklist");
    } else {
      WriteLog("DisplayEDI: " + err.Description);
      SetFrameBody(pages.fDocB,
                   ErrorHtml(Res("MSG ErrorLoadingOrderStackListXSL"), err.Description));
    }
  }
  DisplayTotals(pages, table, docOrders);
}

Err DisplayOrder(const FramePages& pages, const StyleSheetTable& table, const xml::Node& docOrders,
                 long orderId) {
  WriteLog("Entering DisplayOrder()");
  std::string html;
  Err err;
  if (!table.TransformXmlDoc(docOrders, "orderdetail", Res("MSG CannotLoadOrderXSLFile"), "OrderID",
                             std::to_string(orderId), html, err)) {
    err.Source = "DisplayOrder";
    return err;
  }
  const std::string menu = BuildMenuHtml(
      {"lmenureturn", "#", Res("BTN ReturnToOrders"), "lmenuprint", "#", Res("BTN PrintDetails")});
  if (pages.fDocC) pages.fDocC->LoadHtml(menu);
  SetFrameRowHeight(pages, 2, 35);
  SetFrameBody(pages.fDocB, FixBothImagePaths(html, pages.html_address), "view-orderdetail");
  return {};
}

}  // namespace larkedi
