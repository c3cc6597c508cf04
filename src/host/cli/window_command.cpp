// show, activate, config: the main window in the user's browser. The window is served on
// 127.0.0.1; the command runs the window until it closes, then prints that it finished.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <optional>

#include "host/cli/command.h"
#include "host/frm_edi.h"
#include "host/main_window.h"
#include "platform/env.h"
#include "platform/ui/page_dialogs.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/window_server.h"
#include "support/module.h"

namespace larkedi::cli {
namespace {

struct WindowCommandOptions {
  std::string design;
  int start = -1;
  bool no_browser = false;
  std::string browser;
};

WindowCommandOptions& Options() {
  static WindowCommandOptions options;
  return options;
}

// Opens the window with `start_value` and the design text `input`, runs it until it closes
// and returns the exit status.
int RunWindow(int start_value, std::string input) {
  const WindowCommandOptions& o = Options();
  frmEDI edi;
  ui::UiLoop loop;
  ui::WindowOptions options;
  options.html_dir = ModulePath("html");
  ui::WindowServer server(loop, options);
  ServerSurface surface(server, loop);
  MainWindow window(edi, surface);
  ui::PageDialogs page_dialogs(server);

  std::string error;
  if (!server.Start(&error)) return Fail(kExitAbort, "cannot start the window: " + error);
  // The load's failure messages go to the console: no page is shown for a load that fails.
  std::optional<ScopedDialogs> dialogs;

  window.StartValue = start_value;
  window.StartupInput = std::move(input);
  bool finished = false;
  Err unload_status;
  window.Finished = [&finished] {
    finished = true;
    std::cout << "Finished" << std::endl;
  };

  const bool open_browser = !o.no_browser;
  std::string browser = o.browser;
  if (browser.empty()) {
    if (const char* env = std::getenv("LARKEDI_BROWSER")) browser = env;
  }
  // The address comes first, so a program driving the window can read it at once.
  if (!open_browser) std::cout << server.Address() << std::endl;

  if (!window.Form_Load()) {
    server.Stop();
    std::cout << "Finished" << std::endl;
    return kExitAbort;
  }
  dialogs.emplace(&page_dialogs);
  server.SetEventHandler([&window](const ui::PageEvent& e) { return window.HandleEvent(e); });
  server.SetCloseHandler([&](ui::CloseReason) {
    unload_status = window.Form_Unload();
    loop.Quit();
  });
  window.ShowFirstPage();

  if (open_browser && !ui::OpenWindowInBrowser(server.Address(), browser, &error)) {
    std::cerr << "larkedi: " << error << "\nopen the window at: " << server.Address() << std::endl;
  }

  const auto interval = MainWindow::SpoolInterval();
  auto next_tick = std::chrono::steady_clock::now() + interval;
  while (!loop.quitting()) {
    loop.RunOnce(std::chrono::milliseconds(100));
    const auto now = std::chrono::steady_clock::now();
    if (now >= next_tick) {
      loop.Post([&window] { window.SpoolTimerTick(); });
      next_tick = now + interval;
    }
  }
  if (!finished) unload_status = window.Form_Unload();
  server.Stop();
  if (unload_status) {
    return Fail(kExitAbort, "the order stack was not saved: " + unload_status.Description);
  }
  return kExitOk;
}

void AddWindowOptions(CLI::App* cmd) {
  WindowCommandOptions& o = Options();
  cmd->add_flag("--no-browser", o.no_browser,
                "Open no browser; the first line printed is the window's address");
  cmd->add_option("--browser", o.browser,
                  "Browser program to open the window as an app window (default: "
                  "LARKEDI_BROWSER, else xdg-open)");
}

void SetupWindow(CLI::App& app, Cli& cli) {
  WindowCommandOptions& o = Options();
  auto* show = app.add_subcommand(
      "show", "Open the main window on the home page (or the page --start names)");
  show->add_option("--start", o.start, "First page: 1 orders, 3 status, 5 settings, else home");
  AddWindowOptions(show);
  show->callback([&cli] {
    cli.Prepare();
    cli.exit_code = RunWindow(Options().start < 0 ? 0 : Options().start, "");
  });

  auto* activate = app.add_subcommand(
      "activate", "Open the main window with a design handed in, on the order stack page");
  activate->add_option("DESIGN", o.design, "Design XML file")->required();
  activate->add_option("--start", o.start,
                       "First page: 1 orders (default), 3 status, 5 settings, else home");
  AddWindowOptions(activate);
  activate->callback([&cli] {
    cli.Prepare();
    std::string text, error;
    if (!Env::Default()->ReadFile(Options().design, &text, &error)) {
      cli.exit_code = Fail(kExitMissing, "cannot read " + Options().design + ": " + error);
      return;
    }
    cli.exit_code = RunWindow(Options().start < 0 ? 1 : Options().start, text);
  });

  auto* config = app.add_subcommand("config", "Open the main window on the settings page");
  AddWindowOptions(config);
  config->callback([&cli] {
    cli.Prepare();
    cli.exit_code = RunWindow(5, "");
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupWindow);

}  // namespace larkedi::cli
