// The send journal: what was handed to a transmission method and what it answered.
//
// Before an order (or one catalog of it) is handed to a connector or a legacy program, the
// send pipeline records it here; when the answer comes it records that too. A crash in
// between leaves the entry "in doubt": the order may have reached the partner, so it must
// not be sent again before the dealer has confirmed. The journal is an SQLite database in
// the module folder (<module folder>/larkEDI-journal.db), written one step per transaction
// in write-ahead-log mode, so the window, the command line and other processes can share
// it and a committed step survives a crash.
//
// Every operation returns an Err (empty on success). Nothing throws.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/err.h"

namespace larkedi {

namespace sqlite {
class Database;
}

/// What the journal knows about an order (a design's order group for one partner).
enum class SendState {
  NotRecorded,  // never handed over
  InDoubt,      // handed over, no answer recorded: it may have been sent
  Accepted,     // the partner accepted it (sequence number known)
  Refused,      // the partner or the method refused it (reason known)
};

/// Text of a state as the history lists it: "not recorded", "in doubt", "sent", "refused".
const char* SendStateText(SendState state);

/// One hand-over as the pipeline records it.
struct JournalOrder {
  /// The design's stack file name (GUID + ".xme"): the design's stable identity.
  std::string design_file;
  /// The order group's ID in the stack.
  std::string order_id;
  std::string partner_id;
  std::string partner_code;
  /// Names of the catalogs handed over.
  std::vector<std::string> catalogs;
  /// The GlobalIDs written into the documents handed over.
  std::vector<std::string> global_ids;
  std::string po_number;
  /// Seconds since the epoch; 0 takes the current time (Env::Now).
  int64_t time = 0;
};

/// One journal entry: a hand-over and its answer.
struct JournalEntry {
  int64_t id = 0;
  JournalOrder order;
  SendState state = SendState::InDoubt;
  /// The partner's sequence number (accepted entries).
  std::string sequence;
  /// Why it was refused (refused entries).
  std::string reason;
  /// When the answer was recorded (seconds since the epoch); 0 while in doubt.
  int64_t answered = 0;
};

/// Filter of the history list; empty members do not filter.
struct HistoryFilter {
  /// Partner code, without regard to case.
  std::string partner_code;
  /// Only entries handed over at or after this time (seconds since the epoch); 0: all.
  int64_t since = 0;
  /// Text found (without regard to case) in the design file, order ID, partner code,
  /// purchase-order number, catalogs, GlobalIDs, sequence number or reason.
  std::string search;
  /// At most this many entries; 0: all.
  int limit = 0;
};

/// One line of the history list: hand-over time (UTC), partner code, design file, order ID,
/// purchase-order number, catalogs, state, then the sequence number or the reason, e.g.
/// "2026-12-07 14:03:11Z  NWC  3F2A....xme  order 2  PO 4711  Base, Wall  sent 41".
std::string HistoryLine(const JournalEntry& entry);

/// Reads a date ("YYYY-MM-DD", optionally followed by "THH:MM:SS" or " HH:MM:SS", taken as
/// UTC) as seconds since the epoch, for the history's since filter. False when it is not one.
bool ParseHistoryDate(const std::string& text, int64_t* seconds);

class SendJournal {
 public:
  /// The journal of the module in `module_folder`. The database is opened (and created)
  /// by the first operation.
  explicit SendJournal(std::string module_folder);
  ~SendJournal();
  SendJournal(const SendJournal&) = delete;
  SendJournal& operator=(const SendJournal&) = delete;

  /// Full path of the database file.
  const std::string& path() const { return path_; }

  /// Opens the database now (creating file and tables when missing).
  Err Open();
  /// Records a hand-over before it happens; `entry_id` receives the entry's number.
  Err HandOver(const JournalOrder& order, int64_t* entry_id);
  /// Records the partner's acceptance of an entry still in doubt.
  Err RecordAccepted(int64_t entry_id, const std::string& sequence);
  /// Records a refusal of an entry still in doubt.
  Err RecordRefused(int64_t entry_id, const std::string& reason);

  /// The state of the order of `design_file` for `partner_id`: in doubt when any of its
  /// hand-overs has no answer, else the state of its latest hand-over; not recorded when
  /// it was never handed over. `entries` (may be null) receives its entries, oldest first.
  Err OrderState(const std::string& design_file, const std::string& partner_id, SendState* state,
                 std::vector<JournalEntry>* entries = nullptr);
  /// The entries matching `filter`, newest first.
  Err History(const HistoryFilter& filter, std::vector<JournalEntry>* entries);

 private:
  Err EnsureOpen();
  Err Answer(int64_t entry_id, SendState state, const std::string& sequence,
             const std::string& reason);

  std::string path_;
  std::unique_ptr<sqlite::Database> db_;
};

}  // namespace larkedi
