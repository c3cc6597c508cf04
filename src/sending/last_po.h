// lastPO.xml: with logging on, the last purchase order a send produced is kept in the
// archive folder for support. It never carries a password: every element or attribute
// named like "password" is emptied, and the partner's encoded password is cut out wherever
// a style sheet put it.
#pragma once

#include <string>

namespace larkedi {

/// `document` without the password values (see above).
std::string WithoutPasswords(const std::string& document, const std::string& encoded_password);

/// Writes `document` (without passwords) to `archive_path`/lastPO.xml when logging is on.
/// True when it was written; false when logging is off or the write failed (logged).
bool WriteLastPO(const std::string& archive_path, const std::string& document,
                 const std::string& encoded_password);

}  // namespace larkedi
