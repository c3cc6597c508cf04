// The style sheet table and the XSL transformation every view shares.
//
// Every screen is an XSL transformation of the order stack document. The style sheets are
// files in the module's html folder, localised once when the table is filled (their IDS
// elements replaced by the language texts) and kept as text, keyed by a short name. The
// main window owns one StyleSheetTable and refills it at the start of every stack load.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/xml/xml.h"
#include "support/log.h"

namespace larkedi {

/// Resolves a file name the way the html readers do: a name without a folder ('/') is a
/// file of the module's html folder (found without regard to case when the exact name is
/// not there); a name with a folder is used unchanged.
std::string ResolveHtmlPath(std::string_view file_name);

/// The file's text, localised with the resource file `resx_file` when that is not blank
/// (IDS elements replaced by the language texts). With `must_exist`, a missing file or
/// resource file is reported in a message box ("MSG FileParamWasNotFound") and the result
/// is empty. The resource file is searched in html/, in the language sub-folder of html/
/// and in the language sub-folder of ../common/resources beside the module folder.
/// Empty on any failure.
std::string LoadLocalizedFile(std::string_view file_name, std::string_view resx_file,
                              bool must_exist);

/// The raw text of a page of the html folder. Unless `no_check`, a missing file is
/// reported in a message box and the result is empty.
std::string ReadHtmlFile(std::string_view file_name, bool no_check);

/// Key -> localised style sheet text. Keys are matched without regard to case.
class StyleSheetTable {
 public:
  /// The fixed entries: key and file name in the html folder, in loading order.
  static const std::vector<std::pair<std::string, std::string>>& StandardEntries();

  /// Rebuilds the table: every standard entry, then the custom transformation named by
  /// SETTINGS/TRANSFORMATION of `docSettings` (its text is both key and file name) when
  /// that text is not empty. A missing file has been reported and gets an empty text.
  void FillStyleSheets(const xml::Node& docSettings);

  /// The text of `key`; empty when the key is unknown or its file was missing.
  std::string Item(std::string_view key) const;
  /// True when the table holds `key` (even with an empty text).
  bool Contains(std::string_view key) const;
  /// Adds an entry; false (nothing changes) when the key is already there.
  bool Add(std::string key, std::string text);
  void Clear() { entries_.clear(); }
  std::size_t Count() const { return entries_.size(); }
  /// The keys in the order they were added.
  std::vector<std::string> Keys() const;

  /// Transforms `doc` with the style sheet of `key`, passing the parameter `param_name`
  /// (as a string) when that is not blank. On success `output` receives the result text.
  /// A style sheet that does not load gives an error whose description is `error_text`, a
  /// line break and the parser's reason, with the source "TransformXmlDoc using " + key; a
  /// failing transformation gives the processor's reason under the same source.
  bool TransformXmlDoc(const xml::Node& doc, std::string_view key, const std::string& error_text,
                       const std::string& param_name, const std::string& param_value,
                       std::string& output, Err& err) const;

 private:
  const std::pair<std::string, std::string>* Find(std::string_view key) const;

  std::vector<std::pair<std::string, std::string>> entries_;
};

}  // namespace larkedi
