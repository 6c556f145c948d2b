// The library's line reader against a plain reading of the same bytes: the lines are
// the runs between line feeds (an unterminated last one too); a line whose bytes with
// its line feed do not leave room for the NUL is skipped whole; each line's text ends
// at its first CR or NUL. Stopping early stops after exactly that many lines.
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_kit.h"
#include "library/library_store.h"

namespace {

struct Seen {
    std::vector<std::string> lines;
    size_t stop_after;
};

bool visit(void* ctx, char* line)
{
    Seen* s = (Seen*)ctx;
    s->lines.emplace_back(line);
    return s->lines.size() < s->stop_after;
}

std::vector<std::string> expected_lines(const uint8_t* data, size_t size)
{
    std::vector<std::string> out;
    size_t start = 0;
    while (start < size) {
        const uint8_t* lf = (const uint8_t*)std::memchr(data + start, '\n', size - start);
        size_t end = lf ? (size_t)(lf - data) : size;
        size_t bytes = end - start + (lf ? 1 : 0);
        if (bytes <= LIBRARY_TEXT_LINE - 1) {
            std::string line((const char*)data + start, end - start);
            out.push_back(line.substr(0, line.find_first_of(std::string("\r\0", 2))));
        }
        start = end + 1;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz_write_file("lines.txt", data, size);
    std::vector<std::string> want = expected_lines(data, size);

    Seen all{{}, (size_t)-1};
    FUZZ_CHECK(library_text_read(path.c_str(), visit, &all));
    FUZZ_CHECK(all.lines == want);

    if (!want.empty()) {
        Seen some{{}, 1 + (size_t)data[0] % want.size()};
        FUZZ_CHECK(library_text_read(path.c_str(), visit, &some));
        FUZZ_CHECK(some.lines.size() == some.stop_after);
    }
    return 0;
}
