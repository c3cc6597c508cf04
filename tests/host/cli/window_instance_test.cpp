// One window per user: a second `larkedi show`, `activate` or `config` asks the running
// window to come forward and ends; a window tag left by a process that was killed is
// replaced by the next window; `activate` refuses what it cannot take in before a window
// opens. Real processes, as the host starts them.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/instance_lock.h"
#include "testing/partner_sim.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::LarkediExe;
using testing::RunCommand;

// A `larkedi show --no-browser` running in the background, with its address.
class RunningWindow {
 public:
  explicit RunningWindow(const std::string& args) {
    pipe_ = ::popen(("echo $$; exec " + LarkediExe() + " " + args).c_str(), "r");
    if (!pipe_) return;
    pid_ = static_cast<pid_t>(std::atol(Line().c_str()));
    address = Line();
  }
  ~RunningWindow() { Kill(); }
  void Kill() {
    if (pid_ > 0) ::kill(pid_, SIGKILL);
    if (pipe_) ::pclose(pipe_);
    pipe_ = nullptr;
    pid_ = 0;
  }
  pid_t pid() const { return pid_; }
  std::string address;

 private:
  std::string Line() {
    char buf[512] = {};
    if (!std::fgets(buf, sizeof buf, pipe_)) return {};
    std::string line = buf;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return line;
  }
  FILE* pipe_ = nullptr;
  pid_t pid_ = 0;
};

// The tag of the window of process `pid`, once it is there (at most ten seconds).
std::optional<WindowTag> WaitForTag(const std::string& tag_name, pid_t pid) {
  for (int i = 0; i < 1000; ++i) {
    std::optional<WindowTag> tag = ReadWindowTag(tag_name);
    if (tag && tag->pid == pid) return tag;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return std::nullopt;
}

TEST(WindowInstance, ASecondProcessBringsTheFirstWindowForwardAndEnds) {
  testing::TempModule module;
  ::setenv("LARKEDI_REGISTRY_DIR", module.path("registry").c_str(), 1);
  const std::string tag_name = "larkEDI_APPLICATION";
  const std::string lark = LarkediExe() + " --module-dir " + module.dir();

  RunningWindow first("--module-dir " + module.dir() + " show --no-browser");
  ASSERT_EQ(first.address.rfind("http://127.0.0.1:", 0), 0u) << first.address;
  // The window is tagged once its load is done, just after the address was printed.
  std::optional<WindowTag> tag = WaitForTag(tag_name, first.pid());
  ASSERT_TRUE(tag.has_value());
  EXPECT_EQ(first.address, tag->address + "/?s=" + tag->secret);

  // The browser check runs a second `show`; `activate` and `config` take the same way.
  testing::WriteFileOrDie(module.path("none.xml"), "<Designs/>");
  for (const std::string& command : {std::string("config --no-browser"),
                                     "activate " + module.path("none.xml") + " --no-browser"}) {
    SCOPED_TRACE(command);
    std::string out;
    EXPECT_EQ(RunCommand(lark + " " + command, &out), 0) << out;
    EXPECT_NE(out.find("already open"), std::string::npos) << out;
    EXPECT_NE(out.find("Finished"), std::string::npos) << out;
    EXPECT_EQ(out.find("http://"), std::string::npos) << out;  // no window of its own
  }
  // The first window still runs and keeps its tag.
  EXPECT_EQ(::kill(first.pid(), 0), 0);
  EXPECT_EQ(ReadWindowTag(tag_name)->secret, tag->secret);

  // Only the tag's secret brings the window forward.
  testing::FetchRequest raise;
  raise.method = "POST";
  EXPECT_EQ(testing::Fetch(tag->address + "/api/raise", raise).status, 403);
  raise.headers = {"X-LarkEDI-Secret: " + std::string(tag->secret.size(), '0')};
  EXPECT_EQ(testing::Fetch(tag->address + "/api/raise", raise).status, 403);
  raise.headers = {"X-LarkEDI-Secret: " + tag->secret};
  EXPECT_EQ(testing::Fetch(tag->address + "/api/raise", raise).status, 200);
  raise.method = "GET";
  EXPECT_EQ(testing::Fetch(tag->address + "/api/raise", raise).status, 403);

  // Killed, the first window leaves its tag behind; the next process opens a window of
  // its own and its tag replaces the stale one.
  first.Kill();
  RunningWindow next("--module-dir " + module.dir() + " show --no-browser");
  std::optional<WindowTag> replaced = WaitForTag(tag_name, next.pid());
  ASSERT_TRUE(replaced.has_value());
  EXPECT_EQ(replaced->address + "/?s=" + replaced->secret, next.address);
  next.Kill();
  ::unsetenv("LARKEDI_REGISTRY_DIR");
}

TEST(WindowInstance, ActivateRefusesDesignsItCannotTakeIn) {
  testing::TempModule module;
  const std::string activate = LarkediExe() + " --yes activate " + module.path("");
  std::string out;
  EXPECT_EQ(RunCommand(activate + "none.xml --no-browser", &out), 1) << out;
  EXPECT_NE(out.find("none.xml"), std::string::npos) << out;

  // A design that does not parse ends at the load: the address was printed first, the
  // window finished without being shown, and the status says so.
  testing::WriteFileOrDie(module.path("bad.xml"), "<Designs><Design>");
  EXPECT_EQ(RunCommand(activate + "bad.xml --no-browser 2>/dev/null", &out), 3) << out;
  EXPECT_EQ(out.rfind("http://127.0.0.1:", 0), 0u) << out;
  EXPECT_NE(out.find("\nFinished\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace larkedi
