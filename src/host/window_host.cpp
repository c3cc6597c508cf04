#include "host/window_host.h"

#include <cstdlib>
#include <optional>
#include <utility>

#include "host/frm_edi.h"
#include "host/main_window.h"
#include "host/startup.h"
#include "platform/ui/browser_command.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/page_dialogs.h"
#include "platform/ui/ui_loop.h"
#include "platform/ui/window_server.h"
#include "support/log.h"
#include "support/module.h"

namespace larkedi {

struct WindowHost::Window {
  explicit Window(const ui::WindowOptions& options)
      : server(loop, options), surface(server, loop), main(edi, surface), page_dialogs(server) {}

  frmEDI edi;
  ui::UiLoop loop;
  ui::WindowServer server;
  ServerSurface surface;
  MainWindow main;
  ui::PageDialogs page_dialogs;
  // The page's dialogs while the window is open; the caller's before and after.
  std::optional<ScopedDialogs> dialogs;
  std::chrono::steady_clock::time_point next_tick;
  bool unloaded = false;
};

WindowHost& WindowHost::Instance() {
  static WindowHost host;
  return host;
}

WindowHost::~WindowHost() {
  Close();
}

int WindowHost::AddFinishedHandler(std::function<void()> handler) {
  const int id = next_handler_++;
  finished_[id] = std::move(handler);
  return id;
}

void WindowHost::RemoveFinishedHandler(int id) {
  finished_.erase(id);
}

void WindowHost::RaiseFinished() {
  // A handler may remove itself (its object goes away): call a copy.
  auto handlers = finished_;
  for (auto& [id, handler] : handlers) {
    if (handler) handler();
  }
}

bool WindowHost::IsOpen() const {
  return window_ != nullptr;
}

bool WindowHost::Load(int start_value, const std::string& input) {
  if (window_) {
    window_->server.BringToFront();
    return true;
  }
  load_failed_ = true;
  unload_status_ = Err{};
  ui::WindowOptions options;
  options.html_dir = ModulePath("html");
  auto window = std::make_unique<Window>(options);
  std::string error;
  if (!window->server.Start(&error)) {
    LogError("WindowHost.Load", Err::Raise(9000, "WindowServer", error));
    CurrentDialogs().MsgBox(error, MsgButtons::OK, MsgIcon::Critical, ModuleTitle());
    RaiseFinished();
    return false;
  }
  const std::string address = window->server.Address();
  // Without a browser to open (none wanted, or no display to show one on) the address
  // comes first, so a program or a person can open the window at once.
  const bool open_browser = Opening.open_browser && ui::HasDisplay();
  if (!open_browser && Opening.address_first) Opening.address_first(address);

  MainWindow& main = window->main;
  main.StartValue = start_value;
  main.StartupInput = input;
  main.Finished = [this] { RaiseFinished(); };
  // The load's failure messages go to the caller's dialogs: no page is shown for a load
  // that fails.
  if (!main.Form_Load()) {
    window->server.Stop();
    RaiseFinished();
    return false;
  }
  load_failed_ = false;
  window_ = std::move(window);
  Window& w = *window_;
  TagWindow("http://127.0.0.1:" + std::to_string(w.server.port()), w.server.secret());
  w.dialogs.emplace(&w.page_dialogs);
  w.server.SetEventHandler([&w](const ui::PageEvent& e) { return w.main.HandleEvent(e); });
  w.server.SetCloseHandler([this, &w](ui::CloseReason) {
    unload_status_ = w.main.Form_Unload();
    w.unloaded = true;
    w.loop.Quit();
  });
  main.ShowFirstPage();
  w.next_tick = std::chrono::steady_clock::now() + MainWindow::SpoolInterval();

  if (open_browser) {
    std::string browser = Opening.browser;
    if (browser.empty()) {
      if (const char* env = std::getenv("LARKEDI_BROWSER")) browser = env;
    }
    if (!ui::OpenWindowInBrowser(address, browser, main.Placement(), &error)) {
      WriteLog("The window was not opened in a browser: " + error);
      if (Opening.not_opened) Opening.not_opened(address, error);
    }
  }
  return true;
}

bool WindowHost::RunOnce(std::chrono::milliseconds wait) {
  if (!window_) return false;
  Window& w = *window_;
  if (!w.loop.quitting()) {
    w.loop.RunOnce(wait);
    const auto now = std::chrono::steady_clock::now();
    if (now >= w.next_tick) {
      w.loop.Post([&w] { w.main.SpoolTimerTick(); });
      w.next_tick = now + MainWindow::SpoolInterval();
    }
  }
  if (!w.loop.quitting()) return true;
  Close();
  return false;
}

void WindowHost::RunModal() {
  while (RunOnce(std::chrono::milliseconds(100))) {
  }
}

void WindowHost::Close() {
  if (!window_) return;
  Window& w = *window_;
  if (!w.unloaded) {
    unload_status_ = w.main.Form_Unload();
    w.unloaded = true;
  }
  w.server.Stop();
  UntagWindow();
  // A design handed in that no order stack page took in waits for the next window.
  if (!w.main.StartupInput.empty()) Module().StartupInput = w.main.StartupInput;
  w.dialogs.reset();
  window_.reset();
}

}  // namespace larkedi
