// larkedi-partner-sim: the trading partners' side on loopback, for tests and demos.
//
//   larkedi-partner-sim --data partners.json [--port N] [--log requests.jsonl]
//                       [--delay-ms N] [--misbehave html|empty|huge|fault]
//                       [--data-dir DIR] [--tls-cert FILE --tls-key FILE]
//                       [--gateway-fault MODE [--gateway-fault-count N]
//                        [--gateway-delay-ms N]]
//
// The first line on standard output is "listening on http://127.0.0.1:PORT" (https with
// --tls-cert). On that one server:
//   /wsManufInfo.asmx                        the partner web service (soap_service.h)
//   /gateway/receive, /gateway/health, /gateway/orders, /control/gateway
//                                            the partner gateway (gateway.h)
//   loginremote2.asp, xmlorderlist.asp, xmlorderdetail.asp
//                                            the dealer status web site (dealer_site.h)
// SIGTERM or SIGINT stops it.
#include <signal.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <thread>

#include "partner_data.h"
#include "sim_server.h"

int main(int argc, char** argv) {
  using namespace partnersim;
  CLI::App app{
      "Simulated trading partners on 127.0.0.1, all on one server:\n"
      "  POST /wsManufInfo.asmx      partner web service (SOAP 1.1)\n"
      "  POST /gateway/receive[?partner=CODE]\n"
      "                              partner gateway: body = the purchase-order document (or\n"
      "                              the whole <InputParameter> with PartnerCode and Data);\n"
      "                              answers <RESPONSE><SEQUENCE>n</SEQUENCE></RESPONSE>\n"
      "  GET  /gateway/health        200 OK\n"
      "  GET  /gateway/orders        JSON list of the orders received (sequence, partner_code,\n"
      "                              global_id, dealer, received, file, ...)\n"
      "  POST /control/gateway       {\"mode\":\"ok|fail|delay|drop|garbage\",\"delay_ms\":N,\n"
      "                              \"count\":N} sets the gateway's faults (GET shows them)\n"
      "  GET  .../loginremote2.asp   dealer site: log in (manufcode, dealercode, pw, lang)\n"
      "  GET  .../xmlorderlist.asp   dealer's orders as XML (... fldset, y, m, sort, page,\n"
      "                              pagelen)\n"
      "  GET  .../xmlorderdetail.asp one order as XML (guid, lang)\n"
      "Any Host name is served (gate.localhost and dealer.localhost reach loopback)."};
  app.name("larkedi-partner-sim");
  std::string data_path;
  std::string misbehave = "none";
  std::string fault_mode = "ok";
  SimOptions options;
  app.add_option("--data", data_path,
                 "JSON data file: manufacturers, dealer accounts, orders already held")
      ->required();
  app.add_option("--port", options.port, "Port to listen on (0: a free port, printed)")
      ->check(CLI::Range(0, 65535));
  app.add_option("--log", options.log_path, "Append every request received to this file");
  app.add_option("--delay-ms", options.delay_ms, "Wait this long before every web-service answer")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--misbehave", misbehave,
                 "Answer the web service with: none, html, empty, huge or fault");
  app.add_option("--data-dir", options.data_dir,
                 "Gateway data folder (created when missing): received/NNNNNN.xml per order,\n"
                 "gateway-state.json keeps the numbering across restarts.\n"
                 "Without it the orders are kept in memory only");
  auto* cert = app.add_option("--tls-cert", options.tls_cert,
                              "Serve HTTPS with this PEM certificate (chain allowed)");
  auto* key = app.add_option("--tls-key", options.tls_key, "The certificate's PEM private key");
  cert->needs(key);
  key->needs(cert);
  app.add_option("--gateway-fault", fault_mode,
                 "Gateway fault at start: ok; fail (500, not stored);\n"
                 "delay (stored, answer waits --gateway-delay-ms);\n"
                 "drop (stored, connection closed without an answer);\n"
                 "garbage (stored, 200 with a body that is not XML)");
  app.add_option("--gateway-fault-count", options.gateway_fault.count,
                 "Number of orders the fault applies to, then ok (0: all)")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--gateway-delay-ms", options.gateway_fault.delay_ms,
                 "Delay of the gateway's delay fault")
      ->check(CLI::NonNegativeNumber);
  CLI11_PARSE(app, argc, argv);

  if (!ParseMisbehaviour(misbehave, &options.misbehave)) {
    std::cerr << "larkedi-partner-sim: unknown --misbehave value: " << misbehave << "\n";
    return 2;
  }
  if (!ParseFaultMode(fault_mode, &options.gateway_fault.mode)) {
    std::cerr << "larkedi-partner-sim: unknown --gateway-fault value: " << fault_mode << "\n";
    return 2;
  }
  PartnerData data;
  std::string error;
  if (!LoadPartnerData(data_path, &data, &error)) {
    std::cerr << "larkedi-partner-sim: " << error << "\n";
    return 1;
  }

  // Signals are taken by this thread with sigwait; the server's threads never see them.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGTERM);
  sigaddset(&stop_signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  // A client that went away (or a connection the gateway drops on purpose) must not end
  // the process when the server writes to it.
  ::signal(SIGPIPE, SIG_IGN);

  PartnerSimServer server(std::move(data), options);
  int port = server.Bind(&error);
  if (port < 0) {
    std::cerr << "larkedi-partner-sim: " << error << "\n";
    return 1;
  }
  bool served = true;
  std::thread serving([&] { served = server.Serve(); });
  // Announced only once the server accepts, so a client that read the line can connect.
  server.WaitUntilRunning();
  std::cout << "listening on " << (options.tls_cert.empty() ? "http" : "https") << "://"
            << options.host << ":" << port << std::endl;

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  server.Stop();
  serving.join();
  return served ? 0 : 1;
}
