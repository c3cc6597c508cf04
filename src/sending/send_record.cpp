#include "sending/send_record.h"

#include "platform/xml/xml.h"
#include "sending/connect_method_orca.h"
#include "support/xml_helpers.h"

namespace larkedi {

std::string SequenceOf(const std::string& response) {
  xml::Document doc;
  if (!doc.loadXML(response)) return "";
  return Trim(GetNodeText(doc, "RESPONSE/SEQUENCE"));
}

Err RecordSendAnswer(SendJournal& journal, int64_t entry_id, const ConnectorAnswer& answer,
                     bool* in_doubt) {
  if (in_doubt) *in_doubt = false;
  if (answer.accepted) return journal.RecordAccepted(entry_id, SequenceOf(answer.response));
  if (answer.error_number == kErrOrcaNoAnswer) {
    if (in_doubt) *in_doubt = true;
    return {};
  }
  return journal.RecordRefused(
      entry_id, std::to_string(answer.error_number) + ": " + answer.error_description);
}

}  // namespace larkedi
