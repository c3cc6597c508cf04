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

  std::string Text(const std::string& xpath) const {
    return GetNodeText(edi_.Orders.docOrders, xpath);
  }
  long GroupId(const std::string& xpath) const { return std::stol(Text(xpath + "/ID")); }

  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  frmEDI edi_;
};

TEST_F(OrderStackTest, LoadsStoreEncipheredDesignsAndRenumberOnEveryLoad) {
  module_.EnableLogging();  // the diagnostic dump in the spool folder is no change by others
  EXPECT_FALSE(Load("<?xml version=\"1.0\"?>\r\n<Designs>\r\n" + Design("PC1", "a.kit", {"abc"}) +
                    Design("PC1", "b.kit", {"ABC", "def"}) + "</Designs>"));
  ASSERT_EQ(SpoolFiles().size(), 2u);
  EXPECT_TRUE(Module().StartupInput.empty());
  for (const auto& name : SpoolFiles()) {
    EXPECT_EQ(ReadFileOrEmpty(fs::path(spool()) / name).rfind("PK", 0), 0u) << name;
    std::string plain;
    ASSERT_FALSE(DecipherFile(JoinPath(spool(), name), &plain));
    xml::Document d;
    ASSERT_TRUE(d.loadXML(plain));
    // The stored copy carries the new identity but not the load's numbering.
    EXPECT_EQ(GetNodeText(d, "Design/JobInfo/Header/GlobalID") + ".xme", name);
    EXPECT_FALSE(NodeExists("Design/Catalog/ID", d));
  }
  auto names = Texts("/Orders/Design/FileName");
  EXPECT_FALSE(Load());
  EXPECT_EQ(Texts("/Orders/Design/ID"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Texts("//Catalog/ID"), (std::vector<std::string>{"1", "2", "3"}));
  names.push_back("orders.xml");
  EXPECT_EQ(edi_.Orders.LoadedSpoolFiles, std::set<std::string>(names.begin(), names.end()));
  EXPECT_FALSE(edi_.Orders.IsSpoolerChanged());
}

TEST_F(OrderStackTest, CatalogCodesMatchWithoutCaseAndUnknownOnesAreRegisteredOnce) {
  const std::string odd = "O'Neil \"Best\" Crème";
  EXPECT_TRUE(Load(Design("PC1", "a.kit", {"abc", "DEF", "zed", odd})));
  EXPECT_EQ(edi_.Orders.RegisteredCatalogs, (std::vector<std::string>{"zed", odd}));
  xml::Document saved;
  ASSERT_TRUE(saved.load(SettingsPath()));
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/CATALOG[CODE='zed']/PARTNERID"), "-1");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/CATALOG[ID='9']/CODE"), odd);
  // Partner 1 is listed first, so its group comes first; the unknown codes are in no group.
  EXPECT_EQ(Texts("//ORDERGROUP/PARTNERID"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Texts("//ORDERGROUP/CATALOGID"), (std::vector<std::string>{"1", "2"}));
  EXPECT_EQ(Text("//ORDERGROUP[1]/PONUMBER"), "PO-7");
  EXPECT_EQ(Text("//ORDERGROUP[1]/CONTACTNAME"), "Dana Designer");
  EXPECT_EQ(Text("//Design/File[Type='Kit']/Name"), "a.kit");  // partner 2 wants the kit

  // A reload reads the stored letters back and does not register the same codes again.
  edi_.Settings.FillSettings();
  EXPECT_FALSE(Load());
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

TEST_F(OrderStackTest, ReplaceQuestionDecidesWhetherTheStackedCopyStays) {
  Load(Design("PC1", "same.kit", {"abc"}, "old"));
  Load(Design("PC2", "same.kit", {"abc"}, "other computer"));
  dialogs_.msgbox_answers = {MsgResult::No};
  Load(Design("PC1", "same.kit", {"abc"}, "kept both"));
  EXPECT_EQ(SpoolFiles().size(), 3u);
  // Two stacked copies from PC1 now: one question each, Yes leaves only the new design.
  dialogs_.shown.clear();
  dialogs_.msgbox_answers = {MsgResult::Yes, MsgResult::Yes};
  Load(Design("PC1", "same.kit", {"abc"}, "newest"));
  EXPECT_EQ(dialogs_.CountShown("PC1_same.kit"), 2);
  EXPECT_EQ(SpoolFiles().size(), 2u);
  EXPECT_EQ(Texts("//Design[JobInfo/Header/ComputerName='PC1']/JobInfo/Header/Number"),
            (std::vector<std::string>{"newest"}));
}

TEST_F(OrderStackTest, EditsSurviveReloadAndGroupsFollowReassignment) {
  Load(Design("PC1", "a.kit", {"abc", "def"}));
  const std::string file = Text("//Design/FileName");
  ASSERT_FALSE(edi_.Orders.SetGroupField(edi_.Orders.FindGroup(file + ":1"),
                                         OrderStack::GroupField::PONumber, "EDITED-1"));
  ASSERT_FALSE(edi_.Orders.SetGroupField(edi_.Orders.FindGroup(file + ":2"),
                                         OrderStack::GroupField::SendIt, "0"));
  EXPECT_FALSE(edi_.Orders.SaveOrders());
  Load();
  EXPECT_EQ(Text("//ORDERGROUP[PARTNERID='1']/PONUMBER"), "EDITED-1");
  EXPECT_EQ(Text("//ORDERGROUP[PARTNERID='2']/SENDIT"), "0");
  // ABC moves to partner 2: partner 1 loses its group, partner 2 gets both catalogs.
  edi_.Settings.docSettings.selectSingleNode("SETTINGS/CATALOG[CODE='ABC']/PARTNERID").setText("2");
  Load();
  EXPECT_EQ(Texts("//ORDERGROUP/PARTNERID"), (std::vector<std::string>{"2"}));
  EXPECT_EQ(Texts("//ORDERGROUP/CATALOGID"), (std::vector<std::string>{"1", "2"}));
}

// A design left without orders is archived by the save (packed into the yearly archive,
// whose contents the archive folder tests check); other archive files stay.
TEST_F(OrderStackTest, DesignsWithoutOrdersAreArchived) {
  Load(Design("PC1", "a.kit", {"nobody"}));
  Load(Design("PC1", "b.kit", {"abc"}));
  WriteFileOrDie(archive() + "/LastPo.xml", "<PO/>");
  EXPECT_FALSE(edi_.Orders.SaveOrders());
  ASSERT_EQ(SpoolFiles().size(), 1u);
  dialogs_.msgbox_answers = {MsgResult::Yes};
  ASSERT_TRUE(Remove(GroupId("//ORDERGROUP")));
  EXPECT_TRUE(SpoolFiles().empty());
  EXPECT_TRUE(ListXmeFiles(archive()).empty());
  int zips = 0;
  for (const auto& e : fs::directory_iterator(archive())) {
    zips += e.path().filename().string().rfind("archive_", 0) == 0;
  }
  EXPECT_EQ(zips, 1);
  EXPECT_EQ(ReadFileOrEmpty(archive() + "/LastPo.xml"), "<PO/>");
}

TEST_F(OrderStackTest, RemovingOneOfTwoGroupsKeepsTheDesignWithTheOther) {
  Load(Design("PC1", "a.kit", {"abc", "def"}));
  const long id = GroupId("//ORDERGROUP[PARTNERID='1']");
  dialogs_.msgbox_answers = {MsgResult::No};
  EXPECT_FALSE(Remove(id));
  EXPECT_EQ(Texts("//ORDERGROUP").size(), 2u);
  dialogs_.msgbox_answers = {MsgResult::Yes};
  EXPECT_TRUE(Remove(id));
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
  EXPECT_TRUE(Texts("//ORDERGROUP").empty());
  EXPECT_FALSE(edi_.Orders.SaveOrders());
  EXPECT_TRUE(SpoolFiles().empty());
}

TEST_F(OrderStackTest, BadInputLosesNothingAlreadyStacked) {
  Load(Design("PC1", "a.kit", {"abc"}));
  const auto stacked = SpoolFiles();
  EXPECT_FALSE(Load("<Design><JobInfo>"));
  EXPECT_EQ(dialogs_.CountShown(Res("MSG ErrorLoadingXMLFromCallingApp")), 1);
  EXPECT_EQ(SpoolFiles(), stacked);
  EXPECT_EQ(Texts("//Design").size(), 1u);

  // A file that does not decipher is named in the error box; another root is skipped quietly.
  WriteFileOrDie(spool() + "/0BROKEN.xme", "<Design>plain</Design>");
  WriteFileOrDie(spool() + "/1OTHER.xme", "<Other/>");
  EncipherFile(spool() + "/1OTHER.xme");
  dialogs_.shown.clear();
  Load();
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find("0BROKEN.xme"), std::string::npos);
  EXPECT_EQ(dialogs_.shown[0].text.find("1OTHER.xme"), std::string::npos);
  EXPECT_EQ(Texts("//Design").size(), 1u);
  EXPECT_EQ(SpoolFiles().size(), 3u);
}

// A missing spool folder is made; a file in its place or another system's path refuses the
// design with the reason, stores it nowhere else and leaves the input with the caller.
TEST_F(OrderStackTest, DesignsAreStoredOnlyInTheConfiguredSpoolFolder) {
  WriteFileOrDie(module_.path("blocked"), "not a folder");
  for (const std::string& folder :
       {module_.dir() + "/later", module_.path("blocked"), std::string("C:\\EDI\\Send")}) {
    SCOPED_TRACE(folder);
    std::string settings = Settings(module_.dir(), {{"1", "ABC", "1"}});
    settings.replace(settings.find(spool()), spool().size(), folder);
    WriteFileOrDie(SettingsPath(), settings);
    edi_.Settings.FillSettings();
    std::string input = Design("PC2", "b.kit", {"abc"});
    edi_.Orders.LoadOrders(false, input);
    const bool usable = folder == module_.dir() + "/later";
    EXPECT_EQ(ListXmeFiles(folder).size(), usable ? 1u : 0u);
    EXPECT_EQ(static_cast<bool>(edi_.Orders.LoadStatus), !usable);
    if (usable) continue;
    EXPECT_NE(edi_.Orders.LoadStatus.Description.find(folder), std::string::npos);
    EXPECT_FALSE(input.empty());
    EXPECT_TRUE(SpoolFiles().empty());
  }
}

TEST_F(OrderStackTest, ADesignCannotRedirectItsOwnFile) {
  std::string d = Design("PC1", "a.kit", {"abc"});
  d.insert(d.size() - std::string("</Design>").size(), "<FileName>../escape.xme</FileName>");
  Load(d);
  EXPECT_FALSE(edi_.Orders.SaveOrders());
  EXPECT_FALSE(fs::exists(module_.path("escape.xme")));
  Load();
  EXPECT_EQ(Texts("//Design/FileName"), SpoolFiles());
}

// The old copy goes only once the new one is stored, and a replacement a crash interrupted
// is completed by the next load.
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

  std::string replaced = Design("PC1", "same.kit", {"abc"}, "new");
  replaced.insert(replaced.size() - std::string("</Design>").size(),
                  "<REPLACEDFILE>" + old_files[0] + "</REPLACEDFILE>");
  ASSERT_FALSE(StoreDesignFile(spool(), "0NEWCOPY.xme", replaced));
  Load();
  EXPECT_EQ(SpoolFiles(), (std::vector<std::string>{"0NEWCOPY.xme"}));
  EXPECT_EQ(Texts("//Design/JobInfo/Header/Number"), (std::vector<std::string>{"new"}));
}

TEST_F(OrderStackTest, SpoolWatchSeesDesignsAddedAndRemovedByOthers) {
  Load(Design("PC1", "a.kit", {"abc"}));
  Load(Design("PC1", "b.kit", {"abc"}));
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
  settings.replace(settings.find(archive()), archive().size(), "");
  WriteFileOrDie(SettingsPath(), settings);
  edi_.Settings.FillSettings();
  Load(Design("PC1", "a.kit", {"nobody"}));
  const Err err = edi_.Orders.SaveOrders();
  EXPECT_NE(err.Description.find("ARCHIVEPATH"), std::string::npos) << err.Description;
  EXPECT_EQ(SpoolFiles().size(), 1u);
  EXPECT_TRUE(ListXmeFiles(fs::current_path().string()).empty());
}

// Designs handed in with a sort order are sorted before they are stacked, and none is lost.
TEST_F(OrderStackTest, SortedInputKeepsEveryDesign) {
  Configure({{"1", "ABC", "1"}}, "<SORTORDER>BWT</SORTORDER>");
  std::string design = Design("PC1", "a.kit", {"abc"});
  const std::string one = "<Item><Number>1</Number></Item>";
  design.replace(design.find(one), one.size(),
                 "<Item><Code>T1</Code><SubType>2</SubType><SortOrder>9</SortOrder></Item>"
                 "<Item><Code>B1</Code><SubType>0</SubType><SortOrder>9</SortOrder></Item>"
                 "<Item><Code>W1</Code><SubType>1</SubType><SortOrder>9</SortOrder></Item>");
  std::string second = design;
  second.replace(second.find("a.kit"), 5, "b.kit");
  Load("<Project>" + design + second + "</Project>");
  EXPECT_EQ(SpoolFiles().size(), 2u);
  EXPECT_EQ(Texts("//Design[JobInfo/FileName='a.kit']//Item/Code"),
            (std::vector<std::string>{"B1", "W1", "T1"}));
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
  EXPECT_EQ(fs::file_size(spool() + "/0BIG.xme.quarantine"), big.size());
  ASSERT_EQ(dialogs_.shown.size(), 1u);
  EXPECT_NE(dialogs_.shown[0].text.find("0BIG.xme.quarantine"), std::string::npos);
}

}  // namespace
}  // namespace larkedi
