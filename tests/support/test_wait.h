// test_wait.h - a test's wait for something the program does (a state, a counter, a
// file), bounded by a limit generous enough for a heavily loaded machine: the test then
// fails on what the program did, not on how fast the machine was.
#pragma once
#include <chrono>
#include <thread>

// Far beyond any honest wait on a busy machine, short enough to end a test that hangs.
constexpr int TEST_WAIT_SECONDS = 60;

// Until done() holds: runs step() and sleeps poll_ms between looks, for at most
// TEST_WAIT_SECONDS. Returns done().
template <class Done, class Step>
bool test_wait_until(Done&& done, Step&& step, int poll_ms = 2)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(TEST_WAIT_SECONDS);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return done();
        step();
        std::this_thread::sleep_for(std::chrono::milliseconds(poll_ms));
    }
    return true;
}

template <class Done>
bool test_wait_until(Done&& done)
{
    return test_wait_until(done, [] {});
}
