// Loading the order stack: taking designs in from the host, storing them enciphered in the
// spool folder and assembling every stacked design into the order stack document.
#include "orders/order_stack.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "orders/design_builder.h"
#include "orders/stack_files.h"
#include "orders/xme_file.h"
#include "platform/env.h"
#include "platform/text_encoding.h"
#include "platform/ui/dialogs.h"
#include "support/log.h"
#include "support/module.h"
#include "support/registry.h"
#include "support/resx.h"
#include "support/utility.h"
#include "support/xml_helpers.h"
#include "support/xml_text.h"
// The stack load validates every design with the manufacturers' scripts and sorts the
// designs handed in.
#include "validation/edi_validate.h"
#include "validation/sort_item.h"

namespace larkedi {
namespace {

constexpr const char* kComputerNameKey =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";
/// The lock file every process that changes a spool folder holds.
constexpr const char* kSpoolLockName = "larkEDI.lock";
/// How long an operation waits for another process to finish with the spool folder.
constexpr int kSpoolLockWaitMs = 30000;
/// The element of a stored design naming the stacked copy it replaces.
constexpr const char* kReplacedFile = "REPLACEDFILE";

// Removes top-level comments and processing instructions while the document has two or
// more top-level nodes.
void RemoveTopLevelNoise(xml::Document& doc) {
  while (true) {
    xml::NodeList top = doc.childNodes();
    if (top.length() < 2) return;
    xml::Node victim;
    for (xml::Node n : top) {
      if (n.nodeType() == xml::NodeType::Comment ||
          n.nodeType() == xml::NodeType::ProcessingInstruction) {
        victim = n;
        break;
      }
    }
    if (victim.isNull()) return;
    doc.removeChild(victim);
  }
}

// A design handed in is the bytes of its file: they become UTF-8 text as its byte order mark
// or XML declaration says, the way every command reads a design file. False with the reason
// when the bytes are not valid in that encoding (`input` is then unchanged).
bool DecodeInput(std::string& input, std::string* reason) {
  std::string utf8;
  if (!DecodeXmlBytes(input, &utf8, reason)) return false;
  input = std::move(utf8);
  return true;
}

// A namespace declaration as a start tag writes it: its name ("xmlns", "xmlns:x") and its
// markup (` xmlns:x="uri"`).
struct NamespaceDecl {
  std::string name;
  std::string markup;
};

// The namespace declarations of the start tag that begins `markup`, as the XML layer writes
// it (attributes as name="value", or name='value' when the value holds a double quote).
std::vector<NamespaceDecl> DeclarationsOf(std::string_view markup) {
  std::vector<NamespaceDecl> out;
  std::size_t pos = markup.find_first_of(" \t\r\n/>");
  while (pos < markup.size()) {
    while (pos < markup.size() && std::isspace(static_cast<unsigned char>(markup[pos]))) ++pos;
    if (pos >= markup.size() || markup[pos] == '/' || markup[pos] == '>') break;
    const std::size_t eq = markup.find('=', pos);
    if (eq == std::string_view::npos || eq + 1 >= markup.size()) break;
    const std::size_t close = markup.find(markup[eq + 1], eq + 2);
    if (close == std::string_view::npos) break;
    const std::string name(markup.substr(pos, eq - pos));
    if (name == "xmlns" || name.rfind("xmlns:", 0) == 0) {
      out.push_back({name, " " + std::string(markup.substr(pos, close + 1 - pos))});
    }
    pos = close + 1;
  }
  return out;
}

// The markup of a design handed in, carrying the namespace declarations of the elements
// around it (the input's root) that it does not make itself: stored alone, its prefixed
// names still resolve, and declarations used only in texts are kept as well.
std::string DesignMarkup(const xml::Node& design) {
  std::string text = design.xml();
  std::vector<NamespaceDecl> declared = DeclarationsOf(text);
  std::string inherited;
  for (xml::Node a = design.parentNode(); a && a.nodeType() == xml::NodeType::Element;
       a = a.parentNode()) {
    for (NamespaceDecl& d : DeclarationsOf(a.cloneNode(false).xml())) {
      const bool shadowed = std::any_of(declared.begin(), declared.end(),
                                        [&](const NamespaceDecl& e) { return e.name == d.name; });
      if (shadowed) continue;
      inherited += d.markup;
      declared.push_back(std::move(d));
    }
  }
  if (!inherited.empty()) text.insert(text.find_first_of(" \t\r\n/>"), inherited);
  return text;
}

// Tells the user why the designs handed in cannot be taken in, and drops them.
void RefuseInput(std::string& input, const std::string& reason) {
  CurrentDialogs().MsgBox(Res("MSG ErrorLoadingXMLFromCallingApp") + "\r\n" + reason,
                          MsgButtons::OK, MsgIcon::Information, ModuleTitle());
  LogError("LoadOrders", Err::Raise(kErrComponent, "LoadOrders",
                                    Res("MSG ErrorLoadingXMLFromCallingApp") + " " + reason));
  input.clear();
}

std::string DesignKey(const xml::Node& design) {
  return GetNodeText(design, "JobInfo/Header/ComputerName") + "_" +
         GetNodeText(design, "JobInfo/FileName");
}

// Sets the text of the element's first child (a CDATA section or text), or gives an empty
// element one CDATA section holding the text.
void SetFirstChildText(xml::Document& doc, xml::Node element, const std::string& text) {
  xml::Node first = element.firstChild();
  if (first) {
    first.setText(text);
  } else {
    element.appendChild(doc.createCDATASection(text));
  }
}

xml::Node EnsureCDataChild(xml::Document& doc, xml::Node parent, const char* name) {
  xml::Node e = ChildElement(parent, name);
  if (e.isNull()) e = AppendCDataElement(doc, parent, name, "");
  return e;
}

int SortMethodValue(const std::string& name) {
  SortMethod method = SortMethod::BWT;
  ParseSortMethod(name, method);  // an unknown name keeps the first method
  return static_cast<int>(method);
}

std::string ErrorLine(const Err& err) {
  return ResParam("MSG ErrorNumberSourceDescription",
                  {std::to_string(err.Number), err.Source, err.Description});
}

}  // namespace

// The state of one LoadOrders run, handed from step to step.
struct OrderStack::LoadRun {
  bool bShowDialog = false;
  std::string spool;
  std::string errors;
  xml::Document inputXML;
  bool input_parsed = false;
  std::vector<std::string> podesignnames;
  std::vector<std::string> replaced;
  /// The duplicate key of each replaced file.
  std::map<std::string, std::string> replaced_keys;
  int designCounter = 0;
  bool newCatalog = false;
  xml::Node orders;
  GroupingPtr grouping;
  std::unique_ptr<clsEdiValidate> validator;
};

OrderStack::OrderStack(SettingsDocument& settings, StackObserver& observer)
    : settings_(settings), observer_(observer) {}

OrderStack::~OrderStack() = default;

std::string OrderStack::SpoolFolder() const {
  return GetNodeText(settings_.docSettings, "SETTINGS/SPOOLPATH");
}

void OrderStack::CompleteDesignFileNames(xml::Document& doc) {
  for (xml::Node design : doc.selectNodes("//Design[JobInfo]")) {
    xml::Node file = design.selectSingleNode("JobInfo/FileName");
    if (file && file.text().empty()) file.setText(Trim(GetNodeText(design, "Document/FilePath")));
  }
}

void OrderStack::IndexSettingsForLoad() {
  load_index_ = std::make_unique<CatalogIndex>(settings_.docSettings.selectSingleNode("SETTINGS"));
  ReadRegistryValue(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName", computer_name_);
}

void OrderStack::RegisterCatalog(const std::string& name, bool& newCatalog) {
  xml::Document& settings = settings_.docSettings;
  xml::Node root = settings.selectSingleNode("SETTINGS");
  if (!root) return;
  xml::Node c = root.appendChild(settings.createElement("CATALOG"));
  AppendTextElement(settings, c, "ID", std::to_string(load_index_->HighestCatalogId() + 1));
  AppendCDataElement(settings, c, "CODE", name);
  AppendTextElement(settings, c, "PARTNERID", "-1");
  load_index_->AddCatalog(c);
  WriteLog("New catalog registered: " + name);
  if (Err err = settings_.SaveChanges()) {
    LogError("LoadOrdersSub", static_cast<const Err&>(err));
    if (!RegisterStatus) RegisterStatus = err;
  }
  RegisteredCatalogs.push_back(name);
  newCatalog = true;
}

void OrderStack::LoadOrdersSub(xml::Node design, const std::string& fileName, int designId,
                               bool& newCatalog) {
  LogScope log_scope("LoadOrdersSub().");
  const bool own_index = !load_index_;
  if (own_index) IndexSettingsForLoad();
  xml::Document doc = design.ownerDocument();

  xml::Node id = ChildElement(design, "ID");
  if (id.isNull()) id = design.appendChild(doc.createElement("ID"));
  id.setText(std::to_string(designId));

  // The design is saved back under this name; a name the design brought along would write
  // a second file (or one outside the spool folder), so it always names the real file.
  xml::Node file = ChildElement(design, "FileName");
  if (file.isNull()) {
    AppendTextElement(doc, design, "FileName", fileName);
  } else if (file.text() != fileName) {
    file.setText(fileName);
  }

  xml::Node header = design.selectSingleNode("JobInfo/Header");
  if (header) {
    if (ChildElement(header, "Locale").isNull()) {
      AppendTextElement(doc, header, "Locale", Utility().GetLocale());
    }
    if (ChildElement(header, "Application").isNull()) {
      AppendTextElement(doc, header, "Application", "LARKSPUR EDI");
    }
    if (ChildElement(header, "ApplicationVersion").isNull()) {
      AppendTextElement(doc, header, "ApplicationVersion", "2.1");
    }
  }

  Utility util;
  for (xml::Node catalog : design.selectNodes(".//Catalog")) {
    ++CatalogCounter;
    xml::Node cid = ChildElement(catalog, "ID");
    if (cid.isNull()) cid = catalog.appendChild(doc.createElement("ID"));
    cid.setText(std::to_string(CatalogCounter));

    const std::string name = GetNodeText(catalog, "Identification/Name");
    xml::Node ident = EnsureChild(catalog, "Identification");
    xml::Node guid = ChildElement(ident, "GlobalID");
    if (guid.isNull()) guid = ident.appendChild(doc.createElement("GlobalID"));
    guid.setText(util.GetGUID());
    EnsureCDataChild(doc, ident, "ManufID");
    EnsureCDataChild(doc, ident, "DealerID");
    xml::Node branch = ChildElement(ident, "BranchID");
    if (branch.isNull()) {
      AppendCDataElement(doc, ident, "BranchID", computer_name_);
    } else {
      SetFirstChildText(doc, branch, computer_name_);
    }
    xml::Node password = ChildElement(ident, "Password");
    if (password.isNull()) {
      AppendCDataElement(doc, ident, "Password", "");
    } else {
      SetFirstChildText(doc, password, "");
    }

    xml::Node known = load_index_->Catalog(name);
    if (known.isNull()) {
      RegisterCatalog(name, newCatalog);
      continue;
    }
    const std::string partner_id = GetNodeText(known, "PARTNERID");
    if (partner_id == "0") continue;
    xml::Node partner = load_index_->Partner(partner_id);
    if (partner && GetNodeText(partner, "KITFILEID") == "1" &&
        ChildElement(design, "File").isNull()) {
      xml::Node kit = design.appendChild(doc.createElement("File"));
      AppendTextElement(doc, kit, "Type", "Kit");
      AppendTextElement(doc, kit, "Name", GetNodeText(design, "JobInfo/FileName"));
      AppendTextElement(doc, kit, "FileData", "");
    }
  }
  if (own_index) load_index_.reset();
}

OrderStack::Transaction::Transaction(OrderStack& stack) : stack_(stack) {
  status_ = stack_.LockSpool();
}

OrderStack::Transaction::~Transaction() {
  if (!status_) stack_.UnlockSpool();
}

Err OrderStack::LockSpool() {
  if (lock_depth_ > 0) {
    ++lock_depth_;
    return {};
  }
  const std::string spool = Trim(SpoolFolder());
  if (Err err = UsableFolder(spool, "spool folder")) return err;
  std::string reason;
  if (!Env::Default()->LockFile(JoinPath(spool, kSpoolLockName), kSpoolLockWaitMs, &spool_lock_,
                                &reason)) {
    return Err::Raise(kErrFileAccess, "LockSpool", reason);
  }
  lock_depth_ = 1;
  return {};
}

void OrderStack::UnlockSpool() {
  if (lock_depth_ > 0 && --lock_depth_ == 0) spool_lock_.reset();
}

void OrderStack::MarkChanged(const xml::Node& design) {
  const std::string name = GetNodeText(design, "FileName");
  if (!name.empty()) changed_.insert(name);
  bOrdersChanged = true;
}

Err OrderStack::PrepareSpoolFolder(std::string& spool) {
  Env* env = Env::Default();
  spool = Trim(SpoolFolder());
  WriteLog("Got spool path from Settings document. Value: " + spool);
  // The configured folder or none: a design stored anywhere else would be a design nobody
  // finds (a network drive that is back later shows an empty stack).
  if (Err err = UsableFolder(spool, "spool folder")) return err;
  const std::string dump = JoinPath(spool, "orders.xml");
  if (env->Exists(dump)) {
    WriteLog("Deleting " + dump);
    env->RemoveFile(dump, nullptr);
  }
  return {};
}

void OrderStack::ReadInput(LoadRun& run, std::string& input) {
  if (Trim(input).empty()) {
    WriteLog("StartupInput is empty.");
    return;
  }
  std::string refused;
  if (input.size() > kMaxDesignBytes) {
    refused = "the design text is larger than " + std::to_string(kMaxDesignBytes >> 20) + " MB";
  } else {
    DecodeInput(input, &refused);  // the reason when the bytes are not valid in their encoding
  }
  if (!refused.empty()) {
    RefuseInput(input, refused);
    return;
  }
  const std::string order = Trim(GetNodeText(settings_.docSettings, "/SETTINGS/SORTORDER"));
  if (!order.empty() && order != "NS") {
    WriteLog("Sorting the input with method " + order);
    clsSortItem sorter;
    std::string xsl = observer_.SortStyleSheet();
    if (sorter.InitInstance(input, xsl) && sorter.SortItems(SortMethodValue(order))) {
      std::string sorted = sorter.GetXML();
      if (!Trim(sorted).empty()) input = sorted;
    }
  }
  if (input.rfind("<?", 0) == 0) {
    const auto end = input.find('>');
    input.erase(0, end == std::string::npos ? input.size() : end + 1);
  }
  for (std::size_t pos; (pos = input.find("\r\n")) != std::string::npos;) input.erase(pos, 2);

  xml::Document& inputXML = run.inputXML;
  if (!inputXML.loadXML(input)) {
    refused = inputXML.parseErrorReason();
  } else if (inputXML.selectNodes("//Design[JobInfo]").length() >
             static_cast<long>(kMaxDesignsPerInput)) {
    refused = "more than " + std::to_string(kMaxDesignsPerInput) + " designs at once";
  }
  if (!refused.empty()) {
    RefuseInput(input, refused);
    return;
  }
  run.input_parsed = true;
  if (inputXML.selectSingleNode("/PROJECTS/EXPORTINFO/APPNAME")) {
    const std::string host = GetHostProgramPath();
    const std::string xsl_path = JoinPath(host, "XSL/LKTOEDI.XSL");
    xml::Document xsl;
    if (!host.empty() && Env::Default()->Exists(xsl_path) && xsl.load(xsl_path)) {
      std::string reason;
      std::string converted = inputXML.transformNode(xsl, &reason);
      xml::Document result_doc;
      if (reason.empty() && result_doc.loadXML(converted)) {
        inputXML = result_doc;
      } else {
        LogError("LoadOrders", Err::Raise(kErrComponent, "LoadOrders using LKTOEDI.XSL",
                                          reason.empty() ? result_doc.parseErrorReason() : reason));
      }
    }
  }
  RemoveTopLevelNoise(inputXML);
  CompleteDesignFileNames(inputXML);
  for (xml::Node d : inputXML.selectNodes("//Design[JobInfo/FileName]")) {
    run.podesignnames.push_back(DesignKey(d));
  }
}

void OrderStack::StartDocument(LoadRun& run) {
  docOrders = xml::Document();
  LoadedSpoolFiles.clear();
  run.orders = docOrders.appendChild(docOrders.createElement("Orders"));
  if (xml::Node settings = settings_.docSettings.selectSingleNode("SETTINGS")) {
    run.orders.appendChild(docOrders.importNode(settings, true));
  }
  IndexSettingsForLoad();
  // Each design is grouped as it is taken in, while its nodes are still in the processor's
  // cache, in the order a pass over the finished stack would take them.
  LogScope log_scope("LoadOrderGroups().");
  run.grouping = BeginGrouping();
  // The validator is made now: its script worker starts from the small process this still
  // is, not from one holding the whole stack.
  run.validator = std::make_unique<clsEdiValidate>();
  run.validator->PrepareScripts(settings_.docSettings);
}

bool OrderStack::TakeStackedDesigns(LoadRun& run) {
  for (const std::string& name : ListXmeFiles(run.spool)) {
    observer_.PumpMessages();
    if (observer_.LoadAborted()) {
      WriteLog("LoadOrders aborted by a navigation.");
      return false;
    }
    LoadedSpoolFiles.insert(name);
    const std::string path = JoinPath(run.spool, name);
    observer_.ShowStatus(name);
    xml::Document fileDoc;
    std::string bytes, text, reason;
    Err err;
    if (Env::Default()->FileSize(path) > kMaxStackFileBytes) {
      Quarantine(run, name, "larger than " + std::to_string(kMaxStackFileBytes >> 20) + " MB");
      continue;
    }
    if (Env::Default()->ReadFile(path, &bytes, &reason)) {
      versions_[name] = FileFingerprint(bytes);
      err = DecipherBytes(path, std::move(bytes), &text);
    } else {
      err = Err::Raise(kErrFileAccess, "LoadOrders", reason);
    }
    if (text.size() > kMaxDesignBytes) {
      Quarantine(run, name,
                 "its design is larger than " + std::to_string(kMaxDesignBytes >> 20) + " MB");
      continue;
    }
    text = DesignFileText(std::move(text));
    if (err || text.empty() || !fileDoc.loadXML(text)) {
      const std::string line = ResParam("MSG InvalidXMLOrderInParam", {name});
      run.errors += line + "\r\n";
      LogError("LoadOrders: " + line,
               Err::Raise(kErrComponent, "LoadOrders",
                          err ? err.Description : fileDoc.parseErrorReason()));
      continue;
    }
    RemoveTopLevelNoise(fileDoc);
    xml::Node first = fileDoc.firstChild();
    if (first.isNull() || first.nodeName() != "Design") continue;

    if (run.input_parsed) {
      const std::string key = DesignKey(first);
      if (std::find(run.podesignnames.begin(), run.podesignnames.end(), key) !=
          run.podesignnames.end()) {
        const MsgResult answer = CurrentDialogs().MsgBox(
            ResParam("MSG ProgramFoundDesignParamAlreadyExist", {key}) + "\r\n\r\n" +
                Res("MSG DoYouWantReplace"),
            MsgButtons::YesNo, MsgIcon::Question, Res("MSG ReplaceQuestionMark"));
        if (answer == MsgResult::Yes) {
          // Deleted once the input's copy is stored, so a failure cannot lose both.
          run.replaced.push_back(name);
          run.replaced_keys[name] = key;
          continue;
        }
      }
    }
    ++run.designCounter;
    LoadOrdersSub(first, name, run.designCounter, run.newCatalog);
    // The file's tree is moved, not copied: fileDoc is dropped right after.
    GroupDesignTree(*run.grouping, run.orders.adoptChild(fileDoc));
  }
  return true;
}

void OrderStack::Quarantine(LoadRun& run, const std::string& name, const std::string& why) {
  const std::string aside = name + kQuarantineSuffix;
  std::string reason;
  const bool moved =
      Env::Default()->RenameFile(JoinPath(run.spool, name), JoinPath(run.spool, aside), &reason);
  LoadedSpoolFiles.erase(name);
  versions_.erase(name);
  const std::string line =
      ResParam("MSG InvalidXMLOrderInParam", {name}) + " (" + why + "; " +
      (moved ? "set aside as " + aside : "it could not be set aside: " + reason) + ")";
  run.errors += line + "\r\n";
  LogError("LoadOrders", Err::Raise(kErrComponent, "LoadOrders", line));
}

void OrderStack::CompleteReplacements(LoadRun& run) {
  Env* env = Env::Default();
  for (xml::Node replaced : docOrders.selectNodes("/Orders/Design/" + std::string(kReplacedFile))) {
    const std::string old = replaced.text();
    const std::string self = GetNodeText(replaced.parentNode(), "FileName");
    if (old == self || !IsPlainFileName(old) || !LoadedSpoolFiles.count(old)) continue;
    WriteLog("Completing the replacement of " + old + " by " + self);
    if (!env->RemoveFile(JoinPath(run.spool, old), nullptr)) continue;
    LoadedSpoolFiles.erase(old);
    versions_.erase(old);
    for (xml::Node d :
         docOrders.selectNodes("/Orders/Design[FileName=" + xml::XPathLiteral(old) + "]")) {
      d.parentNode().removeChild(d);
    }
  }
}

void OrderStack::StoreInputDesigns(LoadRun& run) {
  Utility util;
  xml::NodeList designs = run.inputXML.selectNodes("//Design[JobInfo]");
  for (xml::Node design : designs) {
    // The copies this design replaces are named in it, so a crash between storing it and
    // deleting them is completed by the next load instead of leaving two orders to send.
    for (const auto& [old, key] : run.replaced_keys) {
      if (key == DesignKey(design)) AppendTextElement(run.inputXML, design, kReplacedFile, old);
    }
    const std::string guid = util.GetGUID();
    if (xml::Node g = design.selectSingleNode("JobInfo/Header/GlobalID")) g.setText(guid);
    xml::Node bias = design.selectSingleNode("JobInfo/Header/DateBias");
    if (bias && bias.text().empty()) bias.setText(util.GetTimeZoneBias());
    const std::string name = guid + ".xme";
    observer_.ShowStatus(name);
    const std::string markup = DesignMarkup(design);
    std::string fingerprint;
    if (Err err = StoreDesignFile(run.spool, name, markup, &fingerprint)) {
      ++StoreFailures;
      run.errors += ErrorLine(err) + "\r\n";
      LogError("LoadOrders: the design could not be stored in " + run.spool, err);
    } else {
      LoadedSpoolFiles.insert(name);
      versions_[name] = fingerprint;
    }
    // The stack holds the design as the next load reads it back from its file.
    xml::Document alone;
    xml::Node stacked = alone.loadXML(markup)
                            ? run.orders.adoptChild(alone)
                            : run.orders.appendChild(docOrders.importNode(design, true));
    ++run.designCounter;
    LoadOrdersSub(stacked, name, run.designCounter, run.newCatalog);
    GroupDesignTree(*run.grouping, stacked);
  }
  for (const std::string& name : run.replaced) {
    if (StoreFailures > 0) break;  // keep the stacked copies: the new ones are not all safe
    WriteLog("Replacing " + name);
    Env::Default()->RemoveFile(JoinPath(run.spool, name), nullptr);
    LoadedSpoolFiles.erase(name);
    versions_.erase(name);
  }
}

void OrderStack::FinishLoad(LoadRun& run) {
  if (!run.validator->ValidateOrders(docOrders, run.bShowDialog)) {
    WriteLog("Could not validate Orders doc in LoadOrders.");
  }
  for (const auto& failure : run.validator->ScriptFailures()) ScriptFailures.push_back(failure);
  if (Module().LogEnabled) {
    std::string text = docOrders.documentElement().xml();
    SaveXmlText(text, JoinPath(run.spool, "orders.xml"));
    LoadedSpoolFiles.insert("orders.xml");
  }
  if (!run.errors.empty()) {
    CurrentDialogs().MsgBox(Res("MSG ErrorsHaveOccured") + "\r\n" + run.errors, MsgButtons::OK,
                            MsgIcon::None, ModuleTitle());
  }
}

bool OrderStack::LoadOrders(bool bShowDialog) {
  std::string none;
  return LoadOrders(bShowDialog, none);
}

bool OrderStack::LoadOrders(bool bShowDialog, std::string& StartupInput) {
  LogScope log_scope("LoadOrders");
  observer_.ShowStatus(Res("OST LoadingOrders"));
  WriteLog("Calling FillStyleSheets");
  observer_.LoadStarting();
  CatalogCounter = 0;
  RegisteredCatalogs.clear();
  RegisterStatus.Clear();
  StoreFailures = 0;

  LoadStatus = {};
  changed_.clear();
  versions_.clear();

  LoadRun run;
  run.bShowDialog = bShowDialog;
  Err lock;
  if (Err err = PrepareSpoolFolder(run.spool); err || (lock = LockSpool())) {
    // Nothing can be read or stored: the stack shows no design, and the designs handed in
    // stay with the caller.
    LoadStatus = err ? err : lock;
    LogError("LoadOrders", static_cast<const Err&>(LoadStatus));
    StartDocument(run);
    load_index_.reset();
    CurrentDialogs().MsgBox(ErrorLine(LoadStatus), MsgButtons::OK, MsgIcon::Critical,
                            ModuleTitle());
    observer_.ShowStatus("");
    return false;
  }
  struct Unlock {
    OrderStack* stack;
    ~Unlock() { stack->UnlockSpool(); }
  } unlock{this};
  ReadInput(run, StartupInput);
  StartDocument(run);
  if (!TakeStackedDesigns(run)) {
    load_index_.reset();
    return false;
  }
  CompleteReplacements(run);
  bool result = false;
  if (run.input_parsed) {
    StoreInputDesigns(run);
    StartupInput.clear();
    if (run.newCatalog) {
      observer_.ShowSettingsView();
      result = true;
    }
  }
  // Every design is in: the lookups of the load go before the validation makes its own.
  load_index_.reset();
  run.grouping.reset();
  FinishLoad(run);
  observer_.ShowStatus("");
  return result;
}

bool OrderStack::TakeInStartupInput(std::string& input, int& status) {
  status = EDI_VALIDATE_OK;
  if (Trim(input).empty()) return true;
  CreateDomDocument(docInput);
  WriteLog("Loading StartupInput in docInput document object.");
  std::string reason;
  if (!DecodeInput(input, &reason) || !docInput.loadXML(input)) {
    if (reason.empty()) reason = docInput.parseErrorReason();
    const std::string text = Res("MSG ErrorLoadingXMLFromCallingApp") + "\r\n" + reason;
    CurrentDialogs().MsgBox(text, MsgButtons::OK, MsgIcon::Information, ModuleTitle());
    LogError("Form_Load", Err::Raise(kErrComponent, "Form_Load", text));
    return false;
  }
  xml::Node design = docInput.selectSingleNode("//Design");
  if (design.isNull()) return true;
  xml::Node root = docInput.documentElement();
  if (design.parentNode() != root) {
    Err err = Err::Raise(kErrGeneral, "frmEDI.Form_Load",
                         "The first Design element is not a child of the document's root.");
    CurrentDialogs().MsgBox(ErrorLine(err), MsgButtons::OK, MsgIcon::Critical, ModuleTitle());
    LogError("Form_Load", err);
    return false;
  }
  CompleteJobInfo(design);
  xml::Node validated = design;
  ScriptFailures.clear();
  {
    clsEdiValidate validator;
    status = validator.ValidateDesign2(validated, settings_.docSettings, false, true);
    ScriptFailures = validator.ScriptFailures();
  }
  xml::Document copy;
  copy.appendChild(copy.importNode(validated, true));
  if (Module().LogEnabled) {
    std::string text = copy.xml();
    SaveXmlText(text, JoinPath(ModuleFolder(), "DesignValidated.xml"));
  }
  root.removeChild(design);
  root.appendChild(validated);
  input = docInput.xml();
  return status != EDI_VALIDATE_ABORT;
}

}  // namespace larkedi
