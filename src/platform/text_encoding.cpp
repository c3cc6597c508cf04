#include "platform/text_encoding.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace larkedi {
namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

bool EncodingIsUtf8(std::string_view encoding) {
  std::string e = Lower(encoding);
  return e == "utf-8" || e == "utf8";
}

bool ConvertToUtf8(std::string_view in, const std::string& encoding, std::string* out) {
  if (EncodingIsUtf8(encoding)) {
    *out = std::string(in);
    return true;
  }
  Iconv cd("UTF-8", encoding.c_str());
  if (!cd.ok()) return false;
  std::string result;
  result.reserve(in.size() * 2);
  char* src = const_cast<char*>(in.data());
  std::size_t src_left = in.size();
  std::vector<char> buf(8192);
  while (src_left > 0) {
    char* dst = buf.data();
    std::size_t dst_left = buf.size();
    std::size_t r = iconv(cd.get(), &src, &src_left, &dst, &dst_left);
    result.append(buf.data(), buf.size() - dst_left);
    if (r == static_cast<std::size_t>(-1) && errno != E2BIG) return false;
  }
  *out = std::move(result);
  return true;
}

namespace {

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0;
}

bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The XML declaration at the start of an ASCII-compatible text: the positions of its
// encoding value (without quotes), or npos when there is no declaration or no encoding.
struct EncodingDecl {
  std::size_t value_start = std::string_view::npos;
  std::size_t value_length = 0;
};

EncodingDecl FindDeclaredEncoding(std::string_view text) {
  EncodingDecl found;
  if (!StartsWith(text, "<?xml") || text.size() < 6 || !IsXmlSpace(text[5])) return found;
  const std::size_t end = text.find("?>");
  if (end == std::string_view::npos) return found;
  const std::string_view decl = text.substr(0, end);
  std::size_t pos = 5;
  while (true) {
    pos = decl.find("encoding", pos);
    if (pos == std::string_view::npos) return found;
    if (!IsXmlSpace(decl[pos - 1])) {  // part of another name
      pos += 8;
      continue;
    }
    std::size_t at = pos + 8;
    while (at < decl.size() && IsXmlSpace(decl[at])) ++at;
    if (at >= decl.size() || decl[at] != '=') return found;
    ++at;
    while (at < decl.size() && IsXmlSpace(decl[at])) ++at;
    if (at >= decl.size() || (decl[at] != '"' && decl[at] != '\'')) return found;
    const char quote = decl[at];
    const std::size_t close = decl.find(quote, at + 1);
    if (close == std::string_view::npos) return found;
    found.value_start = at + 1;
    found.value_length = close - at - 1;
    return found;
  }
}

// Offset of the first byte that is not part of valid UTF-8, or npos.
std::size_t InvalidUtf8At(std::string_view text) {
  std::size_t pos = 0;
  while (pos < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    if (c < 0x80) {
      ++pos;
      continue;
    }
    const std::size_t start = pos;
    const char32_t cp = NextCodePoint(text, pos);
    const std::size_t length = pos - start;
    const bool overlong =
        (length == 2 && cp < 0x80) || (length == 3 && cp < 0x800) || (length == 4 && cp < 0x10000);
    if ((cp == 0xFFFD && length == 1) || overlong || cp > 0x10FFFF ||
        (cp >= 0xD800 && cp <= 0xDFFF)) {
      return start;
    }
  }
  return std::string_view::npos;
}

}  // namespace

bool DecodeXmlBytes(std::string_view bytes, std::string* utf8, std::string* error) {
  auto fail = [&](const std::string& reason) {
    if (error) *error = reason;
    return false;
  };
  // The byte order mark decides; without one, the first characters tell UTF-16 and UTF-32
  // from the ASCII-compatible encodings, whose declaration then names the encoding.
  struct Mark {
    std::string_view bytes;
    const char* encoding;
    bool keep;  // no mark: the bytes are the start of the text
  };
  static const Mark kMarks[] = {
      {std::string_view("\x00\x00\xFE\xFF", 4), "UTF-32BE", false},
      {std::string_view("\xFF\xFE\x00\x00", 4), "UTF-32LE", false},
      {std::string_view("\xEF\xBB\xBF", 3), "UTF-8", false},
      {std::string_view("\xFE\xFF", 2), "UTF-16BE", false},
      {std::string_view("\xFF\xFE", 2), "UTF-16LE", false},
      {std::string_view("\x00\x00\x00<", 4), "UTF-32BE", true},
      {std::string_view("<\x00\x00\x00", 4), "UTF-32LE", true},
      {std::string_view("\x00<\x00?", 4), "UTF-16BE", true},
      {std::string_view("<\x00?\x00", 4), "UTF-16LE", true},
  };
  std::string text;
  const Mark* mark = nullptr;
  for (const Mark& m : kMarks) {
    if (StartsWith(bytes, m.bytes)) {
      mark = &m;
      break;
    }
  }
  if (mark) {
    const std::string_view body = mark->keep ? bytes : bytes.substr(mark->bytes.size());
    if (EncodingIsUtf8(mark->encoding)) {
      text.assign(body);
    } else if (!ConvertToUtf8(body, mark->encoding, &text)) {
      return fail(std::string("the text is not valid ") + mark->encoding);
    }
  } else {
    const EncodingDecl decl = FindDeclaredEncoding(bytes);
    const std::string named = decl.value_start == std::string_view::npos
                                  ? std::string()
                                  : std::string(bytes.substr(decl.value_start, decl.value_length));
    if (named.empty() || EncodingIsUtf8(named)) {
      text.assign(bytes);
    } else {
      Iconv probe("UTF-8", named.c_str());
      if (!probe.ok()) return fail("unknown encoding \"" + named + "\" in the XML declaration");
      if (!ConvertToUtf8(bytes, named, &text)) {
        return fail("the text is not valid " + named + ", the encoding its declaration names");
      }
    }
  }
  if (const std::size_t bad = InvalidUtf8At(text); bad != std::string::npos) {
    return fail("the text is not valid UTF-8 (byte " + std::to_string(bad + 1) +
                ") and names no other encoding");
  }
  // The declaration now tells the truth: UTF-8.
  const EncodingDecl decl = FindDeclaredEncoding(text);
  if (decl.value_start != std::string_view::npos) {
    text.replace(decl.value_start, decl.value_length, "UTF-8");
  }
  *utf8 = std::move(text);
  return true;
}

char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
  unsigned char c = static_cast<unsigned char>(s[pos]);
  int len = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (len == 0 || pos + static_cast<std::size_t>(len) > s.size()) {
    ++pos;
    return 0xFFFD;
  }
  char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
  for (int i = 1; i < len; ++i) {
    unsigned char cc = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(i)]);
    if ((cc >> 6) != 2) {
      ++pos;
      return 0xFFFD;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  pos += static_cast<std::size_t>(len);
  return cp;
}

void AppendUtf8(char32_t cp, std::string& out) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string EncodeXmlMarkup(std::string_view utf8, const std::string& encoding) {
  const bool to_utf8 = EncodingIsUtf8(encoding);
  Iconv cd(encoding.c_str(), "UTF-8");
  const bool convertible = to_utf8 || cd.ok();

  enum class Where { Markup, CData, Comment, PI };
  Where where = Where::Markup;
  std::string out;
  out.reserve(utf8.size() + 64);
  std::size_t pos = 0;
  while (pos < utf8.size()) {
    // Track the context so an unrepresentable character is written in a legal way.
    std::string_view rest = utf8.substr(pos);
    if (where == Where::Markup) {
      if (rest.starts_with("<![CDATA[")) {
        where = Where::CData;
        out.append("<![CDATA[");
        pos += 9;
        continue;
      }
      if (rest.starts_with("<!--")) {
        where = Where::Comment;
        out.append("<!--");
        pos += 4;
        continue;
      }
      if (rest.starts_with("<?")) {
        where = Where::PI;
        out.append("<?");
        pos += 2;
        continue;
      }
    } else if ((where == Where::CData && rest.starts_with("]]>")) ||
               (where == Where::Comment && rest.starts_with("-->")) ||
               (where == Where::PI && rest.starts_with("?>"))) {
      std::size_t n = where == Where::PI ? 2 : 3;
      out.append(rest.substr(0, n));
      pos += n;
      where = Where::Markup;
      continue;
    }
    unsigned char c = static_cast<unsigned char>(utf8[pos]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++pos;
      continue;
    }
    std::size_t start = pos;
    char32_t cp = NextCodePoint(utf8, pos);
    std::string_view seq = utf8.substr(start, pos - start);
    if (to_utf8 && cp != 0xFFFD) {
      out.append(seq);
      continue;
    }
    if (convertible && cp != 0xFFFD) {
      char buf[16];
      char* src = const_cast<char*>(seq.data());
      std::size_t src_left = seq.size();
      char* dst = buf;
      std::size_t dst_left = sizeof buf;
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      if (iconv(cd.get(), &src, &src_left, &dst, &dst_left) != static_cast<std::size_t>(-1) &&
          src_left == 0) {
        out.append(buf, sizeof buf - dst_left);
        continue;
      }
    }
    std::string ref = "&#" + std::to_string(static_cast<unsigned long>(cp)) + ";";
    switch (where) {
      case Where::Markup:
        out += ref;
        break;
      case Where::CData:
        out += "]]>" + ref + "<![CDATA[";
        break;
      default:
        out += '?';
    }
  }
  return out;
}

}  // namespace larkedi
