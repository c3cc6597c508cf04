// The settings document: what its load adds from the partner web service and the registry,
// what each edit writes and leaves unsaved, what a damaged settings file is protected from,
// and the configuration read from the registry store.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>

#include "host/interface.h"
#include "platform/automation/automation.h"
#include "platform/folder_paths.h"
#include "platform/registry/registry_store.h"
#include "settings/partner_service.h"
#include "settings/settings_document.h"
#include "settings/web_sites.h"
#include "support/resx.h"
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

TEST_F(SettingsTest, FirstRunWritesDefaultsAndOnePartnerPerManufacturer) {
  ServeManufacturers(
      "{\"id\": \"100\", \"name\": \"Northwood Cabinets\"},"
      "{\"id\": \"200\", \"name\": \"Côté & Fils <Armoires>\"},"
      "{\"name\": \"No Id Inc\"}, {\"id\": \"300\"}");
  SettingsDocument window;
  window.FillSettings();
  xml::Document saved = Saved();
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/SPOOLPATH"), module_.path("Send"));
  // Only manufacturers with both an ID and a name become partners.
  xml::NodeList partners = saved.selectNodes("SETTINGS/PARTNER");
  ASSERT_EQ(partners.length(), 2);
  EXPECT_EQ(partners.item(0).getAttribute("freeedi"), "1");
  EXPECT_EQ(GetNodeText(partners.item(0), "MANUFID"), "100");
  EXPECT_EQ(GetNodeText(partners.item(1), "NAME"), "Côté & Fils <Armoires>");
  // Saved by the load itself: they are not partners waiting for the partner page's save.
  EXPECT_TRUE(window.NewPartners.empty());

  // A second load in another window adds nobody: the manufacturers are known.
  SettingsDocument again;
  again.FillSettings();
  EXPECT_EQ(Saved().selectNodes("SETTINGS/PARTNER").length(), 2);
  EXPECT_TRUE(again.NewPartners.empty());
}

TEST_F(SettingsTest, UserPartnerWithSameManufacturerDoesNotBlockFreeEdiOne) {
  ServeManufacturers("{\"id\": \"100\", \"name\": \"Northwood\"}");
  WriteFileOrDie(SettingsPath(),
                 "<SETTINGS><PARTNER><ID>7</ID><MANUFID>100</MANUFID></PARTNER></SETTINGS>");
  SettingsDocument window;
  window.FillSettings();
  xml::Document saved = Saved();
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
  EXPECT_EQ(Saved().selectNodes("SETTINGS/PARTNER").length(), 0);
  EXPECT_TRUE(sim_->Requests().empty());
  // Unreachable service: no partners, no message, the defaults are still written.
  sim_->Stop();
  std::remove(SettingsPath().c_str());
  SettingsDocument offline;
  offline.FillSettings();
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_EQ(Saved().selectNodes("SETTINGS/PARTNER").length(), 0);
  EXPECT_EQ(Saved().selectNodes("SETTINGS/SORTORDER").length(), 1);
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
  // Same spool and archive folder: the archive is shown under the spool folder.
  EXPECT_EQ(GetNodeText(window.docSettings, "SETTINGS/ARCHIVEPATH"), "/s/Archive");
  // Nothing was missing, so nothing was saved; an explicit save leaves the legacy ones out.
  EXPECT_EQ(Saved().selectNodes("SETTINGS/METHOD").length(), 2);
  ASSERT_FALSE(SaveSettingsXML(window.docSettings.xml()));
  EXPECT_EQ(Saved().selectNodes("SETTINGS/METHOD").length(), 2);
  EXPECT_EQ(window.docSettings.selectNodes("SETTINGS/METHOD").length(), 5);
}

// A settings file with one typo is never replaced by the defaults behind the user's back:
// it is reported and kept; the defaults serve in memory; the first explicit save keeps the
// broken file as .bad beside the new one.
TEST_F(SettingsTest, UnparsableFileIsKeptUntilTheUserSaves) {
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

  fs::permissions(SettingsPath(), fs::perms::owner_read | fs::perms::group_read);
  EXPECT_FALSE(window.SaveSettingsXML());
  EXPECT_EQ(ReadFileOrEmpty(SettingsPath() + ".bad"), typo);
  EXPECT_EQ(Saved().selectNodes("SETTINGS/METHOD").length(), 1);
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
  xml::Document saved = Saved();
  EXPECT_EQ(saved.selectNodes("//METHOD").length(), 1);
  EXPECT_EQ(GetNodeText(saved, "//PARTNER/ID"), "2");
}

// The browser check creates, renames and removes a catalog; here: what is refused and what
// writes nothing.
TEST_F(SettingsTest, CatalogEditsThatChangeNothingWriteNothing) {
  Load("<PARTNER><ID>3</ID><NAME>Acme</NAME></PARTNER>");
  int id = 0;
  ASSERT_FALSE(settings_.CreateCatalog("ABC", &id));
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/CATALOG[ID=1]/PARTNERID"), "-2");
  int none = -1;
  ASSERT_FALSE(settings_.CreateCatalog("  ", &none));
  EXPECT_EQ(none, 0);
  EXPECT_EQ(Saved().selectNodes("SETTINGS/CATALOG").length(), 1);

  bool changed = true;
  ASSERT_FALSE(settings_.EditCatalog(id, "ABC", &changed));
  EXPECT_FALSE(changed);
  ASSERT_FALSE(settings_.EditCatalog(id, "", &changed));
  EXPECT_FALSE(changed);
  EXPECT_TRUE(settings_.EditCatalog(9, "Q", &changed));
  ASSERT_FALSE(settings_.AssignCatalogPartner(id, "3", &changed));
  EXPECT_TRUE(changed);
  // The same partner again writes nothing.
  fs::remove(SettingsPath());
  ASSERT_FALSE(settings_.AssignCatalogPartner(id, "3", &changed));
  EXPECT_FALSE(changed);
  EXPECT_FALSE(fs::exists(SettingsPath()));
  EXPECT_TRUE(settings_.RemoveCatalog(2));
}

TEST_F(SettingsTest, ARemovedPartnersIdIsNeverGivenAgain) {
  // Partner 5 was removed in an earlier session: its catalog still points to it.
  Load(
      "<PARTNER><ID>2</ID><NAME>Acme</NAME></PARTNER>"
      "<CATALOG><ID>1</ID><CODE>OLD</CODE><PARTNERID>5</PARTNERID></CATALOG>"
      "<CATALOG><ID>2</ID><CODE>NEW</CODE><PARTNERID>-2</PARTNERID></CATALOG>");
  const int created = settings_.CreateEmptyPartner("", "");
  EXPECT_EQ(created, 6);
  EXPECT_EQ(GetNodeText(settings_.docSettings, "SETTINGS/PARTNER[ID='6']/CODE"),
            Res("LBL Partner") + " 6");
  // Removing the newest partner in this session does not free its number either.
  ASSERT_FALSE(settings_.RemovePartner(created));
  EXPECT_TRUE(settings_.NewPartners.empty());
  EXPECT_EQ(settings_.CreateEmptyPartner("", ""), 7);
  EXPECT_EQ(settings_.CreateFreeEDIPartner("M1", "Maker"), 8);
  // The catalog of the old partner is left as it was.
  EXPECT_EQ(GetNodeText(settings_.docSettings, "SETTINGS/CATALOG[ID=1]/PARTNERID"), "5");
  EXPECT_TRUE(settings_.RemovePartner(42));
}

TEST_F(SettingsTest, SavingAPartnerCopiesThePageAndTheChosenMethod) {
  Load(
      "<PARTNER><ID>4</ID><NAME>Acme</NAME><MANUFID>A</MANUFID><DEALERID>D</DEALERID>"
      "<METHODID>1</METHODID><KITFILEID>0</KITFILEID></PARTNER>");
  SettingsDocument::PartnerFields fields{"Acme & Sons", "A2", "D<2>", true, 2};
  bool pending = true;
  ASSERT_FALSE(settings_.SavePartner(4, fields, &pending));
  EXPECT_FALSE(pending);
  xml::Document saved = Saved();
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/PARTNER/NAME"), "Acme & Sons");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/PARTNER/DEALERID"), "D<2>");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/PARTNER/KITFILEID"), "1");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/PARTNER/METHODID"), "2");
  // No method chosen keeps the partner's.
  fields.MethodId = 0;
  ASSERT_FALSE(settings_.SavePartner(4, fields, &pending));
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/PARTNER/METHODID"), "2");
  // A partner that is not there is reported and nothing else changes in the file.
  dialogs_.shown.clear();
  ASSERT_FALSE(settings_.SavePartner(77, fields, &pending));
  EXPECT_EQ(dialogs_.CountShown(Res("MSG CannotSavePartner")), 1);
}

TEST_F(SettingsTest, ExitingDropsTheUnsavedPartnersOnly) {
  Load("<PARTNER><ID>1</ID><NAME>Kept</NAME></PARTNER>");
  settings_.CreateEmptyPartner("", "");
  settings_.CreateEmptyPartner("C", "N");
  EXPECT_EQ(settings_.docSettings.selectNodes("SETTINGS/PARTNER").length(), 3);
  settings_.DropNewPartners();
  EXPECT_TRUE(settings_.NewPartners.empty());
  xml::NodeList left = settings_.docSettings.selectNodes("SETTINGS/PARTNER");
  ASSERT_EQ(left.length(), 1);
  EXPECT_EQ(GetNodeText(left.item(0), "NAME"), "Kept");
}

TEST_F(SettingsTest, ADamagedSettingsFileIsNeverOverwrittenByAnEdit) {
  const std::string damaged = "<SETTINGS><PARTNER><ID>1</ID><NAME>Acme</NAME></PARTN";
  WriteFileOrDie(SettingsPath(), damaged);
  settings_.bWebServiceDone = true;
  EXPECT_TRUE(settings_.FillSettings());
  ASSERT_TRUE(settings_.Damaged());
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
}

TEST_F(SettingsTest, FormsAreStoredUnderTheirNamesAndBadNamesRefused) {
  Load("");
  ASSERT_FALSE(settings_.SaveForm("display", {{"sort", "SEQUENCE+DESC"}, {"Rows", "15"}}));
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/DISPLAY/ROWS"), "15");
  ASSERT_FALSE(settings_.SaveForm("display", {{"sort", "PO"}}));
  EXPECT_EQ(Saved().selectNodes("SETTINGS/DISPLAY/SORT").length(), 1);
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/DISPLAY/SORT"), "PO");
  // Names that cannot be element names are refused before anything changes.
  EXPECT_TRUE(settings_.SaveForm("", {{"a", "1"}}));
  EXPECT_TRUE(settings_.SaveForm("bad form", {{"a", "1"}}));
  EXPECT_TRUE(settings_.SaveForm("display", {{"1st", "1"}}));
  EXPECT_TRUE(Saved().selectSingleNode("SETTINGS/BAD").isNull());
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

TEST_F(SettingsTest, WebSiteAddressesComeFromTheRegistryWithInvalidDefaults) {
  for (WebSite site : {WebSite::EdiService, WebSite::Design, WebSite::Orcanet, WebSite::Support}) {
    const std::string address = WebSiteAddress(site);
    EXPECT_EQ(address, DefaultWebSiteAddress(site));
    EXPECT_NE(address.find(".invalid/"), std::string::npos) << address;
  }
  const std::string key = std::string("HKEY_CURRENT_USER\\") + kWebSitesKey;
  ASSERT_TRUE(registry::RegistrySetString(key, "OrcanetWebSite", " https://orcanet.example/ "));
  ASSERT_TRUE(registry::RegistrySetString(key, "SupportWebSite", "file:///etc/passwd"));
  ASSERT_TRUE(registry::RegistrySetString(key, "DesignWebSite", "/usr/bin/xterm"));
  EXPECT_EQ(WebSiteAddress(WebSite::Orcanet), "https://orcanet.example/");
  EXPECT_EQ(WebSiteAddress(WebSite::Support), DefaultWebSiteAddress(WebSite::Support));
  EXPECT_EQ(WebSiteAddress(WebSite::Design), DefaultWebSiteAddress(WebSite::Design));
  EXPECT_NE(DefaultWebSiteAddress(WebSite::Design), DefaultWebSiteAddress(WebSite::EdiService));
}

TEST_F(SettingsTest, PartnerServiceAddressesComeFromTheRegistry) {
  PartnerServiceConfig defaults;
  PartnerServiceConfig unset = GetPartnerServiceConfig();
  EXPECT_EQ(unset.Endpoint, defaults.Endpoint);
  EXPECT_NE(unset.Endpoint.find(".invalid/"), std::string::npos);

  const std::string key = "HKEY_CURRENT_USER\\Software\\Orca Technologies\\EDI\\PartnerService";
  ASSERT_TRUE(
      registry::RegistrySetString(key, "Endpoint", "https://prod.example/wsManufInfo.asmx"));
  ASSERT_TRUE(registry::RegistrySetString(key, "DevelopmentEndpoint", "  "));
  ASSERT_TRUE(registry::RegistrySetString(key, "Namespace", "urn:partners/"));
  PartnerServiceConfig config = GetPartnerServiceConfig();
  EXPECT_EQ(config.Endpoint, "https://prod.example/wsManufInfo.asmx");
  EXPECT_EQ(config.DevelopmentEndpoint, defaults.DevelopmentEndpoint);  // blank keeps default
  EXPECT_EQ(config.Namespace, "urn:partners/");
  // The environment still wins, for tests and support.
  ::setenv("LARKEDI_PARTNER_ENDPOINT", "http://127.0.0.1:9/wsManufInfo.asmx", 1);
  EXPECT_EQ(GetPartnerServiceConfig().Endpoint, "http://127.0.0.1:9/wsManufInfo.asmx");
  ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
}

TEST_F(SettingsTest, AutomationClassesAreFoundThroughLocalServer32) {
  Err err;
  EXPECT_EQ(automation::CreateObject("Lakeside.Validate", &err), nullptr);
  EXPECT_EQ(err.Number, 429);

  const std::string server = std::string(LARKEDI_TOOLS_OUT) + "/larkedi-fake-validation";
  ASSERT_TRUE(registry::RegistrySetString("HKCR\\Lakeside.Validate\\LocalServer32", "", server));
  ::setenv("FAKE_MODULE_MESSAGE", "door style missing", 1);
  std::shared_ptr<automation::AutomationObject> module =
      automation::CreateObject("lakeside.validate", &err);
  ASSERT_NE(module, nullptr) << err.Description;
  std::vector<automation::Variant> args{automation::Variant(std::string("<Design/>"))};
  automation::Variant result;
  Err call = module->Call("ValidateCatalog", args, &result);
  EXPECT_EQ(call.Number, 0) << call.Description;
  EXPECT_EQ(result.AsString(), "door style missing");
  ::unsetenv("FAKE_MODULE_MESSAGE");

  // An empty registration is no registration.
  ASSERT_TRUE(registry::RegistrySetString("HKCR\\Empty.Class\\LocalServer32", "", " "));
  EXPECT_EQ(automation::CreateObject("Empty.Class", &err), nullptr);
}

}  // namespace
}  // namespace larkedi
