/* LTO drive library. */
#ifndef LTOLIB_H
#define LTOLIB_H

#include "scsi_io.h"

/* ---- LTO identification probe ---- */


#endif
