// rig_kit.h - what the rig store, session and panel tests share: a temporary rigs
// folder, whole-file reads and writes, a log sink, owned documents and results, and
// waiting for a store's results.
// Threads: the test's thread (the log sink takes lines from the store's worker too).
#pragma once
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "rig/rigdoc.h"
#include "rig/rigstore.h"
#include "support/test_wait.h"

namespace rigkit {

namespace fs = std::filesystem;

struct DocFree {
    void operator()(RigDocument* d) const { rig_doc_free(d); }
};
using Doc = std::unique_ptr<RigDocument, DocFree>;

inline Doc fresh_doc(const char* key = "alsa:Stress", int channels = 8)
{
    Doc d(rig_doc_new());
    std::string k = key;
    std::string api = k.substr(0, k.find(':'));
    std::string name = k.substr(k.find(':') + 1);
    rig_doc_init_for_device(d.get(), key, api.c_str(), name.c_str(), channels, nullptr, "tessel", 1.0);
    return d;
}

// A temporary "<tmp>/rigs" folder, removed with its parent at the end.
struct TempRigs {
    fs::path root, rigs;
    TempRigs()
    {
        char tmpl[] = "/tmp/tessel-rigs.XXXXXX";
        root = mkdtemp(tmpl);
        rigs = root / "rigs";
    }
    ~TempRigs()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    fs::path file(const char* key) const
    {
        char name[300];
        rig_file_name(key, name, sizeof name);
        return rigs / name;
    }
};

inline std::string read_all(const fs::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

inline void write_all(const fs::path& p, const std::string& text)
{
    fs::create_directories(p.parent_path());
    std::ofstream f(p, std::ios::binary | std::ios::trunc);
    f << text;
}

inline ino_t inode_of(const fs::path& p)
{
    struct stat st{};
    return stat(p.c_str(), &st) == 0 ? st.st_ino : 0;
}

// Decodes the file on disk; null when it does not decode.
inline Doc disk_doc(const fs::path& p)
{
    std::string t = read_all(p);
    Doc d(rig_doc_new());
    char msg[160];
    int r = rig_decode(t.data(), t.size(), d.get(), msg, sizeof msg);
    return r <= RIG_DECODE_NEWER ? std::move(d) : nullptr;
}

inline std::vector<std::string> temp_files(const fs::path& folder)
{
    std::vector<std::string> out;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(folder, ec))
        if (e.path().filename().string().find(".tmp.") != std::string::npos)
            out.push_back(e.path().filename().string());
    return out;
}

// Collects log lines from any thread.
struct LogSink {
    std::mutex m;
    std::vector<std::string> lines;
    static void fn(void* ctx, const char* text)
    {
        auto* s = (LogSink*)ctx;
        std::lock_guard<std::mutex> g(s->m);
        s->lines.push_back(text);
    }
    bool has(const std::string& part)
    {
        std::lock_guard<std::mutex> g(m);
        for (auto& l : lines)
            if (l.find(part) != std::string::npos)
                return true;
        return false;
    }
};

struct StoreFree {
    void operator()(RigStore* s) const { rigstore_close(s, 5000); }
};
using Store = std::unique_ptr<RigStore, StoreFree>;

inline Store open_store(const TempRigs& t, const char* app, LogSink* log = nullptr, bool watch = true)
{
    RigStoreConfig c{};
    std::string folder = t.rigs.string();
    c.folder = folder.c_str();
    c.app = app;
    c.version = "1.0";
    c.log = log ? LogSink::fn : nullptr;
    c.log_ctx = log;
    c.poll_ms = 200;
    c.no_watch = watch ? 0 : 1;
    return Store(rigstore_open(&c));
}

// A result that frees its document.
struct Result : RigStoreResult {
    Result() : RigStoreResult{} {}
    ~Result() { rigstore_result_free(this); }
    Result(const Result&) = delete;
    Result& operator=(const Result&) = delete;
};

// Waits up to ms for the next result.
inline bool next_result(RigStore* s, Result* out, int ms = TEST_WAIT_SECONDS * 1000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    do {
        rigstore_result_free(out);
        if (rigstore_take_result(s, out))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

// Waits for the answer of job id (other results are dropped).
inline bool result_for(RigStore* s, uint32_t job, Result* out, int ms = TEST_WAIT_SECONDS * 1000)
{
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end)
        if (next_result(s, out, 50) && out->job == job)
            return true;
    return false;
}

// Loads key (fresh seed of 8 inputs) and gives the loaded document.
inline Doc load(RigStore* s, const char* key = "alsa:Stress", int channels = 8)
{
    Doc seed = fresh_doc(key, channels);
    uint32_t id = rigstore_submit_load(s, key, seed.get());
    Result r;
    if (!result_for(s, id, &r) || !r.doc)
        return nullptr;
    Doc d(r.doc);
    r.doc = nullptr;
    return d;
}

inline RigEditMask input_mask(int input, uint8_t bits, int scene = 0)
{
    RigEditMask m;
    rig_edit_mask_clear(&m);
    m.inputs[scene][input] = bits;
    m.any = 1;
    return m;
}

}  // namespace rigkit
