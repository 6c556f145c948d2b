// plat_random.h - random bytes from the system (getrandom), for ids that must differ
// between computers and runs.
// Threads: any.
// Depends on: the OS (getrandom, getpid), platform/plat_time.h.
#pragma once
#include <cstddef>
#include <cstdint>

// Fills out with len random bytes; false when the system cannot give them now
// (the caller falls back on something of its own).
bool plat_random_bytes(void* out, size_t len);
// A seed for a generator of the caller's own: random bytes from the system, else the
// clocks mixed with the process id, so that copies started together still differ.
uint64_t plat_random_seed(void);
