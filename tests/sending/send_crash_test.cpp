// Power cuts during `larkedi send`: the process stops right after the connector took a
// catalog (before its answer is recorded) or right after the answer was recorded (before
// the stack was saved). The next send never hands the accepted catalog over again; one
// handed over without an answer is in doubt and goes again only when the dealer confirms.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "sending/send_fixture.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

struct CrashCase {
  const char* name;
  const char* step;       // the crash point the send stops at (its first occurrence)
  const char* next_args;  // the send after the crash
  int next_status;
  const char* next_result;    // in the next send's output
  int received_after_next;    // documents the partner holds after it
  size_t stacked_after_next;  // orders still stacked after it
};

// Test listings name a case by its name, not by its bytes.
void PrintTo(const CrashCase& c, std::ostream* os) {
  *os << c.name;
}

class SendCrashTest : public testing::SendFixture, public ::testing::WithParamInterface<CrashCase> {
 protected:
  void SetUp() override {
    WriteSettings({{"OAK", {"Oak Base", "Oak Wall"}}});  // per catalog
    RegisterConnector();
    Stack(testing::DesignText("PO-1", {"Oak Base", "Oak Wall"}));
  }

  // A copy of the module whose settings and registry name the copy's own folders.
  std::string Copy() {
    const std::string dir = testing::MakeTempDir();
    fs::copy(module_.dir(), dir, fs::copy_options::recursive);
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
      const std::string ext = e.path().extension().string();
      if (!e.is_regular_file() || (ext != ".xml" && ext != ".reg")) continue;
      std::string text = ReadFileOrEmpty(e.path().string());
      for (std::size_t at; (at = text.find(module_.dir())) != std::string::npos;) {
        text.replace(at, module_.dir().size(), dir);
      }
      WriteFileOrDie(e.path().string(), text);
    }
    return dir;
  }

  static int Run(const std::string& dir, const std::string& args, const std::string& env,
                 std::string* out) {
    return testing::RunCommand("XDG_RUNTIME_DIR=" + dir + "/run LARKEDI_REGISTRY_DIR=" + dir +
                                   "/registry " + env + " " + testing::LarkediExe() +
                                   " --module-dir " + dir + " " + args + " 2>&1",
                               out);
  }

  static int Received(const std::string& dir) {
    int n = 0;
    while (fs::exists(dir + "/received/" + std::to_string(n + 1) + ".xml")) ++n;
    return n;
  }
};

TEST_P(SendCrashTest, TheNextSendNeitherLosesNorRepeatsTheCatalog) {
  const CrashCase& c = GetParam();
  const std::string send = "send --password OAK=pw";

  // Where the step lies in an uninterrupted send.
  const std::string probe = Copy();
  std::string out;
  ASSERT_EQ(Run(probe, "--no " + send, "LARKEDI_CRASH_TRACE=" + probe + "/trace.txt", &out), 0)
      << out;
  ASSERT_EQ(Received(probe), 2);
  int at = 0;
  std::istringstream trace(ReadFileOrEmpty(probe + "/trace.txt"));
  for (std::string line; std::getline(trace, line);) {
    if (line.substr(line.find(' ') + 1) == c.step) {
      at = std::stoi(line);
      break;
    }
  }
  ASSERT_GT(at, 0) << ReadFileOrEmpty(probe + "/trace.txt");
  fs::remove_all(probe);

  const std::string dir = Copy();
  EXPECT_EQ(Run(dir, "--no " + send, "LARKEDI_CRASH_AT=" + std::to_string(at), &out), 86) << out;
  EXPECT_EQ(Received(dir), 1);  // the first catalog reached the partner

  EXPECT_EQ(Run(dir, std::string(c.next_args) + " " + send, "", &out), c.next_status) << out;
  EXPECT_NE(out.find(c.next_result), std::string::npos) << out;
  EXPECT_EQ(Received(dir), c.received_after_next) << out;
  std::string list;
  EXPECT_EQ(Run(dir, "stack list --xml", "", &list), 0) << list;
  xml::Document stacked;
  ASSERT_TRUE(stacked.loadXML(list.substr(list.find('<')))) << list;
  EXPECT_EQ(stacked.selectNodes("//ORDERGROUP").length(), static_cast<int>(c.stacked_after_next));
  fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SendCrashTest,
    ::testing::Values(
        // Accepted and journaled: only the second catalog goes, the order leaves the stack.
        CrashCase{"AfterTheAnswer", "send-accepted", "--no", 0, "sent", 2, 0},
        // No answer recorded: in doubt, nothing goes without the dealer's confirmation...
        CrashCase{"BeforeTheAnswer", "send-handed-over", "--no", 1, "in doubt", 1, 1},
        // ...and with it both catalogs go again.
        CrashCase{"BeforeTheAnswerConfirmed", "send-handed-over", "--yes", 0, "sent", 3, 0}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace larkedi
