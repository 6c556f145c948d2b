// watchdog.h - ends a test whose call hangs (waiting on a FIFO for good) within a bound,
// with a failure line that says why, after removing what the test made there.
#pragma once
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <future>
#include <string>
#include <thread>

// Unless destroyed within seconds: prints "<file>:<line>: Failure" with reason, removes
// path (a FIFO or a whole folder) and ends the process with status 1.
struct TestWatchdog {
    std::promise<void> disarm;
    std::thread thread;
    TestWatchdog(const char* file, int line, std::string reason, std::string path, int seconds)
        : thread([armed = disarm.get_future(), file, line, reason, path, seconds] {
              if (armed.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready)
                  return;
              std::error_code ec;
              std::filesystem::remove_all(path, ec);
              std::printf("%s:%d: Failure\nwatchdog: %s (still waiting after %d s)\n", file, line, reason.c_str(),
                          seconds);
              std::fflush(stdout);
              _exit(1);
          })
    {
    }
    ~TestWatchdog()
    {
        disarm.set_value();
        thread.join();
    }
};

#define TEST_WATCHDOG(var, reason, path, seconds) TestWatchdog var(__FILE__, __LINE__, reason, path, seconds)
