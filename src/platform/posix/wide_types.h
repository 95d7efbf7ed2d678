// Every file of the POSIX layer sees 64-bit file offsets, times and file
// serial numbers, on 32-bit systems too: a file dated 2038 or later, an
// offset beyond 4 GiB and a folder entry with a big serial number must
// behave as on a 64-bit system. The build asks for them; this holds any
// build that did not to account.
#pragma once

#include <sys/types.h>

#include <ctime>

static_assert(sizeof(off_t) == 8, "file offsets must be 64 bits (build with _FILE_OFFSET_BITS=64)");
static_assert(sizeof(time_t) == 8, "times must be 64 bits (build with _TIME_BITS=64)");
static_assert(sizeof(ino_t) == 8, "file serial numbers must be 64 bits (build with _FILE_OFFSET_BITS=64)");
