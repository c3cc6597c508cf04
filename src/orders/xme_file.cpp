#include "orders/xme_file.h"

#include "platform/bounded_read.h"
#include "platform/env.h"
#include "platform/zip/zip.h"
#include "support/log.h"
#include "support/xml_helpers.h"

namespace larkedi {
namespace {

constexpr int kLevel = 9;

Err Failure(const char* routine, const std::string& description) {
  return Err::Raise(kErrComponent, routine, description);
}

XmeFailure FromRead(ReadFailure why) {
  switch (why) {
    case ReadFailure::kNotFound:
      return XmeFailure::kMissing;
    case ReadFailure::kPermission:
      return XmeFailure::kPermission;
    case ReadFailure::kTooLarge:
      return XmeFailure::kTooLarge;
    case ReadFailure::kFolder:
    case ReadFailure::kNotAFile:
      return XmeFailure::kNotAFile;
    default:
      return XmeFailure::kOther;
  }
}

XmeFailure FromZip(zip::Failure why) {
  switch (why) {
    case zip::Failure::kNotArchive:
      return XmeFailure::kNotArchive;
    case zip::Failure::kTruncated:
      return XmeFailure::kTruncated;
    case zip::Failure::kWrongPassword:
      return XmeFailure::kWrongPassword;
    case zip::Failure::kDamaged:
      return XmeFailure::kDamaged;
    case zip::Failure::kTooLarge:
      return XmeFailure::kTooLarge;
    default:
      return XmeFailure::kOther;
  }
}

// The entry of a stacked design file: the one named after the file, else the first.
int DesignEntry(const zip::Archive& archive, const std::string& name) {
  const int index = archive.FindEntry(name);
  return index >= 0 ? index : 0;
}

}  // namespace

const char* XmeFailureText(XmeFailure why) {
  switch (why) {
    case XmeFailure::kNone:
      return "no error";
    case XmeFailure::kMissing:
      return "no such file";
    case XmeFailure::kPermission:
      return "permission denied";
    case XmeFailure::kNotAFile:
      return "not a file";
    case XmeFailure::kNotArchive:
      return "not an encrypted archive";
    case XmeFailure::kTruncated:
      return "truncated archive";
    case XmeFailure::kWrongPassword:
      return "wrong password";
    case XmeFailure::kDamaged:
      return "damaged archive";
    case XmeFailure::kTooLarge:
      return "too large";
    case XmeFailure::kEmpty:
      return "empty archive";
    case XmeFailure::kOther:
      break;
  }
  return "unreadable";
}

Err EncipherBytes(const std::string& entry_name, std::string plain, std::string* bytes) {
  const char* kRoutine = "EnCryptFile";
  std::string reason, out;
  if (!zip::AesSupported()) {
    return Failure(kRoutine, "this zip library cannot write AES-encrypted entries");
  }
  auto archive = zip::Archive::Create(&reason);
  if (archive) archive->SetPassword(kArchivePassword);
  if (!archive ||
      !archive->AddEntry(entry_name, std::move(plain), kLevel, /*encrypt=*/true, &reason) ||
      !archive->Finish(&out, &reason)) {
    return Failure(kRoutine, entry_name + ": " + reason);
  }
  *bytes = std::move(out);
  return {};
}

Err EncipherFile(const std::string& sFileName) {
  const char* kRoutine = "EnCryptFile";
  Env* env = Env::Default();
  const std::string path = Trim(sFileName);
  std::string content, reason, bytes;
  if (!ReadFileAtMost(path, zip::kMaxArchiveFileBytes, &content, &reason)) {
    return Failure(kRoutine, reason);
  }
  if (auto existing = zip::Archive::Open(content, nullptr)) {
    for (int i = 0; i < existing->EntryCount(); ++i) {
      if (existing->IsEncrypted(i)) {
        return Failure(kRoutine, path + ": the file already is an encrypted archive");
      }
    }
  }
  if (Err err = EncipherBytes(BaseName(path), std::move(content), &bytes)) {
    err.Description = path + ": " + err.Description;
    return err;
  }
  CrashPoint("encrypt-built");
  // The encrypted archive replaces the plain file in one rename.
  if (!env->WriteFileAtomic(path, bytes, &reason)) return Failure(kRoutine, reason);
  return {};
}

Err DecipherFile(const std::string& sFileName, std::string* text, XmeFailure* why) {
  const std::string path = Trim(sFileName);
  text->clear();
  std::string bytes, reason;
  ReadFailure read_failure = ReadFailure::kNone;
  if (!ReadFileAtMost(path, zip::kMaxArchiveFileBytes, &bytes, &reason, &read_failure)) {
    if (why) *why = FromRead(read_failure);
    Err err = Failure("DeCryptFile", reason);
    LogError("Error in DeCryptFile", static_cast<const Err&>(err));
    return err;
  }
  return DecipherBytes(path, std::move(bytes), text, why);
}

Err DecipherBytes(const std::string& path, std::string bytes, std::string* text, XmeFailure* why) {
  const char* kRoutine = "DeCryptFile";
  text->clear();
  Err err;
  XmeFailure cause = XmeFailure::kNone;
  zip::Failure zip_failure = zip::Failure::kNone;
  std::string reason;
  if (auto archive = zip::Archive::Open(std::move(bytes), &reason, &zip_failure); !archive) {
    cause = FromZip(zip_failure);
    err = Failure(kRoutine, path + ": " + reason);
  } else if (archive->EntryCount() == 0) {
    cause = XmeFailure::kEmpty;
    err = Failure(kRoutine, path + ": the archive holds no file");
  } else {
    archive->SetPassword(kArchivePassword);
    if (!archive->ReadEntry(DesignEntry(*archive, BaseName(path)), text, &reason, &zip_failure)) {
      cause = FromZip(zip_failure);
      text->clear();
      err = Failure(kRoutine, path + ": " + reason);
    }
  }
  if (why) *why = cause;
  if (err) LogError("Error in DeCryptFile", static_cast<const Err&>(err));
  return err;
}

namespace {

// The entry `data` from the file `name` goes to: `name`, else "name~2.xme", "name~3.xme",
// ..., the first such name the archive does not hold. Empty when one of those entries holds
// these bytes already.
std::string EntryNameFor(zip::Archive& archive, const std::string& name, const std::string& data) {
  const std::size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos ? name : name.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : name.substr(dot);
  for (int n = 1;; ++n) {
    std::string candidate = n == 1 ? name : stem + "~" + std::to_string(n) + ext;
    const int existing = archive.FindEntry(candidate);
    if (existing < 0) return candidate;
    std::string old;
    std::string ignored;
    if (archive.ReadEntry(existing, &old, &ignored) && old == data) return {};
  }
}

}  // namespace

Err PackFiles(const std::string& folder, const std::vector<std::string>& names,
              const std::string& zip_path, std::vector<std::string>* packed) {
  const char* kRoutine = "ArchiveFolder";
  Env* env = Env::Default();
  packed->clear();
  std::string reason;
  // The previous archive is read whole and written back with the new files; a file that
  // cannot be read as an archive is left alone rather than replaced by a smaller one.
  std::unique_ptr<zip::Archive> archive;
  if (env->Exists(zip_path)) {
    std::string old;
    if (!env->ReadFile(zip_path, &old, &reason)) return Failure(kRoutine, reason);
    archive = zip::Archive::Open(std::move(old), &reason);
    if (!archive) return Failure(kRoutine, zip_path + ": " + reason + "; it was left as it is");
  } else {
    archive = zip::Archive::Create(&reason);
    if (!archive) return Failure(kRoutine, reason);
  }
  archive->SetPassword(kArchivePassword);
  std::vector<std::string> added;
  std::string skipped;
  for (const std::string& name : names) {
    std::string data;
    if (!env->ReadFile(JoinPath(folder, name), &data, &reason)) {
      if (!skipped.empty()) skipped.append("; ");
      skipped.append(reason);
      continue;
    }
    // An entry of the same name is never replaced: a design archived twice, or two copies
    // of one design, keep an entry each. The same bytes archived already (an archiving
    // that stopped before it deleted the file) are not added again.
    const std::string entry = EntryNameFor(*archive, name, data);
    if (entry.empty()) {
      added.push_back(name);
      continue;
    }
    if (archive->AddEntry(entry, std::move(data), kLevel, false, &reason)) {
      added.push_back(name);
    } else {
      if (!skipped.empty()) skipped.append("; ");
      skipped.append(reason);
    }
  }
  std::string bytes;
  if (!archive->Finish(&bytes, &reason)) return Failure(kRoutine, zip_path + ": " + reason);
  CrashPoint("archive-built");
  if (!env->WriteFileAtomic(zip_path, bytes, &reason)) return Failure(kRoutine, reason);
  *packed = std::move(added);
  if (!skipped.empty()) return Failure(kRoutine, "files left out of " + zip_path + ": " + skipped);
  return {};
}

}  // namespace larkedi
