// larkedi-gen-designs: writes realistic, reproducible kitchen designs for tests, benchmarks
// and demonstrations.
#include <CLI/CLI.hpp>

#include <iostream>

#include "design_generator.h"

int main(int argc, char** argv) {
  using larkedi::gen::DesignGenOptions;
  CLI::App app{
      "Writes COUNT plain (not enciphered) design files, design-0001.xml ..., into DIR.\n"
      "Each design holds a job header with bill-to, ship-to and customer profiles and one or\n"
      "more catalogs of cabinet items. The same seed and options give the same bytes."};
  app.name("larkedi-gen-designs");
  DesignGenOptions options;
  int count = 1;
  std::string out;
  std::vector<std::string> codes;
  app.add_option("--seed", options.seed, "Seed of the run (default 1)");
  app.add_option("--count", count, "Number of designs to write (default 1)")
      ->check(CLI::Range(0, 9999));
  app.add_option("--out", out, "Folder to write into (created when missing)")->required();
  app.add_option("--catalogs", codes, "Comma-separated catalog codes to name catalogs from")
      ->delimiter(',');
  app.add_option("--min-catalogs", options.min_catalogs, "Fewest catalogs per design (default 1)");
  app.add_option("--max-catalogs", options.max_catalogs, "Most catalogs per design (default 5)");
  app.add_option("--min-items", options.min_items, "Fewest items per catalog (default 20)");
  app.add_option("--max-items", options.max_items, "Most items per catalog (default 300)");
  app.add_flag("--customer-names-with-quotes", options.names_with_quotes,
               "Give some customers names with apostrophes and double quotes");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return 2;
  }
  if (!codes.empty()) options.catalogs = codes;
  std::string problem = larkedi::gen::CheckOptions(options);
  if (!problem.empty()) {
    std::cerr << "larkedi-gen-designs: " << problem << "\n";
    return 2;
  }
  std::string error;
  if (!larkedi::gen::WriteDesigns(options, count, out, &error)) {
    std::cerr << "larkedi-gen-designs: cannot write the designs into " << out << ": " << error
              << "\n";
    return 1;
  }
  std::cout << "wrote " << count << " design(s) to " << out << "\n";
  return 0;
}
