// SendOrders: one send run over the order stack, without a window.
//
// Every order group of the stack marked to send (SENDIT 1) is turned into the purchase
// order of its partner and handed to the partner's connector object (<OBJECTNAME>.spooler).
// The run is built so that no order reaches a partner twice:
//  - before an order is handed over it is recorded in the send journal, and the answer is
//    recorded when it comes;
//  - an order the journal shows accepted is removed from the stack instead of being sent
//    again; one handed over without an answer ("in doubt") is sent again only when the
//    dealer confirms it;
//  - the stack is saved after every sent order, so an error later in the batch never leaves
//    an accepted order stacked;
//  - an error in one order ends that order only; the batch goes on.
//
// Progress goes to a SendObserver, one row per order group. Row texts are plain text: the
// page that shows them escapes them. No password is written to the log or to any file.
//
// Nothing throws. Run() returns whether the loop ran to its end.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "orders/order_stack.h"
#include "platform/err.h"
#include "sending/send_journal.h"

namespace larkedi {

/// How one order ended.
enum class SendResult {
  Sent,         // the partner accepted it now
  AlreadySent,  // the journal shows an earlier acceptance; removed without sending
  Failed,       // not sent (the row says why)
  Canceled,     // the dealer cancelled a dialog
  InDoubt,      // handed over without an answer, or an earlier hand-over left unconfirmed
  Declined,     // the dealer chose not to send it without a missing file
};

/// Text of a result for a console line: "sent", "already sent", "failed", ...
const char* SendResultText(SendResult result);

/// One order group's row. Every text is plain (not markup).
struct SendRow {
  std::string order_id;
  std::string design_file;
  std::string partner_id;
  std::string partner_code;
  std::string partner_name;
  std::vector<std::string> catalogs;
  /// Catalogs the partner accepted (now or in an earlier run) although the order as a
  /// whole was not sent; their sequence numbers are in `sequence`.
  std::vector<std::string> accepted_catalogs;
  SendResult result = SendResult::Failed;
  /// The status word (e.g. the failure word) and the message.
  std::string word;
  std::string message;
  /// Sequence numbers the partner returned, joined by ", ".
  std::string sequence;
  /// The message as page markup when it carries links (data in it already escaped);
  /// empty when `message` is plain text only.
  std::string message_html;
};

/// A catalog the partner accepted on its own (per-catalog sends and legacy programs).
struct CatalogAccepted {
  std::string name;
  std::string sequence;
  /// The send journal's entry of its hand-over.
  int64_t entry_id = 0;
};

/// Receives the progress of a run.
class SendObserver {
 public:
  virtual ~SendObserver() = default;
  /// The orders to send are chosen (SENDIT 1 in the stack); none has been sent yet.
  virtual void SendStarting() {}
  /// The order `order_id` reached a step (`percent` of its bar, -1: unchanged).
  virtual void OrderStep(const std::string& order_id, const std::string& step, int percent) {
    (void)order_id;
    (void)step;
    (void)percent;
  }
  /// The order's row is final.
  virtual void OrderDone(const SendRow& row) = 0;
};

class SendOrders {
 public:
  /// A sender for `stack` (already loaded) recording in `journal`; both outlive it.
  SendOrders(OrderStack& stack, SendJournal& journal);

  /// Gives the password of the partner with code `partner_code` (as typed, not encoded), so
  /// no dialog asks for it.
  void SetPartnerPassword(const std::string& partner_code, const std::string& password);
  /// Gives the dealer's e-mail address for the free-EDI account check, so the dealer
  /// dialog is not shown (its password: SetPartnerPassword with the partner's code, else
  /// it is asked for alone).
  void SetDealer(const std::string& email);

  /// Sends the stack's orders. True when the order loop ran to its end (orders may still
  /// have failed: see rows()); false when the run could not start (the spool folder
  /// changed, nothing to send, no journal); error() then says why.
  bool Run(SendObserver* observer = nullptr);

  /// The rows of the last run, in order.
  const std::vector<SendRow>& rows() const { return rows_; }
  /// Rows of the last run that did not end sent, already sent or declined.
  int failures() const;
  /// Why the last run stopped early, or the last save failure; empty otherwise.
  const Err& error() const { return error_; }
  /// The last run found no order to send.
  bool nothing_to_send() const { return nothing_to_send_; }
  /// The last run changed the settings (a partner dropped, a dealer e-mail confirmed); they
  /// were saved at its end.
  bool settings_changed() const { return settings_changed_; }

 private:
  struct Order;
  void StartOrder(Order& o, const xml::Node& order) const;
  void SendOne(xml::Node order, const xml::NodeList& send_list, SendObserver* observer);
  /// First pass: one legacy-method order, catalog by catalog (legacy_send.cpp).
  bool SendLegacyOrder(xml::Node order, const xml::NodeList& send_list);
  /// Ends an order that was not sent whole: catalogs accepted now (`accepted`) or before
  /// are archived and leave the stack, the order keeps the others, the row names them.
  void KeepUnsentCatalogs(Order& o, xml::Node order, const xml::Document& tmpdoc, SendResult result,
                          std::string word, std::string message,
                          const std::vector<CatalogAccepted>& accepted);
  bool CheckJournal(Order& o, xml::Node order, const xml::NodeList& send_list);
  bool Credentials(Order& o, xml::Document& tmpdoc);
  bool FreeEdiActive(Order& o);
  bool DealerAccount(Order& o, xml::Document& tmpdoc);
  void Finish(Order& o, SendResult result, std::string word, std::string message);
  void ArchiveCopy(const Order& o, const xml::Document& tmpdoc, int64_t entry_id);
  void SaveStack(Order* o);
  std::string Setting(const std::string& partner_id, const std::string& element) const;

  OrderStack& stack_;
  SendJournal& journal_;
  /// Encoded partner passwords by partner ID, kept across runs.
  std::map<std::string, std::string> password_cache_;
  /// Passwords given by partner code (upper case), not yet encoded.
  std::map<std::string, std::string> given_passwords_;
  std::string archive_path_;
  std::vector<SendRow> rows_;
  SendObserver* observer_ = nullptr;
  Err error_;
  bool nothing_to_send_ = false;
  bool settings_changed_ = false;
  /// The dealer's e-mail address given for free-EDI partners (SetDealer).
  std::optional<std::string> dealer_email_;
};

}  // namespace larkedi
