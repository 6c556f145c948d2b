// plat_rt.cpp - the thread-local callback mark.
#include "platform/plat_rt.h"

static thread_local bool t_in_callback = false;

void plat_rt_enter(void) { t_in_callback = true; }
void plat_rt_leave(void) { t_in_callback = false; }
bool plat_rt_active(void) { return t_in_callback; }
