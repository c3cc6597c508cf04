#include "sending/send_pipeline.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "orders/xme_file.h"
#include "platform/automation/automation.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/frame_model.h"
#include "platform/xml/xml.h"
#include "sending/connect_method_orca.h"
#include "sending/credential_dialogs.h"
#include "sending/free_edi_account.h"
#include "sending/last_po.h"
#include "sending/order_document.h"
#include "sending/send_record.h"
#include "sending/send_steps.h"
#include "sending/transmission_method.h"
#include "settings/partner_service.h"
#include "settings/settings_document.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/utility.h"
#include "support/vb_date.h"
#include "support/xml_helpers.h"
#include "validation/edi_validate.h"

namespace larkedi {
namespace {

constexpr const char* kPasswordKey = "7850";

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

const char* SendResultText(SendResult result) {
  switch (result) {
    case SendResult::Sent:
      return "sent";
    case SendResult::AlreadySent:
      return "already sent";
    case SendResult::Failed:
      return "failed";
    case SendResult::Canceled:
      return "canceled";
    case SendResult::InDoubt:
      return "in doubt";
    case SendResult::Declined:
      return "not sent (declined)";
  }
  return "failed";
}

SendOrders::SendOrders(OrderStack& stack, SendJournal& journal)
    : stack_(stack), journal_(journal) {}

void SendOrders::SetPartnerPassword(const std::string& partner_code, const std::string& password) {
  given_passwords_[Upper(Trim(partner_code))] = password;
}

void SendOrders::SetDealer(const std::string& email) {
  dealer_email_ = email;
}

int SendOrders::failures() const {
  int n = 0;
  for (const auto& row : rows_) {
    if (row.result != SendResult::Sent && row.result != SendResult::AlreadySent &&
        row.result != SendResult::Declined) {
      ++n;
    }
  }
  return n;
}

std::string SendOrders::Setting(const std::string& partner_id, const std::string& element) const {
  return GetNodeText(stack_.Settings().docSettings,
                     "SETTINGS/PARTNER[ID=" + xml::XPathLiteral(partner_id) + "]/" + element);
}

bool SendOrders::Run(SendObserver* observer) {
  WriteLog("Entering SendOrders.");
  rows_.clear();
  error_.Clear();
  nothing_to_send_ = false;
  settings_changed_ = false;
  observer_ = observer;
  RegisterConnectMethodOrca();
  bool result = false;
  auto exit_log = [&result] {
    WriteLog(std::string("Exiting SendOrders. Returned value: ") + (result ? "True" : "False"));
  };

  WriteLog("Verify if order list is still the same.");
  if (stack_.IsSpoolerChanged()) {
    const std::string text = Res("MSG TheOrderListHasChanged");
    CurrentDialogs().MsgBox(text + "\n" + Res("MSG PleaseVerifyOrderList"), MsgButtons::OK,
                            MsgIcon::Exclamation, ModuleTitle());
    WriteLog(text);
    stack_.docOrders.loadXML("");
    error_ = Err::Raise(kErrGeneral, "SendOrders", text);
    exit_log();
    return false;
  }
  if (Err err = journal_.Open()) {
    error_ = err;
    exit_log();
    return false;
  }

  {
    clsEdiValidate validator;
    if (!validator.ValidateOrders(stack_.docOrders, true)) {
      WriteLog("Could not validate Orders doc in LoadOrders.");
    }
  }

  WriteLog("Getting orders to send from xdoc document.");
  const xml::NodeList send_list =
      stack_.docOrders.selectNodes("Orders/Design/ORDERGROUP[SENDIT='1']");
  if (send_list.length() == 0) {
    const std::string text = Res("OST NoOrdersToSend");
    WriteLog(text);
    nothing_to_send_ = true;
    error_ = Err::Raise(kErrGeneral, "SendOrders", text);
    exit_log();
    return false;
  }
  if (observer_) observer_->SendStarting();

  // The archive folder, made to exist before the loop.
  xml::Node archive_node;
  GetSingleNode("SETTINGS/ARCHIVEPATH", stack_.Settings().docSettings, archive_node);
  archive_path_ = archive_node ? archive_node.text() : std::string();
  WriteLog("Got archivepath from Settings document. Value: " + archive_path_);
  if (Trim(archive_path_).empty() || !Env::Default()->IsDirectory(archive_path_)) {
    archive_path_ = JoinPath(ModuleFolder(), "Archive");
    WriteLog("The path was not found. Will be set to " + archive_path_);
    if (archive_node) {
      archive_node.setText(archive_path_);
    } else {
      WriteLog(
          "Unable to set SETTINGS/ARCHIVEPATH, this element does not exist in Settings "
          "document.");
    }
    Env::Default()->CreateDirectories(archive_path_, nullptr);
  }

  // One order's failure must not end the batch.
  auto error_row = [this](xml::Node order, const char* what) {
    SendRow row;
    row.order_id = GetNodeText(order, "ID");
    row.partner_id = Trim(GetNodeText(order, "PARTNERID"));
    row.result = SendResult::Failed;
    row.word = Res("MSG Failure");
    row.message = what;
    rows_.push_back(row);
    if (observer_) observer_->OrderDone(row);
    SaveStack(nullptr);
  };

  // First pass: the orders of legacy methods go to their programs, catalog by catalog.
  WriteLog("Start processing orders associated to a legacy transmission method.");
  for (xml::Node order : send_list) {
    if (order.parentNode().isNull() || !IsLegacyMethod(order)) continue;
    try {
      SendLegacyOrder(order, send_list);
    } catch (const std::exception& e) {
      error_row(order, e.what());
    }
  }

  WriteLog("About to run order list. For each order to send:");
  for (xml::Node order : send_list) {
    // A group an earlier order of this run removed is no longer in the stack.
    if (order.parentNode().isNull()) continue;
    if (IsLegacyMethod(order)) continue;  // the first pass had it
    try {
      SendOne(order, send_list, observer);
    } catch (const std::exception& e) {
      error_row(order, e.what());
    }
  }
  SaveStack(nullptr);
  // A partner dropped or a dealer e-mail confirmed by this run is kept.
  if (settings_changed_) {
    if (Err err = stack_.Settings().SaveChanges()) {
      LogError("SendOrders: saving the settings", err);
      error_ = err;
    }
  }
  result = true;
  exit_log();
  return result;
}

void SendOrders::Finish(Order& o, SendResult result, std::string word, std::string message) {
  if (o.done) return;
  o.done = true;
  o.row.result = result;
  o.row.word = std::move(word);
  o.row.message = std::move(message);
  rows_.push_back(o.row);
  if (observer_) observer_->OrderDone(o.row);
}

void SendOrders::SaveStack(Order* o) {
  if (Err err = stack_.SaveOrders()) {
    LogError("SendOrders: saving the order stack", err);
    error_ = err;
    if (o && !o->done) o->row.message += " (" + err.Description + ")";
  }
}

// Consults the journal about an order before it is sent. False when it must not be sent
// now (its row is then final).
bool SendOrders::CheckJournal(Order& o, xml::Node order, const xml::NodeList& send_list) {
  SendState state = SendState::NotRecorded;
  std::vector<JournalEntry> entries;
  if (Err err = journal_.OrderState(o.row.design_file, o.row.partner_id, &state, &entries)) {
    Finish(o, SendResult::Failed, Res("MSG Failure"), "send journal: " + err.Description);
    return false;
  }
  // Catalogs accepted one by one are not sent again; the order is sent when all are.
  bool whole = false;
  std::map<std::string, std::string> accepted = AcceptedCatalogs(entries, &whole);
  bool all_accepted = whole;
  if (!whole && !accepted.empty()) {
    all_accepted = true;
    for (const auto& name : o.row.catalogs) all_accepted = all_accepted && accepted.count(name);
  }
  if (all_accepted) {
    // Accepted before, but still stacked (the run that sent it ended before its save).
    if (whole) {
      o.row.sequence = entries.empty() ? std::string() : entries.back().sequence;
    } else {
      std::vector<std::string> sequences;
      for (const auto& name : o.row.catalogs) {
        if (!accepted[name].empty()) sequences.push_back(accepted[name]);
      }
      o.row.sequence = JoinSequences(sequences);
    }
    stack_.RemoveSentOrder(order, send_list);
    Finish(o, SendResult::AlreadySent, Res("MSG Done"),
           "accepted earlier; removed from the order stack without sending it again");
    SaveStack(&o);
    return false;
  }
  for (const auto& name : o.row.catalogs) {
    if (accepted.count(name)) o.accepted_before[name] = accepted[name];
  }
  if (state != SendState::InDoubt) return true;
  // The latest open hand-over, as the history lists it.
  std::string when = "an earlier send";
  for (const auto& e : entries) {
    if (e.state == SendState::InDoubt) when = HistoryLine(e);
  }
  const std::string question = "The order " + o.row.order_id + " for " + o.row.partner_name +
                               " may have been sent already: it was handed over without an "
                               "answer (" +
                               when + ").\nSend it again?";
  if (CurrentDialogs().MsgBox(question, MsgButtons::YesNo, MsgIcon::Question, ModuleTitle()) !=
      MsgResult::Yes) {
    Finish(o, SendResult::InDoubt, "in doubt",
           "may have been sent (handed over without an answer); not sent again until the "
           "dealer confirms");
    return false;
  }
  // The dealer confirmed it did not arrive: the open hand-overs are closed as such, so the
  // journal tells the new send apart.
  for (const auto& e : entries) {
    if (e.state == SendState::InDoubt) {
      journal_.RecordRefused(e.id, "not received, as the dealer confirmed; sent again");
    }
  }
  return true;
}

bool SendOrders::Credentials(Order& o, xml::Document& tmpdoc) {
  if (o.free_edi) return DealerAccount(o, tmpdoc);
  auto cached = password_cache_.find(o.row.partner_id);
  if (cached != password_cache_.end()) {
    o.password = cached->second;
    return true;
  }
  std::string typed;
  auto given = given_passwords_.find(Upper(o.row.partner_code));
  if (given != given_passwords_.end()) {
    typed = given->second;
  } else {
    if (observer_) observer_->OrderStep(o.row.order_id, Res("MSG GettingPassword"), 40);
    frmPassword dialog;
    dialog.PartnerCode = o.row.partner_code;
    dialog.lblPrompt =
        ResParam("OST PleaseEnterPasswordForDealerPartner", {o.dealer_id, o.row.partner_name});
    typed = dialog.GetPassword();
    if (dialog.Cancelled) {
      Finish(o, SendResult::Canceled, Res("MSG Canceled"), Res("MSG UserCanceledSendingOrder"));
      return false;
    }
  }
  Utility utility;
  o.password = utility.Encode(Trim(typed), kPasswordKey);
  password_cache_[o.row.partner_id] = o.password;
  return true;
}

// The partner web service must still take free-EDI orders for the partner's manufacturer.
// Only a definite "not active" drops the partner from the settings; no answer fails the
// order alone.
bool SendOrders::FreeEdiActive(Order& o) {
  const FreeEdiActivity activity = AskFreeEdiActivity(Setting(o.row.partner_id, "MANUFID"));
  if (activity == FreeEdiActivity::Active) return true;
  if (activity == FreeEdiActivity::NoAnswer) {
    Finish(o, SendResult::Failed, Res("MSG Failure"),
           ResParam("MSG UnableSendOrderParam", {o.row.partner_name}) +
               "\nThe partner web service did not say whether the free EDI service of " +
               o.row.partner_name + " is active; the order stays in the stack.");
    return false;
  }
  o.row.message_html = ResParam("MSG FreeEdiInactive", {ui::EscapeHtml(o.row.partner_name)}) +
                       "<BR>&nbsp;&nbsp;" + Res("MSG PleaseChooseAnotherPartner");
  Finish(o, SendResult::Failed, Res("MSG Failure"),
         ResParam("MSG FreeEdiInactive", {o.row.partner_name}) + "\n" +
             Res("MSG PleaseChooseAnotherPartner"));
  xml::Node partner = stack_.Settings().docSettings.selectSingleNode(
      "SETTINGS/PARTNER[ID=" + xml::XPathLiteral(o.row.partner_id) + "]");
  if (!partner.isNull()) {
    partner.setAttribute("dontsave", "1");
    settings_changed_ = true;
  }
  return false;
}

// The dealer's account at the online dealer service, for a free-EDI partner: the e-mail
// address and password (the dealer dialog, or what the command line gave), checked by the
// partner web service. A good account's address goes into the order.
bool SendOrders::DealerAccount(Order& o, xml::Document& tmpdoc) {
  if (observer_) observer_->OrderStep(o.row.order_id, Res("MSG GettingDealerEmail"), 40);
  std::string email;
  std::string password;
  if (dealer_email_) {
    email = *dealer_email_;
    auto given = given_passwords_.find(Upper(o.row.partner_code));
    if (given != given_passwords_.end()) {
      password = given->second;
    } else if (!Trim(email).empty()) {
      frmPassword dialog;
      dialog.PartnerCode = o.row.partner_code;
      dialog.lblPrompt = Res("LBL OrcanetAccount") + " " + email + ": " + Res("LBL Password");
      password = dialog.GetPassword();
      if (dialog.Cancelled) {
        Finish(o, SendResult::Canceled, Res("MSG Canceled"), Res("MSG UserCanceledSendingOrder"));
        return false;
      }
    }
  } else {
    frmDealerID dialog;
    if (!o.dealer_id.empty()) dialog.Email(o.dealer_id);
    dialog.Partner(o.row.partner_name);
    dialog.GetDealerInfo(email, password);
    if (dialog.Cancelled) {
      Finish(o, SendResult::Canceled, Res("MSG Canceled"), Res("MSG UserCanceledSendingOrder"));
      return false;
    }
  }
  // Without an e-mail address the order goes without the check.
  if (email.empty()) return true;
  xml::Node profile;
  const int status = CheckDealerStatus(email, password, profile);
  password.assign(password.size(), '\0');
  if (status != kDealerAccountGood) {
    DealerStatusMessage message = DealerStatusFailure(status, email, o.row.partner_name);
    o.row.message_html = message.html;
    Finish(o, SendResult::Failed, Res("MSG Failure"), message.text);
    return false;
  }
  CopyDealerProfile(profile, tmpdoc);
  o.dealer_id = email;
  xml::Node dealer = stack_.Settings().docSettings.selectSingleNode(
      "SETTINGS/PARTNER[ID=" + xml::XPathLiteral(o.row.partner_id) + "]/DEALERID");
  if (!dealer.isNull() && dealer.text() != email) {
    dealer.setText(email);
    settings_changed_ = true;
  }
  return true;
}

void SendOrders::ArchiveCopy(const Order& o, const xml::Document& tmpdoc, int64_t entry_id) {
  WriteLog("Archive this order.");
  Env* env = Env::Default();
  if (!env->CreateDirectories(archive_path_, nullptr)) return;
  // The copy carries no password.
  xml::Document copy;
  if (!copy.loadXML(tmpdoc.xml())) return;
  for (xml::Node pw : copy.selectNodes("//Catalog/Identification/Password")) pw.setText("");
  // Named after the design and the journal entry: two orders of one design, or a design
  // archived again, never replace each other's copy (nor the design the stack archives).
  std::string stem = o.row.design_file;
  if (stem.size() > 4 && Upper(stem.substr(stem.size() - 4)) == ".XME") {
    stem.resize(stem.size() - 4);
  }
  std::string name = stem + "-sent" + std::to_string(entry_id) + ".xme";
  for (int n = 2; env->Exists(JoinPath(archive_path_, name)); ++n) {
    name = stem + "-sent" + std::to_string(entry_id) + "-" + std::to_string(n) + ".xme";
  }
  std::string bytes;
  if (Err err = EncipherBytes(name, copy.xml(), &bytes)) {
    LogError("SendOrders: archive copy", err);
    return;
  }
  std::string reason;
  if (!env->WriteFileAtomic(JoinPath(archive_path_, name), bytes, &reason)) {
    WriteLog("SendOrders: the archive copy " + name + " was not written: " + reason);
    return;
  }
  if (Err err = stack_.ArchiveFolder(archive_path_)) LogError("SendOrders: ArchiveFolder", err);
}

void SendOrders::StartOrder(Order& o, const xml::Node& order) const {
  o.row.order_id = GetNodeText(order, "ID");
  o.row.partner_id = Trim(GetNodeText(order, "PARTNERID"));
  o.row.design_file = GetNodeText(order, "../FileName");
  o.row.partner_code = Setting(o.row.partner_id, "CODE");
  o.row.partner_name = Setting(o.row.partner_id, "NAME");
  const xml::Node design = order.parentNode();
  for (xml::Node cid : order.selectNodes("CATALOGID")) {
    o.row.catalogs.push_back(GetNodeText(
        design, "Catalog[ID=" + xml::XPathLiteral(cid.text()) + "]/Identification/Name"));
  }
}

void SendOrders::SendOne(xml::Node order, const xml::NodeList& send_list, SendObserver* observer) {
  Order o;
  StartOrder(o, order);
  xml::Node design = order.parentNode();
  const xml::Node& settings = stack_.Settings().docSettings;

  // Legacy methods are sent by their own programs, which this sender does not run.
  const std::string method_id = Setting(o.row.partner_id, "METHODID");
  xml::Node method = stack_.Settings().docSettings.selectSingleNode(
      "SETTINGS/METHOD[ID=" + xml::XPathLiteral(method_id) + "]");
  bool legacy = false;
  if (method) GetAttributeBoolean(method, ".", "legacy", legacy);
  if (legacy) {
    Finish(o, SendResult::Failed, Res("MSG Failure"),
           "the partner's transmission method is a legacy program, which this sender does not "
           "run; the order stays in the stack");
    return;
  }
  o.free_edi = stack_.Settings().IsFreeEdiPartner(std::atoi(o.row.partner_id.c_str()));
  if (o.free_edi && !FreeEdiActive(o)) return;

  o.object_name = GetNodeText(method, "OBJECTNAME");
  o.manuf_id = Setting(o.row.partner_id, "MANUFID");
  o.dealer_id = Setting(o.row.partner_id, "DEALERID");
  WriteLog("Got order infos:");
  WriteLog("Id: " + o.row.order_id + ", partner: " + o.row.partner_code +
           ", method: " + o.object_name);

  if (!CheckJournal(o, order, send_list)) return;

  const std::string connection = ConnectionParameter(o.row.partner_code, o.free_edi);
  WriteLog("Creating DOMDocument40 and loading design data.");
  xml::Document tmpdoc;
  if (!tmpdoc.loadXML(design.xml())) {
    Finish(o, SendResult::Failed, Res("MSG Failure"), Res("MSG CannotCopyDesignDocument"));
    return;
  }

  WriteLog("Verifying if a PONumber exists or not.");
  if (Trim(GetNodeText(order, "PONUMBER")).empty()) {
    CurrentDialogs().MsgBox(Res("OST OrderDesign1") + "\n\n" +
                                Trim(GetNodeText(design, "JobInfo/FileName")) + "\n\n" +
                                Res("OST OrderDesign2"),
                            MsgButtons::OK, MsgIcon::None, ModuleTitle());
    Finish(o, SendResult::Failed, Res("OST PORequired"), Res("OST MissingPO"));
    return;
  }

  WriteLog("Creating '" + o.object_name + ".spooler'");
  Err create_error;
  std::shared_ptr<automation::AutomationObject> connector =
      automation::CreateObject(o.object_name + ".spooler", &create_error);
  if (!connector) {
    Finish(o, SendResult::Failed, Res("MSG Failure"),
           ResParam("MSG CannotCreateConnectorObject", {o.object_name}));
    return;
  }
  auto call = [&connector](const std::string& member, const std::string& parameter,
                           automation::Variant* out) {
    std::vector<automation::Variant> args{automation::Variant(parameter)};
    return connector->Call(member, args, out);
  };

  automation::Variant value;
  if (Err err = call("connectioncount", connection, &value)) {
    Finish(o, SendResult::Failed, Res("MSG Failure"),
           ResParam("MSG ErrorNumberDescription", {std::to_string(err.Number), err.Description}));
    return;
  }
  if (value.AsLong() == 0) {
    Finish(o, SendResult::Failed, Res("MSG Failure"), Res("MSG NoServersDefinedForPartner"));
    return;
  }
  if (observer) observer->OrderStep(o.row.order_id, Res("MSG FindingServer"), -1);
  Err test_error = call("testconnection", connection, &value);
  if (test_error || value.IsNull()) {
    Finish(o, SendResult::Failed, Res("MSG Failure"), Res("MSG CannotConnectToServerForOrder"));
    return;
  }
  if (observer) observer->OrderStep(o.row.order_id, Res("MSG FoundServer"), 30);

  if (!Credentials(o, tmpdoc)) return;

  Err build_error;
  if (!BuildOrderDocument(order, tmpdoc, settings, o.manuf_id, o.dealer_id, o.password,
                          &build_error)) {
    if (build_error) {
      Finish(o, SendResult::Failed, Res("MSG Failure"), build_error.Description);
    } else {
      Finish(o, SendResult::Declined, "", "not sent: a file the order names is missing");
    }
    return;
  }

  std::string xsl = Setting(o.row.partner_id, "TRANSFORMATION");
  WriteLog("'Checking if transformation node for Partner exists for partnerid = " +
           o.row.partner_id);
  WriteLog("'After checking if transformation node for Partner exists: sXslPath = " + xsl);

  ConnectorSend send;
  send.connector = connector.get();
  send.journal = &journal_;
  send.order.design_file = o.row.design_file;
  send.order.order_id = o.row.order_id;
  send.order.partner_id = o.row.partner_id;
  send.order.partner_code = o.row.partner_code;
  send.order.po_number = Trim(GetNodeText(order, "PONUMBER"));
  send.xsl = xsl;
  send.document_ready = [this, &o](const std::string& data) {
    WriteLastPO(archive_path_, data, o.password);
  };
  send.step = [observer, &o](const std::string& step, int percent) {
    if (observer) observer->OrderStep(o.row.order_id, step, percent);
  };
  // Catalogs an earlier run delivered one by one are not sent again, in either mode.
  for (xml::Node catalog : tmpdoc.selectNodes("//Catalog")) {
    if (o.accepted_before.count(GetNodeText(catalog, "Identification/Name"))) {
      catalog.parentNode().removeChild(catalog);
    }
  }

  // Whole-order mode when the partner's MULTICATSEND holds any text, else catalog by catalog.
  std::vector<CatalogAccepted> sent;
  if (!Trim(Setting(o.row.partner_id, "EDIVALIDATE/MULTICATSEND")).empty()) {
    std::string data;
    if (!Trim(xsl).empty()) {
      xml::Node root = tmpdoc.selectSingleNode("Design");
      xml::Node cur = root.appendChild(tmpdoc.createElement("CurCatalog"));
      cur.appendChild(tmpdoc.createCDATASection(""));
      SetHeaderValue(tmpdoc, "Design/JobInfo/Header/DateSent", "Design/JobInfo/Header",
                     SentDateText());
      data = DoCustomTransformation(tmpdoc, xsl);
      if (data.rfind("ERROR", 0) == 0) {
        KeepUnsentCatalogs(o, order, tmpdoc, SendResult::Failed, "Transformation error", data, {});
        return;
      }
    } else {
      data = tmpdoc.xml();
    }
    RemoveXmlHeader(data);
    std::vector<std::string> catalogs;
    for (const auto& name : o.row.catalogs) {
      if (!o.accepted_before.count(name)) catalogs.push_back(name);
    }
    const HandOff h =
        SendDocument(send, data, catalogs, GetNodeText(tmpdoc, "Design/JobInfo/Header/GlobalID"));
    if (h.result != HandOff::Result::Accepted) {
      if (h.result == HandOff::Result::Refused) password_cache_.erase(o.row.partner_id);
      const bool in_doubt = h.result == HandOff::Result::InDoubt;
      KeepUnsentCatalogs(o, order, tmpdoc, in_doubt ? SendResult::InDoubt : SendResult::Failed,
                         in_doubt ? "in doubt" : Res("MSG Failure"), h.message, {});
      return;
    }
    sent.push_back({"", h.sequence, h.entry_id});
  } else {
    CatalogSends r = SendPerCatalog(send, tmpdoc, o.accepted_before);
    if (r.catalogs == 0) {
      // Nothing went out: the order must not be reported sent and archived.
      Finish(o, SendResult::Failed, Res("MSG Failure"),
             "no catalog to send: the order's document holds none of its catalogs; the order "
             "stays in the stack");
      return;
    }
    if (r.failed) {
      if (r.refused) password_cache_.erase(o.row.partner_id);
      KeepUnsentCatalogs(o, order, tmpdoc, r.in_doubt ? SendResult::InDoubt : SendResult::Failed,
                         r.word, r.message, r.accepted);
      return;
    }
    sent = std::move(r.accepted);
  }

  std::vector<std::string> sequences;
  for (const auto& name : o.row.catalogs) {
    auto before = o.accepted_before.find(name);
    if (before != o.accepted_before.end()) sequences.push_back(before->second);
  }
  for (const auto& s : sent) sequences.push_back(s.sequence);
  o.row.sequence = JoinSequences(sequences);

  ArchiveCopy(o, tmpdoc, sent.empty() ? 0 : sent.back().entry_id);
  stack_.RemoveSentOrder(order, send_list);
  o.row.message = Res("MSG OrderSentSuccessfully");
  // Saved now, so an error later in the batch never leaves this order stacked.
  SaveStack(&o);
  Finish(o, SendResult::Sent, Res("MSG Done"), o.row.message);
}

}  // namespace larkedi
