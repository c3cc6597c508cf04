#include "orders/stack_files.h"

#include "orders/xme_file.h"
#include "platform/env.h"
#include "platform/text_encoding.h"
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

Err StoreDesignFile(const std::string& folder, const std::string& name, std::string text) {
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

}  // namespace larkedi
