// cloud_client.cpp - the cloud client against a local stand-in service (HTTPS with a
// certificate made for the run, and plain HTTP) and a stand-in browser run by
// xdg-open. Exits 77 when openssl, /usr/bin/python3 or xdg-open is missing.
//
// Interface functions and the cases that call them: cloud_sign_in, cloud_state,
// cloud_status_text, cloud_user_text (sign-in cases); cloud_refresh (refresh cases);
// cloud_sign_out (after the refresh cases, and during a sign-in); cloud_is_busy
// (every case); cloud_progress, cloud_start_job, cloud_post_result, cloud_http_request
// (a second job is refused); cloud_format_path, cloud_url_encode, cloud_error_text
// (formatting).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "library/cloud.h"
#include "platform/plat_http.h"
#include "platform/plat_net.h"
#include "rig/json_read.h"
#include "support/test_proc.h"
#include "support/test_wait.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static std::string g_dir, g_cert;
static int g_https = 0, g_plain = 0, g_scenario_id = 0;
static uint16_t g_callback_port = 0;   // of the client made last

static double ms_since(Clock::time_point t)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - t).count();
}

static std::string read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

static std::string fill(std::string text)
{
    for (auto p : {std::pair{"{HTTPS}", g_https}, {"{PLAIN}", g_plain}, {"{CB}", (int)g_callback_port}})
        for (size_t at; (at = text.find(p.first)) != std::string::npos;)
            text.replace(at, std::strlen(p.first), std::to_string(p.second));
    return text;
}

// A new scenario; the browser's and the HTTPS port's logs start empty. The plain
// port's log is never emptied: it must stay absent all through the run.
static void scenario(const std::string& routes, bool silent = false)
{
    std::ofstream(g_dir + "/scenario.json") << "{\"id\":" << ++g_scenario_id << ",\"silent\":"
                                            << (silent ? "true" : "false") << ",\"routes\":[" << fill(routes) << "]}";
    for (const char* log : {"/https.log", "/browser.log"})
        fs::remove(g_dir + log);
}

struct Logged {
    std::string kind, path, body;
};

// The HTTPS port's log, those entries whose path holds part.
static std::vector<Logged> service_log(const char* part = "")
{
    std::vector<Logged> out;
    std::istringstream lines(read_file(g_dir + "/https.log"));
    for (std::string line; std::getline(lines, line);) {
        JsonValue doc, v;
        Logged l;
        char buf[65536];
        json_parse(line.data(), line.size(), &doc, nullptr, 0);
        for (auto [key, field] : {std::pair{"kind", &l.kind}, {"path", &l.path}, {"body", &l.body}})
            if (json_find_member(doc, key, &v) && json_get_string(v, buf, sizeof buf, nullptr))
                *field = buf;
        if (l.path.find(part) != std::string::npos)
            out.push_back(l);
    }
    return out;
}

static uint16_t free_port()
{
    PlatSocket s;
    uint16_t port = 0;
    plat_net_listen_loopback(0, 1, &s, &port, nullptr);
    plat_net_close(s);
    return port;
}

static CloudClient* make_client(const char* api = "k+/=")
{
    CloudClient* c = cloud_create("iCloud.test", "development", api);
    cloud_set_endpoint(c, ("https://127.0.0.1:" + std::to_string(g_https)).c_str());
    cloud_set_ca_file(c, g_cert.c_str());
    g_callback_port = free_port();
    cloud_set_callback_port(c, g_callback_port);
    return c;
}

static bool wait_idle(CloudClient* c)
{
    return test_wait_until([&] { return !cloud_is_busy(c); });
}

// The redirect to the sign-in page, which sends the browser on to the callback
// address ending in tail; users/current with a query holding check then answers.
static void browser_scenario(const std::string& tail, const std::string& check)
{
    scenario(R"({"path":"users/current","lacks":["ckWebAuthToken"],"replies":[{"status":421,
        "json":{"redirectURL":"https://127.0.0.1:{HTTPS}/signin"}}]},
      {"path":"/signin","replies":[{"status":302,"headers":{"Location":"http://127.0.0.1:{CB})" + tail + R"("}}]},
      {"path":"users/current","has":[")" + check + R"("],"replies":[{"json":{"userRecordName":"_u1"}}]})");
}

static CloudClient* signed_in_client(const std::string& token)
{
    CloudClient* c = make_client();
    browser_scenario("/ck?ckWebAuthToken=" + token, "ckWebAuthToken=" + token);
    EXPECT_TRUE(cloud_sign_in(c));
    EXPECT_TRUE(wait_idle(c));
    EXPECT_EQ(cloud_state(c), CLOUD_STATE_SIGNED_IN);
    return c;
}

// ---- Formatting -------------------------------------------------------------------

TEST(CloudClient, FormatsPathsEncodingsAndErrorTexts)
{
    char out[256];
    EXPECT_EQ(cloud_url_encode("a+b/c=d e~", out, sizeof out), 18u);
    EXPECT_STREQ(out, "a%2Bb%2Fc%3Dd%20e~");
    EXPECT_EQ(cloud_url_encode("a/b", out, 5), 5u);
    EXPECT_STREQ(out, "a%2F");                       // whole escapes only
    EXPECT_EQ(cloud_url_encode("a/b", out, 3), 5u);
    EXPECT_STREQ(out, "a");

    const char* error = R"({"serverErrorCode":"INTERNAL_ERROR","reason":"boom"})";
    EXPECT_TRUE(cloud_error_text(error, std::strlen(error), 500, out, sizeof out));
    EXPECT_STREQ(out, "HTTP 500  INTERNAL_ERROR: BOOM");
    EXPECT_FALSE(cloud_error_text("<html>", 6, 500, out, sizeof out));
    EXPECT_STREQ(out, "HTTP 500");

    // The failure table, by library codes alone: no lookup is made.
    struct { long code; bool too_big; const char* text; } codes[] = {
        {7, false, "CANNOT CONNECT"},      {28, false, "TIMED OUT"},          {6, false, "NO DNS"},
        {52, false, "NO RESPONSE (52)"},   {56, false, "NO RESPONSE (56)"},   {18, false, "NO RESPONSE (18)"},
        {23, true, "RESPONSE TOO BIG"},    {27, false, "OUT OF MEMORY"},      {1, false, "REQUEST FAILED (1)"},
        {35, false, "SEND FAILED (35)"},   {60, false, "SEND FAILED (60)"},
    };
    for (auto& k : codes) {
        cloud_transfer_error_text(plat_http_failure_of(k.code, k.too_big, false), k.code, out, sizeof out);
        EXPECT_STREQ(out, k.text) << k.code;
    }

    // Both tokens in a path, after a sign-in that hands over "w+/=".
    CloudClient* c = signed_in_client("w%2B%2F%3D");
    ASSERT_TRUE(cloud_format_path(c, "private", "zones/list", true, out, sizeof out));
    EXPECT_STREQ(out, "/database/1/iCloud.test/development/private/zones/list?ckAPIToken=k%2B%2F%3D"
                      "&ckWebAuthToken=w%2B%2F%3D");
    ASSERT_TRUE(cloud_format_path(c, "shared", "zones/list", false, out, sizeof out));
    EXPECT_STREQ(out, "/database/1/iCloud.test/development/shared/zones/list?ckAPIToken=k%2B%2F%3D");
    EXPECT_FALSE(cloud_format_path(c, "private", "zones/list", true, out, 40));
    EXPECT_STREQ(out, "");
    cloud_destroy(c);
}

// ---- Sign-in ----------------------------------------------------------------------

TEST(CloudClient, SignsInThroughTheBrowser)
{
    std::string long_token(1300, 'x');
    struct {
        const char* name;
        std::string tail, server_sees;
        bool preconnect;
        const char* browser_saw;
    } cases[] = {
        {"query, decoded then encoded again", "/ck?ckWebAuthToken=a%2Bb+c", "ckWebAuthToken=a%2Bb%20c", false,
         "favicon 404"},
        {"token in the fragment", "/ck#ckWebAuthToken=frag1", "ckWebAuthToken=frag1", false, "script 200"},
        {"an idle preconnect first", "/ck?ckWebAuthToken=pre1", "ckWebAuthToken=pre1", true, "callback 200"},
        {"a 1,300-byte token", "/?ckWebAuthToken=" + long_token, "ckWebAuthToken=" + long_token, false,
         "callback 200"},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(k.name);
        CloudClient* c = make_client();
        browser_scenario(k.tail, k.server_sees);
        if (k.preconnect)
            setenv("FAKE_BROWSER_PRECONNECT", "1", 1);
        EXPECT_EQ(cloud_state(c), CLOUD_STATE_READY);
        ASSERT_TRUE(cloud_sign_in(c));
        ASSERT_TRUE(wait_idle(c));
        unsetenv("FAKE_BROWSER_PRECONNECT");
        EXPECT_STREQ(cloud_status_text(c), "SIGNED IN");
        EXPECT_STREQ(cloud_user_text(c), "_u1");
        EXPECT_EQ(cloud_state(c), CLOUD_STATE_SIGNED_IN);
        auto log = service_log();
        ASSERT_EQ(log.size(), 3u);       // users/current, the sign-in page, users/current with the token
        EXPECT_TRUE(log[2].path.ends_with(k.server_sees)) << log[2].path.substr(0, 200);
        // The stand-in browser logs a step once it has read the answer.
        EXPECT_TRUE(test_wait_until([&] { return read_file(g_dir + "/browser.log").find(k.browser_saw) != std::string::npos; }))
            << read_file(g_dir + "/browser.log");
        for (auto& e : fs::recursive_directory_iterator(g_dir + "/home"))   // no token on disk
            EXPECT_EQ(read_file(e.path()).find(k.server_sees.substr(15)), std::string::npos) << e.path();
        cloud_destroy(c);
    }
}

TEST(CloudClient, SignOutDuringTheCallbackWaitCancelsAtOnce)
{
    scenario(R"({"path":"users/current","replies":[{"status":421,
        "json":{"redirectURL":"https://127.0.0.1:{HTTPS}/signin"}}]}, {"path":"/signin","replies":[{"text":"wait"}]})");
    CloudClient* c = make_client();
    ASSERT_TRUE(cloud_sign_in(c));
    test_wait_until([&] { return std::string(cloud_status_text(c)) == "SIGN IN IN THE BROWSER..."; });
    uint16_t port = cloud_callback_port(c);
    ASSERT_NE(port, 0);
    cloud_sign_out(c);
    ASSERT_TRUE(wait_idle(c)) << "the wait for the browser's callback was not cancelled";
    EXPECT_STREQ(cloud_status_text(c), "SIGN-IN CANCELLED");
    EXPECT_EQ(cloud_state(c), CLOUD_STATE_READY);
    PlatSocket again;
    EXPECT_EQ(plat_net_listen_loopback(port, 1, &again, nullptr, nullptr), 0);   // the worker closed it
    plat_net_close(again);
    cloud_destroy(c);
}

// ---- Refresh ----------------------------------------------------------------------

static std::string zones_reply(const char* database, const char* zones)
{
    return std::string(R"({"path":"/)") + database + R"(/zones/list","replies":[{"json":{"zones":[)" + zones +
           "]}}]}";
}

static std::string changes(const char* database, const char* replies)
{
    return std::string(R"({"path":"/)") + database + R"(/changes/zone","replies":[)" + replies + "]}";
}

static CloudRecord record(CloudClient* c, int i)
{
    CloudRecord r = {};
    cloud_record_at(c, i, &r);
    return r;
}

TEST(CloudClient, RefreshReadsZonesAndRecordsThenSignOutForgetsThem)
{
    CloudClient* c = signed_in_client("tok");
    const std::string z1 = zones_reply("private", R"({"zoneID":{"zoneName":"Z1"}})") + ",";
    const char* records = R"({"json":{"zones":[{"records":[
        {"recordName":"r1","fields":{"slug":{"type":"STRING","value":"S"},"title":{"type":"STRING","value":"T"}}},
        {"recordName":"r2","fields":{"other":{"type":"STRING","value":"O"},"label":{"type":"STRING","value":"L"}}},
        {"recordName":"r3","fields":{"other":{"type":"STRING","value":"O"},"more":{"type":"STRING","value":"M"}}},
        {"recordName":"r4","deleted":true,"fields":{"name":{"type":"STRING","value":"gone"}}},
        {"recordName":"r5","recordType":"Take","modified":{"timestamp":1700000000123},"fields":{"n":{"type":"INT64",
         "value":5},"file":{"type":"ASSETID","value":{"size":1234,"downloadURL":"https://dl/a"}}}}, 7,
        {"recordName":"r6","fields":{"displayName":{"type":"STRING","value":"D"},"fileName":{"type":"STRING","value":"F"}}}
        ]}]}})";
    const std::string page = R"({"json":{"zones":[{"records":[{"recordName":"p1"}],"moreComing":true,"syncToken":"s1"}]}},
                                {"json":{"zones":[{"records":[{"recordName":"p2"}],"moreComing":false}]}})";
    // records and pages: the records kept and the changes/zone requests made (-1: not looked at).
    struct {
        const char* name;
        std::string routes;
        const char* status;
        int records, pages;
        std::function<void()> check;
    } cases[] = {
        {"private zones, the default zone skipped",
         zones_reply("private", R"({"zoneID":{"zoneName":"Z1"}},{"zoneID":{"zoneName":"_defaultZone"}},
            {"zoneID":{"zoneName":"Z2"}})") + "," +
             changes("private", R"({"json":{"zones":[{"records":[{"recordName":"a"}]}]}})") +
             R"(,{"path":"/shared/","replies":[{"status":404,"text":""}]})",
         "SIGNED IN", 2, 2,
         [&] {
             char name[40];
             EXPECT_EQ(cloud_zone_count(c), 2);
             EXPECT_TRUE(cloud_zone_name(c, 1, name, sizeof name) && std::strcmp(name, "Z2") == 0);
         }},
        {"shared zones name their owner", zones_reply("private", "") + "," +
             zones_reply("shared", R"({"zoneID":{"zoneName":"S1","ownerRecordName":"_o1"}})") + "," +
             changes("shared", R"({"json":{"zones":[{"records":[{"recordName":"s"}]}]}})"),
         "SIGNED IN", 1, 1,
         [&] {
             EXPECT_EQ(service_log("/changes/zone")[0].body,
                       R"({"zones":[{"zoneID":{"zoneName":"S1","ownerRecordName":"_o1"},"resultsLimit":200}]})");
             EXPECT_EQ(record(c, 0).shared, 1);
         }},
        {"pages follow moreComing and the sync token",
         zones_reply("private", R"({"zoneID":{"zoneName":"a\"b\\c"}})") + "," + changes("private", page.c_str()),
         "SIGNED IN", 2, 2,
         [&] {
             auto posts = service_log("/changes/zone");
             EXPECT_EQ(posts[0].body, R"({"zones":[{"zoneID":{"zoneName":"a\"b\\c"},"resultsLimit":200}]})");
             EXPECT_EQ(posts[1].body,
                       R"({"zones":[{"zoneID":{"zoneName":"a\"b\\c"},"resultsLimit":200,"syncToken":"s1"}]})");
         }},
        {"a missing zone is quiet", z1 + changes("private", R"({"json":{"zones":[{"serverErrorCode":"ZONE_NOT_FOUND"}]}})"),
         "SIGNED IN", 0, 1},
        {"another zone error names the zone",
         z1 + changes("private", R"({"json":{"zones":[{"serverErrorCode":"BAD_REQUEST"}]}})"), "Z1: BAD_REQUEST", 0, 1},
        {"records: deleted skipped, display names, assets", z1 + changes("private", records), "SIGNED IN", 5, 1,
         [&] {
             const char* names[] = {"T", "L", "O", "r5", "F"};
             for (int i = 0; i < 5; i++)
                 EXPECT_STREQ(record(c, i).display_name, names[i]);
             CloudRecord r = record(c, 3);
             EXPECT_EQ(r.asset_size, 1234);
             EXPECT_STREQ(r.asset_url, "https://dl/a");
             EXPECT_STREQ(r.record_type, "Take");
             EXPECT_DOUBLE_EQ(r.modified, 1700000000123.0);
         }},
        {"4,096 records over 21 pages", z1 + changes("private", R"({"gen":"pages","total":4096})"), "SIGNED IN",
         4096, 21},
        {"at most 200 pages", z1 + changes("private", R"({"gen":"pages","total":0,"always_more":true})"),
         "SIGNED IN", 4096, 200},
        {"421", R"({"path":"zones/list","replies":[{"status":421,"text":""}]})", "SESSION EXPIRED - SIGN IN", 0, 0},
        {"authentication required", R"({"path":"zones/list","replies":[{"status":401,
             "json":{"serverErrorCode":"AUTHENTICATION_REQUIRED"}}]})", "SESSION EXPIRED - SIGN IN", 0, 0},
        {"a failing shared database is ignored",
         zones_reply("private", "") + R"(,{"path":"/shared/","replies":[{"status":500,"text":""}]})", "SIGNED IN", 0, 0},
        {"zones/list not JSON", R"({"path":"zones/list","replies":[{"text":"<html>"}]})", "BAD RESPONSE", 0, 0},
        {"zones/list without zones", R"({"path":"zones/list","replies":[{"json":{"zone":[]}}]})", "BAD RESPONSE", 0, 0},
        {"changes/zone without zones", z1 + changes("private", R"({"json":{"records":[]}})"), "BAD RESPONSE", 0, 1},
        {"a redirect to plain HTTP is not followed",
         R"({"path":"zones/list","replies":[{"status":302,"headers":{"Location":"http://127.0.0.1:{PLAIN}/x"}}]})",
         "HTTP 302", 0, 0},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(k.name);
        scenario(k.routes);
        auto t = Clock::now();
        ASSERT_TRUE(cloud_refresh(c));
        // The UI's reads each frame, while the worker appends (also run under TSan).
        std::atomic<bool> stop{false};
        std::atomic<int> torn{0};
        std::thread ui([&] {
            CloudRecord r;
            char name[40];
            for (; !stop.load(); std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
                int32_t n = cloud_record_count(c);
                torn += n > 0 && cloud_record_at(c, n - 1, &r) && !r.record_name[0];
                cloud_zone_name(c, 0, name, sizeof name);
                cloud_status_text(c);
            }
        });
        EXPECT_TRUE(wait_idle(c));
        stop = true;
        ui.join();
        if (k.pages == 21)
            std::printf("[ figure ] a refresh of 4,096 records over 21 pages: %.0f ms\n", ms_since(t));
        EXPECT_EQ(torn.load(), 0);
        EXPECT_STREQ(cloud_status_text(c), k.status);
        EXPECT_EQ(cloud_record_count(c), k.records);
        ASSERT_EQ(service_log("/changes/zone").size(), (size_t)k.pages);
        if (k.check)
            k.check();
    }
    EXPECT_FALSE(cloud_set_endpoint(c, ("http://127.0.0.1:" + std::to_string(g_plain)).c_str()));

    cloud_sign_out(c);
    EXPECT_STREQ(cloud_status_text(c), "SIGN IN");
    EXPECT_STREQ(cloud_user_text(c), "");
    EXPECT_EQ(cloud_state(c), CLOUD_STATE_READY);
    EXPECT_FALSE(cloud_refresh(c));   // the token is gone
    std::string session = g_dir + "/home/.config/TideCoil/cloud-session.ini";   // the roaming folder
    struct stat st;
    EXPECT_EQ(read_file(session), "token=\nuser=\n");
    EXPECT_TRUE(stat(session.c_str(), &st) == 0 && (st.st_mode & 0777) == 0600);
    cloud_destroy(c);
}

// ---- Answers and failures ------------------------------------------------------

static size_t status_kb(const char* key)
{
    std::istringstream lines(read_file("/proc/self/status"));
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(key, 0) == 0)
            return std::strtoul(line.c_str() + std::strlen(key), nullptr, 10);
    return 0;
}

// Every answer to the first request and every way it can fail, each with its one text;
// no job is left running after any.
TEST(CloudClient, EachAnswerAndFailureHasItsText)
{
    enum { ANSWER, NO_API_TOKEN, FILE_URL, PORT_TAKEN, CLOSED_PORT, SILENT, UNTRUSTED, ENDLESS };
    struct { int how; const char* reply; const char* text; const char* user; } cases[] = {
        {ANSWER, R"({"json":{"userRecordName":"_u0"}})", "SIGNED IN", "_u0"},
        {ANSWER, R"({"status":401,"text":""})", "API TOKEN REFUSED", ""},
        {ANSWER, R"({"status":403,"text":""})", "API TOKEN REFUSED", ""},
        {ANSWER, R"({"status":421,"json":{}})", "NO SIGN-IN URL", ""},
        {ANSWER, R"({"status":421,"text":"{\"redirectURL\":"})", "NO SIGN-IN URL", ""},
        {FILE_URL, R"({"status":421,"json":{"redirectURL":"file:///etc/passwd"}})", "NO SIGN-IN URL", ""},
        {NO_API_TOKEN, "{}", "NO API TOKEN", ""},
        {PORT_TAKEN, R"({"status":421,"json":{"redirectURL":"https://127.0.0.1:{HTTPS}/signin"}})", "", ""},
        {CLOSED_PORT, "{}", "CANNOT CONNECT", ""},
        {SILENT, "{}", "TIMED OUT", ""},
        {ANSWER, R"({"action":"close"})", "NO RESPONSE (52)", ""},
        {ANSWER, R"({"action":"short"})", "NO RESPONSE (18)", ""},
        {ANSWER, R"({"action":"reset"})", "NO RESPONSE (56)", ""},
        {UNTRUSTED, R"({"json":{}})", "SEND FAILED (60)", ""},
        {ANSWER, R"({"action":"big","size":17825792})", "RESPONSE TOO BIG", ""},
        {ENDLESS, R"({"action":"endless"})", "RESPONSE TOO BIG", ""},
    };
    for (auto& k : cases) {
        SCOPED_TRACE(k.reply);
        scenario(std::string(R"({"path":"users/current","replies":[)") + k.reply + "]}", k.how == SILENT);
        CloudClient* c = make_client(k.how == NO_API_TOKEN ? "" : "k");
        std::string text = k.text;
        PlatSocket taken = PLAT_SOCKET_INVALID;
        if (k.how == PORT_TAKEN) {
            ASSERT_EQ(plat_net_listen_loopback(g_callback_port, 1, &taken, nullptr, nullptr), 0);
            text = "CALLBACK PORT " + std::to_string(g_callback_port) + " BUSY";
        }
        if (k.how == CLOSED_PORT)
            cloud_set_endpoint(c, ("https://127.0.0.1:" + std::to_string(free_port())).c_str());
        if (k.how == SILENT)
            cloud_set_timeouts(c, 1000, 1000);
        if (k.how == UNTRUSTED)
            cloud_set_ca_file(c, "");
        plat_http_reset_peak();
        std::ofstream("/proc/self/clear_refs") << "5";   // restarts the peak RSS
        size_t rss_before = status_kb("VmRSS:");
        auto t = Clock::now();
        ASSERT_EQ(cloud_sign_in(c), k.how != NO_API_TOKEN);
        ASSERT_TRUE(wait_idle(c));
        EXPECT_EQ(cloud_status_text(c), text);
        EXPECT_EQ(cloud_state(c), k.how == NO_API_TOKEN ? CLOUD_STATE_NO_API_TOKEN : CLOUD_STATE_READY);
        EXPECT_STREQ(cloud_user_text(c), k.user);
        plat_net_close(taken);
        if (k.how == FILE_URL) {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            EXPECT_FALSE(fs::exists(g_dir + "/browser.log"));   // the stand-in browser never ran
        }
        if (k.how == UNTRUSTED) {
            EXPECT_TRUE(service_log().empty());   // the handshake failed before any request
        }
        if (k.how == ENDLESS) {
            std::printf("[ figure ] the endless body cut off after %.0f ms\n", ms_since(t));
            EXPECT_LE(plat_http_peak_capacity(), 16777472u);
            std::printf("[ figure ] peak RSS growth during the endless body: %zu KiB\n",
                        status_kb("VmHWM:") - std::min(rss_before, status_kb("VmHWM:")));
            bool closed = test_wait_until([&] {
                for (auto& l : service_log())
                    if (l.kind == "closed")
                        return true;
                return false;
            }, [] {}, 10);
            EXPECT_TRUE(closed);
        }
        cloud_destroy(c);
    }
}

// ---- Lifecycle ------------------------------------------------------------------

static void stalled_request(CloudClient* c)
{
    char path[512], err[160];
    cloud_format_path(c, "private", "users/current", false, path, sizeof path);
    char* body = nullptr;
    size_t len = 0;
    int status = cloud_http_request(c, "GET", path, nullptr, &body, &len, err, sizeof err);
    std::free(body);
    cloud_post_result(c, status == 200, status ? "ANSWERED" : err);
}

TEST(CloudClient, OneJobAtATimeAndDestroyStopsARequestInFlight)
{
    scenario(R"({"path":"users/current","replies":[{"action":"stall"}]})");
    CloudClient* c = make_client();
    cloud_set_timeouts(c, 0, 2 * TEST_WAIT_SECONDS * 1000);   // left alone, the request waits this long
    ASSERT_TRUE(cloud_start_job(c, CLOUD_JOB_SIGN_IN, stalled_request));
    EXPECT_FALSE(cloud_sign_in(c));
    EXPECT_FALSE(cloud_start_job(c, CLOUD_JOB_REFRESH, stalled_request));
    EXPECT_EQ(cloud_state(c), CLOUD_STATE_BUSY);
    EXPECT_EQ(cloud_progress(c), -1.0f);
    test_wait_until([] { return !service_log().empty(); }, [] {}, 10);
    auto t = Clock::now();
    cloud_destroy(c);
    EXPECT_LE(ms_since(t), TEST_WAIT_SECONDS * 1000.0) << "the destroy waited for the stalled request";
}

// ---- The stand-ins ------------------------------------------------------------

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (!testproc_available("openssl") || !testproc_available("xdg-open") || access("/usr/bin/python3", X_OK) != 0) {
        std::printf("cloud_client: openssl, /usr/bin/python3 or xdg-open is missing; skipped\n");
        return 77;
    }
    char tmpl[] = "/tmp/tessel-cloud-XXXXXX";
    if (!mkdtemp(tmpl))
        return 1;
    g_dir = tmpl;
    g_cert = g_dir + "/cert.pem";
    std::string key = g_dir + "/key.pem";
    for (const char* sub : {"/home/.config", "/home/.local/share", "/home/.cache"})
        fs::create_directories(g_dir + sub);
    const char* req[] = {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                         "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                         "-keyout", key.c_str(), "-out", g_cert.c_str(), nullptr};
    if (testproc_run(req, 30000) != 0)
        return 1;
    const char* clear[] = {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "DESKTOP_SESSION", "KDE_FULL_SESSION",
                           "GNOME_DESKTOP_SESSION_ID", "http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY",
                           "ALL_PROXY", "all_proxy", "NO_PROXY", "no_proxy", "FAKE_BROWSER_PRECONNECT", "APPDATA"};
    for (const char* name : clear)
        unsetenv(name);
    std::string scripts = TESSEL_CLOUD_SCRIPTS;
    for (auto [name, value] : {std::pair{"HOME", g_dir + "/home"}, {"XDG_CONFIG_HOME", g_dir + "/home/.config"},
                               {"XDG_DATA_HOME", g_dir + "/home/.local/share"},
                               {"XDG_CACHE_HOME", g_dir + "/home/.cache"}, {"BROWSER", scripts + "/fake_browser.py"},
                               {"FAKE_BROWSER_CA", g_cert}, {"FAKE_BROWSER_LOG", g_dir + "/browser.log"}})
        setenv(name, value.c_str(), 1);
    std::string server_script = scripts + "/cloud_fake_server.py";
    const char* server[] = {"/usr/bin/python3", server_script.c_str(), g_dir.c_str(), g_cert.c_str(), key.c_str(),
                            nullptr};
    TestChild child(server);
    for (int i = 0; i < 1000 && !fs::exists(g_dir + "/ports"); i++)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (std::sscanf(read_file(g_dir + "/ports").c_str(), "%d %d", &g_https, &g_plain) != 2)
        return 1;
    int rc = RUN_ALL_TESTS();
    if (fs::exists(g_dir + "/plain.log")) {
        std::printf("cloud_client: a request reached the plain HTTP port\n");
        rc = 1;
    }
    fs::remove_all(g_dir);
    return rc;
}
