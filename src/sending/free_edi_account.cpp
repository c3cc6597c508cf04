#include "sending/free_edi_account.h"

#include <vector>

#include "platform/ui/frame_model.h"
#include "sending/credential_dialogs.h"
#include "settings/partner_service.h"
#include "support/log.h"
#include "support/resx.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

constexpr const char* kBillTo = "Design/JobInfo/Profile[Type='BillTo']/Location[Type='Main']/";

// Sets the text of `path` in `doc` when the element exists; true when it was set.
bool SetExisting(xml::Document& doc, const std::string& path, const std::string& value) {
  xml::Node target = doc.selectSingleNode(path);
  if (target.isNull()) return false;
  target.setText(value);
  return true;
}

// One line of a message: its text and its markup.
struct Line {
  std::string text;
  std::string html;
};

Line Plain(const char* key) {
  return {Res(key), Res(key)};
}

// A resource text with one data value: escaped in the markup.
Line WithValue(const char* key, const std::string& value) {
  return {ResParam(key, {value}), ResParam(key, {ui::EscapeHtml(value)})};
}

// A resource text whose parameter is a link anchor.
Line WithLink(const char* key, const char* id, const std::string& href, const char* link_key) {
  const std::string anchor = "<A id=\"" + std::string(id) + "\" href=\"" + ui::EscapeHtml(href) +
                             "\">" + Res(link_key) + "</A>";
  return {ResParam(key, {Res(link_key)}), ResParam(key, {anchor})};
}

DealerStatusMessage Join(const std::vector<Line>& lines) {
  DealerStatusMessage out;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) {
      out.text += "\n";
      out.html += "<BR>&nbsp;&nbsp;";
    }
    out.text += lines[i].text;
    out.html += lines[i].html;
  }
  return out;
}

}  // namespace

FreeEdiActivity AskFreeEdiActivity(const std::string& manufacturer_id) {
  LogScope log_scope("IsFreeEdiPartnerActive().");
  const PartnerServiceConfig config = GetPartnerServiceConfig();
  const std::string body = "<sManufCode>" + xml::EscapeXmlText(manufacturer_id) + "</sManufCode>";
  const std::string response =
      SendSoapRequest(PartnerServiceEndpoint(config), config.Namespace, "IsManufHaveEmail", body);
  xml::Node result;
  if (!GetSoapResult(response, "IsManufHaveEmail", result)) return FreeEdiActivity::NoAnswer;
  const std::string text =
      Trim(result.ownerDocument().selectSingleNode("//oxox:IsManufHaveEmail").text());
  if (EqualsNoCaseAscii(text, "TRUE")) return FreeEdiActivity::Active;
  if (EqualsNoCaseAscii(text, "FALSE")) return FreeEdiActivity::Inactive;
  WriteLog("IsManufHaveEmail answered neither TRUE nor FALSE for " + manufacturer_id);
  return FreeEdiActivity::NoAnswer;
}

void CopyDealerProfile(const xml::Node& profile, xml::Document& tmpdoc) {
  if (profile.isNull()) return;
  const std::string base = kBillTo;
  const std::string address1 = GetNodeText(profile, "Location/Address1");
  if (!address1.empty() && SetExisting(tmpdoc, base + "Address[1]", address1)) {
    SetExisting(tmpdoc, base + "Address[2]", GetNodeText(profile, "Location/Address2"));
  }
  for (const char* field : {"City", "State", "Country", "Zip"}) {
    const std::string value = GetNodeText(profile, std::string("Location/") + field);
    if (!value.empty()) SetExisting(tmpdoc, base + field, value);
  }
}

DealerStatusMessage DealerStatusFailure(int status, const std::string& email,
                                        const std::string& partner_name) {
  switch (status) {
    case kDealerNoAccount:
      return Join({Plain("MSG DealerHasNoOrcanetAccount"),
                   WithLink("MSG VisitParamLinkForInfo", "urloxnet", DealerServiceHomePage(),
                            "LNK OrcanetWebSite")});
    case kDealerNeedsSupport:
      return Join({Plain("MSG NeedSupportSendFreeEdiOrders"),
                   Plain("MSG ContactOrcaCustomerService"),
                   WithLink("MSG VisitSupportParamLink", "urlpaysupport", DealerSupportPage(),
                            "LNK OrcaSupportPage")});
    case kDealerBadPassword:
      return Join({WithValue("MSG InvalidPasswordUserParam", email),
                   WithLink("MSG ForgotPWObtainFromParamLink", "urloxnet", DealerServiceHomePage(),
                            "LNK OrcanetWebSite")});
    case kDealerNotInErp:
      return Join({Plain("MSG DealerIsNotInERP"), Plain("MSG ContactOrcaCustomerService")});
    default:
      return Join({WithValue("MSG UnableSendOrderParam", partner_name),
                   Plain("MSG ErrorCheckOrcanetAccount")});
  }
}

}  // namespace larkedi
