// The two credentials dialogs of a send: frmPassword asks for the password a dealer uses
// with one manufacturer partner; frmDealerID asks for the e-mail address and password of
// the dealer's account at the online dealer service (free-EDI partners). Each lives for
// one question, shows itself through CurrentDialogs() (the window's page, the console or
// a test's script) with texts from the language resources, and checks nothing typed.
// Closing a dialog is Cancel. Neither writes what was typed anywhere.
#pragma once

#include <string>

namespace larkedi {

/// The online dealer service's home page, opened by the dealer dialog's link:
/// LARKEDI_DEALER_SERVICE_URL when set, else the built-in address.
std::string DealerServiceHomePage();
/// The support page the free-EDI failure rows link to: LARKEDI_SUPPORT_URL when set, else
/// the built-in address.
std::string DealerSupportPage();

class frmPassword {
 public:
  /// The prompt; the send writes "OST PleaseEnterPasswordForDealerPartner" into it.
  std::string lblPrompt;
  /// The partner's code: a console without a terminal names the option that gives it.
  std::string PartnerCode;
  /// True when the dialog was left with Cancel or closed.
  bool Cancelled = false;

  frmPassword();
  /// Shows the dialog and returns the password as typed (blanks kept); empty on Cancel.
  std::string GetPassword();
};

class frmDealerID {
 public:
  /// True when the dialog was left with Cancel or closed.
  bool Cancelled = false;

  /// The e-mail address the dialog starts with.
  void Email(const std::string& email) { email_ = email; }
  /// The partner the account is asked for (kept with the dialog, not shown).
  void Partner(const std::string& name) { partner_ = name; }
  /// Shows the dialog; `email` and `password` receive what was typed (OK), or the e-mail
  /// address it started with and an empty password (Cancel).
  void GetDealerInfo(std::string& email, std::string& password);

 private:
  std::string email_;
  std::string password_;
  std::string partner_;
};

}  // namespace larkedi
