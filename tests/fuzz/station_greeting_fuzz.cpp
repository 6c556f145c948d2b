// The listener greeting reader on any text, against the JSON reader: its answer is a
// quotation-free run of the text that fits the buffer; and for a JSON object without
// escapes or line breaks (the reader knows neither), in which the quoted key appears
// once, it is the member's string value (cut to the buffer), as the JSON reader gives it.
#include <cstring>
#include <string>
#include <vector>

#include "broadcast/tcstream.h"
#include "fuzz_kit.h"
#include "rig/json_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    static const char* const keys[] = {"an", "dev", "a", ""};
    const char* key = keys[data[0] % 4];
    size_t out_size = 1 + data[1] % 40;
    std::vector<char> text(data + 2, data + size);
    std::vector<char> out(out_size, 'x');
    tcstream_json_get_string(text.data(), text.size(), key, out.data(), out_size);
    size_t len = strnlen(out.data(), out_size);
    FUZZ_CHECK(len < out_size);
    std::string got(out.data(), len);
    FUZZ_CHECK(got.find('"') == std::string::npos);
    if (!got.empty())
        FUZZ_CHECK(std::string(text.begin(), text.end()).find(got) != std::string::npos);

    std::string all(text.begin(), text.end());
    std::string quoted = std::string("\"") + key + "\"";
    size_t first = all.find(quoted);
    if (all.find_first_of("\\\r\n") != std::string::npos || first == std::string::npos || all.find(quoted, first + 1) != std::string::npos)
        return 0;
    JsonValue root, k, v;
    if (!json_parse(text.data(), text.size(), &root, nullptr, 0) || root.kind != JSON_OBJECT)
        return 0;
    JsonIter it;
    json_iter_begin(&it, root);
    while (json_iter_next_member(&it, &k, &v)) {
        if (!json_string_equals(k, key))
            continue;
        std::string want;
        if (v.kind == JSON_STRING)
            want.assign(v.text + 1, (size_t)v.len - 2);
        if (want.size() > out_size - 1)
            want.resize(out_size - 1);
        want = want.c_str();
        FUZZ_CHECK(got == want);
    }
    return 0;
}
