// rig_stress.cpp - several running copies on one rig file, as separate processes.
//   rig_stress store FOLDER    four writer processes and a lock-less observer, a run
//                              with a fifth writer killed at a random moment, a writer
//                              killed inside its save, and a lock held by util-linux
//                              flock for 3 s
//   rig_stress session FOLDER  four processes each running a RigSession on one device
// The other modes are the children these start. Exit 0 when every condition holds;
// each failure is printed.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/plat_named_lock.h"
#include "platform/plat_time.h"
#include "rig/rigdoc.h"
#include "rig/rigsession.h"
#include "rig/rigstore.h"

namespace fs = std::filesystem;

static const char kKey[] = "alsa:Stress";
static const int kEdits = 300;
static int g_failures = 0;

#define CHECK(cond, ...)                                   \
    do {                                                   \
        if (!(cond)) {                                     \
            fprintf(stdout, "FAIL: " __VA_ARGS__);         \
            fprintf(stdout, "\n");                         \
            g_failures++;                                  \
        }                                                  \
    } while (0)

static std::string g_self;

static void log_stdout(void*, const char* text)
{
    printf("log %s\n", text);
    fflush(stdout);
}

static RigStore* open_store(const char* folder, const char* app)
{
    RigStoreConfig c{};
    c.folder = folder;
    c.app = app;
    c.version = "1";
    c.log = log_stdout;
    c.poll_ms = 200;
    return rigstore_open(&c);
}

static std::string rig_path(const char* folder)
{
    char name[300];
    rig_file_name(kKey, name, sizeof name);
    return std::string(folder) + "/" + name;
}

static RigDocument* seed_doc()
{
    RigDocument* d = rig_doc_new();
    rig_doc_init_for_device(d, kKey, "alsa", "Stress", 8, nullptr, "stress", 1.0);
    // Every input on its own: the sessions edit inputs 0..7 one by one.
    for (RigScene& sc : d->scenes)
        sc.inputs[0].link = 0;
    return d;
}

static RigDocument* load_doc(RigStore* s)
{
    RigDocument* seed = seed_doc();
    uint32_t id = rigstore_submit_load(s, kKey, seed);
    rig_doc_free(seed);
    RigStoreResult r;
    for (int i = 0; i < 10000; i++) {
        if (rigstore_take_result(s, &r)) {
            if (r.job == id && r.doc)
                return r.doc;
            rigstore_result_free(&r);
        }
        plat_sleep_ms(1);
    }
    return nullptr;
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

// writer FOLDER P [hold]: 300 edits of its own fields (p 4: scene 2's master gain).
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
    double longest_wait = 0;
    int done = 0, failed = 0;
    auto drain = [&](bool wait) {
        RigStoreResult r;
        while (rigstore_take_result(s, &r) || (wait && !rigstore_wait_idle(s, 0) && (plat_sleep_ms(1), true))) {
            if (!r.job) {
                rigstore_result_free(&r);
                continue;
            }
            auto it = masks.find(r.job);
            if (r.status == RIGSTORE_SAVED) {
                revs.insert(r.rev);
                done++;
            } else if (r.status == RIGSTORE_SAVE_FAILED && it != masks.end()) {
                failed++;
                uint32_t id = rigstore_submit_save(s, d, &it->second);
                masks[id] = it->second;
            }
            longest_wait = std::max(longest_wait, r.lock_wait_ms);
            if (it != masks.end())
                masks.erase(it);
            rigstore_result_free(&r);
            r = RigStoreResult{};
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
        uint32_t id = rigstore_submit_save(s, d, &m);
        if (id)
            masks[id] = m;
        if (burst > 0) {
            burst--;
        } else {
            if (rng() % 8 == 0)
                burst = 1 + (int)(rng() % 2);
            plat_sleep_ms((int)(rng() % 4));
        }
        drain(false);
    }
    while (!masks.empty()) {
        drain(false);
        plat_sleep_ms(1);
    }
    Edit last = edit_of(p, kEdits - 1);
    printf("last %d %.6f %.6f %d %s\n", p, last.gain, last.pan, last.muted, last.label);
    printf("revs");
    for (int64_t r : revs)
        printf(" %lld", (long long)r);
    printf("\nlockwait %.1f\nsaves %d failed %d\n", longest_wait, done, failed);
    fflush(stdout);
    rigstore_close(s, 5000);
    rig_doc_free(d);
    return 0;
}

// observer FOLDER STOPFILE: reads and decodes the file without the lock every ms.
static int run_observer(const char* folder, const char* stop)
{
    std::string path = rig_path(folder);
    RigDocument* d = rig_doc_new();
    float last[4] = {0, 0, 0, 0};
    long reads = 0, bad = 0, down = 0;
    while (access(stop, F_OK) != 0) {
        FILE* f = fopen(path.c_str(), "rb");
        std::string text;
        if (f) {
            char buf[65536];
            size_t n;
            while ((n = fread(buf, 1, sizeof buf, f)) > 0)
                text.append(buf, n);
            fclose(f);
        }
        char msg[160];
        reads++;
        if (!f || rig_decode(text.data(), text.size(), d, msg, sizeof msg) > RIG_DECODE_REPAIRED) {
            bad++;
        } else {
            for (int p = 0; p < 4; p++) {
                if (d->scenes[0].inputs[p].gain < last[p])
                    down++;
                last[p] = d->scenes[0].inputs[p].gain;
            }
        }
        plat_sleep_ms(1);
    }
    printf("observer %ld %ld %ld\n", reads, bad, down);
    rig_doc_free(d);
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
    pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        close(fds[0]);
        close(fds[1]);
        std::vector<char*> argv;
        argv.push_back((char*)g_self.c_str());
        for (auto& a : args)
            argv.push_back((char*)a.c_str());
        argv.push_back(nullptr);
        execv(g_self.c_str(), argv.data());
        _exit(127);
    }
    close(fds[1]);
    return Child{pid, fdopen(fds[0], "r")};
}

static std::vector<std::string> lines_of(Child& c)
{
    std::vector<std::string> out;
    char buf[1024];
    while (c.out && fgets(buf, sizeof buf, c.out)) {
        std::string l = buf;
        if (!l.empty() && l.back() == '\n')
            l.pop_back();
        out.push_back(l);
    }
    if (c.out)
        fclose(c.out);
    c.out = nullptr;
    return out;
}

static int reap(pid_t pid)
{
    int st = 0;
    waitpid(pid, &st, 0);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

static bool no_temp_files(const char* folder)
{
    for (auto& e : fs::directory_iterator(folder))
        if (e.path().filename().string().find(".tmp.") != std::string::npos)
            return false;
    return true;
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

// Four writers and the observer; with_fifth adds a writer killed at a random moment.
static void writers_run(const char* folder, bool with_fifth)
{
    setup_rig(folder);
    std::string stop = std::string(folder) + "/../observer.stop";
    unlink(stop.c_str());
    Child obs = spawn({"observer", folder, stop});
    std::vector<Child> ws;
    for (int p = 0; p < 4; p++)
        ws.push_back(spawn({"writer", folder, std::to_string(p)}));
    if (with_fifth) {
        Child fifth = spawn({"writer", folder, "4"});
        std::mt19937 rng((unsigned)time(nullptr));
        plat_sleep_ms(300 + (int)(rng() % 2500));
        kill(fifth.pid, SIGKILL);
        reap(fifth.pid);
        lines_of(fifth);
        printf("killed the fifth writer\n");
    }
    std::vector<std::set<int64_t>> revs(4);
    std::vector<std::string> last(4);
    double longest = 0;
    for (int p = 0; p < 4; p++) {
        for (auto& l : lines_of(ws[(size_t)p])) {
            if (l.rfind("last ", 0) == 0)
                last[(size_t)p] = l;
            else if (l.rfind("revs", 0) == 0) {
                const char* q = l.c_str() + 4;
                char* end;
                for (long long v = strtoll(q, &end, 10); end != q; v = strtoll(q, &end, 10)) {
                    revs[(size_t)p].insert(v);
                    q = end;
                }
            } else if (l.rfind("lockwait ", 0) == 0)
                longest = std::max(longest, atof(l.c_str() + 9));
            printf("  w%d: %s\n", p, l.c_str());
        }
        CHECK(reap(ws[(size_t)p].pid) == 0, "writer %d ended well", p);
    }
    FILE* sf = fopen(stop.c_str(), "w");
    if (sf)
        fclose(sf);
    for (auto& l : lines_of(obs)) {
        long reads = 0, bad = 0, down = 0;
        if (sscanf(l.c_str(), "observer %ld %ld %ld", &reads, &bad, &down) == 3) {
            printf("  observer: %ld reads, %ld torn or missing, %ld gains that went down\n", reads, bad, down);
            CHECK(reads > 100 && bad == 0, "every observed read decodes");
            CHECK(down == 0, "no writer's gain goes down");
        }
    }
    reap(obs.pid);
    RigDocument* d = rig_doc_new();
    {
        std::string text = read_file(rig_path(folder));
        char msg[160];
        CHECK(rig_decode(text.data(), text.size(), d, msg, sizeof msg) <= RIG_DECODE_REPAIRED, "the file decodes");
    }
    std::set<int64_t> all;
    size_t total = 0;
    for (auto& r : revs) {
        all.insert(r.begin(), r.end());
        total += r.size();
    }
    CHECK(all.size() == total, "the writers' revs are pairwise distinct");
    if (!with_fifth) {
        bool exact = !all.empty() && *all.begin() == 2 && *all.rbegin() == d->rev && (int64_t)all.size() == d->rev - 1;
        CHECK(exact, "the revs are exactly 2..%lld (%zu revs from %lld to %lld)", (long long)d->rev, all.size(),
              all.empty() ? 0LL : (long long)*all.begin(), all.empty() ? 0LL : (long long)*all.rbegin());
    }
    for (int p = 0; p < 4; p++) {
        Edit e = edit_of(p, kEdits - 1);
        const RigInput& a = d->scenes[0].inputs[p];
        CHECK(a.gain == e.gain && a.pan == e.pan && strcmp(a.label, e.label) == 0 &&
                  d->scenes[0].inputs[p + 4].muted == e.muted,
              "the file holds writer %d's last values (gain %f pan %f label %s muted %d)", p, a.gain, a.pan, a.label,
              d->scenes[0].inputs[p + 4].muted);
    }
    CHECK(no_temp_files(folder), "no temporary file is left");
    printf("%s: final rev %lld, longest lock wait %.1f ms\n", with_fifth ? "with a killed fifth writer" : "four writers",
           (long long)d->rev, longest);
    rig_doc_free(d);
}

static std::string lock_file(const char* folder)
{
    char name[300], lock_name[340], path[1200];
    rig_file_name(kKey, name, sizeof name);
    rigstore_lock_name(name, lock_name, sizeof lock_name);
    std::string parent = fs::path(folder).parent_path().string();
    plat_named_lock_path(parent.c_str(), lock_name, path, sizeof path);
    return path;
}

static uint32_t save_once(RigStore* s, RigDocument* d, RigStoreResult* r)
{
    RigEditMask m;
    rig_edit_mask_clear(&m);
    m.inputs[0][0] = RIG_EDIT_GAIN;
    m.any = 1;
    d->scenes[0].inputs[0].gain = 0.5f;
    uint32_t id = rigstore_submit_save(s, d, &m);
    for (int i = 0; i < 10000; i++) {
        if (rigstore_take_result(s, r)) {
            if (r->job == id)
                return id;
            rigstore_result_free(r);
        }
        plat_sleep_ms(1);
    }
    return 0;
}

static void kill_in_save(const char* folder)
{
    setup_rig(folder);
    std::string before = read_file(rig_path(folder));
    Child w = spawn({"writer", folder, "0", "hold"});
    std::string held;
    char buf[1024];
    while (w.out && fgets(buf, sizeof buf, w.out))
        if (strncmp(buf, "held ", 5) == 0) {
            held = buf + 5;
            held.pop_back();
            break;
        }
    CHECK(!held.empty(), "the writer reached its rename");
    kill(w.pid, SIGKILL);
    reap(w.pid);
    lines_of(w);
    CHECK(read_file(rig_path(folder)) == before, "the rig file is byte-identical after the kill");
    CHECK(!held.empty() && fs::exists(held), "the killed writer's temporary file is there");
    std::string lock = lock_file(folder);
    std::string cmd = "flock -n '" + lock + "' true";
    CHECK(system(cmd.c_str()) == 0, "flock -n takes the lock once the writer is reaped");
    fflush(stdout);
    int fds[2];
    pipe(fds);
    // The next store logs the stray's removal; its log goes to our stdout, read back here.
    RigStore* s = nullptr;
    {
        fflush(stdout);
        int saved = dup(1);
        dup2(fds[1], 1);
        s = open_store(folder, "after");
        rigstore_wait_idle(s, 5000);
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
        close(fds[1]);
        std::string got;
        fcntl(fds[0], F_SETFL, O_NONBLOCK);
        ssize_t n;
        while ((n = read(fds[0], buf, sizeof buf)) > 0)
            got.append(buf, (size_t)n);
        close(fds[0]);
        CHECK(got.find("rig: removed a stray ") != std::string::npos, "the next store removes the stray: %s",
              got.c_str());
    }
    RigDocument* d = load_doc(s);
    RigStoreResult r{};
    CHECK(d && save_once(s, d, &r) && r.status == RIGSTORE_SAVED && r.lock_wait_ms < 100,
          "the next save has no lock timeout (%s, %.1f ms)", r.message, r.lock_wait_ms);
    rigstore_result_free(&r);
    rig_doc_free(d);
    rigstore_close(s, 5000);
    printf("kill -9 inside a save: file intact, stray removed\n");
}

static void held_by_flock(const char* folder)
{
    setup_rig(folder);
    std::string lock = lock_file(folder);
    pid_t pid = fork();
    if (pid == 0) {
        execlp("flock", "flock", lock.c_str(), "sleep", "3", (char*)nullptr);
        _exit(127);
    }
    plat_sleep_ms(200);
    RigStore* s = open_store(folder, "locked");
    RigDocument* d = load_doc(s);
    RigStoreResult r{};
    double t0 = plat_time_seconds();
    CHECK(d && save_once(s, d, &r), "the save answers");
    double took = plat_time_seconds() - t0;
    CHECK(r.status == RIGSTORE_SAVE_FAILED && strcmp(r.message, "the rig file is locked by another app") == 0 &&
              took > 1.8 && took < 2.8,
          "the save fails after about 2 s (%s after %.2f s)", r.message, took);
    rigstore_result_free(&r);
    RigStoreResult again{};
    CHECK(d && save_once(s, d, &again) && again.status == RIGSTORE_SAVED, "the retry lands (%s)", again.message);
    printf("flock held the lock: refused after %.2f s, the retry landed\n", took);
    rigstore_result_free(&again);
    rig_doc_free(d);
    rigstore_close(s, 5000);
    reap(pid);
}

// ---- Sessions --------------------------------------------------------------------------

// sessionwriter FOLDER P: a RigSession on the device, edits for 3 s, flush, 2 s more.
static int run_session_writer(const char* folder, int p)
{
    char app[16];
    snprintf(app, sizeof app, "s%d", p);
    RigSessionConfig c{};
    c.app = app;
    c.version = "1";
    c.folder = folder;
    c.log = log_stdout;
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
    double start = plat_time_seconds();
    float gain = 0.0f, master = 1.0f;
    bool muted = false;
    int n = 0;
    while (plat_time_seconds() - start < 5.0) {
        double t = plat_time_seconds();
        rigsession_tick(s, t - start, 0.0);
        if (t - start < 3.0 && rigsession_current_doc(s) && ++n % 7 == 0) {
            gain = 0.1f + 0.002f * (float)n + 0.0001f * (float)p;
            muted = !muted;
            master = 0.5f + 0.001f * (float)n;
            rigsession_set_input_gain(s, p, gain);
            rigsession_set_muted(s, p + 4, muted);
            rigsession_set_master_gain(s, master);
        }
        if (t - start >= 3.0 && t - start < 3.01)
            rigsession_flush(s, 1000);
        plat_sleep_ms(5);
    }
    const RigDocument* d = rigsession_current_doc(s);
    if (!d)
        return 3;
    const RigScene& sc = d->scenes[0];
    printf("own %d %.6f %d\n", p, gain, muted ? 1 : 0);
    printf("doc");
    for (int i = 0; i < 4; i++)
        printf(" %.6f %d", sc.inputs[i].gain, sc.inputs[i + 4].muted);
    printf(" %.6f\n", sc.master_gain);
    fflush(stdout);
    rigsession_destroy(s);
    return 0;
}

static void sessions_run(const char* folder)
{
    setup_rig(folder);
    std::vector<Child> ws;
    for (int p = 0; p < 4; p++)
        ws.push_back(spawn({"sessionwriter", folder, std::to_string(p)}));
    std::vector<std::string> own(4), docs(4);
    for (int p = 0; p < 4; p++) {
        for (auto& l : lines_of(ws[(size_t)p])) {
            if (l.rfind("own ", 0) == 0)
                own[(size_t)p] = l;
            if (l.rfind("doc", 0) == 0)
                docs[(size_t)p] = l;
        }
        CHECK(reap(ws[(size_t)p].pid) == 0, "session %d ended well", p);
    }
    RigDocument* d = rig_doc_new();
    std::string text = read_file(rig_path(folder));
    char msg[160];
    CHECK(rig_decode(text.data(), text.size(), d, msg, sizeof msg) <= RIG_DECODE_REPAIRED, "the file decodes");
    const RigScene& sc = d->scenes[0];
    char file_line[400];
    int o = snprintf(file_line, sizeof file_line, "doc");
    for (int i = 0; i < 4; i++)
        o += snprintf(file_line + o, sizeof file_line - (size_t)o, " %.6f %d", sc.inputs[i].gain, sc.inputs[i + 4].muted);
    snprintf(file_line + o, sizeof file_line - (size_t)o, " %.6f", sc.master_gain);
    for (int p = 0; p < 4; p++) {
        int q = -1, m = 0;
        float g = 0;
        sscanf(own[(size_t)p].c_str(), "own %d %f %d", &q, &g, &m);
        char want[64];
        snprintf(want, sizeof want, "%.6f", g);
        char have[64];
        snprintf(have, sizeof have, "%.6f", sc.inputs[p].gain);
        CHECK(q == p && strcmp(want, have) == 0 && sc.inputs[p + 4].muted == m,
              "session %d's last gain %s and mute %d are in the file (%s, %d)", p, want, m, have, sc.inputs[p + 4].muted);
        CHECK(docs[(size_t)p] == file_line, "session %d's document equals the file:\n  %s\n  %s", p,
              docs[(size_t)p].c_str(), file_line);
    }
    printf("four sessions: the file and every document agree (rev %lld)\n", (long long)d->rev);
    rig_doc_free(d);
}

int main(int argc, char** argv)
{
    g_self = fs::canonical("/proc/self/exe").string();
    setvbuf(stdout, nullptr, _IOLBF, 0);
    if (argc >= 4 && strcmp(argv[1], "writer") == 0)
        return run_writer(argv[2], atoi(argv[3]), argc >= 5 && strcmp(argv[4], "hold") == 0);
    if (argc >= 4 && strcmp(argv[1], "observer") == 0)
        return run_observer(argv[2], argv[3]);
    if (argc >= 4 && strcmp(argv[1], "sessionwriter") == 0)
        return run_session_writer(argv[2], atoi(argv[3]));
    if (argc < 3) {
        fprintf(stderr, "usage: rig_stress store|session FOLDER\n");
        return 2;
    }
    std::string folder = std::string(argv[2]) + "/rigs";
    fs::create_directories(argv[2]);
    if (strcmp(argv[1], "store") == 0) {
        writers_run(folder.c_str(), false);
        writers_run(folder.c_str(), true);
        kill_in_save(folder.c_str());
        held_by_flock(folder.c_str());
    } else if (strcmp(argv[1], "session") == 0) {
        sessions_run(folder.c_str());
    } else {
        return 2;
    }
    printf("%s\n", g_failures ? "FAILED" : "PASSED");
    return g_failures ? 1 : 0;
}
