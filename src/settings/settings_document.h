// The settings document: partners, catalogs, transmission methods, folders and options, kept
// in the settings file beside the module (<module folder>/<module name>.xml).
#pragma once

#include <string>
#include <vector>

#include "platform/err.h"
#include "platform/xml/xml.h"

namespace larkedi {

/// The settings file: <module folder>/<module name>.xml.
std::string SettingsPath();

/// Parses a settings text, drops the METHOD and PARTNER elements marked dontsave="1" and
/// writes the settings file whole, with the existing file's permissions; an existing file
/// that does not parse is first copied to <name>.xml.bad (unless such a copy exists). Returns an
/// empty Err on success; otherwise the error names the file and the reason (the text does not
/// parse, the file cannot be written), and the file is left as it was.
Err SaveSettingsXML(const std::string& text);

/// Owns the settings document of a window (or of one command) and the state its loading
/// and partner creation share.
class SettingsDocument {
 public:
  SettingsDocument() = default;
  SettingsDocument(const SettingsDocument&) = delete;
  SettingsDocument& operator=(const SettingsDocument&) = delete;

  /// The settings, root SETTINGS once FillSettings ran. Invariant: after FillSettings it
  /// holds SETTINGS with SPOOLPATH, ARCHIVEPATH, TRANSFORMATION and SORTORDER.
  xml::Document docSettings;
  /// IDs of the partners created since the settings were loaded and not yet saved.
  std::vector<int> NewPartners;
  /// The partner web service was asked once: later loads no longer ask it for new
  /// free-EDI manufacturers. Commands without a window set it before the first load.
  bool bWebServiceDone = false;

  /// (Re)loads docSettings from the settings file and completes it with the defaults,
  /// free-EDI partners (only while bWebServiceDone is false) and the transmission methods
  /// registered on the machine; saves the file when a default or partner was added. A file
  /// that exists but does not parse is reported (file and reason), never overwritten: the
  /// defaults serve in memory until an explicit SaveSettingsXML. Returns an empty Err, the
  /// failure of that save, or the unreadable file's error (the document is complete in
  /// memory either way).
  Err FillSettings();
  /// Largest ID of the elements plus 1; 1 for an empty list.
  int NextID(const xml::NodeList& nodes) const;
  /// Appends an unsaved partner (code and name default from the resources); its ID, or 0
  /// when the document has no SETTINGS.
  int CreateEmptyPartner(const std::string& code, const std::string& name);
  /// Appends an unsaved free-EDI partner for a manufacturer of the partner web service; its
  /// ID, or 0 when the document has no SETTINGS.
  int CreateFreeEDIPartner(const std::string& manufacturer_id, const std::string& name);
  /// True when the partner exists and carries the freeedi attribute set.
  bool IsFreeEdiPartner(int partner_id) const;
  /// Writes docSettings to the settings file (see the free SaveSettingsXML): the user's
  /// explicit save, which also replaces a file that did not parse (kept as <name>.xml.bad).
  Err SaveSettingsXML();
  /// Saves a change the module made by itself (a catalog registered by a stack load): like
  /// SaveSettingsXML, except that a settings file that did not parse is left alone (its
  /// error is returned).
  Err SaveChanges();
  /// Why the settings file could not be used at the last load; empty when it could.
  const Err& Damaged() const { return damaged_; }

  /// Text of the first match of `xpath` in docSettings ("SETTINGS/SPOOLPATH").
  std::string Value(const std::string& xpath) const;

 private:
  Err damaged_;
  void AddNewPartner(int id);
  /// Appends a partner with the next ID (listed as new); code and, for a partner that is
  /// not free-EDI, name default from the resources. Returns the ID, 0 without SETTINGS.
  int AppendPartner(bool free_edi, const std::string& code, const std::string& name,
                    const std::string& manufacturer_id, const std::string& dealer_id);
};

}  // namespace larkedi
