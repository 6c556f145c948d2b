// prefs_fixture.h - the preferences store in a fresh data folder per test: the file's
// path, its bytes, values as the store reads them, and forked copies of the program.
#pragma once
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "app/folders.h"
#include "app/kit_prefs.h"
#include "library/user_stores.h"
#include "tests/app/app_test.h"

namespace prefs_fixture {

inline std::string slurp(const std::filesystem::path& p)
{
    std::ifstream f(p, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// The stored value, or "<none>".
inline std::string pref(const char* key)
{
    char out[KIT_PREFS_VALUE];
    kit_prefs_get(key, "<none>", out, sizeof out);
    return out;
}

// A child process that runs fn and ends with its result as the exit code; reap gives
// that code, or -1 when the child was killed.
template <typename Fn>
pid_t fork_run(Fn fn)
{
    pid_t pid = fork();
    if (pid == 0)
        _exit(fn());
    return pid;
}
inline int reap(pid_t pid)
{
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace prefs_fixture

class PrefsTest : public ::testing::Test {
protected:
    AppTestFolder dir;
    std::filesystem::path file = dir.path / "vividkit.ini";
    void SetUp() override { folders_use_data_path(dir.path.c_str()); }
    void TearDown() override { folders_use_data_path(""); }
    void seed(const std::string& text) { std::ofstream(file, std::ios::binary) << text; }
};
