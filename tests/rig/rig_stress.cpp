// rig_stress.cpp - several running copies on one rig file, as separate processes.
//   rig_stress store FOLDER    four writers and a lock-less observer; again with a
//                              fifth writer killed at a random moment; a writer killed
//                              inside its save; a lock held by util-linux flock for 3 s
//   rig_stress session FOLDER  four processes each running a RigSession on one device
// The other modes are the children these start. Exit 0 when every condition holds;
// each failure is printed.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/plat_named_lock.h"
#include "platform/plat_time.h"
#include "rig/rigsession.h"
#include "rig/rigstore.h"
#include "tests/support/flock_holder.h"
#include "tests/support/test_wait.h"

namespace fs = std::filesystem;

static const char kKey[] = "alsa:Stress";
static const int kEdits = 300;
static int g_failures = 0;
static std::string g_self, g_log;

#define CHECK(cond, ...)                                                                                  \
    do {                                                                                                  \
        if (!(cond)) {                                                                                    \
            printf("FAIL: " __VA_ARGS__);                                                                 \
            printf("\n");                                                                                 \
            g_failures++;                                                                                 \
        }                                                                                                 \
    } while (0)

static void keep_log(void*, const char* text)
{
    g_log += text;
    g_log += "\n";
}

static RigStore* open_store(const char* folder, const char* app)
{
    RigStoreConfig c{};
    c.folder = folder;
    c.app = app;
    c.log = keep_log;
    c.poll_ms = 200;
    return rigstore_open(&c);
}

static std::string rig_path(const char* folder)
{
    char name[300];
    rig_file_name(kKey, name, sizeof name);
    return std::string(folder) + "/" + name;
}

static std::string read_file(const std::string& p)
{
    std::string text;
    FILE* f = fopen(p.c_str(), "rb");
    char buf[65536];
    size_t n;
    while (f && (n = fread(buf, 1, sizeof buf, f)) > 0)
        text.append(buf, n);
    if (f)
        fclose(f);
    return text;
}

// The file decoded into d; false when it is missing or does not decode cleanly.
static bool decode_file(const char* folder, RigDocument* d)
{
    std::string text = read_file(rig_path(folder));
    char msg[160];
    return !text.empty() && rig_decode(text.data(), text.size(), d, msg, sizeof msg) <= RIG_DECODE_REPAIRED;
}

// The answer to job id, waited for up to a minute.
static bool wait_job(RigStore* s, uint32_t id, RigStoreResult* r)
{
    bool found = false;
    test_wait_until([&] {
        while (!found && rigstore_take_result(s, r)) {
            found = r->job == id;
            if (!found)
                rigstore_result_free(r);
        }
        return found;
    }, [] {}, 1);
    return found;
}

// Loads the rig; a new file gets 8 separate inputs.
static RigDocument* load_doc(RigStore* s)
{
    RigDocument* seed = rig_doc_new();
    rig_doc_init_for_device(seed, kKey, "alsa", "Stress", 8, nullptr, "stress", 1.0);
    for (RigScene& sc : seed->scenes)
        sc.inputs[0].link = 0;
    RigStoreResult r{};
    bool ok = wait_job(s, rigstore_submit_load(s, kKey, seed), &r);
    rig_doc_free(seed);
    return ok ? r.doc : nullptr;
}

// ---- Children ------------------------------------------------------------------------

struct Edit {
    float gain, pan;
    uint8_t muted;
    char label[64];
};

static Edit edit_of(int p, int i)
{
    Edit e{};
    e.gain = 1.0f + 0.009f * (float)(i + 1) + 0.0001f * (float)p;   // above the fresh rig's 1.0
    e.pan = -1.0f + 2.0f * (float)i / (float)kEdits;
    e.muted = (uint8_t)(i & 1);
    snprintf(e.label, sizeof e.label, "p%d-%d", p, i);
    return e;
}

static void hold_forever(void*, const char* temp)
{
    printf("held %s\n", temp);
    fflush(stdout);
    for (;;)
        pause();
}

// writer FOLDER P [hold]: 300 edits of its own fields, each saved with its own mask;
// writer 4 edits scene 2's master gain. Prints its revs and longest lock wait.
static int run_writer(const char* folder, int p, bool hold)
{
    char app[16];
    snprintf(app, sizeof app, "w%d", p);
    RigStore* s = open_store(folder, app);
    RigDocument* d = s ? load_doc(s) : nullptr;
    if (!d)
        return 2;
    if (hold)
        rigstore_set_test_hook(s, hold_forever, nullptr);
    std::mt19937 rng((unsigned)(getpid() * 7919 + p));
    std::map<uint32_t, RigEditMask> masks;
    std::set<int64_t> revs;
    double longest = 0;
    auto drain = [&] {
        RigStoreResult r;
        while (rigstore_take_result(s, &r)) {
            auto it = masks.find(r.job);
            if (it != masks.end()) {
                if (r.status == RIGSTORE_SAVED)
                    revs.insert(r.rev);
                else   // saved again from the current copy, with that mask
                    masks[rigstore_submit_save(s, d, &it->second)] = it->second;
                masks.erase(r.job);
            }
            longest = std::max(longest, r.lock_wait_ms);
            rigstore_result_free(&r);
        }
    };
    int burst = 0;
    for (int i = 0; i < kEdits; i++) {
        Edit e = edit_of(p, i);
        RigEditMask m;
        rig_edit_mask_clear(&m);
        m.any = 1;
        if (p < 4) {
            RigInput& a = d->scenes[0].inputs[p];
            a.gain = e.gain;
            a.pan = e.pan;
            snprintf(a.label, sizeof a.label, "%s", e.label);
            d->scenes[0].inputs[p + 4].muted = e.muted;
            m.inputs[0][p] = RIG_EDIT_GAIN | RIG_EDIT_PAN | RIG_EDIT_LABEL;
            m.inputs[0][p + 4] = RIG_EDIT_MUTED;
        } else {
            d->scenes[1].master_gain = e.gain;
            m.scenes[1] = RIG_EDIT_MASTER;
        }
        masks[rigstore_submit_save(s, d, &m)] = m;
        if (burst > 0)
            burst--;   // back to back: queued saves coalesce
        else if (rng() % 8 == 0)
            burst = 1 + (int)(rng() % 2);
        else
            plat_sleep_ms((int)(rng() % 4));
        drain();
    }
    while (!masks.empty()) {
        drain();
        plat_sleep_ms(1);
    }
    printf("lockwait %.1f revs", longest);
    for (int64_t r : revs)
        printf(" %lld", (long long)r);
    printf("\n");
    rigstore_close(s, 5000);
    rig_doc_free(d);
    return 0;
}

// observer FOLDER STOPFILE: reads and decodes the file without the lock every ms;
// prints its reads, the torn ones, the gains that went down and the revs it saw.
static int run_observer(const char* folder, const char* stop)
{
    RigDocument* d = rig_doc_new();
    float last[4] = {0, 0, 0, 0};
    long reads = 0, bad = 0, down = 0;
    std::set<int64_t> revs;
    for (; access(stop, F_OK) != 0; reads++, plat_sleep_ms(1)) {
        if (!decode_file(folder, d)) {
            bad++;
            continue;
        }
        revs.insert(d->rev);
        for (int p = 0; p < 4; p++) {
            down += d->scenes[0].inputs[p].gain < last[p];
            last[p] = d->scenes[0].inputs[p].gain;
        }
    }
    printf("observer %ld %ld %ld %zu\n", reads, bad, down, revs.size());
    rig_doc_free(d);
    return 0;
}

// sessionwriter FOLDER P: a RigSession on the device edits input P's gain, input
// P + 4's mute and the master gain for 3 s at about 200 Hz, flushes, ticks 2 s more.
static int run_session_writer(const char* folder, int p)
{
    char app[16];
    snprintf(app, sizeof app, "s%d", p);
    RigSessionConfig c{};
    c.app = app;
    c.folder = folder;
    RigSession* s = rigsession_create(&c);
    if (!s)
        return 2;
    RigDeviceInfo dev{};
    snprintf(dev.key, sizeof dev.key, "%s", kKey);
    snprintf(dev.api, sizeof dev.api, "alsa");
    snprintf(dev.name, sizeof dev.name, "Stress");
    dev.inputs_opened = dev.inputs_on_device = 8;
    dev.sample_rate = 48000;
    rigsession_bind(s, &dev);
    double start = plat_time_seconds(), t;
    float gain = 0.0f;
    bool muted = false, flushed = false;
    for (int n = 0; (t = plat_time_seconds() - start) < 5.0; plat_sleep_ms(5)) {
        rigsession_tick(s, t, 0.0);
        if (t < 3.0 && rigsession_current_doc(s) && ++n % 7 == 0) {
            gain = 0.1f + 0.002f * (float)n + 0.0001f * (float)p;
            muted = !muted;
            rigsession_set_input_gain(s, p, gain);
            rigsession_set_muted(s, p + 4, muted);
            rigsession_set_master_gain(s, 0.5f + 0.001f * (float)n);
        }
        if (t >= 3.0 && !flushed)
            flushed = rigsession_flush(s, 1000) || true;
    }
    const RigDocument* d = rigsession_current_doc(s);
    if (!d)
        return 3;
    printf("own %.6f %d\ndoc", gain, muted ? 1 : 0);
    for (int i = 0; i < 4; i++)
        printf(" %.6f %d", d->scenes[0].inputs[i].gain, d->scenes[0].inputs[i + 4].muted);
    printf(" %.6f\n", d->scenes[0].master_gain);
    rigsession_destroy(s);
    return 0;
}

// ---- Parent ---------------------------------------------------------------------------

struct Child {
    pid_t pid;
    FILE* out;
};

static Child spawn(std::vector<std::string> args)
{
    int fds[2];
    if (pipe(fds) != 0)
        return Child{-1, nullptr};
    fflush(stdout);
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv{(char*)g_self.c_str()};
        for (auto& a : args)
            argv.push_back((char*)a.c_str());
        argv.push_back(nullptr);
        execv(g_self.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    return Child{pid, fdopen(fds[0], "r")};
}

// Everything the child prints, then its exit status (-1 for a signal).
static int finish(Child& c, std::vector<std::string>* lines)
{
    char buf[4096];
    while (c.out && fgets(buf, sizeof buf, c.out))
        if (lines)
            lines->push_back(std::string(buf, strcspn(buf, "\n")));
    if (c.out)
        fclose(c.out);
    int st = 0;
    waitpid(c.pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

static void setup_rig(const char* folder)
{
    fs::remove_all(folder);
    RigStore* s = open_store(folder, "setup");
    RigDocument* d = load_doc(s);
    CHECK(d && d->rev == 1, "the setup load made the rig");
    rig_doc_free(d);
    rigstore_close(s, 5000);
}

// The first temporary file in the folder, "" when there is none. A writer killed with
// SIGKILL inside its save leaves its own (named after its pid): only the next store
// to open removes it, so that one is passed over.
static std::string temp_file_left(const char* folder, pid_t killed)
{
    std::string own = ".tmp." + std::to_string((long)killed);
    for (auto& e : fs::directory_iterator(folder)) {
        std::string n = e.path().filename().string();
        size_t at = n.find(".tmp.");
        if (at != std::string::npos && (killed <= 0 || n.compare(at, std::string::npos, own) != 0))
            return n;
    }
    return "";
}

static void writers_run(const char* folder, bool with_fifth)
{
    setup_rig(folder);
    std::string stop = std::string(folder) + ".stop";
    unlink(stop.c_str());
    Child obs = spawn({"observer", folder, stop});
    std::vector<Child> ws;
    for (int p = 0; p < 4; p++)
        ws.push_back(spawn({"writer", folder, std::to_string(p)}));
    pid_t killed = 0;
    if (with_fifth) {
        Child fifth = spawn({"writer", folder, "4"});
        killed = fifth.pid;
        plat_sleep_ms(300 + (int)(std::random_device{}() % 2500));
        kill(fifth.pid, SIGKILL);
        finish(fifth, nullptr);
    }
    std::set<int64_t> all;
    size_t total = 0;
    double longest = 0;
    for (int p = 0; p < 4; p++) {
        std::vector<std::string> lines;
        CHECK(finish(ws[(size_t)p], &lines) == 0 && !lines.empty(), "writer %d ended well", p);
        for (auto& l : lines) {
            const char* q = l.c_str();
            char* end;
            longest = std::max(longest, strtod(q + 9, &end));
            for (q = end + 5; *q; q = end) {
                long long v = strtoll(q, &end, 10);
                if (end == q)
                    break;
                all.insert(v);
                total++;
            }
        }
    }
    fclose(fopen(stop.c_str(), "w"));
    std::vector<std::string> seen;
    finish(obs, &seen);
    long reads = 0, bad = 1, down = 1, revs_seen = 0;
    sscanf(seen.empty() ? "" : seen[0].c_str(), "observer %ld %ld %ld %ld", &reads, &bad, &down, &revs_seen);
    // However few reads a busy machine allows, they watched the writes go by.
    CHECK(revs_seen > 1 && bad == 0, "every observed read decodes (%ld of %ld torn or missing, %ld revs seen)", bad,
          reads, revs_seen);
    CHECK(down == 0, "no writer's gain goes down (%ld times)", down);
    RigDocument* d = rig_doc_new();
    CHECK(decode_file(folder, d), "the file decodes");
    CHECK(all.size() == total, "the writers' revs are pairwise distinct");
    if (!with_fifth)
        CHECK(!all.empty() && *all.begin() == 2 && *all.rbegin() == d->rev && (int64_t)all.size() == d->rev - 1,
              "the revs are exactly 2..%lld (%zu revs)", (long long)d->rev, all.size());
    for (int p = 0; p < 4; p++) {
        Edit e = edit_of(p, kEdits - 1);
        const RigInput& a = d->scenes[0].inputs[p];
        CHECK(a.gain == e.gain && a.pan == e.pan && strcmp(a.label, e.label) == 0 &&
                  d->scenes[0].inputs[p + 4].muted == e.muted,
              "the file holds writer %d's last values", p);
    }
    std::string left = temp_file_left(folder, killed);
    CHECK(left.empty(), "no temporary file is left (%s)", left.c_str());
    printf("%s: %ld lock-less reads, final rev %lld, longest lock wait %.1f ms\n",
           with_fifth ? "with a fifth writer killed" : "four writers", reads, (long long)d->rev, longest);
    rig_doc_free(d);
}

static std::string lock_file(const char* folder)
{
    char name[300], lock_name[340], path[1200];
    rig_file_name(kKey, name, sizeof name);
    rigstore_lock_name(name, lock_name, sizeof lock_name);
    plat_named_lock_path(fs::path(folder).parent_path().c_str(), lock_name, path, sizeof path);
    return path;
}

static bool save_once(RigStore* s, RigDocument* d, RigStoreResult* r)
{
    RigEditMask m;
    rig_edit_mask_clear(&m);
    m.inputs[0][0] = RIG_EDIT_GAIN;
    m.any = 1;
    d->scenes[0].inputs[0].gain = 0.5f;
    return wait_job(s, rigstore_submit_save(s, d, &m), r);
}

static void kill_in_save(const char* folder)
{
    setup_rig(folder);
    std::string before = read_file(rig_path(folder));
    Child w = spawn({"writer", folder, "0", "hold"});
    char buf[1024];
    std::string held;
    if (w.out && fgets(buf, sizeof buf, w.out) && strncmp(buf, "held ", 5) == 0)
        held.assign(buf + 5, strcspn(buf + 5, "\n"));
    kill(w.pid, SIGKILL);
    finish(w, nullptr);
    CHECK(!held.empty() && fs::exists(held), "the killed writer's temporary file is there");
    CHECK(read_file(rig_path(folder)) == before, "the rig file is byte-identical");
    CHECK(system(("flock -n '" + lock_file(folder) + "' true").c_str()) == 0, "flock -n takes the lock");
    g_log.clear();
    RigStore* s = open_store(folder, "after");
    rigstore_wait_idle(s, TEST_WAIT_SECONDS * 1000);
    CHECK(g_log.find("rig: removed a stray ") != std::string::npos, "the next store removes the stray");
    RigDocument* d = load_doc(s);
    RigStoreResult r{};
    CHECK(d && save_once(s, d, &r) && r.status == RIGSTORE_SAVED, "the next save has no lock timeout (%s, %.1f ms)",
          r.message, r.lock_wait_ms);
    printf("kill -9 inside a save: file intact, stray removed, next save waited %.1f ms\n", r.lock_wait_ms);
    rigstore_result_free(&r);
    rig_doc_free(d);
    rigstore_close(s, 5000);
}

static void held_by_flock(const char* folder)
{
    setup_rig(folder);
    std::string lock = lock_file(folder);
    FlockHolder holder = flock_hold(lock.c_str());
    CHECK(holder.pid > 0, "flock took the lock");
    RigStore* s = open_store(folder, "locked");
    RigDocument* d = load_doc(s);
    RigStoreResult r{}, again{};
    double t0 = plat_time_seconds();
    CHECK(d && save_once(s, d, &r), "the save answers");
    double took = plat_time_seconds() - t0;
    CHECK(r.status == RIGSTORE_SAVE_FAILED && strcmp(r.message, "the rig file is locked by another app") == 0 &&
              took > 1.8,
          "the save fails after waiting 2 s (%s after %.2f s)", r.message, took);
    flock_release(&holder);
    CHECK(d && save_once(s, d, &again) && again.status == RIGSTORE_SAVED, "the retry lands (%s)", again.message);
    printf("flock held the lock: refused after %.2f s, the retry landed\n", took);
    rigstore_result_free(&r);
    rigstore_result_free(&again);
    rig_doc_free(d);
    rigstore_close(s, 5000);
}

static void sessions_run(const char* folder)
{
    setup_rig(folder);
    std::vector<Child> ws;
    for (int p = 0; p < 4; p++)
        ws.push_back(spawn({"sessionwriter", folder, std::to_string(p)}));
    RigDocument* d = rig_doc_new();
    std::vector<std::vector<std::string>> out(4);
    for (int p = 0; p < 4; p++)
        CHECK(finish(ws[(size_t)p], &out[(size_t)p]) == 0 && out[(size_t)p].size() == 2, "session %d ended well", p);
    CHECK(decode_file(folder, d), "the file decodes");
    char file_line[400];
    int o = snprintf(file_line, sizeof file_line, "doc");
    for (int i = 0; i < 4; i++)
        o += snprintf(file_line + o, sizeof file_line - (size_t)o, " %.6f %d", d->scenes[0].inputs[i].gain,
                      d->scenes[0].inputs[i + 4].muted);
    snprintf(file_line + o, sizeof file_line - (size_t)o, " %.6f", d->scenes[0].master_gain);
    for (int p = 0; p < 4 && out[(size_t)p].size() == 2; p++) {
        char own[64];
        snprintf(own, sizeof own, "own %.6f %d", d->scenes[0].inputs[p].gain, d->scenes[0].inputs[p + 4].muted);
        CHECK(out[(size_t)p][0] == own, "session %d's last values are in the file (%s; file %s)", p,
              out[(size_t)p][0].c_str(), own);
        CHECK(out[(size_t)p][1] == file_line, "session %d's document equals the file (%s; file %s)", p,
              out[(size_t)p][1].c_str(), file_line);
    }
    printf("four sessions: the file and every document agree (rev %lld)\n", (long long)d->rev);
    rig_doc_free(d);
}

int main(int argc, char** argv)
{
    g_self = fs::canonical("/proc/self/exe").string();
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string mode = argc > 1 ? argv[1] : "";
    if (argc >= 4 && mode == "writer")
        return run_writer(argv[2], atoi(argv[3]), argc >= 5 && strcmp(argv[4], "hold") == 0);
    if (argc >= 4 && mode == "observer")
        return run_observer(argv[2], argv[3]);
    if (argc >= 4 && mode == "sessionwriter")
        return run_session_writer(argv[2], atoi(argv[3]));
    if (argc < 3 || (mode != "store" && mode != "session")) {
        fprintf(stderr, "usage: rig_stress store|session FOLDER\n");
        return 2;
    }
    fs::create_directories(argv[2]);
    std::string folder = std::string(argv[2]) + "/rigs";
    if (mode == "store") {
        writers_run(folder.c_str(), false);
        writers_run(folder.c_str(), true);
        kill_in_save(folder.c_str());
        held_by_flock(folder.c_str());
    } else {
        sessions_run(folder.c_str());
    }
    printf("%s\n", g_failures ? "FAILED" : "PASSED");
    return g_failures ? 1 : 0;
}
