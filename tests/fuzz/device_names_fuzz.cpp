// Device names and keys from any bytes, at any output size: every text is valid
// UTF-8 within its size and as long as the length returned; a name already cleaned
// cleans to itself; a key is "api:" and the cleaned name; a rig file name is a slug of
// letters, digits and single hyphens, the key's hash and ".json".
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_kit.h"
#include "rig/rig_device.h"
#include "rig/rigdoc.h"

static void check_text(const char* out, int len, int size)
{
    FUZZ_CHECK(len >= 0 && len < size && (size_t)len == std::strlen(out));
    FUZZ_CHECK(fuzz_utf8_valid(out, (size_t)len));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzCursor c{data, size};
    int out_size = 1 + c.u8() % 220;
    std::string api = c.bytes(c.u8() % 20);
    std::string name = c.bytes(c.size);
    api = api.c_str();                       // both as the C strings the callers hold
    name = name.c_str();
    std::vector<char> out((size_t)out_size), again((size_t)out_size);

    int n = rig_utf8_copy(out.data(), out_size, name.c_str());
    check_text(out.data(), n, out_size);
    if (fuzz_utf8_valid(name.data(), name.size()) && name.size() < (size_t)out_size)
        FUZZ_CHECK(name == out.data());

    n = rig_device_name_utf8(name.c_str(), out.data(), out_size);
    check_text(out.data(), n, out_size);
    if (n > 0) {
        FUZZ_CHECK(out[0] != ' ' && out[(size_t)n - 1] != ' ');
        int m = rig_device_name_utf8(out.data(), again.data(), out_size);
        FUZZ_CHECK(m == n && std::memcmp(out.data(), again.data(), (size_t)n) == 0);
    }

    n = rig_device_key(api.c_str(), name.c_str(), out.data(), out_size);
    if (n < 0) {
        FUZZ_CHECK(out[0] == '\0');
    } else {
        FUZZ_CHECK((size_t)n == std::strlen(out.data()) && n < out_size);
        FUZZ_CHECK(std::strncmp(out.data(), api.c_str(), api.size()) == 0 && out[api.size()] == ':');
        FUZZ_CHECK(fuzz_utf8_valid(out.data() + api.size() + 1, (size_t)n - api.size() - 1));
    }

    n = rig_file_name(name.c_str(), out.data(), out_size);
    if (n < 0) {
        FUZZ_CHECK(out[0] == '\0');
    } else {
        FUZZ_CHECK((size_t)n == std::strlen(out.data()) && n >= 14);
        char tail[16];
        std::snprintf(tail, sizeof tail, "-%08x.json", (unsigned)rig_fnv1a32(name.c_str()));
        FUZZ_CHECK(std::strcmp(out.data() + n - 14, tail) == 0);
        for (int i = 0; i < n - 14; i++) {
            char ch = out[(size_t)i];
            FUZZ_CHECK((ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') || (ch == '-' && i > 0 && out[(size_t)i - 1] != '-'));
        }
    }
    return 0;
}
