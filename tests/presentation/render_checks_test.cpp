// A standalone page of an order, partner or document that is not there is an error.
#include <gtest/gtest.h>

#include "platform/xml/xml.h"
#include "presentation/render.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::LarkediExe;
using testing::RunCommand;
using testing::TempModule;
using testing::WriteFileOrDie;

const char* kSettings =
    "<SETTINGS><PARTNER><ID>1</ID><NAME>Acme</NAME></PARTNER>"
    "<PARTNER><ID> 7 </ID><NAME>Brown</NAME></PARTNER></SETTINGS>";
const char* kOrders =
    "<Orders><Design><ID>1</ID><ORDERGROUP><ID>3</ID><PARTNERID>1</PARTNERID></ORDERGROUP>"
    "</Design></Orders>";

TEST(RenderChecks, MissingOrdersPartnersAndWrongDocumentsAreErrors) {
  xml::Document settings, orders, data, design;
  ASSERT_TRUE(settings.loadXML(kSettings));
  ASSERT_TRUE(orders.loadXML(kOrders));
  ASSERT_TRUE(data.loadXML("<DATA><ORDER><GUID>A</GUID></ORDER></DATA>"));
  ASSERT_TRUE(design.loadXML("<Project><Design/></Project>"));
  Err err;
  // What is there passes.
  EXPECT_TRUE(CheckRenderInput("orderdetail", {"3"}, orders, settings, err)) << err.Description;
  EXPECT_TRUE(CheckRenderInput("partner", {"7"}, orders, settings, err)) << err.Description;
  EXPECT_TRUE(CheckRenderInput("partner", {"99", "warning"}, orders, settings, err));
  EXPECT_TRUE(CheckRenderInput("orderdetail", {"5"}, data, settings, err))
      << "a dealer server's detail is not an order stack";

  const struct {
    const char* view;
    std::vector<std::string> args;
    const xml::Node& orders;
    const xml::Node& settings;
    const char* reason;
  } failures[] = {
      {"orderdetail", {"99999"}, orders, settings, "no order 99999"},
      {"orderdetail", {"1'or'1"}, orders, settings, "no order 1'or'1"},
      {"partner", {"99"}, orders, settings, "no partner 99"},
      {"partnerlist", {}, orders, design, "root is Project"},
      {"settings", {}, orders, xml::Node(), "needs a settings document"},
      {"orderstacklist", {}, design, settings, "needs an order stack"},
      {"ediorderlist", {}, orders, settings, "root is Orders"},
  };
  for (const auto& f : failures) {
    EXPECT_FALSE(CheckRenderInput(f.view, f.args, f.orders, f.settings, err)) << f.view;
    EXPECT_EQ(err.Number, kErrGeneral);
    EXPECT_NE(err.Description.find(f.reason), std::string::npos) << err.Description;
  }
}

TEST(RenderChecks, TheCommandExitsOneWithTheReasonOnItsErrorOutput) {
  TempModule module;
  WriteFileOrDie(module.path("larkEDI.xml"), kSettings);
  WriteFileOrDie(module.path("design.xml"), "<Project><Design/></Project>");
  WriteFileOrDie(module.path("orders.xml"), kOrders);
  const std::string exe = LarkediExe() + " --module-dir '" + module.dir() + "' render ";
  const struct {
    std::string args;
    int code;
    const char* reason;
  } cases[] = {
      {"orderdetail 99999 --orders '" + module.path("orders.xml") + "'", 1, "no order 99999"},
      {"partner 99", 1, "There is no partner 99"},
      {"partnerlist --settings '" + module.path("design.xml") + "'", 1, "root is Project"},
      {"nosuchview", 2, "Unknown view"},
      {"partnerlist --settings /dev/zero", 1, "not a file"},
  };
  for (const auto& c : cases) {
    std::string errors;
    // Only the error output reaches the capture: the page (none) is thrown away.
    EXPECT_EQ(RunCommand("{ " + exe + c.args + " >/dev/null; }", &errors), c.code) << c.args;
    EXPECT_NE(errors.find(c.reason), std::string::npos) << c.args << ": " << errors;
  }
  std::string page;
  EXPECT_EQ(RunCommand(exe + "partner 7 2>/dev/null", &page), 0) << page;
  EXPECT_NE(page.find("Brown"), std::string::npos);
}

}  // namespace
}  // namespace larkedi
