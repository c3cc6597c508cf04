// The browser command that opens the window: the address put where the command says, the
// app window placed where it was last time, no shell in between.
#include "platform/ui/browser_command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/temp_module.h"

namespace larkedi::ui {
namespace {

using Args = std::vector<std::string>;

const std::string kAddress = "http://127.0.0.1:4321/?s=00ff";

TEST(BrowserArguments, TheAddressTakesThePlaceOfEveryPercentS) {
  EXPECT_EQ(BrowserArguments("chromium --app=%s", kAddress, std::nullopt),
            (Args{"chromium", "--app=" + kAddress}));
  EXPECT_EQ(BrowserArguments("firefox --new-window %s", kAddress, std::nullopt),
            (Args{"firefox", "--new-window", kAddress}));
  // Every occurrence, also twice in one word; an address holding "%s" itself is not
  // substituted again.
  EXPECT_EQ(BrowserArguments("b %s#%s", "http://h/%s", std::nullopt),
            (Args{"b", "http://h/%s#http://h/%s"}));
  // Quotes group a word, and nothing in the command is read by a shell.
  EXPECT_EQ(BrowserArguments("\"my browser\" --flag='$(rm -rf x)' %s", kAddress, std::nullopt),
            (Args{"my browser", "--flag='$(rm", "-rf", "x)'", kAddress}));
}

TEST(BrowserArguments, WithoutPercentSTheCommandOpensAnAppWindowAndEmptyIsXdgOpen) {
  EXPECT_EQ(BrowserArguments("chromium", kAddress, std::nullopt),
            (Args{"chromium", "--app=" + kAddress}));
  EXPECT_EQ(BrowserArguments("", kAddress, std::nullopt), (Args{"xdg-open", kAddress}));
  EXPECT_EQ(BrowserArguments("   ", kAddress, std::nullopt), (Args{"xdg-open", kAddress}));
}

TEST(BrowserArguments, AProgramPathWithBlanksIsOneWord) {
  std::string dir = testing::MakeTempDir() + "/Web Browser";
  std::filesystem::create_directories(dir);
  testing::WriteFileOrDie(dir + "/run", "#!/bin/sh\n");
  EXPECT_EQ(BrowserArguments(dir + "/run --app=%s", kAddress, std::nullopt),
            (Args{dir + "/run", "--app=" + kAddress}));
  std::filesystem::remove_all(std::filesystem::path(dir).parent_path());
}

TEST(BrowserArguments, OnlyAnAppWindowIsPlaced) {
  WindowPlacement at{40, 30, 1000, 700, false};
  Args app = BrowserArguments("chromium --app=%s", kAddress, at);
  EXPECT_EQ(app, (Args{"chromium", "--window-position=40,30", "--window-size=1000,700",
                       "--app=" + kAddress}));
  EXPECT_TRUE(IsAppWindow(app));

  WindowPlacement maximised{10, 20, 800, 600, true};
  EXPECT_EQ(BrowserArguments("chromium", kAddress, maximised),
            (Args{"chromium", "--window-position=10,20", "--window-size=800,600",
                  "--start-maximized", "--app=" + kAddress}));

  // A tab of any browser, or xdg-open, is where the browser puts it.
  Args tab = BrowserArguments("firefox %s", kAddress, at);
  EXPECT_EQ(tab, (Args{"firefox", kAddress}));
  EXPECT_FALSE(IsAppWindow(tab));
  EXPECT_EQ(BrowserArguments("", kAddress, at), (Args{"xdg-open", kAddress}));
  // The program's own name is never taken for the app switch.
  EXPECT_FALSE(IsAppWindow(Args{"--app=x"}));
}

}  // namespace
}  // namespace larkedi::ui
