// complete-design: shows what the design builder makes of a design file.
#include <iostream>

#include "host/cli/command.h"
#include "orders/design_builder.h"
#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/text_encoding.h"
#include "platform/xml/xml.h"

namespace larkedi::cli {
namespace {

void SetupCompleteDesign(CLI::App& app, Cli& cli) {
  auto* cmd = app.add_subcommand(
      "complete-design",
      "Print the first Design element of FILE with its job information completed to the "
      "full header, profile, payment and survey tree (the file itself is not changed)");
  static std::string file;
  cmd->add_option("FILE", file, "Design XML file")->required();
  cmd->callback([&cli] {
    cli.Prepare();
    if (!Env::Default()->Exists(file) || Env::Default()->IsDirectory(file)) {
      cli.exit_code = Fail(kExitMissing, "cannot complete " + file + ": no such file");
      return;
    }
    // The file's bytes become UTF-8 text as its byte order mark or declaration says.
    std::string bytes, text, error;
    if (!ReadFileAtMost(file, kMaxInputFileBytes, &bytes, &error) ||
        !DecodeXmlBytes(bytes, &text, &error)) {
      cli.exit_code = Fail(kExitMissing, "cannot complete " + file + ": " + error);
      return;
    }
    xml::Document doc;
    if (!doc.loadXML(text)) {
      cli.exit_code = Fail(kExitMissing, "cannot complete " + file + ": " + doc.parseErrorReason());
      return;
    }
    xml::Node design = doc.selectSingleNode("//Design");
    if (design.isNull()) {
      cli.exit_code =
          Fail(kExitMissing, "cannot complete " + file + ": it holds no Design element");
      return;
    }
    CompleteJobInfo(design);
    std::cout << design.xml() << "\n";
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupCompleteDesign);

}  // namespace larkedi::cli
