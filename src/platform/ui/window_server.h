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
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
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
  enum class Kind { MessageBox, InputBox, File, Folder, Password, Dealer };
  Kind kind = Kind::MessageBox;
  std::string title;
  std::string text;
  std::string icon;                  // "information", "exclamation", "critical", "question"
  std::vector<std::string> buttons;  // "ok", "cancel", "yes", "no"
  int default_button = 0;
  std::string default_text;  // input box
  std::string filter;        // file picker: "Description|*.ext;*.ext2|..."
  std::string folder;        // pickers: where browsing starts
  /// Password and dealer dialogs: their texts by part ("ok", "cancel", "prompt", "frame",
  /// "email", "password", "forgot", "link", "tip").
  std::map<std::string, std::string> labels;
  /// Run on the user-interface thread when the page reports a click on the dialog's link;
  /// the dialog stays open.
  std::function<void()> on_link;
};

/// How the dialog ended. `button` is one of the request's buttons, "ok" for an input
/// box or picker, or "cancel" when the dialog was closed, the page reloaded or lost.
struct DialogAnswer {
  std::string button = "cancel";
  std::string text;
  /// The password field of a password or dealer dialog (empty otherwise).
  std::string secret;
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
  /// The second panel showing `address` of another site, which must lie on `site` (an
  /// address whose scheme, host and port are taken). The panel holds a page of the window
  /// whose policy lets its frame show that site alone, so no link or script of the site
  /// takes the panel elsewhere. False, and nothing changes, when `address` is not on `site`.
  bool ShowSitePanel(const std::string& address, const std::string& site);
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

/// What the window's server is told by a request, before it serves it.
struct RequestFacts {
  std::string host;                   // the Host header
  std::optional<std::string> origin;  // the Origin header, when one was sent
  std::string path;
  std::optional<std::string> secret;  // the address's "s" parameter, when given
  std::string cookie;                 // the Cookie header
  std::string method = {};            // "GET", "POST", ...
  std::string raise_secret = {};      // the X-LarkEDI-Secret header of a raise request
};

enum class RequestVerdict {
  Refuse,          // another host name (DNS rebinding), another origin, a wrong secret or
                   // no token this window gave out
  ExchangeSecret,  // "/" with the window's secret: the page gets a new token as a cookie
  Serve,           // a token this window gave out, in the cookie `cookie_name`
};

/// The access check every request of the window passes: only 127.0.0.1 or localhost on
/// `port`, from no origin or the window's own, with the secret or a known token.
RequestVerdict CheckRequest(const RequestFacts& request, int port, const std::string& secret,
                            const std::string& cookie_name, const std::set<std::string>& tokens);

/// The value of cookie `name` in a Cookie header ("a=1; b=2"); empty when absent.
std::string CookieValue(const std::string& header, const std::string& name);

/// An event the page posted, with the state of the form controls it carried.
struct PostedEvent {
  PageEvent event;
  std::vector<ControlState> controls;
};

/// Reads the body the page posts for an event: a JSON object with "kind" and "frame" and,
/// as they apply, "id", "tag", "type", "form", "key", "ctrl", "alt", "shift", "message" and
/// "controls" (objects with "id" and "value", "checked" or "selected"). Fields of the wrong
/// type count as absent, controls without an id are skipped; tag and type become lower
/// case. nullopt for a body that is not a JSON object or names no known kind. Whether the
/// frame exists is for the caller to check.
std::optional<PostedEvent> ParseEventBody(std::string_view body);

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

/// "scheme://host[:port]" of an http or https address, lower-cased; empty for any other
/// address, and for one with a user name or a character no host name holds.
std::string SiteOfAddress(const std::string& address);

/// `bytes` random bytes from the system's random source, as lower-case hexadecimal.
/// Empty when the source failed.
std::string RandomHex(std::size_t bytes);

}  // namespace larkedi::ui
