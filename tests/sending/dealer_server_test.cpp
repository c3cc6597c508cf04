// The dealer server of a partner: the gateway name made into the dealer site's base
// address (a scheme that is there is kept), asked of the partner's connector or, for a
// legacy method, read from the registry; failures say why and show one message. Also the
// transmission methods' program paths and configuration dialog.
#include "sending/dealer_server.h"

#include <gtest/gtest.h>

#include "platform/registry/registry_store.h"
#include "sending/connect_method_orca.h"
#include "sending/send_fixture.h"
#include "sending/transmission_method.h"
#include "support/registry.h"
#include "support/resx.h"

namespace larkedi {
namespace {

TEST(DealerServerAddressTest, GateBecomesDealerAndTheAddressEndsWithOneSlash) {
  for (const auto& [gateway, dealer] : std::vector<std::pair<std::string, std::string>>{
           {"GATE.example.com:8080", "http://dealer.example.com:8080/"},
           {"gate.example.com//edi//", "http://dealer.example.com/edi/"},
           {"  orders.example.com  ", "http://orders.example.com/"},
           {"", ""},
           // Only the host name changes; a scheme that is there is kept.
           {"gate.x/gate.y", "http://dealer.x/gate.y/"},
           {"HTTPS://Gate.X:8443/site", "https://dealer.X:8443/site/"}}) {
    EXPECT_EQ(DealerServerAddress(gateway), dealer) << gateway;
  }
}

class DealerServerTest : public testing::SendFixture {
 protected:
  void SetUp() override {
    module_.Restart();  // the language texts the messages are made of
    ASSERT_FALSE(Res("MSG CannotFindPartnerCode").empty());
  }
};

TEST_F(DealerServerTest, FromTheConnectorOrTheRegistryAndFailuresNameTheirCause) {
  ConnectMethodOrca connector(module_.dir());
  ASSERT_FALSE(connector.AddServer("NWC", "http://gate.localhost:8123"));
  xml::Document settings;
  ASSERT_TRUE(settings.loadXML(
      "<SETTINGS><METHOD><ID>1</ID><NAME>Orca</NAME><OBJECTNAME>ConnectMethodOrca</OBJECTNAME>"
      "</METHOD><METHOD legacy=\"1\"><ID>2</ID><NAME>Viewer</NAME><OBJECTNAME>EDIV</OBJECTNAME>"
      "</METHOD><METHOD><ID>3</ID><NAME>Gone</NAME><OBJECTNAME>NoSuchModule</OBJECTNAME>"
      "</METHOD><PARTNER><ID>1</ID><METHODID>1</METHODID></PARTNER>"
      "<PARTNER><ID>2</ID><CODE>X</CODE><METHODID>3</METHODID></PARTNER>"
      "<PARTNER><ID>4</ID><CODE> NWC </CODE><METHODID>1</METHODID></PARTNER>"
      "<PARTNER><ID>5</ID><CODE>OTHER</CODE><METHODID>1</METHODID></PARTNER>"
      "<PARTNER><ID>7</ID><CODE>L</CODE><METHODID>2</METHODID></PARTNER></SETTINGS>"));
  Err err;
  EXPECT_EQ(FindDealerServer(settings, "4", err), "http://dealer.localhost:8123/");
  EXPECT_FALSE(err);
  EXPECT_EQ(FindDealerServer(settings, "1", err), "");
  EXPECT_EQ(err.Description, Res("MSG CannotFindPartnerCode"));
  EXPECT_EQ(FindDealerServer(settings, "2", err), "");
  EXPECT_EQ(err.Description, ResParam("MSG CannotCreateObjectForParam", {"NoSuchModule"}));
  // Partner 0 (no partner) is no partner: there is no code to ask for.
  EXPECT_EQ(FindDealerServer(settings, "0", err), "");
  EXPECT_EQ(err.Description, Res("MSG CannotFindPartnerCode"));
  // A legacy method reads the viewer's server from the registry.
  EXPECT_EQ(FindDealerServer(settings, "7", err), "");
  EXPECT_EQ(err.Description, Res("MSG CannotGetServerNameForPartner"));
  clsRegistry registry;
  ASSERT_EQ(registry.SetNewValue(HKEY_CURRENT_USER, "Software\\Orca Technologies\\EDI\\Viewer",
                                 kRegTypeText, "Server", "https://gate.legacy.example"),
            REG_OK);
  EXPECT_EQ(FindDealerServer(settings, "7", err), "https://dealer.legacy.example/");
  EXPECT_FALSE(err);
  EXPECT_TRUE(dialogs_.shown.empty()) << "FindDealerServer shows nothing itself";

  // A code without a gateway has no server name, and GetDealerServer says so once.
  EXPECT_EQ(GetDealerServer(settings, "5"), "");
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find(Res("MSG CannotGetServerNameForPartner")),
            std::string::npos);
}

// Transmission methods: program paths of legacy methods and the report module, and the
// method's configuration dialog.
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
  DisplayMethod("1", settings_, " 2 ");  // chosen on the page, not saved yet: the legacy one
  EXPECT_EQ(dialogs_.shown.size(), 2u);
  EXPECT_EQ(testing::ReadFileOrEmpty(module_.path("connector.log")), "configure OAK\n");
}

}  // namespace
}  // namespace larkedi
