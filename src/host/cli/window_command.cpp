// show, activate, config: the main window in the user's browser, opened through the
// public classes as the host opens it. The window is served on 127.0.0.1; the command runs
// the window until it closes, then prints that it finished. When another process has the
// window open, that window is brought forward and the command ends at once.
#include <chrono>
#include <iostream>

#include "host/cli/command.h"
#include "host/interface.h"
#include "host/startup.h"
#include "host/window_host.h"
#include "platform/env.h"
#include "support/module.h"

namespace larkedi::cli {
namespace {

struct WindowCommandOptions {
  std::string design;
  int start = -1;
  bool no_browser = false;
  bool modeless = false;
  std::string browser;
};

WindowCommandOptions& Options() {
  static WindowCommandOptions options;
  return options;
}

void PrepareOpening() {
  const WindowCommandOptions& o = Options();
  WindowOpening& opening = WindowHost::Instance().Opening;
  opening.open_browser = !o.no_browser;
  opening.browser = o.browser;
  opening.address_first = [](const std::string& address) { std::cout << address << std::endl; };
  opening.not_opened = [](const std::string& address, const std::string& why) {
    std::cerr << "larkedi: " << why << "\nopen the window at: " << address << std::endl;
  };
}

// True when another process has the window: it was asked to come forward.
bool AnotherWindowIsOpen() {
  if (!BringOtherWindowForward()) return false;
  std::cout << "The LarkEDI window is already open in another process; it was brought forward."
            << std::endl;
  return true;
}

int ExitStatus() {
  const Err& status = WindowHost::Instance().UnloadStatus();
  if (status) return Fail(kExitAbort, "the order stack was not saved: " + status.Description);
  return kExitOk;
}

void PrintFinished() {
  std::cout << "Finished" << std::endl;
}

// `show` is modeless: the host's own loop runs the window until it finishes.
int RunShow(int start_value) {
  PrepareOpening();
  AnotherWindowIsOpen();
  Interface host;
  bool finished = false;
  host.Finished = [&finished] {
    finished = true;
    PrintFinished();
  };
  host.show(start_value);
  while (WindowHost::Instance().RunOnce(std::chrono::milliseconds(100))) {
  }
  if (!finished || WindowHost::Instance().LastLoadFailed()) return kExitAbort;
  return ExitStatus();
}

int RunActivate(const std::string& text, int start_value, bool modeless) {
  PrepareOpening();
  AnotherWindowIsOpen();
  Interface host;
  bool finished = false;
  host.Finished = [&finished] {
    finished = true;
    PrintFinished();
  };
  int start = start_value;
  if (!host.Activate(text, modeless ? "Modeless" : "", start)) return kExitOk;
  if (modeless) {
    std::cout << "Form Shown" << std::endl;
    while (WindowHost::Instance().RunOnce(std::chrono::milliseconds(100))) {
    }
  }
  // A load that failed raised Finished without a window: the design was not taken in.
  if (!finished || WindowHost::Instance().LastLoadFailed()) return kExitAbort;
  return ExitStatus();
}

void AddWindowOptions(CLI::App* cmd) {
  WindowCommandOptions& o = Options();
  cmd->add_flag("--no-browser", o.no_browser,
                "Open no browser; the first line printed is the window's address");
  cmd->add_option("--browser", o.browser,
                  "Browser command that opens the window; %s stands for its address "
                  "(\"chromium --app=%s\"); without %s the address is given as --app=ADDRESS "
                  "(default: LARKEDI_BROWSER, else xdg-open)");
}

void SetupWindow(CLI::App& app, Cli& cli) {
  WindowCommandOptions& o = Options();
  auto* show = app.add_subcommand(
      "show", "Open the main window on the home page (or the page --start names)");
  show->add_option("--start", o.start, "First page: 1 orders, 3 status, 5 settings, else home");
  AddWindowOptions(show);
  show->callback([&cli] {
    cli.Prepare();
    cli.exit_code = RunShow(Options().start < 0 ? kStartHome : Options().start);
  });

  auto* activate = app.add_subcommand(
      "activate", "Open the main window with a design handed in, on the order stack page");
  activate->add_option("DESIGN", o.design, "Design XML file")->required();
  activate->add_option("--start", o.start,
                       "First page: 1 orders (default), 3 status, 5 settings, else home");
  activate->add_flag("--modeless", o.modeless,
                     "Open the window modeless: the opening call returns once it is open");
  AddWindowOptions(activate);
  activate->callback([&cli] {
    cli.Prepare();
    std::string text, error;
    if (!Env::Default()->ReadFile(Options().design, &text, &error)) {
      cli.exit_code = Fail(kExitMissing, "cannot read " + Options().design + ": " + error);
      return;
    }
    cli.exit_code =
        RunActivate(text, Options().start < 0 ? kStartOrders : Options().start, Options().modeless);
  });

  auto* config = app.add_subcommand("config", "Open the main window on the settings page");
  AddWindowOptions(config);
  config->callback([&cli] {
    cli.Prepare();
    PrepareOpening();
    if (AnotherWindowIsOpen()) {
      PrintFinished();
      cli.exit_code = kExitOk;
      return;
    }
    larkedi::config host;
    host.Finished = PrintFinished;
    host.Activate("", "");
    cli.exit_code = WindowHost::Instance().LastLoadFailed() ? kExitAbort : ExitStatus();
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupWindow);

}  // namespace larkedi::cli
