// larkedi: the host stand-in and the support tool of the LarkEDI module.
#include <iostream>

#include "host/cli/command.h"
#include "host/startup.h"
#include "support/module.h"

namespace larkedi::cli {

std::vector<CommandSetup>& Commands() {
  static std::vector<CommandSetup> commands;
  return commands;
}

bool RegisterCommand(CommandSetup setup) {
  Commands().push_back(setup);
  return true;
}

const std::vector<CommandSetup>& RegisteredCommands() {
  return Commands();
}

int Fail(int code, const std::string& message) {
  std::cerr << "larkedi: " << message << "\n";
  return code;
}

void Cli::Prepare() {
  if (!module_dir.empty()) SetModuleFolder(module_dir);
  dialogs.set_policy(yes  ? ConsoleDialogs::Answer::Yes
                     : no ? ConsoleDialogs::Answer::No
                          : ConsoleDialogs::Answer::Ask);
  SetDialogs(&dialogs);
  Startup(/*headless=*/true);
}

}  // namespace larkedi::cli

int main(int argc, char** argv) {
  using namespace larkedi::cli;
  CLI::App app{
      "LarkEDI turns kitchen and cabinet designs into purchase orders for manufacturers.\n"
      "This command runs the module's operations without its window, for support and scripts."};
  app.name("larkedi");
  app.require_subcommand(1);
  app.fallthrough();
  Cli cli;
  app.add_option(
      "--module-dir", cli.module_dir,
      "Module folder to use (default: LARKEDI_MODULE_DIR, else the executable's folder)");
  auto* yes = app.add_flag("--yes", cli.yes, "Answer Yes/OK to every question");
  app.add_flag("--no", cli.no, "Answer No/Cancel to every question")->excludes(yes);

  for (CommandSetup setup : RegisteredCommands()) setup(app, cli);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  if (const auto& question = cli.dialogs.Unanswered()) {
    // A question nobody could answer is not a silent default: the command ran with the answer
    // that changes nothing, and says so.
    Fail(kExitUsage, "a question needed an answer and there is no terminal to ask it: " +
                         *question + "; run the command again with --yes or --no");
    return kExitUsage;
  }
  return cli.exit_code;
}
