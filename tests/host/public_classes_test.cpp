// The public classes open the process's one window through its page: a modal call returns
// when the window has closed, a modeless one as soon as it is open; each raises Finished
// once the window has finished, or at once when another process has the window.
#include "host/interface.h"

#include <curl/curl.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <thread>

#include "host/window_host.h"
#include "platform/instance_lock.h"
#include "support/module.h"
#include "testing/partner_sim.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"
#include "testing/test_window.h"

namespace larkedi {
namespace {

std::string Design(const std::string& kit) {
  return testing::OneDesignInput(kit, "ABC");
}

// The cookie the window's address gives its page.
std::string PageCookie(const std::string& address) {
  testing::FetchResult opened = testing::Fetch(address);
  EXPECT_EQ(opened.status, 303) << opened.error;
  const std::string set = opened.Header("Set-Cookie");
  return set.substr(0, set.find(';'));
}

struct StreamWait {
  std::string wanted;
  std::string seen;
};

std::size_t ReadStream(char* data, std::size_t size, std::size_t n, void* out) {
  auto* wait = static_cast<StreamWait*>(out);
  wait->seen.append(data, size * n);
  // Returning less than was given ends the transfer: the page has shown what was wanted.
  return wait->seen.find(wait->wanted) != std::string::npos ? 0 : size * n;
}

// Follows the page's event stream, as a page does, until it carries `wanted` (the first
// page is shown), at most ten seconds.
bool WaitForPage(const std::string& address, const std::string& wanted) {
  const std::string cookie = PageCookie(address);
  const std::string base = address.substr(0, address.find("/?"));
  StreamWait wait{wanted, {}};
  CURL* curl = curl_easy_init();
  curl_slist* headers = curl_slist_append(nullptr, ("Cookie: " + cookie).c_str());
  curl_easy_setopt(curl, CURLOPT_URL, (base + "/events?page=test").c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, ReadStream);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &wait);
  curl_easy_perform(curl);
  curl_slist_free_all(headers);
  curl_easy_cleanup(curl);
  return wait.seen.find(wanted) != std::string::npos;
}

// What the page does when the dealer clicks a tool of the menu bar.
void ClickTool(const std::string& address, int tool) {
  const std::string cookie = PageCookie(address);
  const std::string base = address.substr(0, address.find("/?"));
  testing::FetchRequest click;
  click.method = "POST";
  click.content_type = "application/json";
  click.headers = {"Cookie: " + cookie};
  click.body = R"({"kind":"click","frame":"window","id":"tool)" + std::to_string(tool) +
               R"(","tag":"button","type":"button","form":"","controls":[]})";
  testing::FetchResult sent = testing::Fetch(base + "/event", click);
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
    opening.address_first = [this](const std::string& address) {
      address_ = address;
      if (!close_when_showing_.empty()) {
        // The dealer closes the window from its page while the call waits for it.
        closer_ = std::thread([address, wanted = close_when_showing_] {
          EXPECT_TRUE(WaitForPage(address, wanted)) << wanted;
          ClickTool(address, 7);
        });
      }
    };
  }
  void TearDown() override {
    if (closer_.joinable()) closer_.join();
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

  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  std::string address_;
  // The text of the first page after which the page closes the window (empty: it does not).
  std::string close_when_showing_;
  std::thread closer_;
};

TEST_F(PublicClassesTest, AModalActivateReturnsWhenTheWindowHasClosed) {
  close_when_showing_ = "ordercheck";
  Interface host;
  int finished = 0;
  host.Finished = [&] { ++finished; };
  int start = kStartOrders;
  // Only "Modeless" spelled exactly so opens a modeless window.
  EXPECT_TRUE(host.Activate(Design("kitchen.kit"), "modeless", start));
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(WindowHost::Instance().IsOpen());
  EXPECT_EQ(StackedDesigns(), 1);
  // The window's tag went with it.
  EXPECT_FALSE(ReadWindowTag(ModuleName() + "_APPLICATION").has_value());

  // A closed window is loaded again by the next call; the design handed in before is not
  // stacked a second time.
  closer_.join();
  EXPECT_TRUE(host.Activate("   ", "", start));
  EXPECT_EQ(finished, 2);
  EXPECT_EQ(StackedDesigns(), 1);
}

TEST_F(PublicClassesTest, AModelessActivateReturnsOnceTheWindowIsOpen) {
  Interface host;
  int finished = 0;
  host.Finished = [&] { ++finished; };
  int start = kStartOrders;
  EXPECT_TRUE(host.Activate(Design("kitchen.kit"), "Modeless", start));
  ASSERT_TRUE(WindowHost::Instance().IsOpen());
  EXPECT_EQ(finished, 0);
  // While it is open, the window is tagged for the next process.
  std::optional<WindowTag> tag = ReadWindowTag(ModuleName() + "_APPLICATION");
  ASSERT_TRUE(tag.has_value());
  EXPECT_EQ(address_.rfind(tag->address + "/?s=" + tag->secret, 0), 0u) << address_;

  // Another opening call while it is open uses the same window.
  Interface second;
  int second_finished = 0;
  second.Finished = [&] { ++second_finished; };
  second.show();
  EXPECT_TRUE(WindowHost::Instance().IsOpen());

  ClickTool(address_, 7);
  int rounds = 0;
  while (WindowHost::Instance().RunOnce(std::chrono::milliseconds(50)) && ++rounds < 400) {
  }
  EXPECT_FALSE(WindowHost::Instance().IsOpen());
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(second_finished, 1);
  EXPECT_EQ(StackedDesigns(), 1);
}

TEST_F(PublicClassesTest, AnotherProcessesWindowOnlyRaisesFinished) {
  Module().bAnotherInstance = true;
  Interface host;
  int finished = 0;
  host.Finished = [&] { ++finished; };
  host.show(kStartOrders);
  EXPECT_EQ(finished, 1);
  EXPECT_FALSE(host.Activate(Design("kitchen.kit"), ""));
  EXPECT_EQ(finished, 2);
  EXPECT_FALSE(WindowHost::Instance().IsOpen());
  EXPECT_TRUE(address_.empty());  // no window server was started
  EXPECT_FALSE(std::filesystem::exists(module_.path("Send")) && StackedDesigns() > 0);
}

TEST_F(PublicClassesTest, ALoadThatFailsRaisesFinishedWithoutAWindow) {
  Interface host;
  int finished = 0;
  host.Finished = [&] { ++finished; };
  EXPECT_TRUE(host.Activate("<Designs><Design>", ""));
  EXPECT_EQ(finished, 1);
  EXPECT_TRUE(WindowHost::Instance().LastLoadFailed());
  EXPECT_FALSE(WindowHost::Instance().IsOpen());
  EXPECT_FALSE(ReadWindowTag(ModuleName() + "_APPLICATION").has_value());
}

TEST_F(PublicClassesTest, ConfigAndSpoolerOpenTheSettingsModal) {
  close_when_showing_ = "setspoolpathbutton";
  config settings;
  int finished = 0;
  settings.Finished = [&] { ++finished; };
  EXPECT_FALSE(settings.Activate("ignored", "Modeless"));
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(Module().StartupValue, kStartSettings);
  EXPECT_FALSE(WindowHost::Instance().IsOpen());

  closer_.join();
  Spooler spooler;
  int spooler_finished = 0;
  spooler.Finished = [&] { ++spooler_finished; };
  spooler.Configure();
  EXPECT_EQ(spooler_finished, 1);
  EXPECT_FALSE(WindowHost::Instance().IsOpen());
}

}  // namespace
}  // namespace larkedi
