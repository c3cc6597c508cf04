#include "presentation/style_sheets.h"

#include <cctype>

#include "platform/env.h"
#include "platform/ui/dialogs.h"
#include "support/module.h"
#include "support/resx.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

constexpr const char* kResXFile = "lkedi.resx";

bool HasFolder(std::string_view name) {
  return name.find('/') != std::string_view::npos;
}

// The existing file `name` in `folder`, found without regard to case; the exact path when
// there is none (so messages name the file the module looked for).
std::string InFolder(const std::string& folder, std::string_view name) {
  std::string exact = JoinPath(folder, name);
  if (Env::Default()->Exists(exact)) return exact;
  std::string found = FindFileNoCase(folder, name);
  return found.empty() ? exact : found;
}

// Without a language file (it may be the very file that is missing) the English text
// still names the path.
void ReportMissing(const std::string& path, MsgIcon icon) {
  std::string text =
      Resources().GetResXString("MSG FileParamWasNotFound", "The file %s0 was not found.");
  if (std::size_t at = text.find("%s0"); at != std::string::npos) text.replace(at, 3, path);
  CurrentDialogs().MsgBox(text, MsgButtons::OK, icon, ModuleTitle());
}

std::string ReadWhole(const std::string& path) {
  std::string data, error;
  if (!Env::Default()->ReadFile(path, &data, &error)) {
    LogError("Cannot read " + path, Err::Raise(kErrComponent, "ReadFile", error));
    return {};
  }
  return data;
}

// Localises the template at `path` with the resource file at `resx_path`. The shared
// resource object is used when it already holds that file; another file is loaded into a
// private object so the module's own texts stay as they were.
std::string Localise(const std::string& path, const std::string& resx_path) {
  clsResX& shared = Resources();
  if (shared.IsLoaded() && !Module().ResXPath.empty() && Module().ResXPath == resx_path) {
    if (!shared.LoadXmlFile(path)) return {};
    return shared.LoadAllResXString();
  }
  clsResX own;
  if (!own.LoadResXFile(resx_path) || !own.LoadXmlFile(path)) return {};
  return own.LoadAllResXString();
}

}  // namespace

std::string ResolveHtmlPath(std::string_view file_name) {
  if (HasFolder(file_name)) return std::string(file_name);
  return InFolder(ModulePath("html"), file_name);
}

std::string LoadLocalizedFile(std::string_view file_name, std::string_view resx_file,
                              bool must_exist) {
  if (Trim(file_name).empty()) return {};
  const std::string path = ResolveHtmlPath(file_name);
  if (must_exist && !FileExists(path)) {
    ReportMissing(path, MsgIcon::Critical);
    return {};
  }
  if (!resx_file.empty()) {
    std::string resx_path;
    if (HasFolder(resx_file)) {
      resx_path = std::string(resx_file);
      if (must_exist && !FileExists(resx_path)) {
        ReportMissing(resx_path, MsgIcon::Critical);
        return {};
      }
    } else if (!must_exist) {
      resx_path = ResolveHtmlPath(resx_file);
    } else {
      const std::string& language = Module().LanguageFolder;
      const std::string html = ModulePath("html");
      const std::string candidates[] = {
          InFolder(html, resx_file),
          InFolder(JoinPath(html, language), resx_file),
          InFolder(JoinPath(ModulePath("../common/resources"), language), resx_file),
      };
      for (const std::string& candidate : candidates) {
        if (FileExists(candidate)) {
          resx_path = candidate;
          break;
        }
      }
      if (resx_path.empty()) {
        ReportMissing(candidates[2], MsgIcon::Critical);
        return {};
      }
    }
    return Localise(path, resx_path);
  }
  return ReadWhole(path);
}

std::string ReadHtmlFile(std::string_view file_name, bool no_check) {
  if (Trim(file_name).empty()) return {};
  const std::string path = ResolveHtmlPath(file_name);
  if (!no_check && !FileExists(path)) {
    ReportMissing(path, MsgIcon::Exclamation);
    return {};
  }
  return ReadWhole(path);
}

const std::vector<std::pair<std::string, std::string>>& StyleSheetTable::StandardEntries() {
  static const std::vector<std::pair<std::string, std::string>> entries = {
      {"orderstacklist", "orderstacklist.xsl"},
      {"orderstacktotals", "orderstacktotals.xsl"},
      {"orderdetail", "orderdetail.xsl"},
      {"settings", "settings.xsl"},
      {"partner", "partner.xsl"},
      {"partnerlist", "partnerlist.xsl"},
      {"orderstogo", "orderstogo.xsl"},
      {"CatalogToEDI", "CatalogToEDI.xsl"},
      {"Status", "Status.xsl"},
      // The dealer status list of a partner's server is drawn with this one.
      {"ediorderlist", "ediorderlist.xsl"},
      {"SortCabinets", "SortCabinets.xsl"},
  };
  return entries;
}

void StyleSheetTable::FillStyleSheets(const xml::Node& docSettings) {
  LogScope log_scope("FillStyleSheets");
  entries_.clear();
  for (const auto& [key, file] : StandardEntries()) {
    Add(key, LoadLocalizedFile(file, kResXFile, true));
  }
  std::string custom = docSettings ? GetNodeText(docSettings, "SETTINGS/TRANSFORMATION") : "";
  if (Module().LogEnabled) {
    WriteLog("Got SETTINGS/TRANSFORMATION element from Settings document:" + custom);
  }
  if (!custom.empty()) {
    std::string text = LoadLocalizedFile(custom, kResXFile, true);
    if (!Add(custom, std::move(text))) {
      WriteLog("The style sheet " + custom + " is already in the table.");
    }
  }
  WriteLog("Exiting FillStyleSheets");
}

const std::pair<std::string, std::string>* StyleSheetTable::Find(std::string_view key) const {
  for (const auto& entry : entries_) {
    if (EqualsNoCaseAscii(entry.first, key)) return &entry;
  }
  return nullptr;
}

std::string StyleSheetTable::Item(std::string_view key) const {
  const auto* entry = Find(key);
  return entry ? entry->second : std::string();
}

bool StyleSheetTable::Contains(std::string_view key) const {
  return Find(key) != nullptr;
}

bool StyleSheetTable::Add(std::string key, std::string text) {
  if (Find(key)) return false;
  entries_.emplace_back(std::move(key), std::move(text));
  return true;
}

std::vector<std::string> StyleSheetTable::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const auto& entry : entries_) keys.push_back(entry.first);
  return keys;
}

bool StyleSheetTable::TransformXmlDoc(const xml::Node& doc, std::string_view key,
                                      const std::string& error_text, const std::string& param_name,
                                      const std::string& param_value, std::string& output,
                                      Err& err) const {
  const bool log = Module().LogEnabled;
  const std::string skey(key);
  const std::string source = "TransformXmlDoc using " + skey;
  output.clear();
  err.Clear();
  LogScope log_scope("TransformXmlDoc().");
  if (log) WriteLog("Loading " + skey + " XSL file.");

  xml::Document sheet;
  std::string reason;
  if (!sheet.loadXML(Item(key))) {
    reason = sheet.parseErrorReason();
  }
  xml::Template tmpl;
  if (reason.empty() && !tmpl.setStylesheet(sheet, &reason) && reason.empty()) {
    reason = "The style sheet is not valid XSLT.";
  }
  if (!reason.empty()) {
    if (log) WriteLog(error_text + "\r\n" + reason);
    err = Err::Raise(kErrComponent, source, error_text + "\r\n" + reason);
    return false;
  }

  if (log) {
    WriteLog("Transform " + doc.baseName() + " document with " + skey + ".xsl stylesheet.");
  }
  xml::Processor processor(tmpl);
  if (!Trim(param_name).empty()) {
    WriteLog("Adding " + param_name + " parameter.");
    processor.addParameter(param_name, param_value);
  }
  processor.setInput(doc);
  if (!processor.transform()) {
    err = Err::Raise(kErrComponent, source, processor.error());
    return false;
  }
  output = processor.output();
  return true;
}

}  // namespace larkedi
