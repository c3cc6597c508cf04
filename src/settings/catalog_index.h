// Which settings catalog a catalog code names, and which partner receives it. The stack load,
// the grouping into orders and manufacturer validation all answer these questions here, with
// one rule: codes are compared with the ASCII letters folded on both sides ("abc" names the
// settings CODE "ABC"; letters outside ASCII compare as they are).
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/xml/xml.h"

namespace larkedi {

class CatalogIndex {
 public:
  CatalogIndex() = default;
  /// Indexes the CATALOG and PARTNER children of `settings` (a SETTINGS element; a null
  /// node gives an empty index). The nodes returned are those of that document.
  explicit CatalogIndex(const xml::Node& settings);

  /// The SETTINGS element indexed (null for an empty index).
  const xml::Node& Settings() const { return settings_; }

  /// The first settings CATALOG (document order) one of whose CODEs matches `code`; a null
  /// node when none does.
  xml::Node Catalog(std::string_view code) const;
  /// Every settings CATALOG one of whose CODEs matches `code`, each once, document order.
  const std::vector<xml::Node>& CatalogsWithCode(std::string_view code) const;
  /// The first PARTNER one of whose IDs is the text `id`; a null node when none is.
  xml::Node Partner(std::string_view id) const;
  /// The partner that receives a design catalog named `code`: the partner named by the
  /// PARTNERID of Catalog(code), when that is neither empty nor "0" and names a partner.
  xml::Node PartnerOfCode(std::string_view code) const;
  /// The settings catalogs one of whose PARTNERIDs is `id`, each once, document order.
  const std::vector<xml::Node>& CatalogsOfPartner(std::string_view id) const;
  /// Every PARTNER, document order.
  const std::vector<xml::Node>& Partners() const { return partners_; }
  /// The largest numeric catalog ID (0 when none is numeric).
  long HighestCatalogId() const { return highest_catalog_id_; }

  /// Takes in a CATALOG appended to the indexed settings after the index was made.
  void AddCatalog(const xml::Node& catalog);

 private:
  xml::Node settings_;
  std::unordered_map<std::string, std::vector<xml::Node>> by_code_;  // folded CODE
  std::unordered_map<std::string, std::vector<xml::Node>> by_partner_;
  std::unordered_map<std::string, xml::Node> partner_by_id_;
  std::vector<xml::Node> partners_;
  long highest_catalog_id_ = 0;
};

}  // namespace larkedi
