// plat_signal.h - signals that must not end the program at once: a hangup (the
// terminal that started it closed, a session ending) is counted and handled as a close
// request by the frame loop; a broken pipe (standard error into a pipe whose reader
// has gone) fails the write instead of ending the process.
// Threads: plat_signal_catch: once, on the UI thread, at start-up. The count: any.
// Depends on: the OS signal calls (sigaction).
#pragma once
#include <cstdint>

// Installs the handlers. Programs started from the program (xdg-open, the sibling
// program) get the default actions back with exec.
void plat_signal_catch(void);
// Hangups received since plat_signal_catch.
uint32_t plat_signal_hangups(void);
