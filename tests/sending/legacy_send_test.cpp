// The first pass of a send: legacy-method orders, catalog by catalog, through the host
// project server served over the line protocol (larkedi-fake-oxp, which logs every call it
// gets) and a legacy program of the host application folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "platform/registry/registry_store.h"
#include "sending/send_fixture.h"
#include "sending/transmission_method.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using Names = std::vector<std::string>;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

int Count(const std::vector<std::string>& lines, const std::string& start) {
  return static_cast<int>(std::count_if(
      lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(start, 0) == 0; }));
}

class LegacySendTest : public testing::SendFixture {
 protected:
  void SetUp() override {
    WriteSettings({{"OAK", {"Oak Base", "Oak Wall"}, "2"}});
    app_ = module_.path("Orca App");  // a blank in the folder name, as hosts install it
    ASSERT_TRUE(
        registry::RegistrySetString("HKCU\\Software\\Orca Technologies", "ApplicationPath", app_));
    fs::create_directories(app_ + "/edi/60");
    WriteProgram();
  }
  // The program notes each run and the folder it ran in.
  void WriteProgram() {
    testing::WriteFileOrDie(app_ + "/edi/60/send-order", "#!/bin/sh\npwd >> '" + runs() + "'\n");
    ::chmod((app_ + "/edi/60/send-order").c_str(), 0755);
  }

  void RegisterHost(const std::string& options = "") {
    RegisterServer(
        "OxPServer.clsOxPConnect",
        std::string(LARKEDI_TOOLS_OUT) + "/larkedi-fake-oxp --log=" + host_log() + " " + options);
  }
  std::string runs() const { return module_.path("runs.txt"); }
  std::string host_log() const { return module_.path("oxp.log"); }
  int Runs() const { return static_cast<int>(Lines(ReadFileOrEmpty(runs())).size()); }

  // Every project the host handed out was unlocked and released again.
  void ExpectHostUnlocked() {
    const auto log = Lines(ReadFileOrEmpty(host_log()));
    EXPECT_EQ(Count(log, "get clsOxProject"), Count(log, "put UnlockOrca true"))
        << ReadFileOrEmpty(host_log());
    EXPECT_EQ(Count(log, "get clsOxProject"), Count(log, "release 1"));
  }

  std::string app_;
};

TEST_F(LegacySendTest, EachCatalogIsAnnouncedToTheHostThenItsProgramRuns) {
  RegisterHost();
  Stack(testing::DesignText("PO-1", {"Oak Base", "Oak Wall"}));
  const auto rows = Send();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, SendResult::Sent) << rows[0].message;

  // One program run per catalog, in the program's own folder.
  EXPECT_EQ(Lines(ReadFileOrEmpty(runs())), (Names{app_ + "/edi/60", app_ + "/edi/60"}));
  // The keys went as 32-bit numbers (70000 does not fit 16 bits), the catalog by name.
  const std::string log = ReadFileOrEmpty(host_log());
  EXPECT_NE(log.find("call SetOrderInformation2 [70000,12,\"Oak Base\",\"OAK Cabinets\",\"M-OAK\","
                     "\"D-OAK\",\"Legacy EDI\"]"),
            std::string::npos)
      << log;
  EXPECT_EQ(Count(Lines(log), "call showOrcaProject"), 2);
  ExpectHostUnlocked();

  EXPECT_TRUE(StackedOrders().empty());
  const auto journal = Journal();
  ASSERT_EQ(journal.size(), 2u);
  for (const auto& e : journal) EXPECT_EQ(e.state, SendState::Accepted);
}

struct FailureCase {
  const char* name;
  const char* host_options;  // null: no host project server is installed
  const char* project_key;
  bool program_missing;
  int runs;                      // program runs
  Names accepted;                // catalogs the row names as accepted
  std::vector<Names> remaining;  // the order as it stays stacked
};
void PrintTo(const FailureCase& c, std::ostream* os) {
  *os << c.name;
}

class LegacyFailureTest : public LegacySendTest,
                          public ::testing::WithParamInterface<FailureCase> {};

TEST_P(LegacyFailureTest, TheOrderKeepsWhatWasNotHandedOverAndTheHostIsUnlocked) {
  const FailureCase& c = GetParam();
  if (c.host_options) RegisterHost(c.host_options);
  if (c.program_missing) fs::remove(app_ + "/edi/60/send-order");
  Stack(testing::DesignText("PO-1", {"Oak Base", "Oak Wall"}, c.project_key));
  const auto rows = Send();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].result, SendResult::Failed);
  EXPECT_EQ(rows[0].accepted_catalogs, c.accepted);
  if (!c.host_options) {  // the missing server is named to the user
    ASSERT_FALSE(dialogs_.shown.empty());
    EXPECT_NE(dialogs_.shown.front().text.find("OxPServer.exe"), std::string::npos);
  }
  EXPECT_EQ(Runs(), c.runs);
  EXPECT_EQ(StackedOrders(), c.remaining);
  ExpectHostUnlocked();

  // Nothing handed over twice: a second run (all well now) hands over only the rest.
  if (c.program_missing) WriteProgram();
  if (std::string(c.project_key).empty() || std::string(c.project_key) == "0") return;
  RegisterHost();
  const auto again = Send();
  ASSERT_EQ(again.size(), 1u);
  EXPECT_EQ(again[0].result, SendResult::Sent) << again[0].message;
  EXPECT_EQ(Runs(), 2);
  EXPECT_TRUE(StackedOrders().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LegacyFailureTest,
    ::testing::Values(
        FailureCase{"HostRefusesTheSecondCatalog",
                    "\"--refuse=Oak Wall\"",
                    "70000",
                    false,
                    1,
                    {"Oak Base"},
                    {{"Oak Wall"}}},
        FailureCase{
            "NoHostProjectServer", nullptr, "70000", false, 0, {}, {{"Oak Base", "Oak Wall"}}},
        FailureCase{"ProgramCannotStart", "", "70000", true, 0, {}, {{"Oak Base", "Oak Wall"}}},
        FailureCase{"NoProjectKey", "", "", false, 0, {}, {{"Oak Base", "Oak Wall"}}},
        FailureCase{"ProjectKeyZero", "", "0", false, 0, {}, {{"Oak Base", "Oak Wall"}}}),
    [](const auto& test) { return std::string(test.param.name); });

}  // namespace
}  // namespace larkedi
