// larkedi-partner-sim: the trading partners' side on loopback, for tests and demos.
//
//   larkedi-partner-sim --data partners.json [--port N] [--log requests.jsonl]
//                       [--delay-ms N] [--misbehave html|empty|huge|fault]
//
// The first line on standard output is "listening on http://127.0.0.1:PORT". The partner
// web service answers at http://127.0.0.1:PORT/wsManufInfo.asmx. SIGTERM or SIGINT stops it.
#include <signal.h>
#include <CLI/CLI.hpp>

#include <cstdio>
#include <iostream>
#include <thread>

#include "partner_data.h"
#include "sim_server.h"

int main(int argc, char** argv) {
  using namespace partnersim;
  CLI::App app{"Simulated trading partners (partner web service) on 127.0.0.1"};
  app.name("larkedi-partner-sim");
  std::string data_path;
  std::string misbehave = "none";
  SimOptions options;
  app.add_option("--data", data_path, "JSON data file: manufacturers and dealer accounts")
      ->required();
  app.add_option("--port", options.port, "Port to listen on (0: a free port, printed)")
      ->check(CLI::Range(0, 65535));
  app.add_option("--log", options.log_path, "Append every request received to this file");
  app.add_option("--delay-ms", options.delay_ms, "Wait this long before every answer")
      ->check(CLI::NonNegativeNumber);
  app.add_option("--misbehave", misbehave,
                 "Answer the web service with: none, html, empty, huge or fault");
  CLI11_PARSE(app, argc, argv);

  if (!ParseMisbehaviour(misbehave, &options.misbehave)) {
    std::cerr << "larkedi-partner-sim: unknown --misbehave value: " << misbehave << "\n";
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
  std::cout << "listening on http://" << options.host << ":" << port << std::endl;

  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  server.Stop();
  serving.join();
  return served ? 0 : 1;
}
