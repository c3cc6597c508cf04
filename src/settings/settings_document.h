// The settings document: partners, catalogs, transmission methods, folders and options, kept
// in the settings file beside the module (<module folder>/<module name>.xml).
#pragma once

#include <string>
#include <utility>
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
  /// The partner web service was asked once (FillSettings sets it): later loads no longer
  /// ask it for new free-EDI manufacturers. Commands without a window set it before the
  /// first load.
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

  // Partners, catalogs and options edited from the settings and partner pages
  // (settings_management.cpp). Every change that is saved goes through SaveChanges: a
  // settings file that did not parse is never overwritten by them. Each returns an empty
  // Err, or what was missing or why the save failed.

  /// The next partner ID: above every partner's ID, every catalog's PARTNERID and every
  /// partner removed since this object was made, so a new partner never inherits the
  /// catalogs (or anything else keyed by the ID) of a removed one.
  int NextPartnerID() const;
  /// Appends the catalog `code` (PARTNERID -2: not yet assigned) and saves. A blank code
  /// changes nothing and gives 0 in `id`.
  Err CreateCatalog(const std::string& code, int* id = nullptr);
  /// The CODE of catalog `id`; empty when there is no such catalog.
  std::string CatalogCode(int id) const;
  /// Renames catalog `id` and saves; a blank code or the current one changes nothing
  /// (`changed` false).
  Err EditCatalog(int id, const std::string& code, bool* changed);
  /// Removes catalog `id` and saves.
  Err RemoveCatalog(int id);
  /// Sends the orders of catalog `id` to partner `partner_id` (its PARTNERID) and saves
  /// when that changes it (`changed`).
  Err AssignCatalogPartner(int id, const std::string& partner_id, bool* changed);

  /// What the partner page holds for one partner.
  struct PartnerFields {
    std::string Name, ManufId, DealerId;
    bool KitFile = false;
    /// The method chosen in the page's list; 0 keeps the partner's method.
    int MethodId = 0;
  };
  /// Copies `fields` into partner `id` (a missing partner is reported in a message box,
  /// "MSG CannotSavePartner") and saves: everything when no other new partner is pending,
  /// otherwise SaveSinglePartnerInXML. `others_pending` tells which happened.
  Err SavePartner(int id, const PartnerFields& fields, bool* others_pending);
  /// Takes partner `id` out of the new-partner list and saves the settings without the
  /// partners still in it (they stay in docSettings).
  Err SaveSinglePartnerInXML(int id);
  /// Removes partner `id` from docSettings and from the new-partner list; not saved. The
  /// catalogs that pointed to it keep their PARTNERID (they no longer have a partner).
  Err RemovePartner(int id);
  /// Removes every partner still in the new-partner list from docSettings; empties it.
  void DropNewPartners();
  /// True when method `method_id` exists; `order_form` is set for an order-form module
  /// method (OBJECTNAME "ORDR"), which has no configuration dialog.
  bool FindMethod(int method_id, bool* order_form) const;

  /// The spool folder (`archive` false) or the archive folder becomes `folder`, saved. A
  /// folder that is the other one, however written, is refused (kErrGeneral): archiving
  /// would pack and delete the stacked designs.
  Err SetFolder(bool archive, const std::string& folder);
  /// The cabinet sort order code; saved when it changes.
  Err SetSortOrder(const std::string& code);
  /// Stores a settings form: SETTINGS/<FORM ID> holds one child per text input, named by
  /// the input's id upper-cased, with its value. Ids that are not plain names (letters,
  /// digits, '_', '-', '.') are refused. Saved.
  Err SaveForm(const std::string& form_id,
               const std::vector<std::pair<std::string, std::string>>& inputs);

 private:
  Err damaged_;
  /// The highest partner ID removed by RemovePartner.
  int removed_partner_high_ = 0;
  /// Saves docSettings without the partners listed.
  Err SaveWithoutPartners(const std::vector<int>& ids);
  void AddNewPartner(int id);
  /// Appends a partner with the next ID (listed as new); code and, for a partner that is
  /// not free-EDI, name default from the resources. Returns the ID, 0 without SETTINGS.
  int AppendPartner(bool free_edi, const std::string& code, const std::string& name,
                    const std::string& manufacturer_id, const std::string& dealer_id);
};

}  // namespace larkedi
