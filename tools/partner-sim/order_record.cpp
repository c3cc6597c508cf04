#include "order_record.h"

#include <ctime>
#include <initializer_list>

#include "platform/xml/xml.h"

namespace partnersim {
namespace {

using larkedi::xml::Document;
using nlohmann::json;

std::string Trim(const std::string& text) {
  const char* blanks = " \t\r\n";
  std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  std::size_t last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

/// The trimmed text of the first expression that selects a node with non-blank text.
std::string FirstText(const Document& document, std::initializer_list<const char*> paths) {
  for (const char* path : paths) {
    for (const auto& node : document.selectNodes(path)) {
      std::string text = Trim(node.text());
      if (!text.empty()) return text;
    }
  }
  return {};
}

std::string TextField(const json& value, const char* key, const std::string& fallback) {
  auto it = value.find(key);
  if (it == value.end() || it->is_null()) return fallback;
  if (it->is_string()) return it->get<std::string>();
  return it->dump();
}

long NumberField(const json& value, const char* key, long fallback) {
  auto it = value.find(key);
  if (it == value.end()) return fallback;
  if (it->is_number_integer()) return it->get<long>();
  if (it->is_string()) {
    try {
      return std::stol(it->get<std::string>());
    } catch (...) {
      return fallback;
    }
  }
  return fallback;
}

}  // namespace

void ReadOrderFields(const Document& document, OrderRecord* record) {
  record->global_id = FirstText(document, {"/*/JobInfo/Header/GlobalID", "/*/POHEADER/GLOBALID",
                                           "//*[self::GlobalID or self::GLOBALID]"});
  record->dealer =
      FirstText(document, {"/*/Catalog/Identification/DealerID", "/*/PODETAILS/DEALERID",
                           "//*[self::DealerID or self::DEALERID]"});
  record->manufacturer =
      FirstText(document, {"/*/Catalog/Identification/ManufID", "/*/PODETAILS/MANUFID",
                           "//*[self::ManufID or self::MANUFID]"});
  record->po_number = FirstText(document, {"/*/ORDERGROUP/PONUMBER", "/*/POHEADER/PONUMBER"});
  record->job_name = FirstText(document, {"/*/JobInfo/Header/Name", "/*/POHEADER/JOBNAME"});
  record->catalog = FirstText(document, {"/*/CurCatalog", "/*/POHEADER/CURCATALOG",
                                         "/*/Catalog/Identification/Name", "/*/PODETAILS/CATALOG"});
  record->reference = FirstText(document, {"/*/JobInfo/Header/Reference", "/*/POHEADER/REFERENCE"});
  record->design_file = FirstText(document, {"/*/JobInfo/FileName", "/*/POHEADER/FILENAME"});
  long lines = document.selectNodes("/*/POLINES/ITEM").length();
  if (lines == 0) lines = document.selectNodes("/*/Catalog/Item").length();
  record->line_count = lines;
}

json ToJson(const OrderRecord& r) {
  return json{{"sequence", r.sequence},
              {"partner_code", r.partner_code},
              {"global_id", r.global_id},
              {"dealer", r.dealer},
              {"manufacturer", r.manufacturer},
              {"received", r.received},
              {"file", r.file},
              {"po_number", r.po_number},
              {"job_name", r.job_name},
              {"catalog", r.catalog},
              {"reference", r.reference},
              {"design_file", r.design_file},
              {"line_count", r.line_count},
              {"status", r.status}};
}

bool FromJson(const json& value, OrderRecord* record, std::string* error) {
  if (!value.is_object()) {
    *error = "each order must be an object";
    return false;
  }
  OrderRecord r;
  r.sequence = NumberField(value, "sequence", 0);
  r.partner_code = TextField(value, "partner_code", "");
  r.global_id = TextField(value, "global_id", "");
  r.dealer = TextField(value, "dealer", "");
  r.manufacturer = TextField(value, "manufacturer", "");
  r.received = TextField(value, "received", "");
  r.file = TextField(value, "file", "");
  r.po_number = TextField(value, "po_number", "");
  r.job_name = TextField(value, "job_name", "");
  r.catalog = TextField(value, "catalog", "");
  r.reference = TextField(value, "reference", "");
  r.design_file = TextField(value, "design_file", "");
  r.line_count = NumberField(value, "line_count", 0);
  r.status = TextField(value, "status", r.status);
  *record = std::move(r);
  return true;
}

std::string UtcNow() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  gmtime_r(&now, &parts);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
  return text;
}

bool YearMonthOf(const std::string& time, int* year, int* month) {
  if (time.size() < 7 || time[4] != '-') return false;
  for (int i : {0, 1, 2, 3, 5, 6}) {
    if (time[i] < '0' || time[i] > '9') return false;
  }
  *year = std::stoi(time.substr(0, 4));
  *month = std::stoi(time.substr(5, 2));
  return true;
}

}  // namespace partnersim
