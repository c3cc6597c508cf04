// The browser command that opens the window: the address put where the command says, the
// app window placed where it was last time, no shell in between.
#include "platform/ui/browser_command.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

namespace larkedi::ui {
namespace {

using Args = std::vector<std::string>;

const std::string kAddress = "http://127.0.0.1:4321/?s=00ff";

TEST(BrowserArguments, TheAddressGoesWhereTheCommandSaysAndNoShellReadsIt) {
  const WindowPlacement at{40, 30, 1000, 700, false};
  const WindowPlacement maximised{10, 20, 800, 600, true};
  const std::string app = "--app=" + kAddress;
  const std::tuple<std::string, std::optional<WindowPlacement>, Args> cases[] = {
      {"\"my browser\" --flag='$(rm -rf x)' %s",
       std::nullopt,
       {"my browser", "--flag='$(rm", "-rf", "x)'", kAddress}},
      {"   ", at, {"xdg-open", kAddress}},
      // Only an app window is placed.
      {"chromium --app=%s",
       at,
       {"chromium", "--window-position=40,30", "--window-size=1000,700", app}},
      {"chromium",
       maximised,
       {"chromium", "--window-position=10,20", "--window-size=800,600", "--start-maximized", app}},
      {"firefox %s", at, {"firefox", kAddress}},
  };
  for (const auto& [command, placement, expected] : cases) {
    EXPECT_EQ(BrowserArguments(command, kAddress, placement), expected) << command;
  }
  // An address holding "%s" itself is not substituted again.
  EXPECT_EQ(BrowserArguments("b %s#%s", "http://h/%s", std::nullopt),
            (Args{"b", "http://h/%s#http://h/%s"}));
  EXPECT_TRUE(IsAppWindow(BrowserArguments("chromium", kAddress, std::nullopt)));
  EXPECT_FALSE(IsAppWindow(Args{"firefox", kAddress}));
  // The program's own name is never taken for the app switch.
  EXPECT_FALSE(IsAppWindow(Args{"--app=x"}));
}

}  // namespace
}  // namespace larkedi::ui
