// Zip archives, raw deflate data and Base64, over libzip and zlib.
//
// Archives are read and built in memory: callers read the file through Env and write the
// finished archive with Env::WriteFileAtomic, so an archive on disk is always whole.
// Encrypted entries use WinZip AES (128-bit key), which 7-Zip and other tools read.
// Nothing here throws; failures come back as false with a reason.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace larkedi::zip {

/// Largest size an entry may have once inflated. Stacked designs and attachments are far
/// smaller; a "zip bomb" (a small archive that inflates to gigabytes) is refused from the
/// entry's recorded size before anything is inflated, and, when the recorded size lies,
/// inflating stops as soon as this much has come out.
inline constexpr std::size_t kMaxEntryBytes = 128u * 1024 * 1024;
/// Largest archive file read into memory (the yearly archive of sent designs is the
/// biggest the module reads).
inline constexpr std::size_t kMaxArchiveFileBytes = 256u * 1024 * 1024;

/// Why an archive or an entry could not be read.
enum class Failure {
  kNone,
  kNotArchive,     // the bytes are not a zip archive at all
  kTruncated,      // a zip archive cut short
  kWrongPassword,  // the entry is encrypted under another password (or none was given)
  kDamaged,        // the archive's structure or an entry's data is corrupt
  kTooLarge,       // an entry inflates beyond kMaxEntryBytes
  kOther,          // anything else (unsupported method, out of memory, bad index)
};

/// One zip archive held in memory.
class Archive {
 public:
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  /// A new archive without entries.
  static std::unique_ptr<Archive> Create(std::string* error);
  /// Opens the bytes of an existing archive. Null with a reason when they are not a zip
  /// archive (empty, truncated, damaged).
  static std::unique_ptr<Archive> Open(std::string bytes, std::string* error,
                                       Failure* why = nullptr);

  /// Password for reading encrypted entries and for encrypting entries added with
  /// `encrypt` set.
  void SetPassword(const std::string& password) { password_ = password; }

  int EntryCount() const;
  /// Name of the entry at `index` as stored (may hold folders or ".." when the archive was
  /// made elsewhere); empty when out of range.
  std::string EntryName(int index) const;
  /// Index of the entry of that exact name; -1 when there is none.
  int FindEntry(const std::string& name) const;
  /// True when the entry at `index` is encrypted.
  bool IsEncrypted(int index) const;
  /// Decompresses (and deciphers) an entry. False with a reason on a wrong password,
  /// damaged data, a bad index or an entry larger than kMaxEntryBytes.
  bool ReadEntry(int index, std::string* data, std::string* error, Failure* why = nullptr);

  /// Adds an entry (replacing one of the same name), deflated at `level` (0-9); with
  /// `encrypt`, enciphered with WinZip AES-128 under the password.
  bool AddEntry(const std::string& name, std::string data, int level, bool encrypt,
                std::string* error);

  /// Writes the archive with every change and gives its bytes. The object cannot be used
  /// afterwards. An archive without entries is the 22-byte empty zip archive.
  bool Finish(std::string* bytes, std::string* error);

 private:
  struct Impl;
  explicit Archive(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
  std::string password_;
};

/// True when this libzip can write WinZip AES-128 entries.
bool AesSupported();

/// `data` compressed with deflate at `level`, as a zip entry stores it: raw deflate data,
/// no zlib or gzip header. False only when zlib fails.
bool RawDeflate(std::string_view data, int level, std::string* out, std::string* error);
/// Inflates raw deflate data. False with a reason when the data is damaged or incomplete,
/// or would inflate beyond `limit` bytes (inflating stops there).
bool RawInflate(std::string_view data, std::string* out, std::string* error,
                std::size_t limit = kMaxEntryBytes, Failure* why = nullptr);

/// Base64 of the bytes, standard alphabet with padding, no line breaks.
std::string Base64Encode(std::string_view data);
/// Decodes Base64 text; white space (line breaks of wrapped text) is skipped. False when
/// another character outside the alphabet occurs or the length is impossible.
bool Base64Decode(std::string_view text, std::string* out);

}  // namespace larkedi::zip
