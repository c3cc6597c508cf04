// Realistic kitchen designs for tests, benchmarks and the demo: a job header with bill-to,
// ship-to and customer profiles, then catalogs of cabinet items, each design reproducible
// from a seed and its number.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace larkedi::gen {

/// The catalog codes used when none are given.
std::vector<std::string> DefaultCatalogCodes();

struct DesignGenOptions {
  std::uint64_t seed = 1;
  /// Codes the catalogs are named from (`Catalog/Identification/Name`).
  std::vector<std::string> catalogs = DefaultCatalogCodes();
  int min_catalogs = 1;
  int max_catalogs = 5;
  /// Items per catalog, attachments included.
  int min_items = 20;
  int max_items = 300;
  /// Lets customer names (and the job names and file names made from them) hold
  /// apostrophes and double quotes.
  bool names_with_quotes = false;
};

/// Empty when the options can be used; otherwise what is wrong with them.
std::string CheckOptions(const DesignGenOptions& options);

/// The XML text (UTF-8, with a declaration) of design number `index` (from 1) of the run
/// described by `options`. The text depends only on the options and `index`, so the same
/// seed gives the same bytes whatever the number of designs asked for.
/// Options that CheckOptions rejects give an empty text.
std::string GenerateDesign(const DesignGenOptions& options, int index);

/// "design-0001.xml" for index 1.
std::string DesignFileName(int index);

/// Writes designs 1 to `count` into `folder` (created when missing) as DesignFileName(i),
/// each file written whole or not at all. False with `error` set on bad options or a write
/// failure.
bool WriteDesigns(const DesignGenOptions& options, int count, const std::string& folder,
                  std::string* error);

}  // namespace larkedi::gen
