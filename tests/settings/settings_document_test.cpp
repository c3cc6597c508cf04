#include <gtest/gtest.h>

#include <stdlib.h>
#include <filesystem>

#include "host/interface.h"
#include "platform/registry/registry_store.h"
#include "platform/ui/dialogs.h"
#include "settings/settings_document.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/xml_helpers.h"
#include "testing/partner_sim.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;

using testing::ReadFileOrEmpty;
using testing::TempModule;
using testing::WriteFileOrDie;

// A module folder with its own registry and a partner web service that lists `manufs`.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = std::make_unique<TempModule>();
    ::setenv("LARKEDI_REGISTRY_DIR", module_->path("registry").c_str(), 1);
    ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
    module_->Restart();
  }
  void TearDown() override {
    ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
    ::unsetenv("LARKEDI_REGISTRY_DIR");
    module_.reset();
  }
  void ServeManufacturers(const std::string& manufs) {
    sim_ = std::make_unique<testing::PartnerSim>("{\"manufacturers\": [" + manufs + "]}");
    ASSERT_TRUE(sim_->running());
    ::setenv("LARKEDI_PARTNER_ENDPOINT", sim_->url().c_str(), 1);
  }
  xml::Document SavedFile() {
    xml::Document doc;
    EXPECT_TRUE(doc.load(SettingsPath())) << doc.parseErrorReason();
    return doc;
  }

  std::unique_ptr<TempModule> module_;
  std::unique_ptr<testing::PartnerSim> sim_;
};

TEST_F(SettingsTest, FirstRunWritesDefaultsAndOnePartnerPerManufacturer) {
  ServeManufacturers(
      "{\"id\": \"100\", \"name\": \"Northwood Cabinets\"},"
      "{\"id\": \"200\", \"name\": \"Côté & Fils <Armoires>\"},"
      "{\"name\": \"No Id Inc\"}, {\"id\": \"300\"}");
  SettingsDocument window;
  window.FillSettings();
  xml::Document saved = SavedFile();
  xml::Node s = saved.documentElement();
  ASSERT_EQ(s.nodeName(), "SETTINGS");
  EXPECT_EQ(saved.selectNodes("SETTINGS/METHOD").length(), 1);
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/METHOD/ID"), "1");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/METHOD/NAME"), "Orca XML Connector");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/METHOD/OBJECTNAME"), "ConnectMethodOrca");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/SPOOLPATH"), module_->path("Send"));
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/ARCHIVEPATH"), module_->path("Archive"));
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/TRANSFORMATION"), "CatalogToEDI.xsl");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/SORTORDER"), "NS");
  EXPECT_EQ(saved.selectSingleNode("SETTINGS/SPOOLPATH").firstChild().nodeType(),
            xml::NodeType::CData);
  // Only manufacturers with both an ID and a name become partners.
  xml::NodeList partners = saved.selectNodes("SETTINGS/PARTNER");
  ASSERT_EQ(partners.length(), 2);
  EXPECT_EQ(partners.item(0).getAttribute("freeedi"), "1");
  EXPECT_EQ(GetNodeText(partners.item(0), "ID"), "1");
  EXPECT_EQ(GetNodeText(partners.item(0), "CODE"), Res("LBL Partner") + " 1");
  EXPECT_EQ(GetNodeText(partners.item(0), "MANUFID"), "100");
  EXPECT_EQ(GetNodeText(partners.item(1), "NAME"), "Côté & Fils <Armoires>");
  EXPECT_EQ(GetNodeText(partners.item(1), "METHODID"), "1");
  EXPECT_EQ(GetNodeText(partners.item(1), "KITFILEID"), "0");
  EXPECT_EQ(GetNodeText(partners.item(1), "DEALERID"), "");
  // Saved by the load itself: they are not partners waiting for the partner page's save.
  EXPECT_TRUE(window.NewPartners.empty());

  // A second load in another window adds nobody: the manufacturers are known.
  SettingsDocument again;
  again.FillSettings();
  EXPECT_EQ(SavedFile().selectNodes("SETTINGS/PARTNER").length(), 2);
  EXPECT_TRUE(again.NewPartners.empty());
}

TEST_F(SettingsTest, UserPartnerWithSameManufacturerDoesNotBlockFreeEdiOne) {
  ServeManufacturers("{\"id\": \"100\", \"name\": \"Northwood\"}");
  WriteFileOrDie(SettingsPath(),
                 "<SETTINGS><PARTNER><ID>7</ID><MANUFID>100</MANUFID></PARTNER></SETTINGS>");
  SettingsDocument window;
  window.FillSettings();
  xml::Document saved = SavedFile();
  EXPECT_EQ(saved.selectNodes("SETTINGS/PARTNER").length(), 2);
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/PARTNER[@freeedi='1']/ID"), "8");
  EXPECT_TRUE(window.IsFreeEdiPartner(8));
  EXPECT_FALSE(window.IsFreeEdiPartner(7));
}

TEST_F(SettingsTest, WebServiceAskedOnlyBeforeTheFramePageAndFailuresAreQuiet) {
  ServeManufacturers("{\"id\": \"100\", \"name\": \"Northwood\"}");
  SettingsDocument window;
  window.bWebServiceDone = true;
  window.FillSettings();
  EXPECT_EQ(SavedFile().selectNodes("SETTINGS/PARTNER").length(), 0);
  EXPECT_TRUE(sim_->Requests().empty());
  // Unreachable service: no partners, no message, the defaults are still written.
  sim_->Stop();
  std::remove(SettingsPath().c_str());
  ScriptedDialogs dialogs;
  ScopedDialogs scope(&dialogs);
  SettingsDocument offline;
  offline.FillSettings();
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(SavedFile().selectNodes("SETTINGS/PARTNER").length(), 0);
  EXPECT_EQ(SavedFile().selectNodes("SETTINGS/SORTORDER").length(), 1);
}

TEST_F(SettingsTest, RegisteredModulesNumberedAfterSavedMethodsAndNeverSaved) {
  WriteFileOrDie(SettingsPath(),
                 "<SETTINGS><METHOD><ID>1</ID></METHOD><METHOD><ID>4</ID></METHOD>"
                 "<SPOOLPATH>/s</SPOOLPATH><ARCHIVEPATH>/s</ARCHIVEPATH>"
                 "<TRANSFORMATION>x.xsl</TRANSFORMATION><SORTORDER>NS</SORTORDER></SETTINGS>");
  const std::string modules = "HKEY_CURRENT_USER\\Software\\Orca Technologies\\EDI\\Modules";
  ASSERT_TRUE(registry::RegistrySetString(modules + "\\Alpha", "Exe Path", "/opt/a/a.exe"));
  ASSERT_TRUE(registry::RegistrySetString(modules + "\\Alpha", "Spooler", "AlphaSend"));
  ASSERT_TRUE(registry::RegistrySetString(modules + "\\Beta", "Spooler", "BetaSend"));
  const std::string reports =
      "HKEY_CURRENT_USER\\Software\\Orca Technologies\\Registered Reports\\en";
  ASSERT_TRUE(registry::RegistrySetString(reports + "\\Order Form", "RptType", "ordr"));
  ASSERT_TRUE(registry::RegistrySetString(reports + "\\Order Form", "RptModPath", "/opt/o"));
  ASSERT_TRUE(registry::RegistrySetString(reports + "\\Invoice", "RptType", "INV"));

  SettingsDocument window;
  window.bWebServiceDone = true;
  window.FillSettings();
  xml::NodeList legacy = window.docSettings.selectNodes("SETTINGS/METHOD[@legacy='1']");
  ASSERT_EQ(legacy.length(), 3);
  EXPECT_EQ(GetNodeText(legacy.item(0), "ID"), "5");
  EXPECT_EQ(GetNodeText(legacy.item(0), "NAME"), "Alpha");
  EXPECT_EQ(GetNodeText(legacy.item(0), "EXEPATH"), "/opt/a/a.exe");
  EXPECT_EQ(GetNodeText(legacy.item(1), "ID"), "6");
  EXPECT_EQ(GetNodeText(legacy.item(1), "OBJECTNAME"), "BetaSend");
  EXPECT_EQ(GetNodeText(legacy.item(2), "NAME"), "Order Form");
  EXPECT_EQ(GetNodeText(legacy.item(2), "OBJECTNAME"), "ordr");
  EXPECT_EQ(legacy.item(2).getAttribute("dontsave"), "1");
  // Same spool and archive folder: the archive is shown under the spool folder.
  EXPECT_EQ(GetNodeText(window.docSettings, "SETTINGS/ARCHIVEPATH"), "/s/Archive");
  // Nothing was missing, so nothing was saved; an explicit save leaves the legacy ones out.
  EXPECT_EQ(SavedFile().selectNodes("SETTINGS/METHOD").length(), 2);
  ASSERT_FALSE(SaveSettingsXML(window.docSettings.xml()));
  EXPECT_EQ(SavedFile().selectNodes("SETTINGS/METHOD").length(), 2);
  EXPECT_EQ(window.docSettings.selectNodes("SETTINGS/METHOD").length(), 5);
}

// A settings file with one typo is never replaced by the defaults behind the user's back:
// it is reported and kept; the defaults serve in memory; the first explicit save keeps the
// broken file as .bad beside the new one.
TEST_F(SettingsTest, UnparsableFileIsKeptUntilTheUserSaves) {
  module_->EnableLogging();
  const std::string typo =
      "<SETTINGS><PARTNER><ID>1</ID><NAME>Smith & Sons</NAME></PARTNER></SETTINGS>";
  WriteFileOrDie(SettingsPath(), typo);
  SettingsDocument window;
  window.bWebServiceDone = true;
  const Err err = window.FillSettings();
  EXPECT_TRUE(err);
  EXPECT_NE(err.Description.find(SettingsPath()), std::string::npos) << err.Description;
  EXPECT_EQ(ReadFileOrEmpty(SettingsPath()), typo);
  EXPECT_EQ(window.docSettings.selectNodes("SETTINGS/METHOD").length(), 1);
  // A change the module makes by itself is not saved over it either.
  EXPECT_TRUE(window.SaveChanges());
  EXPECT_EQ(ReadFileOrEmpty(SettingsPath()), typo);
  // The error record is what support reads from the log.
  std::string log = ReadFileOrEmpty(LogPath());
  EXPECT_NE(log.find("Error number: 9000\r\nSource: frmEDI.FillSettings"), std::string::npos)
      << log;

  fs::permissions(SettingsPath(), fs::perms::owner_read | fs::perms::group_read);
  EXPECT_FALSE(window.SaveSettingsXML());
  EXPECT_EQ(ReadFileOrEmpty(SettingsPath() + ".bad"), typo);
  EXPECT_EQ(SavedFile().selectNodes("SETTINGS/METHOD").length(), 1);
  EXPECT_FALSE(window.Damaged());
  // The file was replaced with the permissions it had.
  EXPECT_EQ(fs::status(SettingsPath()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::group_read);
}

TEST_F(SettingsTest, SaveSettingsXmlDropsDontSaveEntriesOnlyFromTheFile) {
  std::string before = "<SETTINGS><SPOOLPATH>x</SPOOLPATH></SETTINGS>";
  WriteFileOrDie(SettingsPath(), before);
  EXPECT_TRUE(SaveSettingsXML("<SETTINGS><unclosed></SETTINGS>"));
  EXPECT_EQ(ReadFileOrEmpty(SettingsPath()), before);

  std::string text =
      "<SETTINGS><METHOD dontsave=\"1\"><ID>9</ID></METHOD><METHOD><ID>1</ID></METHOD>"
      "<PARTNER dontsave=\"1\"><ID>1</ID></PARTNER><PARTNER dontsave=\"0\"><ID>2</ID></PARTNER>"
      "</SETTINGS>";
  Interface host;
  host.Settings(text);
  std::string written = host.Settings();
  EXPECT_EQ(written.rfind("<?xml version=\"1.0\" encoding=\"", 0), 0u) << written;
  xml::Document saved = SavedFile();
  EXPECT_EQ(saved.selectNodes("//METHOD").length(), 1);
  EXPECT_EQ(GetNodeText(saved, "//PARTNER/ID"), "2");
}

TEST_F(SettingsTest, NewPartnersNumberAndDefaultFromResources) {
  SettingsDocument window;
  window.bWebServiceDone = true;
  window.FillSettings();
  int a = window.CreateEmptyPartner("", "");
  int b = window.CreateEmptyPartner("ACME", "Acme Cabinets");
  EXPECT_EQ(a, 1);
  EXPECT_EQ(b, 2);
  xml::Node pa = window.docSettings.selectSingleNode("SETTINGS/PARTNER[ID='1']");
  EXPECT_EQ(GetNodeText(pa, "CODE"), Res("LBL Partner") + " 1");
  EXPECT_EQ(GetNodeText(pa, "NAME"), Res("LBL Partner") + " 1 " + Res("LBL Name"));
  EXPECT_EQ(GetNodeText(pa, "MANUFID"), "MANUF");
  EXPECT_EQ(GetNodeText(pa, "DEALERID"), "DEALER");
  EXPECT_EQ(window.NewPartners, (std::vector<int>{1, 2}));
  // Non-numeric IDs count as 0 when numbering.
  xml::Document doc;
  ASSERT_TRUE(doc.loadXML("<S><P><ID>x</ID></P><P><ID>12</ID></P><P/></S>"));
  EXPECT_EQ(window.NextID(doc.selectNodes("//P")), 13);
  EXPECT_EQ(window.NextID(doc.selectNodes("//Q")), 1);
}

}  // namespace
}  // namespace larkedi
