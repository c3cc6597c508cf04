#include "sending/credential_dialogs.h"

#include <cstdlib>

#include "platform/process/launch.h"
#include "platform/ui/dialogs.h"
#include "support/resx.h"

namespace larkedi {

std::string DealerServiceHomePage() {
  if (const char* url = std::getenv("LARKEDI_DEALER_SERVICE_URL"); url && *url) return url;
  return "https://www.orcanet.larkedi.invalid/";
}

std::string DealerSupportPage() {
  if (const char* url = std::getenv("LARKEDI_SUPPORT_URL"); url && *url) return url;
  return "https://support.orcanet.larkedi.invalid/";
}

frmPassword::frmPassword() : lblPrompt(Res("OST PleaseEnterPassword")) {}

std::string frmPassword::GetPassword() {
  CredentialsRequest request;
  request.kind = CredentialsRequest::Kind::Password;
  request.title = Res("LBL Password");
  request.prompt = lblPrompt;
  request.ok_label = Res("BTN Ok");
  request.cancel_label = Res("BTN Cancel");
  request.missing = PartnerCode.empty() ? "a partner password (--password CODE=PASSWORD)"
                                        : "the password of partner " + PartnerCode +
                                              " (--password " + PartnerCode + "=PASSWORD)";
  CredentialsAnswer answer = CurrentDialogs().AskCredentials(request);
  Cancelled = answer.cancelled;
  return answer.cancelled ? std::string() : answer.password;
}

void frmDealerID::GetDealerInfo(std::string& email, std::string& password) {
  CredentialsRequest request;
  request.kind = CredentialsRequest::Kind::Dealer;
  request.title = Res("LBL DealerIdentification");
  request.prompt = Res("MSG PleaseTypeEmailPassword");
  request.ok_label = Res("BTN Ok");
  request.cancel_label = Res("BTN Cancel");
  request.frame_caption = Res("LBL OrcanetAccount");
  request.email_label = Res("LBL Email");
  request.password_label = Res("LBL Password");
  request.forgot_label = Res("LBL ForgotPassword");
  request.link_text = Res("LNK ClickHere");
  request.link_tip = Res("TIP LinkOrcanetHomePage");
  request.email = email_;
  // The address is copied: the link may be clicked after this dialog object is gone.
  request.open_link = [address = DealerServiceHomePage()] {
    process::OpenWithAssociatedProgram(address);  // a failure to open is silent
  };
  request.missing = "the dealer's account for " +
                    (partner_.empty() ? "a free-EDI partner" : partner_) +
                    " (--dealer EMAIL, and its password with --password CODE=PASSWORD)";
  CredentialsAnswer answer = CurrentDialogs().AskCredentials(request);
  Cancelled = answer.cancelled;
  if (!answer.cancelled) {
    email_ = answer.email;
    password_ = answer.password;
  }
  email = email_;
  password = password_;
  password_.clear();
}

}  // namespace larkedi
