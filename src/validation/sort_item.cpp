#include "validation/sort_item.h"

#include <cctype>
#include <cmath>

#include "support/log.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

// Keys of the base, wall and tall groups for each method, in method order: each group's
// key is its place in the method's name.
constexpr int kCabinetKeys[6][3] = {
    {0, 1, 2},  // BWT
    {0, 2, 1},  // BTW
    {1, 0, 2},  // WBT
    {2, 0, 1},  // WTB
    {1, 2, 0},  // TBW
    {2, 1, 0},  // TWB
};

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The text as a 16-bit integer, rounded half to even; false for text that is not a number
// or does not fit.
bool ToInteger(const std::string& text, int& value) {
  if (!IsNumeric(text)) return false;
  double rounded = std::nearbyint(LeadingNumber(text));
  if (!(rounded >= -32768.0 && rounded <= 32767.0)) return false;
  value = static_cast<int>(rounded);
  return true;
}

bool IsAttachment(const xml::Node& item, bool accept_old_spelling) {
  xml::Node instance = item.selectSingleNode("Instance");
  if (!instance) return false;
  std::string kind = Lower(instance.text());
  return kind == "attachment" || (accept_old_spelling && kind == "attachement");
}

}  // namespace

bool ParseSortMethod(const std::string& name, SortMethod& method) {
  static const char* const names[] = {"BWT", "BTW", "WBT", "WTB", "TBW", "TWB"};
  for (int i = 0; i < 6; ++i) {
    if (name == names[i]) {
      method = static_cast<SortMethod>(i);
      return true;
    }
  }
  return false;
}

int clsSortItem::CabinetKey(int eCabSort, int sub_type) {
  if (eCabSort < 0 || eCabSort > 5 || sub_type < 0 || sub_type > 2) return -1;
  return kCabinetKeys[eCabSort][sub_type];
}

bool clsSortItem::InitInstance(std::string& sXml, std::string& sXsl) {
  design_ = xml::Document();
  stylesheet_ = xml::Document();
  initialised_ = true;
  last_error_.clear();
  if (!design_.loadXML(sXml)) {
    last_error_ = "The design does not parse: " + design_.parseErrorReason();
    WriteLog("clsSortItem.InitInstance: " + last_error_);
    return false;
  }
  if (!stylesheet_.loadXML(sXsl)) {
    last_error_ = "The sort style sheet does not parse: " + stylesheet_.parseErrorReason();
    WriteLog("clsSortItem.InitInstance: " + last_error_);
    return false;
  }
  return true;
}

bool clsSortItem::SortItems(SortMethod eCabSort) {
  return SortItems(static_cast<int>(eCabSort));
}

bool clsSortItem::SortItems(int eCabSort) {
  if (!initialised_) {
    last_error_ = "InitInstance has not run.";
    return false;
  }
  last_error_.clear();
  AssignKeys(eCabSort);
  if (!Reorder()) {
    LogError("clsSortItem.SortItems",
             Err::Raise(kErrComponent, "clsSortItem.SortItems", last_error_));
    return false;
  }
  Number();
  return true;
}

// Writes each item's key into its SortOrder. An attachment takes the key of the item
// before it unless it is a cabinet itself. The first item lacking SubType or SortOrder
// stops the keying; the items after it keep their old keys.
void clsSortItem::AssignKeys(int eCabSort) {
  // A design handed in alone is keyed as well as one wrapped in a Project.
  xml::NodeList items = design_.selectNodes("Project/Design/Catalog/Item | Design/Catalog/Item");
  int prev = 0;
  long index = 0;
  for (xml::Node item : items) {
    ++index;
    xml::Node sub_type = item.selectSingleNode("SubType");
    int own = 0;
    if (!sub_type || !ToInteger(sub_type.text(), own)) {
      last_error_ = "Item " + std::to_string(index) + " has no numeric SubType.";
      break;
    }
    int key = own;
    if (IsAttachment(item, false)) key = prev;
    if (int cabinet = CabinetKey(eCabSort, own); cabinet >= 0) key = cabinet;
    xml::Node sort_order = item.selectSingleNode("SortOrder");
    if (!sort_order) {
      last_error_ = "Item " + std::to_string(index) + " has no SortOrder.";
      break;
    }
    sort_order.setText(std::to_string(key));
    prev = key;
  }
  if (!last_error_.empty()) WriteLog("clsSortItem.SortItems: " + last_error_);
}

// Lets the style sheet reorder the design. The design is replaced only by a result that
// parses, so a failed run leaves the keyed design as it was.
bool clsSortItem::Reorder() {
  std::string error;
  std::string text = design_.transformNode(stylesheet_, &error);
  if (!error.empty()) {
    last_error_ = "The sort style sheet failed: " + error;
    return false;
  }
  xml::Document sorted;
  if (!sorted.loadXML(text)) {
    last_error_ = "The sorted design does not parse: " + sorted.parseErrorReason();
    return false;
  }
  design_ = sorted;
  return true;
}

// Numbers the items of each design in document order: ordinary items 1, 2, 3 ...;
// attachments the line before them followed by their rank, 2.1, 2.2 ... The number is
// kept as text, so the tenth attachment of line 2 is 2.10 and never repeats 2.1.
void clsSortItem::Number() {
  xml::NodeList designs = design_.selectNodes("/Design | /Project/Design");
  for (xml::Node design : designs) {
    long line = 0;
    long sub = 0;
    for (xml::Node item : design.selectNodes("Catalog/Item")) {
      std::string number;
      if (IsAttachment(item, true)) {
        ++sub;
        number = std::to_string(line) + "." + std::to_string(sub);
      } else {
        sub = 0;
        ++line;
        number = std::to_string(line);
      }
      xml::Node target = item.selectSingleNode("LineItemNumber");
      if (!target) target = item.appendChild(design_.createElement("LineItemNumber"));
      target.setText(number);
    }
  }
}

std::string clsSortItem::GetXML() const {
  return design_.xml();
}

}  // namespace larkedi
