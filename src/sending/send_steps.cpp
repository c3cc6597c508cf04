#include "sending/send_steps.h"

#include <algorithm>
#include <cstdio>

#include "platform/automation/automation.h"
#include "platform/env.h"
#include "sending/order_document.h"
#include "sending/send_record.h"
#include "support/log.h"
#include "support/resx.h"
#include "support/utility.h"
#include "support/vb_date.h"
#include "support/xml_helpers.h"

namespace larkedi {

std::string SentDateText() {
  const DateParts p = Date::Now().Parts();
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %d:%d:%d", p.Month, p.Day, p.Year, p.Hour,
                p.Minute, p.Second);
  return buf;
}

std::string SendParameter(const std::string& partner_code, const std::string& data) {
  return "<InputParameter><PartnerCode><![CDATA[" + partner_code + "]]></PartnerCode><Data>" +
         data + "</Data></InputParameter>";
}

std::map<std::string, std::string> AcceptedCatalogs(const std::vector<JournalEntry>& entries,
                                                    bool* whole) {
  std::map<std::string, std::string> accepted;
  if (whole) *whole = false;
  for (const JournalEntry& e : entries) {
    if (e.state != SendState::Accepted) continue;
    if (e.order.catalogs.empty() && whole) *whole = true;
    for (const std::string& name : e.order.catalogs) accepted[name] = e.sequence;
  }
  return accepted;
}

HandOff SendDocument(ConnectorSend& send, const std::string& data,
                     const std::vector<std::string>& catalogs, const std::string& global_id) {
  HandOff h;
  if (send.document_ready) send.document_ready(data);
  // Recorded before it leaves: a crash from here on leaves the document in doubt, never
  // silently unsent or sent twice.
  JournalOrder order = send.order;
  order.catalogs = catalogs;
  order.global_ids.clear();
  if (!global_id.empty()) order.global_ids.push_back(global_id);
  if (Err err = send.journal->HandOver(order, &h.entry_id)) {
    h.message = "not sent: the send journal could not record it: " + err.Description;
    return h;
  }
  if (send.step) send.step(Res("MSG DataReady"), 60);
  WriteLog("'xc.sendfiles(params)");
  std::vector<automation::Variant> args{
      automation::Variant(SendParameter(send.order.partner_code, data))};
  automation::Variant value;
  const Err send_error = send.connector->Call("sendfiles", args, &value);
  CrashPoint("send-handed-over");
  if (send_error) {
    // The call itself failed (a served connector that crashed or hung): whether the
    // document left cannot be known, so the entry stays in doubt.
    h.result = HandOff::Result::InDoubt;
    h.message = "may have been sent: " +
                ResParam("MSG ErrorNumberDescription",
                         {std::to_string(send_error.Number), send_error.Description});
    return h;
  }
  ConnectorAnswer answer;
  answer.accepted = value.AsBool();
  automation::Variant field;
  if (!send.connector->Get("response", &field)) answer.response = field.AsString();
  if (!send.connector->Get("errornumber", &field)) {
    answer.error_number = static_cast<long>(field.AsLong());
  }
  if (!send.connector->Get("errordescription", &field)) {
    answer.error_description = field.AsString();
  }
  bool in_doubt = false;
  if (Err err = RecordSendAnswer(*send.journal, h.entry_id, answer, &in_doubt)) {
    LogError("SendOrders: recording the answer", err);
  }
  if (answer.accepted) {
    h.result = HandOff::Result::Accepted;
    h.sequence = SequenceOf(answer.response);
    CrashPoint("send-accepted");
    return h;
  }
  const std::string message =
      ResParam("MSG ErrorNumberDescription",
               {std::to_string(answer.error_number), answer.error_description});
  if (in_doubt) {
    h.result = HandOff::Result::InDoubt;
    h.message = "may have been sent (no answer came back): " + message;
  } else {
    h.result = HandOff::Result::Refused;
    h.message = message;
  }
  return h;
}

CatalogSends SendPerCatalog(ConnectorSend& send, xml::Document& tmpdoc,
                            const std::map<std::string, std::string>& skip) {
  CatalogSends r;
  const xml::NodeList catalogs = tmpdoc.selectNodes("//Catalog");
  r.catalogs = catalogs.length();
  Utility utility;
  for (xml::Node catalog : catalogs) {
    const std::string name = GetNodeText(catalog, "Identification/Name");
    if (skip.count(name)) continue;  // accepted by an earlier run
    const std::string guid = utility.GetGUID();
    SetHeaderValue(tmpdoc, "Design/JobInfo/Header/GlobalID", "Design/JobInfo/Header", guid);
    if (xml::Node cur = tmpdoc.selectSingleNode("Design/CurCatalog")) {
      cur.setText(name);
    } else if (xml::Node root = tmpdoc.selectSingleNode("Design")) {
      xml::Node added = root.appendChild(tmpdoc.createElement("CurCatalog"));
      added.appendChild(tmpdoc.createCDATASection(name));
    }
    SetHeaderValue(tmpdoc, "Design/JobInfo/Header/DateSent", "Design/JobInfo/Header",
                   SentDateText());
    std::string result;
    if (!Trim(send.xsl).empty()) {
      std::string path = send.xsl;
      result = DoCustomTransformation(tmpdoc, path);
      if (result.rfind("ERROR", 0) == 0) {
        r.failed = true;
        r.word = "Transformation error";
        r.message = result;
        break;
      }
    } else {
      result = tmpdoc.xml();
    }
    xml::Document catalog_doc;
    if (!catalog_doc.loadXML(result)) {
      r.failed = true;
      r.word = Res("MSG Failure");
      r.message = "the converted order of catalog " + name +
                  " is not XML: " + catalog_doc.parseErrorReason();
      break;
    }
    KeepCatalogOnly(catalog_doc, name);
    std::string data = catalog_doc.xml();
    RemoveXmlHeader(data);
    const HandOff h = SendDocument(send, data, {name}, guid);
    if (h.result == HandOff::Result::Accepted) {
      r.accepted.push_back({name, h.sequence, h.entry_id});
      continue;
    }
    r.failed = true;
    r.in_doubt = h.result == HandOff::Result::InDoubt;
    r.refused = h.result == HandOff::Result::Refused;
    r.word = r.in_doubt ? "in doubt" : Res("MSG Failure");
    r.message = h.message;
    break;
  }
  return r;
}

void DropSentCatalogs(OrderStack& stack, xml::Node order, const std::set<std::string>& names) {
  xml::Node design = order.parentNode();
  if (design.isNull() || names.empty()) return;
  std::set<std::string> ids;
  for (xml::Node cid : order.selectNodes("CATALOGID")) {
    const std::string name = GetNodeText(
        design, "Catalog[ID=" + xml::XPathLiteral(cid.text()) + "]/Identification/Name");
    if (!names.count(name)) continue;
    ids.insert(cid.text());
    order.removeChild(cid);
  }
  std::set<std::string> still_listed;
  for (xml::Node other : design.selectNodes("ORDERGROUP")) {
    if (other == order) continue;
    for (xml::Node cid : other.selectNodes("CATALOGID")) still_listed.insert(cid.text());
  }
  for (const std::string& id : ids) {
    if (still_listed.count(id)) continue;
    if (xml::Node catalog = design.selectSingleNode("Catalog[ID=" + xml::XPathLiteral(id) + "]")) {
      design.removeChild(catalog);
    }
  }
  stack.MarkChanged(design);
}

bool KeepCatalogs(const xml::Document& tmpdoc, const std::set<std::string>& names,
                  xml::Document* copy) {
  if (!copy->loadXML(tmpdoc.xml())) return false;
  for (xml::Node catalog : copy->selectNodes("//Catalog")) {
    if (!names.count(GetNodeText(catalog, "Identification/Name"))) {
      catalog.parentNode().removeChild(catalog);
    }
  }
  return true;
}

std::string JoinSequences(const std::vector<std::string>& sequences) {
  std::string text;
  for (const std::string& sequence : sequences) {
    if (Trim(sequence).empty()) continue;
    if (!text.empty()) text += ", ";
    text += sequence;
  }
  return text;
}

std::string AcceptedText(const std::vector<std::pair<std::string, std::string>>& accepted) {
  std::string text;
  for (const auto& [name, sequence] : accepted) {
    if (!text.empty()) text += ", ";
    text += name;
    if (!sequence.empty()) text += " (sequence " + sequence + ")";
  }
  return text;
}

}  // namespace larkedi

namespace larkedi {

void SendOrders::KeepUnsentCatalogs(Order& o, xml::Node order, const xml::Document& tmpdoc,
                                    SendResult result, std::string word, std::string message,
                                    const std::vector<CatalogAccepted>& accepted) {
  std::set<std::string> now;
  for (const CatalogAccepted& a : accepted) now.insert(a.name);
  if (!now.empty()) {
    // The catalogs that went out are archived like a sent order.
    xml::Document copy;
    if (KeepCatalogs(tmpdoc, now, &copy)) ArchiveCopy(o, copy, accepted.back().entry_id);
  }
  std::set<std::string> gone = now;
  std::vector<std::pair<std::string, std::string>> listed;
  std::vector<std::string> sequences;
  for (const std::string& name : o.row.catalogs) {
    auto before = o.accepted_before.find(name);
    std::string sequence;
    if (before != o.accepted_before.end()) {
      sequence = before->second;
    } else {
      auto it = std::find_if(accepted.begin(), accepted.end(),
                             [&name](const CatalogAccepted& a) { return a.name == name; });
      if (it == accepted.end()) continue;
      sequence = it->sequence;
    }
    gone.insert(name);
    listed.emplace_back(name, sequence);
    sequences.push_back(sequence);
    o.row.accepted_catalogs.push_back(name);
  }
  if (!gone.empty()) {
    // Only the catalogs still to send stay stacked, so no run sends the others again.
    DropSentCatalogs(stack_, order, gone);
    o.row.sequence = JoinSequences(sequences);
    message += "; accepted: " + AcceptedText(listed) + "; the order keeps only the catalogs " +
               "still to send";
    SaveStack(&o);
  }
  Finish(o, result, std::move(word), std::move(message));
}

}  // namespace larkedi
