// firewall.cpp - the firewall helper's checks, its one elevated ask per on-air period
// and its polling, over the platform's firewall backend.
#include "broadcast/firewall.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char kRuleName[] = "TideCoil stream";
static const char kBlockedText[] = "BLOCKED BY WINDOWS FIREWALL - ALLOW";
static const char kAskingText[] = "ASKING WINDOWS...";
static const double kRecheckSeconds = 4.0;

enum {
    FW_PIECE_MAX = 599,          // bytes of one "name=value" piece that are looked at
    FW_RULE_TEXT_CAP = 65536,
    FW_PARAMS_CAP = 1398,
};

static FirewallState g_fw;
static const PlatFirewall* g_backend = nullptr;
static char g_rule_text[FW_RULE_TEXT_CAP];   // UI thread only

// Rule names and their listed values compare without regard to case.
static bool same(const char* a, const char* b)
{
    for (; *a && *b; a++, b++)
        if (tolower((unsigned char)*a) != tolower((unsigned char)*b))
            return false;
    return *a == *b;
}

static const PlatFirewall* backend(void)
{
    if (!g_backend)
        g_backend = plat_firewall_linux();
    return g_backend;
}

void fw_set_backend(const PlatFirewall* b)
{
    const PlatFirewall* old = backend();
    if (g_fw.process)
        old->process_close(old->user, g_fw.process);
    g_backend = b ? b : plat_firewall_linux();
    memset(&g_fw, 0, sizeof g_fw);
}

const FirewallState* fw_state(void) { return &g_fw; }

// The program's path, empty when it cannot be read or is too long to name in a rule.
static void program_path(char* out, size_t cap)
{
    const PlatFirewall* b = backend();
    if (!b->program_path(b->user, out, cap) || strlen(out) >= FW_PATH_CAP)
        out[0] = '\0';
}

// "a" or "a-b" in decimal; a single port is a-a.
static void parse_ports(const char* v, FirewallRule* rule)
{
    char* end = nullptr;
    long a = strtol(v, &end, 10);
    long b = a;
    if (end && *end == '-')
        b = strtol(end + 1, nullptr, 10);
    if (a <= FW_PORT_FIRST && b >= FW_PORT_LAST)
        rule->covers = 1;
}

static void apply_piece(const char* name, const char* value, const char* path, FirewallRule* rule)
{
    if (same(name, "Action")) {
        rule->allow = same(value, "Allow");
        rule->block = same(value, "Block");
    } else if (same(name, "Active")) {
        rule->active = same(value, "TRUE");
    } else if (same(name, "Dir")) {
        rule->inbound = same(value, "In");
    } else if (same(name, "Protocol")) {
        rule->tcp = strtol(value, nullptr, 10) == 6;
    } else if (same(name, "LPort") || same(name, "LPort2_10")) {
        rule->any_port = 0;
        parse_ports(value, rule);
    } else if (same(name, "App")) {
        rule->any_app = 0;
        char expanded[FW_PATH_CAP + 1];
        const PlatFirewall* b = backend();
        if (path && path[0] && b->expand_env(b->user, value, expanded, sizeof expanded) &&
            !strcmp(expanded, path))
            rule->this_program = 1;
    } else if (same(name, "AppPkgId") || same(name, "PFN") || same(name, "Svc") ||
               same(name, "LUAuth") || same(name, "LUAuth2_24")) {
        rule->any_app = 0;
    } else if (same(name, "Profile")) {
        if (same(value, "Domain"))
            rule->profiles |= PLAT_FW_DOMAIN;
        else if (same(value, "Private"))
            rule->profiles |= PLAT_FW_PRIVATE;
        else if (same(value, "Public"))
            rule->profiles |= PLAT_FW_PUBLIC;
    }
}

void fw_parse_rule(const char* rule_text, const char* program_path_, FirewallRule* rule)
{
    if (!rule)
        return;
    memset(rule, 0, sizeof *rule);
    rule->tcp = 1;
    rule->any_port = 1;
    rule->any_app = 1;
    bool named_profile = false;
    const char* p = rule_text ? rule_text : "";
    while (*p) {
        const char* bar = strchr(p, '|');
        size_t len = bar ? (size_t)(bar - p) : strlen(p);
        char piece[FW_PIECE_MAX + 1];
        size_t keep = len < (size_t)FW_PIECE_MAX ? len : (size_t)FW_PIECE_MAX;
        memcpy(piece, p, keep);
        piece[keep] = '\0';
        char* eq = strchr(piece, '=');
        if (eq) {
            *eq = '\0';
            if (same(piece, "Profile"))
                named_profile = true;
            apply_piece(piece, eq + 1, program_path_, rule);
        }
        if (!bar)
            break;
        p = bar + 1;
    }
    if (!named_profile)
        rule->profiles = PLAT_FW_DOMAIN | PLAT_FW_PRIVATE | PLAT_FW_PUBLIC;
}

static uint32_t enabled_profiles(void)
{
    static const uint32_t kProfiles[] = {PLAT_FW_DOMAIN, PLAT_FW_PRIVATE, PLAT_FW_PUBLIC};
    const PlatFirewall* b = backend();
    uint32_t mask = 0;
    for (uint32_t bit : kProfiles)
        if (b->profile_state(b->user, bit) != PLAT_FW_PROFILE_OFF)   // unreadable counts as on
            mask |= bit;
    return mask;
}

int32_t fw_check(void)
{
    uint32_t enabled = enabled_profiles();
    if (!enabled)
        return FW_OFF;
    char path[FW_PATH_CAP];
    program_path(path, sizeof path);
    const PlatFirewall* b = backend();
    if (!b->rules_open(b->user))
        return FW_NOT_ALLOWED;
    bool blocked = false;
    uint32_t allowed = 0;
    for (int32_t i = 0;; i++) {
        PlatFwEntry e = b->rule_at(b->user, i, g_rule_text, sizeof g_rule_text);
        if (e == PLAT_FW_ENTRY_SKIP)
            continue;
        if (e != PLAT_FW_ENTRY_TEXT)
            break;
        FirewallRule r;
        fw_parse_rule(g_rule_text, path, &r);
        if (!r.active || !r.inbound || !r.tcp || !(r.any_port || r.covers))
            continue;
        if (r.block && (r.this_program || (r.covers && r.any_app)) && (r.profiles & enabled))
            blocked = true;
        if (r.allow && (r.any_app || r.this_program))
            allowed |= r.profiles;
    }
    b->rules_close(b->user);
    if (blocked)
        return FW_BLOCKED;
    return (enabled & ~allowed) == 0 ? FW_ALLOWED : FW_NOT_ALLOWED;
}

// Deletes the old rule of our name and any inbound rule for the program, then adds the
// allow rule for the station's range.
static void build_command(void)
{
    char path[FW_PATH_CAP];
    program_path(path, sizeof path);
    snprintf(g_fw.command, sizeof g_fw.command,
             "netsh advfirewall firewall delete rule name=\"%s\" & "
             "netsh advfirewall firewall delete rule name=all dir=in program=\"%s\" & "
             "netsh advfirewall firewall add rule name=\"%s\" dir=in action=allow protocol=TCP "
             "localport=%d-%d profile=any",
             kRuleName, path, kRuleName, FW_PORT_FIRST, FW_PORT_LAST);
}

static void ask(double t)
{
    if (!g_fw.command[0])
        build_command();
    char params[FW_PARAMS_CAP];
    int n = snprintf(params, sizeof params, "/c %s", g_fw.command);
    if (n < 0 || (size_t)n >= sizeof params) {
        g_fw.elevation = FW_ELEVATION_FAILED;
        return;
    }
    const PlatFirewall* b = backend();
    int64_t process = 0;
    PlatFwLaunch r = b->run_elevated(b->user, "cmd.exe", "runas", params, &process);
    if (r == PLAT_FW_LAUNCH_STARTED && process) {
        g_fw.elevation = FW_ELEVATION_ASKING;
        g_fw.process = process;
    } else if (r == PLAT_FW_LAUNCH_STARTED || r == PLAT_FW_LAUNCH_NO_PROCESS) {
        g_fw.elevation = FW_ELEVATION_DONE;
        g_fw.last_check = -1e9;   // nothing to watch: the next poll checks at once
    } else {
        g_fw.elevation = r == PLAT_FW_LAUNCH_DECLINED ? FW_ELEVATION_DECLINED : FW_ELEVATION_FAILED;
        g_fw.last_check = t;
    }
}

static bool not_allowed(int32_t result) { return result == FW_NOT_ALLOWED || result == FW_BLOCKED; }

void fw_ensure_rule(double t)
{
    g_fw.checked = 1;
    g_fw.result = fw_check();
    g_fw.last_check = t;
    if (!not_allowed(g_fw.result) || g_fw.asked || g_fw.elevation == FW_ELEVATION_ASKING)
        return;
    g_fw.asked = 1;
    ask(t);
}

bool fw_was_checked(void) { return g_fw.checked != 0; }

bool fw_needs_attention(void)
{
    return g_fw.checked && (g_fw.elevation == FW_ELEVATION_ASKING || not_allowed(g_fw.result));
}

void fw_reset(void)
{
    g_fw.checked = 0;
    g_fw.asked = 0;
}

void fw_poll(double t)
{
    if (g_fw.elevation == FW_ELEVATION_ASKING && g_fw.process) {
        const PlatFirewall* b = backend();
        if (b->process_running(b->user, g_fw.process))
            return;
        b->process_close(b->user, g_fw.process);
        g_fw.process = 0;
        g_fw.elevation = FW_ELEVATION_DONE;
        g_fw.result = fw_check();
        g_fw.last_check = t;
        return;
    }
    if (g_fw.checked && not_allowed(g_fw.result) && t - g_fw.last_check >= kRecheckSeconds) {
        g_fw.result = fw_check();
        g_fw.last_check = t;
    }
}

const char* fw_status_text(void)
{
    if (!g_fw.checked)
        return "";
    if (g_fw.elevation == FW_ELEVATION_ASKING)
        return kAskingText;
    if (!not_allowed(g_fw.result))
        return "";
    return kBlockedText;
}
