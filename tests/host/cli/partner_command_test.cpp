#include <gtest/gtest.h>

#include "testing/partner_sim.h"
#include "testing/temp_module.h"

namespace larkedi::testing {
namespace {

// The shipped sample data, served by the simulator, read through the support command.
TEST(PartnerCommand, ReadsTheSampleDataThroughTheSimulator) {
  TempModule module;
  PartnerSim sim(ReadFileOrEmpty(SourceDir() + "/tools/partner-sim/sample-partners.json"));
  ASSERT_TRUE(sim.running());
  const std::string larkedi = LarkediExe() + " --module-dir " + module.dir() + " partner ";
  const std::string endpoint = " --endpoint " + sim.url();

  std::string out;
  EXPECT_EQ(RunCommand(larkedi + "manufacturers" + endpoint, &out), 0) << out;
  // Standard error (mixed in here) names the endpoint; the inactive 300 is not listed.
  EXPECT_NE(out.find("\n100\tNorthwood Cabinets\n200\tBayview Kitchens\n"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("300"), std::string::npos) << out;
  EXPECT_EQ(RunCommand(larkedi + "is-active 300" + endpoint, &out), 0) << out;
  EXPECT_EQ(out, "false\n");

  // The password comes from standard input, not the command line.
  EXPECT_EQ(RunCommand("printf 'demo\\n' | " + larkedi +
                           "dealer-status orders@lakeside-kitchens.example -" + endpoint,
                       &out),
            0);
  EXPECT_NE(out.find("status: 2\n"), std::string::npos) << out;
  EXPECT_NE(out.find("<City>Kingston</City>"), std::string::npos) << out;
  ASSERT_FALSE(sim.Requests().empty());
  EXPECT_NE(sim.Requests().back().body.find("<sDealerPassword>demo</sDealerPassword>"),
            std::string::npos);

  // Nobody answering: status -1 and a non-zero exit.
  sim.Stop();
  EXPECT_EQ(RunCommand(larkedi + "dealer-status a@b.example pw" + endpoint, &out), 1);
  EXPECT_NE(out.find("status: -1\n"), std::string::npos) << out;
}

}  // namespace
}  // namespace larkedi::testing
