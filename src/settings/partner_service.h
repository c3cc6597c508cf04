// The partner web-service client: a SOAP 1.1 client of the maker's wsManufInfo service,
// which tells which manufacturers take free-EDI orders, whether one of them currently
// does, and whether a dealer's online account is valid.
//
// Every call is synchronous and bounded by the configured time-outs. Nothing here shows a
// web-service failure to the user: failures come back as an empty text, false or -1.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "platform/xml/xml.h"

namespace larkedi {

/// Where the partner web service lives and how long to wait for it.
struct PartnerServiceConfig {
  /// Production endpoint (used while logging is off).
  std::string Endpoint = "http://partners.larkedi.invalid/wsManufInfo.asmx";
  /// Development endpoint (used while logging is on).
  std::string DevelopmentEndpoint = "http://partners-dev.larkedi.invalid/wsManufInfo.asmx";
  /// XML namespace of the operations and prefix of every SOAP action.
  std::string Namespace = "http://partners.larkedi.invalid/";
  long ConnectTimeoutMs = 5000;
  long TotalTimeoutMs = 20000;
  /// Longer answers are dropped (treated as no answer).
  std::size_t MaxResponseBytes = 8u << 20;
};

/// The configuration kept in the registry store: values Endpoint, DevelopmentEndpoint and
/// Namespace of HKEY_CURRENT_USER\Software\Orca Technologies\EDI\PartnerService, each
/// falling back to the built-in default when missing or empty. The default provider.
PartnerServiceConfig RegistryPartnerServiceConfig();

/// Where the configuration comes from (the registry store, tests, the command line).
using PartnerServiceConfigProvider = std::function<PartnerServiceConfig()>;
/// Installs the provider; an empty function restores the built-in defaults.
void SetPartnerServiceConfigProvider(PartnerServiceConfigProvider provider);
/// The provider's configuration with the environment overrides applied:
/// LARKEDI_PARTNER_ENDPOINT (both endpoints), LARKEDI_PARTNER_DEV_ENDPOINT (development
/// endpoint only, applied after the former) and LARKEDI_PARTNER_NAMESPACE.
PartnerServiceConfig GetPartnerServiceConfig();
/// The endpoint in force: the development one when logging is on, else the production one.
std::string PartnerServiceEndpoint(const PartnerServiceConfig& config);

/// The request envelope of `operation` with `body` (already serialised) as its content.
std::string BuildSoapEnvelope(const std::string& ns, const std::string& operation,
                              const std::string& body);
/// The "SOAPAction" value: `ns` and `operation`, with one "/" between them.
std::string SoapAction(const std::string& ns, const std::string& operation);

/// Posts the request; returns the answer's body whatever its HTTP status, or an empty text
/// when no complete answer came back. Time-outs and size cap from GetPartnerServiceConfig().
std::string SendSoapRequest(const std::string& endpoint, const std::string& ns,
                            const std::string& operation, const std::string& body);

/// Clears `resultNode`, parses the answer and sets `resultNode` to
/// soap:Envelope/soap:Body/oxox:<operation>Response/oxox:<operation>Result. Every answer that
/// parses is kept in <module folder>/Response/wsResponse.xml. False for an empty text or
/// operation, an answer that does not parse, or a missing result element.
bool GetSoapResult(const std::string& responseText, const std::string& operation,
                   xml::Node& resultNode);

/// Asks the service for the free-EDI manufacturers; `resultNode` receives the
/// GetManufInfoResult element. False when there is none.
bool GetManufInfo(xml::Node& resultNode);

/// One manufacturer of the free-EDI list.
struct FreeEdiManufacturer {
  std::string ID;
  std::string Name;
};
/// The Manuf entries of a GetManufInfoResult element that have both an ID and a Name.
std::vector<FreeEdiManufacturer> ReadManufList(const xml::Node& manufInfoResult);

/// True only when the service says the manufacturer takes free-EDI orders ("TRUE" in any
/// case).
bool IsFreeEdiPartnerActive(const std::string& manufCode);

/// Dealer account status as the service reports it.
enum DealerStatus : int {
  kDealerNoAnswer = -1,       // no result element (service down, bad answer)
  kDealerNoAccount = 0,       // no online account
  kDealerNeedsSupport = 1,    // account without the free-EDI service
  kDealerAccountGood = 2,     // account valid; the profile comes with it
  kDealerBadPassword = 3,     // wrong password
  kDealerNotInErp = 4,        // not known to the maker's ERP
  kDealerUnknownStatus = 99,  // empty, missing or unexpected status text
};

/// Checks the dealer's online account. `profileNode` receives the dealer's Profile element
/// for status 2 and is null otherwise.
int CheckDealerStatus(const std::string& email, const std::string& password,
                      xml::Node& profileNode);

}  // namespace larkedi
