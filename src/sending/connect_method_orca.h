// ConnectMethodOrca: the transmission method built into the module. It posts purchase
// orders to partner gateways over HTTPS (or HTTP) and is driven, like every connector, as
// the automation object "ConnectMethodOrca.spooler".
//
// Per partner code it keeps a list of gateway servers (host names or http/https addresses;
// a bare host name means https) in <module folder>/ConnectMethodOrca.xml:
//
//   <ConnectMethodOrca>
//     <CAFILE>/path/ca.pem</CAFILE>                  optional: a private certificate authority
//     <CONNECTTIMEOUTMS>5000</CONNECTTIMEOUTMS>      optional time-outs (milliseconds)
//     <TIMEOUTMS>60000</TIMEOUTMS>
//     <HEALTHTIMEOUTMS>3000</HEALTHTIMEOUTMS>
//     <PARTNER code="NWC"><SERVER>gate.example.com</SERVER>...</PARTNER>
//   </ConnectMethodOrca>
//
// Certificates are always verified. Without CAFILE the environment variable
// LARKEDI_CA_FILE (read once per process) may name the authority to trust instead of the
// system's. The file is written whole or not at all through Env.
//
// A gateway answers GET <server>/gateway/health when it is up, and takes an order as
// POST <server>/gateway/receive?partner=CODE with the purchase-order document as its body,
// answering <RESPONSE><SEQUENCE>n</SEQUENCE></RESPONSE>.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/automation/automation.h"
#include "platform/err.h"

namespace larkedi {

/// Error numbers `errornumber` reports besides the HTTP status of a refusal (400 and up).
/// The order reached no gateway: it was not sent.
constexpr long kErrOrcaNotDelivered = 9010;
/// The order was sent but no answer (or no usable answer) came back: it may have arrived.
constexpr long kErrOrcaNoAnswer = 9011;
/// The input parameter or the configuration does not allow a send (nothing was sent).
constexpr long kErrOrcaBadRequest = 9012;

class ConnectMethodOrca {
 public:
  static constexpr const char* kProgId = "ConnectMethodOrca.spooler";

  /// The connector of the module in `module_folder`; its server list is read at once.
  explicit ConnectMethodOrca(std::string module_folder);

  /// Full path of the server list file.
  const std::string& path() const { return path_; }
  /// Reads the server list again (a missing file is an empty list).
  Err Load();

  /// The servers of a partner (code without regard to case), as stored (normalised).
  std::vector<std::string> Servers(const std::string& partner_code) const;
  /// Adds a server (normalised: a bare host name becomes https://host) and saves the list.
  Err AddServer(const std::string& partner_code, const std::string& server);
  /// Removes a server (given as added or as stored) and saves the list.
  Err RemoveServer(const std::string& partner_code, const std::string& server);
  /// Sets the private certificate authority file (empty: none) and saves the list.
  Err SetCaFile(const std::string& ca_file);
  /// The authority file in force: the list's CAFILE, else LARKEDI_CA_FILE.
  std::string CaFile() const;

  // The connector members. `input_parameter` is the <InputParameter> text.
  /// Servers configured for the parameter's partner.
  long connectioncount(const std::string& input_parameter);
  /// The first server answering its health address within the health time-out; Null when
  /// none does.
  automation::Variant testconnection(const std::string& input_parameter);
  /// Posts the parameter's Data to the partner's gateway (the server testconnection found,
  /// else the first). True when the gateway answered with a RESPONSE holding a SEQUENCE.
  bool sendfiles(const std::string& input_parameter);
  /// The last gateway answer (RESPONSE/SEQUENCE).
  const std::string& response() const { return response_; }
  long errornumber() const { return error_number_; }
  const std::string& errordescription() const { return error_description_; }
  /// Host (and port, when the address has one) of the partner's first server; empty when
  /// there is none.
  std::string GetConnection(const std::string& input_parameter);
  /// The configuration dialog for the parameter's partner: list, add, remove and test its
  /// servers (through the current dialogs).
  void Configure(const std::string& input_parameter);

  /// Normalises a server as the list keeps it; false with `error` set when it is not a host
  /// name or an http/https address.
  static bool NormalizeServer(const std::string& server, std::string* normalized,
                              std::string* error);

 private:
  struct Partner {
    std::string code;
    std::vector<std::string> servers;
  };
  Err Save();
  Partner* Find(const std::string& code);
  const Partner* Find(const std::string& code) const;
  /// The partner code and data of an input parameter; false (error set) when unreadable.
  bool ReadParameter(const std::string& input_parameter, std::string* code, std::string* data);
  void SetError(long number, std::string description);
  bool Healthy(const std::string& server);

  std::string path_;
  std::vector<Partner> partners_;
  std::string ca_file_;
  long connect_timeout_ms_ = 5000;
  long total_timeout_ms_ = 60000;
  long health_timeout_ms_ = 3000;
  /// The server testconnection found, per partner code (upper case).
  std::vector<std::pair<std::string, std::string>> found_;

  std::string response_;
  long error_number_ = 0;
  std::string error_description_;
};

/// The automation object of a new connector for the current module folder.
std::shared_ptr<automation::AutomationObject> CreateConnectMethodOrcaObject(Err* error);
/// Registers "ConnectMethodOrca.spooler" as a built-in automation class (done at start-up;
/// calling it again is harmless).
void RegisterConnectMethodOrca();

}  // namespace larkedi
