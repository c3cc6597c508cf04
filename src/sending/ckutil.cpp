#include "sending/ckutil.h"

#include <fnmatch.h>

#include <memory>
#include <vector>

#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/zip/zip.h"
// The archive password and the stacked-design format: sending archives sent designs in the
// order stack's own file format.
#include "orders/xme_file.h"

namespace larkedi {
namespace {

constexpr int kLevel = 9;
constexpr const char* kAlwaysExcluded = "LastPo.xml";

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

// Records a failure for the caller (when it asked) and returns false.
bool Fail(Err* error, const char* routine, const std::string& description) {
  if (error) *error = Err::Raise(kErrComponent, routine, description);
  return false;
}

// Every file CKUtil reads whole: at most the largest archive the zip layer accepts, so a
// device or an endless file is refused instead of filling memory.
bool ReadInput(const std::string& path, std::string* data, std::string* error,
               ReadFailure* why = nullptr) {
  return ReadFileAtMost(path, zip::kMaxArchiveFileBytes, data, error, why);
}

bool MatchNoCase(const std::string& pattern, const std::string& name) {
  return ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
}

// An entry name made safe to join to a folder: folders kept, but nothing absolute and no
// "." or ".." component. Empty when the name must be refused.
std::string SafeRelativeName(const std::string& entry) {
  std::string name = entry;
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  if (name.empty() || name.front() == '/') return {};
  std::string out;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t slash = name.find('/', start);
    if (slash == std::string::npos) slash = name.size();
    const std::string part = name.substr(start, slash - start);
    if (part == "..") return {};
    if (!part.empty() && part != ".") {
      if (!out.empty()) out += '/';
      out += part;
    }
    start = slash + 1;
  }
  return out;
}

struct FoundFile {
  std::string path;
  std::string entry_name;
};

void CollectFiles(const std::string& folder, const std::string& relative,
                  const std::string& pattern, const std::vector<std::string>& exclusions,
                  const std::string& archive_path, bool recurse, bool keep_paths,
                  bool include_hidden, std::vector<FoundFile>* found) {
  Env* env = Env::Default();
  std::vector<std::string> names;
  if (!env->ListDirectory(folder, &names, nullptr)) return;
  for (const auto& name : names) {
    if (name.empty() || (name.front() == '.' && !include_hidden)) continue;
    const std::string path = JoinPath(folder, name);
    // A link may lead out of the archived folder (or back into it, without end).
    if (IsSymbolicLink(path)) continue;
    const std::string rel = relative.empty() ? name : relative + "/" + name;
    if (env->IsDirectory(path)) {
      if (recurse) {
        CollectFiles(path, rel, pattern, exclusions, archive_path, recurse, keep_paths,
                     include_hidden, found);
      }
      continue;
    }
    if (path == archive_path || !MatchNoCase(pattern, name)) continue;
    bool excluded = false;
    for (const auto& ex : exclusions) excluded = excluded || MatchNoCase(ex, name);
    if (excluded) continue;
    found->push_back({path, keep_paths ? rel : name});
  }
}

}  // namespace

std::string CKUtil::GetBinary(const std::string& sPath) {
  std::string data;
  if (!ReadInput(Trim(sPath), &data, nullptr)) return {};
  return data;
}

std::string CKUtil::GetBase64(const std::string& sData, bool bFileFormat) {
  if (!bFileFormat) return zip::Base64Encode(sData);
  std::string data;
  if (!ReadInput(Trim(sData), &data, nullptr)) return {};
  return zip::Base64Encode(data);
}

std::string CKUtil::GetCompressedFileData(const std::string& sFilePath, bool bRetBase64Value,
                                          bool bZipFormat, Err* error) {
  const char* kRoutine = "GetCompressedFileData";
  const std::string path = Trim(sFilePath);
  std::string content, reason, result;
  if (!ReadInput(path, &content, &reason)) {
    Fail(error, kRoutine, reason);
    return {};
  }
  if (bZipFormat) {
    auto archive = zip::Archive::Create(&reason);
    if (archive) archive->SetPassword(kArchivePassword);
    if (!archive ||
        !archive->AddEntry(BaseName(path), std::move(content), kLevel, false, &reason) ||
        !archive->Finish(&result, &reason)) {
      Fail(error, kRoutine, path + ": " + reason);
      return {};
    }
  } else if (!zip::RawDeflate(content, kLevel, &result, &reason)) {
    Fail(error, kRoutine, path + ": " + reason);
    return {};
  }
  return bRetBase64Value ? zip::Base64Encode(result) : result;
}

std::string CKUtil::GetDecompressedFileData(bool bUncompress, bool bBase64Data,
                                            const std::string& sData, bool bZipFormat, Err* error) {
  const char* kRoutine = "GetDecompressedFileData";
  std::string bytes;
  if (!bBase64Data) {
    bytes = sData;
  } else if (!zip::Base64Decode(sData, &bytes)) {
    Fail(error, kRoutine, "the data is not Base64 text");
    return {};
  }
  std::string reason, text;
  if (bZipFormat) {
    auto archive = zip::Archive::Open(std::move(bytes), &reason);
    if (!archive) {
      Fail(error, kRoutine, reason);
      return {};
    }
    archive->SetPassword(kArchivePassword);
    if (!archive->ReadEntry(0, &text, &reason)) {
      Fail(error, kRoutine, reason);
      return {};
    }
    return text;
  }
  if (!bUncompress) return bytes;
  if (!zip::RawInflate(bytes, &text, &reason)) {
    Fail(error, kRoutine, reason);
    return {};
  }
  return text;
}

bool CKUtil::ExtractFilesFromData(bool bZipFormat, bool bBase64Data, const std::string& sData,
                                  const std::string& sPath, Err* error) {
  const char* kRoutine = "ExtractFilesFromData";
  std::string bytes;
  if (!bBase64Data) {
    bytes = sData;
  } else if (!zip::Base64Decode(sData, &bytes)) {
    return Fail(error, kRoutine, "the data is not Base64 text");
  }
  if (!bZipFormat) return true;
  std::string reason;
  auto archive = zip::Archive::Open(std::move(bytes), &reason);
  if (!archive) return Fail(error, kRoutine, reason);
  archive->SetPassword(kArchivePassword);
  Env* env = Env::Default();
  const std::string folder = Trim(sPath);
  if (!env->CreateDirectories(folder, &reason)) return Fail(error, kRoutine, reason);
  for (int i = 0; i < archive->EntryCount(); ++i) {
    const std::string stored = archive->EntryName(i);
    const std::string name = SafeRelativeName(stored);
    if (name.empty()) {
      if (!stored.empty() && stored.back() == '/') continue;  // a folder entry
      return Fail(error, kRoutine, "entry \"" + stored + "\" would be written outside " + folder);
    }
    const std::string target = JoinPath(folder, name);
    if (!stored.empty() && stored.back() == '/') {
      if (!env->CreateDirectories(target, &reason)) return Fail(error, kRoutine, reason);
      continue;
    }
    std::string data;
    if (!archive->ReadEntry(i, &data, &reason)) {
      return Fail(error, kRoutine, "entry \"" + stored + "\": " + reason);
    }
    if (!env->CreateDirectories(DirName(target), &reason) ||
        !env->WriteFileAtomic(target, data, &reason)) {
      return Fail(error, kRoutine, reason);
    }
  }
  return true;
}

bool CKUtil::CompressArchive(const std::string& sArchpath, const std::string& sZipFileName,
                             const std::string& sFilePattern, const std::string& sExclusion,
                             bool Recurse, bool SaveExtraPath, bool /*ArchiveOnly*/,
                             bool IncludeHidden, bool /*IncludeSystem*/, Err* error) {
  const char* kRoutine = "CompressArchive";
  Env* env = Env::Default();
  const std::string zip_path = Trim(sZipFileName);
  const std::string folder = Trim(sArchpath);
  std::string reason;

  // The previous archive is read whole and written back with the new files; a file that
  // cannot be read as an archive is left alone rather than replaced by a smaller one.
  std::unique_ptr<zip::Archive> archive;
  if (env->Exists(zip_path)) {
    std::string old;
    if (!ReadInput(zip_path, &old, &reason)) return Fail(error, kRoutine, reason);
    archive = zip::Archive::Open(std::move(old), &reason);
    if (!archive) return Fail(error, kRoutine, zip_path + ": " + reason + "; it was left as it is");
  } else {
    archive = zip::Archive::Create(&reason);
    if (!archive) return Fail(error, kRoutine, reason);
  }
  archive->SetPassword(kArchivePassword);

  std::vector<std::string> exclusions{kAlwaysExcluded};
  if (!Trim(sExclusion).empty()) exclusions.push_back(Trim(sExclusion));
  // The pattern may come written as a path tail ("\\*.xme").
  std::string pattern = Trim(sFilePattern);
  const std::size_t start = pattern.find_first_not_of("/\\");
  pattern = start == std::string::npos ? std::string("*") : pattern.substr(start);

  std::vector<FoundFile> files;
  CollectFiles(folder, "", pattern, exclusions, zip_path, Recurse, SaveExtraPath, IncludeHidden,
               &files);
  bool all_added = true;
  std::string skipped;
  for (const auto& f : files) {
    std::string data;
    if (!ReadInput(f.path, &data, &reason) ||
        !archive->AddEntry(f.entry_name, std::move(data), kLevel, false, &reason)) {
      all_added = false;  // the others are still archived
      if (!skipped.empty()) skipped.append("; ");
      skipped.append(reason);
    }
  }
  std::string bytes;
  if (!archive->Finish(&bytes, &reason)) return Fail(error, kRoutine, zip_path + ": " + reason);
  CrashPoint("archive-built");
  if (!env->WriteFileAtomic(zip_path, bytes, &reason)) return Fail(error, kRoutine, reason);
  if (!all_added) return Fail(error, kRoutine, "files left out of " + zip_path + ": " + skipped);
  return true;
}

void CKUtil::EnCryptFile(const std::string& sFileName, Err* error) {
  Err err = EncipherFile(sFileName);
  if (err && error) *error = err;
}

std::string CKUtil::DeCryptFile(const std::string& sFileName, Err* error, XmeFailure* why) {
  std::string text;
  Err err = DecipherFile(sFileName, &text, why);
  if (err && error) *error = err;
  return text;
}

}  // namespace larkedi
