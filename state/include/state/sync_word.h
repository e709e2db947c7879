// The sync word of frames towards the sensor. Kept apart from state/globals.h because POSIX
// declares a function sync() in <unistd.h>: include this only where no POSIX header is seen.
#pragma once

extern int sync;  ///< sync word towards the sensor, 0x55; never changes
