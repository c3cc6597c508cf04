#include "platform/zip/zip.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <zip.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace larkedi::zip {
namespace {

std::string ErrorText(zip_error_t* err) {
  std::string text = zip_error_strerror(err);
  return text;
}

std::string ErrorText(int code) {
  zip_error_t err;
  zip_error_init_with_code(&err, code);
  std::string text = zip_error_strerror(&err);
  zip_error_fini(&err);
  return text;
}

void SetFailure(Failure* why, Failure kind) {
  if (why) *why = kind;
}

std::string MegaBytes(std::uint64_t bytes) {
  return std::to_string(bytes / (1024 * 1024)) + " MB";
}

std::string TooLargeText(std::uint64_t limit = kMaxEntryBytes) {
  return "the entry inflates to more than " + MegaBytes(limit) +
         ", the most accepted (a damaged or hostile archive)";
}

// What a libzip error code says about the archive.
Failure FromZipCode(int code) {
  switch (code) {
    case ZIP_ER_WRONGPASSWD:
    case ZIP_ER_NOPASSWD:
      return Failure::kWrongPassword;
    case ZIP_ER_EOF:
    case ZIP_ER_READ:
    case ZIP_ER_SEEK:
      return Failure::kTruncated;
    case ZIP_ER_NOZIP:
      return Failure::kNotArchive;
    case ZIP_ER_CRC:
    case ZIP_ER_ZLIB:
    case ZIP_ER_INCONS:
    case ZIP_ER_COMPRESSED_DATA:
      return Failure::kDamaged;
    default:
      return Failure::kOther;
  }
}

// The end-of-central-directory record of an archive without entries.
std::string EmptyArchive() {
  std::string out("PK\x05\x06", 4);
  out.append(18, '\0');
  return out;
}

}  // namespace

struct Archive::Impl {
  zip_source_t* src = nullptr;  // the in-memory archive; kept alive past zip_close
  zip_t* za = nullptr;

  ~Impl() {
    if (za) zip_discard(za);
    if (src) zip_source_free(src);
  }
};

Archive::Archive(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Archive::~Archive() = default;

std::unique_ptr<Archive> Archive::Create(std::string* error) {
  return Open(EmptyArchive(), error);
}

std::unique_ptr<Archive> Archive::Open(std::string bytes, std::string* error, Failure* why) {
  SetFailure(why, Failure::kNone);
  if (bytes.empty()) {
    if (error) *error = "the file is empty";
    SetFailure(why, Failure::kNotArchive);
    return nullptr;
  }
  // Every zip archive begins with a local entry header or, when empty, with the end record.
  const bool zip_signature =
      bytes.size() >= 4 && bytes[0] == 'P' && bytes[1] == 'K' &&
      ((bytes[2] == '\x03' && bytes[3] == '\x04') || (bytes[2] == '\x05' && bytes[3] == '\x06'));
  // libzip frees the copy with the source.
  void* copy = std::malloc(bytes.size());
  if (!copy) {
    if (error) *error = "out of memory";
    SetFailure(why, Failure::kOther);
    return nullptr;
  }
  std::memcpy(copy, bytes.data(), bytes.size());
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(copy, bytes.size(), 1, &err);
  if (!src) {
    std::free(copy);
    if (error) *error = ErrorText(&err);
    SetFailure(why, Failure::kOther);
    zip_error_fini(&err);
    return nullptr;
  }
  zip_t* za = zip_open_from_source(src, ZIP_CHECKCONS, &err);
  if (!za) {
    Failure kind = FromZipCode(zip_error_code_zip(&err));
    // A file that starts like a zip archive but has no end record was cut short.
    if (!zip_signature) {
      kind = Failure::kNotArchive;
    } else if (kind == Failure::kNotArchive || kind == Failure::kOther) {
      kind = Failure::kTruncated;
    }
    if (error) {
      *error = kind == Failure::kNotArchive ? "not a zip archive"
               : kind == Failure::kTruncated
                   ? "a truncated zip archive (" + ErrorText(&err) + ")"
                   : "not a readable zip archive (" + ErrorText(&err) + ")";
    }
    SetFailure(why, kind);
    zip_error_fini(&err);
    zip_source_free(src);
    return nullptr;
  }
  zip_error_fini(&err);
  zip_source_keep(src);
  auto impl = std::make_unique<Impl>();
  impl->src = src;
  impl->za = za;
  return std::unique_ptr<Archive>(new Archive(std::move(impl)));
}

int Archive::EntryCount() const {
  if (!impl_->za) return 0;
  zip_int64_t n = zip_get_num_entries(impl_->za, 0);
  return n < 0 ? 0 : static_cast<int>(n);
}

std::string Archive::EntryName(int index) const {
  if (!impl_->za || index < 0 || index >= EntryCount()) return {};
  const char* name = zip_get_name(impl_->za, static_cast<zip_uint64_t>(index), 0);
  return name ? name : "";
}

int Archive::FindEntry(const std::string& name) const {
  if (!impl_->za || name.empty()) return -1;
  zip_int64_t i = zip_name_locate(impl_->za, name.c_str(), 0);
  return i < 0 ? -1 : static_cast<int>(i);
}

bool Archive::IsEncrypted(int index) const {
  if (!impl_->za || index < 0 || index >= EntryCount()) return false;
  zip_stat_t st;
  zip_stat_init(&st);
  return zip_stat_index(impl_->za, static_cast<zip_uint64_t>(index), 0, &st) == 0 &&
         (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
}

namespace {

// Reads an open entry to its end, at most `limit` bytes. On failure gives the libzip error
// code (ZIP_ER_MEMORY when the limit was passed) and what was read.
bool ReadAll(zip_file_t* f, std::size_t limit, std::string* out, int* code, std::string* error) {
  char buf[65536];
  while (true) {
    zip_int64_t n = zip_fread(f, buf, sizeof buf);
    if (n < 0) {
      *code = zip_error_code_zip(zip_file_get_error(f));
      if (error) *error = zip_file_strerror(f);
      zip_fclose(f);
      return false;
    }
    if (n == 0) break;
    if (out->size() + static_cast<std::size_t>(n) > limit) {
      *code = ZIP_ER_MEMORY;
      if (error) *error = TooLargeText(limit);
      zip_fclose(f);
      return false;
    }
    out->append(buf, static_cast<std::size_t>(n));
  }
  *code = zip_fclose(f);
  if (*code != 0) {
    if (error) *error = ErrorText(*code);
    return false;
  }
  return true;
}

bool IsAes(zip_uint16_t method) {
  return method == ZIP_EM_AES_128 || method == ZIP_EM_AES_192 || method == ZIP_EM_AES_256;
}

// Deciphers WinZip AES entry data (salt, password check, data, 10-byte authentication
// code) and checks the authentication code over the enciphered data.
bool WinZipAesDecrypt(zip_uint16_t method, const std::string& password, const std::string& raw,
                      std::string* out, std::string* error, Failure* why) {
  const int key_len = method == ZIP_EM_AES_128 ? 16 : method == ZIP_EM_AES_192 ? 24 : 32;
  const std::size_t salt_len = static_cast<std::size_t>(key_len / 2);
  if (raw.size() < salt_len + 2 + 10) {
    if (error) *error = "the entry's data is truncated";
    SetFailure(why, Failure::kTruncated);
    return false;
  }
  unsigned char derived[2 * 32 + 2];
  if (PKCS5_PBKDF2_HMAC_SHA1(password.data(), static_cast<int>(password.size()),
                             reinterpret_cast<const unsigned char*>(raw.data()),
                             static_cast<int>(salt_len), 1000, 2 * key_len + 2, derived) != 1) {
    if (error) *error = "cannot derive the key";
    SetFailure(why, Failure::kOther);
    return false;
  }
  if (std::memcmp(derived + 2 * key_len, raw.data() + salt_len, 2) != 0) {
    if (error) *error = "Wrong password provided";
    SetFailure(why, Failure::kWrongPassword);
    return false;
  }
  const std::size_t data_start = salt_len + 2;
  const std::size_t data_len = raw.size() - data_start - 10;
  const auto* cipher = reinterpret_cast<const unsigned char*>(raw.data() + data_start);
  unsigned char mac[EVP_MAX_MD_SIZE];
  unsigned int mac_len = 0;
  if (!HMAC(EVP_sha1(), derived + key_len, key_len, cipher, data_len, mac, &mac_len) ||
      std::memcmp(mac, raw.data() + data_start + data_len, 10) != 0) {
    if (error) *error = "the entry's data failed its authentication check (damaged)";
    SetFailure(why, Failure::kDamaged);
    return false;
  }
  // Counter mode with a little-endian block counter starting at 1.
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const EVP_CIPHER* ecb = key_len == 16   ? EVP_aes_128_ecb()
                          : key_len == 24 ? EVP_aes_192_ecb()
                                          : EVP_aes_256_ecb();
  bool ok = ctx && EVP_EncryptInit_ex(ctx, ecb, nullptr, derived, nullptr) == 1 &&
            EVP_CIPHER_CTX_set_padding(ctx, 0) == 1;
  std::string plain(data_len, '\0');
  unsigned char counter[16] = {0};
  unsigned char stream[16];
  for (std::size_t pos = 0; ok && pos < data_len; pos += 16) {
    for (unsigned char& b : counter) {
      if (++b != 0) break;
    }
    int n = 0;
    ok = EVP_EncryptUpdate(ctx, stream, &n, counter, 16) == 1 && n == 16;
    for (std::size_t i = 0; ok && i < 16 && pos + i < data_len; ++i) {
      plain[pos + i] = static_cast<char>(cipher[pos + i] ^ stream[i]);
    }
  }
  EVP_CIPHER_CTX_free(ctx);
  if (!ok) {
    if (error) *error = "AES decryption failed";
    SetFailure(why, Failure::kOther);
    return false;
  }
  *out = std::move(plain);
  return true;
}

}  // namespace

bool Archive::ReadEntry(int index, std::string* data, std::string* error, Failure* why) {
  SetFailure(why, Failure::kNone);
  if (!impl_->za || index < 0 || index >= EntryCount()) {
    if (error) *error = "the archive has no entry " + std::to_string(index);
    SetFailure(why, Failure::kOther);
    return false;
  }
  const auto idx = static_cast<zip_uint64_t>(index);
  const char* password = password_.empty() ? nullptr : password_.c_str();
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_stat_index(impl_->za, idx, 0, &st) != 0) {
    if (error) *error = zip_strerror(impl_->za);
    SetFailure(why, FromZipCode(zip_error_code_zip(zip_get_error(impl_->za))));
    return false;
  }
  // The recorded size refuses a bomb before anything is inflated; the reads below stop at
  // the same limit when the recorded size lies.
  if ((st.valid & ZIP_STAT_SIZE) && st.size > kMaxEntryBytes) {
    if (error) *error = TooLargeText();
    SetFailure(why, Failure::kTooLarge);
    return false;
  }
  // WinZip AES entries of the second kind (AE-2, what 7-Zip writes) carry no CRC: their
  // authentication code protects the data instead. This libzip still compares the CRC
  // field (0) with the data's, so such entries are read raw and deciphered here.
  const bool ae2 = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && IsAes(st.encryption_method) &&
                   (st.valid & ZIP_STAT_CRC) && st.crc == 0 && (st.valid & ZIP_STAT_SIZE) &&
                   st.size > 0;
  // An entry this libzip cannot decipher or inflate is refused here: opening it fails
  // anyway, and that failure path of libzip leaks the entry's source layers.
  const bool encrypted =
      (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
  if (!ae2 && ((encrypted && !zip_encryption_method_supported(st.encryption_method, 0)) ||
               ((st.valid & ZIP_STAT_COMP_METHOD) &&
                !zip_compression_method_supported(st.comp_method, 0)))) {
    if (error) {
      *error = encrypted && !zip_encryption_method_supported(st.encryption_method, 0)
                   ? "the entry's encryption method is not supported"
                   : "the entry's compression method is not supported";
    }
    SetFailure(why, Failure::kOther);
    return false;
  }
  zip_file_t* f = ae2 ? zip_fopen_index(impl_->za, idx, ZIP_FL_ENCRYPTED)
                      : zip_fopen_index_encrypted(impl_->za, idx, 0, password);
  if (!f) {
    const int code = zip_error_code_zip(zip_get_error(impl_->za));
    if (error) *error = zip_strerror(impl_->za);
    SetFailure(why, FromZipCode(code));
    return false;
  }
  std::string out;
  int code = 0;
  if (!ae2) {
    if (!ReadAll(f, kMaxEntryBytes, &out, &code, error)) {
      SetFailure(why, code == ZIP_ER_MEMORY ? Failure::kTooLarge : FromZipCode(code));
      return false;
    }
    *data = std::move(out);
    return true;
  }
  std::string raw, plain;
  // The raw bytes may still meet the CRC check; the authentication code is checked below.
  // The enciphered data is never larger than the archive, which was read within its limit.
  if (!ReadAll(f, kMaxArchiveFileBytes, &raw, &code, error) &&
      !(code == ZIP_ER_CRC && raw.size() == st.comp_size)) {
    SetFailure(why, code == ZIP_ER_MEMORY ? Failure::kTooLarge : FromZipCode(code));
    return false;
  }
  if (password_.empty()) {
    if (error) *error = "No password provided";
    SetFailure(why, Failure::kWrongPassword);
    return false;
  }
  if (!WinZipAesDecrypt(st.encryption_method, password_, raw, &plain, error, why)) return false;
  if (st.comp_method == ZIP_CM_STORE) {
    out = std::move(plain);
  } else if (st.comp_method == ZIP_CM_DEFLATE) {
    if (!RawInflate(plain, &out, error, kMaxEntryBytes, why)) return false;
  } else {
    if (error) *error = "the entry's compression method is not supported";
    SetFailure(why, Failure::kOther);
    return false;
  }
  if (out.size() != st.size) {
    if (error) *error = "the entry's data does not have its recorded size";
    SetFailure(why, Failure::kDamaged);
    return false;
  }
  *data = std::move(out);
  return true;
}

bool Archive::AddEntry(const std::string& name, std::string data, int level, bool encrypt,
                       std::string* error) {
  if (!impl_->za) {
    if (error) *error = "the archive is closed";
    return false;
  }
  if (name.empty()) {
    if (error) *error = "an entry needs a name";
    return false;
  }
  void* copy = nullptr;
  if (!data.empty()) {
    copy = std::malloc(data.size());
    if (!copy) {
      if (error) *error = "out of memory";
      return false;
    }
    std::memcpy(copy, data.data(), data.size());
  }
  zip_source_t* src = zip_source_buffer(impl_->za, copy, data.size(), copy ? 1 : 0);
  if (!src) {
    std::free(copy);
    if (error) *error = zip_strerror(impl_->za);
    return false;
  }
  zip_int64_t idx = zip_file_add(impl_->za, name.c_str(), src, ZIP_FL_OVERWRITE | ZIP_FL_ENC_UTF_8);
  if (idx < 0) {
    zip_source_free(src);
    if (error) *error = zip_strerror(impl_->za);
    return false;
  }
  const auto index = static_cast<zip_uint64_t>(idx);
  if (zip_set_file_compression(impl_->za, index, ZIP_CM_DEFLATE,
                               static_cast<zip_uint32_t>(level)) != 0) {
    if (error) *error = zip_strerror(impl_->za);
    return false;
  }
  if (encrypt) {
    if (password_.empty()) {
      if (error) *error = "no password was set for encryption";
      return false;
    }
    if (zip_file_set_encryption(impl_->za, index, ZIP_EM_AES_128, password_.c_str()) != 0) {
      if (error) *error = zip_strerror(impl_->za);
      return false;
    }
  }
  return true;
}

bool Archive::Finish(std::string* bytes, std::string* error) {
  if (!impl_->za) {
    if (error) *error = "the archive is closed";
    return false;
  }
  const bool empty = EntryCount() == 0;
  if (zip_close(impl_->za) != 0) {
    if (error) *error = zip_strerror(impl_->za);
    return false;  // Impl discards the archive
  }
  impl_->za = nullptr;
  if (empty) {
    *bytes = EmptyArchive();
    return true;
  }
  zip_stat_t st;
  zip_stat_init(&st);
  if (zip_source_stat(impl_->src, &st) != 0 || zip_source_open(impl_->src) != 0) {
    if (error) *error = ErrorText(zip_source_error(impl_->src));
    return false;
  }
  std::string out;
  out.resize(static_cast<std::size_t>(st.size));
  zip_int64_t n = zip_source_read(impl_->src, out.data(), out.size());
  zip_source_close(impl_->src);
  if (n < 0 || static_cast<zip_uint64_t>(n) != st.size) {
    if (error) *error = "cannot read the archive back from memory";
    return false;
  }
  *bytes = std::move(out);
  return true;
}

bool AesSupported() {
  return zip_encryption_method_supported(ZIP_EM_AES_128, 1) != 0;
}

bool RawDeflate(std::string_view data, int level, std::string* out, std::string* error) {
  z_stream zs{};
  if (deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    if (error) *error = "zlib cannot start deflate";
    return false;
  }
  std::string result;
  result.resize(deflateBound(&zs, static_cast<uLong>(data.size())));
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  zs.next_out = reinterpret_cast<Bytef*>(result.data());
  zs.avail_out = static_cast<uInt>(result.size());
  int rc = deflate(&zs, Z_FINISH);
  result.resize(zs.total_out);
  deflateEnd(&zs);
  if (rc != Z_STREAM_END) {
    if (error) *error = "zlib deflate failed";
    return false;
  }
  *out = std::move(result);
  return true;
}

bool RawInflate(std::string_view data, std::string* out, std::string* error, std::size_t limit,
                Failure* why) {
  SetFailure(why, Failure::kNone);
  z_stream zs{};
  if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) {
    if (error) *error = "zlib cannot start inflate";
    SetFailure(why, Failure::kOther);
    return false;
  }
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  zs.avail_in = static_cast<uInt>(data.size());
  std::string result;
  char buf[65536];
  int rc = Z_OK;
  while (rc == Z_OK) {
    zs.next_out = reinterpret_cast<Bytef*>(buf);
    zs.avail_out = sizeof buf;
    rc = inflate(&zs, Z_NO_FLUSH);
    const std::size_t produced = sizeof buf - zs.avail_out;
    if (result.size() + produced > limit) {
      inflateEnd(&zs);
      if (error) *error = TooLargeText(limit);
      SetFailure(why, Failure::kTooLarge);
      return false;
    }
    result.append(buf, produced);
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;  // input ended before the stream did
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) {
    if (error)
      *error = rc == Z_DATA_ERROR ? "the compressed data is damaged"
                                  : "the compressed data is incomplete";
    SetFailure(why, rc == Z_DATA_ERROR ? Failure::kDamaged : Failure::kTruncated);
    return false;
  }
  *out = std::move(result);
  return true;
}

std::string Base64Encode(std::string_view data) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(data[i]) << 16 |
                       static_cast<unsigned char>(data[i + 1]) << 8 |
                       static_cast<unsigned char>(data[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  const std::size_t rest = data.size() - i;
  if (rest > 0) {
    unsigned v = static_cast<unsigned char>(data[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(data[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[(v >> 12) & 63];
    out += rest == 2 ? kAlphabet[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

bool Base64Decode(std::string_view text, std::string* out) {
  std::string result;
  result.reserve(text.size() / 4 * 3);
  unsigned v = 0;
  int bits = 0;
  int pads = 0;
  std::size_t symbols = 0;
  for (char ch : text) {
    if (ch == ' ' || ch == '\t' || ch == '\r' || ch == '\n') continue;
    int d;
    if (ch >= 'A' && ch <= 'Z')
      d = ch - 'A';
    else if (ch >= 'a' && ch <= 'z')
      d = ch - 'a' + 26;
    else if (ch >= '0' && ch <= '9')
      d = ch - '0' + 52;
    else if (ch == '+')
      d = 62;
    else if (ch == '/')
      d = 63;
    else if (ch == '=') {
      ++pads;
      ++symbols;
      continue;
    } else {
      return false;
    }
    if (pads > 0) return false;  // data after padding
    ++symbols;
    v = (v << 6) | static_cast<unsigned>(d);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      result += static_cast<char>((v >> bits) & 0xFF);
    }
  }
  if (pads > 2 || (pads > 0 && symbols % 4 != 0) || symbols % 4 == 1) return false;
  *out = std::move(result);
  return true;
}

}  // namespace larkedi::zip
