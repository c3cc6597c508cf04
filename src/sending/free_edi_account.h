// The free-EDI checks of a send: whether the partner web service still takes free-EDI
// orders for a manufacturer, what the dealer's account status means for the order's row,
// and the copy of the dealer's profile into the order.
#pragma once

#include <string>

#include "platform/xml/xml.h"

namespace larkedi {

/// The partner web service's answer about a manufacturer's free-EDI service.
enum class FreeEdiActivity {
  Active,    // "TRUE"
  Inactive,  // "FALSE": the only answer that drops the partner
  NoAnswer,  // no answer, an answer that does not parse, or any other text
};

/// Asks the partner web service (IsManufHaveEmail) about `manufacturer_id`.
FreeEdiActivity AskFreeEdiActivity(const std::string& manufacturer_id);

/// Copies the address of the dealer's `profile` (the Profile element of an account in good
/// standing) into the bill-to main location of `tmpdoc`: every value that is not empty and
/// whose target exists; Address2 only when Address1 was copied (then also when empty).
void CopyDealerProfile(const xml::Node& profile, xml::Document& tmpdoc);

/// The failure message of a dealer account status other than "good", as plain text (links
/// shown by their texts) and as page markup (resource texts as they are, `email` and
/// `partner_name` escaped, the links as anchors "urloxnet" and "urlpaysupport"). Lines are
/// separated by "\n" in the text and by "<BR>&nbsp;&nbsp;" in the markup.
struct DealerStatusMessage {
  std::string text;
  std::string html;
};
DealerStatusMessage DealerStatusFailure(int status, const std::string& email,
                                        const std::string& partner_name);

}  // namespace larkedi
