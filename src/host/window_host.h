// The process's one main window, as the public classes open it: the window server on
// 127.0.0.1, the main window on its page, the page's dialogs, the user-interface loop and
// the spool timer. The public classes only choose the start value, the design text and
// whether the call waits for the window to close.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "platform/err.h"

namespace larkedi {

/// How the window's page is opened; the host (the command line) chooses.
struct WindowOpening {
  /// Open the page in a browser (when there is a display); false: only tell the address.
  bool open_browser = true;
  /// Browser command ("chromium --app=%s"); empty: LARKEDI_BROWSER, else xdg-open.
  std::string browser;
  /// Told the window's address before the load, when no browser is to be opened (none
  /// wanted, or no display).
  std::function<void(const std::string& address)> address_first;
  /// Told the address and the reason when the browser could not be opened (no display).
  std::function<void(const std::string& address, const std::string& why)> not_opened;
};

class WindowHost {
 public:
  /// The process's window host.
  static WindowHost& Instance();

  WindowOpening Opening;

  /// Loads the window with the start value and the design text and opens its page. When
  /// the load fails, Finished is raised and the result is false (nothing is shown). A
  /// window that is open already is brought forward and keeps its page.
  bool Load(int start_value, const std::string& input);
  /// Runs the window's loop until the window has closed (a modal window).
  void RunModal();
  /// Runs the window's loop for at most `wait` (a modeless window: the host calls this
  /// from its own loop). False when no window is open (any more).
  bool RunOnce(std::chrono::milliseconds wait);
  bool IsOpen() const;

  /// Handlers of the window's Finished event; the result identifies the handler.
  int AddFinishedHandler(std::function<void()> handler);
  void RemoveFinishedHandler(int id);
  /// Raises Finished to every handler.
  void RaiseFinished();

  /// Why the last unload could not save the order stack (empty when it did).
  const Err& UnloadStatus() const { return unload_status_; }
  /// The last load failed (the window was not shown).
  bool LastLoadFailed() const { return load_failed_; }

  ~WindowHost();

 private:
  WindowHost() = default;
  struct Window;
  void Close();

  std::unique_ptr<Window> window_;
  std::map<int, std::function<void()>> finished_;
  int next_handler_ = 1;
  Err unload_status_;
  bool load_failed_ = false;
};

}  // namespace larkedi
