// watchdog.cpp - see watchdog.h.
#include "support/watchdog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>

TestWatchdog::TestWatchdog(const char* file, int line, std::string reason, std::string path, int seconds)
{
    const ::testing::TestInfo* t = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string test = t ? std::string(t->test_suite_name()) + "." + t->name() : "";
    thread_ = std::thread([this, file, line, reason, path, seconds, test] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (wake_.wait_for(lock, std::chrono::seconds(seconds), [this] { return disarmed_; }))
            return;
        // The test's thread is stuck: no assertion of its own will run, so say why here.
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
        std::printf("%s:%d: Failure\nwatchdog: %s (still waiting after %d s)\n[  FAILED  ] %s\n", file, line,
                    reason.c_str(), seconds, test.c_str());
        std::fflush(stdout);
        _exit(1);
    });
}

TestWatchdog::~TestWatchdog()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        disarmed_ = true;
    }
    wake_.notify_one();
    thread_.join();
}
