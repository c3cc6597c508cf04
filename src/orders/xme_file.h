// The stacked design file (<GUID>.xme) and its archived copy: a zip archive stored under the
// plain file's own name with exactly one entry, named after the file, deflated at level 9 and
// enciphered with WinZip AES (128-bit key) under the archive password; 7-Zip opens it with
// that password. Files are replaced whole (temporary file in the same folder, then rename):
// a crash or a full disk leaves the old file or the complete new one, never a plain or
// half-written design.
#pragma once

#include <string>
#include <vector>

#include "platform/err.h"

namespace larkedi {

/// The password of every archive the module makes.
inline constexpr const char* kArchivePassword = "kq7zv41";

/// Why a stacked design file could not be read back.
enum class XmeFailure {
  kNone,
  kMissing,        // no such file
  kPermission,     // the user may not read it
  kNotAFile,       // a folder or a device
  kNotArchive,     // not a zip archive (a plain file, another format)
  kTruncated,      // a zip archive cut short
  kWrongPassword,  // encrypted under another password
  kDamaged,        // corrupt archive structure or entry data
  kTooLarge,       // the file or its entry is beyond the size limits
  kEmpty,          // an archive without entries
  kOther,
};

/// A short description of the cause, for messages ("wrong password", ...).
const char* XmeFailureText(XmeFailure why);

/// The enciphered archive bytes of a file named `entry_name` holding `plain`. Empty Err on
/// success; otherwise `bytes` is untouched and the error says why.
Err EncipherBytes(const std::string& entry_name, std::string plain, std::string* bytes);
/// Replaces the file by its enciphered archive. On failure the file stays as it was. A file
/// that already is an encrypted archive is refused (enciphered twice, the design would sit
/// one level deeper, where nothing finds it).
Err EncipherFile(const std::string& path);
/// The plain content of a file written by EncipherFile (or EncipherBytes). On failure `text`
/// is emptied and the error names the file and the cause (missing, not an archive, truncated,
/// wrong password). Failures are logged.
/// `why` (when given) receives the cause.
Err DecipherFile(const std::string& path, std::string* text, XmeFailure* why = nullptr);
/// The same for the bytes of such a file read already (`path` names it in messages).
Err DecipherBytes(const std::string& path, std::string bytes, std::string* text,
                  XmeFailure* why = nullptr);

/// Adds the files `names` of `folder` to the zip archive `zip_path` (opened when it exists,
/// created otherwise) and writes the archive whole. An entry of the same name is never
/// replaced: the file goes in as "name~2.xme" (or the next free number), unless that entry
/// holds the same bytes already, when it counts as packed without a second copy.
/// `packed` receives the names that are in the written archive. An archive that exists but
/// cannot be read is left as it is (nothing packed). A file that cannot be read is left out
/// and named in the returned error; the others are still packed.
Err PackFiles(const std::string& folder, const std::vector<std::string>& names,
              const std::string& zip_path, std::vector<std::string>* packed);

}  // namespace larkedi
