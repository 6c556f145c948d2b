// plat_firewall.cpp - the Linux firewall backend: no firewall policy to read, so every
// profile is off and no rule is ever needed.
#include "platform/plat_firewall.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>

bool plat_fw_expand_env(const char* text, char* out, size_t cap)
{
    if (!out || cap == 0)
        return false;
    out[0] = '\0';
    if (!text)
        return true;
    size_t n = 0;
    auto put = [&](const char* s, size_t len) {
        if (n + len >= cap)
            return false;
        memcpy(out + n, s, len);
        n += len;
        out[n] = '\0';
        return true;
    };
    const char* p = text;
    while (*p) {
        const char* close = p[0] == '%' ? strchr(p + 1, '%') : nullptr;
        if (close && close > p + 1) {
            char name[256];
            size_t len = (size_t)(close - p - 1);
            const char* value = nullptr;
            if (len < sizeof name) {
                memcpy(name, p + 1, len);
                name[len] = '\0';
                value = getenv(name);
            }
            if (value) {
                if (!put(value, strlen(value)))
                    return false;
                p = close + 1;
                continue;
            }
        }
        if (!put(p, 1))
            return false;
        p++;
    }
    return true;
}

static PlatFwProfile linux_profile_state(void*, uint32_t) { return PLAT_FW_PROFILE_OFF; }
static bool linux_rules_open(void*) { return false; }
static PlatFwEntry linux_rule_at(void*, int32_t, char* text, size_t cap)
{
    if (text && cap)
        text[0] = '\0';
    return PLAT_FW_ENTRY_END;
}
static void linux_rules_close(void*) {}
static bool linux_expand_env(void*, const char* text, char* out, size_t cap)
{
    return plat_fw_expand_env(text, out, cap);
}
static bool linux_program_path(void*, char* out, size_t cap)
{
    if (!out || cap == 0)
        return false;
    out[0] = '\0';
    ssize_t len = readlink("/proc/self/exe", out, cap);
    if (len <= 0 || (size_t)len >= cap) {
        out[0] = '\0';
        return false;
    }
    out[len] = '\0';
    return true;
}
static PlatFwLaunch linux_run_elevated(void*, const char*, const char*, const char*, int64_t* process)
{
    if (process)
        *process = 0;
    return PLAT_FW_LAUNCH_FAILED;
}
static bool linux_process_running(void*, int64_t) { return false; }
static void linux_process_close(void*, int64_t) {}

const PlatFirewall* plat_firewall_linux(void)
{
    static const PlatFirewall backend = {
        nullptr,          linux_profile_state, linux_rules_open,   linux_rule_at,
        linux_rules_close, linux_expand_env,   linux_program_path, linux_run_elevated,
        linux_process_running, linux_process_close,
    };
    return &backend;
}
