// CKUtil: everything the module zips, enciphers or Base64-encodes.
//
// - Stacked and archived designs (.xme) are zip archives stored under the plain file's own
//   name with exactly one entry, named after the file, deflated at level 9 and enciphered
//   with WinZip AES (128-bit key) under the archive password; 7-Zip opens them with it.
// - The yearly archive of sent designs is a zip archive of a folder's matching files.
// - Attachments travel as Base64 of their content deflated at level 9 as a zip entry holds
//   it (raw deflate data, no zip container).
//
// Files are replaced whole: an archive is built in memory and written with a temporary file
// in the same folder renamed over the target, so a crash or a full disk leaves the old file
// or the complete new one. Every method reports failure through its result (empty text,
// false, an unchanged file) and, when the caller passes one, an Err naming the file and the
// reason. Nothing throws.
#pragma once

#include <string>

#include "orders/xme_file.h"  // the archive password and the .xme format
#include "platform/err.h"

namespace larkedi {

class CKUtil {
 public:
  /// The file's content compressed for transport: with `bZipFormat`, a whole zip archive
  /// holding the file as its one entry; without, the raw deflate data of that entry. Base64
  /// text when `bRetBase64Value`, else the bytes. Empty on failure.
  std::string GetCompressedFileData(const std::string& sFilePath, bool bRetBase64Value,
                                    bool bZipFormat, Err* error = nullptr);
  /// Restores data made by GetCompressedFileData: `bBase64Data` when `sData` is Base64 text;
  /// `bZipFormat` when it is a zip archive (the first entry's text is returned); otherwise
  /// raw deflate data, inflated when `bUncompress`. Empty on failure.
  std::string GetDecompressedFileData(bool bUncompress, bool bBase64Data, const std::string& sData,
                                      bool bZipFormat, Err* error = nullptr);
  /// Writes every entry of the zip archive in `sData` (Base64 text when `bBase64Data`) into
  /// the folder `sPath`. Entries whose names would leave that folder (absolute, "..") are
  /// refused. True when it ran to the end.
  bool ExtractFilesFromData(bool bZipFormat, bool bBase64Data, const std::string& sData,
                            const std::string& sPath, Err* error = nullptr);
  /// Base64 of the file named `sData` (`bFileFormat`) or of the bytes of `sData`; empty when
  /// the file cannot be read.
  std::string GetBase64(const std::string& sData, bool bFileFormat);
  /// The file's content; empty when it cannot be read.
  std::string GetBinary(const std::string& sPath);
  /// Adds the files of `sArchpath` matching `sFilePattern` (e.g. "*.xme", no regard to
  /// case) to the zip archive `sZipFileName`, opening it when it exists and creating it
  /// otherwise; entries already in it are kept (a file of the same name replaces its entry).
  /// "LastPo.xml" and the names matching `sExclusion` are left out, without regard to case.
  /// `Recurse` descends into sub-folders; `SaveExtraPath` keeps their relative paths in the
  /// entry names; `IncludeHidden` takes files whose names begin with '.'. `ArchiveOnly` and
  /// `IncludeSystem` have no counterpart here and are accepted for the caller's sake. A
  /// failure leaves the previous archive whole. Symbolic links are never followed: neither
  /// linked files nor linked folders enter the archive.
  bool CompressArchive(const std::string& sArchpath, const std::string& sZipFileName,
                       const std::string& sFilePattern, const std::string& sExclusion, bool Recurse,
                       bool SaveExtraPath, bool ArchiveOnly, bool IncludeHidden, bool IncludeSystem,
                       Err* error = nullptr);
  /// Replaces the file by its encrypted single-entry archive. On failure the file stays as
  /// it was. A file that already is an encrypted archive is refused, never enciphered twice.
  void EnCryptFile(const std::string& sFileName, Err* error = nullptr);
  /// The plain content of a file written by EnCryptFile. Empty text, and a log line, when
  /// the file is missing, unreadable, not a zip archive, truncated, made with another
  /// password or inflates beyond the entry limit; `why` tells these apart.
  std::string DeCryptFile(const std::string& sFileName, Err* error = nullptr,
                          XmeFailure* why = nullptr);
};

}  // namespace larkedi
