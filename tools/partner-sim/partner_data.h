// What the simulated partners know: manufacturers and dealer accounts, read from a JSON
// data file.
//
//   {
//     "namespace": "http://partners.larkedi.invalid/",          (optional)
//     "manufacturers": [
//       {"id": "100", "name": "Northwood Cabinets", "active": true}
//     ],
//     "dealers": [
//       {"email": "shop@example.com", "password": "secret", "status": 2, "code": "D1001",
//        "profile": {"Location": {"Address1": "1 Main St", "City": "Quebec"}}}
//     ],
//     "orders": [                                                    (optional)
//       {"sequence": 7, "global_id": "0F3C...", "dealer": "shop@example.com",
//        "manufacturer": "100", "received": "2026-03-05T10:00:00Z", "po_number": "PO-7",
//        "job_name": "Smith kitchen", "status": "Shipped"}
//     ]
//   }
//
// A manufacturer without "id" or "name" is listed without that element (to exercise
// clients). "active" defaults to true. A dealer's "status" is normally 0 to 4; a text is
// sent as it is (" 2", "x") and a missing or null status sends no Status element.
// "profile" is turned into elements: an object becomes child elements, anything else text.
// A dealer's optional "code" is a second name the dealer site accepts as the dealer code
// (partners that are not free-EDI know their dealers by a code, not an e-mail address).
// "orders" are orders the partner already holds (the dealer site lists them beside those the
// gateway receives); their fields are those of OrderRecord (order_record.h).
#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <vector>

#include "order_record.h"

namespace partnersim {

struct Manufacturer {
  std::optional<std::string> id;
  std::optional<std::string> name;
  bool active = true;
};

struct DealerAccount {
  std::string email;
  std::string password;
  /// The status text sent back; nullopt sends no Status element.
  std::optional<std::string> status;
  std::string code;        // empty when the dealer has none
  nlohmann::json profile;  // null when the account has none
};

struct PartnerData {
  std::string ns = "http://partners.larkedi.invalid/";
  std::vector<Manufacturer> manufacturers;
  std::vector<DealerAccount> dealers;
  std::vector<OrderRecord> orders;

  const Manufacturer* FindManufacturer(const std::string& id) const;
  const DealerAccount* FindDealer(const std::string& email) const;
  /// The dealer whose e-mail address or code (both without regard to case) is `name`.
  const DealerAccount* FindDealerByLogin(const std::string& name) const;
};

/// Reads the data file. False with `error` set when it cannot be read or is malformed.
bool LoadPartnerData(const std::string& path, PartnerData* data, std::string* error);
/// The same from JSON text.
bool ParsePartnerData(const std::string& text, PartnerData* data, std::string* error);

}  // namespace partnersim
