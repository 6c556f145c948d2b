// fake_firewall.h - a scripted firewall backend: profile states, a rule list, the
// program's path, and how the elevated command goes (started and running until told
// to finish, started with nothing to watch, declined, failed). Counts what is asked.
// Threads: the test's own thread.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "platform/plat_firewall.h"

struct FakeFirewallEntry {
    PlatFwEntry kind;
    std::string text;
};

struct FakeFirewall {
    PlatFwProfile profiles[3] = {PLAT_FW_PROFILE_ON, PLAT_FW_PROFILE_ON, PLAT_FW_PROFILE_ON};
    bool rules_readable = true;
    std::vector<FakeFirewallEntry> rules;   // after the last: PLAT_FW_ENTRY_END
    std::string program = "/opt/tessel/tessel";
    PlatFwLaunch launch = PLAT_FW_LAUNCH_STARTED;
    bool running = true;                   // the started command still runs
    // What happened.
    int32_t checks = 0;                    // rules_open calls
    int32_t launches = 0;
    int32_t closes = 0;
    std::string program_run, verb, params;
};

// Installs fake as the firewall helper's backend (the helper starts afresh);
// fake_firewall_remove puts Linux's back.
void fake_firewall_install(FakeFirewall* fake);
void fake_firewall_remove(void);
// Adds an ordinary rule text.
void fake_firewall_rule(FakeFirewall* fake, const std::string& text);
