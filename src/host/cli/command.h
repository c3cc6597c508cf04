// The larkedi command line: each command file registers its sub-commands here.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "platform/ui/dialogs.h"

namespace larkedi::cli {

/// Exit statuses shared by every command.
constexpr int kExitOk = 0;
constexpr int kExitMissing = 1;  // a key, value, file or order that is not there; a warning
constexpr int kExitUsage = 2;
constexpr int kExitAbort = 3;

/// State shared by the commands of one run.
struct Cli {
  std::string module_dir;
  bool yes = false;
  bool no = false;
  ConsoleDialogs dialogs;
  int exit_code = kExitOk;

  /// Applies the global options and runs the module's start-up. Every command calls it
  /// first.
  void Prepare();
};

using CommandSetup = void (*)(CLI::App& app, Cli& cli);

/// Registers a command file's setup function (from a static initialiser).
bool RegisterCommand(CommandSetup setup);
const std::vector<CommandSetup>& RegisteredCommands();

/// Prints a clear error for a command to standard error and returns `code`.
int Fail(int code, const std::string& message);

}  // namespace larkedi::cli

#define LARKEDI_REGISTER_COMMAND(setup) \
  static const bool larkedi_registered_##setup = ::larkedi::cli::RegisterCommand(setup)
