// The station's receive path on any byte stream from a listener, arriving in pieces
// no larger than the room left in its receive buffer, as the socket hands them over.
// The listener is dropped exactly when the stream announces a frame longer than a
// listener may send; every PING of the protocol gets one PONG, first in line, echoing
// its time; names from greetings are valid UTF-8 within their fields, the name in
// capitals.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "broadcast/tcstream.h"
#include "broadcast/tcstream_internal.h"
#include "broadcast/tcstream_proto.h"
#include "broadcast/tcstream_queue.h"
#include "fuzz_kit.h"

namespace {

struct Expected {
    bool dropped = false;
    int pings = 0;
    uint64_t last_echo = 0;
};

// The frames of the stream as the protocol lays them out.
Expected walk(const std::string& stream)
{
    Expected x;
    size_t at = 0;
    while (stream.size() - at >= 4) {
        uint32_t n = tcstream_get_u32((const uint8_t*)stream.data() + at);
        if (n > TCSTREAM_MAX_RX_BODY) {
            x.dropped = true;
            break;
        }
        if (stream.size() - at < (size_t)n + 4)
            break;
        const uint8_t* f = (const uint8_t*)stream.data() + at;
        if (n >= 12 && f[4] == 'T' && f[5] == 'C' && f[6] == TCSTREAM_VERSION && f[7] == TCSTREAM_PING) {
            x.pings++;
            x.last_echo = tcstream_get_u64(f + 8);
        }
        at += (size_t)n + 4;
    }
    return x;
}

void check_field(const char* field, size_t size)
{
    size_t len = strnlen(field, size);
    FUZZ_CHECK(len < size && fuzz_utf8_valid(field, len));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Station* st = [] {
        Station* s = (Station*)std::malloc(sizeof(Station));
        FUZZ_CHECK(s && tcstream_init(s, "tessel", "TESSEL", "loop", "mono", 0, fuzz_fresh_folder("station").c_str()) == 0);
        return s;
    }();
    if (size < 1)
        return 0;
    StationListener* l = &st->listeners[0];
    l->in_use = 1;
    l->name[0] = l->dev[0] = '\0';
    l->rx_len = 0;
    tcstream_queue_clear(l);

    size_t piece = 1 + data[0] % 64 * 16;
    std::string stream((const char*)data + 1, size - 1);
    Expected x = walk(stream);
    bool dropped = false;
    for (size_t at = 0; at < stream.size() && !dropped;) {
        size_t room = (size_t)(TCSTREAM_RX_BYTES - l->rx_len);
        size_t n = std::min({piece, room, stream.size() - at});
        FUZZ_CHECK(n > 0);
        std::memcpy(l->rx + l->rx_len, stream.data() + at, n);
        l->rx_len += (int32_t)n;
        at += n;
        dropped = !tcstream_take_frames(st, l);
        FUZZ_CHECK(l->rx_len >= 0 && l->rx_len <= TCSTREAM_RX_BYTES);
        FUZZ_CHECK(dropped || l->rx_len < 4 || (int32_t)tcstream_get_u32(l->rx) + 4 > l->rx_len);
        check_field(l->name, sizeof l->name);
        check_field(l->dev, sizeof l->dev);
        for (const char* p = l->name; *p; p++)
            FUZZ_CHECK(!(*p >= 'a' && *p <= 'z'));
    }
    FUZZ_CHECK(dropped == x.dropped);
    if (!dropped) {
        int want = x.pings < TCSTREAM_QUEUE_FRAMES ? x.pings : TCSTREAM_QUEUE_FRAMES;
        FUZZ_CHECK(l->count == want);
        if (want > 0) {
            const uint8_t* pong = tcstream_queue_at(l, 0);
            FUZZ_CHECK(tcstream_queue_length_at(l, 0) == 32 && pong[7] == TCSTREAM_PONG);
            FUZZ_CHECK(tcstream_get_u64(pong + 8) == x.last_echo);
        }
    }
    return 0;
}
