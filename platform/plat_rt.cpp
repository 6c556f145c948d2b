// plat_rt.cpp - the thread-local callback mark.
#include "platform/plat_rt.h"

#include <sys/resource.h>

static thread_local bool t_in_callback = false;

void plat_rt_enter(void) { t_in_callback = true; }
void plat_rt_leave(void) { t_in_callback = false; }
bool plat_rt_active(void) { return t_in_callback; }

uint64_t plat_rt_page_faults(void)
{
    struct rusage ru;
    if (getrusage(RUSAGE_THREAD, &ru) != 0)
        return 0;
    return (uint64_t)ru.ru_minflt + (uint64_t)ru.ru_majflt;
}
