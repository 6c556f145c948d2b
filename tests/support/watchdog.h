// watchdog.h - ends a test that hangs (a call waiting on a FIFO for good) within a
// bound, with a failure line that says why, after removing what the test made there.
// Threads: the test's thread arms and disarms it; a thread of its own fires it.
#pragma once
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

class TestWatchdog {
public:
    // Unless destroyed within seconds: prints "<file>:<line>: Failure" with reason,
    // removes path (a file, a FIFO or a whole folder; "" for none) and ends the process
    // with status 1.
    TestWatchdog(const char* file, int line, std::string reason, std::string path, int seconds);
    ~TestWatchdog();
    TestWatchdog(const TestWatchdog&) = delete;
    TestWatchdog& operator=(const TestWatchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable wake_;
    bool disarmed_ = false;
    std::thread thread_;
};

#define TEST_WATCHDOG(var, reason, path, seconds) TestWatchdog var(__FILE__, __LINE__, reason, path, seconds)
