// Files of the order stack: stacked and archived designs (<GUID>.xme, enciphered).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/err.h"

namespace larkedi {

/// The largest design text the stack takes in or reads back (plain XML). Real designs stay
/// far below it; it keeps a hostile or broken input from exhausting memory, and keeps one
/// design below the node count at which the XML library's queries stop answering.
inline constexpr std::size_t kMaxDesignBytes = 32u << 20;
/// The most designs one input may hand in at once.
inline constexpr std::size_t kMaxDesignsPerInput = 2000;
/// The largest stacked file read from the spool folder (enciphered, as on disk).
inline constexpr int64_t kMaxStackFileBytes = 32 << 20;
/// The suffix a stacked file that breaks these limits is renamed with: set aside, never
/// deleted, and no longer read as a design.
inline constexpr const char* kQuarantineSuffix = ".quarantine";

/// True when the name ends with ".xme" (any case).
bool IsXmeName(std::string_view name);
/// True for a plain file name that stays inside its folder (no '/', not "." or "..").
bool IsPlainFileName(std::string_view name);
/// The *.xme names of a folder, in listing order (folders and symbolic links left out).
std::vector<std::string> ListXmeFiles(const std::string& folder);

/// Writes a design text as the enciphered file `name` in `folder`: the file's bytes are made
/// in memory and written through a temporary file of this writer's own renamed into place,
/// so the folder only ever holds the previous file or the complete new one, never a plain or
/// half-written design. Empty Err on success; otherwise the old file is kept and the error
/// names the file and the reason.
Err StoreDesignFile(const std::string& folder, const std::string& name, std::string text,
                    std::string* fingerprint = nullptr);
/// Identifies one version of a stored file from its bytes: every write of a design gives a
/// new one (the cipher's salt changes), so equal fingerprints mean the file was not
/// rewritten in between.
std::string FileFingerprint(std::string_view bytes);
/// The fingerprint of the file as it is on disk now; empty when it cannot be read (missing).
std::string FileFingerprintOnDisk(const std::string& path);
/// Checks that `folder` (the `what`, e.g. "spool folder", for messages) can hold the stack:
/// an absolute path of a folder, created when it is missing. Empty Err, or why it cannot be
/// used (not set, not absolute, a file, cannot be created). Nothing falls back elsewhere.
Err UsableFolder(const std::string& folder, const std::string& what);
/// Packs the folder's *.xme files (its own files; links are left alone) into its yearly
/// archive "archive_<yyyy>.zip", then deletes exactly the files the written archive holds.
/// LastPo.xml stays. `zip_path` (when given) receives the archive's path. Empty Err when
/// there was nothing to pack or everything was packed; otherwise what was not packed stays.
Err ArchiveXmeFolder(const std::string& folder, std::string* zip_path);
/// The UTF-8 text of a deciphered design file: its bytes are in the encoding its XML
/// declaration names (the module saves in its own encoding); the declaration is dropped.
std::string DesignFileText(std::string bytes);

}  // namespace larkedi
