// Cabinet sorting: groups the items of a design by kind (base, wall, tall) in one of six
// orders, keeps accessories with the item they are attached to, and numbers the lines.
//
// The class writes a sort key into every item's SortOrder, lets a style sheet reorder the
// design (the module's SortCabinets.xsl sorts each catalog's items by that key), then
// numbers the items in their new order: 1, 2, 2.1, 2.2, 3 ... where 2.1 and 2.2 are the
// attachments of line 2. Calling order: InitInstance, SortItems, GetXML.
#pragma once

#include <string>

#include "platform/xml/xml.h"

namespace larkedi {

/// The order of the cabinet groups: B base, W wall, T tall.
enum class SortMethod : int { BWT = 0, BTW = 1, WBT = 2, WTB = 3, TBW = 4, TWB = 5 };

/// Kinds of items.
enum class ItemTypeEnum : int {
  TypeCabinet = 0,
  TypeAppliance = 1,
  TypeAccessory = 2,
  TypeCounter = 3,
  TypeUndefined = 4,
  TypeUnUsed = 5,
};

/// The values of an item's SubType.
enum class ItemSubTypeEnum : int {
  SubTypeBase = 0,
  SubTypeWall = 1,
  SubTypeTall = 2,
  SubTypeOther = 3,
  SubTypeCharge = 4,
  SubTypeAppliance = 5,
  SubTypeAccessory = 6,
  SubTypeCounter = 7,
  SubTypeUndefined = 8,
  SubTypeUnUsed = 9,
  SubTypeNotApplicable = 20,
};

/// Parses a method name ("BWT", "BTW", "WBT", "WTB", "TBW", "TWB", exact case). False for
/// any other text.
bool ParseSortMethod(const std::string& name, SortMethod& method);

class clsSortItem {
 public:
  /// Loads the design text and, when that parsed, the style sheet text. True when both
  /// parsed.
  bool InitInstance(std::string& sXml, std::string& sXsl);

  /// Keys, reorders and numbers the items. False when InitInstance has not run, the
  /// style sheet cannot reorder the design, or its result does not parse.
  bool SortItems(SortMethod eCabSort);
  /// The same for a raw method value: values outside 0..5 leave every key at the item's
  /// own sub-type.
  bool SortItems(int eCabSort);

  /// The design's current XML text (reordered and numbered after SortItems).
  std::string GetXML() const;

  /// The key a cabinet of `sub_type` (0 base, 1 wall, 2 tall) gets under `eCabSort`; -1
  /// for other sub-types or methods.
  static int CabinetKey(int eCabSort, int sub_type);

  /// Why the last SortItems failed, or the step that stopped early; empty otherwise.
  const std::string& LastError() const { return last_error_; }

 private:
  void AssignKeys(int eCabSort);
  bool Reorder();
  void Number();

  bool initialised_ = false;
  xml::Document design_;
  xml::Document stylesheet_;
  std::string last_error_;
};

}  // namespace larkedi
