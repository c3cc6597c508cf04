#include "host/startup.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>

#include <tuple>

#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::ReadFileOrEmpty;
using testing::TempModule;
using testing::WriteFileOrDie;

TEST(Startup, LoggingOnlyWithMarkerAndResourceSearchOrderAndLanguage) {
  TempModule module;  // ships html/LkEDI.resx (English) and html/fr/LkEDI.resx
  WriteFileOrDie(LogPath(), "old log\r\n");
  module.Restart();
  WriteLog("ignored");
  EXPECT_EQ(ReadFileOrEmpty(LogPath()), "old log\r\n");  // untouched without the marker
  module.EnableLogging();                                // a fresh log each start
  EXPECT_EQ(ReadFileOrEmpty(LogPath()).find("old log"), std::string::npos);

  ::setenv("LANG", "fr_CA.UTF-8", 1);
  ::unsetenv("LC_ALL");
  ::unsetenv("LC_MESSAGES");
  module.Restart();
  // The file directly in html/ wins over the locale's sub-folder.
  EXPECT_EQ(Module().ResXPath, module.path("html/LkEDI.resx"));

  std::remove(module.path("html/LkEDI.resx").c_str());
  module.Restart();
  EXPECT_EQ(Module().ResXPath, module.path("html/fr/LkEDI.resx"));
  EXPECT_EQ(Module().LanguageCode, "fr");

  // A locale without resources falls back to en/, found only in the shared folder.
  ::setenv("LANG", "de_DE.UTF-8", 1);
  std::string common = module.path("../common/resources/en/lkedi.resx");
  WriteFileOrDie(common,
                 "<root><data name=\"LanguageCode\"><value></value></data>"
                 "<data name=\"MNU Home\"><value>Home (shared)</value></data></root>");
  module.Restart();
  EXPECT_EQ(Module().ResXPath, common);
  EXPECT_EQ(Res("MNU Home"), "Home (shared)");
  EXPECT_EQ(Module().LanguageCode, "en");  // empty LanguageCode value
  std::remove(common.c_str());

  // No file anywhere.
  ::setenv("LANG", "C", 1);
  std::remove(module.path("html/fr/LkEDI.resx").c_str());
  module.Restart();
  EXPECT_TRUE(Module().ResXPath.empty());
  ::unsetenv("LANG");
}

TEST(Startup, LocaleLanguageReadsTheUsualVariables) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"LC_ALL", "fr_FR.UTF-8@euro", "fr"}, {"LC_MESSAGES", "POSIX", ""}, {"LANG", "ES_es", "es"}};
  for (const auto& [variable, value, language] : cases) {
    ::setenv(variable, value, 1);
    EXPECT_EQ(LocaleLanguage(), language) << variable;
    ::unsetenv(variable);
  }
}

// The command line finds another window by its tag before it starts; this is the start-up
// of a host that loads the module: the lock held elsewhere, the tagged window is raised.
TEST(SingleInstance, TaggedWindowOfAnotherProcessIsBroughtForward) {
  TempModule module;
  ASSERT_TRUE(AcquireInstanceLock(ModuleName() + "_APPLICATION_MUTEX"));
  ASSERT_TRUE(TagWindow("http://127.0.0.1:1", "s3cret"));
  ReleaseInstanceLock(ModuleName() + "_APPLICATION_MUTEX");
  int raised = 0;
  SetWindowRaiser([&](const WindowTag& t) {
    ++raised;
    EXPECT_EQ(t.address, "http://127.0.0.1:1");
    return true;
  });
  // A child holds the lock, so this process is the second one; it reports its process id
  // and is ended as soon as the check is done.
  FILE* holder =
      ::popen(("flock " + module.path("run/" + ModuleName() + "_APPLICATION_MUTEX.lock") +
               " -c 'echo $$; exec sleep 30'")
                  .c_str(),
              "r");
  ASSERT_NE(holder, nullptr);
  char line[32] = {};
  ASSERT_NE(std::fgets(line, sizeof line, holder), nullptr);
  const pid_t sleeper = static_cast<pid_t>(std::atol(line));
  ASSERT_GT(sleeper, 0);
  RunStartupSteps(/*headless=*/false);
  EXPECT_EQ(raised, 1);
  EXPECT_TRUE(Module().bAnotherInstance);
  EXPECT_TRUE(Module().ResXPath.empty());  // language set-up skipped
  SetWindowRaiser(nullptr);
  UntagWindow();
  ::kill(sleeper, SIGTERM);
  ::pclose(holder);
}

}  // namespace
}  // namespace larkedi
