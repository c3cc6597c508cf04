// render: one view of the module as a standalone HTML page, from the module's current
// order stack and settings, or from a saved order stack (orders.xml) or a dealer server's XML.
#include <iostream>

#include "host/cli/command.h"
#include "host/frm_edi.h"
#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/text_encoding.h"
#include "presentation/render.h"
#include "support/module.h"
#include "support/xml_helpers.h"

namespace larkedi::cli {
namespace {

bool LoadXmlArg(const std::string& path, xml::Document& doc, Cli& cli) {
  // Read within a size limit (a device or an endless file is refused, never read whole),
  // in the encoding the file declares.
  std::string bytes, text, error;
  if (!ReadFileAtMost(path, kMaxInputFileBytes, &bytes, &error) ||
      !DecodeXmlBytes(bytes, &text, &error)) {
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
          "Without --orders, the views show the module's current state: the order stack loaded\n"
          "from the spool folder as `larkedi stack list` loads it, and the settings as loaded.\n"
          "--orders FILE renders a saved order stack (orders.xml) instead; ediorderlist and the\n"
          "dealer order detail read the dealer server's XML from --orders.\n"
          "--settings FILE renders another settings file.");
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
    if (orders_path.empty() && settings_path.empty()) {
      // The module's own state, loaded as the window loads it (without the web service).
      frmEDI edi;
      if (Err err = edi.OpenHeadless()) std::cerr << "larkedi: " << err.Description << "\n";
      edi.Orders.LoadOrders(false);
      orders = edi.Orders.docOrders;
      settings = edi.Settings.docSettings;
    } else if (!orders_path.empty() && !LoadXmlArg(orders_path, orders, cli)) {
      return;
    }
    std::string settings_file =
        settings_path.empty() ? ModulePath(ModuleName() + ".xml") : settings_path;
    if (!settings.documentElement().isNull()) {
      // Already loaded with the order stack.
    } else if (FileExists(settings_file)) {
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
    // An order, partner or document that is not there is an error here, not an empty page.
    if (!CheckRenderInput(view, args, orders, settings, err)) {
      cli.exit_code = Fail(kExitMissing, err.Description);
      return;
    }
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
