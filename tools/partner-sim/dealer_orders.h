// The dealer site's XML answers, built from the orders the gateway holds.
//
// Order list (root DATA): one ORDER element per order of the page, its fields chosen by the
// field-set code, and its GUID always last; then PAGE (the page shown) and PAGECOUNT.
//   <DATA><ORDER><SEQUENCE>12</SEQUENCE>...<GUID>...</GUID></ORDER>...
//         <PAGE>1</PAGE><PAGECOUNT>3</PAGECOUNT></DATA>
// The field-set code is a string of '1' and '0'; character i selects field i of:
//   SEQUENCE MANUFID DATE PONUMBER JOBNAME DEALER STATUS CATALOG LINES REFERENCE DESIGNFILE
// ("10111010000": SEQUENCE, DATE, PONUMBER, JOBNAME, STATUS). DATE is the time received
// (UTC, "YYYY-MM-DDTHH:MM:SSZ"); GUID is the order's GlobalID.
// Sort key: a field name (any case, GUID too), optionally followed by "+" or a space and
// ASC or DESC ("SEQUENCE+DESC"). An unknown name sorts by SEQUENCE. Equal keys keep the
// order of their sequence numbers.
//
// Order detail (root ORDERDETAIL): every field as a simple element (GUID first), then the
// stored purchase-order document's root element, copied whole.
//
// Errors are answered as a document of the usual root with one ERROR element holding the
// reason: <DATA><ERROR>...</ERROR></DATA>, <ORDERDETAIL><ERROR>...</ERROR></ORDERDETAIL>.
// The list style sheet shows such a DATA child as a message line.
#pragma once

#include <string>
#include <vector>

#include "order_record.h"

namespace partnersim {

struct OrderListQuery {
  int year = 0;   // 0: every year
  int month = 0;  // 0: every month
  std::string sort = "SEQUENCE";
  int page = 1;
  int page_length = 15;
  std::string field_set = "10111010000";
};

/// The orders of `records` in that month (all of them when year or month is 0), sorted,
/// then the page asked for, as the DATA document.
std::string OrderListXml(const std::vector<OrderRecord>& records, const OrderListQuery& query);

/// The ORDERDETAIL document of `record`; `document` is its stored purchase order (empty when
/// there is none, or when it does not parse: then only the fields are sent).
std::string OrderDetailXml(const OrderRecord& record, const std::string& document);

/// A document of root `root` holding one ERROR element with `message`.
std::string ErrorXml(const std::string& root, const std::string& message);

/// Sorts `records` by `sort_key` (as described above).
void SortOrders(std::vector<OrderRecord>* records, const std::string& sort_key);

}  // namespace partnersim
