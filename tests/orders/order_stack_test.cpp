// The order stack: loading designs, order groups, saving, removing and archiving.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "host/frm_edi.h"
#include "host/startup.h"
#include "orders/stack_files.h"
#include "orders/xme_file.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "platform/zip/zip.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/xml_helpers.h"
#include "testing/failing_env.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

struct Cat {
  std::string id, code, partner;
};

std::string Settings(const std::string& dir, const std::vector<Cat>& catalogs,
                     const std::string& extra = "") {
  std::string s =
      "<SETTINGS><SPOOLPATH>" + dir + "/Send</SPOOLPATH><ARCHIVEPATH>" + dir +
      "/Archive</ARCHIVEPATH>"
      "<PARTNER><ID>1</ID><NAME>Alpha Cabinets</NAME><KITFILEID>0</KITFILEID></PARTNER>"
      "<PARTNER><ID>2</ID><NAME>Beta Millwork</NAME><KITFILEID>1</KITFILEID></PARTNER>" +
      extra;
  for (const Cat& c : catalogs) {
    s += "<CATALOG><ID>" + c.id + "</ID><CODE><![CDATA[" + c.code + "]]></CODE><PARTNERID>" +
         c.partner + "</PARTNERID></CATALOG>";
  }
  return s + "</SETTINGS>";
}

std::string Design(const std::string& computer, const std::string& file,
                   const std::vector<std::string>& catalogs, const std::string& number = "PO-7") {
  std::string d = "<Design><JobInfo><Header><ComputerName>" + computer + "</ComputerName><Number>" +
                  number + "</Number><GlobalID/><DateBias/></Header><FileName>" + file +
                  "</FileName><Profile><Type>BillTo</Type><Contact><Type>Designer</Type>"
                  "<Name Type=\"FullName\">Dana Designer</Name></Contact></Profile></JobInfo>";
  for (const auto& c : catalogs) {
    d += "<Catalog><Identification><Name>" + xml::EscapeXmlText(c) +
         "</Name></Identification><Item><Number>1</Number></Item></Catalog>";
  }
  return d + "</Design>";
}

class OrderStackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::StubStandardStyleSheets(module_.path("html"));
    module_.Restart();
    Configure({{"1", "ABC", "1"}, {"2", "Def", "2"}, {"7", "SHARED", "1"}});
  }

  void Configure(const std::vector<Cat>& catalogs, const std::string& extra = "") {
    WriteFileOrDie(SettingsPath(), Settings(module_.dir(), catalogs, extra));
    edi_.OpenHeadless();
  }

  bool Load(const std::string& input = "") {
    std::string text = input;
    return edi_.Orders.LoadOrders(false, text);
  }

  // Removes an order group as the page's remove link does; true when it was removed.
  bool Remove(long id) {
    bool removed = false;
    EXPECT_FALSE(edi_.Orders.RemoveOrder(id, removed));
    return removed;
  }

  std::string spool() const { return module_.path("Send"); }
  std::string archive() const { return module_.path("Archive"); }
  std::vector<std::string> SpoolFiles() const { return ListXmeFiles(spool()); }

  std::vector<std::string> Texts(const std::string& xpath) const {
    std::vector<std::string> out;
    for (xml::Node n : edi_.Orders.docOrders.selectNodes(xpath)) out.push_back(n.text());
    return out;
  }

  std::string Plain(const std::string& path) {
    std::string text;
    DecipherFile(path, &text);
    return text;
  }

  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  frmEDI edi_;
};

TEST_F(OrderStackTest, LoadsStoreEncipheredDesignsAndRenumberOnEveryLoad) {
  EXPECT_FALSE(Load("<?xml version=\"1.0\"?>\r\n<Designs>\r\n" + Design("PC1", "a.kit", {"abc"}) +
                    Design("PC1", "b.kit", {"ABC", "def"}) + "</Designs>"));
  ASSERT_EQ(SpoolFiles().size(), 2u);
  EXPECT_TRUE(Module().StartupInput.empty());
  for (const auto& name : SpoolFiles()) {
    const std::string raw = ReadFileOrEmpty(fs::path(spool()) / name);
    EXPECT_EQ(raw.rfind("PK", 0), 0u) << "stored in plain text: " << name;
    xml::Document d;
    ASSERT_TRUE(d.loadXML(Plain(JoinPath(spool(), name))));
    EXPECT_EQ(d.documentElement().nodeName(), "Design");
    // The stored copy carries the new identity but not the load's completion.
    EXPECT_EQ(GetNodeText(d, "Design/JobInfo/Header/GlobalID") + ".xme", name);
    EXPECT_FALSE(NodeExists("Design/Catalog/ID", d));
    EXPECT_FALSE(GetNodeText(d, "Design/JobInfo/Header/DateBias").empty());
  }
  const auto names = Texts("/Orders/Design/FileName");
  EXPECT_EQ(Texts("/Orders/Design/ID"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Texts("//Catalog/ID"), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(Texts("/Orders/SETTINGS/PARTNER/ID").size(), 2u);
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//Design[1]/JobInfo/Header/Application"),
            "LARKSPUR EDI");

  EXPECT_FALSE(Load());
  auto again = Texts("/Orders/Design/FileName");
  std::vector<std::string> sorted_names = names;
  std::sort(sorted_names.begin(), sorted_names.end());
  EXPECT_EQ(again, sorted_names);  // the listing order of the folder
  EXPECT_EQ(Texts("/Orders/Design/ID"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Texts("//Catalog/ID"), (std::vector<std::string>{"1", "2", "3"}));
  EXPECT_EQ(edi_.Orders.LoadedSpoolFiles, std::set<std::string>(names.begin(), names.end()));
  EXPECT_FALSE(edi_.Orders.IsSpoolerChanged());
}

TEST_F(OrderStackTest, OrdersDumpOnlyWithLoggingAndNeverCountsAsAChange) {
  Load(Design("PC1", "a.kit", {"abc"}));
  EXPECT_FALSE(fs::exists(fs::path(spool()) / "orders.xml"));
  module_.EnableLogging();
  Load();
  EXPECT_TRUE(fs::exists(fs::path(spool()) / "orders.xml"));
  EXPECT_EQ(edi_.Orders.LoadedSpoolFiles.count("orders.xml"), 1u);
  EXPECT_FALSE(edi_.Orders.IsSpoolerChanged());
}

TEST_F(OrderStackTest, CatalogCodesMatchWithoutCaseAndUnknownOnesAreRegisteredOnce) {
  const std::string odd = "O'Neil \"Best\" Crème";
  EXPECT_TRUE(Load(Design("PC1", "a.kit", {"abc", "DEF", "zed", odd})));
  EXPECT_EQ(edi_.Orders.RegisteredCatalogs, (std::vector<std::string>{"zed", odd}));
  xml::Document saved;
  ASSERT_TRUE(saved.load(SettingsPath()));
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/CATALOG[CODE='zed']/ID"), "8");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/CATALOG[CODE='zed']/PARTNERID"), "-1");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/CATALOG[ID='9']/CODE"), odd);

  // Partner 1 is listed first, so its group comes first; the unknown codes are in no group.
  EXPECT_EQ(Texts("//ORDERGROUP/PARTNERID"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Texts("//ORDERGROUP[PARTNERID='1']/CATALOGID"), (std::vector<std::string>{"1"}));
  EXPECT_EQ(Texts("//ORDERGROUP[PARTNERID='2']/CATALOGID"), (std::vector<std::string>{"2"}));
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP[1]/PONUMBER"), "PO-7");
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP[1]/CONTACTNAME"), "Dana Designer");
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP[1]/SENDIT"), "1");
  EXPECT_FALSE(NodeExists("//ORDERGROUP/RFQ", edi_.Orders.docOrders));
  // Partner 2 asks for the kit file.
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//Design/File[Type='Kit']/Name"), "a.kit");

  // A reload reads the stored design back (its letters included) and does not register
  // the same codes again.
  edi_.Settings.FillSettings();
  dialogs_.shown.clear();
  EXPECT_FALSE(Load());
  EXPECT_TRUE(dialogs_.shown.empty());
  EXPECT_EQ(Texts("//Catalog/Identification/Name"),
            (std::vector<std::string>{"abc", "DEF", "zed", odd}));
  EXPECT_TRUE(edi_.Orders.RegisteredCatalogs.empty());
  EXPECT_EQ(edi_.Settings.docSettings.selectNodes("SETTINGS/CATALOG").length(), 5);
}

TEST_F(OrderStackTest, PartnerIdsCompareAsNumbersAndTwinOrdersRepeatTheCatalog) {
  Configure({{"1", "ABC", "01"}, {"2", "abc", "1.0"}},
            "<ALLOWTWINORDERS>1</ALLOWTWINORDERS><RFQMODE>1</RFQMODE>");
  Load(Design("PC1", "a.kit", {"Abc"}));
  EXPECT_EQ(Texts("//ORDERGROUP[PARTNERID='1']/CATALOGID"), (std::vector<std::string>{"1", "1"}));
  EXPECT_EQ(Texts("//ORDERGROUP/ID"), (std::vector<std::string>{"2"}));
  EXPECT_EQ(Texts("//ORDERGROUP/RFQ"), (std::vector<std::string>{"0"}));
}

// The load groups each design as it takes it in; a grouping pass over the finished stack
// gives the same groups and numbers, also with a design inside a design, stacked designs
// before the input's, and stale groups carried in a stacked file.
TEST_F(OrderStackTest, GroupingWhileLoadingMatchesAPassOverTheStack) {
  Load(Design("PC1", "a.kit", {"ABC", "def"}));
  Load(Design("PC1", "b.kit", {"shared", "Def"}));
  std::string nested = Design("PC2", "outer.kit", {"def"});
  nested.insert(nested.find("<Catalog>"), Design("PC2", "inner.kit", {"abc"}));
  nested.insert(nested.rfind("</Design>"),
                "<ORDERGROUP><ID>9</ID><PARTNERID>1</PARTNERID><CATALOGID>5</CATALOGID>"
                "</ORDERGROUP>");
  Load("<Designs>" + nested + Design("PC1", "c.kit", {"ABC", "SHARED"}) + "</Designs>");

  const std::string loaded = edi_.Orders.docOrders.documentElement().xml();
  // The inner design is also taken in on its own, as every Design with a JobInfo is.
  ASSERT_EQ(edi_.Orders.docOrders.selectNodes("//Design").length(), 6);
  ASSERT_GE(Texts("//ORDERGROUP/ID").size(), 5u);
  edi_.Orders.LoadOrderGroups();
  EXPECT_EQ(edi_.Orders.docOrders.documentElement().xml(), loaded);
}

TEST_F(OrderStackTest, ReplaceQuestionDecidesWhetherTheStackedCopyStays) {
  Load(Design("PC1", "same.kit", {"abc"}, "old"));
  Load(Design("PC2", "same.kit", {"abc"}, "other computer"));
  ASSERT_EQ(SpoolFiles().size(), 2u);

  dialogs_.msgbox_answers = {MsgResult::No};
  Load(Design("PC1", "same.kit", {"abc"}, "kept both"));
  EXPECT_EQ(SpoolFiles().size(), 3u);
  EXPECT_EQ(dialogs_.CountShown("PC1_same.kit"), 1);

  // Two stacked copies from PC1 now: one question each, Yes leaves only the new design.
  dialogs_.shown.clear();
  dialogs_.msgbox_answers = {MsgResult::Yes, MsgResult::Yes};
  Load(Design("PC1", "same.kit", {"abc"}, "newest"));
  EXPECT_EQ(dialogs_.CountShown("PC1_same.kit"), 2);
  EXPECT_EQ(SpoolFiles().size(), 2u);
  EXPECT_EQ(Texts("//Design[JobInfo/Header/ComputerName='PC1']/JobInfo/Header/Number"),
            (std::vector<std::string>{"newest"}));
  Load();
  EXPECT_EQ(Texts("//Design/JobInfo/Header/Number").size(), 2u);
}

TEST_F(OrderStackTest, EditsSurviveReloadAndGroupsFollowReassignment) {
  Load(Design("PC1", "a.kit", {"abc", "def"}));
  auto group = [&](const char* partner) {
    return edi_.Orders.FindGroup(GetNodeText(edi_.Orders.docOrders, "//Design/FileName") + ":" +
                                 partner);
  };
  ASSERT_FALSE(edi_.Orders.SetGroupField(group("1"), OrderStack::GroupField::PONumber, "EDITED-1"));
  ASSERT_FALSE(edi_.Orders.SetGroupField(group("2"), OrderStack::GroupField::SendIt, "0"));
  EXPECT_TRUE(edi_.Orders.bOrdersChanged);
  EXPECT_FALSE(edi_.Orders.SaveOrders());
  Load();
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP[PARTNERID='1']/PONUMBER"), "EDITED-1");
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP[PARTNERID='2']/SENDIT"), "0");
  EXPECT_EQ(Texts("//ORDERGROUP/CATALOGID"), (std::vector<std::string>{"1", "2"}));

  // ABC moves to partner 2: partner 1 loses its group (and the edit), partner 2 gets both.
  edi_.Settings.docSettings.selectSingleNode("SETTINGS/CATALOG[CODE='ABC']/PARTNERID").setText("2");
  Load();
  EXPECT_EQ(Texts("//ORDERGROUP/PARTNERID"), (std::vector<std::string>{"2"}));
  EXPECT_EQ(Texts("//ORDERGROUP/CATALOGID"), (std::vector<std::string>{"1", "2"}));
}

TEST_F(OrderStackTest, UnassignedDesignIsArchivedAndArchivesGrowPerYear) {
  Load(Design("PC1", "a.kit", {"nobody"}));
  Load(Design("PC1", "b.kit", {"abc"}));
  const auto before = SpoolFiles();
  ASSERT_EQ(before.size(), 2u);
  WriteFileOrDie(archive() + "/LastPo.xml", "<PO/>");
  EXPECT_FALSE(edi_.Orders.SaveOrders());
  ASSERT_EQ(SpoolFiles().size(), 1u);
  // The archived design keeps its catalogs, so it stays in the document until the next load.
  EXPECT_EQ(edi_.Orders.docOrders.selectNodes("//Design").length(), 2);

  // Now the other design: its group is removed, so it goes to the archive as well.
  dialogs_.msgbox_answers = {MsgResult::Yes};
  const long id = std::stol(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP/ID"));
  ASSERT_TRUE(Remove(id));
  EXPECT_TRUE(SpoolFiles().empty());
  EXPECT_TRUE(ListXmeFiles(archive()).empty());
  EXPECT_EQ(ReadFileOrEmpty(archive() + "/LastPo.xml"), "<PO/>");

  std::vector<std::string> zips;
  for (const auto& e : fs::directory_iterator(archive())) {
    const std::string n = e.path().filename().string();
    if (n.rfind("archive_", 0) == 0) zips.push_back(n);
  }
  ASSERT_EQ(zips.size(), 1u);
  std::string error;
  auto zip = zip::Archive::Open(ReadFileOrEmpty(archive() + "/" + zips[0]), &error);
  ASSERT_TRUE(zip) << error;
  std::vector<std::string> entries;
  for (int i = 0; i < zip->EntryCount(); ++i) entries.push_back(zip->EntryName(i));
  std::sort(entries.begin(), entries.end());
  EXPECT_EQ(entries, before);
}

TEST_F(OrderStackTest, RemovingOneOfTwoGroupsKeepsTheDesignWithTheOther) {
  Load(Design("PC1", "a.kit", {"abc", "def"}));
  const long id = std::stol(GetNodeText(edi_.Orders.docOrders, "//ORDERGROUP[PARTNERID='1']/ID"));
  dialogs_.msgbox_answers = {MsgResult::No};
  EXPECT_FALSE(Remove(id));
  EXPECT_EQ(edi_.Orders.docOrders.selectNodes("//ORDERGROUP").length(), 2);

  dialogs_.msgbox_answers = {MsgResult::Yes};
  EXPECT_TRUE(Remove(id));
  ASSERT_EQ(SpoolFiles().size(), 1u);
  Load();
  EXPECT_EQ(Texts("//ORDERGROUP/PARTNERID"), (std::vector<std::string>{"2"}));
  EXPECT_EQ(Texts("//Catalog/Identification/Name"), (std::vector<std::string>{"def"}));
}

TEST_F(OrderStackTest, CatalogSharedBySentGroupsSurvivesTheFirstRemoval) {
  Configure({{"1", "ABC", "1"}, {"2", "abc", "2"}, {"3", "DEF", "1"}});
  Load(Design("PC1", "a.kit", {"abc", "def"}));
  xml::NodeList sending = edi_.Orders.docOrders.selectNodes("Orders/Design/ORDERGROUP[SENDIT='1']");
  ASSERT_EQ(sending.length(), 2);
  edi_.Orders.RemoveSentOrder(sending.item(0), sending);
  // abc is still listed by partner 2's group; def went with partner 1's.
  EXPECT_EQ(Texts("//Catalog/Identification/Name"), (std::vector<std::string>{"abc"}));
  edi_.Orders.RemoveSentOrder(sending.item(1), sending);
  EXPECT_TRUE(Texts("//Catalog").empty());
  EXPECT_TRUE(Texts("//ORDERGROUP").empty());
  EXPECT_FALSE(edi_.Orders.SaveOrders());
  EXPECT_TRUE(Texts("//Design").empty());
  EXPECT_TRUE(SpoolFiles().empty());
  EXPECT_EQ(ListXmeFiles(archive()).size(), 0u);  // packed into the yearly archive
}

TEST_F(OrderStackTest, BadInputLosesNothingAlreadyStacked) {
  Load(Design("PC1", "a.kit", {"abc"}));
  const auto stacked = SpoolFiles();

  EXPECT_FALSE(Load("<Design><JobInfo>"));
  EXPECT_EQ(dialogs_.CountShown(Res("MSG ErrorLoadingXMLFromCallingApp")), 1);
  EXPECT_TRUE(Module().StartupInput.empty());
  EXPECT_EQ(SpoolFiles(), stacked);
  EXPECT_EQ(edi_.Orders.docOrders.selectNodes("//Design").length(), 1);

  Load("<Design><Catalog><Identification><Name>abc</Name></Identification></Catalog></Design>");
  EXPECT_EQ(SpoolFiles(), stacked);  // no JobInfo: not taken in

  // A file that does not decipher is named in the error box; another root is skipped quietly.
  WriteFileOrDie(spool() + "/0BROKEN.xme", "<Design>plain</Design>");
  WriteFileOrDie(spool() + "/1OTHER.xme", "<Other/>");
  EncipherFile(spool() + "/1OTHER.xme");
  dialogs_.shown.clear();
  Load();
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find(Res("MSG ErrorsHaveOccured")), std::string::npos);
  EXPECT_NE(dialogs_.shown[0].text.find("0BROKEN.xme"), std::string::npos);
  EXPECT_EQ(dialogs_.shown[0].text.find("1OTHER.xme"), std::string::npos);
  EXPECT_EQ(edi_.Orders.docOrders.selectNodes("//Design").length(), 1);
  EXPECT_EQ(SpoolFiles().size(), 3u);
}

TEST_F(OrderStackTest, DesignsAreStoredOnlyInTheConfiguredSpoolFolder) {
  // A missing folder that can be made is made, and used.
  WriteFileOrDie(SettingsPath(), Settings(module_.dir() + "/later", {{"1", "ABC", "1"}}));
  edi_.Settings.FillSettings();
  Load(Design("PC1", "a.kit", {"abc"}));
  EXPECT_FALSE(edi_.Orders.LoadStatus);
  EXPECT_EQ(ListXmeFiles(module_.dir() + "/later/Send").size(), 1u);

  // A file where the folder should be, or a path of another system: the design is refused
  // with the reason and stored nowhere else, and the input stays with the caller.
  WriteFileOrDie(module_.path("blocked"), "not a folder");
  for (const std::string& spool : {module_.path("blocked"), std::string("C:\\EDI\\Send")}) {
    SCOPED_TRACE(spool);
    std::string settings = Settings(module_.dir(), {{"1", "ABC", "1"}});
    settings.replace(settings.find(module_.dir() + "/Send"), module_.dir().size() + 5, spool);
    WriteFileOrDie(SettingsPath(), settings);
    edi_.Settings.FillSettings();
    std::string input = Design("PC2", "b.kit", {"abc"});
    dialogs_.shown.clear();
    edi_.Orders.LoadOrders(false, input);
    EXPECT_TRUE(edi_.Orders.LoadStatus);
    EXPECT_NE(edi_.Orders.LoadStatus.Description.find(spool), std::string::npos)
        << edi_.Orders.LoadStatus.Description;
    EXPECT_FALSE(input.empty());
    EXPECT_EQ(dialogs_.shown.size(), 1u);
    EXPECT_TRUE(SpoolFiles().empty());
    EXPECT_EQ(GetNodeText(edi_.Settings.docSettings, "SETTINGS/SPOOLPATH"), spool);
  }
}

TEST_F(OrderStackTest, EmptyFileNameTakesTheTrimmedFilePath) {
  Load(
      "<Design><JobInfo><Header><ComputerName>PC1</ComputerName></Header><FileName/></JobInfo>"
      "<Document><FilePath>  /designs/my kitchen.kit  </FilePath></Document></Design>");
  EXPECT_EQ(GetNodeText(edi_.Orders.docOrders, "//Design/JobInfo/FileName"),
            "/designs/my kitchen.kit");
  EXPECT_EQ(Texts("/Orders/*").size(), 2u);
}

TEST_F(OrderStackTest, ADesignCannotRedirectItsOwnFile) {
  std::string d = Design("PC1", "a.kit", {"abc"});
  d.insert(d.size() - std::string("</Design>").size(), "<FileName>../escape.xme</FileName>");
  Load(d);
  EXPECT_FALSE(edi_.Orders.SaveOrders());
  EXPECT_FALSE(fs::exists(module_.path("escape.xme")));
  Load();
  EXPECT_EQ(SpoolFiles().size(), 1u);
  EXPECT_EQ(Texts("//Design/FileName"), SpoolFiles());
}

// The order-safety paths of replacing a design: the old copy goes only once the new one is
// stored, and a replacement a crash interrupted is completed by the next load.
TEST_F(OrderStackTest, ReplacementNeverLosesOrDoublesTheDesign) {
  Load(Design("PC1", "same.kit", {"abc"}, "old"));
  const auto old_files = SpoolFiles();
  ASSERT_EQ(old_files.size(), 1u);
  {
    testing::FailingWritesEnv full;
    testing::ScopedEnv scoped(&full);
    dialogs_.msgbox_answers = {MsgResult::Yes};
    Load(Design("PC1", "same.kit", {"abc"}, "new"));
  }
  EXPECT_EQ(edi_.Orders.StoreFailures, 1);
  EXPECT_EQ(SpoolFiles(), old_files) << "the stacked copy went although the new one failed";

  // The new copy names the one it replaces; stored whole but not yet followed by the
  // deletion (a crash in between), both are on disk: the next load keeps only the new one.
  std::string replaced = Design("PC1", "same.kit", {"abc"}, "new");
  replaced.insert(replaced.size() - std::string("</Design>").size(),
                  "<REPLACEDFILE>" + old_files[0] + "</REPLACEDFILE>");
  ASSERT_FALSE(StoreDesignFile(spool(), "0NEWCOPY.xme", replaced));
  Load();
  EXPECT_EQ(SpoolFiles(), (std::vector<std::string>{"0NEWCOPY.xme"}));
  EXPECT_EQ(Texts("//Design/JobInfo/Header/Number"), (std::vector<std::string>{"new"}));
  EXPECT_EQ(Texts("//ORDERGROUP/ID").size(), 1u);
}

TEST_F(OrderStackTest, SpoolWatchSeesDesignsAddedAndRemovedByOthers) {
  Load(Design("PC1", "a.kit", {"abc"}));
  Load(Design("PC1", "b.kit", {"abc"}));
  EXPECT_FALSE(edi_.Orders.IsSpoolerChanged());
  const auto files = SpoolFiles();
  fs::remove(spool() + "/" + files[0]);
  EXPECT_TRUE(edi_.Orders.IsSpoolerChanged());
  Load();
  // One removed and another added: the same count, still a change.
  fs::remove(spool() + "/" + files[1]);
  ASSERT_FALSE(StoreDesignFile(spool(), "0OTHER.xme", Design("PC9", "c.kit", {"abc"})));
  EXPECT_TRUE(edi_.Orders.IsSpoolerChanged());
}

TEST_F(OrderStackTest, EmptyArchiveFolderKeepsTheDesignStacked) {
  std::string settings = Settings(module_.dir(), {{"1", "ABC", "1"}});
  settings.replace(settings.find("<ARCHIVEPATH>"),
                   settings.find("</ARCHIVEPATH>") - settings.find("<ARCHIVEPATH>"),
                   "<ARCHIVEPATH>");
  WriteFileOrDie(SettingsPath(), settings);
  edi_.Settings.FillSettings();
  Load(Design("PC1", "a.kit", {"nobody"}));
  ASSERT_EQ(SpoolFiles().size(), 1u);
  const Err err = edi_.Orders.SaveOrders();
  EXPECT_TRUE(err);
  EXPECT_NE(err.Description.find("ARCHIVEPATH"), std::string::npos) << err.Description;
  EXPECT_EQ(SpoolFiles().size(), 1u);
  EXPECT_TRUE(ListXmeFiles(fs::current_path().string()).empty());
}

// Designs handed in with a sort order are sorted before they are stacked, and none is lost.
TEST_F(OrderStackTest, SortedInputKeepsEveryDesign) {
  Configure({{"1", "ABC", "1"}}, "<SORTORDER>BWT</SORTORDER>");
  std::string design = Design("PC1", "a.kit", {"abc"});
  const std::string items =
      "<Item><Code>T1</Code><SubType>2</SubType><SortOrder>9</SortOrder></Item>"
      "<Item><Code>B1</Code><SubType>0</SubType><SortOrder>9</SortOrder></Item>"
      "<Item><Code>W1</Code><SubType>1</SubType><SortOrder>9</SortOrder></Item>";
  design.replace(design.find("<Item><Number>1</Number></Item>"),
                 std::string("<Item><Number>1</Number></Item>").size(), items);
  std::string second = design;
  second.replace(second.find("a.kit"), 5, "b.kit");
  // The design application hands several designs in a Project.
  Load("<Project>" + design + second + "</Project>");
  EXPECT_EQ(SpoolFiles().size(), 2u);
  EXPECT_EQ(Texts("//Design[JobInfo/FileName='a.kit']//Item/Code"),
            (std::vector<std::string>{"B1", "W1", "T1"}));
  EXPECT_EQ(Texts("//Design[JobInfo/FileName='b.kit']//Item/Code").size(), 3u);
}

// Inputs beyond the limits are refused with the reason; a stacked file beyond them is set
// aside under another name (never deleted) and the rest of the stack still loads.
TEST_F(OrderStackTest, HugeInputsAreRefusedAndHugeStackFilesSetAside) {
  Load(Design("PC1", "a.kit", {"abc"}));
  std::string many = "<Designs>";
  for (std::size_t i = 0; i <= kMaxDesignsPerInput; ++i) {
    many += Design("PC2", "m" + std::to_string(i) + ".kit", {"abc"});
  }
  dialogs_.shown.clear();
  Load(many + "</Designs>");
  EXPECT_EQ(SpoolFiles().size(), 1u);
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find(std::to_string(kMaxDesignsPerInput)), std::string::npos)
      << dialogs_.shown[0].text;

  // Bytes that do not compress, a little over the limit.
  std::string big(static_cast<std::size_t>(kMaxStackFileBytes) + 1024, '\0');
  uint32_t x = 12345;
  for (char& c : big) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  WriteFileOrDie(spool() + "/0BIG.xme", big);
  dialogs_.shown.clear();
  Load();
  EXPECT_EQ(Texts("//Design/JobInfo/FileName"), (std::vector<std::string>{"a.kit"}));
  EXPECT_FALSE(fs::exists(spool() + "/0BIG.xme"));
  EXPECT_EQ(fs::file_size(spool() + "/0BIG.xme.quarantine"), big.size());
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find("0BIG.xme.quarantine"), std::string::npos)
      << dialogs_.shown[0].text;
}

}  // namespace
}  // namespace larkedi
