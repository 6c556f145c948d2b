// marks.ini and bars.ini from any bytes (the same bytes as both files). What loads
// holds one entry per path, marks within 0..1 and in order, in memory that grows with
// the file; saving it and loading the saved file gives the same entries, and saving
// those gives the very same file.
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz_kit.h"
#include "library/library.h"
#include "library/marks.h"

namespace {

struct Lib {
    Library* lib = (Library*)std::calloc(1, sizeof(Library));
    explicit Lib(const std::string& folder)
    {
        FUZZ_CHECK(lib);
        std::snprintf(lib->marks_path, sizeof lib->marks_path, "%s/marks.ini", folder.c_str());
        std::snprintf(lib->bars_path, sizeof lib->bars_path, "%s/bars.ini", folder.c_str());
    }
    ~Lib()
    {
        library_free_marks(lib);
        std::free(lib);
    }
};

std::string file_text(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void check_entries(const Library* lib)
{
    for (int32_t i = 0; i < lib->marks_count; i++) {
        const MarksEntry& e = lib->marks[i];
        FUZZ_CHECK(e.mark_in >= 0.0f && e.mark_in < e.mark_out && e.mark_out <= 1.002f);
        FUZZ_CHECK(e.path[0] && library_find_marks(lib, e.path) == i);
    }
    for (int32_t i = 0; i < lib->bars_count; i++)
        FUZZ_CHECK(lib->bars[i].path[0] && library_find_bars(lib, lib->bars[i].path) == i);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string first = fuzz_fresh_folder("first"), second = fuzz_fresh_folder("second");
    Lib a(first), b(second);
    fuzz_write_file("first/marks.ini", data, size);
    fuzz_write_file("first/bars.ini", data, size);
    library_load_marks(a.lib);
    library_load_bars(a.lib);
    check_entries(a.lib);
    // Memory in proportion to the file: the lists' arrays take at most a few dozen
    // bytes per byte of the file, however short its lines.
    FUZZ_CHECK((size_t)a.lib->marks_capacity * sizeof(MarksEntry) <= 8192 + 32 * size);
    FUZZ_CHECK((size_t)a.lib->bars_capacity * sizeof(BarsEntry) <= 8192 + 32 * size);

    // Saved, loaded again and saved again: the second save is the first one's bytes.
    std::snprintf(a.lib->marks_path, sizeof a.lib->marks_path, "%s/marks.ini", second.c_str());
    std::snprintf(a.lib->bars_path, sizeof a.lib->bars_path, "%s/bars.ini", second.c_str());
    FUZZ_CHECK(library_save_marks(a.lib) && library_save_bars(a.lib));
    std::string marks_once = file_text(b.lib->marks_path), bars_once = file_text(b.lib->bars_path);
    library_load_marks(b.lib);
    library_load_bars(b.lib);
    check_entries(b.lib);
    FUZZ_CHECK(b.lib->marks_count == a.lib->marks_count);
    for (int32_t i = 0; i < a.lib->marks_count; i++)
        FUZZ_CHECK(std::strcmp(a.lib->marks[i].path, b.lib->marks[i].path) == 0);
    int32_t nonzero = 0;
    for (int32_t i = 0; i < a.lib->bars_count; i++)
        nonzero += a.lib->bars[i].shift != 0;
    FUZZ_CHECK(b.lib->bars_count == nonzero);
    FUZZ_CHECK(library_save_marks(b.lib) && library_save_bars(b.lib));
    FUZZ_CHECK(file_text(b.lib->marks_path) == marks_once);
    FUZZ_CHECK(file_text(b.lib->bars_path) == bars_once);
    return 0;
}
