// fuzz_kit.cpp - scratch folder, file writing, the engine and the UTF-8 check of the
// fuzz targets.
#include "fuzz_kit.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "audio/engine.h"
#include "platform/plat_audio_api.h"
#include "support/fake_audio.h"

namespace fs = std::filesystem;

void fuzz_fail(const char* what, const char* file, int line)
{
    std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", what, file, line);
    std::abort();
}

static void remove_scratch()
{
    std::error_code ec;
    fs::remove_all(fuzz_scratch(), ec);
}

const std::string& fuzz_scratch(void)
{
    static std::string dir;
    if (dir.empty()) {
        std::string pattern = (fs::temp_directory_path() / "tessel-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data()))
            fuzz_fail("mkdtemp", __FILE__, __LINE__);
        dir = pattern;
        std::atexit(remove_scratch);
    }
    return dir;
}

std::string fuzz_write_file(const char* name, const void* data, size_t size)
{
    std::string path = fuzz_scratch() + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || (size && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0)
        fuzz_fail("writing the input file", __FILE__, __LINE__);
    return path;
}

std::string fuzz_fresh_folder(const char* name)
{
    fs::path p = fs::path(fuzz_scratch()) / name;
    std::error_code ec;
    fs::remove_all(p, ec);
    fs::create_directories(p);
    return p.string();
}

bool fuzz_utf8_valid(const char* text, size_t len)
{
    const unsigned char* s = (const unsigned char*)text;
    size_t i = 0;
    while (i < len) {
        unsigned c = s[i];
        int more = c < 0x80 ? 0 : c >= 0xC2 && c <= 0xDF ? 1 : c >= 0xE0 && c <= 0xEF ? 2 : c >= 0xF0 && c <= 0xF4 ? 3 : -1;
        if (more < 0 || (size_t)more >= len - i)
            return false;
        unsigned lo = 0x80, hi = 0xBF;
        if (c == 0xE0) lo = 0xA0;
        if (c == 0xED) hi = 0x9F;
        if (c == 0xF0) lo = 0x90;
        if (c == 0xF4) hi = 0x8F;
        for (int k = 1; k <= more; k++) {
            unsigned d = s[i + k];
            if (d < (k == 1 ? lo : 0x80) || d > (k == 1 ? hi : 0xBF))
                return false;
        }
        i += (size_t)more + 1;
    }
    return true;
}

Engine* fuzz_engine(void)
{
    static Engine* e = [] {
        fake_audio_reset();
        engine_use_backend(fake_audio_backend(), plat_host_api_policy_windows());
        Engine* x = engine_instance();
        if (!engine_init(x))
            fuzz_fail("engine_init", __FILE__, __LINE__);
        x->sample_rate = 48000.0;
        return x;
    }();
    return e;
}
