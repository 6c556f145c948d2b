// plat_signal.cpp - a counted SIGHUP and a harmless SIGPIPE.
#include "platform/plat_signal.h"

#include <atomic>
#include <csignal>
#include <cstring>

static std::atomic<uint32_t> g_hangups{0};
static_assert(std::atomic<uint32_t>::is_always_lock_free, "the handler may only touch a lock-free counter");

static void on_hangup(int)
{
    g_hangups.fetch_add(1, std::memory_order_relaxed);
}

// A handler that does nothing rather than SIG_IGN: an ignored signal stays ignored
// across exec, and the programs this one starts should see their pipes break as usual.
static void on_pipe(int)
{
}

static void catch_signal(int sig, void (*handler)(int))
{
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = handler;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(sig, &sa, nullptr);
}

void plat_signal_catch(void)
{
    catch_signal(SIGHUP, on_hangup);
    catch_signal(SIGPIPE, on_pipe);
}

uint32_t plat_signal_hangups(void)
{
    return g_hangups.load(std::memory_order_relaxed);
}
