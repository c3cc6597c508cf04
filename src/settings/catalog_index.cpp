#include "settings/catalog_index.h"

#include <algorithm>

#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

const std::vector<xml::Node>& Find(
    const std::unordered_map<std::string, std::vector<xml::Node>>& map, const std::string& key) {
  static const std::vector<xml::Node> kNone;
  auto it = map.find(key);
  return it == map.end() ? kNone : it->second;
}

void AddOnce(std::vector<xml::Node>& list, const xml::Node& node) {
  if (list.empty() || !(list.back() == node)) list.push_back(node);
}

}  // namespace

CatalogIndex::CatalogIndex(const xml::Node& settings) : settings_(settings) {
  if (settings_.isNull()) return;
  for (xml::Node c = settings_.firstChild(); c; c = c.nextSibling()) {
    if (c.nodeType() != xml::NodeType::Element) continue;
    if (c.nodeName() == "CATALOG") {
      AddCatalog(c);
    } else if (c.nodeName() == "PARTNER") {
      partners_.push_back(c);
      for (xml::Node id : c.selectNodes("ID")) partner_by_id_.try_emplace(id.text(), c);
    }
  }
}

void CatalogIndex::AddCatalog(const xml::Node& catalog) {
  for (xml::Node code : catalog.selectNodes("CODE")) {
    AddOnce(by_code_[FoldAscii(code.text())], catalog);
  }
  for (xml::Node pid : catalog.selectNodes("PARTNERID")) {
    AddOnce(by_partner_[pid.text()], catalog);
  }
  const std::string id = GetNodeText(catalog, "ID");
  if (IsNumeric(id)) {
    highest_catalog_id_ = std::max(highest_catalog_id_, static_cast<long>(LeadingNumber(id)));
  }
}

xml::Node CatalogIndex::Catalog(std::string_view code) const {
  const auto& list = CatalogsWithCode(code);
  return list.empty() ? xml::Node() : list.front();
}

const std::vector<xml::Node>& CatalogIndex::CatalogsWithCode(std::string_view code) const {
  return Find(by_code_, FoldAscii(code));
}

xml::Node CatalogIndex::Partner(std::string_view id) const {
  auto it = partner_by_id_.find(std::string(id));
  return it == partner_by_id_.end() ? xml::Node() : it->second;
}

xml::Node CatalogIndex::PartnerOfCode(std::string_view code) const {
  xml::Node catalog = Catalog(code);
  if (catalog.isNull()) return {};
  const std::string id = GetNodeText(catalog, "PARTNERID");
  if (id.empty() || id == "0") return {};
  return Partner(id);
}

const std::vector<xml::Node>& CatalogIndex::CatalogsOfPartner(std::string_view id) const {
  return Find(by_partner_, std::string(id));
}

}  // namespace larkedi
