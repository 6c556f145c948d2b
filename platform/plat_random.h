// plat_random.h - random bytes from the system (getrandom), for ids that must differ
// between computers and runs.
// Threads: any.
// Depends on: the OS (getrandom).
#pragma once
#include <cstddef>

// Fills out with len random bytes; false when the system cannot give them now
// (the caller falls back on something of its own).
bool plat_random_bytes(void* out, size_t len);
