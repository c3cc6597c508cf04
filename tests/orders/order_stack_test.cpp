// The order stack: loading designs, order groups, saving, removing and archiving.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "host/frm_edi.h"
#include "orders/orders_fixture.h"
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
constexpr const char* kCreme =
    "Cr\xC3\xA8me br\xC3\xBBl\xC3\xA9"
    "e";  // in UTF-8

std::string Latin1(const std::string& utf8) {  // two-byte sequences only (U+0080..U+00FF)
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    out +=
        c < 0x80 ? static_cast<char>(c) : static_cast<char>(((c & 0x03) << 6) | (utf8[++i] & 0x3F));
  }
  return out;
}

// UTF-16LE of a text whose characters all lie below U+0100, with the byte order mark.
std::string Utf16(const std::string& utf8) {
  std::string out = "\xFF\xFE";
  for (char c : Latin1(utf8)) out += std::string{c, '\0'};
  return out;
}

// A design whose item reads `text`, in a root with `root_attributes`.
std::string Input(const std::string& text, const std::string& root_attributes = "",
                  const std::string& extra = "") {
  return "<Designs" + root_attributes + ">" +
         testing::DesignXml("a.kit", {"ABC"}, "N1", "PC",
                            "<Item><Text>" + text + "</Text></Item>" + extra) +
         "</Designs>";
}
using testing::DesignXml;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;
using Texts_ = std::vector<std::string>;

class OrderStackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::StubStandardStyleSheets(module_.path("html"));
    module_.Restart();
    Configure({{"1", "ABC", "1"}, {"2", "Def", "2"}, {"7", "SHARED", "1"}});
  }
  void Configure(const std::vector<testing::CatalogRow>& catalogs, const std::string& extra = "") {
    WriteFileOrDie(SettingsPath(), testing::StackSettings(module_.dir(), catalogs, extra));
    edi_.OpenHeadless();
  }
  // The default settings with `folder` in place of `from`, read again.
  void SetFolder(const std::string& from, const std::string& folder) {
    std::string s = testing::StackSettings(module_.dir(), {{"1", "ABC", "1"}});
    WriteFileOrDie(SettingsPath(), s.replace(s.find(from), from.size(), folder));
    edi_.Settings.FillSettings();
  }
  bool Load(std::string input = "") { return edi_.Orders.LoadOrders(false, input); }
  // Removes an order group as the page's remove link does; true when it was removed.
  bool Remove(long id) {
    bool removed = false;
    EXPECT_FALSE(edi_.Orders.RemoveOrder(id, removed));
    return removed;
  }
  std::string spool() const { return module_.path("Send"); }
  std::string archive() const { return module_.path("Archive"); }
  Texts_ SpoolFiles() const { return ListXmeFiles(spool()); }
  Texts_ Texts(const std::string& xpath) const {
    Texts_ out;
    for (xml::Node n : edi_.Orders.docOrders.selectNodes(xpath)) out.push_back(n.text());
    return out;
  }
  std::string Text(const std::string& xpath) const {
    return GetNodeText(edi_.Orders.docOrders, xpath);
  }
  long GroupId(const std::string& xpath) const { return std::stol(Text(xpath + "/ID")); }
  // Takes `input` in as the window does (with or without the start-up validation first);
  // false when it was refused.
  bool TakeIn(std::string input, bool startup) {
    int status = 0;
    if (startup && !edi_.Orders.TakeInStartupInput(input, status)) return false;
    Load(input);
    return !SpoolFiles().empty();
  }
  // The deciphered bytes of the single stacked design.
  std::string Deciphered() const {
    const auto files = SpoolFiles();
    std::string text;
    EXPECT_EQ(files.size(), 1u);
    if (files.size() == 1) {
      EXPECT_FALSE(DecipherFile(spool() + "/" + files[0], &text));
    }
    return text;
  }

  testing::TempModule module_;
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
  frmEDI edi_;
};

TEST_F(OrderStackTest, LoadsStoreEncipheredDesignsAndRenumberOnEveryLoad) {
  module_.EnableLogging();  // the diagnostic dump in the spool folder is no change by others
  EXPECT_FALSE(Load("<?xml version=\"1.0\"?>\r\n<Designs>\r\n" + DesignXml("a.kit", {"abc"}) +
                    DesignXml("b.kit", {"ABC", "def"}) + "</Designs>"));
  ASSERT_EQ(SpoolFiles().size(), 2u);
  EXPECT_TRUE(Module().StartupInput.empty());
  for (const auto& name : SpoolFiles()) {
    std::string plain;
    ASSERT_FALSE(DecipherFile(JoinPath(spool(), name), &plain));
    xml::Document d;
    ASSERT_TRUE(d.loadXML(plain));
    // The stored copy carries the new identity but not the load's numbering.
    EXPECT_EQ(GetNodeText(d, "Design/JobInfo/Header/GlobalID") + ".xme", name);
    EXPECT_FALSE(NodeExists("Design/Catalog/ID", d));
  }
  EXPECT_FALSE(Load());
  EXPECT_EQ(Texts("/Orders/Design/ID"), (Texts_{"1", "2"}));
  EXPECT_EQ(Texts("//Catalog/ID"), (Texts_{"1", "2", "3"}));
  EXPECT_FALSE(edi_.Orders.IsSpoolerChanged());
}

TEST_F(OrderStackTest, CatalogCodesMatchWithoutCaseAndUnknownOnesAreRegisteredOnce) {
  const std::string odd = "O'Neil \"Best\" Crème";
  EXPECT_TRUE(Load(DesignXml("a.kit", {"abc", "DEF", "zed", odd})));
  EXPECT_EQ(edi_.Orders.RegisteredCatalogs, (Texts_{"zed", odd}));
  xml::Document saved;
  ASSERT_TRUE(saved.load(SettingsPath()));
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/CATALOG[CODE='zed']/PARTNERID"), "-1");
  EXPECT_EQ(GetNodeText(saved, "SETTINGS/CATALOG[ID='9']/CODE"), odd);
  // Partner 1 is listed first, so its group comes first; the unknown codes are in no group.
  EXPECT_EQ(Texts("//ORDERGROUP/PARTNERID"), (Texts_{"1", "2"}));
  EXPECT_EQ(Texts("//ORDERGROUP/CATALOGID"), (Texts_{"1", "2"}));
  EXPECT_EQ(Text("//Design/File[Type='Kit']/Name"), "a.kit");  // partner 2 wants the kit

  // A reload reads the stored letters back and does not register the same codes again.
  edi_.Settings.FillSettings();
  EXPECT_FALSE(Load());
  EXPECT_EQ(Texts("//Catalog/Identification/Name"), (Texts_{"abc", "DEF", "zed", odd}));
  EXPECT_EQ(edi_.Settings.docSettings.selectNodes("SETTINGS/CATALOG").length(), 5);
}

TEST_F(OrderStackTest, PartnerIdsCompareAsNumbersAndTwinOrdersRepeatTheCatalog) {
  Configure({{"1", "ABC", "01"}, {"2", "abc", "1.0"}},
            "<ALLOWTWINORDERS>1</ALLOWTWINORDERS><RFQMODE>1</RFQMODE>");
  Load(DesignXml("a.kit", {"Abc"}));
  EXPECT_EQ(Texts("//ORDERGROUP[PARTNERID='1']/CATALOGID"), (Texts_{"1", "1"}));
  EXPECT_EQ(Texts("//ORDERGROUP/ID"), (Texts_{"2"}));
  EXPECT_EQ(Texts("//ORDERGROUP/RFQ"), (Texts_{"0"}));
}

// The replace question decides whether the stacked copy stays; the old copy goes only once
// the new one is stored; files others add or remove are seen.
TEST_F(OrderStackTest, ReplacementNeverLosesOrDoublesTheDesign) {
  Load(DesignXml("same.kit", {"abc"}, "old", "PC1"));
  Load(DesignXml("same.kit", {"abc"}, "other computer", "PC2"));
  dialogs_.msgbox_answers = {MsgResult::No};
  Load(DesignXml("same.kit", {"abc"}, "kept both", "PC1"));
  EXPECT_EQ(SpoolFiles().size(), 3u);
  // Two stacked copies from PC1 now: one question each, Yes leaves only the new design.
  dialogs_.shown.clear();
  dialogs_.msgbox_answers = {MsgResult::Yes, MsgResult::Yes};
  Load(DesignXml("same.kit", {"abc"}, "newest", "PC1"));
  EXPECT_EQ(dialogs_.CountShown("PC1_same.kit"), 2);
  EXPECT_EQ(SpoolFiles().size(), 2u);
  const std::string pc1 = "//Design[JobInfo/Header/ComputerName='PC1']";
  EXPECT_EQ(Texts(pc1 + "/JobInfo/Header/Number"), (Texts_{"newest"}));

  const auto before = SpoolFiles();
  {
    testing::FailingWritesEnv full;
    testing::ScopedEnv scoped(&full);
    dialogs_.msgbox_answers = {MsgResult::Yes};
    Load(DesignXml("same.kit", {"abc"}, "lost", "PC1"));
  }
  EXPECT_EQ(edi_.Orders.StoreFailures, 1);
  EXPECT_EQ(SpoolFiles(), before) << "the stacked copy went although the new one failed";

  // One removed and another added by others: the same count, still a change.
  Load();
  fs::remove(spool() + "/" + before[0]);
  ASSERT_FALSE(StoreDesignFile(spool(), "1OTHER.xme", DesignXml("c.kit", {"abc"})));
  EXPECT_TRUE(edi_.Orders.IsSpoolerChanged());
}

// Edits survive a reload, groups follow a reassigned catalog, a removal keeps the design with
// its other group (the question before it is checked with the window), and a design left without
// orders is archived by the save (packed into the yearly archive, whose contents the archive folder
// tests check).
TEST_F(OrderStackTest, EditsRemovalsAndArchivingThroughReloads) {
  std::string d = DesignXml("a.kit", {"abc", "def"});
  d.insert(d.size() - 9, "<FileName>../escape.xme</FileName>");  // cannot redirect its file
  Load(d);
  const std::string file = Text("//Design/FileName");
  ASSERT_FALSE(edi_.Orders.SetGroupField(edi_.Orders.FindGroup(file + ":1"),
                                         OrderStack::GroupField::PONumber, "EDITED-1"));
  EXPECT_FALSE(edi_.Orders.SaveOrders());
  EXPECT_FALSE(fs::exists(module_.path("escape.xme")));
  Load();
  EXPECT_EQ(Texts("//Design/FileName"), SpoolFiles());
  EXPECT_EQ(Text("//ORDERGROUP[PARTNERID='1']/PONUMBER"), "EDITED-1");
  // ABC moves to partner 2: partner 1 loses its group, partner 2 gets both catalogs.
  edi_.Settings.docSettings.selectSingleNode("SETTINGS/CATALOG[CODE='ABC']/PARTNERID").setText("2");
  Load();
  EXPECT_EQ(Texts("//ORDERGROUP/PARTNERID"), (Texts_{"2"}));
  EXPECT_EQ(Texts("//ORDERGROUP/CATALOGID"), (Texts_{"1", "2"}));

  edi_.Settings.FillSettings();
  Load();
  const long id = GroupId("//ORDERGROUP[PARTNERID='1']");
  dialogs_.msgbox_answers = {MsgResult::Yes};
  EXPECT_TRUE(Remove(id));
  Load();
  EXPECT_EQ(Texts("//ORDERGROUP/PARTNERID"), (Texts_{"2"}));
  EXPECT_EQ(Texts("//Catalog/Identification/Name"), (Texts_{"def"}));

  Load(DesignXml("b.kit", {"nobody"}));
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

TEST_F(OrderStackTest, CatalogSharedBySentGroupsSurvivesTheFirstRemoval) {
  Configure({{"1", "ABC", "1"}, {"2", "abc", "2"}, {"3", "DEF", "1"}});
  Load(DesignXml("a.kit", {"abc", "def"}));
  xml::NodeList sending = edi_.Orders.docOrders.selectNodes("Orders/Design/ORDERGROUP[SENDIT='1']");
  ASSERT_EQ(sending.length(), 2);
  edi_.Orders.RemoveSentOrder(sending.item(0), sending);
  // abc is still listed by partner 2's group; def went with partner 1's.
  EXPECT_EQ(Texts("//Catalog/Identification/Name"), (Texts_{"abc"}));
  edi_.Orders.RemoveSentOrder(sending.item(1), sending);
  EXPECT_TRUE(Texts("//ORDERGROUP").empty());
  EXPECT_FALSE(edi_.Orders.SaveOrders());
  EXPECT_TRUE(SpoolFiles().empty());
}

// Bad and oversized inputs are refused with the reason and lose nothing already stacked; a
// stacked file that does not decipher is named, one beyond the size limit is set aside under
// another name (never deleted), and the rest of the stack still loads.
TEST_F(OrderStackTest, BadAndHugeInputsLoseNothingStacked) {
  Load(DesignXml("a.kit", {"abc"}));
  const auto stacked = SpoolFiles();
  EXPECT_FALSE(Load("<Design><JobInfo>"));
  EXPECT_EQ(dialogs_.CountShown(Res("MSG ErrorLoadingXMLFromCallingApp")), 1);
  std::string many = "<Designs>";
  for (std::size_t i = 0; i <= kMaxDesignsPerInput; ++i) {
    many += DesignXml("m" + std::to_string(i) + ".kit", {"abc"});
  }
  Load(many + "</Designs>");
  EXPECT_EQ(dialogs_.CountShown(std::to_string(kMaxDesignsPerInput)), 1);
  EXPECT_EQ(SpoolFiles(), stacked);

  // Another root is skipped quietly; bytes that do not compress, a little over the limit.
  WriteFileOrDie(spool() + "/0BROKEN.xme", "<Design>plain</Design>");
  WriteFileOrDie(spool() + "/1OTHER.xme", "<Other/>");
  EncipherFile(spool() + "/1OTHER.xme");
  std::string big(static_cast<std::size_t>(kMaxStackFileBytes) + 1024, '\0');
  uint32_t x = 12345;
  for (char& c : big) c = static_cast<char>((x = x * 1103515245u + 12345u) >> 24);
  WriteFileOrDie(spool() + "/0BIG.xme", big);
  dialogs_.shown.clear();
  Load();
  EXPECT_EQ(dialogs_.CountShown("0BROKEN.xme"), 1);
  EXPECT_EQ(dialogs_.CountShown("1OTHER.xme"), 0);
  EXPECT_EQ(dialogs_.CountShown("0BIG.xme.quarantine"), 1);
  EXPECT_EQ(Texts("//Design/JobInfo/FileName"), (Texts_{"a.kit"}));
  EXPECT_EQ(fs::file_size(spool() + "/0BIG.xme.quarantine"), big.size());
  EXPECT_EQ(SpoolFiles().size(), 3u);
}

// A missing spool folder is made; a file in its place or another system's path refuses the
// design with the reason, stores it nowhere else and leaves the input with the caller. With
// no archive folder a design without orders stays stacked.
TEST_F(OrderStackTest, DesignsAreStoredOnlyInTheConfiguredFolders) {
  WriteFileOrDie(module_.path("blocked"), "not a folder");
  for (const std::string& folder :
       {module_.dir() + "/later", module_.path("blocked"), std::string("C:\\EDI\\Send")}) {
    SCOPED_TRACE(folder);
    SetFolder(spool(), folder);
    std::string input = DesignXml("b.kit", {"abc"});
    edi_.Orders.LoadOrders(false, input);
    const bool usable = folder == module_.dir() + "/later";
    EXPECT_EQ(ListXmeFiles(folder).size(), usable ? 1u : 0u);
    EXPECT_EQ(static_cast<bool>(edi_.Orders.LoadStatus), !usable);
    if (usable) continue;
    EXPECT_NE(edi_.Orders.LoadStatus.Description.find(folder), std::string::npos);
    EXPECT_FALSE(input.empty());
    EXPECT_TRUE(SpoolFiles().empty());
  }
  SetFolder(archive(), "");
  Load(DesignXml("a.kit", {"nobody"}));
  const Err err = edi_.Orders.SaveOrders();
  EXPECT_NE(err.Description.find("ARCHIVEPATH"), std::string::npos) << err.Description;
  EXPECT_EQ(SpoolFiles().size(), 1u);
  EXPECT_TRUE(ListXmeFiles(fs::current_path().string()).empty());
}

// Designs handed in with a sort order are sorted before they are stacked, and none is lost.
TEST_F(OrderStackTest, SortedInputKeepsEveryDesign) {
  Configure({{"1", "ABC", "1"}}, "<SORTORDER>BWT</SORTORDER>");
  std::string items;
  for (const char* c : {"T12", "B10", "W11"}) {
    items += std::string("<Item><Code>") + c[0] + c[1] + "</Code><SubType>" + c[2] +
             "</SubType><SortOrder>9</SortOrder></Item>";
  }
  Load("<Project>" + DesignXml("a.kit", {"abc"}, "1", "PC1", items) +
       DesignXml("b.kit", {"abc"}, "2", "PC1", items) + "</Project>");
  EXPECT_EQ(SpoolFiles().size(), 2u);
  EXPECT_EQ(Texts("//Design[JobInfo/FileName='a.kit']//Item/Code"), (Texts_{"B1", "W1", "T1"}));
}

// Both ways in decode the bytes once, as their declaration says (the other encodings and
// the commands are tested with the decoder and the command line); bytes that are not what
// the declaration says are refused with the reason and nothing is stored.
TEST_F(OrderStackTest, DeclaredEncodingsAreDecodedOnceOnBothWaysIn) {
  const std::string decl = "<?xml version=\"1.0\" encoding=\"";
  const std::pair<const char*, std::string> inputs[] = {
      {"ISO-8859-1", decl + "ISO-8859-1\"?>\r\n" + Latin1(Input(kCreme))},
      {"UTF-16 LE mark", Utf16(decl + "UTF-16\"?>" + Input(kCreme))},
      {"false UTF-8", decl + "UTF-8\"?>" + Latin1(Input(kCreme))},
  };
  for (const auto& [what, bytes] : inputs) {
    for (bool startup : {true, false}) {
      SCOPED_TRACE(std::string(what) + (startup ? " through start-up" : " loaded directly"));
      fs::remove_all(spool());
      Load();
      dialogs_.shown.clear();
      if (what[0] == 'f') {
        EXPECT_FALSE(TakeIn(bytes, startup));
        EXPECT_EQ(dialogs_.CountShown(Res("MSG ErrorLoadingXMLFromCallingApp")), 1);
        EXPECT_EQ(dialogs_.CountShown("not valid UTF-8"), 1);
        continue;
      }
      ASSERT_TRUE(TakeIn(bytes, startup));
      EXPECT_EQ(Text("//Design/Catalog/Item/Text"), kCreme);
      xml::Document stored;
      ASSERT_TRUE(stored.loadXML(DesignFileText(Deciphered())));
      EXPECT_EQ(GetNodeText(stored, "//Catalog/Item/Text"), kCreme);
    }
  }
}

// The namespaces the input's root declares stay declared on the stored design, whether its
// elements use them or not, through the load, a reload and an edit saved back.
TEST_F(OrderStackTest, NamespaceDeclarationsOfTheRootStayWithTheDesign) {
  const std::string note = "<x:Note x:kind=\"k\">said</x:Note>";
  ASSERT_TRUE(TakeIn(Input("plain", " xmlns:x=\"urn:x\" xmlns:q='urn:\"q\"'", note), true));
  // Stored, reloaded, edited and saved back, and reloaded again.
  Load();
  ASSERT_FALSE(edi_.Orders.SetGroupField(edi_.Orders.FindGroup("1"),
                                         OrderStack::GroupField::PONumber, "P9"));
  ASSERT_FALSE(edi_.Orders.SaveOrders());
  Load();
  EXPECT_EQ(Text("//ORDERGROUP/PONUMBER"), "P9");
  const std::string plain = DesignFileText(Deciphered());
  xml::Document stored;
  ASSERT_TRUE(stored.loadXML(plain));
  for (xml::Document* doc : {&stored, &edi_.Orders.docOrders}) {
    ASSERT_TRUE(doc->setSelectionNamespaces("xmlns:x='urn:x'"));
    EXPECT_EQ(GetNodeText(*doc, "//Catalog/x:Note[@x:kind='k']"), "said");
  }
  EXPECT_NE(plain.find("xmlns:q='urn:\"q\"'"), std::string::npos) << plain;
}

// The File elements of an order group as the stack keeps them; the window's attach and remove
// links, unknown orders and names with control characters are checked with the window.
TEST_F(OrderStackTest, AttachedFilesTypesAndNamesNoDocumentCanHold) {
  ASSERT_TRUE(edi_.Orders.docOrders.loadXML(
      "<Orders><Design><FileName>A.xme</FileName><ORDERGROUP><ID>3</ID></ORDERGROUP></Design>"
      "</Orders>"));
  edi_.Orders.bOrdersChanged = false;
  EXPECT_TRUE(edi_.Orders.AddAttachment(3, "/files/\xff\xfe.pdf"));  // not UTF-8
  EXPECT_TRUE(Texts("//File").empty());
  EXPECT_FALSE(edi_.Orders.bOrdersChanged);

  // The type is the last three characters (not bytes) of the name.
  for (const char* name : {"/files/Dessin.ÉTÉ", "ab"}) {
    ASSERT_FALSE(edi_.Orders.AddAttachment(3, name));
  }
  EXPECT_EQ(Texts("//ORDERGROUP[ID=3]/File/Type"), (Texts_{"ÉTÉ", "ab"}));
  EXPECT_EQ(Text("//ORDERGROUP[ID=3]/File[1]/Name"), "/files/Dessin.ÉTÉ");
  EXPECT_TRUE(edi_.Orders.bOrdersChanged);
  // A removal folds the letters the page lower-cases: A-Z and the Latin-1 capitals only.
  EXPECT_EQ(FoldAttachmentCase("/Ab/ÀÉÞ×ßΣ.PDF"), "/ab/àéþ×ßΣ.pdf");
}

// Packing an archive folder into its yearly archive: what is deleted, what stays, and what
// a failed archive write leaves.
TEST_F(OrderStackTest, ArchiveFolderPacksIntoTheYearsArchiveAndDeletesOnlyWhatWasPacked) {
  const std::string dir = archive();
  fs::create_directories(dir);
  for (const char* name : {"A.xme", "B.XME"}) {
    WriteFileOrDie(dir + "/" + name, std::string("<Design>") + name + "</Design>");
    ASSERT_FALSE(EncipherFile(dir + "/" + name));
  }
  WriteFileOrDie(dir + "/LastPo.xml", "<PO/>");
  // A link to a design elsewhere: archiving must neither pack nor delete what it points to.
  WriteFileOrDie(module_.path("outside.xme"), "keep me");
  fs::create_symlink(module_.path("outside.xme"), dir + "/link.xme");
  auto entries = [](const std::string& zip_path) {
    std::string error;
    auto zip = zip::Archive::Open(ReadFileOrEmpty(zip_path), &error);
    EXPECT_TRUE(zip) << error;
    Texts_ out;
    for (int i = 0; zip && i < zip->EntryCount(); ++i) out.push_back(zip->EntryName(i));
    std::sort(out.begin(), out.end());
    return out;
  };
  {
    testing::FailingWritesEnv full;
    testing::ScopedEnv scoped(&full);
    EXPECT_TRUE(ArchiveXmeFolder(dir, nullptr));
  }
  EXPECT_TRUE(fs::exists(dir + "/B.XME")) << "deleted although the archive was not written";

  // 2031-06-15, whatever today is. An archive that does not read as one is left alone, and
  // so are the designs.
  testing::FixedClockEnv clock(1939939200);
  testing::ScopedEnv scoped(&clock);
  const std::string zip_path = dir + "/archive_2031.zip";
  WriteFileOrDie(zip_path, "not a zip archive");
  EXPECT_TRUE(ArchiveXmeFolder(dir, nullptr));
  EXPECT_EQ(ReadFileOrEmpty(zip_path), "not a zip archive");
  EXPECT_TRUE(fs::exists(dir + "/A.xme"));

  fs::remove(zip_path);
  std::string written;
  ASSERT_FALSE(ArchiveXmeFolder(dir, &written));
  EXPECT_EQ(entries(zip_path), (Texts_{"A.xme", "B.XME"}));
  EXPECT_FALSE(fs::exists(dir + "/B.XME"));
  EXPECT_EQ(ReadFileOrEmpty(dir + "/LastPo.xml"), "<PO/>");
  EXPECT_TRUE(fs::is_symlink(dir + "/link.xme"));
  EXPECT_EQ(ReadFileOrEmpty(module_.path("outside.xme")), "keep me");

  // A later design of the same year joins the same archive; entries already there stay.
  WriteFileOrDie(dir + "/C.xme", "<Design>C</Design>");
  ASSERT_FALSE(ArchiveXmeFolder(dir, &written));
  EXPECT_EQ(entries(zip_path), (Texts_{"A.xme", "B.XME", "C.xme"}));
}

}  // namespace
}  // namespace larkedi
