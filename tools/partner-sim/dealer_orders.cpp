#include "dealer_orders.h"

#include <strings.h>

#include <algorithm>
#include <array>

#include "platform/xml/xml.h"

namespace partnersim {
namespace {

namespace xml = larkedi::xml;

struct Field {
  const char* name;
  std::string (*text)(const OrderRecord&);
  bool numeric;
};

// In field-set order; GUID is not part of the set (every row carries it).
const std::array<Field, 11> kFields = {{
    {"SEQUENCE", [](const OrderRecord& r) { return std::to_string(r.sequence); }, true},
    {"MANUFID", [](const OrderRecord& r) { return r.manufacturer; }, false},
    {"DATE", [](const OrderRecord& r) { return r.received; }, false},
    {"PONUMBER", [](const OrderRecord& r) { return r.po_number; }, false},
    {"JOBNAME", [](const OrderRecord& r) { return r.job_name; }, false},
    {"DEALER", [](const OrderRecord& r) { return r.dealer; }, false},
    {"STATUS", [](const OrderRecord& r) { return r.status; }, false},
    {"CATALOG", [](const OrderRecord& r) { return r.catalog; }, false},
    {"LINES", [](const OrderRecord& r) { return std::to_string(r.line_count); }, true},
    {"REFERENCE", [](const OrderRecord& r) { return r.reference; }, false},
    {"DESIGNFILE", [](const OrderRecord& r) { return r.design_file; }, false},
}};
const Field kGuid = {"GUID", [](const OrderRecord& r) { return r.global_id; }, false};

const Field* FindField(const std::string& name) {
  if (strcasecmp(name.c_str(), kGuid.name) == 0) return &kGuid;
  for (const Field& f : kFields) {
    if (strcasecmp(name.c_str(), f.name) == 0) return &f;
  }
  return nullptr;
}

void AddText(xml::Document& doc, xml::Node parent, const char* name, const std::string& text) {
  xml::Node element = doc.createElement(name);
  element.setText(text);
  parent.appendChild(element);
}

std::string Serialize(const xml::Document& doc) {
  return "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n" + doc.xml();
}

}  // namespace

void SortOrders(std::vector<OrderRecord>* records, const std::string& sort_key) {
  std::string name = sort_key;
  bool descending = false;
  std::size_t split = sort_key.find_first_of("+ ");
  if (split != std::string::npos) {
    name = sort_key.substr(0, split);
    descending = strcasecmp(sort_key.substr(split + 1).c_str(), "DESC") == 0;
  }
  const Field* field = FindField(name);
  if (field == nullptr) field = &kFields[0];
  std::stable_sort(
      records->begin(), records->end(), [&](const OrderRecord& a, const OrderRecord& b) {
        int order = 0;
        if (field->numeric) {
          long x = std::atol(field->text(a).c_str()), y = std::atol(field->text(b).c_str());
          order = x < y ? -1 : (x > y ? 1 : 0);
        } else {
          order = field->text(a).compare(field->text(b));
        }
        if (order == 0) order = a.sequence < b.sequence ? -1 : (a.sequence > b.sequence ? 1 : 0);
        return descending ? order > 0 : order < 0;
      });
}

std::string OrderListXml(const std::vector<OrderRecord>& records, const OrderListQuery& query) {
  std::vector<OrderRecord> chosen;
  for (const OrderRecord& r : records) {
    int year = 0, month = 0;
    if (query.year != 0 && query.month != 0 &&
        (!YearMonthOf(r.received, &year, &month) || year != query.year || month != query.month)) {
      continue;
    }
    chosen.push_back(r);
  }
  SortOrders(&chosen, query.sort);

  const int page_length = std::max(1, query.page_length);
  const int page = std::max(1, query.page);
  const long count = static_cast<long>(chosen.size());
  const long page_count = std::max(1L, (count + page_length - 1) / page_length);

  xml::Document doc;
  xml::Node root = doc.createElement("DATA");
  doc.appendChild(root);
  const long first = static_cast<long>(page - 1) * page_length;
  for (long i = first; i < count && i < first + page_length; ++i) {
    xml::Node row = doc.createElement("ORDER");
    for (std::size_t f = 0; f < kFields.size(); ++f) {
      if (f < query.field_set.size() && query.field_set[f] == '1') {
        AddText(doc, row, kFields[f].name, kFields[f].text(chosen[static_cast<std::size_t>(i)]));
      }
    }
    AddText(doc, row, kGuid.name, kGuid.text(chosen[static_cast<std::size_t>(i)]));
    root.appendChild(row);
  }
  AddText(doc, root, "PAGE", std::to_string(page));
  AddText(doc, root, "PAGECOUNT", std::to_string(page_count));
  return Serialize(doc);
}

std::string OrderDetailXml(const OrderRecord& record, const std::string& document) {
  xml::Document doc;
  xml::Node root = doc.createElement("ORDERDETAIL");
  doc.appendChild(root);
  AddText(doc, root, kGuid.name, kGuid.text(record));
  for (const Field& f : kFields) AddText(doc, root, f.name, f.text(record));
  AddText(doc, root, "PARTNERCODE", record.partner_code);
  xml::Document stored;
  if (!document.empty() && stored.loadXML(document) && stored.documentElement()) {
    root.appendChild(doc.importNode(stored.documentElement(), true));
  }
  return Serialize(doc);
}

std::string ErrorXml(const std::string& root_name, const std::string& message) {
  xml::Document doc;
  xml::Node root = doc.createElement(root_name);
  doc.appendChild(root);
  AddText(doc, root, "ERROR", message);
  return Serialize(doc);
}

}  // namespace partnersim
