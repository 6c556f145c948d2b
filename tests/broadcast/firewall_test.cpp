// The firewall helper over a scripted backend: rule parsing, the check's verdict from
// enabled profiles and rules, the one ask per on-air period, watching the elevated
// command, re-checks and the status words; and the Linux backend's quiet answer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "broadcast/firewall.h"
#include "tests/support/fake_firewall.h"

namespace {

const char kProgram[] = "/opt/tessel/tessel";
const char kBlocked[] = "BLOCKED BY WINDOWS FIREWALL - ALLOW";

std::string allow_rule(const std::string& extra)
{
    return "v2.10|Action=Allow|Active=TRUE|Dir=In|Protocol=6|" + extra;
}
std::string block_rule(const std::string& extra)
{
    return "v2.10|Action=Block|Active=TRUE|Dir=In|Protocol=6|" + extra;
}

class Firewall : public ::testing::Test {
protected:
    FakeFirewall fake;
    void SetUp() override { fake_firewall_install(&fake); }
    void TearDown() override { fake_firewall_remove(); }
};

TEST(FirewallRule, ParsesFieldsWithoutRegardToCase)
{
    FirewallRule r;
    fw_parse_rule("", kProgram, &r);
    EXPECT_TRUE(r.tcp && r.any_port && r.any_app);
    EXPECT_FALSE(r.allow || r.block || r.active || r.inbound || r.covers || r.this_program);
    EXPECT_EQ(r.profiles, 7u);

    fw_parse_rule("v2.10|action=ALLOW|active=true|dir=in|protocol=17|Profile=private|PROFILE=Public|", kProgram, &r);
    EXPECT_TRUE(r.allow && r.active && r.inbound);
    EXPECT_FALSE(r.block || r.tcp);
    EXPECT_EQ(r.profiles, 6u);

    // Ports: a single port never covers the range; a later entry never clears covers.
    fw_parse_rule("LPort=47482", kProgram, &r);
    EXPECT_FALSE(r.any_port || r.covers);
    fw_parse_rule("LPort=47480-47499|LPort2_10=80", kProgram, &r);
    EXPECT_TRUE(r.covers);
    EXPECT_FALSE(r.any_port);
    fw_parse_rule("LPort=47481-47499", kProgram, &r);
    EXPECT_FALSE(r.covers);

    // Programs, packages and services each stop the rule applying to every program.
    fw_parse_rule("App=/opt/tessel/tessel", kProgram, &r);
    EXPECT_TRUE(r.this_program);
    EXPECT_FALSE(r.any_app);
    fw_parse_rule("App=/opt/tessel/tessel", "", &r);
    EXPECT_FALSE(r.this_program);
    fw_parse_rule("App=/usr/bin/other", kProgram, &r);
    EXPECT_FALSE(r.this_program || r.any_app);
    fw_parse_rule("Svc=thing|noequals|", kProgram, &r);
    EXPECT_FALSE(r.any_app);
    setenv("TESSEL_FW_TEST_ROOT", "/opt/tessel", 1);
    fw_parse_rule("App=%TESSEL_FW_TEST_ROOT%/tessel", kProgram, &r);
    EXPECT_TRUE(r.this_program);
}

TEST(FirewallRule, ExpandsOnlyKnownVariablesAndRefusesOverflow)
{
    setenv("TESSEL_FW_TEST_ROOT", "/opt", 1);
    unsetenv("TESSEL_FW_TEST_NONE");
    char out[64];
    EXPECT_TRUE(plat_fw_expand_env("%TESSEL_FW_TEST_ROOT%/a%%TESSEL_FW_TEST_NONE%%", out, sizeof out));
    EXPECT_STREQ(out, "/opt/a%%TESSEL_FW_TEST_NONE%%");
    char small[4];
    EXPECT_FALSE(plat_fw_expand_env("%TESSEL_FW_TEST_ROOT%/x", small, sizeof small));
}

TEST_F(Firewall, VerdictFollowsEnabledProfilesAndRules)
{
    // Every profile off: firewall off, no text, nothing asked.
    for (auto& p : fake.profiles)
        p = PLAT_FW_PROFILE_OFF;
    fw_ensure_rule(1.0);
    EXPECT_EQ(fw_state()->result, FW_OFF);
    EXPECT_STREQ(fw_status_text(), "");
    EXPECT_FALSE(fw_needs_attention());
    EXPECT_EQ(fake.launches, 0);

    // An unreadable profile counts as on; no rules: not allowed.
    fake.profiles[0] = PLAT_FW_PROFILE_UNREADABLE;
    EXPECT_EQ(fw_check(), FW_NOT_ALLOWED);
    fake.profiles[0] = PLAT_FW_PROFILE_ON;
    fake.profiles[1] = PLAT_FW_PROFILE_ON;
    fake.profiles[2] = PLAT_FW_PROFILE_ON;

    // Allowed for the private profile only, while the others are on too.
    fake_firewall_rule(&fake, allow_rule("App=/opt/tessel/tessel|Profile=Private"));
    EXPECT_EQ(fw_check(), FW_NOT_ALLOWED);
    fake.profiles[0] = fake.profiles[2] = PLAT_FW_PROFILE_OFF;
    EXPECT_EQ(fw_check(), FW_ALLOWED);
    fake.profiles[0] = fake.profiles[2] = PLAT_FW_PROFILE_ON;

    // A single port does not count; the range without a program covers everyone.
    fake.rules.clear();
    fake_firewall_rule(&fake, allow_rule("LPort=47482"));
    EXPECT_EQ(fw_check(), FW_NOT_ALLOWED);
    fake_firewall_rule(&fake, allow_rule("LPort=47480-47499"));
    EXPECT_EQ(fw_check(), FW_ALLOWED);

    // Rules for another program, inactive, outbound or UDP rules do not count.
    fake.rules.clear();
    fake_firewall_rule(&fake, allow_rule("App=/usr/bin/other"));
    fake_firewall_rule(&fake, "Action=Allow|Active=FALSE|Dir=In");
    fake_firewall_rule(&fake, "Action=Allow|Active=TRUE|Dir=Out");
    fake_firewall_rule(&fake, "Action=Allow|Active=TRUE|Dir=In|Protocol=17");
    EXPECT_EQ(fw_check(), FW_NOT_ALLOWED);

    // Entries that are not texts are skipped; an error ends the walk.
    fake.rules.clear();
    fake.rules.push_back({PLAT_FW_ENTRY_SKIP, ""});
    fake_firewall_rule(&fake, allow_rule(""));
    EXPECT_EQ(fw_check(), FW_ALLOWED);
    fake.rules.insert(fake.rules.begin(), {PLAT_FW_ENTRY_ERROR, ""});
    EXPECT_EQ(fw_check(), FW_NOT_ALLOWED);

    // An unreadable rule list counts as not allowed.
    fake.rules_readable = false;
    EXPECT_EQ(fw_check(), FW_NOT_ALLOWED);
}

TEST_F(Firewall, BlockRulesWinOverAllowRules)
{
    fake_firewall_rule(&fake, allow_rule(""));
    fake_firewall_rule(&fake, block_rule(""));               // no port, no program: no effect
    EXPECT_EQ(fw_check(), FW_ALLOWED);
    fake_firewall_rule(&fake, block_rule("App=/usr/bin/other|LPort=1-65535"));
    EXPECT_EQ(fw_check(), FW_ALLOWED);
    fake_firewall_rule(&fake, block_rule("LPort=47000-48000|Profile=Public"));
    EXPECT_EQ(fw_check(), FW_BLOCKED);
    fake.profiles[2] = PLAT_FW_PROFILE_OFF;                  // its profile is off
    EXPECT_EQ(fw_check(), FW_ALLOWED);

    fake.rules.pop_back();
    fake_firewall_rule(&fake, block_rule("App=/opt/tessel/tessel"));
    EXPECT_EQ(fw_check(), FW_BLOCKED);
}

TEST_F(Firewall, AsksOncePerOnAirPeriodAndWatchesTheCommand)
{
    EXPECT_FALSE(fw_was_checked());
    EXPECT_STREQ(fw_status_text(), "");
    fw_ensure_rule(10.0);
    EXPECT_TRUE(fw_was_checked());
    EXPECT_EQ(fake.launches, 1);
    EXPECT_EQ(fake.program_run, "cmd.exe");
    EXPECT_EQ(fake.verb, "runas");
    EXPECT_EQ(fake.params,
              "/c netsh advfirewall firewall delete rule name=\"TideCoil stream\" & "
              "netsh advfirewall firewall delete rule name=all dir=in program=\"/opt/tessel/tessel\" & "
              "netsh advfirewall firewall add rule name=\"TideCoil stream\" dir=in action=allow "
              "protocol=TCP localport=47480-47499 profile=any");
    EXPECT_EQ(fw_state()->elevation, FW_ELEVATION_ASKING);
    EXPECT_STREQ(fw_status_text(), "ASKING WINDOWS...");
    EXPECT_TRUE(fw_needs_attention());

    // While the command runs nothing is checked.
    int checks = fake.checks;
    fw_poll(100.0);
    EXPECT_EQ(fake.checks, checks);

    // It finishes having added the rule: reaped, checked at once, allowed.
    fake_firewall_rule(&fake, allow_rule("LPort=47480-47499"));
    fake.running = false;
    fw_poll(101.0);
    EXPECT_EQ(fake.closes, 1);
    EXPECT_EQ(fw_state()->elevation, FW_ELEVATION_DONE);
    EXPECT_EQ(fw_state()->result, FW_ALLOWED);
    EXPECT_FALSE(fw_needs_attention());
    EXPECT_STREQ(fw_status_text(), "");
    checks = fake.checks;
    fw_poll(200.0);                                           // allowed: no re-checks
    EXPECT_EQ(fake.checks, checks);

    // Off air and on again: checked afresh, and asked again only when needed.
    fw_reset();
    EXPECT_FALSE(fw_was_checked());
    EXPECT_STREQ(fw_status_text(), "");
    fake.rules.clear();
    fake.running = true;
    fw_ensure_rule(300.0);
    EXPECT_EQ(fake.launches, 2);
    fw_ensure_rule(301.0);                                    // asked already this period
    EXPECT_EQ(fake.launches, 2);
}

TEST_F(Firewall, RefusedAskIsNotRepeatedAndRechecksEveryFourSeconds)
{
    fake.launch = PLAT_FW_LAUNCH_DECLINED;
    fw_ensure_rule(10.0);
    EXPECT_EQ(fw_state()->elevation, FW_ELEVATION_DECLINED);
    EXPECT_STREQ(fw_status_text(), kBlocked);
    EXPECT_TRUE(fw_needs_attention());
    fw_ensure_rule(11.0);
    EXPECT_EQ(fake.launches, 1);

    int checks = fake.checks;
    fw_poll(14.9);
    EXPECT_EQ(fake.checks, checks);
    fw_poll(15.0);
    EXPECT_EQ(fake.checks, checks + 1);
    // The user adds the rule by hand: the next re-check clears the words.
    fake_firewall_rule(&fake, allow_rule(""));
    fw_poll(19.0);
    EXPECT_STREQ(fw_status_text(), "");
    EXPECT_FALSE(fw_needs_attention());

    // A failed launch reads the same way.
    fake.rules.clear();
    fake.launch = PLAT_FW_LAUNCH_FAILED;
    fw_reset();
    fw_ensure_rule(30.0);
    EXPECT_EQ(fake.launches, 2);
    EXPECT_EQ(fw_state()->elevation, FW_ELEVATION_FAILED);
    EXPECT_STREQ(fw_status_text(), kBlocked);
}

TEST_F(Firewall, LaunchWithNothingToWatchChecksOnTheNextPoll)
{
    fake.launch = PLAT_FW_LAUNCH_NO_PROCESS;
    fw_ensure_rule(10.0);
    EXPECT_EQ(fw_state()->elevation, FW_ELEVATION_DONE);
    fake_firewall_rule(&fake, allow_rule(""));
    fw_poll(10.1);
    EXPECT_EQ(fw_state()->result, FW_ALLOWED);
}

TEST_F(Firewall, ProgramPathTooLongNamesNoProgram)
{
    fake.program = "/" + std::string(600, 'x');
    fake_firewall_rule(&fake, allow_rule("App=" + fake.program));
    EXPECT_EQ(fw_check(), FW_NOT_ALLOWED);
    fw_ensure_rule(0.0);
    EXPECT_NE(fake.params.find("program=\"\""), std::string::npos);
}

TEST(FirewallLinux, NoFirewallBlocksListeners)
{
    fw_set_backend(nullptr);
    fw_ensure_rule(0.0);
    EXPECT_EQ(fw_state()->result, FW_OFF);
    EXPECT_FALSE(fw_needs_attention());
    EXPECT_STREQ(fw_status_text(), "");
    EXPECT_EQ(fw_state()->elevation, FW_ELEVATION_NONE);
    fw_reset();
}

}  // namespace
