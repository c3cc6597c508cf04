#include "platform/zip/zip.h"

#include <zip.h>
#include <zlib.h>

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

std::unique_ptr<Archive> Archive::Open(std::string bytes, std::string* error) {
  if (bytes.empty()) {
    if (error) *error = "the file is empty";
    return nullptr;
  }
  // libzip frees the copy with the source.
  void* copy = std::malloc(bytes.size());
  if (!copy) {
    if (error) *error = "out of memory";
    return nullptr;
  }
  std::memcpy(copy, bytes.data(), bytes.size());
  zip_error_t err;
  zip_error_init(&err);
  zip_source_t* src = zip_source_buffer_create(copy, bytes.size(), 1, &err);
  if (!src) {
    std::free(copy);
    if (error) *error = ErrorText(&err);
    zip_error_fini(&err);
    return nullptr;
  }
  zip_t* za = zip_open_from_source(src, ZIP_CHECKCONS, &err);
  if (!za) {
    if (error) *error = "not a readable zip archive (" + ErrorText(&err) + ")";
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

bool Archive::ReadEntry(int index, std::string* data, std::string* error) {
  if (!impl_->za || index < 0 || index >= EntryCount()) {
    if (error) *error = "the archive has no entry " + std::to_string(index);
    return false;
  }
  zip_file_t* f = zip_fopen_index_encrypted(impl_->za, static_cast<zip_uint64_t>(index), 0,
                                            password_.empty() ? nullptr : password_.c_str());
  if (!f) {
    if (error) *error = zip_strerror(impl_->za);
    return false;
  }
  std::string out;
  char buf[65536];
  while (true) {
    zip_int64_t n = zip_fread(f, buf, sizeof buf);
    if (n < 0) {
      if (error) *error = zip_file_strerror(f);
      zip_fclose(f);
      return false;
    }
    if (n == 0) break;
    out.append(buf, static_cast<std::size_t>(n));
  }
  int rc = zip_fclose(f);
  if (rc != 0) {
    if (error) *error = ErrorText(rc);
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

bool RawInflate(std::string_view data, std::string* out, std::string* error) {
  z_stream zs{};
  if (inflateInit2(&zs, -MAX_WBITS) != Z_OK) {
    if (error) *error = "zlib cannot start inflate";
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
    result.append(buf, sizeof buf - zs.avail_out);
    if (rc == Z_BUF_ERROR && zs.avail_in == 0) break;  // input ended before the stream did
  }
  inflateEnd(&zs);
  if (rc != Z_STREAM_END) {
    if (error)
      *error = rc == Z_DATA_ERROR ? "the compressed data is damaged"
                                  : "the compressed data is incomplete";
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
