// The order stack: every design waiting in the spool folder, one enciphered <GUID>.xme file
// each, assembled into the order stack document with its catalogs grouped into one order per
// partner. The stack is rebuilt from the folder by every load; edits reach the folder through
// SaveOrders.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "orders/stack_observer.h"
#include "platform/env.h"
#include "platform/err.h"
#include "platform/xml/xml.h"
// The settings say where the spool and archive folders are, which partner receives each
// catalog, and take the catalogs a load registers.
#include "settings/catalog_index.h"
#include "settings/settings_document.h"

namespace larkedi {

class OrderStack {
 public:
  /// The stack of the window (or command) that owns `settings`; both must outlive it.
  OrderStack(SettingsDocument& settings, StackObserver& observer);
  ~OrderStack();
  OrderStack(const OrderStack&) = delete;
  OrderStack& operator=(const OrderStack&) = delete;

  /// The order stack document. Invariant after a load: root Orders holding a copy of the
  /// settings' SETTINGS, then one Design per stacked file (FileName = that file's name,
  /// ID = load order) with its ORDERGROUPs.
  xml::Document docOrders;
  /// The design the host handed in, while the window's load takes it in.
  xml::Document docInput;
  /// Names of the stacked files docOrders was built from (plus "orders.xml" when dumped).
  std::set<std::string> LoadedSpoolFiles;
  /// An order group was edited since the stack was last saved.
  bool bOrdersChanged = false;
  /// Catalog IDs of the stack, counted over every design of the last load.
  int CatalogCounter = 0;
  /// Codes of the catalogs the last load added to the settings.
  std::vector<std::string> RegisteredCatalogs;
  /// Why the catalogs the last load registered are not in the settings file (they are in
  /// the settings in memory); empty when they were saved.
  Err RegisterStatus;
  /// The manufacturer scripts that failed during the last TakeInStartupInput and load
  /// ("<MANUFID>.js: <what happened>"), for the caller to show.
  std::vector<std::string> ScriptFailures;
  /// Designs of the input that the last load could not store in the spool folder.
  int StoreFailures = 0;
  /// Why the last load could not use the spool folder (not set, not a folder, cannot be
  /// created, locked too long); empty when it could. The designs handed in were then not
  /// stored anywhere and stay in the caller's text.
  Err LoadStatus;

  /// Holds the spool folder's lock across several operations (a command's load, edit and
  /// save), so no other process changes the stack in between. Operations take the lock
  /// themselves; inside a transaction they reuse it.
  class Transaction {
   public:
    explicit Transaction(OrderStack& stack);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    /// Empty when the lock is held; otherwise why it could not be taken.
    const Err& status() const { return status_; }

   private:
    OrderStack& stack_;
    Err status_;
  };

  /// Takes the host's design text in as the window's load does: parses it into docInput,
  /// completes the first design's job information, validates it for start-up and puts the
  /// validated design back, `input` becoming docInput's text. False at the failure exit
  /// (text that does not parse, a design that is not a child of the root, a design that
  /// validation aborts); `status` receives the validation status.
  bool TakeInStartupInput(std::string& input, int& status);
  /// Rebuilds docOrders from the spool folder and the designs of `StartupInput`, which are
  /// stored as new files; `StartupInput` is emptied once taken in. True when the input
  /// registered a catalog the settings did not know.
  bool LoadOrders(bool bShowDialog, std::string& StartupInput);
  /// The same without designs handed in.
  bool LoadOrders(bool bShowDialog);
  /// Completes one design element of the stack (IDs, file name, header defaults, catalog
  /// identification and registration, kit file); sets `newCatalog` when it registered one.
  void LoadOrdersSub(xml::Node design, const std::string& fileName, int designId, bool& newCatalog);
  /// Fills empty JobInfo/FileName texts from Document/FilePath (trimmed).
  void CompleteDesignFileNames(xml::Document& doc);
  /// Builds the ORDERGROUP elements of every design of docOrders.
  void LoadOrderGroups();

  /// Writes back the designs this process changed that still have grouped catalogs, archives
  /// the designs without any and drops designs without catalogs from docOrders; clears
  /// bOrdersChanged when all went well. A design whose file another process rewrote or
  /// removed since it was loaded is never overwritten: the user is told, the stack is
  /// reloaded, and the error names the design. Empty Err on success; otherwise the first
  /// failure, naming the file and the reason (the other designs were still handled; a design
  /// that failed keeps its previous file).
  Err SaveOrders();
  /// Asks, then removes the order group and its catalogs, saves, reloads and redraws.
  /// `removed` is false when the user declined (nothing changed). Empty Err unless the save
  /// failed.
  Err RemoveOrder(long groupId, bool& removed);
  /// Drops a sent group from docOrders, and the catalogs no other group of the same send
  /// lists.
  void RemoveSentOrder(xml::Node group, const xml::NodeList& sendList);
  /// Packs the folder's *.xme files into its yearly archive, then deletes exactly the files
  /// packed, only once the archive is written. Empty Err when there was nothing to pack or
  /// the archive was written; otherwise the files are all kept.
  Err ArchiveFolder(const std::string& folder);
  /// True when .xme files were added to or removed from the spool folder since the stack
  /// was loaded.
  bool IsSpoolerChanged();

  /// The order group fields a dealer edits.
  enum class GroupField { PONumber, Comment, ContactName, SendIt };
  /// The current number of the order group named by `spec`: its number, or
  /// "FILE.xme:PARTNERID" (the design's stacked file and the partner's ID). -1 when none.
  long FindGroup(const std::string& spec) const;
  /// Sets a field of the order group `groupId` in docOrders and marks its design changed
  /// (SaveOrders writes it). Empty Err, or one saying which group or field is missing.
  Err SetGroupField(long groupId, GroupField field, const std::string& value);
  /// Attaches the file `path` to the order group `groupId`: a File element (Type = the
  /// path's last 3 characters, Name = the path, FileData empty until the order is sent)
  /// after the group's children, its design marked changed. Empty Err, or why nothing
  /// changed (no such group; a path a document cannot hold as it is).
  Err AddAttachment(long groupId, const std::string& path);
  /// Removes the first File of the group whose Name equals `path` without regard to case
  /// (the page passes the name lower-cased); `removed` says whether one did. Empty Err, or
  /// why nothing changed (no such group).
  Err RemoveAttachment(long groupId, const std::string& path, bool& removed);
  /// Marks a design of docOrders as changed by this process, so SaveOrders writes it back.
  /// Every edit of docOrders outside this class must call it.
  void MarkChanged(const xml::Node& design);

  /// The spool folder the settings name.
  std::string SpoolFolder() const;
  /// The settings this stack works with.
  SettingsDocument& Settings() { return settings_; }

 private:
  struct LoadRun;
  struct Grouping;
  struct GroupingDeleter {
    void operator()(Grouping* grouping) const;
  };
  using GroupingPtr = std::unique_ptr<Grouping, GroupingDeleter>;

  // The steps of LoadOrders, in order.
  Err PrepareSpoolFolder(std::string& spool);
  /// Renames a stacked file that breaks the size limits aside (never deleted) and says so.
  void Quarantine(LoadRun& run, const std::string& name, const std::string& why);
  /// Removes the older copies that designs stored to replace them name (REPLACEDFILE), an
  /// interrupted replacement being completed here once the new copy has been read whole.
  void CompleteReplacements(LoadRun& run);
  void ReadInput(LoadRun& run, std::string& StartupInput);
  void StartDocument(LoadRun& run);
  bool TakeStackedDesigns(LoadRun& run);
  void StoreInputDesigns(LoadRun& run);
  void FinishLoad(LoadRun& run);

  void IndexSettingsForLoad();
  void RegisterCatalog(const std::string& name, bool& newCatalog);
  /// Grouping: the settings lookups are made once (BeginGrouping), then each design is
  /// grouped in `//Design` order, the counter running over all of them.
  GroupingPtr BeginGrouping();
  void GroupDesign(Grouping& grouping, xml::Node design);
  /// Groups `top` and the designs inside it, in document order.
  void GroupDesignTree(Grouping& grouping, const xml::Node& top);
  /// Archives one design that has nothing left to send.
  Err ArchiveDesign(const xml::Node& design, const std::string& name, const std::string& spool,
                    const std::string& archive);
  /// True when the stacked file `name` is still the version this process loaded or wrote.
  bool UnchangedOnDisk(const std::string& spool, const std::string& name) const;

  Err LockSpool();
  void UnlockSpool();

  SettingsDocument& settings_;
  StackObserver& observer_;
  /// The settings lookups of one load (over docSettings), so completing a design does not
  /// search the settings. Valid only while a load runs.
  std::unique_ptr<CatalogIndex> load_index_;
  std::string computer_name_;
  /// The spool folder's lock while an operation or transaction holds it; `lock_depth_`
  /// counts the holders (the lock is released when it falls to 0).
  std::unique_ptr<FileLock> spool_lock_;
  int lock_depth_ = 0;
  /// Fingerprint of each stacked file as this process last read or wrote it.
  std::map<std::string, std::string> versions_;
  /// File names of the designs this process changed since they were loaded.
  std::set<std::string> changed_;
};

/// `path` with the letters the order stack page lower-cases when it names an attached file
/// (A-Z and the Latin-1 capitals) in lower case; other characters stay as they are.
std::string FoldAttachmentCase(std::string_view path);

}  // namespace larkedi
