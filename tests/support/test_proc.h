// test_proc.h - helper programs started by tests (the JACK tools): found on PATH,
// started with their output thrown away, and always stopped and reaped.
// Threads: the test's own thread.
#pragma once
#include <condition_variable>
#include <mutex>
#include <thread>

// True when program is an executable file in one of PATH's folders.
bool testproc_available(const char* program);

// Starts argv[0] (looked up on PATH) with argv; stdout and stderr go to /dev/null.
// Returns the process id, or -1.
int testproc_start(const char* const* argv);

// Runs argv to its end, killing it after timeout_ms. Returns its exit status, or -1
// when it could not start, was killed or died of a signal.
int testproc_run(const char* const* argv, int timeout_ms);

// Asks pid to end (SIGTERM), kills it after about 2 s, and reaps it. Accepts -1.
void testproc_stop(int pid);

// Owns one started helper and stops it on every way out of a test.
class TestChild {
public:
    explicit TestChild(const char* const* argv) : pid_(testproc_start(argv)) {}
    ~TestChild() { testproc_stop(pid_); }
    TestChild(const TestChild&) = delete;
    TestChild& operator=(const TestChild&) = delete;
    bool started() const { return pid_ > 0; }

private:
    int pid_;
};

// Guards a test's calls that must never block (a FIFO opened for reading): when the
// guard is still alive after the given seconds, the program ends at once with exit
// status 1 and "watchdog: <what> still runs after N s" on standard error, rather than
// hanging until ctest's timeout.
class TestWatchdog {
public:
    TestWatchdog(const char* what, int seconds);
    ~TestWatchdog();
    TestWatchdog(const TestWatchdog&) = delete;
    TestWatchdog& operator=(const TestWatchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};
