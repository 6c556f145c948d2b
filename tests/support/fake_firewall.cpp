// fake_firewall.cpp - the scripted firewall backend.
#include "tests/support/fake_firewall.h"

#include <cstdio>

#include "broadcast/firewall.h"

static FakeFirewall* self(void* user) { return static_cast<FakeFirewall*>(user); }

static PlatFwProfile fake_profile_state(void* user, uint32_t profile)
{
    int i = profile == PLAT_FW_DOMAIN ? 0 : profile == PLAT_FW_PRIVATE ? 1 : 2;
    return self(user)->profiles[i];
}

static bool fake_rules_open(void* user)
{
    self(user)->checks++;
    return self(user)->rules_readable;
}

static PlatFwEntry fake_rule_at(void* user, int32_t index, char* text, size_t cap)
{
    FakeFirewall* f = self(user);
    if (index < 0 || (size_t)index >= f->rules.size())
        return PLAT_FW_ENTRY_END;
    const FakeFirewallEntry& e = f->rules[(size_t)index];
    if (e.kind == PLAT_FW_ENTRY_TEXT)
        snprintf(text, cap, "%s", e.text.c_str());
    return e.kind;
}

static void fake_rules_close(void*) {}

static bool fake_expand_env(void*, const char* text, char* out, size_t cap)
{
    return plat_fw_expand_env(text, out, cap);
}

static bool fake_program_path(void* user, char* out, size_t cap)
{
    int n = snprintf(out, cap, "%s", self(user)->program.c_str());
    return n >= 0 && (size_t)n < cap && n > 0;
}

static PlatFwLaunch fake_run_elevated(void* user, const char* program, const char* verb,
                                      const char* params, int64_t* process)
{
    FakeFirewall* f = self(user);
    f->launches++;
    f->program_run = program;
    f->verb = verb;
    f->params = params;
    *process = f->launch == PLAT_FW_LAUNCH_STARTED ? 42 : 0;
    return f->launch;
}

static bool fake_process_running(void* user, int64_t) { return self(user)->running; }
static void fake_process_close(void* user, int64_t) { self(user)->closes++; }

void fake_firewall_install(FakeFirewall* fake)
{
    static PlatFirewall table;
    table = PlatFirewall{fake,           fake_profile_state, fake_rules_open,   fake_rule_at,
                         fake_rules_close, fake_expand_env,  fake_program_path, fake_run_elevated,
                         fake_process_running, fake_process_close};
    fw_set_backend(&table);
}

void fake_firewall_remove(void) { fw_set_backend(nullptr); }

void fake_firewall_rule(FakeFirewall* fake, const std::string& text)
{
    fake->rules.push_back({PLAT_FW_ENTRY_TEXT, text});
}
