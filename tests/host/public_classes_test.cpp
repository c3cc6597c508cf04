// The public classes open the process's one window through its page: a modeless call
// returns as soon as the window is open and every caller hears Finished once it has
// finished. (The command line's `activate` runs the modal call under the browser checks;
// another process's window and a load that fails are run as real processes by the
// command-line tests.)
#include "host/interface.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "host/window_host.h"
#include "testing/partner_sim.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

// What the page does when the dealer clicks a tool of the menu bar.
void ClickTool(const std::string& address, int tool) {
  testing::FetchResult opened = testing::Fetch(address);
  ASSERT_EQ(opened.status, 303) << opened.error;
  const std::string cookie = opened.Header("Set-Cookie");
  testing::FetchRequest click;
  click.method = "POST";
  click.content_type = "application/json";
  click.headers = {"Cookie: " + cookie.substr(0, cookie.find(';'))};
  click.body = R"({"kind":"click","frame":"window","id":"tool)" + std::to_string(tool) +
               R"(","tag":"button","type":"button","form":"","controls":[]})";
  testing::FetchResult sent =
      testing::Fetch(address.substr(0, address.find("/?")) + "/event", click);
  ASSERT_EQ(sent.status, 200) << sent.body;
}

class PublicClassesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LARKEDI_REGISTRY_DIR", module_.path("registry").c_str(), 1);
    testing::WriteOnePartnerSettings(module_, "Acme");
    module_.Restart();
    WindowOpening& opening = WindowHost::Instance().Opening;
    opening.open_browser = false;
    opening.address_first = [this](const std::string& address) { address_ = address; };
  }
  void TearDown() override {
    WindowHost::Instance().Opening = WindowOpening{};
    ::unsetenv("LARKEDI_REGISTRY_DIR");
  }
  int StackedDesigns() {
    int n = 0;
    for (const auto& entry : std::filesystem::directory_iterator(module_.path("Send"))) {
      n += entry.path().extension() == ".xme";
    }
    return n;
  }
  // Closes the window from its page and runs it until it has gone.
  void CloseFromThePage() {
    ClickTool(address_, 7);
    int rounds = 0;
    while (WindowHost::Instance().RunOnce(std::chrono::milliseconds(50)) && ++rounds < 400) {
    }
    EXPECT_FALSE(WindowHost::Instance().IsOpen());
  }

  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  std::string address_;
};

TEST_F(PublicClassesTest, AModelessActivateReturnsOnceTheWindowIsOpen) {
  Interface host;
  int finished = 0;
  host.Finished = [&] { ++finished; };
  int start = kStartOrders;
  EXPECT_TRUE(host.Activate(testing::OneDesignInput("kitchen.kit", "ABC"), "Modeless", start));
  ASSERT_TRUE(WindowHost::Instance().IsOpen());
  EXPECT_EQ(finished, 0);

  // Another opening call while it is open uses the same window.
  Interface second;
  int second_finished = 0;
  second.Finished = [&] { ++second_finished; };
  second.show();
  EXPECT_TRUE(WindowHost::Instance().IsOpen());

  CloseFromThePage();
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(second_finished, 1);
  EXPECT_EQ(StackedDesigns(), 1);

  // A closed window is loaded again by the next call; the design handed in before is not
  // stacked a second time.
  EXPECT_TRUE(host.Activate("   ", "Modeless", start));
  ASSERT_TRUE(WindowHost::Instance().IsOpen());
  CloseFromThePage();
  EXPECT_EQ(finished, 2);
  EXPECT_EQ(StackedDesigns(), 1);
}

}  // namespace
}  // namespace larkedi
