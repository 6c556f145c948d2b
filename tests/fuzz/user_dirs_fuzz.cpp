// The XDG user-dirs reader on any user-dirs.dirs. An answer is an absolute path
// within the caller's size. Lines without the music key never change the answer:
// removing them, or adding a comment before and after, gives the same answer.
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_kit.h"
#include "platform/plat_folders.h"

namespace {

struct Answer {
    PlatPathResult r;
    std::string path;
    bool operator==(const Answer& o) const { return r == o.r && path == o.path; }
};

Answer music_folder(const std::string& file, size_t cap)
{
    fuzz_write_file("config/user-dirs.dirs", file.data(), file.size());
    std::string out(cap, 'x');
    Answer a{plat_music_folder(out.data(), cap), ""};
    size_t len = strnlen(out.data(), cap);
    FUZZ_CHECK(len < cap);
    a.path.assign(out.data(), len);
    if (a.r == PLAT_PATH_OK)
        FUZZ_CHECK(a.path[0] == '/' && a.path.find('\n') == std::string::npos);
    else
        FUZZ_CHECK(a.path.empty());
    return a;
}

// The file without the lines in which the music key does not appear at all.
std::string music_lines_only(const std::string& file)
{
    std::string out;
    size_t start = 0;
    while (start < file.size()) {
        size_t lf = file.find('\n', start);
        size_t end = lf == std::string::npos ? file.size() : lf + 1;
        std::string line = file.substr(start, end - start);
        if (line.find("XDG_MUSIC_DIR") != std::string::npos)
            out += line;
        start = end;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool once = [] {
        fuzz_fresh_folder("config");
        setenv("HOME", (fuzz_scratch() + "/home").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (fuzz_scratch() + "/config").c_str(), 1);
        unsetenv("APPDATA");
        return true;
    }();
    (void)once;
    if (size < 1)
        return 0;
    size_t cap = 1 + data[0] % 255 * 4;
    std::string file((const char*)data + 1, size - 1);

    Answer whole = music_folder(file, cap);
    std::string only = music_lines_only(file);
    if (!only.empty() && only.back() != '\n' && !file.empty() && file.back() == '\n')
        only += '\n';
    FUZZ_CHECK(music_folder(only, cap) == whole);
    std::string framed = "# user dirs\n" + file;
    if (!framed.empty() && framed.back() != '\n')
        framed += '\n';
    FUZZ_CHECK(music_folder(framed + "# end\n", cap) == whole);
    return 0;
}
