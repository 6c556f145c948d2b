// tcstream_proto.cpp - building the station's frames and reading the listener greeting.
#include "broadcast/tcstream_proto.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "broadcast/tcstream.h"
#include "rig/json_write.h"

// ---------------------------------------------------------------------------
// Numbers and headers
// ---------------------------------------------------------------------------

void tcstream_put_u32(uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t)(v >> 24);
    p[1] = (uint8_t)(v >> 16);
    p[2] = (uint8_t)(v >> 8);
    p[3] = (uint8_t)v;
}

void tcstream_put_u64(uint8_t* p, uint64_t v)
{
    tcstream_put_u32(p, (uint32_t)(v >> 32));
    tcstream_put_u32(p + 4, (uint32_t)v);
}

uint32_t tcstream_get_u32(const uint8_t* p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}

uint64_t tcstream_get_u64(const uint8_t* p)
{
    return (uint64_t)tcstream_get_u32(p) << 32 | tcstream_get_u32(p + 4);
}

void tcstream_put_header(uint8_t* out, uint32_t n, uint8_t type)
{
    tcstream_put_u32(out, n);
    out[4] = 'T';
    out[5] = 'C';
    out[6] = TCSTREAM_VERSION;
    out[7] = type;
}

// ---------------------------------------------------------------------------
// HELLO
// ---------------------------------------------------------------------------

int tcstream_hello_json(const Station* s, char* out, size_t out_size)
{
    if (!s || !out || out_size < 2)
        return -1;
    JsonWriter w;
    json_writer_init(&w, out, out_size);
    const struct {
        const char* key;
        const char* value;
        size_t max;
    } names[] = {{"{\"app\":", s->app, sizeof s->app}, {",\"an\":", s->an, sizeof s->an},
                 {",\"kind\":", s->kind, sizeof s->kind}, {",\"dev\":", s->dev, sizeof s->dev},
                 {",\"sid\":", s->sid, sizeof s->sid}};
    for (const auto& n : names) {
        json_write_raw(&w, n.key);
        json_write_string(&w, n.value, n.max);
    }
    json_write_raw(&w, ",\"codec\":\"pcm16\",\"ch\":2,\"rate\":48000,\"frames\":480,\"tref\":");
    json_write_string(&w, s->tref, sizeof s->tref);
    char numbers[96];
    snprintf(numbers, sizeof numbers, ",\"latNs\":%lld,\"idx\":%llu,\"os\":\"linux\"}",
             (long long)s->lat_ns.load(std::memory_order_relaxed), (unsigned long long)s->last_idx);
    json_write_raw(&w, numbers);
    uint64_t needed = json_writer_finish(&w);
    if (needed >= out_size) {
        out[0] = '\0';
        return -1;
    }
    return (int)needed;
}

int tcstream_build_hello(const Station* s, uint8_t* out, size_t out_size)
{
    char json[TCSTREAM_HELLO_JSON_MAX];
    int n = tcstream_hello_json(s, json, sizeof json);
    if (n < 0 || (size_t)n + 8 > out_size || n + 8 > TCSTREAM_MAX_FRAME)
        return -1;
    tcstream_put_header(out, (uint32_t)n + 4, TCSTREAM_HELLO);
    std::memcpy(out + 8, json, (size_t)n);
    return n + 8;
}

// ---------------------------------------------------------------------------
// STATE, BYE, PONG
// ---------------------------------------------------------------------------

int tcstream_build_state(uint8_t* out, bool live)
{
    const char* body = live ? "{\"state\":\"live\"}" : "{\"state\":\"paused\"}";
    uint32_t n = (uint32_t)std::strlen(body);
    tcstream_put_header(out, n + 4, TCSTREAM_STATE);
    std::memcpy(out + 8, body, n);
    return (int)n + 8;
}

int tcstream_build_bye(uint8_t* out)
{
    tcstream_put_header(out, 4, TCSTREAM_BYE);
    return 8;
}

int tcstream_build_pong(uint8_t* out, uint64_t echo, int64_t t1, int64_t t2)
{
    tcstream_put_header(out, 28, TCSTREAM_PONG);
    tcstream_put_u64(out + 8, echo);
    tcstream_put_u64(out + 16, (uint64_t)t1);
    tcstream_put_u64(out + 24, (uint64_t)t2);
    return 32;
}

// ---------------------------------------------------------------------------
// AUDIO
// ---------------------------------------------------------------------------

int16_t tcstream_pcm16(float x)
{
    if (std::isnan(x))
        return 0;
    if (x > 1.0f)
        x = 1.0f;
    if (x < -1.0f)
        x = -1.0f;
    return (int16_t)(x * 32767.0f);
}

int tcstream_build_audio(uint8_t* out, const float* frames, uint32_t sequence, uint64_t idx, int64_t ts,
                         bool resync)
{
    const int samples = TCSTREAM_PACKET_FRAMES * 2;
    // Within +-2^-16 the sample rounds to 0 in 16 bits; NaN fails the test and counts
    // as silent too.
    const float quiet = 1.0f / 65536.0f;
    bool silent = true;
    for (int i = 0; i < samples && silent; i++)
        silent = !(std::fabs(frames[i]) > quiet);
    uint32_t payload = silent ? 0u : (uint32_t)samples * 2u;
    tcstream_put_header(out, 32 + payload, TCSTREAM_AUDIO);
    out[8] = 1;   // pcm16
    out[9] = 2;   // channels
    uint16_t flags = (uint16_t)((resync ? TCSTREAM_FLAG_RESYNC : 0) | (silent ? TCSTREAM_FLAG_SILENT : 0));
    out[10] = (uint8_t)(flags >> 8);
    out[11] = (uint8_t)flags;
    tcstream_put_u32(out + 12, sequence);
    tcstream_put_u32(out + 16, TCSTREAM_PACKET_FRAMES);
    tcstream_put_u64(out + 20, idx);
    tcstream_put_u64(out + 28, (uint64_t)ts);
    if (silent)
        return TCSTREAM_AUDIO_HEADER;
    uint8_t* p = out + TCSTREAM_AUDIO_HEADER;
    for (int i = 0; i < samples; i++) {
        uint16_t v = (uint16_t)tcstream_pcm16(frames[i]);
        p[2 * i] = (uint8_t)v;
        p[2 * i + 1] = (uint8_t)(v >> 8);
    }
    return TCSTREAM_MAX_FRAME;
}

// ---------------------------------------------------------------------------
// Greeting
// ---------------------------------------------------------------------------

// The listener greeting is read with this one function, which knows just enough
// JSON for {"an":"...","dev":"..."}: it can be swapped for the full JSON reader
// without touching its callers.
void tcstream_json_get_string(const char* text, size_t length, const char* key, char* out, size_t out_size)
{
    if (!out || out_size == 0)
        return;
    out[0] = '\0';
    if (!text || !key)
        return;
    size_t klen = std::strlen(key);
    // The quoted key occupies klen + 2 bytes and must end before the text's last byte.
    if (length < klen + 3)
        return;
    size_t at = (size_t)-1;
    for (size_t i = 0; i + klen + 2 < length; i++) {
        if (text[i] == '"' && std::memcmp(text + i + 1, key, klen) == 0 && text[i + klen + 1] == '"') {
            at = i + klen + 2;
            break;
        }
    }
    if (at == (size_t)-1)
        return;
    while (at < length && (text[at] == ' ' || text[at] == '\t' || text[at] == ':'))
        at++;
    if (at >= length || text[at] != '"')
        return;
    size_t start = ++at;
    while (at < length && text[at] != '"')
        at++;
    if (at >= length)
        return;
    size_t n = at - start;
    if (n > out_size - 1)
        n = out_size - 1;
    std::memcpy(out, text + start, n);
    out[n] = '\0';
}

void tcstream_listener_label(const char* name, const char* dev, char* out, size_t out_size)
{
    if (!out || out_size == 0)
        return;
    if (dev && dev[0])
        snprintf(out, out_size, "%s (%s)", name ? name : "", dev);
    else
        snprintf(out, out_size, "%s", name ? name : "");
}
