// Transmission methods: program paths of legacy methods and the report module, and the
// method's configuration dialog.
#include "sending/transmission_method.h"

#include <gtest/gtest.h>

#include "platform/registry/registry_store.h"
#include "sending/send_fixture.h"
#include "support/resx.h"

namespace larkedi {
namespace {

class MethodTest : public testing::SendFixture {
 protected:
  void SetUp() override {
    module_.Restart();  // resources, as start-up loads them
    ASSERT_TRUE(settings_.loadXML(
        "<SETTINGS><METHOD><ID>1</ID><OBJECTNAME>Fake</OBJECTNAME></METHOD>"
        "<METHOD legacy=\"1\"><ID>2</ID><OBJECTNAME>LEG</OBJECTNAME><EXEPATH>bin\\send</EXEPATH>"
        "</METHOD><METHOD legacy=\"1\"><ID>3</ID><OBJECTNAME>ordr</OBJECTNAME>"
        "<EXEPATH>report</EXEPATH></METHOD>"
        "<PARTNER><ID>1</ID><CODE> OAK </CODE><METHODID>1</METHODID></PARTNER>"
        "<PARTNER><ID>2</ID><CODE>ELM</CODE><METHODID>2</METHODID></PARTNER>"
        "<PARTNER><ID>3</ID><CODE>ASH</CODE><METHODID>3</METHODID></PARTNER></SETTINGS>"));
    RegisterConnector("--log=" + module_.path("connector.log"));
  }
  xml::Node Method(const std::string& id) {
    return settings_.selectSingleNode("SETTINGS/METHOD[ID='" + id + "']");
  }

  xml::Document settings_;
};

TEST_F(MethodTest, LegacyProgramsLieInTheHostApplicationFolder) {
  Err err;
  EXPECT_EQ(LegacyExecutablePath(Method("2"), &err), "");
  EXPECT_TRUE(err);  // no host application folder yet
  ASSERT_TRUE(registry::RegistrySetString("HKCU\\Software\\Orca Technologies", "ApplicationPath",
                                          "/opt/Orca App"));
  err = {};
  EXPECT_EQ(LegacyExecutablePath(Method("2"), &err), "/opt/Orca App/edi/60/bin/send");
  EXPECT_EQ(LegacyExecutablePath(Method("3"), &err), "/opt/Orca App/RptModule/60/EN/report");
  EXPECT_FALSE(err);
}

TEST_F(MethodTest, DisplayMethodOpensTheConnectorsDialogButNotTheReportModules) {
  DisplayMethod("1", settings_);  // connector: with the partner's code
  DisplayMethod("3", settings_);  // report module: nothing
  DisplayMethod("9", settings_);  // no such partner: nothing
  EXPECT_EQ(testing::ReadFileOrEmpty(module_.path("connector.log")), "configure OAK\n");
  EXPECT_TRUE(dialogs_.shown.empty());
  DisplayMethod("2", settings_);  // legacy: its LEG.spooler is not installed
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_EQ(dialogs_.shown[0].text, ResParam("MSG CannotCreateObjectForParam", {"LEG"}));
}

}  // namespace
}  // namespace larkedi
