#ifndef TARNIX_PLUGIN_SDK_HCBSTR_H
#define TARNIX_PLUGIN_SDK_HCBSTR_H
/* HCBSTR, the string type of the interface methods: a pointer to UTF-16 text
 * preceded by a 32-bit byte length and followed by a 16-bit NUL, allocated with
 * malloc (the C runtime is shared by every module of the process, so a string
 * allocated by one module is freed by another). A null HCBSTR is the empty
 * string.
 *
 *   block:  [uint32 byte length][UTF-16 text ...][0x0000]
 *   HCBSTR points here -------->^
 *
 * Helpers: allocation from UTF-16 or UTF-8, free, length, conversion to UTF-8.
 * Invalid input (a malformed UTF-8 sequence, an unpaired surrogate) becomes
 * U+FFFD; nothing here reads past the lengths it is given. Compiles as C and as
 * C++; C++ code also gets the owning wrapper tarnix::TBstr at the end. */
#include <stdlib.h>
#include <string.h>
#ifdef __cplusplus
#include <string>
#include <string_view>
#include <utility>
#else
#include <uchar.h>
#endif

#include "plugin/sdk/HCPluginTypes.h"

typedef char16_t* HCBSTR;

/* The longest text a string can hold, in UTF-16 units (the byte length must
 * fit 32 bits together with the prefix and the NUL). */
#define HC_BSTR_MAX_UNITS ((uint32_t)0x7FFFFFF0u)

/* A new string holding `units` UTF-16 units copied from `text` (or zeros when
 * `text` is null); null when out of memory or too long. */
static inline HCBSTR HCBstrAllocUtf16(const char16_t* text, uint32_t units) {
  if (units > HC_BSTR_MAX_UNITS) return NULL;
  uint32_t bytes = units * 2u;
  unsigned char* block = (unsigned char*)malloc((size_t)bytes + 6u);
  if (block == NULL) return NULL;
  memcpy(block, &bytes, 4);
  if (text != NULL && units > 0) {
    memcpy(block + 4, text, bytes);
  } else {
    memset(block + 4, 0, bytes);
  }
  block[4 + bytes] = 0;
  block[5 + bytes] = 0;
  return (HCBSTR)(void*)(block + 4);
}

/* Frees a string; null is allowed. */
static inline void HCBstrFree(const char16_t* text) {
  if (text != NULL) free((void*)((const unsigned char*)text - 4));
}

/* The byte length stored before the text; 0 for null. */
static inline uint32_t HCBstrByteLength(const char16_t* text) {
  uint32_t bytes = 0;
  if (text != NULL) memcpy(&bytes, (const unsigned char*)text - 4, 4);
  return bytes;
}

/* The length in UTF-16 units; 0 for null. */
static inline uint32_t HCBstrLength(const char16_t* text) {
  return HCBstrByteLength(text) / 2u;
}

/* Decodes one code point of UTF-8 at text[*pos] (bounded by `length`),
 * advancing *pos; a malformed sequence yields U+FFFD and advances by one. */
static inline uint32_t HCUtf8Next(const char* text, size_t length, size_t* pos) {
  const unsigned char* s = (const unsigned char*)text;
  size_t i = *pos;
  unsigned char c = s[i];
  uint32_t cp;
  size_t need;
  uint32_t min;
  if (c < 0x80) {
    *pos = i + 1;
    return c;
  } else if (c >= 0xC2 && c <= 0xDF) {
    cp = c & 0x1Fu, need = 1, min = 0x80;
  } else if (c >= 0xE0 && c <= 0xEF) {
    cp = c & 0x0Fu, need = 2, min = 0x800;
  } else if (c >= 0xF0 && c <= 0xF4) {
    cp = c & 0x07u, need = 3, min = 0x10000;
  } else {
    *pos = i + 1;
    return 0xFFFDu;
  }
  if (length - i - 1 < need) {
    *pos = i + 1;
    return 0xFFFDu;
  }
  for (size_t k = 1; k <= need; ++k) {
    unsigned char t = s[i + k];
    if ((t & 0xC0) != 0x80) {
      *pos = i + 1;
      return 0xFFFDu;
    }
    cp = (cp << 6) | (t & 0x3Fu);
  }
  if (cp < min || cp > 0x10FFFFu || (cp >= 0xD800u && cp <= 0xDFFFu)) {
    *pos = i + 1;
    return 0xFFFDu;
  }
  *pos = i + 1 + need;
  return cp;
}

/* A new string from `length` bytes of UTF-8; null when out of memory or too
 * long. A null `text` with length 0 gives an empty (non-null) string. */
static inline HCBSTR HCBstrAllocUtf8(const char* text, size_t length) {
  size_t units = 0;
  size_t pos = 0;
  if (text == NULL) length = 0;
  while (pos < length) {
    units += HCUtf8Next(text, length, &pos) >= 0x10000u ? 2 : 1;
    if (units > HC_BSTR_MAX_UNITS) return NULL;
  }
  HCBSTR result = HCBstrAllocUtf16(NULL, (uint32_t)units);
  if (result == NULL) return NULL;
  size_t out = 0;
  pos = 0;
  while (pos < length) {
    uint32_t cp = HCUtf8Next(text, length, &pos);
    if (cp >= 0x10000u) {
      cp -= 0x10000u;
      result[out++] = (char16_t)(0xD800u + (cp >> 10));
      result[out++] = (char16_t)(0xDC00u + (cp & 0x3FFu));
    } else {
      result[out++] = (char16_t)cp;
    }
  }
  return result;
}

/* A new string from NUL-terminated UTF-8; null text gives an empty string. */
static inline HCBSTR HCBstrFromUtf8(const char* text) {
  return HCBstrAllocUtf8(text, text != NULL ? strlen(text) : 0);
}

/* Writes the text as UTF-8 into buffer (at most bufferSize - 1 bytes and a NUL,
 * never splitting a character) and returns the number of bytes the whole text
 * needs without its NUL. With a null buffer or bufferSize 0 it only measures. */
static inline size_t HCBstrToUtf8(const char16_t* text, char* buffer, size_t bufferSize) {
  uint32_t units = HCBstrLength(text);
  size_t needed = 0;
  size_t written = 0;
  int full = buffer == NULL || bufferSize == 0;
  for (uint32_t i = 0; i < units; ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800u && cp <= 0xDBFFu && i + 1 < units && text[i + 1] >= 0xDC00u &&
        text[i + 1] <= 0xDFFFu) {
      cp = 0x10000u + ((cp - 0xD800u) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (cp >= 0xD800u && cp <= 0xDFFFu) {
      cp = 0xFFFDu;
    }
    unsigned char bytes[4];
    size_t n;
    if (cp < 0x80u) {
      bytes[0] = (unsigned char)cp, n = 1;
    } else if (cp < 0x800u) {
      bytes[0] = (unsigned char)(0xC0u | (cp >> 6));
      bytes[1] = (unsigned char)(0x80u | (cp & 0x3Fu)), n = 2;
    } else if (cp < 0x10000u) {
      bytes[0] = (unsigned char)(0xE0u | (cp >> 12));
      bytes[1] = (unsigned char)(0x80u | ((cp >> 6) & 0x3Fu));
      bytes[2] = (unsigned char)(0x80u | (cp & 0x3Fu)), n = 3;
    } else {
      bytes[0] = (unsigned char)(0xF0u | (cp >> 18));
      bytes[1] = (unsigned char)(0x80u | ((cp >> 12) & 0x3Fu));
      bytes[2] = (unsigned char)(0x80u | ((cp >> 6) & 0x3Fu));
      bytes[3] = (unsigned char)(0x80u | (cp & 0x3Fu)), n = 4;
    }
    needed += n;
    if (!full && written + n <= bufferSize - 1) {
      memcpy(buffer + written, bytes, n);
      written += n;
    } else {
      full = 1;
    }
  }
  if (buffer != NULL && bufferSize > 0) buffer[written] = '\0';
  return needed;
}

#ifdef __cplusplus
namespace tarnix {

// The text of a string as UTF-8; null gives "".
inline std::string BstrToUtf8(const char16_t* text) {
  std::string result(HCBstrToUtf8(text, nullptr, 0), '\0');
  HCBstrToUtf8(text, result.data(), result.size() + 1);
  return result;
}

// The UTF-16 units of a string without its NUL; null gives an empty view.
inline std::u16string_view BstrView(const char16_t* text) {
  return text != nullptr ? std::u16string_view(text, HCBstrLength(text)) : std::u16string_view();
}

// Owns one HCBSTR and frees it. Adopt a string a method returned; Detach to
// hand one out as a method's result.
class TBstr {
 public:
  TBstr() = default;
  static TBstr Adopt(HCBSTR text) noexcept {
    TBstr result;
    result.text_ = text;
    return result;
  }
  static TBstr FromUtf8(std::string_view text) {
    return Adopt(HCBstrAllocUtf8(text.data(), text.size()));
  }
  static TBstr FromUtf16(std::u16string_view text) {
    return text.size() > HC_BSTR_MAX_UNITS
               ? TBstr()
               : Adopt(HCBstrAllocUtf16(text.data(), static_cast<uint32_t>(text.size())));
  }
  TBstr(TBstr&& other) noexcept : text_(std::exchange(other.text_, nullptr)) {}
  TBstr& operator=(TBstr&& other) noexcept {
    if (this != &other) {
      HCBstrFree(text_);
      text_ = std::exchange(other.text_, nullptr);
    }
    return *this;
  }
  TBstr(const TBstr&) = delete;
  TBstr& operator=(const TBstr&) = delete;
  ~TBstr() { HCBstrFree(text_); }

  HCBSTR Get() const noexcept { return text_; }
  HCBSTR Detach() noexcept { return std::exchange(text_, nullptr); }
  uint32_t Length() const noexcept { return HCBstrLength(text_); }
  std::u16string_view View() const noexcept { return BstrView(text_); }
  std::string ToUtf8() const { return BstrToUtf8(text_); }

 private:
  HCBSTR text_ = nullptr;
};

}  // namespace tarnix
#endif

#endif /* TARNIX_PLUGIN_SDK_HCBSTR_H */
