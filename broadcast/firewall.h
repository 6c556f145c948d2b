// firewall.h - the firewall helper: while the station is on air, checks whether the
// firewall lets inbound TCP reach the station's ports in every enabled profile, asks
// once per on-air period for an elevated command that adds the program's allow rule,
// watches that command, re-checks, and gives the status line its words.
// Threads: UI thread only (driven from the frame loop).
// Depends on: platform/plat_firewall.h (the backend; Linux's reports no firewall).
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/plat_firewall.h"

enum {
    FW_PORT_FIRST = 47480,
    FW_PORT_LAST = 47499,
    FW_COMMAND_CAP = 1200,
    FW_PATH_CAP = 520,           // a program path must be shorter than this
};

// Result of a check.
enum {
    FW_ALLOWED = 1,
    FW_OFF = 2,
    FW_NOT_ALLOWED = 3,
    FW_BLOCKED = 4,
};

// State of the elevated ask.
enum {
    FW_ELEVATION_NONE = 0,
    FW_ELEVATION_ASKING = 1,     // the elevated command runs
    FW_ELEVATION_DONE = 2,
    FW_ELEVATION_DECLINED = 3,   // the user said no
    FW_ELEVATION_FAILED = 4,
};

struct FirewallState {
    uint8_t checked;             // a check was made since the last reset
    uint8_t asked;               // the ask was made (or tried) since the last reset
    int32_t result;              // FW_ALLOWED .. FW_BLOCKED
    int32_t elevation;           // FW_ELEVATION_*
    int64_t process;             // the elevated command while asking; 0 none
    double last_check;           // frame-loop seconds of the last check
    char command[FW_COMMAND_CAP];   // the fix command, built once per run
};

// One parsed rule.
struct FirewallRule {
    uint8_t allow;
    uint8_t block;
    uint8_t active;
    uint8_t inbound;
    uint8_t tcp;                 // default 1
    uint8_t any_port;            // default 1: no local port named
    uint8_t covers;              // a local port range covers the station's range
    uint8_t any_app;             // default 1: no program, package or service named
    uint8_t this_program;
    uint32_t profiles;           // PLAT_FW_* mask; 7 when the rule names none
};

int32_t fw_check(void);                   // FW_ALLOWED .. FW_BLOCKED
void fw_ensure_rule(double t);            // checks, and asks when needed
bool fw_was_checked(void);
bool fw_needs_attention(void);            // checked and (asking, not allowed or blocked)
void fw_reset(void);                      // a new on-air period: checked = asked = 0
void fw_poll(double t);                   // reaps the elevated command, re-checks
const char* fw_status_text(void);         // "" when there is nothing to say
// Parses one rule text; program_path may be empty (then no rule names this program).
void fw_parse_rule(const char* rule_text, const char* program_path, FirewallRule* rule);

// Puts in the backend (null: Linux's) and starts the helper afresh, as at start-up.
void fw_set_backend(const PlatFirewall* backend);
const FirewallState* fw_state(void);
