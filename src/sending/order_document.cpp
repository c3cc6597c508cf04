#include "sending/order_document.h"

#include <vector>

#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "sending/ckutil.h"
#include "support/log.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/utility.h"
#include "support/xml_helpers.h"

namespace larkedi {

namespace {

constexpr const char* kCrLf = "\r\n";

/// Sets the text of the element's first child node, or gives it a CDATA section when it
/// has none.
void SetFirstChildText(xml::Node element, std::string_view value) {
  if (!element) return;
  if (xml::Node child = element.firstChild()) {
    child.setNodeValue(value);
  } else {
    element.appendChild(element.ownerDocument().createCDATASection(value));
  }
}

/// The element name a path ends with: its last step without predicates.
std::string LastStepName(std::string_view path) {
  int depth = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '[') ++depth;
    if (path[i] == ']') --depth;
    if (path[i] == '/' && depth == 0) start = i + 1;
  }
  std::string step(path.substr(start));
  return step.substr(0, step.find('['));
}

/// Removes every node of the list from its own parent, last first.
void RemoveAll(const xml::NodeList& nodes) {
  for (long i = nodes.length() - 1; i >= 0; --i) {
    xml::Node node = nodes.item(i);
    if (xml::Node parent = node.parentNode()) parent.removeChild(node);
  }
}

/// The compressed content of a file as one Base64 line.
std::string FileData(const std::string& path, Err* error) {
  std::string data = CKUtil().GetCompressedFileData(path, true, false, error);
  std::string out;
  out.reserve(data.size());
  for (char c : data) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

/// Asks whether to go on without a missing file. True for Yes.
bool GoOnWithoutFile(const std::string& path) {
  return CurrentDialogs().MsgBox(
             Res("MSG FileNotFound") + kCrLf + path + kCrLf + Res("MSG DoYouWishProcessOrder"),
             MsgButtons::YesNo, MsgIcon::Question, ModuleTitle()) == MsgResult::Yes;
}

/// A new File element (Type "Kit", Name, FileData) appended to the design.
void AppendFileElement(xml::Document& tmpdoc, xml::Node design, const std::string& path,
                       const std::string& data) {
  xml::Node file = tmpdoc.createElement("File");
  xml::Node type = tmpdoc.createElement("Type");
  type.setText("Kit");
  xml::Node name = tmpdoc.createElement("Name");
  name.appendChild(tmpdoc.createCDATASection(path));
  xml::Node file_data = tmpdoc.createElement("FileData");
  file_data.setText(data);
  file.appendChild(type);
  file.appendChild(name);
  file.appendChild(file_data);
  design.appendChild(file);
}

}  // namespace

xml::Node SetHeaderValue(const xml::Node& doc, std::string_view target, std::string_view parent,
                         std::string_view value) {
  xml::Node element = doc.selectSingleNode(target);
  if (!element) {
    xml::Node under = doc.selectSingleNode(parent);
    if (!under) return {};
    xml::Document owner = doc.ownerDocument();
    xml::Node created = owner.createElement(LastStepName(target));
    created.appendChild(owner.createCDATASection(value));
    return under.appendChild(created);
  }
  SetFirstChildText(element, value);
  return element;
}

bool BuildOrderDocument(const xml::Node& order, xml::Document& tmpdoc, const xml::Node& settings,
                        const std::string& manuf_id, const std::string& dealer_id,
                        const std::string& password, Err* error) {
  Err local;
  Err& err = error ? *error : local;
  err.Clear();
  if (!order) {
    err = Err::Raise(kErrGeneral, "BuildOrderDocument", "There is no order to prepare.");
    return false;
  }
  xml::Node design = tmpdoc.selectSingleNode("Design");
  if (!design) {
    err = Err::Raise(kErrGeneral, "BuildOrderDocument", "The order document holds no design.");
    return false;
  }

  WriteLog("Here we look for catalogs to send in this order and we clean tmpdoc.");
  std::vector<std::string> catalog_ids;
  for (xml::Node id : order.selectNodes("CATALOGID")) catalog_ids.push_back(id.text());
  for (xml::Node catalog : tmpdoc.selectNodes("//Catalog")) {
    const std::string id = GetNodeText(catalog, "ID");
    bool kept = false;
    for (const auto& wanted : catalog_ids) kept = kept || wanted == id;
    if (kept) {
      SetFirstChildText(catalog.selectSingleNode("Identification/ManufID"), manuf_id);
      SetFirstChildText(catalog.selectSingleNode("Identification/DealerID"), dealer_id);
      SetFirstChildText(catalog.selectSingleNode("Identification/Password"), password);
    } else {
      catalog.parentNode().removeChild(catalog);
    }
  }
  const std::string order_id = GetNodeText(order, "ID");
  RemoveAll(tmpdoc.selectNodes("//ORDERGROUP[ID!=" + xml::XPathLiteral(order_id) + "]"));

  WriteLog("Create KitFile element if necessary");
  const std::string partner_id = GetNodeText(order, "PARTNERID");
  if (GetNodeText(settings,
                  "SETTINGS/PARTNER[ID=" + xml::XPathLiteral(partner_id) + "]/KITFILEID") == "1") {
    const std::string path = GetNodeText(order, "../JobInfo/FileName");
    if (!FileExists(path)) {
      if (!GoOnWithoutFile(path)) return false;
    } else {
      const std::string data = FileData(path, &err);
      if (err) return false;
      if (xml::Node file = tmpdoc.selectSingleNode("Design/File")) {
        if (xml::Node type = file.selectSingleNode("Type")) type.setText("Kit");
        SetFirstChildText(file.selectSingleNode("Name"), path);
        if (xml::Node file_data = file.selectSingleNode("FileData")) file_data.setText(data);
      } else {
        AppendFileElement(tmpdoc, design, path, data);
      }
    }
  }

  WriteLog("'Get Attach Files");
  for (xml::Node attached : order.selectNodes("File")) {
    const std::string path = GetNodeText(attached, "Name");
    if (!FileExists(path)) {
      if (!GoOnWithoutFile(path)) return false;
      continue;
    }
    const std::string data = FileData(path, &err);
    if (err) return false;
    AppendFileElement(tmpdoc, design, path, data);
  }

  WriteLog("'Write a new GlobalID");
  SetHeaderValue(tmpdoc, "Design/JobInfo/Header/GlobalID", "Design/JobInfo/Header",
                 Utility().GetGUID());
  WriteLog("'SET PO Number");
  SetHeaderValue(tmpdoc, "Design/JobInfo/Header/Number", "Design/JobInfo/Header",
                 GetNodeText(order, "PONUMBER"));
  WriteLog("'Set Comment");
  SetHeaderValue(tmpdoc, "Design/JobInfo/Header/Comment", "Design/JobInfo/Header",
                 GetNodeText(order, "COMMENT"));
  WriteLog("'Set Contact Name");
  const char* designer = "Design/JobInfo/Profile[Type='BillTo']/Contact[Type='Designer']";
  if (xml::Node name = SetHeaderValue(tmpdoc, std::string(designer) + "/Name[@Type='FullName']",
                                      designer, GetNodeText(order, "CONTACTNAME"))) {
    name.setAttribute("Type", "FullName");
  } else {
    // Nothing to write the contact into; the order goes without it.
    WriteLog("The design has no Designer contact under its bill-to profile; contact name skipped.");
  }
  WriteLog("'SET Transaction Code (for rfq and change orders etc)");
  const bool rfq = order.selectSingleNode("RFQ[.='1']") ? true : false;
  SetHeaderValue(tmpdoc, "Design/JobInfo/Header/TransactionCode", "Design/JobInfo/Header",
                 rfq ? "10" : "00");

  RemoveExcludedItems(tmpdoc);
  return true;
}

void RemoveExcludedItems(const xml::Node& doc) {
  RemoveAll(doc.selectNodes("//Design/Catalog/Item[Class='885']"));
}

void KeepCatalogOnly(const xml::Node& doc, const std::string& catalog_name) {
  const std::string name = xml::XPathLiteral(catalog_name);
  RemoveAll(doc.selectNodes("//PODETAILS[CATALOG!=" + name + "]"));
  RemoveAll(doc.selectNodes("//POLINES/ITEM[CATNAME!=" + name + "]"));
  RemoveAll(doc.selectNodes("//Design/Catalog[Identification/Name!=" + name + "]"));
}

std::string DoCustomTransformation(const xml::Node& doc, std::string& xsl_path) {
  if (xsl_path.find('/') == std::string::npos) xsl_path = JoinPath(ModulePath("html"), xsl_path);
  const std::string source = "DoCustomTransformation using " + xsl_path;
  Err err;
  if (!FileExists(xsl_path)) {
    WriteLog("File for xsl script wa not found!");
    err = Err::Raise(9001, source, "File was not found: " + xsl_path);
    return "ERROR : " + err.Description;
  }
  xml::Document sheet;
  if (!sheet.load(xsl_path)) {
    WriteLog(sheet.parseErrorReason() + kCrLf + "Error Loading xsl script");
    err = Err::Raise(9002, source,
                     Res("MSG ErrorLoadingPOTransformXSFiile") + kCrLf + sheet.parseErrorReason());
    return "ERROR : " + err.Description;
  }
  WriteLog("'After loading xsl file in Xml Doc");
  xml::Template compiled;
  std::string reason;
  if (!compiled.setStylesheet(sheet, &reason)) return "ERROR : " + reason;
  xml::Processor processor(compiled);
  processor.setInput(doc);
  if (!processor.transform()) return "ERROR : " + processor.error();

  // The processor hands back UTF-8 text whatever the style sheet's output encoding; the
  // declaration must say so too, or a reader would decode it wrongly.
  std::string output = processor.output();
  if (output.rfind("<?xml", 0) == 0) {
    const std::size_t end = output.find("?>");
    const std::size_t enc = output.find("encoding=", 0);
    if (end != std::string::npos && enc != std::string::npos && enc < end) {
      const char quote = output[enc + 9];
      const std::size_t close = output.find(quote, enc + 10);
      if ((quote == '"' || quote == '\'') && close != std::string::npos && close < end) {
        output.replace(enc, close + 1 - enc, "encoding=\"UTF-8\"");
      }
    }
  }
  return output;
}

}  // namespace larkedi
