// One purchase order the partner gateway holds: what it knows about the order without
// reading the stored document again (the dealer site lists and sorts these), and the
// fields it reads out of a received document.
//
// Fields read from a received document (the first non-empty match wins):
//   global_id     Design/JobInfo/Header/GlobalID, PURCHASEORDER/POHEADER/GLOBALID, else the
//                 first element anywhere named GlobalID or GLOBALID
//   dealer        Catalog/Identification/DealerID, PODETAILS/DEALERID, any DealerID/DEALERID
//   manufacturer  Catalog/Identification/ManufID, PODETAILS/MANUFID, any ManufID/MANUFID
//   po_number     ORDERGROUP/PONUMBER, POHEADER/PONUMBER
//   job_name      JobInfo/Header/Name, POHEADER/JOBNAME
//   catalog       CurCatalog, POHEADER/CURCATALOG, the first catalog's name
//   reference     JobInfo/Header/Reference, POHEADER/REFERENCE
//   design_file   JobInfo/FileName, POHEADER/FILENAME
//   line_count    the number of POLINES/ITEM, else of Catalog/Item
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace larkedi::xml {
class Document;
}

namespace partnersim {

struct OrderRecord {
  long sequence = 0;
  std::string partner_code;
  std::string global_id;
  std::string dealer;
  std::string manufacturer;
  /// UTC, "YYYY-MM-DDTHH:MM:SSZ".
  std::string received;
  /// Name of the stored document in the data folder's "received" folder; empty for orders
  /// that came with the data file or were received without a data folder.
  std::string file;
  std::string po_number;
  std::string job_name;
  std::string catalog;
  std::string reference;
  std::string design_file;
  long line_count = 0;
  std::string status = "Received";
};

/// Fills the document fields of `record` (those listed above) from `document`.
void ReadOrderFields(const larkedi::xml::Document& document, OrderRecord* record);

nlohmann::json ToJson(const OrderRecord& record);
/// Reads a record written by ToJson (or given in the data file); missing fields keep their
/// defaults. False with `error` set when `value` is not an object.
bool FromJson(const nlohmann::json& value, OrderRecord* record, std::string* error);

/// The current time as "YYYY-MM-DDTHH:MM:SSZ".
std::string UtcNow();
/// Year and month of a "YYYY-MM-..." time; false when it does not start that way.
bool YearMonthOf(const std::string& time, int* year, int* month);

}  // namespace partnersim
