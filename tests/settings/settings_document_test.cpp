// The settings document: what its load adds from the partner web service and the registry,
// what each edit writes and leaves unsaved, what a damaged settings file is protected from,
// and the web addresses read from the registry store.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <tuple>

#include "host/interface.h"
#include "platform/folder_paths.h"
#include "platform/registry/registry_store.h"
#include "settings/partner_service.h"
#include "settings/settings_document.h"
#include "settings/web_sites.h"
#include "support/xml_helpers.h"
#include "testing/partner_sim.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

// A module folder with its own registry and no partner web service unless a test serves one.
class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LARKEDI_REGISTRY_DIR", module_.path("registry").c_str(), 1);
    for (const char* name : {"LARKEDI_PARTNER_ENDPOINT", "LARKEDI_PARTNER_DEV_ENDPOINT",
                             "LARKEDI_PARTNER_NAMESPACE"}) {
      ::unsetenv(name);
    }
    module_.Restart();
  }
  void TearDown() override {
    ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
    ::unsetenv("LARKEDI_REGISTRY_DIR");
  }
  void ServeManufacturers(const std::string& manufs) {
    sim_ = std::make_unique<testing::PartnerSim>("{\"manufacturers\": [" + manufs + "]}");
    ASSERT_TRUE(sim_->running());
    ::setenv("LARKEDI_PARTNER_ENDPOINT", sim_->url().c_str(), 1);
  }
  // Writes `body` as the settings (with folders and two methods) and loads them.
  void Load(const std::string& body) {
    WriteFileOrDie(SettingsPath(),
                   "<SETTINGS><METHOD><ID>1</ID><NAME>XML</NAME><OBJECTNAME>ConnectMethodOrca"
                   "</OBJECTNAME></METHOD><METHOD><ID>2</ID><NAME>Form</NAME><OBJECTNAME>ordr"
                   "</OBJECTNAME></METHOD><SPOOLPATH>" +
                       module_.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" +
                       module_.path("Archive") +
                       "</ARCHIVEPATH><TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
                       "<SORTORDER>NS</SORTORDER>" +
                       body + "</SETTINGS>");
    settings_.bWebServiceDone = true;
    ASSERT_FALSE(settings_.FillSettings());
  }
  xml::Document Saved() {
    xml::Document doc;
    EXPECT_TRUE(doc.load(SettingsPath())) << doc.parseErrorReason();
    return doc;
  }

  testing::TempModule module_;
  std::unique_ptr<testing::PartnerSim> sim_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  SettingsDocument settings_;
};

// Each manufacturer with an ID and a name becomes a free-EDI partner once, beside a user's
// partner of the same manufacturer; an unreachable service leaves the defaults and says nothing.
TEST_F(SettingsTest, FreeEdiPartnersAreAddedOnceFromTheWebService) {
  ServeManufacturers(
      "{\"id\": \"100\", \"name\": \"Northwood Cabinets\"},"
      "{\"id\": \"200\", \"name\": \"Côté\"},"
      "{\"name\": \"No Id Inc\"}, {\"id\": \"300\"}");
  WriteFileOrDie(SettingsPath(),
                 "<SETTINGS><PARTNER><ID>7</ID><MANUFID>100</MANUFID></PARTNER></SETTINGS>");
  SettingsDocument window;
  window.FillSettings();
  xml::NodeList added = Saved().selectNodes("SETTINGS/PARTNER[@freeedi='1']");
  ASSERT_EQ(added.length(), 2);
  EXPECT_EQ(GetNodeText(added.item(0), "ID"), "8");
  EXPECT_EQ(GetNodeText(added.item(0), "MANUFID"), "100");
  EXPECT_TRUE(window.IsFreeEdiPartner(8));
  EXPECT_FALSE(window.IsFreeEdiPartner(7));
  // Saved by the load itself: they are not partners waiting for the partner page's save.
  EXPECT_TRUE(window.NewPartners.empty());
  // A second load in another window adds nobody: the manufacturers are known.
  SettingsDocument again;
  again.FillSettings();
  EXPECT_EQ(Saved().selectNodes("SETTINGS/PARTNER").length(), 3);
  EXPECT_TRUE(again.NewPartners.empty());

  sim_->Stop();
  std::remove(SettingsPath().c_str());
  SettingsDocument offline;
  offline.FillSettings();
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_EQ(Saved().selectNodes("SETTINGS/PARTNER").length(), 0);
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/SPOOLPATH"), module_.path("Send"));
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
  EXPECT_EQ(GetNodeText(legacy.item(1), "OBJECTNAME"), "BetaSend");
  EXPECT_EQ(GetNodeText(legacy.item(2), "OBJECTNAME"), "ordr");
  // Nothing was missing, so nothing was saved; an explicit save leaves the legacy ones out.
  EXPECT_EQ(Saved().selectNodes("SETTINGS/METHOD").length(), 2);
  ASSERT_FALSE(SaveSettingsXML(window.docSettings.xml()));
  EXPECT_EQ(Saved().selectNodes("SETTINGS/METHOD").length(), 2);
  EXPECT_EQ(window.docSettings.selectNodes("SETTINGS/METHOD").length(), 5);
}

// A settings file with one typo is never replaced by the defaults behind the user's back:
// it is reported and kept; the defaults serve in memory; no edit writes over it; the first
// explicit save keeps the broken file as .bad beside the new one.
TEST_F(SettingsTest, ADamagedFileIsKeptUntilTheUserSaves) {
  const std::string damaged = "<SETTINGS><PARTNER><ID>1</ID><NAME>Smith & Sons</NAME></PARTN";
  WriteFileOrDie(SettingsPath(), damaged);
  settings_.bWebServiceDone = true;
  const Err err = settings_.FillSettings();
  EXPECT_TRUE(err);
  EXPECT_NE(err.Description.find(SettingsPath()), std::string::npos) << err.Description;
  ASSERT_TRUE(settings_.Damaged());
  EXPECT_EQ(settings_.docSettings.selectNodes("SETTINGS/METHOD").length(), 1);
  EXPECT_TRUE(settings_.SaveChanges());  // a change the module makes by itself
  EXPECT_TRUE(settings_.CreateCatalog("ABC"));
  EXPECT_TRUE(settings_.SetSortOrder("BWT"));
  EXPECT_TRUE(settings_.SaveForm("display", {{"sort", "x"}}));
  EXPECT_TRUE(settings_.SetFolder(true, module_.path("Elsewhere")));
  const int id = settings_.CreateEmptyPartner("", "");
  bool pending = false;
  EXPECT_TRUE(settings_.SavePartner(id, {}, &pending));
  settings_.CreateEmptyPartner("", "");
  EXPECT_TRUE(settings_.SaveSinglePartnerInXML(id));
  EXPECT_EQ(ReadFileOrEmpty(SettingsPath()), damaged);

  fs::permissions(SettingsPath(), fs::perms::owner_read | fs::perms::group_read);
  EXPECT_FALSE(settings_.SaveSettingsXML());
  EXPECT_EQ(ReadFileOrEmpty(SettingsPath() + ".bad"), damaged);
  EXPECT_EQ(Saved().selectNodes("SETTINGS/METHOD").length(), 1);
  EXPECT_FALSE(settings_.Damaged());
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
  xml::Document saved = Saved();
  EXPECT_EQ(saved.selectNodes("//METHOD").length(), 1);
  EXPECT_EQ(GetNodeText(saved, "//PARTNER/ID"), "2");
}

// One session of edits (the browser check drives the ordinary ones, the settings pages test
// leaving the partner page): what is refused, partner numbers never given twice, the partner
// page's fields and method saved, and forms stored under their names.
TEST_F(SettingsTest, ASessionOfEditsWritesWhatChangedAndNothingElse) {
  // Partner 5 was removed in an earlier session: its catalog still points to it.
  Load(
      "<PARTNER><ID>2</ID><NAME>Acme</NAME><MANUFID>A</MANUFID><DEALERID>D</DEALERID>"
      "<METHODID>1</METHODID><KITFILEID>0</KITFILEID></PARTNER>"
      "<CATALOG><ID>1</ID><CODE>OLD</CODE><PARTNERID>5</PARTNERID></CATALOG>");
  {
    SCOPED_TRACE("catalogs");
    int id = 0;
    ASSERT_FALSE(settings_.CreateCatalog("ABC", &id));
    EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/CATALOG[ID=" + std::to_string(id) + "]/PARTNERID"),
              "-2");
    int none = -1;
    ASSERT_FALSE(settings_.CreateCatalog("  ", &none));
    EXPECT_EQ(none, 0);
    EXPECT_EQ(Saved().selectNodes("SETTINGS/CATALOG").length(), 2);
    bool changed = true;
    ASSERT_FALSE(settings_.EditCatalog(id, "", &changed));  // a blank name is no rename
    EXPECT_FALSE(changed);
    EXPECT_TRUE(settings_.EditCatalog(9, "Q", &changed));
    EXPECT_TRUE(settings_.RemoveCatalog(9));
  }
  {
    SCOPED_TRACE("partner numbers");
    const int created = settings_.CreateEmptyPartner("", "");
    EXPECT_EQ(created, 6);
    // Removing the newest partner in this session does not free its number either.
    ASSERT_FALSE(settings_.RemovePartner(created));
    EXPECT_TRUE(settings_.NewPartners.empty());
    EXPECT_EQ(settings_.CreateEmptyPartner("", ""), 7);
    EXPECT_EQ(settings_.CreateFreeEDIPartner("M1", "Maker"), 8);
    // The catalog of the old partner is left as it was.
    EXPECT_EQ(GetNodeText(settings_.docSettings, "SETTINGS/CATALOG[ID=1]/PARTNERID"), "5");
    settings_.DropNewPartners();  // the partner page is left
  }
  {
    SCOPED_TRACE("partner page");
    SettingsDocument::PartnerFields fields{"Acme & Sons", "A2", "D<2>", true, 2};
    bool pending = true;
    ASSERT_FALSE(settings_.SavePartner(2, fields, &pending));
    EXPECT_FALSE(pending);
    const std::string saved = "SETTINGS/PARTNER[ID=2]/";
    EXPECT_EQ(GetNodeText(Saved(), saved + "NAME"), "Acme & Sons");
    EXPECT_EQ(GetNodeText(Saved(), saved + "DEALERID"), "D<2>");
    EXPECT_EQ(GetNodeText(Saved(), saved + "KITFILEID"), "1");
    EXPECT_EQ(GetNodeText(Saved(), saved + "METHODID"), "2");
    // No method chosen keeps the partner's.
    fields.MethodId = 0;
    ASSERT_FALSE(settings_.SavePartner(2, fields, &pending));
    EXPECT_EQ(GetNodeText(Saved(), saved + "METHODID"), "2");
  }
  {
    SCOPED_TRACE("forms");
    ASSERT_FALSE(settings_.SaveForm("display", {{"sort", "SEQUENCE+DESC"}, {"Rows", "15"}}));
    EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/DISPLAY/ROWS"), "15");
    ASSERT_FALSE(settings_.SaveForm("display", {{"sort", "PO"}}));
    EXPECT_EQ(Saved().selectNodes("SETTINGS/DISPLAY/SORT").length(), 1);
    EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/DISPLAY/SORT"), "PO");
    // Names that cannot be element names are refused before anything changes.
    EXPECT_TRUE(settings_.SaveForm("bad form", {{"a", "1"}}));
    EXPECT_TRUE(settings_.SaveForm("display", {{"1st", "1"}}));
    EXPECT_TRUE(Saved().selectSingleNode("SETTINGS/BAD").isNull());
  }
}

TEST_F(SettingsTest, SpoolAndArchiveFoldersAreComparedAsTheFoldersTheyName) {
  Load("");
  const std::string spool = module_.path("Send");
  fs::create_directories(spool);
  fs::create_directories(module_.path("other"));
  fs::create_symlink(spool, module_.path("link"));
  for (const std::string& same :
       {spool + "/", spool + "//", spool + "/.", module_.path("other/../Send"),
        module_.path("link"), module_.path("link/")}) {
    EXPECT_TRUE(SameFolder(same, spool)) << same;
    EXPECT_TRUE(settings_.SetFolder(true, same)) << same;
  }
  EXPECT_FALSE(SameFolder(module_.path("send"), spool));
  EXPECT_FALSE(SameFolder(module_.path("Send/Archive"), spool));
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/ARCHIVEPATH"), module_.path("Archive"));
  // A folder that does not exist yet is compared by its written form.
  EXPECT_TRUE(SameFolder(module_.path("new/x/.."), module_.path("new/")));
  EXPECT_TRUE(settings_.SetFolder(false, module_.path("Archive/")));
  ASSERT_FALSE(settings_.SetFolder(true, module_.path("Kept")));
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/ARCHIVEPATH"), module_.path("Kept"));

  // A file naming one folder twice, differently written, archives beside the stack.
  Load("");
  WriteFileOrDie(SettingsPath(), "<SETTINGS><SPOOLPATH>" + spool + "</SPOOLPATH><ARCHIVEPATH>" +
                                     module_.path("link/") + "</ARCHIVEPATH></SETTINGS>");
  ASSERT_FALSE(settings_.FillSettings());
  EXPECT_EQ(settings_.Value("SETTINGS/ARCHIVEPATH"), spool + "/Archive");
}

// Web sites and the partner service are found through the registry; unset, blank or not a
// web address, the default names no real host.
TEST_F(SettingsTest, AddressesComeFromTheRegistryWithInvalidDefaults) {
  for (WebSite site : {WebSite::EdiService, WebSite::Design, WebSite::Orcanet, WebSite::Support}) {
    EXPECT_EQ(WebSiteAddress(site), DefaultWebSiteAddress(site));
    EXPECT_NE(WebSiteAddress(site).find(".invalid/"), std::string::npos) << WebSiteAddress(site);
  }
  const PartnerServiceConfig defaults;
  EXPECT_NE(GetPartnerServiceConfig().Endpoint.find(".invalid/"), std::string::npos);

  const std::string sites = std::string("HKEY_CURRENT_USER\\") + kWebSitesKey;
  const std::string service = "HKEY_CURRENT_USER\\Software\\Orca Technologies\\EDI\\PartnerService";
  for (const auto& [key, name, value] :
       {std::tuple{sites, "OrcanetWebSite", " https://orcanet.example/ "},
        {sites, "SupportWebSite", "file:///etc/passwd"},
        {sites, "DesignWebSite", "/usr/bin/xterm"},
        {service, "Endpoint", "https://prod.example/wsManufInfo.asmx"},
        {service, "DevelopmentEndpoint", "  "},
        {service, "Namespace", "urn:partners/"}}) {
    ASSERT_TRUE(registry::RegistrySetString(key, name, value)) << name;
  }
  EXPECT_EQ(WebSiteAddress(WebSite::Orcanet), "https://orcanet.example/");
  EXPECT_EQ(WebSiteAddress(WebSite::Support), DefaultWebSiteAddress(WebSite::Support));
  EXPECT_EQ(WebSiteAddress(WebSite::Design), DefaultWebSiteAddress(WebSite::Design));
  const PartnerServiceConfig config = GetPartnerServiceConfig();
  EXPECT_EQ(config.Endpoint, "https://prod.example/wsManufInfo.asmx");
  EXPECT_EQ(config.DevelopmentEndpoint, defaults.DevelopmentEndpoint);  // blank keeps default
  EXPECT_EQ(config.Namespace, "urn:partners/");
}

}  // namespace
}  // namespace larkedi
