// Loading the order stack: taking designs in from the host, storing them enciphered in the
// spool folder and assembling every stacked design into the order stack document.
#include <algorithm>
#include <cmath>

#include "host/frm_edi.h"
#include "orders/design_builder.h"
#include "orders/stack_files.h"
#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "support/log.h"
#include "support/module.h"
#include "support/registry.h"
#include "support/resx.h"
#include "support/utility.h"
#include "support/xml_helpers.h"
#include "validation/edi_validate.h"
#include "validation/sort_item.h"

namespace larkedi {
namespace {

constexpr const char* kComputerNameKey =
    "SYSTEM\\CurrentControlSet\\Control\\ComputerName\\ComputerName";

// The first child element named `name`; null when there is none.
xml::Node ChildElement(const xml::Node& parent, std::string_view name) {
  for (xml::Node c = parent.firstChild(); c; c = c.nextSibling()) {
    if (c.nodeType() == xml::NodeType::Element && c.nodeName() == name) return c;
  }
  return {};
}

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

}  // namespace

void frmEDI::CompleteDesignFileNames(xml::Document& doc) {
  for (xml::Node design : doc.selectNodes("//Design[JobInfo]")) {
    xml::Node file = design.selectSingleNode("JobInfo/FileName");
    if (file && file.text().empty()) file.setText(Trim(GetNodeText(design, "Document/FilePath")));
  }
}

void frmEDI::IndexSettingsForLoad() {
  catalogByCode_.clear();
  partnerById_.clear();
  highestCatalogId_ = 0;
  for (xml::Node c : docSettings.selectNodes("SETTINGS/CATALOG")) {
    catalogByCode_.try_emplace(FoldAscii(GetNodeText(c, "CODE")), c);
    const std::string id = GetNodeText(c, "ID");
    if (IsNumeric(id)) {
      highestCatalogId_ = std::max(highestCatalogId_, static_cast<long>(LeadingNumber(id)));
    }
  }
  for (xml::Node p : docSettings.selectNodes("SETTINGS/PARTNER")) {
    partnerById_.try_emplace(GetNodeText(p, "ID"), p);
  }
  ReadRegistryValue(HKEY_LOCAL_MACHINE, kComputerNameKey, "ComputerName", computerName_);
  settingsIndexed_ = true;
}

void frmEDI::LoadOrdersSub(xml::Node design, const std::string& fileName, int designId,
                           bool& newCatalog) {
  WriteLog("Entering LoadOrdersSub().");
  if (!settingsIndexed_) IndexSettingsForLoad();
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
      AppendCDataElement(doc, ident, "BranchID", computerName_);
    } else {
      SetFirstChildText(doc, branch, computerName_);
    }
    xml::Node password = ChildElement(ident, "Password");
    if (password.isNull()) {
      AppendCDataElement(doc, ident, "Password", "");
    } else {
      SetFirstChildText(doc, password, "");
    }

    // Codes are compared with the ASCII letters folded on both sides, so a code the settings
    // hold with other letters (é, ß) matches itself and is not registered again.
    std::string partner_id;
    const std::string folded = FoldAscii(name);
    auto found = catalogByCode_.find(folded);
    if (found == catalogByCode_.end()) {
      xml::Node settings = docSettings.selectSingleNode("SETTINGS");
      if (settings) {
        xml::Node c = settings.appendChild(docSettings.createElement("CATALOG"));
        AppendTextElement(docSettings, c, "ID", std::to_string(++highestCatalogId_));
        AppendCDataElement(docSettings, c, "CODE", name);
        AppendTextElement(docSettings, c, "PARTNERID", "-1");
        catalogByCode_.emplace(folded, c);
        WriteLog("New catalog registered: " + name);
        SaveSettingsXML(docSettings.xml());
        RegisteredCatalogs.push_back(name);
        newCatalog = true;
      }
      partner_id = "-1";
    } else {
      partner_id = GetNodeText(found->second, "PARTNERID");
    }

    if (partner_id != "0") {
      auto partner = partnerById_.find(partner_id);
      if (partner != partnerById_.end() && GetNodeText(partner->second, "KITFILEID") == "1" &&
          ChildElement(design, "File").isNull()) {
        xml::Node kit = design.appendChild(doc.createElement("File"));
        AppendTextElement(doc, kit, "Type", "Kit");
        AppendTextElement(doc, kit, "Name", GetNodeText(design, "JobInfo/FileName"));
        AppendTextElement(doc, kit, "FileData", "");
      }
    }
  }
}

bool frmEDI::LoadOrders(bool bShowDialog) {
  WriteLog("Entering LoadOrders");
  Status(Res("OST LoadingOrders"));
  bool newCatalog = false;
  bool result = false;
  std::string errors;
  Env* env = Env::Default();

  WriteLog("Calling FillStyleSheets");
  StyleSheets.FillStyleSheets(docSettings);
  CatalogCounter = 0;
  RegisteredCatalogs.clear();
  StoreFailures = 0;

  // 2. The spool folder.
  std::string spool = GetNodeText(docSettings, "SETTINGS/SPOOLPATH");
  WriteLog("Got spool path from Settings document. Value: " + spool);
  if (!env->IsDirectory(spool)) {
    spool = JoinPath(ModuleFolder(), "Send");
    WriteLog("The path was not found. Will be set to " + spool);
    xml::Node sp = docSettings.selectSingleNode("SETTINGS/SPOOLPATH");
    if (sp) {
      sp.setText(spool);
    } else {
      WriteLog(
          "Unable to set SETTINGS/SPOOLPATH, this element does not exist in Settings document.");
    }
    env->CreateDirectories(spool, nullptr);
  }
  ClearStage(spool);

  // 3. The dump of the last load.
  const std::string dump = JoinPath(spool, "orders.xml");
  if (env->Exists(dump)) {
    WriteLog("Deleting " + dump);
    env->RemoveFile(dump, nullptr);
  }

  // 4. The design input.
  xml::Document inputXML;
  bool input_parsed = false;
  std::vector<std::string> podesignnames;
  std::string& input = Module().StartupInput;
  if (!Trim(input).empty()) {
    const std::string order = Trim(GetNodeText(docSettings, "/SETTINGS/SORTORDER"));
    if (!order.empty() && order != "NS") {
      WriteLog("Sorting the input with method " + order);
      clsSortItem sorter;
      std::string xsl = StyleSheets.Item("SortCabinets");
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

    if (!inputXML.loadXML(input)) {
      const std::string reason = inputXML.parseErrorReason();
      CurrentDialogs().MsgBox(Res("MSG ErrorLoadingXMLFromCallingApp") + "\r\n" + reason,
                              MsgButtons::OK, MsgIcon::Information, ModuleTitle());
      LogError("LoadOrders", Err::Raise(kErrComponent, "LoadOrders",
                                        Res("MSG ErrorLoadingXMLFromCallingApp") + " " + reason));
      input.clear();
    } else {
      input_parsed = true;
      if (inputXML.selectSingleNode("/PROJECTS/EXPORTINFO/APPNAME")) {
        const std::string host = GetHostProgramPath();
        const std::string xsl_path = JoinPath(host, "XSL/LKTOEDI.XSL");
        xml::Document xsl;
        if (!host.empty() && env->Exists(xsl_path) && xsl.load(xsl_path)) {
          std::string reason;
          std::string converted = inputXML.transformNode(xsl, &reason);
          xml::Document result_doc;
          if (reason.empty() && result_doc.loadXML(converted)) {
            inputXML = result_doc;
          } else {
            LogError("LoadOrders",
                     Err::Raise(kErrComponent, "LoadOrders using LKTOEDI.XSL",
                                reason.empty() ? result_doc.parseErrorReason() : reason));
          }
        }
      }
      RemoveTopLevelNoise(inputXML);
      CompleteDesignFileNames(inputXML);
      for (xml::Node d : inputXML.selectNodes("//Design[JobInfo/FileName]")) {
        podesignnames.push_back(DesignKey(d));
      }
    }
  } else {
    WriteLog("StartupInput is empty.");
  }

  // 5./6. A new document: Orders with a copy of the settings as they stand now.
  docOrders = xml::Document();
  LoadedSpoolFiles.clear();
  xml::Node orders = docOrders.appendChild(docOrders.createElement("Orders"));
  if (xml::Node settings = docSettings.selectSingleNode("SETTINGS")) {
    orders.appendChild(docOrders.importNode(settings, true));
  }
  IndexSettingsForLoad();
  // 11. Order groups: each design is grouped as it is taken in, in the order a pass over
  // the finished stack would take them (designs inside a design right after it).
  WriteLog("Entering LoadOrderGroups().");
  GroupingPtr grouping = BeginGrouping();
  // The validator of step 12, made now: its script worker starts from the small process
  // this still is, not from one holding the whole stack.
  clsEdiValidate validator;
  validator.PrepareScripts(docSettings);

  // 7. The stacked designs.
  int designCounter = 0;
  std::vector<std::string> replaced;
  for (const std::string& name : ListXmeFiles(spool)) {
    Yield();
    if (bNavigating) {
      WriteLog("LoadOrders aborted by a navigation.");
      settingsIndexed_ = false;
      return false;
    }
    LoadedSpoolFiles.insert(name);
    const std::string path = JoinPath(spool, name);
    Status(name);
    xml::Document fileDoc;
    Err err;
    std::string text = DesignFileText(ckUtil.DeCryptFile(path, &err));
    if (text.empty() || !fileDoc.loadXML(text)) {
      const std::string line = ResParam("MSG InvalidXMLOrderInParam", {name});
      errors += line + "\r\n";
      LogError("LoadOrders: " + line,
               Err::Raise(kErrComponent, "LoadOrders",
                          err ? err.Description : fileDoc.parseErrorReason()));
      continue;
    }
    RemoveTopLevelNoise(fileDoc);
    xml::Node first = fileDoc.firstChild();
    if (first.isNull() || first.nodeName() != "Design") continue;

    if (input_parsed) {
      const std::string key = DesignKey(first);
      if (std::find(podesignnames.begin(), podesignnames.end(), key) != podesignnames.end()) {
        const MsgResult answer = CurrentDialogs().MsgBox(
            ResParam("MSG ProgramFoundDesignParamAlreadyExist", {key}) + "\r\n\r\n" +
                Res("MSG DoYouWantReplace"),
            MsgButtons::YesNo, MsgIcon::Question, Res("MSG ReplaceQuestionMark"));
        if (answer == MsgResult::Yes) {
          // Deleted once the input's copy is stored, so a failure cannot lose both.
          replaced.push_back(name);
          continue;
        }
      }
    }
    ++designCounter;
    LoadOrdersSub(first, name, designCounter, newCatalog);
    // The file's tree is moved, not copied: fileDoc is dropped right after.
    GroupDesignTree(*grouping, orders.adoptChild(fileDoc));
  }

  // 8. The designs of the input, each stored as a new enciphered file.
  if (input_parsed) {
    Utility util;
    for (xml::Node design : inputXML.selectNodes("//Design[JobInfo]")) {
      const std::string guid = util.GetGUID();
      if (xml::Node g = design.selectSingleNode("JobInfo/Header/GlobalID")) g.setText(guid);
      xml::Node bias = design.selectSingleNode("JobInfo/Header/DateBias");
      if (bias && bias.text().empty()) bias.setText(util.GetTimeZoneBias());
      const std::string name = guid + ".xme";
      Status(name);
      Err err;
      if (StoreDesignFile(ckUtil, spool, name, design.xml(), err)) {
        LoadedSpoolFiles.insert(name);
      } else {
        ++StoreFailures;
        const std::string line =
            ResParam("MSG ErrorNumberSourceDescription",
                     {std::to_string(err.Number), err.Source, err.Description});
        errors += line + "\r\n";
        LogError("LoadOrders: the design could not be stored in " + spool, err);
      }
      ++designCounter;
      LoadOrdersSub(design, name, designCounter, newCatalog);
      GroupDesignTree(*grouping, orders.appendChild(docOrders.importNode(design, true)));
    }
    for (const std::string& name : replaced) {
      if (StoreFailures > 0) break;  // keep the stacked copies: the new ones are not all safe
      WriteLog("Replacing " + name);
      env->RemoveFile(JoinPath(spool, name), nullptr);
      LoadedSpoolFiles.erase(name);
    }
    // 9.
    input.clear();
    if (newCatalog) {
      if (ShowSettingsView) ShowSettingsView();
      result = true;
    }
  }
  // Every design is in: the lookups of the load go before the validation adds its own.
  settingsIndexed_ = false;
  std::unordered_map<std::string, xml::Node>().swap(catalogByCode_);
  std::unordered_map<std::string, xml::Node>().swap(partnerById_);
  grouping.reset();

  // 12.
  if (!validator.ValidateOrders(docOrders, bShowDialog)) {
    WriteLog("Could not validate Orders doc in LoadOrders.");
  }

  // 13.
  if (Module().LogEnabled) {
    std::string text = docOrders.documentElement().xml();
    SaveXmlText(text, dump);
    LoadedSpoolFiles.insert("orders.xml");
  }
  // 14.
  if (!errors.empty()) {
    CurrentDialogs().MsgBox(Res("MSG ErrorsHaveOccured") + "\r\n" + errors, MsgButtons::OK,
                            MsgIcon::None, ModuleTitle());
  }
  Status("");
  return result;
}

bool frmEDI::TakeInStartupInput(int& status) {
  status = EDI_VALIDATE_OK;
  std::string& input = Module().StartupInput;
  if (Trim(input).empty()) return true;
  CreateDomDocument(docInput);
  WriteLog("Loading StartupInput in docInput document object.");
  if (!docInput.loadXML(input)) {
    const std::string text =
        Res("MSG ErrorLoadingXMLFromCallingApp") + "\r\n" + docInput.parseErrorReason();
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
    CurrentDialogs().MsgBox(ResParam("MSG ErrorNumberSourceDescription",
                                     {std::to_string(err.Number), err.Source, err.Description}),
                            MsgButtons::OK, MsgIcon::Critical, ModuleTitle());
    LogError("Form_Load", err);
    return false;
  }
  CompleteJobInfo(design);
  xml::Node validated = design;
  {
    clsEdiValidate validator;
    status = validator.ValidateDesign2(validated, docSettings, false, true);
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
