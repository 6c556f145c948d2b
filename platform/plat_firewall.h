// plat_firewall.h - what the firewall helper asks of the system, as a table of
// functions: which firewall profiles are on, the firewall's rule texts, the program's
// own path, environment expansion, and starting an elevated command and watching it.
// Linux has no such firewall policy: its backend reports every profile off, so no
// firewall blocks listeners and nothing is ever asked. Tests put in a backend of
// their own to drive the helper's logic.
// Threads: the caller's (the helper runs on the UI thread).
// Depends on: the OS (readlink of /proc/self/exe, getenv).
#pragma once
#include <cstddef>
#include <cstdint>

// Profile bits, the same in the enabled mask and in a rule's profiles.
enum {
    PLAT_FW_DOMAIN = 1,
    PLAT_FW_PRIVATE = 2,
    PLAT_FW_PUBLIC = 4,
};

// What plat_fw_profile_state answers.
enum PlatFwProfile {
    PLAT_FW_PROFILE_UNREADABLE = -1,   // key or value missing, or not a number
    PLAT_FW_PROFILE_OFF = 0,
    PLAT_FW_PROFILE_ON = 1,
};

// One entry of the rule list, by index.
enum PlatFwEntry {
    PLAT_FW_ENTRY_TEXT,        // a rule text, written to the caller's buffer
    PLAT_FW_ENTRY_SKIP,        // not a text, or too large for the buffer
    PLAT_FW_ENTRY_END,         // no more entries
    PLAT_FW_ENTRY_ERROR,       // the list cannot be read further
};

// How starting the elevated command went.
enum PlatFwLaunch {
    PLAT_FW_LAUNCH_STARTED,    // running; *process names it
    PLAT_FW_LAUNCH_NO_PROCESS, // started, but there is nothing to watch
    PLAT_FW_LAUNCH_DECLINED,   // the user said no to the elevation prompt
    PLAT_FW_LAUNCH_FAILED,
};

struct PlatFirewall {
    void* user;
    // State of one profile (a PLAT_FW_* bit).
    PlatFwProfile (*profile_state)(void* user, uint32_t profile);
    // Opens the rule list for reading; false when it cannot be read.
    bool (*rules_open)(void* user);
    // Entry index of the open list; a text is cut to fit and terminated.
    PlatFwEntry (*rule_at)(void* user, int32_t index, char* text, size_t cap);
    void (*rules_close)(void* user);
    // Expands environment references in text; false when the result does not fit.
    bool (*expand_env)(void* user, const char* text, char* out, size_t cap);
    // The program's own path; false when it cannot be read or does not fit.
    bool (*program_path)(void* user, char* out, size_t cap);
    // Starts program elevated with verb and params, its window hidden.
    PlatFwLaunch (*run_elevated)(void* user, const char* program, const char* verb,
                                 const char* params, int64_t* process);
    // Whether a started process still runs; never waits.
    bool (*process_running)(void* user, int64_t process);
    void (*process_close)(void* user, int64_t process);
};

// The Linux backend: every profile off, no rule list, no elevation.
const PlatFirewall* plat_firewall_linux(void);

// Expands %NAME% references from the environment; unknown names and a lone % stay as
// written. False when the result does not fit in cap.
bool plat_fw_expand_env(const char* text, char* out, size_t cap);
