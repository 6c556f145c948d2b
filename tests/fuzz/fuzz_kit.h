// fuzz_kit.h - what the fuzz targets share: a check that stops the run with a
// message, a private scratch folder for targets that read files, and a cursor that
// takes structured choices from the front of an input.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Every target defines this; the fuzzer and the replay driver call it once per input.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

#define FUZZ_CHECK(cond) ((cond) ? (void)0 : fuzz_fail(#cond, __FILE__, __LINE__))
[[noreturn]] void fuzz_fail(const char* what, const char* file, int line);

// The process's scratch folder, made on first use and removed at exit.
const std::string& fuzz_scratch(void);
// Writes the bytes to name in the scratch folder (replacing it); returns the path.
std::string fuzz_write_file(const char* name, const void* data, size_t size);
// Removes everything in the scratch folder's sub-folder name, then makes it afresh.
std::string fuzz_fresh_folder(const char* name);

// Takes small decisions from the front of an input; past its end every take is 0.
struct FuzzCursor {
    const uint8_t* data;
    size_t size;
    uint8_t u8()
    {
        if (size == 0)
            return 0;
        size--;
        return *data++;
    }
    uint32_t u32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; i++)
            v = v << 8 | u8();
        return v;
    }
    // Up to n bytes; fewer at the end.
    std::string bytes(size_t n)
    {
        n = n < size ? n : size;
        std::string s((const char*)data, n);
        data += n;
        size -= n;
        return s;
    }
};

// The engine on the scripted audio library at 48 kHz, made on first use, no stream.
struct Engine;
Engine* fuzz_engine(void);

// True when text[0..len) is valid UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF).
bool fuzz_utf8_valid(const char* text, size_t len);
