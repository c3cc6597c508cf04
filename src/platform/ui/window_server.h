// The main window as a local web application: an HTTP server on 127.0.0.1 that serves
// the module's html/ folder and the window page, keeps one model per frame document,
// pushes every change to the page over Server-Sent Events, receives the page's events
// and hands them to the user-interface thread, and shows the module's dialogs.
//
// Only the page that opened the window's secret address may talk to it: the secret is
// exchanged once for an HttpOnly, SameSite=Strict cookie, and requests for another host
// name (DNS rebinding) or from another origin are refused.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/frame_model.h"
#include "platform/ui/ui_loop.h"

namespace larkedi::ui {

enum class EventKind {
  Click,
  KeyDown,
  KeyUp,
  Change,
  Input,
  ContextMenu,
  Error,
  Complete,
  Geometry
};

/// Where the page's browser window is on the screen, in pixels (a Geometry event).
struct PageGeometry {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int screen_width = 0;
  int screen_height = 0;
  bool maximized = false;
};

/// One event of the page, as the module's dispatch receives it.
struct PageEvent {
  EventKind kind = EventKind::Click;
  std::string frame;  // "fDocA", ..., or "window" for the window page
  std::string id;     // the source element's id, as written in the page
  std::string tag;    // lower case
  std::string type;   // lower case
  std::string form;   // the id of the element's form
  std::string key;    // key events: the key's name ("F1", "v", "Enter")
  bool ctrl = false;
  bool alt = false;
  bool shift = false;
  std::string message;    // Error: the script error's description
  PageGeometry geometry;  // Geometry: the browser window's place and size
};

/// A click's answer: true lets the element's own action run (a link is followed).
using EventHandler = std::function<bool(const PageEvent&)>;

enum class CloseReason { Requested, PageGone };

struct WindowOptions {
  /// The module's html/ folder: every file the window serves comes from it.
  std::string html_dir;
  /// The frame documents, top to bottom.
  std::vector<std::string> frames = {"fDocA", "fDocB", "fDocC"};
  /// The window page's own document (menu bar, frame rows, second panel); empty for the
  /// built-in one. Elements marked data-keep have content of the page's own.
  std::string window_html;
  /// The page counts as gone when no event stream was open for this long.
  std::chrono::milliseconds page_gone_after{5000};
  /// How often an idle event stream is written to (a closed page is noticed then).
  std::chrono::milliseconds heartbeat{500};
};

/// A dialog shown in the page.
struct DialogRequest {
  enum class Kind { MessageBox, InputBox, File, Folder };
  Kind kind = Kind::MessageBox;
  std::string title;
  std::string text;
  std::string icon;                  // "information", "exclamation", "critical", "question"
  std::vector<std::string> buttons;  // "ok", "cancel", "yes", "no"
  int default_button = 0;
  std::string default_text;  // input box
  std::string filter;        // file picker: "Description|*.ext;*.ext2|..."
  std::string folder;        // pickers: where browsing starts
};

/// How the dialog ended. `button` is one of the request's buttons, "ok" for an input
/// box or picker, or "cancel" when the dialog was closed, the page reloaded or lost.
struct DialogAnswer {
  std::string button = "cancel";
  std::string text;
  bool closed = true;  // no button was chosen
};

class WindowServer {
 public:
  WindowServer(UiLoop& loop, WindowOptions options);
  ~WindowServer();
  WindowServer(const WindowServer&) = delete;
  WindowServer& operator=(const WindowServer&) = delete;

  /// Binds a free port on 127.0.0.1 and starts serving. False with `error` set on failure.
  bool Start(std::string* error = nullptr);
  /// Stops serving (also done by the destructor).
  void Stop();

  int port() const;
  /// The address that opens the window: http://127.0.0.1:PORT/?s=SECRET
  std::string Address() const;
  /// The window's own address of a file of the html/ folder (no secret).
  std::string FileUrl(const std::string& relative) const;
  const std::string& secret() const;

  /// The model of a frame ("fDocA", ...) or of the window page ("window"); null when
  /// there is no such frame. Models are changed on the user-interface thread.
  FrameModel* Frame(const std::string& name);
  FrameModel& WindowModel();

  /// Receives every page event, on the user-interface thread, after the event's form
  /// control state was applied to the frame's model.
  void SetEventHandler(EventHandler handler);
  /// Called once on the user-interface thread when the window closes.
  void SetCloseHandler(std::function<void(CloseReason)> handler);
  /// Closes the window (any thread): the page is told, and the close handler runs.
  void RequestClose();
  bool closed() const;

  /// The second panel (the second browser): shows `address` in place of the frames.
  void ShowPanel(const std::string& address);
  void HidePanel();
  /// Asks the page to take the focus (another opening call found the window open).
  void BringToFront();
  /// Opens a file of the html/ folder (a path relative to it) in a page of its own.
  void OpenPage(const std::string& relative);
  /// Opens `html` in an auxiliary page of the window and asks the browser to print it.
  void PrintPreview(const std::string& html);

  /// Shows a dialog and waits for it in a nested loop (user-interface thread only).
  DialogAnswer RunDialog(const DialogRequest& request);

  /// True while the page has an event stream open.
  bool PageConnected() const;
  /// Number of page event streams opened so far.
  int connections() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

/// Checks a request path for the static file server and maps it below `root`: false for
/// "..", ".", empty or hidden segments, backslashes, NUL, and for files that resolve
/// (through symbolic links) outside `root` or are not regular files.
bool ResolveStaticPath(const std::string& root, const std::string& path, std::string* resolved);

/// Opens the window's address in the user's browser: with the browser command
/// `app_browser` when given ("chromium" runs with --app=ADDRESS, "%s" in the command
/// stands for the address; see browser_command.h), else through xdg-open. False with
/// `error` set when there is no display (the caller then prints the address) or the
/// program cannot be started. The browser runs on its own; nothing waits for it.
bool OpenWindowInBrowser(const std::string& address, const std::string& app_browser,
                         std::string* error = nullptr);

/// `bytes` random bytes from the system's random source, as lower-case hexadecimal.
/// Empty when the source failed.
std::string RandomHex(std::size_t bytes);

}  // namespace larkedi::ui
