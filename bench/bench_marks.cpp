// marks_bench - loading a 1 MB marks.ini and a 1 MB bars.ini of distinct short paths,
// as the library does when it is created. Prints one line per file:
// marks|bars bytes=B entries=N load_ms=MS held_bytes=H (load: the median of 5 runs;
// held: the list, its paths and its index).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library/library.h"
#include "platform/plat_dir.h"
#include "platform/plat_folders.h"

static const int kRuns = 5;

static std::string make_file(bool marks)
{
    std::string text;
    char line[64];
    for (int i = 0; text.size() < (1u << 20); i++) {
        if (marks)
            std::snprintf(line, sizeof line, "0.250000 0.750000\t/t/%07d.wav\n", i);
        else
            std::snprintf(line, sizeof line, "%d\t/t/%07d.wav\n", i % 7 + 1, i);
        text += line;
    }
    return text;
}

template <typename Entry>
static size_t held_bytes(const Entry* entries, int32_t count, int32_t capacity, const PathIndex& ix)
{
    size_t n = sizeof(Entry) * (size_t)capacity + sizeof(PathIndexSlot) * ix.capacity;
    for (int32_t i = 0; i < count; i++)
        n += std::strlen(entries[i].path) + 1;
    return n;
}

int main()
{
    char base[512], folder[600];
    if (plat_temp_folder(base, sizeof base) != PLAT_PATH_OK)
        return 1;
    std::snprintf(folder, sizeof folder, "%s/tessel-marks-bench-%lld", base,
                  (long long)std::chrono::steady_clock::now().time_since_epoch().count());
    if (!plat_dir_make(folder))
        return 1;
    for (bool marks : {true, false}) {
        std::string text = make_file(marks);
        std::string path = std::string(folder) + (marks ? "/marks.ini" : "/bars.ini");
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size())
            return 1;
        std::fclose(f);

        std::vector<double> ms;
        int32_t entries = 0;
        size_t held = 0;
        for (int run = 0; run < kRuns; run++) {
            Library* lib = (Library*)std::calloc(1, sizeof(Library));
            std::snprintf(marks ? lib->marks_path : lib->bars_path, 260, "%s", path.c_str());
            auto start = std::chrono::steady_clock::now();
            if (marks)
                library_load_marks(lib);
            else
                library_load_bars(lib);
            ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
            entries = marks ? lib->marks_count : lib->bars_count;
            held = marks ? held_bytes(lib->marks, lib->marks_count, lib->marks_capacity, lib->marks_index)
                         : held_bytes(lib->bars, lib->bars_count, lib->bars_capacity, lib->bars_index);
            library_free_marks(lib);
            std::free(lib);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("%s bytes=%zu entries=%d load_ms=%.1f held_bytes=%zu\n", marks ? "marks" : "bars",
                    text.size(), entries, ms[kRuns / 2], held);
        std::remove(path.c_str());
    }
    std::remove(folder);   // the folder, empty by now
    return 0;
}
