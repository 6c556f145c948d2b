// The settings file from any bytes, read into the program with its engine on the
// scripted audio library. What it applies is written back as a settings text; reading
// that text into a fresh state and writing it again gives the very same text (every
// value was brought into range and to a form the file keeps; a library volume of 0,
// which the file does not keep, returns at its default). Plug-in paths are kept
// out: the search must not load whatever library its bytes happen to name.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/settings.h"
#include "audio/engine.h"
#include "fuzz_kit.h"

namespace {


std::string load_and_format(const std::string& text)
{
    static std::string data = fuzz_fresh_folder("data"), takes = fuzz_fresh_folder("takes");
    AppState* app = app_instance();
    app_init(app, fuzz_engine(), "/opt/tessel");
    std::snprintf(app->data_folder, sizeof app->data_folder, "%s", data.c_str());
    std::snprintf(app->takes_folder, sizeof app->takes_folder, "%s", takes.c_str());
    fuzz_write_file("data/" SETTINGS_FILE_NAME, text.data(), text.size());
    settings_load(app);
    std::vector<char> out(APP_SETTINGS_TEXT);
    size_t n = settings_format(app, out.data(), out.size());
    FUZZ_CHECK(n < out.size() && std::strlen(out.data()) == n);
    return std::string(out.data(), n);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size >= APP_SETTINGS_TEXT)
        return 0;
    std::string text((const char*)data, size);
    for (const char* key : {"vstpath=", "instpath="})
        for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1))
            text[at + std::strlen(key) - 1] = '~';
    // A library volume of 0 is not written and comes back at its default: only then
    // may the second text differ from the first.
    std::string once = load_and_format(text);
    std::string twice = load_and_format(once);
    std::string thrice = load_and_format(twice);
    if (once.find("\nlibgain=") != std::string::npos && once != twice)
        std::fprintf(stderr, "first text:\n%s\nsecond text:\n%s\n", once.c_str(), twice.c_str());
    FUZZ_CHECK(once.find("\nlibgain=") == std::string::npos || once == twice);
    FUZZ_CHECK(twice == thrice);
    return 0;
}
