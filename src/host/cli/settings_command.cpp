// settings get | put | refresh, complete-design lives in design_command.cpp.
#include <iostream>
#include <iterator>

#include "host/cli/command.h"
#include "host/interface.h"
#include "platform/env.h"
#include "settings/settings_document.h"
#include "support/module.h"

namespace larkedi::cli {
namespace {

void SetupSettings(CLI::App& app, Cli& cli) {
  auto* settings = app.add_subcommand(
      "settings", "Read, replace or refresh the module's settings file (" + ModuleName() + ".xml)");
  settings->require_subcommand(1);

  auto* get = settings->add_subcommand("get", "Print the settings file");
  get->callback([&cli] {
    cli.Prepare();
    std::string text = Interface().Settings();
    if (text.empty()) {
      cli.exit_code = Fail(kExitMissing, "no settings file at " + SettingsPath());
      return;
    }
    std::cout << text;
  });

  static std::string source;
  auto* put = settings->add_subcommand(
      "put",
      "Replace the settings by FILE (or '-' for standard input). Methods and partners marked "
      "dontsave=\"1\" are left out of the written file.");
  put->add_option("FILE", source, "Settings XML file, or - for standard input")->required();
  put->callback([&cli] {
    cli.Prepare();
    std::string text, error;
    if (source == "-") {
      text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    } else if (!Env::Default()->ReadFile(source, &text, &error)) {
      cli.exit_code = Fail(kExitMissing, error);
      return;
    }
    if (Err err = SaveSettingsXML(text)) {
      cli.exit_code = Fail(kExitMissing,
                           "the settings were not written from " + source + ": " + err.Description);
      return;
    }
    std::cout << "settings written to " << SettingsPath() << "\n";
  });

  auto* refresh = settings->add_subcommand(
      "refresh",
      "Load the settings as the main window does (defaults, free-EDI manufacturers of the "
      "partner web service, transmission methods registered on this machine) and save them");
  refresh->callback([&cli] {
    cli.Prepare();
    SettingsDocument window;
    const std::size_t before = window.NewPartners.size();
    window.FillSettings();
    // A settings load that added nothing changed nothing: save anyway so the file exists.
    if (Err err = window.SaveSettingsXML()) {
      cli.exit_code = Fail(kExitMissing, err.Description);
      return;
    }
    std::cout << "settings refreshed: " << SettingsPath() << "\n";
    std::cout << "new free-EDI partners: " << window.NewPartners.size() - before << "\n";
    std::cout << "partners: " << window.docSettings.selectNodes("SETTINGS/PARTNER").length()
              << ", catalogs: " << window.docSettings.selectNodes("SETTINGS/CATALOG").length()
              << ", transmission methods: "
              << window.docSettings.selectNodes("SETTINGS/METHOD").length() << "\n";
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupSettings);

}  // namespace larkedi::cli
