// The steps a send run shares between its connector and legacy paths: handing one document
// to a connector with the journal kept, the per-catalog loop, and the bookkeeping of an
// order whose catalogs were accepted one by one (the accepted ones leave the stack, the
// others stay to be sent).
//
// Internal to src/sending. Nothing throws.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "orders/order_stack.h"
#include "platform/xml/xml.h"
#include "sending/send_journal.h"
#include "sending/send_pipeline.h"

namespace larkedi {

namespace automation {
class AutomationObject;
}

/// What one order's send knows while it runs.
struct SendOrders::Order {
  SendRow row;
  std::string object_name;
  std::string manuf_id;
  std::string dealer_id;
  std::string password;
  /// Catalogs of this order the journal shows accepted by earlier runs, with their
  /// sequence numbers: they are not sent again.
  std::map<std::string, std::string> accepted_before;
  /// The partner is a free-EDI partner: the dealer's online account stands for it.
  bool free_edi = false;
  bool done = false;
};

/// "MM/DD/YYYY H:M:S" of the local clock, the time fields without leading zeros.
std::string SentDateText();

/// The sendfiles form of the input parameter: the document goes in as markup.
std::string SendParameter(const std::string& partner_code, const std::string& data);

/// Catalogs the journal entries show accepted, by name, with their sequence numbers. An
/// accepted entry that names no catalog stood for its whole order: `whole` is then set.
std::map<std::string, std::string> AcceptedCatalogs(const std::vector<JournalEntry>& entries,
                                                    bool* whole);

/// How one hand-over to a connector ended.
struct HandOff {
  enum class Result { Accepted, Refused, InDoubt, NotRecorded };
  Result result = Result::NotRecorded;
  std::string sequence;
  int64_t entry_id = 0;
  /// Plain text for the row when not accepted.
  std::string message;
};

/// One connector send of an order: the connector, the journal, and what every hand-over
/// records.
struct ConnectorSend {
  automation::AutomationObject* connector = nullptr;
  SendJournal* journal = nullptr;
  /// The order as the journal records it (catalogs and GlobalIDs are filled per call).
  JournalOrder order;
  /// The partner's style sheet; empty: the document itself is sent.
  std::string xsl;
  /// Step messages for the order's row (may be empty).
  std::function<void(const std::string& step, int percent)> step;
  /// Sees each document just before it is handed over (may be empty).
  std::function<void(const std::string& data)> document_ready;
};

/// Records the hand-over of `data` (the catalogs `catalogs`, GlobalID `global_id`) in the
/// journal, calls sendfiles and records the answer. A call that itself fails, or an answer
/// that leaves open whether the order arrived, is in doubt.
HandOff SendDocument(ConnectorSend& send, const std::string& data,
                     const std::vector<std::string>& catalogs, const std::string& global_id);

/// What the per-catalog loop did.
struct CatalogSends {
  /// Catalogs accepted now, in order: name, sequence, journal entry.
  std::vector<CatalogAccepted> accepted;
  /// Catalogs `tmpdoc` held (those skipped included).
  int catalogs = 0;
  /// Set when a catalog failed: the loop stopped there.
  bool failed = false;
  bool in_doubt = false;
  bool refused = false;
  std::string word;
  std::string message;
};

/// Sends each catalog of `tmpdoc` that `skip` does not name with its own sendfiles call: a
/// new GlobalID, CurCatalog and DateSent, the partner's conversion cut down to the catalog.
/// Stops at the first catalog that fails.
CatalogSends SendPerCatalog(ConnectorSend& send, xml::Document& tmpdoc,
                            const std::map<std::string, std::string>& skip);

/// Takes the catalogs named in `names` out of the order group `order` and out of its design
/// in the stack (unless another group still lists them), marking the design changed. The
/// group stays with the catalogs still to send.
void DropSentCatalogs(OrderStack& stack, xml::Node order, const std::set<std::string>& names);

/// A copy of `tmpdoc` holding only the catalogs named in `names`.
bool KeepCatalogs(const xml::Document& tmpdoc, const std::set<std::string>& names,
                  xml::Document* copy);

/// Sequence numbers joined by ", " (blank ones left out).
std::string JoinSequences(const std::vector<std::string>& sequences);

/// "ABC (sequence 101), DEF (sequence 102)".
std::string AcceptedText(const std::vector<std::pair<std::string, std::string>>& accepted);

}  // namespace larkedi
