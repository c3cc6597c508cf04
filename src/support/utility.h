// Utility: the small services the module offers the host and uses itself: GUID text, XML
// Schema date-time text, the local time-zone bias, the Windows locale identifier, and the
// two text scramblers (Cipher/Decipher, and Encode/Decode built on them) that keep
// passwords and dates out of plain sight.
//
// Texts are UTF-8 at this interface. The scramblers work on single-byte ANSI codes, as the
// host's texts were: every text is first mapped to Windows-1252 (a character that code page
// cannot hold becomes '?'), scrambled byte by byte, and mapped back to UTF-8. So "Crème" and
// "5 €" survive Encode/Decode, while a character such as "ł" comes back as '?'.
//
// Nothing here throws.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "support/vb_date.h"

namespace larkedi {

class Utility {
 public:
  /// A new GUID as 32 upper-case hexadecimal digits, no braces or dashes.
  std::string GetGUID();
  /// Minutes such that UTC = local time + bias, daylight time included, as decimal text;
  /// "0" when the zone cannot be read.
  std::string GetTimeZoneBias();
  /// "yyyymmdd" of the date moved to UTC, encoded with the password "7850". A zero date is
  /// first replaced by the current date and time (the caller sees the change).
  std::string GetEncryptedGMTDate(Date& dateinput);
  /// Four characters per input character: filler letters G-Z and the hexadecimal ANSI code
  /// (after Cipher when `password` is not empty, the middle two swapped).
  std::string Encode(const std::string& str, const std::string& password);
  /// Undoes Encode with the same password. Text not made by Encode gives arbitrary text.
  std::string Decode(const std::string& str, const std::string& password);
  /// Scrambles the printable ANSI characters (codes 32-126) of `from_text` in place, with a
  /// sequence that depends only on the password. Other characters are left as they are.
  void Cipher(const std::string& password, std::string& from_text);
  /// Undoes Cipher with the same password.
  void Decipher(const std::string& password, std::string& from_text);
  /// The Windows locale identifier of the user's locale as decimal text ("1033" when the
  /// locale is unknown).
  std::string GetLocale();
  /// "YYYY-MM-DDThh:mm:ss+hh:mm" with the local zone offset in force on that date; empty
  /// text for the zero date.
  std::string GetXsDateTime(Date dDate);
  /// The date and time written before the zone designator (the offset is not applied); the
  /// zero date when the text has no "T" or its date cannot be read.
  Date GetDateFromXsDateTime(const std::string& sDate);
};

/// Password-to-seed value of the scramblers (ANSI codes of the password).
uint32_t PasswordSeed(std::string_view ansi_password);

/// The scramblers' pseudo-random generator: the 24-bit linear congruential generator of
/// BASIC runtimes, x <- (x * 1140671485 + 12820163) mod 2^24, each number x / 2^24.
class BasicRnd {
 public:
  /// Resets the generator and seeds it: the 32-bit seed folded into 24 bits.
  explicit BasicRnd(uint32_t seed) : x_((seed ^ (seed >> 24)) & 0xFFFFFFu) {}
  /// The next number in [0, 1).
  double Next() {
    x_ = (x_ * 1140671485u + 12820163u) & 0xFFFFFFu;
    return static_cast<double>(x_) / 16777216.0;
  }

 private:
  uint32_t x_;
};

/// Windows-1252 bytes of a UTF-8 text; characters outside the code page become '?'.
std::string Utf8ToAnsi(std::string_view utf8);
/// UTF-8 text of Windows-1252 bytes (the five unassigned bytes map to U+0081 and the like).
std::string AnsiToUtf8(std::string_view ansi);

/// Minutes such that UTC = local + bias for the local date and time `local` (the zone
/// offset in force then, daylight time included). 0 when it cannot be determined.
long TimeZoneBiasAt(const Date& local);

/// Maps a POSIX locale name ("fr_CA.UTF-8", "de_DE@euro") to a Windows locale identifier;
/// 1033 when unknown.
int LocaleIdFromName(std::string_view name);

}  // namespace larkedi
