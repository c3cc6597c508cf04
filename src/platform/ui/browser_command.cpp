#include "platform/ui/browser_command.h"

#include <cstdlib>

#include "platform/process/launch.h"

namespace larkedi::ui {

std::vector<std::string> BrowserArguments(const std::string& command, const std::string& address,
                                          const std::optional<WindowPlacement>& placement) {
  std::vector<std::string> args = process::CommandLineWords(command);
  if (args.empty()) return {"xdg-open", address};
  bool substituted = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string& word = args[i];
    for (std::size_t at = word.find("%s"); at != std::string::npos;
         at = word.find("%s", at + address.size())) {
      word.replace(at, 2, address);
      substituted = true;
    }
  }
  if (!substituted) args.push_back("--app=" + address);
  if (placement && IsAppWindow(args)) {
    std::vector<std::string> place;
    if (placement->width > 0 && placement->height > 0) {
      place.push_back("--window-position=" + std::to_string(placement->left) + "," +
                      std::to_string(placement->top));
      place.push_back("--window-size=" + std::to_string(placement->width) + "," +
                      std::to_string(placement->height));
    }
    if (placement->maximized) place.push_back("--start-maximized");
    args.insert(args.begin() + 1, place.begin(), place.end());
  }
  return args;
}

bool IsAppWindow(const std::vector<std::string>& args) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i].rfind("--app=", 0) == 0) return true;
  }
  return false;
}

bool HasDisplay() {
  const char* x11 = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x11 && *x11) || (wayland && *wayland);
}

bool OpenWindowInBrowser(const std::string& address, const std::string& command,
                         const std::optional<WindowPlacement>& placement, std::string* error) {
  if (!HasDisplay()) {
    if (error) *error = "There is no display to open the window on.";
    return false;
  }
  const std::vector<std::string> args = BrowserArguments(command, address, placement);
  Err err;
  // The started browser is reaped in the background when it ends.
  process::StartedProcess browser = process::StartProcess(args, "", &err);
  if (!browser) {
    if (error) *error = args[0] + " could not be started: " + err.Description;
    return false;
  }
  if (error) error->clear();
  return true;
}

}  // namespace larkedi::ui
