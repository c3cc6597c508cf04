// The partner web service (wsManufInfo.asmx) as a SOAP 1.1 service: GetManufInfo,
// IsManufHaveEmail and IsDealerSupported, answered from the simulator's data.
//
// It is strict where a real SOAP stack is strict: the "SOAPAction" header must name the
// operation in the body, the operation and its parameters must be in the service
// namespace, and anything else gets a soap:Fault with HTTP status 500.
#pragma once

#include <string>

#include "partner_data.h"

namespace partnersim {

struct SoapAnswer {
  int status = 200;
  std::string content_type = "text/xml; charset=utf-8";
  std::string body;
};

class ManufInfoService {
 public:
  explicit ManufInfoService(const PartnerData& data) : data_(data) {}

  /// Answers one request: `soap_action` is the header's value (quoted or not, empty when
  /// the header is missing), `body` the request body.
  SoapAnswer Answer(const std::string& soap_action, const std::string& body) const;

  /// A soap:Fault answer with HTTP status 500; `code` is "soap:Client" or "soap:Server".
  static SoapAnswer Fault(const std::string& code, const std::string& message);
  /// The expected "SOAPAction" of an operation.
  std::string ActionOf(const std::string& operation) const;
  /// Wraps the content of soap:Body in the answer envelope.
  static std::string Envelope(const std::string& body_content);

 private:
  std::string GetManufInfo() const;
  std::string IsManufHaveEmail(const std::string& code) const;
  std::string IsDealerSupported(const std::string& email, const std::string& password) const;
  std::string Wrap(const std::string& operation, const std::string& result_content) const;

  const PartnerData& data_;
};

}  // namespace partnersim
