/* Fixed-width scalar names used in every signature of the tape library.
 * What a caller of the library must know: docs/library.md ("Using the
 * library") in the source tree. */
#ifndef KVTAPE_COMMON_TYPES_H
#define KVTAPE_COMMON_TYPES_H

#include <stdint.h>

typedef uint8_t u_int8;
typedef uint16_t u_int16;
typedef uint8_t boolean;
typedef int16_t int16;
typedef int32_t int32;
typedef uint32_t u_int32;
typedef int64_t int64;
typedef uint64_t u_int64;

#endif
