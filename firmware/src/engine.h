/* Command line, result codes and the mode engine of the firmware upgrade tool. */
#ifndef ENGINE_H
#define ENGINE_H

#include "common.h"

#endif
