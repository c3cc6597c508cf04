#include "orders/stack_files.h"

#include <ctime>
#include <functional>

#include "orders/xme_file.h"
#include "platform/env.h"
#include "platform/text_encoding.h"
#include "support/log.h"
#include "support/module.h"
#include "support/strings.h"
#include "support/xml_helpers.h"

namespace larkedi {

bool IsXmeName(std::string_view name) {
  return EndsWithNoCaseAscii(name, ".xme");
}

bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

std::vector<std::string> ListXmeFiles(const std::string& folder) {
  std::vector<std::string> names, out;
  Env* env = Env::Default();
  if (!env->ListDirectory(folder, &names, nullptr)) return out;
  for (auto& n : names) {
    if (!IsXmeName(n)) continue;
    // Only the folder's own files: a link could lead the stack (and archiving, which deletes
    // what it packed) to a file elsewhere.
    const std::string path = JoinPath(folder, n);
    if (env->IsSymbolicLink(path) || env->IsDirectory(path)) continue;
    out.push_back(std::move(n));
  }
  return out;
}

std::string FileFingerprint(std::string_view bytes) {
  return std::to_string(bytes.size()) + ":" + std::to_string(std::hash<std::string_view>{}(bytes));
}

std::string FileFingerprintOnDisk(const std::string& path) {
  std::string bytes;
  if (!Env::Default()->ReadFile(path, &bytes, nullptr)) return {};
  return FileFingerprint(bytes);
}

Err UsableFolder(const std::string& folder, const std::string& what) {
  Env* env = Env::Default();
  const std::string path = Trim(folder);
  if (path.empty()) return Err::Raise(kErrGeneral, "UsableFolder", "no " + what + " is set");
  if (path.front() != '/') {
    return Err::Raise(kErrGeneral, "UsableFolder",
                      "the " + what + " \"" + path + "\" is not an absolute path of this machine");
  }
  if (env->IsDirectory(path)) return {};
  if (env->Exists(path)) {
    return Err::Raise(kErrGeneral, "UsableFolder",
                      "the " + what + " " + path + " is a file, not a folder");
  }
  std::string reason;
  if (!env->CreateDirectories(path, &reason)) {
    return Err::Raise(
        kErrFileAccess, "UsableFolder",
        "the " + what + " " + path + " does not exist and cannot be created: " + reason);
  }
  return {};
}

Err StoreDesignFile(const std::string& folder, const std::string& name, std::string text,
                    std::string* fingerprint) {
  if (!IsPlainFileName(name)) {
    return Err::Raise(kErrGeneral, "StoreDesignFile", "Bad file name: " + name);
  }
  const std::string path = JoinPath(folder, name);
  std::string bytes;
  if (Err err = EncipherBytes(name, XmlFileBytes(text), &bytes)) return err;
  CrashPoint("encrypt-built");
  std::string reason;
  if (!Env::Default()->WriteFileAtomic(path, bytes, &reason)) {
    return Err::Raise(kErrFileAccess, "StoreDesignFile", reason);
  }
  if (fingerprint) *fingerprint = FileFingerprint(bytes);
  return {};
}

std::string DesignFileText(std::string bytes) {
  if (bytes.rfind("<?xml", 0) != 0) return bytes;
  const auto end = bytes.find("?>");
  if (end == std::string::npos) return bytes;
  const std::string decl = bytes.substr(0, end);
  std::string encoding;
  const auto at = decl.find("encoding");
  if (at != std::string::npos) {
    const auto quote = decl.find_first_of("\"'", at);
    if (quote != std::string::npos) {
      const auto close = decl.find(decl[quote], quote + 1);
      if (close != std::string::npos) encoding = decl.substr(quote + 1, close - quote - 1);
    }
  }
  bytes.erase(0, end + 2);
  std::string utf8;
  if (!encoding.empty() && !EncodingIsUtf8(encoding) && ConvertToUtf8(bytes, encoding, &utf8)) {
    return utf8;
  }
  return bytes;
}

namespace {

std::string CurrentYear() {
  const std::time_t now = static_cast<std::time_t>(Env::Default()->Now());
  std::tm local{};
  localtime_r(&now, &local);
  return std::to_string(local.tm_year + 1900);
}

}  // namespace

Err ArchiveXmeFolder(const std::string& folder, std::string* zip_path) {
  Env* env = Env::Default();
  const std::string zip = JoinPath(folder, "archive_" + CurrentYear() + ".zip");
  if (zip_path) *zip_path = zip;
  const std::vector<std::string> files = ListXmeFiles(folder);
  if (files.empty()) return {};
  std::vector<std::string> packed;
  Err err = PackFiles(folder, files, zip, &packed);
  if (err) LogError("ArchiveFolder", static_cast<const Err&>(err));
  // Only what the written archive holds is deleted; the rest stays until an archiving
  // succeeds.
  if (packed.empty()) return err;
  const std::string last_po = FindFileNoCase(folder, "LastPo.xml");
  const std::string keep = JoinPath(folder, "~tmp");
  std::string saved;
  const bool keep_last_po = Module().LogEnabled && !last_po.empty() &&
                            env->ReadFile(last_po, &saved, nullptr) &&
                            env->WriteFileAtomic(keep, saved, nullptr);
  for (const std::string& name : packed) env->RemoveFile(JoinPath(folder, name), nullptr);
  if (keep_last_po) {
    if (!env->Exists(last_po)) env->WriteFileAtomic(last_po, saved, nullptr);
    env->RemoveFile(keep, nullptr);
  }
  return err;
}

}  // namespace larkedi
