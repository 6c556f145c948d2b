// The take list over a takes folder of files named by the input (any bytes a file
// name may hold, up to the longest name the folder takes): the list holds every take
// once, by its whole name, and loading a listed take loads that very file (each file
// has its own length, so the loop tells which one came in).
#include <set>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/takes.h"
#include "audio/engine.h"
#include "fuzz_kit.h"

namespace {

// A mono 16-bit WAV of frames frames at 48 kHz.
std::string wav_bytes(int frames)
{
    auto u32 = [](std::string& s, uint32_t v) {
        for (int i = 0; i < 4; i++)
            s += (char)(v >> (8 * i));
    };
    std::string s = "RIFF";
    u32(s, (uint32_t)(36 + 2 * frames));
    s += "WAVEfmt ";
    u32(s, 16);
    s += std::string("\x01\x00\x01\x00", 4);
    u32(s, 48000);
    u32(s, 96000);
    s += std::string("\x02\x00\x10\x00", 4);
    s += "data";
    u32(s, (uint32_t)(2 * frames));
    s += std::string((size_t)(2 * frames), '\x10');
    return s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzCursor c{data, size};
    std::string folder = fuzz_fresh_folder("takes");
    std::vector<std::string> names;
    int files = 1 + c.u8() % 6;
    for (int i = 0; i < files && c.size > 0; i++) {
        std::string name = c.bytes(c.u8());
        for (char& ch : name)
            if (ch == '/' || ch == '\0')
                ch = '_';
        if (name.size() > 251)
            name.resize(251);
        name += ".wav";
        bool again = false;
        for (const std::string& n : names)
            again = again || n == name;
        if (again)
            continue;
        std::string bytes = wav_bytes(3 + 5 * (int)names.size());
        fuzz_write_file(("takes/" + name).c_str(), bytes.data(), bytes.size());
        names.push_back(name);
    }

    Engine* e = fuzz_engine();
    AppState* app = app_instance();
    app_init(app, e, "/opt/tessel");
    std::snprintf(app->takes_folder, sizeof app->takes_folder, "%s", folder.c_str());
    app_library_scan(app);
    FUZZ_CHECK(app->take_count == (int32_t)names.size());
    std::set<std::string> listed;
    for (int32_t i = 0; i < app->take_count; i++)
        listed.insert(app->takes[i].name);
    FUZZ_CHECK(listed == std::set<std::string>(names.begin(), names.end()));

    for (int32_t i = 0; i < app->take_count; i++) {
        size_t which = 0;
        while (names[which] != app->takes[i].name)
            which++;
        app->session_gen_saved = e->content_generation.load();
        e->length.store(0);
        take_load_into_loop(app, i);
        FUZZ_CHECK(e->length.load() == 3 + 5 * (int32_t)which);
    }
    return 0;
}
