// validate: runs the manufacturer validation (scripts and validation modules) over a design
// file, as the module does when a design comes in or the order stack is loaded.
#include <iostream>

#include "host/cli/command.h"
#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/text_encoding.h"
#include "platform/xml/xml.h"
#include "settings/settings_document.h"
#include "validation/edi_validate.h"

namespace larkedi::cli {
namespace {

/// An input file that is missing or does not parse.
constexpr int kExitUnreadable = 4;

/// Loads `path` into `doc`; on failure prints why and returns false.
bool LoadInput(const std::string& path, const std::string& what, xml::Document& doc, Cli& cli) {
  if (!Env::Default()->Exists(path) || Env::Default()->IsDirectory(path)) {
    cli.exit_code = Fail(kExitUnreadable, "cannot read " + what + " " + path + ": no such file");
    return false;
  }
  // The file's bytes become UTF-8 text as its byte order mark or declaration says.
  std::string bytes, text, error;
  if (!ReadFileAtMost(path, kMaxInputFileBytes, &bytes, &error) ||
      !DecodeXmlBytes(bytes, &text, &error)) {
    cli.exit_code = Fail(kExitUnreadable, "cannot read " + what + " " + path + ": " + error);
    return false;
  }
  if (!doc.loadXML(text)) {
    cli.exit_code =
        Fail(kExitUnreadable, "cannot read " + what + " " + path + ": " + doc.parseErrorReason());
    return false;
  }
  return true;
}

void SetupValidate(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand(
      "validate",
      "Validate the first Design of DESIGN with the manufacturers' scripts "
      "(Validate/<MANUFID>.js)\n"
      "and validation modules (PROGID) of the settings. Prints the status (OK, WARNING or\n"
      "ABORT) on the first line, then the validated design.\n"
      "Exit status: 0 OK, 1 warning, 3 abort, 2 usage error, 4 a file that is missing or\n"
      "cannot be read.");
  static std::string design_path;
  static std::string settings_path;
  static bool startup = false;
  cmd->add_option("DESIGN", design_path, "Design XML file")->required();
  cmd->add_option("--settings", settings_path,
                  "Settings file (default: the module's settings file; none means empty "
                  "settings)");
  cmd->add_flag("--startup", startup,
                "Validate as a design coming in from the host: messages are shown (on standard "
                "error) and no ERROR is attached to the catalogs");
  cmd->callback([&cli] {
    cli.Prepare();
    xml::Document docDesign;
    if (!LoadInput(design_path, "design", docDesign, cli)) return;
    xml::Node design = docDesign.selectSingleNode("//Design");
    if (!design) {
      cli.exit_code =
          Fail(kExitUnreadable, "cannot validate " + design_path + ": it holds no Design element");
      return;
    }

    xml::Document docSettings;
    if (!settings_path.empty()) {
      if (!LoadInput(settings_path, "settings", docSettings, cli)) return;
    } else if (Env::Default()->Exists(SettingsPath())) {
      if (!LoadInput(SettingsPath(), "settings", docSettings, cli)) return;
    } else {
      docSettings.loadXML("<SETTINGS/>");
    }

    clsEdiValidate validator;
    EdiValidateStatus status = validator.ValidateDesign2(design, docSettings, false, startup);
    for (const auto& failure : validator.ScriptFailures()) {
      std::cerr << "larkedi: a manufacturer script failed: " << failure << "\n";
    }
    std::cout << EdiValidateStatusName(status) << "\n" << design.xml() << "\n";
    switch (status) {
      case EDI_VALIDATE_OK:
        cli.exit_code = kExitOk;
        break;
      case EDI_VALIDATE_WARNING:
        cli.exit_code = kExitMissing;
        break;
      default:
        cli.exit_code = kExitAbort;
        break;
    }
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupValidate);

}  // namespace larkedi::cli
