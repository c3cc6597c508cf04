#include "design_generator.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string_view>

#include "platform/env.h"
#include "platform/xml/xml.h"
#include "support/xml_helpers.h"

namespace larkedi::gen {
namespace {

// splitmix64: small, fast and the same on every platform, unlike the standard
// distributions, so a seed always gives the same designs.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  /// Uniform in [lo, hi].
  int Between(int lo, int hi) {
    if (hi <= lo) return lo;
    std::uint64_t span = static_cast<std::uint64_t>(hi - lo) + 1;
    std::uint64_t limit = UINT64_MAX - UINT64_MAX % span;
    std::uint64_t v;
    do v = Next();
    while (v >= limit);
    return lo + static_cast<int>(v % span);
  }
  bool Percent(int p) { return Between(0, 99) < p; }
  template <typename T, std::size_t N>
  const T& Pick(const std::array<T, N>& items) {
    return items[static_cast<std::size_t>(Between(0, static_cast<int>(N) - 1))];
  }
  template <typename T>
  const T& Pick(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(Between(0, static_cast<int>(items.size()) - 1))];
  }

 private:
  std::uint64_t state_;
};

// Indented XML text; every text goes through the escaper.
class XmlWriter {
 public:
  XmlWriter() { out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"; }
  void Open(std::string_view name) {
    Indent();
    out_ += "<";
    out_ += name;
    out_ += ">\n";
    ++depth_;
  }
  void Close(std::string_view name) {
    --depth_;
    Indent();
    out_ += "</";
    out_ += name;
    out_ += ">\n";
  }
  void Leaf(std::string_view name, std::string_view text) {
    Indent();
    if (text.empty()) {
      out_ += "<";
      out_ += name;
      out_ += "/>\n";
      return;
    }
    out_ += "<";
    out_ += name;
    out_ += ">";
    out_ += xml::EscapeXmlText(text);
    out_ += "</";
    out_ += name;
    out_ += ">\n";
  }
  std::string Take() { return std::move(out_); }

 private:
  void Indent() { out_.append(static_cast<std::size_t>(depth_) * 2, ' '); }
  std::string out_;
  int depth_ = 0;
};

struct Person {
  std::string_view name;   // as shown
  std::string_view ascii;  // for e-mail addresses: first.last
  std::string_view last;   // for job and file names
};

constexpr std::array<Person, 18> kCustomers = {{
    {"Hélène Côté", "helene.cote", "Côté"},
    {"François Lévesque", "francois.levesque", "Lévesque"},
    {"Zoë Bélanger", "zoe.belanger", "Bélanger"},
    {"José Peña", "jose.pena", "Peña"},
    {"Søren Østergaard", "soren.ostergaard", "Østergaard"},
    {"Łucja Wójcik", "lucja.wojcik", "Wójcik"},
    {"Björn Åkesson", "bjorn.akesson", "Åkesson"},
    {"Renée Gagné", "renee.gagne", "Gagné"},
    {"Michael Thompson", "michael.thompson", "Thompson"},
    {"Sarah Mitchell", "sarah.mitchell", "Mitchell"},
    {"David Nguyen", "david.nguyen", "Nguyen"},
    {"Emily Carter", "emily.carter", "Carter"},
    {"Jennifer Walsh", "jennifer.walsh", "Walsh"},
    {"Robert Kowalski", "robert.kowalski", "Kowalski"},
    {"Linda Tremblay", "linda.tremblay", "Tremblay"},
    {"Marc Gauthier", "marc.gauthier", "Gauthier"},
    {"Karen Fitzgerald", "karen.fitzgerald", "Fitzgerald"},
    {"Thomas Bergeron", "thomas.bergeron", "Bergeron"},
}};

constexpr std::array<Person, 8> kQuotedCustomers = {{
    {"Seán O'Brien", "sean.obrien", "O'Brien"},
    {"Mary-Kate D'Amour", "marykate.damour", "D'Amour"},
    {"Robert \"Bob\" McAllister", "bob.mcallister", "McAllister"},
    {"Jean-François \"J.F.\" L'Heureux", "jf.lheureux", "L'Heureux"},
    {"Nathalie D'Aoust", "nathalie.daoust", "D'Aoust"},
    {"Patrick O'Neil-D'Arcy", "patrick.oneil", "O'Neil-D'Arcy"},
    {"Anne \"Annie\" Kearney", "annie.kearney", "Kearney"},
    {"Chloé L'Espérance", "chloe.lesperance", "L'Espérance"},
}};

constexpr std::array<Person, 10> kStaff = {{
    {"Julie Paquette", "julie.paquette", "Paquette"},
    {"Kevin Morrison", "kevin.morrison", "Morrison"},
    {"Isabelle Fortin", "isabelle.fortin", "Fortin"},
    {"Brian Sullivan", "brian.sullivan", "Sullivan"},
    {"Amélie Roy", "amelie.roy", "Roy"},
    {"Greg Henderson", "greg.henderson", "Henderson"},
    {"Sophie Lachance", "sophie.lachance", "Lachance"},
    {"Daniel Park", "daniel.park", "Park"},
    {"Nadia Benali", "nadia.benali", "Benali"},
    {"Steve Dubois", "steve.dubois", "Dubois"},
}};

struct Dealer {
  std::string_view code;
  std::string_view name;
  std::string_view domain;
};
constexpr std::array<Dealer, 6> kDealers = {{
    {"D0042", "Maple Leaf Kitchens Inc.", "mapleleafkitchens.example"},
    {"D0107", "Côté Cuisines & Bains", "cotecuisines.example"},
    {"D0215", "Northshore Cabinet Gallery", "northshorecabinets.example"},
    {"D0330", "Green Mountain Kitchen & Bath", "greenmountainkb.example"},
    {"D0418", "Atelier Boréal", "atelierboreal.example"},
    {"D0522", "Harborview Design Center", "harborviewdesign.example"},
}};

struct City {
  std::string_view city, state, country, zip, language, locale, currency, area_code;
};
constexpr std::array<City, 8> kCities = {{
    {"Montréal", "QC", "Canada", "H2X 1Y4", "FR", "3084", "CAD", "514"},
    {"Québec", "QC", "Canada", "G1R 4P5", "FR", "3084", "CAD", "418"},
    {"Trois-Rivières", "QC", "Canada", "G9A 5H7", "FR", "3084", "CAD", "819"},
    {"Toronto", "ON", "Canada", "M5V 2T6", "EN", "4105", "CAD", "416"},
    {"Ottawa", "ON", "Canada", "K1P 5J9", "EN", "4105", "CAD", "613"},
    {"Burlington", "VT", "USA", "05401", "EN", "1033", "USD", "802"},
    {"Portland", "ME", "USA", "04101", "EN", "1033", "USD", "207"},
    {"Syracuse", "NY", "USA", "13202", "EN", "1033", "USD", "315"},
}};

constexpr std::array<std::string_view, 8> kStreets = {
    "rue Saint-Denis",         "Maple Avenue", "chemin du Lac-Noir", "Elm Street",
    "boulevard René-Lévesque", "Birch Road",   "avenue des Érables", "Lakeshore Drive"};
constexpr std::array<std::string_view, 4> kRooms = {"Kitchen", "Kitchen", "Bathroom", "Laundry"};
constexpr std::array<std::string_view, 6> kDoorStyles = {
    "Shaker", "Slab", "Raised Panel", "Recessed Panel", "Beadboard", "Inset Shaker"};
constexpr std::array<std::string_view, 7> kFinishes = {
    "Painted White", "Dove Grey", "Natural Maple",  "Espresso Stain",
    "Navy Blue",     "Rift Oak",  "Cherry Amaretto"};
constexpr std::array<std::string_view, 5> kComments = {
    "", "Deliver before 10 am; use the side entrance.", "Customer away until the 15th.",
    "Site measure confirmed by installer.", "Call 24 h before delivery."};
constexpr std::array<std::string_view, 4> kHardwareFinishes = {"Satin Nickel", "Matte Black",
                                                               "Brushed Brass", "Chrome"};

// Dates as days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(int z, int& y, int& m, int& d) {
  z += 719468;
  const int era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  if (m <= 2) ++y;
}

std::string XsDateTime(int days, int seconds, std::string_view offset) {
  int y, m, d;
  CivilFromDays(days, y, m, d);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", y, m, d, seconds / 3600,
                seconds / 60 % 60, seconds % 60);
  return std::string(buf) + std::string(offset);
}

std::string Money(int cents) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d.%02d", cents / 100, cents % 100);
  return buf;
}

// Inches held in halves: 69 -> "34.5", 48 -> "24".
std::string Inches(int halves) {
  std::string s = std::to_string(halves / 2);
  if (halves % 2) s += ".5";
  return s;
}

std::string Phone(Random& rnd, std::string_view area) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "(%.*s) %03d-%04d", static_cast<int>(area.size()), area.data(),
                rnd.Between(200, 989), rnd.Between(0, 9999));
  return buf;
}

std::string Str(std::string_view v) {
  return std::string(v);
}

void WriteLocation(XmlWriter& w, Random& rnd, const City& city, std::string_view type) {
  w.Open("Location");
  w.Leaf("Type", type);
  w.Leaf("Address", std::to_string(rnd.Between(10, 9890)) + " " + Str(rnd.Pick(kStreets)));
  w.Leaf("City", city.city);
  w.Leaf("State", city.state);
  w.Leaf("Country", city.country);
  w.Leaf("Zip", city.zip);
  w.Close("Location");
}

void WriteContact(XmlWriter& w, Random& rnd, std::string_view type, const Person& person,
                  std::string_view domain, const City& city) {
  w.Open("Contact");
  w.Leaf("Type", type);
  w.Leaf("Name", person.name);
  w.Open("Phone");
  w.Leaf("Type", "Work");
  w.Leaf("Number", Phone(rnd, city.area_code));
  w.Close("Phone");
  w.Leaf("Email", Str(person.ascii) + "@" + Str(domain));
  w.Close("Contact");
}

// ---- Items -------------------------------------------------------------------------------

// Item sub-types and types as the cabinet sort reads them.
enum SubType {
  kBase = 0,
  kWall = 1,
  kTall = 2,
  kOther = 3,
  kCharge = 4,
  kAppliance = 5,
  kAccessory = 6,
  kCounter = 7
};
enum ItemType {
  kCabinet = 0,
  kApplianceType = 1,
  kAccessoryType = 2,
  kCounterType = 3,
  kUndefined = 4
};

struct Item {
  std::string code;
  std::string description;
  int quantity = 1;
  int width = 0, height = 0, depth = 0;  // in half inches; 0 leaves the element empty
  std::string hinge;
  int unit_cents = 0;
  int type = kCabinet;
  int sub_type = kBase;
  bool attachment = false;
  std::string cls;
};

std::string Inch(int whole) {
  return std::to_string(whole) + "\"";
}

Item BaseCabinet(Random& rnd) {
  Item it;
  it.sub_type = kBase;
  it.cls = "110";
  it.height = 69;
  it.depth = 48;
  int w = 0;
  switch (rnd.Between(0, 6)) {
    case 0:
      w = rnd.Pick(std::array<int, 5>{9, 12, 15, 18, 21});
      it.code = "B" + std::to_string(w);
      it.description = "Base cabinet, 1 door 1 drawer, " + Inch(w) + " wide";
      it.hinge = rnd.Percent(50) ? "L" : "R";
      break;
    case 1:
      w = rnd.Pick(std::array<int, 5>{24, 27, 30, 33, 36});
      it.code = "B" + std::to_string(w) + "D";
      it.description = "Base cabinet, 2 doors 1 drawer, " + Inch(w) + " wide";
      it.hinge = "B";
      break;
    case 2:
      w = rnd.Pick(std::array<int, 6>{12, 15, 18, 21, 24, 30});
      it.code = "DB" + std::to_string(w);
      it.description = "Drawer base, 3 drawers, " + Inch(w) + " wide";
      break;
    case 3:
      w = rnd.Pick(std::array<int, 3>{30, 33, 36});
      it.code = "SB" + std::to_string(w);
      it.description = "Sink base, 2 doors, false drawer front, " + Inch(w) + " wide";
      it.hinge = "B";
      break;
    case 4:
      w = rnd.Pick(std::array<int, 2>{33, 36});
      it.code = "BLS" + std::to_string(w);
      it.description = "Lazy Susan corner base, " + Inch(w) + " x " + Inch(w);
      break;
    case 5:
      w = rnd.Pick(std::array<int, 3>{39, 42, 45});
      it.code = "BBC" + std::to_string(w);
      it.description = "Blind corner base, " + Inch(w) + " wide";
      it.hinge = rnd.Percent(50) ? "L" : "R";
      break;
    default:
      w = rnd.Pick(std::array<int, 2>{15, 18});
      it.code = "BWB" + std::to_string(w);
      it.description = "Wastebasket pull-out base, " + Inch(w) + " wide";
      break;
  }
  it.width = w * 2;
  it.unit_cents = 18000 + w * 900 + rnd.Between(0, 99) * 5;
  return it;
}

Item WallCabinet(Random& rnd) {
  Item it;
  it.sub_type = kWall;
  it.cls = "120";
  it.depth = 24;
  int w = 0;
  int h = rnd.Pick(std::array<int, 7>{12, 15, 18, 24, 30, 36, 42});
  switch (rnd.Between(0, 3)) {
    case 0:
    case 1:
      w = rnd.Pick(std::array<int, 10>{9, 12, 15, 18, 21, 24, 27, 30, 33, 36});
      it.code = "W" + std::to_string(w) + std::to_string(h);
      it.description = std::string("Wall cabinet, ") + (w >= 24 ? "2 doors" : "1 door") + ", " +
                       Inch(w) + " x " + Inch(h);
      it.hinge = w >= 24 ? "B" : (rnd.Percent(50) ? "L" : "R");
      break;
    case 2:
      w = rnd.Pick(std::array<int, 3>{24, 27, 30});
      h = rnd.Pick(std::array<int, 3>{30, 36, 42});
      it.code = "WBC" + std::to_string(w) + std::to_string(h);
      it.description = "Blind corner wall, " + Inch(w) + " x " + Inch(h);
      it.hinge = rnd.Percent(50) ? "L" : "R";
      break;
    default:
      w = 24;
      h = rnd.Pick(std::array<int, 3>{30, 36, 42});
      it.code = "WDC24" + std::to_string(h);
      it.description = "Diagonal corner wall, " + Inch(h) + " high";
      it.hinge = rnd.Percent(50) ? "L" : "R";
      break;
  }
  it.width = w * 2;
  it.height = h * 2;
  it.unit_cents = 9000 + w * 600 + h * 300 + rnd.Between(0, 99) * 5;
  return it;
}

Item TallCabinet(Random& rnd) {
  Item it;
  it.sub_type = kTall;
  it.cls = "130";
  it.depth = 48;
  int w = 0;
  int h = rnd.Pick(std::array<int, 3>{84, 90, 96});
  switch (rnd.Between(0, 2)) {
    case 0:
      w = rnd.Pick(std::array<int, 3>{18, 24, 30});
      it.code = "U" + std::to_string(w) + std::to_string(h);
      it.description = "Utility tall cabinet, " + Inch(w) + " x " + Inch(h);
      it.hinge = w >= 24 ? "B" : "L";
      break;
    case 1:
      w = rnd.Pick(std::array<int, 3>{27, 30, 33});
      it.code = "OV" + std::to_string(w) + std::to_string(h);
      it.description = "Single oven tall cabinet, " + Inch(w) + " x " + Inch(h);
      break;
    default:
      w = rnd.Pick(std::array<int, 3>{18, 24, 30});
      it.code = "P" + std::to_string(w) + std::to_string(h);
      it.description = "Pantry cabinet with roll-out shelves, " + Inch(w) + " x " + Inch(h);
      it.hinge = w >= 24 ? "B" : "R";
      break;
  }
  it.width = w * 2;
  it.height = h * 2;
  it.unit_cents = 60000 + w * 1500 + rnd.Between(0, 99) * 5;
  return it;
}

Item Filler(Random& rnd) {
  Item it;
  it.type = kAccessoryType;
  it.sub_type = kOther;
  it.cls = "210";
  int w = rnd.Pick(std::array<int, 2>{3, 6});
  switch (rnd.Between(0, 2)) {
    case 0:
      it.code = "BF" + std::to_string(w);
      it.description = "Base filler, " + Inch(w) + " x 34-1/2\"";
      it.height = 69;
      break;
    case 1:
      it.code = "WF" + std::to_string(w) + "42";
      it.description = "Wall filler, " + Inch(w) + " x 42\"";
      it.height = 84;
      break;
    default:
      it.code = "TF" + std::to_string(w) + "96";
      it.description = "Tall filler, " + Inch(w) + " x 96\"";
      it.height = 192;
      break;
  }
  it.width = w * 2;
  it.unit_cents = 2500 + w * 400;
  return it;
}

Item Panel(Random& rnd) {
  Item it;
  it.type = kAccessoryType;
  it.sub_type = kOther;
  it.cls = "230";
  switch (rnd.Between(0, 2)) {
    case 0:
      it.code = "BEP24";
      it.description = "Base end panel, 24\" x 34-1/2\"";
      it.width = 48;
      it.height = 69;
      break;
    case 1:
      it.code = "REP2496";
      it.description = "Refrigerator end panel, 24\" x 96\"";
      it.width = 48;
      it.height = 192;
      break;
    default:
      it.code = "DWR3";
      it.description = "Dishwasher return panel, 3\" x 34-1/2\"";
      it.width = 6;
      it.height = 69;
      break;
  }
  it.unit_cents = 8000 + rnd.Between(0, 400) * 25;
  return it;
}

Item Molding(Random& rnd) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kMoldings = {{
      {"CM8", "Crown molding, 8' length"},
      {"LR8", "Light rail molding, 8' length"},
      {"TK8", "Toe kick, 8' length"},
      {"SM8", "Scribe molding, 8' length"},
      {"OSC8", "Outside corner molding, 8' length"},
  }};
  const auto& m = rnd.Pick(kMoldings);
  Item it;
  it.type = kAccessoryType;
  it.sub_type = kAccessory;
  it.cls = "220";
  it.code = Str(m.first);
  it.description = Str(m.second);
  it.quantity = rnd.Between(1, 6);
  it.unit_cents = 3500 + rnd.Between(0, 200) * 25;
  return it;
}

Item Hardware(Random& rnd) {
  const std::string finish = Str(rnd.Pick(kHardwareFinishes));
  std::string tag;
  for (char c : finish) {
    if (c >= 'A' && c <= 'Z') tag += c;
  }
  Item it;
  it.type = kAccessoryType;
  it.sub_type = kAccessory;
  it.cls = "310";
  switch (rnd.Between(0, 3)) {
    case 0:
      it.code = "KN-" + tag;
      it.description = "Knob, 1-1/4\" round, " + finish;
      it.quantity = rnd.Between(8, 40);
      it.unit_cents = 450 + rnd.Between(0, 40) * 10;
      break;
    case 1:
      it.code = "PL128-" + tag;
      it.description = "Bar pull, 128 mm centres, " + finish;
      it.quantity = rnd.Between(8, 40);
      it.unit_cents = 750 + rnd.Between(0, 60) * 10;
      break;
    case 2:
      it.code = "HG-SC";
      it.description = "Soft-close hinge upgrade (pair)";
      it.quantity = rnd.Between(4, 20);
      it.unit_cents = 1200;
      break;
    default:
      it.code = "DS-FE21";
      it.description = "Full-extension soft-close drawer slides, 21\"";
      it.quantity = rnd.Between(3, 15);
      it.unit_cents = 3800;
      break;
  }
  return it;
}

// Placed in the design to show the layout; never ordered (class 885).
Item Appliance(Random& rnd) {
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 5> kAppliances = {{
      {"DW24", "Dishwasher opening, 24\""},
      {"REF36", "Refrigerator opening, 36\""},
      {"RG30", "Range opening, 30\""},
      {"MW30", "Over-the-range microwave, 30\""},
      {"HD30", "Range hood, 30\""},
  }};
  const auto& a = rnd.Pick(kAppliances);
  Item it;
  it.type = kApplianceType;
  it.sub_type = kAppliance;
  it.cls = "885";
  it.code = Str(a.first);
  it.description = Str(a.second);
  return it;
}

Item Countertop(Random& rnd) {
  int run = rnd.Between(4, 16) * 6;
  Item it;
  it.type = kCounterType;
  it.sub_type = kCounter;
  it.cls = "700";
  it.code = "CT-LAM" + std::to_string(run);
  it.description = "Laminate countertop, " + Inch(run) + " run, square edge";
  it.width = run * 2;
  it.depth = 51;
  it.unit_cents = run * 450;
  return it;
}

Item Charge(Random& rnd) {
  Item it;
  it.type = kUndefined;
  it.sub_type = kCharge;
  it.cls = "900";
  if (rnd.Percent(60)) {
    it.code = "DEL";
    it.description = "Delivery charge";
    it.unit_cents = 15000;
  } else {
    it.code = "MOD-CHG";
    it.description = "Modification charge";
    it.unit_cents = 4500;
  }
  return it;
}

// Something that belongs to the cabinet before it.
Item Attachment(Random& rnd, const Item& parent) {
  Item it;
  it.attachment = true;
  it.type = kAccessoryType;
  it.sub_type = kAccessory;
  it.cls = "320";
  const std::string w = std::to_string(parent.width / 2);
  switch (rnd.Between(0, 5)) {
    case 0:
      // A finished end is part of the cabinet's own run and sorts with it.
      it.code = rnd.Percent(50) ? "FE-L" : "FE-R";
      it.description = std::string("Finished end, ") + (it.code == "FE-L" ? "left" : "right");
      it.type = kCabinet;
      it.sub_type = parent.sub_type;
      it.unit_cents = 6500;
      break;
    case 1:
      it.code = "ROT" + w;
      it.description = "Roll-out tray for " + w + "\" cabinet";
      it.quantity = rnd.Between(1, 3);
      it.unit_cents = 9500;
      break;
    case 2:
      it.code = "GD-MUL";
      it.description = "Glass door insert, mullion";
      it.unit_cents = 11000;
      break;
    case 3:
      it.code = "MOD-RD";
      it.description = "Depth reduction modification";
      it.sub_type = kCharge;
      it.type = kUndefined;
      it.unit_cents = 4000;
      break;
    case 4:
      it.code = "LED-UC" + w;
      it.description = "Under-cabinet LED light, " + w + "\"";
      it.unit_cents = 7200;
      break;
    default:
      it.code = "CUT-DIV";
      it.description = "Cutlery divider insert";
      it.unit_cents = 5400;
      break;
  }
  return it;
}

std::vector<Item> CatalogItems(Random& rnd, int count) {
  std::vector<Item> items;
  items.reserve(static_cast<std::size_t>(count));
  while (static_cast<int>(items.size()) < count) {
    int roll = rnd.Between(0, 99);
    Item it;
    if (roll < 30)
      it = BaseCabinet(rnd);
    else if (roll < 58)
      it = WallCabinet(rnd);
    else if (roll < 66)
      it = TallCabinet(rnd);
    else if (roll < 72)
      it = Filler(rnd);
    else if (roll < 76)
      it = Panel(rnd);
    else if (roll < 83)
      it = Molding(rnd);
    else if (roll < 91)
      it = Hardware(rnd);
    else if (roll < 95)
      it = Appliance(rnd);
    else if (roll < 98)
      it = Countertop(rnd);
    else
      it = Charge(rnd);
    const bool cabinet = it.type == kCabinet;
    items.push_back(std::move(it));
    if (cabinet && rnd.Percent(35)) {
      const Item parent = items.back();
      int n = rnd.Between(1, 3);
      for (int i = 0; i < n && static_cast<int>(items.size()) < count; ++i) {
        items.push_back(Attachment(rnd, parent));
      }
    }
  }
  return items;
}

void WriteItems(XmlWriter& w, Random& rnd, const std::vector<Item>& items) {
  int line = 0, sub = 0;
  for (const Item& it : items) {
    std::string number;
    if (it.attachment) {
      number = std::to_string(line) + "." + std::to_string(++sub);
    } else {
      sub = 0;
      number = std::to_string(++line);
    }
    w.Open("Item");
    w.Leaf("LineItemNumber", number);
    w.Leaf("Code", it.code);
    w.Leaf("Description", it.description);
    w.Leaf("Quantity", std::to_string(it.quantity));
    w.Leaf("Width", it.width ? Inches(it.width) : "");
    w.Leaf("Height", it.height ? Inches(it.height) : "");
    w.Leaf("Depth", it.depth ? Inches(it.depth) : "");
    w.Leaf("Hinge", it.hinge);
    w.Leaf("UnitPrice", Money(it.unit_cents));
    w.Leaf("Type", std::to_string(it.type));
    w.Leaf("SubType", std::to_string(it.sub_type));
    // Hosts spell the attachment mark in more than one way.
    std::string instance = "Standard";
    if (it.attachment) instance = rnd.Percent(85) ? "Attachment" : "attachement";
    w.Leaf("Instance", instance);
    w.Leaf("SortOrder", "0");
    w.Leaf("Class", it.cls);
    w.Close("Item");
  }
}

// ---- The design --------------------------------------------------------------------------

std::uint64_t DesignSeed(std::uint64_t seed, int index) {
  Random mix(seed ^ (0xD1B54A32D192ED03ull * static_cast<std::uint64_t>(index)));
  mix.Next();
  return mix.Next();
}

std::string WithoutDoubleQuotes(std::string text) {
  text.erase(std::remove(text.begin(), text.end(), '"'), text.end());
  return text;
}

}  // namespace

std::vector<std::string> DefaultCatalogCodes() {
  return {"MERIDIAN", "AUBURN", "CASCADE", "BIRCHWOOD", "KINGSTON", "NORTHPOINT", "ASHFORD"};
}

std::string CheckOptions(const DesignGenOptions& o) {
  if (o.catalogs.empty()) return "the list of catalog codes is empty";
  for (const std::string& code : o.catalogs) {
    if (Trim(code).empty()) return "a catalog code is blank";
  }
  if (o.min_catalogs < 1 || o.max_catalogs < o.min_catalogs || o.max_catalogs > 100) {
    return "catalogs per design must satisfy 1 <= min <= max <= 100";
  }
  if (o.min_items < 0 || o.max_items < o.min_items || o.max_items > 100000) {
    return "items per catalog must satisfy 0 <= min <= max <= 100000";
  }
  return {};
}

std::string DesignFileName(int index) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "design-%04d.xml", index);
  return buf;
}

std::string GenerateDesign(const DesignGenOptions& o, int index) {
  if (!CheckOptions(o).empty()) return {};
  Random rnd(DesignSeed(o.seed, index));

  const bool quoted = o.names_with_quotes && rnd.Percent(40);
  const Person& customer = quoted ? rnd.Pick(kQuotedCustomers) : rnd.Pick(kCustomers);
  const City& city = rnd.Pick(kCities);
  const Dealer& dealer = rnd.Pick(kDealers);
  const City& dealer_city = rnd.Pick(kCities);
  const std::string room = Str(rnd.Pick(kRooms));
  const int created = rnd.Between(19358, 20453);  // 2023-01-01 .. 2025-12-31
  const std::string offset = rnd.Percent(60) ? "-05:00" : "-04:00";
  char number[32];
  int year, month, day;
  CivilFromDays(created, year, month, day);
  std::snprintf(number, sizeof number, "Q%02d-%04d", year % 100, index % 10000);
  const std::string job_name = Str(customer.last) + " " + room;

  XmlWriter w;
  w.Open("Design");
  w.Open("JobInfo");
  char sequence[16];
  std::snprintf(sequence, sizeof sequence, "%04d", index);
  w.Leaf("FileName", "/home/designer/Larkspur/Designs/" + WithoutDoubleQuotes(job_name) + " " +
                         sequence + ".kit");
  w.Open("Header");
  w.Leaf("BranchID", "01");
  w.Leaf("Number", number);
  w.Leaf("Version", std::to_string(rnd.Between(1, 4)));
  w.Leaf("Name", job_name);
  w.Leaf("GlobalID", "");
  w.Leaf("DateBias", "");
  w.Leaf("ComputerName", "DESIGN-PC-0" + std::to_string(rnd.Between(1, 4)));
  w.Leaf("DateCreated", XsDateTime(created, rnd.Between(8 * 3600, 19 * 3600 - 1), offset));
  w.Leaf("DateRequired", XsDateTime(created + rnd.Between(28, 70), 0, offset));
  w.Leaf("Language", city.language);
  w.Leaf("Locale", city.locale);
  w.Leaf("Currency", city.currency);
  w.Leaf("Comment", rnd.Pick(kComments));
  w.Leaf("RoomType", room);
  w.Leaf("NewConstruction", rnd.Percent(25) ? "1" : "0");
  w.Close("Header");

  w.Open("Profile");
  w.Leaf("Type", "BillTo");
  w.Leaf("Code", dealer.code);
  w.Leaf("Name", dealer.name);
  w.Leaf("AccountCode", "AC-" + std::to_string(rnd.Between(1000, 9999)));
  WriteLocation(w, rnd, dealer_city, "Business");
  WriteContact(w, rnd, "Designer", rnd.Pick(kStaff), dealer.domain, dealer_city);
  if (rnd.Percent(50)) {
    WriteContact(w, rnd, "DealerSalesRep", rnd.Pick(kStaff), dealer.domain, dealer_city);
  }
  w.Close("Profile");

  w.Open("Profile");
  w.Leaf("Type", "ShipTo");
  w.Leaf("Name", rnd.Percent(70) ? customer.name : dealer.name);
  WriteLocation(w, rnd, rnd.Percent(70) ? city : dealer_city, "Delivery");
  w.Close("Profile");

  w.Open("Profile");
  w.Leaf("Type", "Customer");
  w.Leaf("Code", "C" + std::to_string(rnd.Between(10000, 99999)));
  w.Leaf("Name", customer.name);
  WriteLocation(w, rnd, city, "Home");
  WriteContact(w, rnd, "Main", customer, "mail.example", city);
  w.Close("Profile");
  w.Close("JobInfo");

  // Catalogs: distinct codes while the list lasts, then codes again from the start of a
  // fresh shuffle.
  const int catalogs = rnd.Between(o.min_catalogs, o.max_catalogs);
  std::vector<std::string> codes;
  for (int c = 0; c < catalogs; ++c) {
    if (codes.empty()) {
      codes = o.catalogs;
      for (std::size_t i = codes.size(); i > 1; --i) {
        std::swap(codes[i - 1], codes[static_cast<std::size_t>(rnd.Between(0, int(i) - 1))]);
      }
    }
    const std::string code = Trim(codes.back());
    codes.pop_back();
    w.Open("Catalog");
    w.Open("Identification");
    w.Leaf("Name", code);
    w.Close("Identification");
    w.Leaf("DoorStyle", rnd.Pick(kDoorStyles));
    w.Leaf("Finish", rnd.Pick(kFinishes));
    WriteItems(w, rnd, CatalogItems(rnd, rnd.Between(o.min_items, o.max_items)));
    w.Close("Catalog");
  }
  w.Close("Design");
  return w.Take();
}

bool WriteDesigns(const DesignGenOptions& options, int count, const std::string& folder,
                  std::string* error) {
  std::string reason = CheckOptions(options);
  if (reason.empty() && count < 0) reason = "the number of designs is negative";
  if (reason.empty() && count > 9999) reason = "at most 9999 designs can be written";
  if (!reason.empty()) {
    if (error) *error = reason;
    return false;
  }
  Env* env = Env::Default();
  if (!env->CreateDirectories(folder, error)) return false;
  for (int i = 1; i <= count; ++i) {
    if (!env->WriteFileAtomic(JoinPath(folder, DesignFileName(i)), GenerateDesign(options, i),
                              error)) {
      return false;
    }
  }
  return true;
}

}  // namespace larkedi::gen
