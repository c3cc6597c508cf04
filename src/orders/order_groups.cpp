// Order groups: one ORDERGROUP per partner that receives at least one catalog of a design.
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "host/frm_edi.h"
#include "orders/stack_files.h"
#include "support/log.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

// The value of a partner ID compared as a number: digits with an optional sign and
// fraction, blanks around it. Anything else compares equal to nothing.
std::optional<double> NumberValue(std::string_view text) {
  std::string t = Trim(text);
  if (t.empty()) return std::nullopt;
  std::size_t i = 0;
  if (t[0] == '-') i = 1;
  bool digits = false, point = false;
  for (; i < t.size(); ++i) {
    if (t[i] >= '0' && t[i] <= '9') {
      digits = true;
    } else if (t[i] == '.' && !point) {
      point = true;
    } else {
      return std::nullopt;
    }
  }
  if (!digits) return std::nullopt;
  return std::strtod(t.c_str(), nullptr);
}

xml::Node FirstChild(const xml::Node& parent, std::string_view name) {
  for (xml::Node c = parent.firstChild(); c; c = c.nextSibling()) {
    if (c.nodeType() == xml::NodeType::Element && c.nodeName() == name) return c;
  }
  return {};
}

}  // namespace

void frmEDI::LoadOrderGroups() {
  WriteLog("Entering LoadOrderGroups().");
  xml::Node settings = docOrders.selectSingleNode("/Orders/SETTINGS");

  // How many settings catalogs assign each (folded) code to each partner number.
  std::unordered_map<std::string, std::map<double, int>> assigned;
  struct Partner {
    std::string id;
    std::string name;
    std::optional<double> number;
  };
  std::vector<Partner> partners;
  if (settings) {
    for (xml::Node c : settings.selectNodes("CATALOG")) {
      // A catalog with several PARTNERID elements is assigned to each of them, once.
      std::set<double> numbers;
      for (xml::Node pid : c.selectNodes("PARTNERID")) {
        if (auto n = NumberValue(pid.text())) numbers.insert(*n);
      }
      for (double n : numbers) ++assigned[FoldAscii(GetNodeText(c, "CODE"))][n];
    }
    for (xml::Node p : settings.selectNodes("PARTNER")) {
      const std::string id = GetNodeText(p, "ID");
      partners.push_back({id, GetNodeText(p, "NAME"), NumberValue(id)});
    }
  }
  const bool twins = GetNodeText(docSettings, "SETTINGS/ALLOWTWINORDERS") == "1";
  const bool rfq = GetNodeText(docSettings, "SETTINGS/RFQMODE") == "1";

  int counter = 0;
  for (xml::Node design : docOrders.selectNodes("//Design")) {
    std::string contact = GetNodeText(
        design,
        "JobInfo/Profile[Type='BillTo']/Contact[Type='DealerSalesRep']/Name[@Type='FullName']");
    if (contact.empty()) {
      contact = GetNodeText(
          design, "JobInfo/Profile[Type='BillTo']/Contact[Type='Designer']/Name[@Type='FullName']");
    }
    for (xml::Node old : design.selectNodes(".//ORDERGROUP//CATALOGID")) {
      old.parentNode().removeChild(old);
    }

    // The design's catalogs with their folded codes, and its groups by partner ID.
    std::vector<std::pair<xml::Node, const std::map<double, int>*>> catalogs;
    for (xml::Node c = design.firstChild(); c; c = c.nextSibling()) {
      if (c.nodeType() != xml::NodeType::Element || c.nodeName() != "Catalog") continue;
      auto it = assigned.find(FoldAscii(GetNodeText(c, "Identification/Name")));
      catalogs.emplace_back(c, it == assigned.end() ? nullptr : &it->second);
    }
    std::unordered_map<std::string, xml::Node> groups;
    for (xml::Node g : design.selectNodes("ORDERGROUP")) {
      groups.try_emplace(GetNodeText(g, "PARTNERID"), g);
    }

    for (const Partner& partner : partners) {
      if (!partner.number) continue;
      for (const auto& [catalog, by_partner] : catalogs) {
        if (!by_partner) continue;
        auto hit = by_partner->find(*partner.number);
        if (hit == by_partner->end()) continue;
        const int times = twins ? hit->second : 1;
        for (int i = 0; i < times; ++i) {
          ++counter;
          xml::Node& group = groups[partner.id];
          if (group.isNull()) {
            group = design.appendChild(docOrders.createElement("ORDERGROUP"));
            AppendTextElement(docOrders, group, "ID", std::to_string(counter));
            AppendTextElement(docOrders, group, "PARTNERID", partner.id);
            AppendTextElement(docOrders, group, "PARTNERNAME", partner.name);
            AppendTextElement(docOrders, group, "SENDIT", "1");
            AppendCDataElement(docOrders, group, "PONUMBER",
                               GetNodeText(design, "JobInfo/Header/Number"));
            AppendCDataElement(docOrders, group, "COMMENT", "");
            AppendCDataElement(docOrders, group, "CONTACTNAME", contact);
            if (rfq) AppendTextElement(docOrders, group, "RFQ", "0");
          } else {
            xml::Node id = FirstChild(group, "ID");
            if (id.isNull()) id = group.appendChild(docOrders.createElement("ID"));
            id.setText(std::to_string(counter));
          }
          AppendTextElement(docOrders, group, "CATALOGID", GetNodeText(catalog, "ID"));
        }
      }
    }

    for (xml::Node g : design.selectNodes(".//ORDERGROUP[not(CATALOGID)]")) {
      g.parentNode().removeChild(g);
    }
  }
}

}  // namespace larkedi
