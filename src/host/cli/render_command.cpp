// render: one view of the module as a standalone HTML page, from a saved order stack
// (orders.xml) or a dealer server's XML and the module's settings file.
#include <iostream>

#include "host/cli/command.h"
#include "platform/env.h"
#include "presentation/render.h"
#include "support/module.h"
#include "support/xml_helpers.h"

namespace larkedi::cli {
namespace {

bool LoadXmlArg(const std::string& path, xml::Document& doc, Cli& cli) {
  std::string text, error;
  if (!Env::Default()->ReadFile(path, &text, &error)) {
    cli.exit_code = Fail(kExitMissing, "cannot read " + path + ": " + error);
    return false;
  }
  if (!doc.loadXML(text)) {
    cli.exit_code = Fail(kExitMissing, path + " does not parse: " + doc.parseErrorReason());
    return false;
  }
  return true;
}

void SetupRender(CLI::App& app, Cli& cli) {
  std::string views;
  for (const std::string& v : RenderableViews()) views += (views.empty() ? "" : ", ") + v;
  auto* cmd = app.add_subcommand(
      "render",
      "Render a view as one HTML page with its styles inlined, printed or written to --out.\n"
      "Views: " +
          views +
          ".\n"
          "orderdetail takes the order ID; partner takes the partner ID and optionally 'warning'.\n"
          "The order views read the order stack given with --orders (a saved orders.xml);\n"
          "ediorderlist and the dealer order detail read the dealer server's XML from --orders.\n"
          "The settings views read the module's settings file, or --settings.");
  static std::string view;
  static std::vector<std::string> args;
  static std::string orders_path, settings_path, out_path;
  cmd->add_option("VIEW", view, "View name")->required();
  cmd->add_option("ARGS", args, "Arguments of the view");
  cmd->add_option("--orders", orders_path, "Order stack XML file (or dealer server XML)");
  cmd->add_option("--settings", settings_path, "Settings file (default: the module's own)");
  cmd->add_option("--out", out_path, "Write the page to this file instead of printing it");
  cmd->callback([&cli] {
    cli.Prepare();
    xml::Document orders, settings;
    if (!orders_path.empty() && !LoadXmlArg(orders_path, orders, cli)) return;
    std::string settings_file =
        settings_path.empty() ? ModulePath(ModuleName() + ".xml") : settings_path;
    if (FileExists(settings_file)) {
      if (!LoadXmlArg(settings_file, settings, cli)) return;
    } else if (!settings_path.empty()) {
      cli.exit_code = Fail(kExitMissing, "the settings file " + settings_file + " does not exist");
      return;
    } else if (orders.selectSingleNode("/Orders/SETTINGS")) {
      // A saved order stack carries the settings it was built with.
      settings.loadXML(orders.selectSingleNode("/Orders/SETTINGS").xml());
    }
    std::string html;
    Err err;
    if (!RenderView(view, args, orders, settings, html, err)) {
      cli.exit_code = Fail(kExitUsage, err.Description);
      return;
    }
    if (out_path.empty()) {
      std::cout << html;
      return;
    }
    std::string error;
    if (!Env::Default()->WriteFileAtomic(out_path, html, &error)) {
      cli.exit_code = Fail(kExitMissing, "cannot write " + out_path + ": " + error);
    }
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupRender);

}  // namespace larkedi::cli
