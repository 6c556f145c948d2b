// test_proc.h - helper programs started by tests (the JACK tools): found on PATH,
// started with their output thrown away, and always stopped and reaped.
// Threads: the test's own thread.
#pragma once

// True when program is an executable file in one of PATH's folders.
bool testproc_available(const char* program);

// Starts argv[0] (looked up on PATH) with argv; stdout and stderr go to /dev/null.
// Returns the process id, or -1.
int testproc_start(const char* const* argv);

// Runs argv to its end, killing it after timeout_ms. Returns its exit status, or -1
// when it could not start, was killed or died of a signal.
int testproc_run(const char* const* argv, int timeout_ms);

// The id of a process that has ended: a child made to exit at once and reaped. -1 when
// none could be made.
int testproc_ended_pid(void);

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
