#include "platform/process/launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "testing/temp_module.h"

namespace larkedi::process {
namespace {

using testing::MakeTempDir;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

// A folder with a program that writes its folder and its arguments, one per line, to
// `out`, then exits with the status given by EXIT_WITH (0 when unset).
class LaunchTest : public ::testing::Test {
 protected:
  std::string Recorder(const std::string& name) {
    const std::string path = dir + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFileOrDie(path, "#!/bin/sh\npwd > '" + out + "'\nfor a in \"$@\"; do echo \"$a\" >> '" +
                             out +
                             "'; done\nsleep \"${SLEEP_FOR:-0}\"\nexit \"${EXIT_WITH:-0}\"\n");
    ::chmod(path.c_str(), 0755);
    return path;
  }
  const std::string dir = MakeTempDir();
  const std::string out = dir + "/out.txt";
};

TEST_F(LaunchTest, ProgramInAFolderWithBlanksRunsThereWithItsArgumentsUntouched) {
  Recorder("Send Tool/send");
  const std::string before = std::filesystem::current_path().string();

  int status = -1;
  Err err;
  // Unquoted, the way legacy command lines are stored; the arguments hold shell syntax
  // that must reach the program as text.
  ASSERT_TRUE(
      RunAndWait(dir + "/Send Tool/send -o $(touch " + dir + "/pwned) a;b", nullptr, &status, &err))
      << err.Description;
  EXPECT_EQ(status, 0);
  EXPECT_EQ(ReadFileOrEmpty(out), dir + "/Send Tool\n-o\n$(touch\n" + dir + "/pwned)\na;b\n");
  EXPECT_FALSE(std::filesystem::exists(dir + "/pwned"));
  EXPECT_EQ(std::filesystem::current_path().string(), before);

  // Quoted, a program path with blanks is one word whatever follows it.
  std::filesystem::remove(out);
  ASSERT_TRUE(RunAndWait("\"" + dir + "/Send Tool/send\" \"two words\"", nullptr, &status, &err));
  EXPECT_EQ(ReadFileOrEmpty(out), dir + "/Send Tool\ntwo words\n");
}

TEST_F(LaunchTest, ExitStatusAndWaitingLetTheWindowRun) {
  testing::ScopedEnvVar exit_with("EXIT_WITH", "3"), sleep_for("SLEEP_FOR", "0.4");
  int calls = 0;
  int status = -1;
  Err err;
  ASSERT_TRUE(RunAndWait(
      Recorder("prog"), [&] { ++calls; }, &status, &err))
      << err.Description;
  EXPECT_EQ(status, 3);
  EXPECT_GE(calls, 1);  // the program ran for longer than one 100 ms step
}

TEST_F(LaunchTest, ProgramsThatCannotStartAreReportedNotRaised) {
  WriteFileOrDie(dir + "/not-executable", "#!/bin/sh\nexit 0\n");
  for (const std::string& line : {dir + "/missing", dir + "/not-executable", std::string("   "),
                                  std::string("larkedi-no-such-program-on-path")}) {
    SCOPED_TRACE(line);
    int status = 7;
    Err err;
    EXPECT_FALSE(RunAndWait(line, nullptr, &status, &err));
    EXPECT_TRUE(err);
    EXPECT_EQ(status, -1);
  }
  Err err;
  EXPECT_FALSE(StartProcess({"/bin/true"}, dir + "/no-such-folder", &err));
  EXPECT_NE(err.Description.find("no-such-folder"), std::string::npos);
}

TEST_F(LaunchTest, AddressOpensInTheAssociatedProgramAsOneArgument) {
  testing::ScopedEnvVar opener("LARKEDI_OPENER", Recorder("opener").c_str());
  const std::string address = "https://dealer.example.invalid/a?b=1&c=two words;x";
  ASSERT_TRUE(OpenWithAssociatedProgram(address));
  // Not waited for: poll for the recorder's output.
  std::string text;
  for (int i = 0; i < 100 && text.find('\n', text.find('\n') + 1) == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    text = ReadFileOrEmpty(out);
  }
  EXPECT_NE(text.find("\n" + address + "\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace larkedi::process
