// rigdoc_id.cpp - identifiers: the process-wide random numbers, scene and input
// UUIDs, writer instance ids, and rig file names made from device keys.
#include "rig/rigdoc.h"

#include "platform/plat_time.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

// ---- Random numbers --------------------------------------------------------------

static const uint64_t kGolden = 0x9e3779b97f4a7c15ull;

enum { kUnseeded = 0, kSeeding = 1, kSeeded = 2 };

static std::atomic<uint64_t> g_state{0};
static std::atomic<uint64_t> g_counter{0};
static std::atomic<int> g_seeded{kUnseeded};

static uint64_t mix64(uint64_t z)
{
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

// Seeds from the clock and two addresses on the first call. A caller that loses the
// race waits for the winner's state, so no number is drawn from an unseeded state
// (two processes would draw the same ones).
static void ensure_seeded(void)
{
    if (g_seeded.load(std::memory_order_acquire) == kSeeded)
        return;
    int expected = kUnseeded;
    if (g_seeded.compare_exchange_strong(expected, kSeeding, std::memory_order_acq_rel)) {
        int on_stack = 0;
        uint64_t t = (uint64_t)std::time(nullptr);
        uint64_t k = plat_time_ns();
        uint64_t s = mix64(t ^ (k << 20));
        s = mix64(s ^ (uint64_t)(uintptr_t)&on_stack);
        s = mix64(s ^ (uint64_t)(uintptr_t)&g_state);
        g_state.store(s, std::memory_order_relaxed);
        g_seeded.store(kSeeded, std::memory_order_release);
        return;
    }
    while (g_seeded.load(std::memory_order_acquire) != kSeeded)
        std::this_thread::yield();
}

uint64_t rig_random_u64(void)
{
    ensure_seeded();
    uint64_t c = g_counter.fetch_add(1, std::memory_order_relaxed) + 1;
    return mix64(g_state.load(std::memory_order_relaxed) + c * kGolden);
}

void rig_random_seed(uint64_t seed)
{
    g_state.store(seed, std::memory_order_relaxed);
    g_counter.store(0, std::memory_order_relaxed);
    g_seeded.store(kSeeded, std::memory_order_release);
}

// ---- UUIDs and instance ids ------------------------------------------------------

void rig_uuid_new(char out[37])
{
    if (!out)
        return;
    uint64_t a = rig_random_u64(), b = rig_random_u64();
    unsigned char bytes[16];
    for (int i = 0; i < 8; i++) {
        bytes[i] = (unsigned char)(a >> (56 - 8 * i));
        bytes[8 + i] = (unsigned char)(b >> (56 - 8 * i));
    }
    bytes[6] = (unsigned char)(0x40 | (bytes[6] & 0x0F));
    bytes[8] = (unsigned char)(0x80 | (bytes[8] & 0x3F));
    static const char kHex[] = "0123456789ABCDEF";
    int w = 0;
    for (int i = 0; i < 16; i++) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out[w++] = '-';
        out[w++] = kHex[bytes[i] >> 4];
        out[w++] = kHex[bytes[i] & 0x0F];
    }
    out[w] = '\0';
}

void rig_instance_id(char out[17])
{
    if (out)
        std::snprintf(out, 17, "%016llx", (unsigned long long)rig_random_u64());
}

// ---- File names ------------------------------------------------------------------

// Characters of the readable part of a rig file name.
static const int kSlugMax = 40;

int rig_file_name(const char* name, char* out, int size)
{
    if (!name)
        name = "";
    char slug[kSlugMax + 1];
    int n = 0;
    bool gap = false;   // a run of other bytes waits for the next kept character
    for (const unsigned char* p = (const unsigned char*)name; *p && n < kSlugMax; p++) {
        unsigned char c = *p;
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        bool digit = c >= '0' && c <= '9';
        if (!letter && !digit) {
            gap = n > 0;
            continue;
        }
        if (gap) {
            slug[n++] = '-';
            gap = false;
            if (n == kSlugMax)
                break;
        }
        slug[n++] = letter ? (char)(c | 0x20) : (char)c;
    }
    slug[n] = '\0';
    int len = n + 14;   // "-" + 8 hex digits + ".json"
    if (!out || size < len + 1) {
        if (out && size > 0)
            out[0] = '\0';
        return -1;
    }
    std::snprintf(out, (size_t)size, "%s-%08x.json", slug, (unsigned)rig_fnv1a32(name));
    return len;
}
