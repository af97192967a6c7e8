// Small text helpers. Helpers that write into a destination take its
// capacity; "in place" helpers return their argument (NULL for NULL).
#pragma once

#include <cstddef>
#include <cstdint>

char *StrDup(const char *text, const char *file, int32_t line);
#define STRDUP(text) StrDup((text), __FILE__, __LINE__)
// A tracked copy of name made absolute against the current folder (a name
// that starts with '/' is copied as it stands).
char *StrDupAbsolute(const char *name, const char *file, int32_t line);

char *SYS_StrTrimLeft(char *text);
char *SYS_StrTrim(char *text);
char *SYS_StrReplaceChar(char *text, char from, char to);
uint32_t SYS_StrCountChar(const char *text, char c);
char *SYS_StrField(const char *source, char *dest, size_t capacity, char separator, int32_t k);
int32_t SYS_StrFieldInt(const char *text, char separator, int32_t k);
uint32_t SYS_StrFieldUInt(const char *text, char separator, int32_t k);
float SYS_StrFieldFloat(const char *text, char separator, int32_t k);
const char *SYS_StrUrlEncode(const char *source, char *dest, size_t capacity);
const char *SYS_StrUrlDecode(const char *source, char *dest, size_t capacity);
char *SYS_StrRep(const char *text, const char *search, const char *replacement);
char *SYS_StrLower(char *text);
char *SYS_StrUpper(char *text);

// Locale-independent leading-number conversions (like atoi/atof in "C").
int32_t SYS_StrToInt(const char *text);
uint32_t SYS_StrToUInt(const char *text);
double SYS_StrToReal(const char *text);
