// sort: cabinet sorting of a design file, as the order stack applies it to incoming designs.
#include <iostream>

#include "host/cli/command.h"
#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/text_encoding.h"
#include "presentation/style_sheets.h"
#include "support/xml_helpers.h"
#include "validation/sort_item.h"

namespace larkedi::cli {
namespace {

void SetupSort(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand(
      "sort",
      "Sort the items of a design by cabinet group and number them, printing the result.\n"
      "Methods (B base, W wall, T tall, in the order of the groups): BWT, BTW, WBT, WTB,\n"
      "TBW, TWB. Accessories stay after the item they are attached to.");
  static std::string design_path;
  static std::string method_name;
  cmd->add_option("DESIGN", design_path, "Design XML file")->required();
  cmd->add_option("--method", method_name, "Sort method: BWT, BTW, WBT, WTB, TBW or TWB")
      ->required()
      ->check(CLI::IsMember({"BWT", "BTW", "WBT", "WTB", "TBW", "TWB"}));
  cmd->callback([&cli] {
    cli.Prepare();
    SortMethod method{};
    if (!ParseSortMethod(method_name, method)) {
      cli.exit_code = Fail(kExitUsage, "unknown sort method " + method_name);
      return;
    }
    // The file's bytes become UTF-8 text as its byte order mark or declaration says.
    std::string bytes, design, error;
    if (!ReadFileAtMost(design_path, kMaxInputFileBytes, &bytes, &error) ||
        !DecodeXmlBytes(bytes, &design, &error)) {
      cli.exit_code = Fail(kExitMissing, "cannot read " + design_path + ": " + error);
      return;
    }
    {
      xml::Document probe;
      if (!probe.loadXML(design)) {
        cli.exit_code =
            Fail(kExitMissing, design_path + " does not parse: " + probe.parseErrorReason());
        return;
      }
    }
    std::string sheet_path = ResolveHtmlPath("SortCabinets.xsl");
    std::string sheet = LoadLocalizedFile("SortCabinets.xsl", "lkedi.resx", true);
    if (Trim(sheet).empty()) {
      cli.exit_code = Fail(kExitMissing,
                           "the sort style sheet " + sheet_path + " is missing or cannot be read");
      return;
    }
    clsSortItem sorter;
    if (!sorter.InitInstance(design, sheet) || !sorter.SortItems(method)) {
      cli.exit_code = Fail(kExitMissing, "cannot sort " + design_path + ": " + sorter.LastError());
      return;
    }
    if (!sorter.LastError().empty()) {
      std::cerr << "larkedi: warning: " << sorter.LastError()
                << " The items after it kept their old keys.\n";
    }
    std::cout << sorter.GetXML();
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupSort);

}  // namespace larkedi::cli
