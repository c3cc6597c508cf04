// The password and dealer dialogs (scripted and on a console without a terminal), and
// where a password must never end up: the log, lastPO.xml, any file of the module.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <thread>

#include "host/frm_edi.h"
#include "platform/automation/automation.h"
#include "sending/credential_dialogs.h"
#include "sending/last_po.h"
#include "sending/send_pipeline.h"
#include "support/resx.h"
#include "support/utility.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

namespace fs = std::filesystem;
using automation::Variant;
using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

TEST(CredentialDialogsTest, PasswordDialogReturnsWhatWasTypedOrNothingOnCancel) {
  testing::TempModule module;
  module.Restart();
  ScriptedDialogs dialogs;
  ScopedDialogs scoped(&dialogs);
  dialogs.credential_answers = {{false, "", ""}, {true, "", ""}, {false, "", "  pw  "}};

  frmPassword empty;
  EXPECT_EQ(empty.GetPassword(), "");
  EXPECT_FALSE(empty.Cancelled);
  frmPassword cancelled;
  EXPECT_EQ(cancelled.GetPassword(), "");
  EXPECT_TRUE(cancelled.Cancelled);
  frmPassword blanks;
  blanks.lblPrompt = "Password for <Acme>";
  EXPECT_EQ(blanks.GetPassword(), "  pw  ");
  EXPECT_FALSE(blanks.Cancelled);

  ASSERT_EQ(dialogs.credentials_asked.size(), 3u);
  EXPECT_EQ(dialogs.credentials_asked[0].prompt, Res("OST PleaseEnterPassword"));
  EXPECT_EQ(dialogs.credentials_asked[2].prompt, "Password for <Acme>");
  EXPECT_EQ(dialogs.credentials_asked[0].title, Res("LBL Password"));
}

TEST(CredentialDialogsTest, DealerDialogKeepsItsEmailOnCancelAndOpensTheServiceFromItsLink) {
  testing::TempModule module;
  module.Restart();
  ScriptedDialogs dialogs;
  ScopedDialogs scoped(&dialogs);
  dialogs.credential_answers = {{true, "changed@example.com", "typed"}, {false, "", "pw"}};

  frmDealerID cancelled;
  cancelled.Email("dealer@example.com");
  cancelled.Partner("Acme");
  std::string email = "x", password = "y";
  cancelled.GetDealerInfo(email, password);
  EXPECT_TRUE(cancelled.Cancelled);
  EXPECT_EQ(email, "dealer@example.com");
  EXPECT_EQ(password, "");

  frmDealerID cleared;
  cleared.Email("dealer@example.com");
  cleared.GetDealerInfo(email, password);
  EXPECT_FALSE(cleared.Cancelled);
  EXPECT_EQ(email, "");
  EXPECT_EQ(password, "pw");

  ASSERT_EQ(dialogs.credentials_asked.size(), 2u);
  const CredentialsRequest& asked = dialogs.credentials_asked[0];
  EXPECT_EQ(asked.kind, CredentialsRequest::Kind::Dealer);
  EXPECT_EQ(asked.email, "dealer@example.com");
  EXPECT_EQ(asked.link_text, Res("LNK ClickHere"));
  EXPECT_EQ(asked.link_tip, Res("TIP LinkOrcanetHomePage"));

  // The link opens the service's home page in the associated program.
  const std::string dir = testing::MakeTempDir();
  const std::string out = dir + "/opened.txt";
  WriteFileOrDie(dir + "/opener", "#!/bin/sh\nprintf '%s\\n' \"$1\" > " + out + ".tmp && mv " +
                                      out + ".tmp " + out + "\n");
  ::chmod((dir + "/opener").c_str(), 0755);
  ::setenv("LARKEDI_OPENER", (dir + "/opener").c_str(), 1);
  ::setenv("LARKEDI_DEALER_SERVICE_URL", "https://home.example.invalid/?a=1&b=2", 1);
  // The dialog copied the address when it was shown; the link is clicked afterwards.
  frmDealerID linked;
  dialogs.credential_answers = {{true, "", ""}};
  linked.GetDealerInfo(email, password);
  ASSERT_TRUE(dialogs.credentials_asked.back().open_link);
  dialogs.credentials_asked.back().open_link();
  std::string opened;
  for (int i = 0; i < 100 && opened.empty(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    opened = ReadFileOrEmpty(out);
  }
  ::unsetenv("LARKEDI_OPENER");
  ::unsetenv("LARKEDI_DEALER_SERVICE_URL");
  EXPECT_EQ(opened, "https://home.example.invalid/?a=1&b=2\n");
  fs::remove_all(dir);
}

TEST(CredentialDialogsTest, WithoutATerminalTheConsoleNamesWhatItWouldHaveAsked) {
  const int saved = ::dup(STDIN_FILENO);
  const int null = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(null, 0);
  ::dup2(null, STDIN_FILENO);
  ConsoleDialogs console(ConsoleDialogs::Answer::Yes);
  CredentialsRequest password;
  password.prompt = "Password?";
  password.missing = "the password of partner ACM (--password ACM=PASSWORD)";
  CredentialsAnswer a = console.AskCredentials(password);
  CredentialsRequest dealer;
  dealer.kind = CredentialsRequest::Kind::Dealer;
  dealer.email = "kept@example.com";
  dealer.missing = "the dealer's account (--dealer EMAIL)";
  CredentialsAnswer b = console.AskCredentials(dealer);
  ::dup2(saved, STDIN_FILENO);
  ::close(saved);
  ::close(null);

  EXPECT_TRUE(a.cancelled);
  EXPECT_EQ(a.password, "");
  EXPECT_TRUE(b.cancelled);
  EXPECT_EQ(b.email, "kept@example.com");
  EXPECT_EQ(console.MissingCredentials(),
            (std::vector<std::string>{password.missing, dealer.missing}));
  // --yes answers questions, never a password: nothing counts as a Yes/No question here.
  EXPECT_FALSE(console.Unanswered());
}

TEST(LastPoTest, PasswordValuesAreRemovedWhereverTheyAre) {
  const std::string encoded = "Zq8#xW2p";
  const std::string po = "<PURCHASEORDER><PODETAILS><PASSWORD>" + encoded +
                         "</PASSWORD><Password>other</Password><CATALOG pwd=\"1\" password=\"" +
                         encoded + "\">ABC</CATALOG><NOTE>code " + encoded +
                         " in text</NOTE></PODETAILS></PURCHASEORDER>";
  const std::string clean = WithoutPasswords(po, encoded);
  EXPECT_EQ(clean.find(encoded), std::string::npos) << clean;
  EXPECT_EQ(clean.find("other"), std::string::npos) << clean;
  xml::Document doc;
  ASSERT_TRUE(doc.loadXML(clean)) << clean;
  EXPECT_EQ(doc.selectSingleNode("//CATALOG").text(), "ABC");
  EXPECT_EQ(doc.selectSingleNode("//CATALOG/@pwd").text(), "1");
  EXPECT_EQ(doc.selectSingleNode("//NOTE").text(), "code  in text");
}

// A connector that answers its sendfiles calls from a queue (accept when empty).
std::deque<bool> g_accept;
int g_calls = 0;

std::shared_ptr<automation::AutomationObject> MakeQueueConnector(Err*) {
  auto object = std::make_shared<automation::DispatchObject>("CredentialsConnector.spooler");
  auto accepted = std::make_shared<bool>(true);
  object->AddMethod("connectioncount", [](std::vector<Variant>&, Variant* r) {
    *r = Variant(1L);
    return Err{};
  });
  object->AddMethod("testconnection", [](std::vector<Variant>&, Variant* r) {
    *r = Variant("http://gateway.test");
    return Err{};
  });
  object->AddMethod("sendfiles", [accepted](std::vector<Variant>&, Variant* r) {
    ++g_calls;
    *accepted = g_accept.empty() || g_accept.front();
    if (!g_accept.empty()) g_accept.pop_front();
    *r = Variant(*accepted);
    return Err{};
  });
  object->AddProperty("response", [accepted](Variant* r) {
    *r = Variant(*accepted
                     ? "<RESPONSE><SEQUENCE>" + std::to_string(g_calls) + "</SEQUENCE></RESPONSE>"
                     : std::string());
    return Err{};
  });
  object->AddProperty("errornumber", [accepted](Variant* r) {
    *r = Variant(*accepted ? 0L : 401L);
    return Err{};
  });
  object->AddProperty("errordescription", [accepted](Variant* r) {
    *r = Variant(*accepted ? "" : "wrong password");
    return Err{};
  });
  return object;
}

class PasswordTrailTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_accept.clear();
    g_calls = 0;
    automation::RegisterBuiltinClass("CredentialsConnector.spooler", MakeQueueConnector);
    WriteFileOrDie(
        module_.path("larkEDI.xml"),
        "<SETTINGS><METHOD><ID>1</ID><NAME>t</NAME><OBJECTNAME>CredentialsConnector</OBJECTNAME>"
        "</METHOD><SPOOLPATH>" +
            module_.path("Send") + "</SPOOLPATH><ARCHIVEPATH>" + module_.path("Archive") +
            "</ARCHIVEPATH><SORTORDER>NS</SORTORDER>"
            "<PARTNER><ID>1</ID><NAME>Acme</NAME><CODE>ACM</CODE><MANUFID>ACME</MANUFID>"
            "<DEALERID>D-1</DEALERID><METHODID>1</METHODID>"
            "<TRANSFORMATION>CatalogToEDI.xsl</TRANSFORMATION>"
            "<EDIVALIDATE><MULTICATSEND>1</MULTICATSEND></EDIVALIDATE></PARTNER>"
            "<CATALOG><ID>1</ID><CODE>ABC</CODE><PARTNERID>1</PARTNERID></CATALOG></SETTINGS>");
    module_.Restart();
  }
  void TearDown() override { automation::UnregisterBuiltinClass("CredentialsConnector.spooler"); }

  void Stack(const std::string& number) {
    frmEDI edi;
    ASSERT_FALSE(edi.OpenHeadless());
    std::string text =
        "<Designs><Design><JobInfo><Header><ComputerName>PC</ComputerName><Number>" + number +
        "</Number><GlobalID/></Header><FileName>" + number +
        ".kit</FileName></JobInfo><Catalog><Identification><Name>ABC</Name></Identification>"
        "<Item><LineItemNumber>1</LineItemNumber><Code>C1</Code><Qty>1</Qty></Item></Catalog>"
        "</Design></Designs>";
    int status = 0;
    ASSERT_TRUE(edi.Orders.TakeInStartupInput(text, status));
    edi.Orders.LoadOrders(false, text);
  }

  // Every file of the module folder holding `needle`.
  std::vector<std::string> FilesHolding(const std::string& needle) {
    std::vector<std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(module_.dir())) {
      if (entry.is_regular_file() &&
          ReadFileOrEmpty(entry.path().string()).find(needle) != std::string::npos) {
        found.push_back(entry.path().string());
      }
    }
    return found;
  }

  testing::TempModule module_;
  SendJournal journal_{module_.dir()};
  ScriptedDialogs dialogs_;
  ScopedDialogs scoped_{&dialogs_};
};

struct Rows final : SendObserver {
  std::vector<SendRow> rows;
  void OrderDone(const SendRow& row) override { rows.push_back(row); }
};

TEST_F(PasswordTrailTest, WithLoggingOnLastPoIsWrittenWithoutThePasswordAndARefusalForgetsIt) {
  module_.EnableLogging();
  Stack("PO-1");
  Stack("PO-2");
  frmEDI edi;
  ASSERT_FALSE(edi.OpenHeadless());
  edi.Orders.LoadOrders(false);
  SendOrders sender(edi.Orders, journal_);
  // The first order is refused: its password is forgotten and asked for again.
  g_accept = {false, true};
  dialogs_.credential_answers = {{false, "", "first-secret-pw"}, {false, "", "second-secret-pw"}};
  Rows rows;
  ASSERT_TRUE(sender.Run(&rows));
  ASSERT_EQ(rows.rows.size(), 2u);
  EXPECT_EQ(rows.rows[0].result, SendResult::Failed);
  EXPECT_EQ(rows.rows[1].result, SendResult::Sent);
  EXPECT_EQ(dialogs_.credentials_asked.size(), 2u);

  const std::string last_po = ReadFileOrEmpty(module_.path("Archive/lastPO.xml"));
  ASSERT_FALSE(last_po.empty());
  xml::Document po;
  ASSERT_TRUE(po.loadXML(last_po));
  ASSERT_FALSE(po.selectSingleNode("//PASSWORD").isNull());
  EXPECT_EQ(po.selectSingleNode("//PASSWORD").text(), "");

  // Neither password, plain or encoded, is in any file of the module (log included).
  Utility utility;
  ASSERT_FALSE(ReadFileOrEmpty(module_.path("larkEDI.log")).empty());
  for (const std::string pw : {"first-secret-pw", "second-secret-pw"}) {
    EXPECT_TRUE(FilesHolding(pw).empty()) << pw;
    EXPECT_TRUE(FilesHolding(utility.Encode(pw, "7850")).empty()) << pw;
  }

  // Sent with the second password: a further order is not asked for again.
  Stack("PO-3");
  edi.Orders.LoadOrders(false);
  Rows more;
  ASSERT_TRUE(sender.Run(&more));
  ASSERT_EQ(more.rows.size(), 2u);  // the refused PO-1 and the new PO-3
  EXPECT_EQ(dialogs_.credentials_asked.size(), 2u);
}

TEST_F(PasswordTrailTest, WithLoggingOffNoLastPoIsWritten) {
  Stack("PO-1");
  frmEDI edi;
  ASSERT_FALSE(edi.OpenHeadless());
  edi.Orders.LoadOrders(false);
  SendOrders sender(edi.Orders, journal_);
  sender.SetPartnerPassword("ACM", "given-secret-pw");
  Rows rows;
  ASSERT_TRUE(sender.Run(&rows));
  ASSERT_EQ(rows.rows.size(), 1u);
  EXPECT_EQ(rows.rows[0].result, SendResult::Sent) << rows.rows[0].message;
  EXPECT_FALSE(fs::exists(module_.path("Archive/lastPO.xml")));
  EXPECT_TRUE(dialogs_.credentials_asked.empty());
}

}  // namespace
}  // namespace larkedi
