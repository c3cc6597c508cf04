// What the order status views build and read: the addresses of a partner's dealer site
// (the login page, the order list, one order), the month the list shows, and the texts the
// module adds to the order list a dealer server returns before it is rendered.
#pragma once

#include <string>
#include <string_view>

#include "platform/err.h"
#include "platform/xml/xml.h"
#include "support/strings.h"  // PercentEncode, for the query values

namespace larkedi {

/// A month of a year (month 1 to 12): the order list shows one month at a time.
struct StatusMonth {
  int year = 2000;
  int month = 1;
  bool operator==(const StatusMonth&) const = default;
};

/// The month of today's local date.
StatusMonth CurrentStatusMonth();
/// `month` moved by `offset` months (negative goes back). Only year and month count, so
/// one month after January is February whatever the day.
StatusMonth AddMonths(StatusMonth month, long offset);
/// A month offset as the views pass it ("-1", "1", "+2"); 0 for anything else.
long ParseMonthOffset(std::string_view text);
/// The month's name ("LBL January" ... "LBL December") and year put into
/// "LBL MonthYearParam".
std::string FormatMonthYear(const StatusMonth& month);

/// Sets the child `name` (upper-cased) of the element reached by `path` ("DATA",
/// "SETTINGS/DISPLAY"), replacing one of that name, with `value` as a CDATA section or as
/// text. Levels of the path that are missing are created (upper-cased); the last level takes
/// the element at position `index` (0-based) and appends a new one when there are not that
/// many. A second top-level element cannot be made: the error 0x80041771 (source
/// "SetElement", "MSG OnlyOneTopElementAllowed"), and the document is unchanged.
Err SetElement(xml::Document& doc, std::string_view path, long index, std::string_view name,
               std::string_view value, bool bCData);

/// A partner's account on its dealer site, and the language of the pages asked for.
struct DealerLogin {
  std::string manufcode;
  std::string dealercode;
  std::string password;
  std::string language;
};

/// `server` (a base address ending with "/") + "loginremote2.asp?manufcode=...&dealercode=
/// ...&pw=...&lang=...", every value percent-encoded.
std::string StatusLoginAddress(const std::string& server, const DealerLogin& login);
/// `server` + "xmlorderlist.asp?..." for `month`, the sort key, the page and the page length
/// (field set "10111010000"), every value percent-encoded.
std::string StatusListAddress(const std::string& server, const DealerLogin& login,
                              const StatusMonth& month, const std::string& sort, long page,
                              long page_length);
/// `server` + "xmlorderdetail.asp?guid=...&lang=...".
std::string StatusOrderAddress(const std::string& server, const std::string& guid,
                               const std::string& language);
/// The address as it may be shown or logged: the value of its "pw" parameter is replaced
/// by "***".
std::string HidePassword(const std::string& address);

/// True when the second panel may show `address`: "about:blank", or an address on the site
/// (scheme, host and port) of the dealer server `server`. Any other address is refused,
/// even one that merely contains the dealer server's name.
bool StatusPanelAllowed(const std::string& address, const std::string& server);

/// Adds (or replaces) the children the order list style sheet reads besides the server's
/// data: IMAGEPATH (`image_path`), CALLBACKPAGE and DETAILPAGE (empty), and the names of the
/// month before, the month and the month after `month`. The list's root must be DATA.
Err PrepareStatusList(xml::Document& list, const StatusMonth& month, const std::string& image_path);

}  // namespace larkedi
