// Order groups: one ORDERGROUP per partner that receives at least one catalog of a design.
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "orders/order_stack.h"
#include "support/log.h"
#include "support/strings.h"
#include "support/xml_helpers.h"
#include "support/xml_text.h"

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

}  // namespace

struct OrderStack::Grouping {
  /// The settings copy of the stack: which settings catalogs a code names.
  CatalogIndex index;
  struct Partner {
    std::string id;
    std::string name;
    std::optional<double> number;
  };
  std::vector<Partner> partners;
  bool twins = false;
  bool rfq = false;
  int counter = 0;

  /// Assigned() by folded code, made once per code for the whole stack.
  std::unordered_map<std::string, std::map<double, int>> assigned;

  /// How many settings catalogs assign the code to each partner number. A catalog with
  /// several PARTNERID elements is assigned to each of them, once.
  const std::map<double, int>& Assigned(const std::string& code) {
    auto [it, fresh] = assigned.try_emplace(FoldAscii(code));
    if (!fresh) return it->second;
    std::map<double, int>& out = it->second;
    for (const xml::Node& c : index.CatalogsWithCode(code)) {
      std::set<double> numbers;
      for (xml::Node pid : c.selectNodes("PARTNERID")) {
        if (auto n = NumberValue(pid.text())) numbers.insert(*n);
      }
      for (double n : numbers) ++out[n];
    }
    return out;
  }
};

void OrderStack::GroupingDeleter::operator()(Grouping* grouping) const {
  delete grouping;
}

OrderStack::GroupingPtr OrderStack::BeginGrouping() {
  GroupingPtr grouping(new Grouping());
  grouping->index = CatalogIndex(docOrders.selectSingleNode("/Orders/SETTINGS"));
  for (const xml::Node& p : grouping->index.Partners()) {
    const std::string id = GetNodeText(p, "ID");
    grouping->partners.push_back({id, GetNodeText(p, "NAME"), NumberValue(id)});
  }
  grouping->twins = GetNodeText(settings_.docSettings, "SETTINGS/ALLOWTWINORDERS") == "1";
  grouping->rfq = GetNodeText(settings_.docSettings, "SETTINGS/RFQMODE") == "1";
  return grouping;
}

void OrderStack::GroupDesign(Grouping& grouping, xml::Node design) {
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
    catalogs.emplace_back(c, &grouping.Assigned(GetNodeText(c, "Identification/Name")));
  }
  std::unordered_map<std::string, xml::Node> groups;
  for (xml::Node g : design.selectNodes("ORDERGROUP")) {
    groups.try_emplace(GetNodeText(g, "PARTNERID"), g);
  }

  for (const Grouping::Partner& partner : grouping.partners) {
    if (!partner.number) continue;
    for (const auto& [catalog, by_partner] : catalogs) {
      auto hit = by_partner->find(*partner.number);
      if (hit == by_partner->end()) continue;
      const int times = grouping.twins ? hit->second : 1;
      for (int i = 0; i < times; ++i) {
        const int counter = ++grouping.counter;
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
          if (grouping.rfq) AppendTextElement(docOrders, group, "RFQ", "0");
        } else {
          xml::Node id = ChildElement(group, "ID");
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

void OrderStack::GroupDesignTree(Grouping& grouping, const xml::Node& top) {
  for (xml::Node design : top.selectNodes("descendant-or-self::Design")) {
    GroupDesign(grouping, design);
  }
}

void OrderStack::LoadOrderGroups() {
  LogScope log_scope("LoadOrderGroups().");
  GroupingPtr grouping = BeginGrouping();
  for (xml::Node design : docOrders.selectNodes("//Design")) GroupDesign(*grouping, design);
}

}  // namespace larkedi
