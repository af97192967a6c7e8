// Small text helpers and locale-independent number conversion.
//
// Helpers that write into a caller's buffer take its capacity and fail with
// code 10 rather than write past it. Texts handed out (StrDup, SYS_StrRep)
// are tracked copies the receiver releases.
#include "framework/strings.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>

#include "framework/log.h"
#include "framework/memory.h"

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

char *StrDup(const char *text, const char *file, int32_t line) {
  if (!text) return nullptr;
  char tag[83];
  snprintf(tag, sizeof tag, "StrDup: %s", text);
  size_t n = strlen(text);
  auto *copy = static_cast<char *>(SYS_MemGet(n + 1, file, line, tag));
  if (copy) memcpy(copy, text, n + 1);
  return copy;
}

char *StrDupAbsolute(const char *name, const char *file, int32_t line) {
  if (!name) return nullptr;
  char cwd[4096];
  if (name[0] == '/' || !getcwd(cwd, sizeof cwd)) return StrDup(name, file, line);
  std::string full = std::string(cwd) + "/" + name;
  return StrDup(full.c_str(), file, line);
}

char *SYS_StrTrimLeft(char *text) {
  if (!text) return nullptr;
  size_t skip = 0;
  while (text[skip] == ' ') ++skip;
  if (skip) memmove(text, text + skip, strlen(text + skip) + 1);
  return text;
}

char *SYS_StrTrim(char *text) {
  if (!SYS_StrTrimLeft(text)) return nullptr;
  size_t n = strlen(text);
  while (n > 0 && text[n - 1] == ' ') text[--n] = 0;
  return text;
}

char *SYS_StrReplaceChar(char *text, char from, char to) {
  if (!text) return nullptr;
  for (char *p = text; *p; ++p)
    if (*p == from) *p = to;
  return text;
}

uint32_t SYS_StrCountChar(const char *text, char c) {
  uint32_t count = 0;
  if (!text) return 0;
  for (; *text; ++text)
    if (*text == c) ++count;
  return count;
}

char *SYS_StrField(const char *source, char *dest, size_t capacity, char separator, int32_t k) {
  SYS_ErrorClear();
  if (!source || !dest || separator == 0 || capacity == 0) {
    if (dest && capacity == 0) SYS_ErrorSet(10);
    return nullptr;
  }
  // Source and destination may be the same buffer.
  std::string src(source), out;
  int32_t seen = 0;
  for (size_t i = 0; i < src.size(); ++i) {
    char c = src[i];
    if (c == separator)
      ++seen;
    else if (seen >= k)
      out += c;
    if (seen >= k && i + 1 < src.size() && src[i + 1] == separator) break;
  }
  if (out.size() + 1 > capacity) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  memcpy(dest, out.c_str(), out.size() + 1);
  return dest;
}

int32_t SYS_StrFieldInt(const char *text, char separator, int32_t k) {
  if (!text) return 0;
  std::string buf(strlen(text) + 1, '\0');
  if (!SYS_StrField(text, buf.data(), buf.size(), separator, k)) return 0;
  return SYS_StrToInt(buf.c_str());
}

uint32_t SYS_StrFieldUInt(const char *text, char separator, int32_t k) {
  if (!text) return 0;
  std::string buf(strlen(text) + 1, '\0');
  if (!SYS_StrField(text, buf.data(), buf.size(), separator, k)) return 0;
  return SYS_StrToUInt(buf.c_str());
}

float SYS_StrFieldFloat(const char *text, char separator, int32_t k) {
  if (!text) return 0;
  std::string buf(strlen(text) + 1, '\0');
  if (!SYS_StrField(text, buf.data(), buf.size(), separator, k)) return 0;
  return static_cast<float>(SYS_StrToReal(buf.c_str()));
}

const char *SYS_StrUrlEncode(const char *source, char *dest, size_t capacity) {
  SYS_ErrorClear();
  if (!source) return nullptr;
  if (!*source) return source;
  size_t n = strlen(source);
  if (!dest || capacity < 3 * n + 1) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  static const char kHex[] = "0123456789ABCDEF";
  char *o = dest;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(source); *p; ++p) {
    unsigned char c = *p;
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.';
    if (plain) {
      *o++ = static_cast<char>(c);
    } else {
      *o++ = '%';
      *o++ = kHex[c >> 4];
      *o++ = kHex[c & 15];
    }
  }
  *o = 0;
  return dest;
}

const char *SYS_StrUrlDecode(const char *source, char *dest, size_t capacity) {
  SYS_ErrorClear();
  if (!source) return nullptr;
  if (!*source) return source;
  size_t n = strlen(source);
  if (!dest || capacity < n + 1) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  char *o = dest;
  for (size_t i = 0; i < n; ++i) {
    // Only a complete escape of two upper-case hexadecimal digits decodes;
    // anything else is copied as it stands.
    if (source[i] == '%' && i + 2 < n + 1 && source[i + 1] && source[i + 2]) {
      int hi = HexValue(source[i + 1]), lo = HexValue(source[i + 2]);
      if (hi >= 0 && lo >= 0) {
        *o++ = static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    *o++ = source[i];
  }
  *o = 0;
  return dest;
}

char *SYS_StrRep(const char *text, const char *search, const char *replacement) {
  SYS_ErrorClear();
  if (!text || !search || !replacement || !*search) {
    SYS_ErrorSet(10);
    return nullptr;
  }
  std::string_view t(text), s(search), r(replacement);
  std::string out;
  size_t pos = 0;
  while (pos < t.size()) {
    if (t.compare(pos, s.size(), s) == 0) {
      out += r;
      pos += s.size();
    } else {
      out += t[pos++];
    }
  }
  auto *buf = static_cast<char *>(SYS_MemGet(out.size() + 1, __FILE__, __LINE__, "SYS_StrRep: new buffer"));
  if (!buf) {
    SYS_ErrorSet(5);
    return nullptr;
  }
  memcpy(buf, out.c_str(), out.size() + 1);
  return buf;
}

char *SYS_StrLower(char *text) {
  if (!text) return nullptr;
  for (char *p = text; *p; ++p)
    if (*p >= 'A' && *p <= 'Z') *p = static_cast<char>(*p - 'A' + 'a');
  return text;
}

char *SYS_StrUpper(char *text) {
  if (!text) return nullptr;
  for (char *p = text; *p; ++p)
    if (*p >= 'a' && *p <= 'z') *p = static_cast<char>(*p - 'a' + 'A');
  return text;
}

int32_t SYS_StrToInt(const char *text) {
  if (!text) return 0;
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  int64_t v = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    v = v * 10 + (*text - '0');
    if (v > 2147483648LL) v = 2147483648LL;  // saturate, never overflow
  }
  if (negative) v = -v;
  if (v > INT32_MAX) v = INT32_MAX;
  return static_cast<int32_t>(v);
}

uint32_t SYS_StrToUInt(const char *text) {
  if (!text) return 0;
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  uint64_t v = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    v = v * 10 + static_cast<uint64_t>(*text - '0');
    if (v > UINT32_MAX) v = UINT32_MAX;
  }
  // Like strtoul, a minus sign negates in unsigned arithmetic.
  return negative ? static_cast<uint32_t>(0u - static_cast<uint32_t>(v)) : static_cast<uint32_t>(v);
}

double SYS_StrToReal(const char *text) {
  if (!text) return 0;
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = (*text++ == '-');
  double v = 0;
  const char *end = text + strlen(text);
  auto res = std::from_chars(text, end, v, std::chars_format::general);
  if (res.ec == std::errc::result_out_of_range) v = HUGE_VAL;
  else if (res.ec != std::errc()) v = 0;
  return negative ? -v : v;
}
