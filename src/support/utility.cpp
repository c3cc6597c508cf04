#include "support/utility.h"

#include <sys/random.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>

#include "platform/text_encoding.h"

namespace larkedi {
namespace {

// Unicode code points of the Windows-1252 bytes 0x80-0x9F. The five bytes the code page
// leaves unassigned map to the control characters of the same value, as Windows does.
constexpr std::array<char32_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr const char* kGmtDatePassword = "7850";

void CipherAnsi(const std::string& ansi_password, std::string& text, bool decipher) {
  BasicRnd rnd(PasswordSeed(ansi_password));
  for (char& ch : text) {
    const int c = static_cast<unsigned char>(ch);
    if (c < 32 || c > 126) continue;
    const int r = static_cast<int>(rnd.Next() * 96);
    int shifted = decipher ? (c - 32 - r) % 95 : (c - 32 + r) % 95;
    if (shifted < 0) shifted += 95;
    ch = static_cast<char>(shifted + 32);
  }
}

std::string TwoDigits(int n) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", n);
  return buf;
}

// Reads a run of decimal digits of exactly `count` characters at `pos`.
bool ReadNumber(const std::string& s, std::size_t pos, std::size_t count, int* out) {
  if (pos + count > s.size()) return false;
  int v = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

struct LocaleEntry {
  const char* name;
  int lcid;
};

constexpr LocaleEntry kLocales[] = {
    {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081}, {"en_CA", 4105},  {"en_NZ", 5129},
    {"en_IE", 6153}, {"en_ZA", 7177}, {"fr_FR", 1036}, {"fr_BE", 2060},  {"fr_CA", 3084},
    {"fr_CH", 4108}, {"fr_LU", 5132}, {"de_DE", 1031}, {"de_CH", 2055},  {"de_AT", 3079},
    {"de_LU", 4103}, {"es_ES", 3082}, {"es_MX", 2058}, {"es_US", 21514}, {"it_IT", 1040},
    {"it_CH", 2064}, {"nl_NL", 1043}, {"nl_BE", 2067}, {"pt_BR", 1046},  {"pt_PT", 2070},
    {"sv_SE", 1053}, {"da_DK", 1030}, {"nb_NO", 1044}, {"fi_FI", 1035},  {"pl_PL", 1045},
    {"cs_CZ", 1029}, {"ja_JP", 1041}, {"zh_CN", 2052}, {"zh_TW", 1028},  {"ko_KR", 1042},
    {"ru_RU", 1049}};

// The locale of a language alone ("fr" -> fr_FR).
constexpr LocaleEntry kLanguages[] = {
    {"en", 1033}, {"fr", 1036}, {"de", 1031}, {"es", 3082}, {"it", 1040}, {"nl", 1043},
    {"pt", 2070}, {"sv", 1053}, {"da", 1030}, {"nb", 1044}, {"fi", 1035}, {"pl", 1045},
    {"cs", 1029}, {"ja", 1041}, {"zh", 2052}, {"ko", 1042}, {"ru", 1049}};

}  // namespace

std::string Utf8ToAnsi(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    const char32_t cp = NextCodePoint(utf8, pos);
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    char mapped = '?';
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
      if (kCp1252High[i] == cp) {
        mapped = static_cast<char>(0x80 + i);
        break;
      }
    }
    out += mapped;
  }
  return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string out;
  out.reserve(ansi.size() + ansi.size() / 4);
  for (char ch : ansi) {
    const unsigned char c = static_cast<unsigned char>(ch);
    AppendUtf8(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : c, out);
  }
  return out;
}

uint32_t PasswordSeed(std::string_view ansi_password) {
  uint32_t value = 0;
  unsigned a = 0;
  unsigned b = 0;
  for (char ch : ansi_password) {
    const uint32_t c = static_cast<unsigned char>(ch);
    value ^= (c << a) ^ (c << b);
    a = (a + 7) % 19;
    b = (b + 13) % 23;
  }
  return value;
}

long TimeZoneBiasAt(const Date& local) {
  const DateParts p = local.Parts();
  std::tm tm{};
  tm.tm_year = p.Year - 1900;
  tm.tm_mon = p.Month - 1;
  tm.tm_mday = p.Day;
  tm.tm_hour = p.Hour;
  tm.tm_min = p.Minute;
  tm.tm_sec = p.Second;
  tm.tm_isdst = -1;
  errno = 0;
  if (std::mktime(&tm) == static_cast<std::time_t>(-1) && errno != 0) return 0;
  return -tm.tm_gmtoff / 60;
}

int LocaleIdFromName(std::string_view name) {
  std::string base(name.substr(0, name.find_first_of(".@")));
  if (base.empty() || base == "C" || base == "POSIX") return 1033;
  for (const auto& e : kLocales) {
    if (base == e.name) return e.lcid;
  }
  std::string language = base.substr(0, base.find('_'));
  for (const auto& e : kLanguages) {
    if (language == e.name) return e.lcid;
  }
  return 1033;
}

std::string Utility::GetGUID() {
  std::array<unsigned char, 16> bytes{};
  std::size_t got = 0;
  while (got < bytes.size()) {
    ssize_t n = ::getrandom(bytes.data() + got, bytes.size() - got, 0);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  if (got < bytes.size()) {
    std::random_device rd;
    for (auto& b : bytes) b = static_cast<unsigned char>(rd());
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(32);
  for (unsigned char b : bytes) {
    out += kHex[b >> 4];
    out += kHex[b & 0x0F];
  }
  return out;
}

std::string Utility::GetTimeZoneBias() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
  if (now == static_cast<std::time_t>(-1) || !::localtime_r(&now, &tm)) return "0";
  return std::to_string(-tm.tm_gmtoff / 60);
}

std::string Utility::GetEncryptedGMTDate(Date& dateinput) {
  if (dateinput.IsZero()) dateinput = Date::Now();
  const DateParts p = dateinput.AddMinutes(static_cast<double>(TimeZoneBiasAt(dateinput))).Parts();
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", p.Year, p.Month, p.Day);
  return Encode(buf, kGmtDatePassword);
}

std::string Utility::Encode(const std::string& str, const std::string& password) {
  std::string text = Utf8ToAnsi(str);
  const bool with_password = !password.empty();
  if (with_password) CipherAnsi(Utf8ToAnsi(password), text, /*decipher=*/false);

  std::mt19937 filler_rng(std::random_device{}());
  std::uniform_int_distribution<int> filler('G', 'Z');
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 4);
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    std::string hex;
    if (c >= 16) hex += kHex[c >> 4];
    hex += kHex[c & 0x0F];
    std::string group;
    while (group.size() + hex.size() < 4) group += static_cast<char>(filler(filler_rng));
    group += hex;
    if (with_password) std::swap(group[1], group[2]);
    out += group;
  }
  return out;
}

std::string Utility::Decode(const std::string& str, const std::string& password) {
  const bool with_password = !password.empty();
  std::string text;
  text.reserve(str.size() / 4 + 1);
  for (std::size_t i = 0; i < str.size(); i += 4) {
    std::string group = str.substr(i, 4);
    if (with_password && group.size() >= 3) std::swap(group[1], group[2]);
    unsigned value = 0;
    for (char& ch : group) {
      if (ch >= 'G' && ch <= 'Z') ch = '0';
      const int digit = std::isdigit(static_cast<unsigned char>(ch)) ? ch - '0'
                        : (ch >= 'A' && ch <= 'F')                   ? ch - 'A' + 10
                        : (ch >= 'a' && ch <= 'f')                   ? ch - 'a' + 10
                                                                     : -1;
      if (digit < 0) break;  // the hexadecimal reading stops at the first other character
      value = value * 16 + static_cast<unsigned>(digit);
    }
    text += static_cast<char>(value & 0xFF);
  }
  if (with_password) CipherAnsi(Utf8ToAnsi(password), text, /*decipher=*/true);
  return AnsiToUtf8(text);
}

void Utility::Cipher(const std::string& password, std::string& from_text) {
  std::string text = Utf8ToAnsi(from_text);
  CipherAnsi(Utf8ToAnsi(password), text, /*decipher=*/false);
  from_text = AnsiToUtf8(text);
}

void Utility::Decipher(const std::string& password, std::string& from_text) {
  std::string text = Utf8ToAnsi(from_text);
  CipherAnsi(Utf8ToAnsi(password), text, /*decipher=*/true);
  from_text = AnsiToUtf8(text);
}

std::string Utility::GetLocale() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return std::to_string(LocaleIdFromName(v));
  }
  return "1033";
}

std::string Utility::GetXsDateTime(Date dDate) {
  if (dDate.IsZero()) return "";
  const DateParts p = dDate.Parts();
  const long bias = TimeZoneBiasAt(dDate);
  const long abs_bias = bias < 0 ? -bias : bias;
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d", p.Year, p.Month, p.Day, p.Hour,
                p.Minute, p.Second);
  return std::string(buf) + (bias > 0 ? "-" : "+") + TwoDigits(static_cast<int>(abs_bias / 60)) +
         ":" + TwoDigits(static_cast<int>(abs_bias % 60));
}

Date Utility::GetDateFromXsDateTime(const std::string& sDate) {
  const std::size_t t = sDate.find('T');
  if (t == std::string::npos) return Date();
  int year = 0, month = 0, day = 0;
  if (!ReadNumber(sDate, 0, 4, &year) || !ReadNumber(sDate, 5, 2, &month) ||
      !ReadNumber(sDate, 8, 2, &day) || month < 1 || month > 12 || day < 1 || day > 31) {
    return Date();
  }
  std::string time = sDate.substr(t + 1);
  time = time.substr(0, time.find_first_of("Z-+"));
  int hour = 0, minute = 0, used = 0;
  double second = 0;
  if (std::sscanf(time.c_str(), "%2d:%2d:%lf%n", &hour, &minute, &second, &used) != 3) {
    used = 0;
    second = 0;
    if (std::sscanf(time.c_str(), "%2d:%2d%n", &hour, &minute, &used) != 2) return Date();
  }
  if (static_cast<std::size_t>(used) != time.size() || hour < 0 || hour > 23 || minute < 0 ||
      minute > 59 || second < 0 || second >= 60) {
    return Date();
  }
  const Date date = Date::FromParts(year, month, day, hour, minute, second);
  if (Date::FromParts(year, month, day).Parts().Day != day) return Date();
  return date;
}

}  // namespace larkedi
