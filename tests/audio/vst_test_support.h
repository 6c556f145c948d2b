// vst_test_support.h - shared helpers of the plug-in host's tests: the mock plug-in
// libraries (held open so their state can be set and read) and the real plug-ins the
// test machine installs.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "audio/vst.h"
#include "platform/plat_dl.h"
#include "vst_mock_state.h"

#ifndef TESSEL_VST_MOCK_DIR
#define TESSEL_VST_MOCK_DIR ""
#endif

// A mock library by file name in the mock folder, or by full path (a copy elsewhere).
inline std::string vst_mock_path(const char* file)
{
    return file[0] == '/' ? std::string(file) : std::string(TESSEL_VST_MOCK_DIR) + "/" + file;
}

// One of the mock libraries, opened by the test itself so that its state outlives
// the host's loads and unloads. Reset to the defaults on opening.
struct VstMockLib {
    PlatLib* lib = nullptr;
    VstMockState* state = nullptr;
    std::string path;

    explicit VstMockLib(const char* file) : path(vst_mock_path(file))
    {
        char err[256];
        lib = plat_dl_open(path.c_str(), false, err, sizeof err);
        if (!lib)
            return;
        VstMockStateFn fn = (VstMockStateFn)plat_dl_sym(lib, "vst_mock_state");
        void (*reset)(void) = (void (*)(void))plat_dl_sym(lib, "vst_mock_state_reset");
        if (fn && reset) {
            reset();
            state = fn();
        }
    }
    ~VstMockLib() { plat_dl_close(lib); }
    VstMockLib(const VstMockLib&) = delete;
    VstMockLib& operator=(const VstMockLib&) = delete;

    VstMockConfig& config() { return state->config; }
    VstMockStats& stats() { return state->stats; }
    int calls(int opcode) { return state->stats.opcodes[opcode].load(); }
    VstPlugin* load(char* err = nullptr, size_t err_cap = 0, float rate = 48000.0f, int block = 4096)
    {
        return vst_load(path.c_str(), rate, block, err, err_cap);
    }
};

// Real plug-ins from Debian's packages; tests that need one skip when it is absent.
#define VST_REAL_HALL "/usr/lib/lxvst/DragonflyHallReverb-vst.so"
#define VST_REAL_KARS "/usr/lib/vst/Kars-vst.so"
#define VST_REAL_LSP_DIR "/usr/lib/vst/lsp-plugins"
#define VST_REAL_COMPRESSOR VST_REAL_LSP_DIR "/compressor-stereo.so"
#define VST_REAL_CROSSOVER VST_REAL_LSP_DIR "/crossover-stereo.so"

inline bool vst_test_file_exists(const char* path)
{
    FILE* f = fopen(path, "rb");
    if (f)
        fclose(f);
    return f != nullptr;
}

#define VST_REQUIRE_FILE(path)                                                                      \
    do {                                                                                            \
        if (!vst_test_file_exists(path))                                                            \
            GTEST_SKIP() << (path) << " is not installed (tools/setup-deps.sh installs it)";       \
    } while (0)
