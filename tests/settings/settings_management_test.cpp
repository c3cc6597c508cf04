// Partners, catalogs, folders and forms edited through SettingsDocument: numbering, what a
// save writes, what stays unsaved, and what a damaged settings file is protected from.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <memory>

#include "platform/folder_paths.h"
#include "platform/registry/registry_store.h"
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

class SettingsManagement : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("LARKEDI_REGISTRY_DIR", module_.path("registry").c_str(), 1);
    ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
  }
  void TearDown() override {
    ::unsetenv("LARKEDI_PARTNER_ENDPOINT");
    ::unsetenv("LARKEDI_REGISTRY_DIR");
  }
  // Writes `body` as the settings (with folders and one method) and loads them.
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
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  SettingsDocument settings_;
};

TEST_F(SettingsManagement, CatalogsAreCreatedRenamedAssignedAndRemoved) {
  Load("<PARTNER><ID>3</ID><NAME>Acme</NAME></PARTNER>");
  int first = 0, second = 0;
  ASSERT_FALSE(settings_.CreateCatalog("ABC", &first));
  ASSERT_FALSE(settings_.CreateCatalog("DEF", &second));
  EXPECT_EQ(first, 1);
  EXPECT_EQ(second, 2);
  int none = -1;
  ASSERT_FALSE(settings_.CreateCatalog("  ", &none));
  EXPECT_EQ(none, 0);
  xml::Document saved = Saved();
  EXPECT_EQ(saved.selectNodes("SETTINGS/CATALOG").length(), 2);
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/CATALOG[ID=1]/PARTNERID"), "-2");
  EXPECT_EQ(saved.selectSingleNode("SETTINGS/CATALOG[ID=1]/CODE").firstChild().nodeType(),
            xml::NodeType::CData);

  bool changed = true;
  ASSERT_FALSE(settings_.EditCatalog(1, "ABC", &changed));
  EXPECT_FALSE(changed);
  ASSERT_FALSE(settings_.EditCatalog(1, "", &changed));
  EXPECT_FALSE(changed);
  ASSERT_FALSE(settings_.EditCatalog(1, "XYZ <1>", &changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/CATALOG[ID=1]/CODE"), "XYZ <1>");
  EXPECT_TRUE(settings_.EditCatalog(9, "Q", &changed));

  ASSERT_FALSE(settings_.AssignCatalogPartner(1, "3", &changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/CATALOG[ID=1]/PARTNERID"), "3");
  // The same partner again writes nothing.
  fs::remove(SettingsPath());
  ASSERT_FALSE(settings_.AssignCatalogPartner(1, "3", &changed));
  EXPECT_FALSE(changed);
  EXPECT_FALSE(fs::exists(SettingsPath()));
  ASSERT_FALSE(settings_.SaveSettingsXML());

  ASSERT_FALSE(settings_.RemoveCatalog(2));
  EXPECT_EQ(Saved().selectNodes("SETTINGS/CATALOG").length(), 1);
  EXPECT_TRUE(settings_.RemoveCatalog(2));
}

TEST_F(SettingsManagement, ARemovedPartnersIdIsNeverGivenAgain) {
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

TEST_F(SettingsManagement, StartUpFreeEdiPartnersStayInTheFileWhenANewPartnerIsSaved) {
  auto sim = std::make_unique<testing::PartnerSim>(
      "{\"manufacturers\": [{\"id\": \"100\", \"name\": \"Northwood\"},"
      "{\"id\": \"200\", \"name\": \"Bayview\"}]}");
  ASSERT_TRUE(sim->running());
  ::setenv("LARKEDI_PARTNER_ENDPOINT", sim->url().c_str(), 1);
  SettingsDocument window;
  ASSERT_FALSE(window.FillSettings());
  EXPECT_TRUE(window.bWebServiceDone);
  EXPECT_TRUE(window.NewPartners.empty());
  ASSERT_EQ(Saved().selectNodes("SETTINGS/PARTNER[@freeedi='1']").length(), 2);

  // Two partners made on the partner page; saving one leaves the other out of the file,
  // never the manufacturers' partners.
  const int a = window.CreateEmptyPartner("", "");
  const int b = window.CreateEmptyPartner("", "");
  bool pending = false;
  SettingsDocument::PartnerFields fields;
  fields.Name = "Second";
  ASSERT_FALSE(window.SavePartner(b, fields, &pending));
  EXPECT_TRUE(pending);
  xml::Document saved = Saved();
  EXPECT_EQ(saved.selectNodes("SETTINGS/PARTNER[@freeedi='1']").length(), 2);
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/PARTNER[ID='" + std::to_string(b) + "']/NAME"), "Second");
  EXPECT_TRUE(saved.selectSingleNode("SETTINGS/PARTNER[ID='" + std::to_string(a) + "']").isNull());
  EXPECT_FALSE(
      window.docSettings.selectSingleNode("SETTINGS/PARTNER[ID='" + std::to_string(a) + "']")
          .isNull());
  fields.Name = "First";
  ASSERT_FALSE(window.SavePartner(a, fields, &pending));
  EXPECT_FALSE(pending);
  saved = Saved();
  EXPECT_EQ(saved.selectNodes("SETTINGS/PARTNER").length(), 4);
  EXPECT_EQ(saved.selectNodes("SETTINGS/PARTNER[@freeedi='1']").length(), 2);

  // A later load of the window does not ask the web service again.
  sim->Stop();
  ASSERT_FALSE(window.FillSettings());
  EXPECT_EQ(window.docSettings.selectNodes("SETTINGS/PARTNER").length(), 4);
}

TEST_F(SettingsManagement, SavingAPartnerCopiesThePageAndTheChosenMethod) {
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
  bool order_form = false;
  EXPECT_TRUE(settings_.FindMethod(2, &order_form));
  EXPECT_TRUE(order_form);
  EXPECT_TRUE(settings_.FindMethod(1, &order_form));
  EXPECT_FALSE(order_form);
  EXPECT_FALSE(settings_.FindMethod(3, &order_form));
  // A partner that is not there is reported and nothing else changes in the file.
  dialogs_.shown.clear();
  ASSERT_FALSE(settings_.SavePartner(77, fields, &pending));
  EXPECT_EQ(dialogs_.CountShown(Res("MSG CannotSavePartner")), 1);
}

TEST_F(SettingsManagement, ExitingDropsTheUnsavedPartnersOnly) {
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

TEST_F(SettingsManagement, ADamagedSettingsFileIsNeverOverwrittenByAnEdit) {
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

TEST_F(SettingsManagement, FormsAndSortOrderAreStoredUnderTheirNames) {
  Load("");
  ASSERT_FALSE(settings_.SaveForm("display", {{"sort", "SEQUENCE+DESC"}, {"Rows", "15"}}));
  xml::Document saved = Saved();
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/DISPLAY/SORT"), "SEQUENCE+DESC");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/DISPLAY/ROWS"), "15");
  ASSERT_FALSE(settings_.SaveForm("display", {{"sort", "PO"}}));
  EXPECT_EQ(Saved().selectNodes("SETTINGS/DISPLAY/SORT").length(), 1);
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/DISPLAY/SORT"), "PO");
  // Names that cannot be element names are refused before anything changes.
  EXPECT_TRUE(settings_.SaveForm("", {{"a", "1"}}));
  EXPECT_TRUE(settings_.SaveForm("bad form", {{"a", "1"}}));
  EXPECT_TRUE(settings_.SaveForm("display", {{"1st", "1"}}));
  EXPECT_TRUE(Saved().selectSingleNode("SETTINGS/BAD").isNull());

  ASSERT_FALSE(settings_.SetSortOrder("TWB"));
  EXPECT_EQ(GetNodeText(Saved(), "SETTINGS/SORTORDER"), "TWB");
  EXPECT_EQ(Saved().selectSingleNode("SETTINGS/SORTORDER").firstChild().nodeType(),
            xml::NodeType::Text);
}

TEST_F(SettingsManagement, SpoolAndArchiveFoldersAreComparedAsTheFoldersTheyName) {
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
  EXPECT_EQ(Saved().selectSingleNode("SETTINGS/ARCHIVEPATH").firstChild().nodeType(),
            xml::NodeType::Text);

  // A file naming one folder twice, differently written, archives beside the stack.
  Load("");
  WriteFileOrDie(SettingsPath(), "<SETTINGS><SPOOLPATH>" + spool + "</SPOOLPATH><ARCHIVEPATH>" +
                                     module_.path("link/") + "</ARCHIVEPATH></SETTINGS>");
  ASSERT_FALSE(settings_.FillSettings());
  EXPECT_EQ(settings_.Value("SETTINGS/ARCHIVEPATH"), spool + "/Archive");
}

TEST_F(SettingsManagement, WebSiteAddressesComeFromTheRegistryWithInvalidDefaults) {
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

}  // namespace
}  // namespace larkedi
