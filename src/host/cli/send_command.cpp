// send, history, connector: sending the order stack without the window, the send journal,
// and the built-in connector's gateway servers.
#include <iostream>

#include "host/cli/command.h"
#include "host/frm_edi.h"
#include "sending/connect_method_orca.h"
#include "sending/send_journal.h"
#include "sending/send_pipeline.h"
#include "support/module.h"

namespace larkedi::cli {
namespace {

struct SendOptions {
  std::vector<std::string> passwords;
  std::string dealer;
  std::string partner;
  std::string since;
  std::string search;
  std::string code;
  std::string server;
};

SendOptions& Options() {
  static SendOptions options;
  return options;
}

// One console line per order: partner, catalogs, result, sequence number, message.
class ConsoleProgress final : public SendObserver {
 public:
  void OrderDone(const SendRow& row) override {
    std::cout << "order " << row.order_id << "  " << row.partner_code;
    if (!row.partner_name.empty()) std::cout << " (" << row.partner_name << ")";
    std::cout << "  [";
    for (size_t i = 0; i < row.catalogs.size(); ++i) {
      std::cout << (i ? ", " : "") << row.catalogs[i];
    }
    std::cout << "]  " << SendResultText(row.result);
    if (!row.sequence.empty()) std::cout << "  sequence " << row.sequence;
    if (row.result != SendResult::Sent && !row.message.empty()) {
      std::cout << "  " << row.message;
    }
    std::cout << "\n";
  }
};

std::string Connection(const std::string& code) {
  return "<InputParameter><PartnerCode><![CDATA[" + code + "]]></PartnerCode></InputParameter>";
}

void SetupSend(CLI::App& app, Cli& cli) {
  SendOptions& o = Options();
  auto* send = app.add_subcommand(
      "send",
      "Send every order of the stack marked to send (SENDIT 1) through its partner's "
      "transmission method, one line per order (partner, catalogs, result, sequence number). "
      "An order the send journal shows as handed over without an answer may have arrived: "
      "it is sent again only when confirmed (--yes confirms). Exit 1 when an order was not "
      "sent, 3 when the run could not start");
  send->add_option("--password", o.passwords,
                   "CODE=PASSWORD: the password for the partner with that code (repeatable); "
                   "for a free-EDI partner, the password of the dealer's online account. "
                   "Without it the password is asked on the terminal (not shown as typed); "
                   "without a terminal that is an error (2)");
  auto* dealer = send->add_option(
      "--dealer", o.dealer,
      "The e-mail address of the dealer's online account, checked with the partner web "
      "service before orders go to free-EDI partners (an empty address sends them without "
      "the check). Without it the address is asked on the terminal");
  send->callback([&cli, dealer] {
    cli.Prepare();
    frmEDI edi;
    if (Err err = edi.OpenHeadless()) std::cerr << "larkedi: " << err.Description << "\n";
    // The whole run holds the spool folder: no other process changes the stack meanwhile.
    OrderStack::Transaction transaction(edi.Orders);
    if (transaction.status()) {
      cli.exit_code =
          Fail(kExitAbort, "cannot lock the order stack: " + transaction.status().Description);
      return;
    }
    edi.Orders.LoadOrders(false);
    if (edi.Orders.LoadStatus) {
      cli.exit_code =
          Fail(kExitAbort, "cannot read the order stack: " + edi.Orders.LoadStatus.Description);
      return;
    }
    SendJournal journal(ModuleFolder());
    SendOrders sender(edi.Orders, journal);
    for (const auto& pair : Options().passwords) {
      const auto eq = pair.find('=');
      if (eq == std::string::npos || eq == 0) {
        cli.exit_code = Fail(kExitUsage, "--password takes CODE=PASSWORD");
        return;
      }
      sender.SetPartnerPassword(pair.substr(0, eq), pair.substr(eq + 1));
    }
    if (dealer->count() > 0) sender.SetDealer(Options().dealer);
    ConsoleProgress progress;
    const bool ran = sender.Run(&progress);
    if (!cli.dialogs.MissingCredentials().empty()) {
      // Asked for without a terminal: the orders that needed it were not sent.
      std::string missing;
      for (const auto& what : cli.dialogs.MissingCredentials()) {
        missing += (missing.empty() ? "" : "; ") + what;
      }
      cli.exit_code = Fail(kExitUsage, "there is no terminal to ask for " + missing);
      return;
    }
    if (!ran) {
      if (sender.nothing_to_send()) {
        std::cout << "no orders to send\n";
        return;
      }
      cli.exit_code = Fail(kExitAbort, "nothing was sent: " + sender.error().Description);
      return;
    }
    int sent = 0;
    for (const auto& row : sender.rows()) {
      if (row.result == SendResult::Sent) ++sent;
    }
    std::cout << sent << " of " << sender.rows().size() << " orders sent\n";
    if (sender.error()) {
      std::cerr << "larkedi: the order stack was not saved: " << sender.error().Description << "\n";
    }
    if (sender.failures() > 0 || sender.error()) cli.exit_code = kExitMissing;
  });

  auto* history = app.add_subcommand(
      "history",
      "List the send journal, newest first: when each order was handed over, to which "
      "partner, its catalogs, and whether it was sent (with its sequence number), refused "
      "(with the reason) or is in doubt");
  history->add_option("--partner", o.partner, "Only this partner code");
  history->add_option("--since", o.since, "Only hand-overs on or after DATE (YYYY-MM-DD, UTC)");
  history->add_option("--search", o.search,
                      "Only entries holding TEXT (design file, PO number, catalog, GlobalID, "
                      "sequence number, reason)");
  history->callback([&cli] {
    cli.Prepare();
    HistoryFilter filter;
    filter.partner_code = Options().partner;
    filter.search = Options().search;
    if (!Options().since.empty() && !ParseHistoryDate(Options().since, &filter.since)) {
      cli.exit_code = Fail(kExitUsage, "--since takes a date YYYY-MM-DD: " + Options().since);
      return;
    }
    SendJournal journal(ModuleFolder());
    std::vector<JournalEntry> entries;
    if (Err err = journal.History(filter, &entries)) {
      cli.exit_code = Fail(
          kExitAbort, "cannot read the send journal " + journal.path() + ": " + err.Description);
      return;
    }
    for (const auto& entry : entries) std::cout << HistoryLine(entry) << "\n";
  });

  auto* connector = app.add_subcommand(
      "connector",
      "The gateway servers of the built-in connector (ConnectMethodOrca), per partner code");
  connector->require_subcommand(1);
  auto* add = connector->add_subcommand(
      "add", "Add a server (host name, or http/https address) for a partner code");
  add->add_option("CODE", o.code, "Partner code")->required();
  add->add_option("SERVER", o.server, "Host name or http(s) address")->required();
  add->callback([&cli] {
    cli.Prepare();
    ConnectMethodOrca orca(ModuleFolder());
    if (Err err = orca.AddServer(Options().code, Options().server)) {
      cli.exit_code = Fail(kExitAbort, "server not added: " + err.Description);
    }
  });
  auto* remove = connector->add_subcommand("remove", "Remove a server of a partner code");
  remove->add_option("CODE", o.code, "Partner code")->required();
  remove->add_option("SERVER", o.server, "The server as added or as listed")->required();
  remove->callback([&cli] {
    cli.Prepare();
    ConnectMethodOrca orca(ModuleFolder());
    if (Err err = orca.RemoveServer(Options().code, Options().server)) {
      cli.exit_code = Fail(kExitMissing, "server not removed: " + err.Description);
    }
  });
  auto* list = connector->add_subcommand("list", "List the servers of a partner code");
  list->add_option("CODE", o.code, "Partner code")->required();
  list->callback([&cli] {
    cli.Prepare();
    ConnectMethodOrca orca(ModuleFolder());
    for (const auto& server : orca.Servers(Options().code)) std::cout << server << "\n";
  });
  auto* test = connector->add_subcommand(
      "test", "Ask the partner's servers for their health; print the first that answers");
  test->add_option("CODE", o.code, "Partner code")->required();
  test->callback([&cli] {
    cli.Prepare();
    ConnectMethodOrca orca(ModuleFolder());
    const std::string parameter = Connection(Options().code);
    if (orca.connectioncount(parameter) == 0) {
      cli.exit_code = Fail(kExitMissing, "no servers for partner " + Options().code);
      return;
    }
    automation::Variant found = orca.testconnection(parameter);
    if (found.IsNull()) {
      cli.exit_code = Fail(kExitMissing, "no server of partner " + Options().code + " answers");
      return;
    }
    std::cout << found.AsString() << "\n";
  });
}

}  // namespace

LARKEDI_REGISTER_COMMAND(SetupSend);

}  // namespace larkedi::cli
