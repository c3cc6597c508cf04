#include "presentation/status_views.h"

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "platform/ui/window_server.h"
#include "support/resx.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

// vbObjectError + 6001: the error SetElement raises for a second top-level element.
constexpr long kErrOnlyOneTopElement = static_cast<long>(0x80041771L - 0x100000000L);

constexpr const char* kMonthKeys[12] = {
    "LBL January", "LBL February", "LBL March",     "LBL April",   "LBL May",      "LBL June",
    "LBL July",    "LBL August",   "LBL September", "LBL October", "LBL November", "LBL December"};

std::vector<std::string> SplitPath(std::string_view path) {
  std::vector<std::string> levels;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string_view::npos) end = path.size();
    if (end > start) levels.emplace_back(path.substr(start, end - start));
    start = end + 1;
  }
  return levels;
}

std::string Param(const char* name, const std::string& value) {
  return std::string(name) + "=" + PercentEncode(value);
}

}  // namespace

StatusMonth CurrentStatusMonth() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1};
}

StatusMonth AddMonths(StatusMonth month, long offset) {
  const long index = static_cast<long>(month.year) * 12 + (month.month - 1) + offset;
  long year = index / 12;
  long m = index % 12;
  if (m < 0) {
    m += 12;
    --year;
  }
  return {static_cast<int>(year), static_cast<int>(m) + 1};
}

long ParseMonthOffset(std::string_view text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty() || trimmed.size() > 6) return 0;
  std::size_t i = (trimmed[0] == '-' || trimmed[0] == '+') ? 1 : 0;
  if (i == trimmed.size()) return 0;
  for (std::size_t j = i; j < trimmed.size(); ++j) {
    if (!std::isdigit(static_cast<unsigned char>(trimmed[j]))) return 0;
  }
  return std::strtol(trimmed.c_str(), nullptr, 10);
}

std::string FormatMonthYear(const StatusMonth& month) {
  const int m = month.month >= 1 && month.month <= 12 ? month.month : 1;
  return ResParam("LBL MonthYearParam", {Res(kMonthKeys[m - 1]), std::to_string(month.year)});
}

Err SetElement(xml::Document& doc, std::string_view path, long index, std::string_view name,
               std::string_view value, bool bCData) {
  const std::vector<std::string> levels = SplitPath(path);
  auto top_error = [] {
    return Err::Raise(kErrOnlyOneTopElement, "SetElement", Res("MSG OnlyOneTopElementAllowed"));
  };
  if (levels.empty() || name.empty()) {
    return Err::Raise(kErrGeneral, "SetElement", "No element path or name.");
  }
  xml::Node parent = doc;
  std::string sub;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    sub += (i == 0 ? "" : "/") + levels[i];
    const bool last = i + 1 == levels.size();
    xml::NodeList found = doc.selectNodes(sub);
    xml::Node node;
    if (found.length() > 0) {
      if (!last) {
        node = found.item(0);
      } else if (index >= 0 && index < found.length()) {
        node = found.item(index);
      } else {
        if (i == 0) return top_error();
        node = parent.appendChild(doc.createElement(levels[i]));
      }
    } else {
      if (i == 0 && !doc.selectSingleNode("/*").isNull()) return top_error();
      node = parent.appendChild(doc.createElement(FoldAscii(levels[i])));
    }
    if (node.isNull()) return top_error();
    parent = node;
  }
  const std::string upper = FoldAscii(name);
  for (xml::Node child : parent.childNodes()) {
    if (child.nodeType() == xml::NodeType::Element &&
        (child.nodeName() == name || child.nodeName() == upper)) {
      parent.removeChild(child);
    }
  }
  xml::Node element = doc.createElement(upper);
  element.appendChild(bCData ? doc.createCDATASection(value) : doc.createTextNode(value));
  parent.appendChild(element);
  return {};
}

std::string StatusLoginAddress(const std::string& server, const DealerLogin& login) {
  return server + "loginremote2.asp?" + Param("manufcode", login.manufcode) + "&" +
         Param("dealercode", login.dealercode) + "&" + Param("pw", login.password) + "&" +
         Param("lang", login.language);
}

std::string StatusListAddress(const std::string& server, const DealerLogin& login,
                              const StatusMonth& month, const std::string& sort, long page,
                              long page_length) {
  return server + "xmlorderlist.asp?" + Param("manufcode", login.manufcode) + "&" +
         Param("dealercode", login.dealercode) + "&" + Param("pw", login.password) + "&" +
         Param("fldset", "10111010000") + "&" + Param("y", std::to_string(month.year)) + "&" +
         Param("m", std::to_string(month.month)) + "&" + Param("sort", sort) + "&" +
         Param("page", std::to_string(page)) + "&" + Param("pagelen", std::to_string(page_length)) +
         "&" + Param("lang", login.language);
}

std::string StatusOrderAddress(const std::string& server, const std::string& guid,
                               const std::string& language) {
  return server + "xmlorderdetail.asp?" + Param("guid", guid) + "&" + Param("lang", language);
}

std::string HidePassword(const std::string& address) {
  const std::size_t query = address.find('?');
  if (query == std::string::npos) return address;
  std::string out = address.substr(0, query + 1);
  std::size_t at = query + 1;
  while (at <= address.size()) {
    std::size_t end = address.find('&', at);
    if (end == std::string::npos) end = address.size();
    const std::string pair = address.substr(at, end - at);
    if (LowerAscii(pair.substr(0, 3)) == "pw=") {
      out += pair.substr(0, 3) + "***";
    } else {
      out += pair;
    }
    if (end < address.size()) out += '&';
    at = end + 1;
  }
  return out;
}

bool StatusPanelAllowed(const std::string& address, const std::string& server) {
  if (address == "about:blank") return true;
  const std::string site = ui::SiteOfAddress(server);
  return !site.empty() && ui::SiteOfAddress(address) == site;
}

Err PrepareStatusList(xml::Document& list, const StatusMonth& month,
                      const std::string& image_path) {
  const std::pair<const char*, std::string> children[] = {
      {"IMAGEPATH", image_path},
      {"CALLBACKPAGE", ""},
      {"DETAILPAGE", ""},
      {"NEXTMONTHDISPLAY", FormatMonthYear(AddMonths(month, 1))},
      {"CURRMONTHDISPLAY", FormatMonthYear(month)},
      {"PREVMONTHDISPLAY", FormatMonthYear(AddMonths(month, -1))},
  };
  for (const auto& [name, value] : children) {
    if (Err err = SetElement(list, "DATA", 0, name, value, true)) return err;
  }
  return {};
}

}  // namespace larkedi
