// The station id file from any bytes: an id is taken exactly when the first 8 bytes
// are digits 0-9 and a-f, and it is those 8 bytes.
#include <cstring>
#include <string>

#include "broadcast/tcstream_internal.h"
#include "fuzz_kit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string path = fuzz_write_file("station-id", data, size);
    char sid[9] = "unset";
    int got = tcstream_read_sid(path.c_str(), sid);
    bool want = size >= 8;
    for (size_t i = 0; i < 8 && want; i++)
        want = (data[i] >= '0' && data[i] <= '9') || (data[i] >= 'a' && data[i] <= 'f');
    FUZZ_CHECK(got == (want ? 1 : 0));
    if (want)
        FUZZ_CHECK(std::memcmp(sid, data, 8) == 0 && sid[8] == '\0');
    else
        FUZZ_CHECK(std::strcmp(sid, "unset") == 0);
    return 0;
}
