// The plug-in scan over folder trees built from the input: folders, files with and
// without the library ending, hidden names, links to any folder of the tree (loops
// included) and dangling links. Everything listed is a library file below the root,
// no file is listed twice however many links lead to it, and, unless the list filled
// up, every library file in a folder no deeper than the limit is listed.
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "audio/vst.h"
#include "fuzz_kit.h"

namespace {

struct Folder {
    std::string path;
    int depth;          // below the root, by its real path
    bool hidden;        // it or a folder above it begins with a dot
};

bool library_name(const std::string& name)
{
    size_t n = name.size();
    return n > 3 && name[n - 3] == '.' && (name[n - 2] | 0x20) == 's' && (name[n - 1] | 0x20) == 'o';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static std::vector<VstPickerEntry> entries(VST_PICKER_MAX);
    FuzzCursor c{data, size};
    int max = 1 + c.u8() % VST_PICKER_MAX;
    std::string root = fuzz_fresh_folder("scan");
    std::vector<Folder> folders{{root, 0, false}};
    std::set<std::string> wanted;
    for (int i = 0; i < 48 && c.size >= 3; i++) {
        uint8_t op = c.u8(), a = c.u8(), b = c.u8();
        const Folder& in = folders[a % folders.size()];
        std::string name = (op & 0x80 ? "." : "") + std::string(1, (char)('a' + (op >> 2) % 8)) + std::to_string(i);
        std::string path = in.path + "/" + name;
        switch (op % 4) {
        case 0:
            if (mkdir(path.c_str(), 0755) == 0)
                folders.push_back({path, in.depth + 1, in.hidden || name[0] == '.'});
            break;
        case 1: {
            static const char* const endings[] = {".so", ".SO", ".So", ".so.1", ".txt", "so", "", ".so"};
            path += endings[b % 8];
            FILE* f = std::fopen(path.c_str(), "w");
            if (f)
                std::fclose(f);
            if (f && library_name(path) && !in.hidden && name[0] != '.' && in.depth <= VST_SCAN_MAX_DEPTH)
                wanted.insert(path);
            break;
        }
        case 2:
            symlink(folders[b % folders.size()].path.c_str(), path.c_str());
            break;
        default:
            symlink((root + "/missing").c_str(), (path + ".so").c_str());
            break;
        }
    }

    int count = 0;
    vst_scan_folder(root.c_str(), 0, entries.data(), max, &count);
    FUZZ_CHECK(count >= 0 && count <= max);
    std::set<std::string> listed;
    for (int i = 0; i < count; i++) {
        const VstPickerEntry& e = entries[(size_t)i];
        std::string path = e.path;
        FUZZ_CHECK(path.compare(0, root.size() + 1, root + "/") == 0);
        FUZZ_CHECK(path.find("/.", root.size()) == std::string::npos);
        struct stat st;
        FUZZ_CHECK(stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode));
        std::string base = path.substr(path.rfind('/') + 1);
        FUZZ_CHECK(library_name(base) && base.compare(0, base.size() - 3, e.name) == 0);
        char real[PATH_MAX];
        FUZZ_CHECK(realpath(path.c_str(), real));
        FUZZ_CHECK(listed.insert(real).second);
    }
    if (count < max)
        for (const std::string& w : wanted) {
            if (listed.count(w) != 1)
                std::fprintf(stderr, "not listed: %s\n", w.c_str() + root.size());
            FUZZ_CHECK(listed.count(w) == 1);
        }
    return 0;
}
