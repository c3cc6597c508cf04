#include "partner_data.h"

#include <cctype>

#include "platform/env.h"

namespace partnersim {
namespace {

using nlohmann::json;

std::optional<std::string> OptionalText(const json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end() || it->is_null()) return std::nullopt;
  if (it->is_string()) return it->get<std::string>();
  return it->dump();
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

}  // namespace

const Manufacturer* PartnerData::FindManufacturer(const std::string& id) const {
  for (const Manufacturer& m : manufacturers) {
    if (m.id && *m.id == id) return &m;
  }
  return nullptr;
}

const DealerAccount* PartnerData::FindDealer(const std::string& email) const {
  // E-mail addresses are matched without regard to case, as mail systems do.
  const std::string wanted = Lower(email);
  for (const DealerAccount& d : dealers) {
    if (Lower(d.email) == wanted) return &d;
  }
  return nullptr;
}

const DealerAccount* PartnerData::FindDealerByLogin(const std::string& name) const {
  if (const DealerAccount* d = FindDealer(name)) return d;
  const std::string wanted = Lower(name);
  for (const DealerAccount& d : dealers) {
    if (!d.code.empty() && Lower(d.code) == wanted) return &d;
  }
  return nullptr;
}

bool ParsePartnerData(const std::string& text, PartnerData* data, std::string* error) {
  json root = json::parse(text, nullptr, /*allow_exceptions=*/false);
  if (root.is_discarded() || !root.is_object()) {
    *error = "the data file is not a JSON object";
    return false;
  }
  PartnerData parsed;
  if (auto ns = OptionalText(root, "namespace")) parsed.ns = *ns;
  if (auto it = root.find("manufacturers"); it != root.end()) {
    if (!it->is_array()) {
      *error = "\"manufacturers\" must be an array";
      return false;
    }
    for (const json& m : *it) {
      if (!m.is_object()) {
        *error = "each manufacturer must be an object";
        return false;
      }
      Manufacturer manufacturer;
      manufacturer.id = OptionalText(m, "id");
      manufacturer.name = OptionalText(m, "name");
      if (auto a = m.find("active"); a != m.end() && a->is_boolean()) {
        manufacturer.active = a->get<bool>();
      }
      parsed.manufacturers.push_back(std::move(manufacturer));
    }
  }
  if (auto it = root.find("dealers"); it != root.end()) {
    if (!it->is_array()) {
      *error = "\"dealers\" must be an array";
      return false;
    }
    for (const json& d : *it) {
      if (!d.is_object() || !d.contains("email")) {
        *error = "each dealer must be an object with an \"email\"";
        return false;
      }
      DealerAccount account;
      account.email = OptionalText(d, "email").value_or("");
      account.password = OptionalText(d, "password").value_or("");
      account.status = OptionalText(d, "status");
      account.code = OptionalText(d, "code").value_or("");
      if (auto p = d.find("profile"); p != d.end()) account.profile = *p;
      parsed.dealers.push_back(std::move(account));
    }
  }
  if (auto it = root.find("orders"); it != root.end()) {
    if (!it->is_array()) {
      *error = "\"orders\" must be an array";
      return false;
    }
    for (const json& o : *it) {
      OrderRecord order;
      if (!FromJson(o, &order, error)) return false;
      parsed.orders.push_back(std::move(order));
    }
  }
  *data = std::move(parsed);
  return true;
}

bool LoadPartnerData(const std::string& path, PartnerData* data, std::string* error) {
  std::string text;
  if (!larkedi::Env::Default()->ReadFile(path, &text, error)) return false;
  if (!ParsePartnerData(text, data, error)) {
    *error = path + ": " + *error;
    return false;
  }
  return true;
}

}  // namespace partnersim
