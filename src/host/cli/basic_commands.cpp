// version, res: the module's version and its language texts.
#include <iostream>

#include "host/cli/command.h"
#include "support/module.h"
#include "support/resx.h"

namespace larkedi::cli {
namespace {

void SetupVersion(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand("version", "Print the module's version and where it runs from");
  cmd->callback([&cli] {
    cli.Prepare();
    std::cout << "LarkEDI " << LARKEDI_VERSION << "\n"
              << "module folder: " << ModuleFolder() << "\n"
              << "language: " << Module().LanguageCode << "\n";
  });
}

void SetupRes(CLI::App& app, Cli& cli) {
  auto* res = app.add_subcommand("res", "Look up the module's language texts");
  res->require_subcommand(1);
  auto* get = res->add_subcommand(
      "get", "Print the localised text of KEY, with PARAM values filling %s0, %s1, ...");
  static std::string key;
  static std::vector<std::string> params;
  get->add_option("KEY", key, "Resource key, e.g. \"MSG Done\"")->required();
  get->add_option("PARAM", params, "Values for the placeholders, in order");
  get->callback([&cli] {
    cli.Prepare();
    if (!Resources().IsLoaded()) {
      cli.exit_code =
          Fail(kExitMissing, "no language resource file was found under " + ModulePath("html"));
      return;
    }
    std::string text = ResParam(key, params);
    std::cout << text << "\n";
    if (text == Resources().ResNotFound()) cli.exit_code = kExitMissing;
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupVersion);
LARKEDI_REGISTER_COMMAND(SetupRes);

}  // namespace larkedi::cli
