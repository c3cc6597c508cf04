// How the window's page is opened: the user's browser through xdg-open, or the browser
// command the user chose, where "%s" stands for the window's address
// ("chromium --app=%s"). The command is split into words (no shell is involved); an app
// window (a word starting with --app=) is placed where the window was last time.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace larkedi::ui {

/// A browser window's place and size on the screen, in pixels.
struct WindowPlacement {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool maximized = false;
};

/// The program and arguments that open `address`. An empty command is xdg-open. In a
/// command every "%s" becomes the address; a command without "%s" gets --app=ADDRESS as
/// its last word (an app window of a Chromium-family browser). An app window with a
/// `placement` also gets --window-position and --window-size (--start-maximized when it
/// was maximised) after the program.
std::vector<std::string> BrowserArguments(const std::string& command, const std::string& address,
                                          const std::optional<WindowPlacement>& placement);

/// True when the arguments open an app window (a word starting with --app=).
bool IsAppWindow(const std::vector<std::string>& args);

/// True when there is a display to open a window on (DISPLAY or WAYLAND_DISPLAY set).
bool HasDisplay();

/// Opens `address` with BrowserArguments. False with `error` set when there is no display
/// (the caller then prints the address) or the program cannot be started. The browser runs
/// on its own; nothing waits for it.
bool OpenWindowInBrowser(const std::string& address, const std::string& command,
                         const std::optional<WindowPlacement>& placement, std::string* error);

}  // namespace larkedi::ui
