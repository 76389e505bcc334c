/* String operations and number conversions of the texts the tool reads. */
#ifndef FIRMWARE_STRINGHELPER_H
#define FIRMWARE_STRINGHELPER_H

#include <cstddef>

#include "common_types.h"

/* In-place operations on NUL-terminated text; each returns its argument, except
   that trim of an empty text returns a static empty string. Character classes
   are those of the POSIX locale (ASCII letters and digits only). */
char *trim(char *s);
char *upper(char *s);
char *alphanumeric(char *s);
/* Copies src into dst (room for size bytes, always terminated), each byte
   outside 20h-7Eh written as the four characters "\xHH" (upper-case hex).
   Stops before a character or escape that would not fit whole. */
void escape_unprintable(char *dst, size_t size, const char *src);

/* Conversions of untrusted text (drive replies, configuration lines); each gives
   0 when no number starts the text. hex_value: base 16, leading white space and
   a 0x prefix accepted, saturating at FFFFFFFFh. decimal_value: the standard
   floating-point conversion, infinity and NaN included. int_value: base 10,
   clamped to int. */
u_int32 hex_value(const char *s);
double decimal_value(const char *s);
int int_value(const char *s);

#endif
