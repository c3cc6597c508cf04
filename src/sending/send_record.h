// Turns a transmission method's answer into the send journal's record of a hand-over.
#pragma once

#include <cstdint>
#include <string>

#include "platform/err.h"
#include "sending/send_journal.h"

namespace larkedi {

/// What a connector said about one `sendfiles` call.
struct ConnectorAnswer {
  bool accepted = false;
  /// The `response` text (RESPONSE/SEQUENCE) when accepted.
  std::string response;
  long error_number = 0;
  std::string error_description;
};

/// The sequence number in a connector's response; empty when it holds none.
std::string SequenceOf(const std::string& response);

/// Records the answer to the hand-over `entry_id`: accepted with its sequence number, or
/// refused with "number: description". An answer that leaves open whether the order
/// arrived (the built-in connector sent it and got no usable answer) records nothing: the
/// entry stays in doubt. `in_doubt` (may be null) tells which happened.
Err RecordSendAnswer(SendJournal& journal, int64_t entry_id, const ConnectorAnswer& answer,
                     bool* in_doubt = nullptr);

}  // namespace larkedi
