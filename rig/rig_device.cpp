// rig_device.cpp - device words, names and keys, the key hash, the default mix, and
// the bounded UTF-8 copy.
#include "rig/rig_device.h"

#include "platform/plat_text.h"
#include "rig/json_utf8.h"

#include <cstdio>
#include <cstring>

// Bytes of a device name looked at; longer names are cut (at a whole character).
static const int kNameScanMax = 4096;
// Longest cleaned name a device key holds, in bytes.
static const int kKeyNameMax = 399;

static const unsigned char kReplacement[3] = {0xEF, 0xBF, 0xBD};   // U+FFFD

static bool is_blank(unsigned char c) { return c == ' ' || (c >= 9 && c <= 13); }
static bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

// Bytes before the NUL, counting at most max.
static int bytes_before_nul(const unsigned char* p, int max)
{
    int n = 0;
    while (n < max && p[n])
        n++;
    return n;
}

// One unit of a NUL-terminated text: the bytes to write for it (the character, or
// U+FFFD for an invalid unit) and how far the source moves. False at the NUL.
struct Utf8Unit {
    const unsigned char* bytes;
    int len;
    int consumed;
    bool valid;
};

static bool utf8_next_unit(const unsigned char* p, Utf8Unit* u)
{
    uint32_t cp = 0;
    int n = json_utf8_decode(p, bytes_before_nul(p, 4), &cp);
    if (n < 1)
        return false;
    u->consumed = n;
    u->valid = cp != JSON_UTF8_INVALID;
    u->bytes = u->valid ? p : kReplacement;
    u->len = u->valid ? n : 3;
    return true;
}

// Removes trailing blanks of a NUL-terminated text of length len; returns the new length.
static int trim_trailing(char* s, int len)
{
    while (len > 0 && is_blank((unsigned char)s[len - 1]))
        len--;
    s[len] = '\0';
    return len;
}

int rig_utf8_copy(char* dst, int size, const char* src)
{
    if (!dst || size < 1)
        return 0;
    const unsigned char* p = (const unsigned char*)(src ? src : "");
    int w = 0;
    Utf8Unit u;
    while (utf8_next_unit(p, &u)) {
        // A character that does not fit ends the copy; a later, shorter one is not
        // tried, so the result is always a prefix of the whole text.
        if (u.len > size - 1 - w)
            break;
        std::memcpy(dst + w, u.bytes, (size_t)u.len);
        w += u.len;
        p += u.consumed;
    }
    dst[w] = '\0';
    return w;
}

int rig_api_name(int type_id, char* out, int size)
{
    if (!out || size < 1)
        return 0;
    const char* word = nullptr;
    switch (type_id) {
    case 1: word = "ds"; break;
    case 2: word = "mme"; break;
    case 3: word = "asio"; break;
    case 5: word = "coreaudio"; break;
    case 8: word = "alsa"; break;
    case 11: word = "wdmks"; break;
    case 12: word = "jack"; break;
    case 13: word = "wasapi"; break;
    default: break;
    }
    char numbered[24];
    if (!word) {
        std::snprintf(numbered, sizeof numbered, "api%d", type_id);
        word = numbered;
    }
    int n = (int)std::strlen(word);
    if (n > size - 1)
        n = size - 1;
    std::memcpy(out, word, (size_t)n);
    out[n] = '\0';
    return n;
}

// True when len bytes are well-formed UTF-8 throughout.
static bool utf8_is_valid(const unsigned char* s, int len)
{
    int i = 0;
    while (i < len) {
        uint32_t cp = 0;
        int n = json_utf8_decode(s + i, len - i, &cp);
        if (n < 1 || cp == JSON_UTF8_INVALID)
            return false;
        i += n;
    }
    return true;
}

int rig_device_name_utf8(const char* name, char* out, int size)
{
    if (!out || size < 1)
        return 0;
    out[0] = '\0';
    if (!name)
        return 0;

    const unsigned char* s = (const unsigned char*)name;
    size_t begin = 0;
    while (s[begin] && is_blank(s[begin]))
        begin++;
    size_t end = begin + std::strlen(name + begin);
    while (end > begin && is_blank(s[end - 1]))
        end--;
    if (end == begin)
        return 0;
    s += begin;
    size_t avail = end - begin;

    int len = avail > (size_t)kNameScanMax ? kNameScanMax : (int)avail;
    if (avail > (size_t)kNameScanMax) {
        // The cut must not split the last character of a valid name: that alone
        // would make the name read as invalid and be converted as a legacy text.
        int start = len;
        while (start > len - 3 && (s[start] & 0xC0) == 0x80)
            start--;
        uint32_t cp = 0;
        int n = json_utf8_decode(s + start, bytes_before_nul(s + start, 4), &cp);
        if (cp != JSON_UTF8_INVALID && start + n > len)
            len = start;
    }

    char used[kNameScanMax + 1];
    std::memcpy(used, s, (size_t)len);
    used[len] = '\0';

    if (utf8_is_valid((const unsigned char*)used, len)) {
        rig_utf8_copy(out, size, used);
    } else {
        // Not UTF-8: read through the platform's legacy code page (Latin-1 here,
        // where every byte is a character); without one, repair with U+FFFD.
        char converted[kNameScanMax * 2 + 1];
        if (plat_text_legacy_to_utf8(used, (size_t)len, converted, sizeof converted) >= 0)
            rig_utf8_copy(out, size, converted);
        else
            rig_utf8_copy(out, size, used);
    }
    return trim_trailing(out, (int)std::strlen(out));
}

// Drops the instance number Windows puts before the name of a second device with the
// same name: "(2- USB Audio)" reads "(USB Audio)". Only '(' digits '-' space matches.
static int drop_instance_numbers(char* s, int len)
{
    int w = 0;
    int i = 0;
    while (i < len) {
        if (s[i] == '(') {
            int j = i + 1;
            while (j < len && is_digit((unsigned char)s[j]))
                j++;
            if (j > i + 1 && j + 1 < len && s[j] == '-' && s[j + 1] == ' ') {
                s[w++] = '(';
                i = j + 2;
                continue;
            }
        }
        s[w++] = s[i++];
    }
    s[w] = '\0';
    return w;
}

// Drops an ALSA " (hw:N,M)" that ends the name: the card number can change across
// boots and re-plugging, and the device must keep its rig.
static int drop_alsa_hw_suffix(char* s, int len)
{
    int i = len - 1;
    if (i < 0 || s[i] != ')')
        return len;
    int digits_end = i;
    while (i > 0 && is_digit((unsigned char)s[i - 1]))
        i--;
    if (i == digits_end || i < 1 || s[i - 1] != ',')
        return len;
    i--;
    digits_end = i;
    while (i > 0 && is_digit((unsigned char)s[i - 1]))
        i--;
    static const char kHead[] = " (hw:";
    const int head_len = (int)sizeof kHead - 1;
    if (i == digits_end || i < head_len || std::memcmp(s + i - head_len, kHead, (size_t)head_len) != 0)
        return len;
    return trim_trailing(s, i - head_len);
}

int rig_device_key(const char* api, const char* name, char* out, int size)
{
    if (!out || size < 1)
        return -1;
    out[0] = '\0';
    if (!api)
        api = "";

    char clean[kKeyNameMax + 1];
    int len = rig_utf8_copy(clean, sizeof clean, name);
    len = trim_trailing(clean, len);
    int begin = 0;
    while (begin < len && is_blank((unsigned char)clean[begin]))
        begin++;
    std::memmove(clean, clean + begin, (size_t)(len - begin + 1));
    len -= begin;
    len = drop_instance_numbers(clean, len);
    len = drop_alsa_hw_suffix(clean, len);

    size_t api_len = std::strlen(api);
    if (api_len + (size_t)len + 2 > (size_t)size)
        return -1;
    std::memcpy(out, api, api_len);
    out[api_len] = ':';
    std::memcpy(out + api_len + 1, clean, (size_t)len + 1);
    return (int)api_len + 1 + len;
}

uint32_t rig_fnv1a32(const char* text)
{
    uint32_t h = 0x811c9dc5u;
    for (const unsigned char* p = (const unsigned char*)(text ? text : ""); *p; p++)
        h = (h ^ *p) * 16777619u;
    return h ? h : 1;
}

bool rig_api_is_direct(const char* api)
{
    return api && (std::strcmp(api, "asio") == 0 || std::strcmp(api, "jack") == 0);
}

void rig_default_input_mix(const char* api, int channels, RigMix* out)
{
    if (!out)
        return;
    std::memset(out, 0, sizeof *out);
    out->master = 1.0f;
    out->channels = channels < 0 ? 0 : channels > RIG_MAX_INPUTS ? RIG_MAX_INPUTS : channels;
    if (out->channels == 1) {
        out->left[0] = 1.0f;
        out->right[0] = 1.0f;
    } else if (out->channels >= 2) {
        // A direct interface's inputs are separate mono channels, each at the centre;
        // otherwise the first two are a stereo pair, each channel to its own side.
        bool direct = rig_api_is_direct(api);
        out->left[0] = 1.0f;
        out->right[0] = direct ? 1.0f : 0.0f;
        out->left[1] = direct ? 1.0f : 0.0f;
        out->right[1] = 1.0f;
    }
}
