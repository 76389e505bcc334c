// Internals of the protection CRC that its tests reach: the switch between the
// vector and the portable XOR pass.
#ifndef SCSILIB_CRC_H
#define SCSILIB_CRC_H

namespace scsilib {

// True when this processor runs the vector XOR pass.
bool vector_fold_available();

// Whether the CRC may use the vector pass when it is available (default true).
// Tests turn it off to run the portable pass on the same machine. Set it
// before CRCs run on other threads; the CRC only reads it.
void set_vector_fold(bool allowed);

}  // namespace scsilib

#endif
