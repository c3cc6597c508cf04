// Single-instance guard and window tag: an exclusive lock on a file in the user's runtime
// folder, held for the life of the process, and a small file beside it that tells a later
// process where the running window is.
#pragma once

#include <optional>
#include <string>

namespace larkedi {

/// $XDG_RUNTIME_DIR, else $TMPDIR, else /tmp.
std::string RuntimeFolder();

/// Takes the lock named `name` (file <runtime folder>/<name>.lock) for the rest of the
/// process. True when this process now holds it (or already did); false when another
/// process holds it. Other failures (no runtime folder) count as holding it: the guard
/// must never keep the only process from running.
bool AcquireInstanceLock(const std::string& name);
/// Releases a lock this process holds (tests only; the module keeps it until exit).
void ReleaseInstanceLock(const std::string& name);

/// Where the running window can be reached.
struct WindowTag {
  std::string address;  // http://127.0.0.1:port
  std::string secret;
  long pid = 0;
};

/// Writes the tag file <runtime folder>/<tag name> for this process's window, readable
/// by this user only (mode 0600). A tag left by an ended process is replaced. False when
/// the file cannot be written or belongs to another user.
bool WriteWindowTag(const std::string& tag_name, const WindowTag& tag);
/// Removes this process's tag file (when the window closes).
void RemoveWindowTag(const std::string& tag_name);
/// The tag of a window of a live process, if there is one. A tag whose process ended, or
/// a file of another user, is no tag.
std::optional<WindowTag> ReadWindowTag(const std::string& tag_name);

}  // namespace larkedi
