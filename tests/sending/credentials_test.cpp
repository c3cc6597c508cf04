// The password and dealer dialogs (scripted and on a console without a terminal), and the
// passwords taken out of the copy of the last purchase order.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/xml/xml.h"
#include "sending/credential_dialogs.h"
#include "sending/last_po.h"
#include "testing/scripted_dialogs.h"
#include "testing/temp_module.h"

namespace larkedi {
namespace {

using testing::ReadFileOrEmpty;
using testing::WriteFileOrDie;

TEST(CredentialDialogsTest, CancelKeepsNothingTypedAndTheDealerLinkOpensTheService) {
  testing::TempModule module;
  module.Restart();
  ScriptedDialogs dialogs;
  ScopedDialogs scoped(&dialogs);
  dialogs.credential_answers = {{true, "", "typed"},
                                {false, "", "  pw  "},
                                {true, "changed@example.com", "typed"},
                                {false, "", "pw"}};
  frmPassword cancelled_password;
  EXPECT_EQ(cancelled_password.GetPassword(), "");
  EXPECT_TRUE(cancelled_password.Cancelled);
  frmPassword blanks;  // blanks are part of a password
  EXPECT_EQ(blanks.GetPassword(), "  pw  ");
  EXPECT_FALSE(blanks.Cancelled);

  frmDealerID cancelled;
  cancelled.Email("dealer@example.com");
  std::string email = "x", password = "y";
  cancelled.GetDealerInfo(email, password);
  EXPECT_TRUE(cancelled.Cancelled);
  EXPECT_EQ(email, "dealer@example.com");
  EXPECT_EQ(password, "");
  EXPECT_EQ(dialogs.credentials_asked.at(2).email, "dealer@example.com");

  frmDealerID cleared;
  cleared.Email("dealer@example.com");
  cleared.GetDealerInfo(email, password);
  EXPECT_FALSE(cleared.Cancelled);
  EXPECT_EQ(email, "");
  EXPECT_EQ(password, "pw");

  // The link opens the service's home page (an address with '&') in the associated program.
  const std::string dir = module.dir();
  const std::string out = dir + "/opened.txt";
  WriteFileOrDie(dir + "/opener", "#!/bin/sh\nprintf '%s\\n' \"$1\" > " + out + ".tmp && mv " +
                                      out + ".tmp " + out + "\n");
  ::chmod((dir + "/opener").c_str(), 0755);
  ::setenv("LARKEDI_OPENER", (dir + "/opener").c_str(), 1);
  ::setenv("LARKEDI_DEALER_SERVICE_URL", "https://home.example.invalid/?a=1&b=2", 1);
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
}

TEST(CredentialDialogsTest, WithoutATerminalTheConsoleNamesWhatItWouldHaveAsked) {
  const int saved = ::dup(STDIN_FILENO);
  const int null = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(null, 0);
  ::dup2(null, STDIN_FILENO);
  ConsoleDialogs console(ConsoleDialogs::Answer::Yes);
  CredentialsRequest password;
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
  EXPECT_EQ(doc.selectSingleNode("//NOTE").text(), "code  in text");
}

}  // namespace
}  // namespace larkedi
