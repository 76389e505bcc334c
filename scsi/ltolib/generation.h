// Inside the LTO library: the drive generation and the rules the log parsers
// and reports derive from it. Each rule reads the process-wide values at the
// moment it is called.
#ifndef LTOLIB_GENERATION_H
#define LTOLIB_GENERATION_H

#include "ltolib.h"

namespace ltolib {

// Generation index of the drive asked last, or the one set; 0 before either.
int32 drive_generation();

// Generation index of a variant code.
int32 generation_of(u_int32 variant);

// Head channels of the current variant: 8 or 16.
int32 channel_count();
// Tick code of the drives' 48-bit timestamps: 16 (16 us ticks) up to
// generation 3, 9 (9.99 us ticks) above.
u_int32 tick_code();
// Whether the current variant keeps the new-style fault log.
bool new_style_fault_log();
// First wrap number of a servo band index, -1 outside 0..3.
int32 wrap_base(u_int32 band);

}  // namespace ltolib

#endif
