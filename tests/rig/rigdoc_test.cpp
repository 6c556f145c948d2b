// Rig file codec: what decodes and what is refused, every repair with its message,
// the fixed member order of the writer, unknown members kept verbatim, round trips,
// newer versions, and hostile files (huge, deeply nested, wrong types, invalid UTF-8,
// out of memory). Every text is decoded from a heap copy of exactly its size, so a
// read past its end trips the address sanitizer.
#include "rig/json_read.h"
#include "rig/rigdoc.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

struct DocFree {
    void operator()(RigDocument* d) const { rig_doc_free(d); }
};
using Doc = std::unique_ptr<RigDocument, DocFree>;

Doc new_doc() { return Doc(rig_doc_new()); }

struct Decoded {
    int result;
    std::string msg;
};

Decoded decode(const std::string& text, RigDocument* doc, size_t msg_cap = 512)
{
    std::unique_ptr<char[]> exact(new char[text.size() ? text.size() : 1]);
    std::memcpy(exact.get(), text.data(), text.size());
    std::vector<char> msg(msg_cap ? msg_cap : 1, 'x');
    int r = rig_decode(exact.get(), text.size(), doc, msg_cap ? msg.data() : nullptr, msg_cap);
    return {r, msg_cap ? std::string(msg.data()) : std::string()};
}

std::string encode(const RigDocument* doc)
{
    uint64_t need = rig_encode(doc, nullptr, 0);
    std::string out(need + 1, '\0');
    EXPECT_EQ(rig_encode(doc, out.data(), out.size()), need);
    out.resize(need);
    return out;
}

std::string replaced(std::string s, const std::string& from, const std::string& to)
{
    size_t at = s.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos)
        s.replace(at, from.size(), to);
    return s;
}

bool no_raw_texts(const RigDocument* d)
{
    if (d->raw_top || d->raw_device || d->raw_scenes)
        return false;
    for (const RigScene& s : d->scenes) {
        if (s.raw_members || s.raw_channels)
            return false;
        for (const RigInput& in : s.inputs)
            if (in.raw)
                return false;
    }
    return true;
}

// A clean rig: two inputs in scene 1 (linked), three more scenes without inputs.
const std::string kInput0 =
    R"({"id":"i0","kind":{"input":{"channel":0}},"label":"a","gain":1,"pan":0,"muted":false,"link":true})";
const std::string kInput1 =
    R"({"id":"i1","kind":{"input":{"channel":1}},"label":"b","gain":0.5,"pan":0.25,"muted":true,"link":false})";
const std::string kScene1 = R"({"id":"A","name":"one","glyph":"♗","masterGain":1,"updatedAt":2,"author":"x","channels":[)" +
                            kInput0 + "," + kInput1 + "]}";
const std::string kBase =
    R"({"format":"tidecoil.rig","version":1,"rev":4,"key":"wasapi:Mic",)"
    R"("device":{"api":"wasapi","name":"Mic","channels":2,"channelNames":["L","R"]},"activeScene":1,)"
    R"("appScenes":{"tessel":{"scene":1,"at":3}},"scenes":[)" +
    kScene1 + R"(,{"id":"B"},{"id":"C"},{"id":"D"}],)"
              R"("writer":{"app":"tessel","platform":"linux","version":"1","instance":"00000000000000ff","at":5}})";

// ---- What decodes ------------------------------------------------------------------

TEST(RigDecode, ACleanFileFillsEveryField)
{
    Doc d = new_doc();
    Decoded r = decode(kBase, d.get());
    ASSERT_EQ(r.result, RIG_DECODE_CLEAN) << r.msg;
    EXPECT_EQ(r.msg, "");
    EXPECT_EQ(d->rev, 4);
    EXPECT_EQ(d->device.channels, 2);
    EXPECT_STREQ(d->device.channel_names[1], "R");
    EXPECT_EQ(d->active_scene, 1);
    ASSERT_EQ(d->app_scene_count, 1);
    EXPECT_STREQ(d->app_scenes[0].app, "tessel");
    const RigScene& s = d->scenes[0];
    EXPECT_EQ(s.channels, 2);
    EXPECT_EQ(s.updated_at, 2.0);
    EXPECT_EQ(s.inputs[1].gain, 0.5f);
    EXPECT_EQ(s.inputs[1].pan, 0.25f);
    EXPECT_EQ(s.inputs[1].muted + s.inputs[0].link, 2);
    // A scene without members takes its defaults quietly.
    EXPECT_STREQ(d->scenes[2].name, "scene 3");
    EXPECT_STREQ(d->scenes[2].glyph, "♨");
    EXPECT_STREQ(d->writer.instance, "00000000000000ff");
    EXPECT_TRUE(no_raw_texts(d.get()));
}

TEST(RigDecode, TextsThatAreNoRigAreRefusedAndLeaveTheDocumentReset)
{
    struct Case {
        std::string text;
        int result;
        std::string msg;
    } cases[] = {
        {"", RIG_DECODE_NO_TEXT, "not JSON: no JSON value (empty)"},
        {"{\"format\":", RIG_DECODE_NO_TEXT, "not JSON: truncated at byte 10"},
        {"[1,2]", RIG_DECODE_NOT_A_RIG, "not a rig: the JSON is not an object"},
        {"{\"format\":\"tidecoil.rigs\"}", RIG_DECODE_NOT_A_RIG, "not a rig: \"format\" is not \"tidecoil.rig\""},
        {"{\"format\":7}", RIG_DECODE_NOT_A_RIG, "not a rig: \"format\" is not \"tidecoil.rig\""},
        {"{\"version\":1}", RIG_DECODE_NOT_A_RIG, "not a rig: \"format\" is not \"tidecoil.rig\""},
        // Only the first "format" counts.
        {"{\"format\":\"x\",\"format\":\"tidecoil.rig\"}", RIG_DECODE_NOT_A_RIG,
         "not a rig: \"format\" is not \"tidecoil.rig\""},
        {replaced(kBase, R"("rev":4)", R"("rev":9223372036854775807)"), RIG_DECODE_NOT_A_RIG,
         "damaged: rev 9223372036854775807 cannot be raised"},
    };
    Doc d = new_doc();
    for (const Case& c : cases) {
        ASSERT_EQ(decode(replaced(kBase, "\"key\":", "\"junk\":[1],\"key\":"), d.get()).result, RIG_DECODE_CLEAN);
        ASSERT_NE(d->raw_top, nullptr);
        Decoded r = decode(c.text, d.get());
        EXPECT_EQ(r.result, c.result) << c.text;
        EXPECT_EQ(r.msg, c.msg) << c.text;
        EXPECT_EQ(d->version, 1);
        EXPECT_STREQ(d->key, "");
        EXPECT_EQ(d->scenes[0].channels, 0);
        EXPECT_TRUE(no_raw_texts(d.get())) << c.text;
    }

    std::string big = kBase;
    big.insert(big.size() - 1, ",\"pad\":\"" + std::string(RIG_FILE_MAX - big.size() - 9, 'p') + "\"");
    ASSERT_EQ(big.size(), (size_t)RIG_FILE_MAX);
    EXPECT_EQ(decode(big, d.get()).result, RIG_DECODE_CLEAN);
    big.insert(big.size() - 2, "q");
    Decoded r = decode(big, d.get());
    EXPECT_EQ(r.result, RIG_DECODE_NO_TEXT);
    EXPECT_EQ(r.msg, "bigger than 1 MB (1048577 bytes)");

    char msg[64];
    EXPECT_EQ(rig_decode(kBase.data(), kBase.size(), nullptr, msg, sizeof msg), RIG_DECODE_NO_TEXT);
    EXPECT_STREQ(msg, "no doc to decode into");
    // Without a message buffer the result still stands.
    EXPECT_EQ(decode("[]", d.get(), 0).result, RIG_DECODE_NOT_A_RIG);
}

// ---- Repairs -----------------------------------------------------------------------

TEST(RigDecode, EveryFieldFaultIsRepairedWithItsMessage)
{
    struct Case {
        std::string from, to, msg;
    } cases[] = {
        {R"("version":1)", R"("version":"1")", "the rig: version is not an integer in 1..2147483647"},
        {R"("rev":4)", R"("rev":-1)", "the rig: rev is not an integer in 0..9223372036854775807"},
        {R"("activeScene":1)", R"("activeScene":4)", "the rig: activeScene is not an integer in 0..3"},
        {R"("key":"wasapi:Mic")", R"("key":7)", "the rig: key is not a string"},
        {R"("channels":2)", R"("channels":65)", "device: channels is not an integer in 1..64"},
        {R"("api":"wasapi")", R"("api":"wasapiwasapiwasapi")", "device: api is longer than 15 bytes (cut)"},
        {R"("channelNames":["L","R"])", R"("channelNames":"L")", "device: channelNames is not an array"},
        {R"("device":{)", R"("device":[],"x":{)", "device is not an object"},
        {R"("writer":{)", R"("writer":1,"w":{)", "writer is not an object"},
        {R"("appScenes":{)", R"("appScenes":[],"a":{)", "appScenes is not an object"},
        {R"({"scene":1,"at":3})", R"(5)", "appScenes \"tessel\" is not an object (dropped)"},
        {R"({"scene":1,"at":3})", R"({"scene":9,"at":3})", "appScenes \"tessel\": scene is not an integer in 0..3"},
        {R"({"scene":1,"at":3})", R"({"scene":1,"at":3,"by":"me"})",
         "appScenes \"tessel\": members other than scene / at (dropped)"},
        {R"("name":"one")", R"("name":["one"])", "scene 1: name is not a string"},
        {R"("id":"A")", R"("id":"")", "scene 1: id is not a usable UUID (a new one minted)"},
        {R"("masterGain":1)", R"("masterGain":-2)", "scene 1: masterGain is out of range (clamped)"},
        {R"("updatedAt":2)", R"("updatedAt":"2")", "scene 1: updatedAt is not a number"},
        {R"("channels":[{"id":"i0")", R"("channels":{},"c":[{"id":"i0")", "scene 1: channels is not an array"},
        {R"("gain":1,)", R"("gain":5,)", "scene 1 input 1: gain is out of range (clamped)"},
        {R"("gain":1,)", R"("gain":1e400,)", "scene 1 input 1: gain is out of range (clamped)"},
        {R"("pan":0,)", R"("pan":"left",)", "scene 1 input 1: pan is not a number"},
        {R"("muted":false)", R"("muted":0)", "scene 1 input 1: muted is not true / false"},
        {R"("author":"x")", R"("author":"x","author":"y")", "scene 1: \"author\" appears twice (the first kept)"},
        // A glyph of two characters is cut to the first by the final repair.
        {R"("glyph":"♗")", R"("glyph":"♗♗")", "out-of-range values repaired"},
        // A link on an odd input means nothing: cleared.
        {R"("muted":true,"link":false)", R"("muted":true,"link":true)", "out-of-range values repaired"},
    };
    for (const Case& c : cases) {
        Doc d = new_doc();
        Decoded r = decode(replaced(kBase, c.from, c.to), d.get());
        EXPECT_EQ(r.result, RIG_DECODE_REPAIRED) << c.to;
        EXPECT_EQ(r.msg, c.msg) << c.to;
        // Whatever was repaired, the document needs no further repair.
        EXPECT_FALSE(rig_doc_clamp(d.get())) << c.to;
    }
}

TEST(RigDecode, RepairedValuesTakeTheirFallbacks)
{
    Doc d = new_doc();
    std::string t = replaced(kBase, R"("gain":1,"pan":0,"muted":false,"link":true)",
                             R"("gain":5,"pan":"left","muted":3,"link":"yes")");
    t = replaced(t, R"("gain":0.5,"pan":0.25)", R"("gain":-1e400,"pan":2)");
    t = replaced(t, R"("masterGain":1)", R"("masterGain":"loud")");
    t = replaced(t, R"("activeScene":1)", R"("activeScene":-1)");
    t = replaced(t, R"("glyph":"♗")", "\"glyph\":\"\xEF\xB8\x8F\"");
    t = replaced(t, R"({"id":"B"})", "{\"id\":\"B\",\"glyph\":\"\\u0007\"}");
    ASSERT_EQ(decode(t, d.get()).result, RIG_DECODE_REPAIRED);
    const RigInput* in = d->scenes[0].inputs;
    EXPECT_EQ(in[0].gain, RIG_GAIN_MAX);
    EXPECT_EQ(in[0].pan, 0.0f);
    EXPECT_EQ(in[0].muted, 0);   // a bad mute keeps the default (input 1 is unmuted)
    EXPECT_EQ(in[0].link, 0);
    EXPECT_EQ(in[1].gain, 0.0f);
    EXPECT_EQ(in[1].pan, 1.0f);
    EXPECT_EQ(d->scenes[0].master_gain, 1.0f);
    EXPECT_EQ(d->active_scene, 0);
    // A lone variation selector and a control character give the scene's own glyph.
    EXPECT_STREQ(d->scenes[0].glyph, "♗");
    EXPECT_STREQ(d->scenes[1].glyph, "❦");
    // A label is cut at a whole character within 63 bytes.
    t = replaced(kBase, R"("label":"a")", "\"label\":\"" + std::string(62, 'x') + "\xC3\xA9" + "\"");
    Decoded r = decode(t, d.get());
    EXPECT_EQ(r.msg, "scene 1 input 1: label is longer than 63 bytes (cut)");
    EXPECT_EQ(std::string(d->scenes[0].inputs[0].label), std::string(62, 'x'));
}

TEST(RigDecode, ChannelEntriesFillInputsByTheirChannel)
{
    auto entry = [](const std::string& kind) { return "{\"kind\":" + kind + ",\"gain\":0.25}"; };
    std::string channels = "[" + entry(R"({"input":{"channel":3}})") + "," + entry(R"({"input":{"channel":0}})") + "," +
                           entry(R"({"input":{"channel":1}})") + "," + entry(R"({"input":{"channel":70}})") + "," +
                           entry(R"({"bus":{"n":1}})") + "," + entry(R"({"input":{"channel":1}})") + "," + "17," +
                           entry("{}") + "," + entry(R"({"input":{"channel":-1}})") + "]";
    std::string t = replaced(kBase, R"("channels":[)" + kInput0 + "," + kInput1 + "]", "\"channels\":" + channels);
    Doc d = new_doc();
    Decoded r = decode(t, d.get());
    EXPECT_EQ(r.result, RIG_DECODE_REPAIRED);
    EXPECT_EQ(r.msg, "scene 1: input 71 is past the 64 a rig holds (kept verbatim)");
    const RigScene& s = d->scenes[0];
    ASSERT_EQ(s.channels, 4);
    EXPECT_EQ(s.inputs[0].gain, 0.25f);
    EXPECT_EQ(s.inputs[3].gain, 0.25f);
    // Input 2 had no entry: defaults, muted as a third input is.
    EXPECT_EQ(s.inputs[2].gain, 1.0f);
    EXPECT_EQ(s.inputs[2].muted, 1);
    EXPECT_EQ(std::strlen(s.inputs[2].id), 36u);
    // The entries that are no usable input are written back, in order, after the inputs.
    std::string out = encode(d.get());
    std::string kept = "," + entry(R"({"input":{"channel":70}})") + "," + entry(R"({"bus":{"n":1}})") + ",17," +
                       entry("{}") + "," + entry(R"({"input":{"channel":-1}})") + "]";
    EXPECT_NE(out.find("\"link\":false}" + kept), std::string::npos) << out;

    // Each fault has its own message; an unknown kind alone is no fault.
    struct Case {
        std::string entry, msg;
    } cases[] = {
        {"17", "scene 1: channel entry 0 is not an object (kept verbatim)"},
        {entry("[]"), "scene 1: channel entry 0 has no single-member kind (kept verbatim)"},
        {entry(R"({"input":{},"x":{}})"), "scene 1: channel entry 0 has no single-member kind (kept verbatim)"},
        {entry(R"({"input":{"channel":1.5}})"), "scene 1: channel entry 0 is an input with no usable channel (kept verbatim)"},
        {entry(R"({"input":{"channel":1,"bus":2}})"),
         "scene 1: channel entry 0 is an input with no usable channel (kept verbatim)"},
        {entry(R"({"input":{"channel":0}})") + "," + entry(R"({"input":{"channel":0}})"),
         "scene 1: input 1 appears twice (the first kept)"},
        {entry(R"({"input":{"channel":1}})"), "scene 1: input 1 is missing (defaults)"},
        {entry(R"({"mic":{"n":1}})"), ""},
        {entry(R"({"input":{"channel":9223372036854775807}})"),
         "scene 1: input 9223372036854775808 is past the 64 a rig holds (kept verbatim)"},
    };
    for (const Case& c : cases) {
        t = replaced(kBase, R"("channels":[)" + kInput0 + "," + kInput1 + "]", "\"channels\":[" + c.entry + "]");
        r = decode(t, d.get());
        EXPECT_EQ(r.msg, c.msg) << c.entry;
        EXPECT_EQ(r.result, c.msg.empty() ? RIG_DECODE_CLEAN : RIG_DECODE_REPAIRED) << c.entry;
    }
}

TEST(RigDecode, MissingScenesAreThoseOfAFreshRigForTheDevice)
{
    Doc d = new_doc();
    std::string no_scenes = replaced(kBase, R"("scenes":[)" + kScene1 + R"(,{"id":"B"},{"id":"C"},{"id":"D"}],)", "");
    Decoded r = decode(no_scenes, d.get());
    EXPECT_EQ(r.result, RIG_DECODE_REPAIRED);
    EXPECT_EQ(r.msg, "no scenes (defaults)");
    for (int s = 0; s < RIG_SCENES; s++) {
        EXPECT_EQ(d->scenes[s].channels, 2);
        EXPECT_EQ(d->scenes[s].fresh, s > 0);
        EXPECT_EQ(std::strlen(d->scenes[s].id), 36u);
        EXPECT_EQ(d->scenes[s].inputs[0].link, 1);   // wasapi: the first pair is linked
    }
    EXPECT_STRNE(d->scenes[0].id, d->scenes[1].id);

    std::string two = replaced(kBase, R"(,{"id":"C"},{"id":"D"}])", "]");
    r = decode(two, d.get());
    EXPECT_EQ(r.msg, "only 2 of 4 scenes (the rest are defaults)");
    EXPECT_STREQ(d->scenes[1].id, "B");
    EXPECT_EQ(d->scenes[2].channels, 2);

    r = decode(replaced(kBase, R"({"id":"B"})", "[]"), d.get());
    EXPECT_EQ(r.msg, "scene 2 is not an object (defaults)");
    EXPECT_EQ(d->scenes[1].fresh, 1);
    EXPECT_STREQ(d->scenes[2].id, "C");


    // Without a valid device count, the count is the largest scene's.
    r = decode(replaced(replaced(kBase, R"("channels":2,)", ""), R"("scenes":[)", R"("x":[)"), d.get());
    EXPECT_EQ(d->device.channels, 1);
}

TEST(RigDecode, KeyAndDeviceFillEachOther)
{
    Doc d = new_doc();
    std::string no_device = replaced(kBase, R"("device":{"api":"wasapi","name":"Mic","channels":2,"channelNames":["L","R"]},)", "");
    ASSERT_EQ(decode(replaced(no_device, "wasapi:Mic", "jack:Desk: Left"), d.get()).result, RIG_DECODE_CLEAN);
    EXPECT_STREQ(d->device.api, "jack");
    EXPECT_STREQ(d->device.name, "Desk: Left");
    EXPECT_EQ(d->device.channels, 2);

    decode(replaced(no_device, "wasapi:Mic", "averyveryverylongapi:Mic"), d.get());
    EXPECT_STREQ(d->device.api, "");
    EXPECT_STREQ(d->device.name, "Mic");

    decode(replaced(kBase, R"("key":"wasapi:Mic",)", ""), d.get());
    EXPECT_STREQ(d->key, "wasapi:Mic");
    decode(replaced(kBase, R"("key":"wasapi:Mic")", R"("key":"")"), d.get());
    EXPECT_STREQ(d->key, "wasapi:Mic");

    // An api holding a colon: the name after it, and the same text after a second
    // decode, whether the key was given or built.
    const struct {
        const char* key;
        const char* api;
        const char* name;
    } colons[] = {{nullptr, ":asinux", ""}, {nullptr, "a:b", ""}, {"a:b:Mic", "a:b", "Mic"}, {"alsa::x", "alsa:", "x"}};
    for (const auto& c : colons) {
        std::string text = c.key ? replaced(kBase, "wasapi:Mic", c.key) : replaced(kBase, R"("key":"wasapi:Mic",)", "");
        decode(replaced(text, R"("api":"wasapi","name":"Mic")", std::string(R"("api":")") + c.api + "\""), d.get());
        std::string once = encode(d.get());
        ASSERT_NE(decode(once, d.get()).result, RIG_DECODE_NOT_A_RIG) << once;
        EXPECT_STREQ(d->device.name, c.name) << once;
        EXPECT_EQ(encode(d.get()), once);
    }
}

TEST(RigDecode, AppScenesKeepTheSixteenNewestChoices)
{
    std::string members;
    // at values 10, 9, ..., 1 for apps 0..9, then 100..106 for apps 10..16.
    for (int i = 0; i < 17; i++) {
        double at = i < 10 ? 10 - i : 90 + i;
        members += (i ? "," : "") + std::string("\"app") + std::to_string(i) + "\":{\"scene\":" +
                   std::to_string(i % 4) + ",\"at\":" + std::to_string((int)at) + "}";
    }
    Doc d = new_doc();
    Decoded r = decode(replaced(kBase, R"("tessel":{"scene":1,"at":3})", members), d.get());
    EXPECT_EQ(r.msg, "appScenes has more than 16 members (the oldest dropped)");
    ASSERT_EQ(d->app_scene_count, 16);
    EXPECT_EQ(rig_app_scene_find(d.get(), "app9"), -1);   // the one with at 1
    EXPECT_STREQ(d->app_scenes[15].app, "app16");
    EXPECT_EQ(rig_doc_app_scene(d.get(), "app16"), 0);
    EXPECT_EQ(rig_doc_app_scene(d.get(), "app3"), 3);

    // The same app twice: merged into the first, which takes the later choice.
    r = decode(replaced(kBase, R"("tessel":{"scene":1,"at":3})",
                        R"("tessel":{"scene":1,"at":3},"tess\u0065l":{"scene":2,"at":4})"),
               d.get());
    EXPECT_EQ(r.msg, "out-of-range values repaired");
    ASSERT_EQ(d->app_scene_count, 1);
    EXPECT_EQ(d->app_scenes[0].scene, 2);

    // A long app name is cut at a whole character and reported by its cut name.
    std::string app = std::string(46, 'a') + "\xC3\xA9";
    r = decode(replaced(kBase, R"("tessel":)", "\"" + app + "\":"), d.get());
    EXPECT_EQ(r.msg, "appScenes \"" + std::string(46, 'a') + "\": the app name is longer than 47 bytes (cut)");
}

// ---- Versions ----------------------------------------------------------------------

TEST(RigDecode, NewerVersionsDecodeWholeButReadOnly)
{
    Doc d = new_doc();
    Decoded r = decode(replaced(kBase, R"("version":1)", R"("version":2)"), d.get());
    EXPECT_EQ(r.result, RIG_DECODE_NEWER);
    EXPECT_EQ(r.msg, "version 2 is newer than 1 - read only");
    EXPECT_EQ(d->read_only, 1);
    EXPECT_EQ(d->version, 2);
    EXPECT_EQ(d->scenes[0].inputs[1].gain, 0.5f);

    r = decode(replaced(replaced(kBase, R"("version":1)", R"("version":3)"), R"("gain":1,)", R"("gain":9,)"), d.get());
    EXPECT_EQ(r.msg, "version 3 is newer than 1 - read only (and: scene 1 input 1: gain is out of range (clamped))");

    // A version beyond the field is still a newer program's file, never one to write over.
    for (const char* v : {"4294967296", "1e30", "1e400"}) {
        r = decode(replaced(kBase, R"("version":1)", std::string("\"version\":") + v), d.get());
        EXPECT_EQ(r.result, RIG_DECODE_NEWER) << v;
        EXPECT_EQ(d->version, 2147483647) << v;
        EXPECT_EQ(d->read_only, 1) << v;
    }
    // Versions below 1 and other junk read as version 1.
    for (const char* v : {"0", "-5", "1.5", "\"2\"", "null"}) {
        r = decode(replaced(kBase, R"("version":1)", std::string("\"version\":") + v), d.get());
        EXPECT_EQ(r.result, RIG_DECODE_REPAIRED) << v;
        EXPECT_EQ(d->version, 1) << v;
    }
}

// ---- Encoding ----------------------------------------------------------------------

// A document whose every id and time is known.
Doc known_doc()
{
    Doc d = new_doc();
    const char names[RIG_MAX_INPUTS][64] = {"In 1"};
    rig_doc_init_for_device(d.get(), "jack:Desk", "jack", "Desk", 1, names, "tessel", 100.5);
    for (int s = 0; s < RIG_SCENES; s++) {
        std::snprintf(d->scenes[s].id, sizeof d->scenes[s].id, "S%d", s + 1);
        std::snprintf(d->scenes[s].inputs[0].id, sizeof d->scenes[s].inputs[0].id, "I%d", s + 1);
    }
    d->scenes[0].inputs[0].gain = 0.1f;
    d->scenes[0].inputs[0].pan = -0.25f;
    d->scenes[0].master_gain = RIG_GAIN_MAX;
    d->scenes[1].inputs[0].gain = NAN;   // written as its fallback
    d->rev = 3;
    rig_doc_set_app_scene(d.get(), "tessel", 0, 100.5);
    std::strcpy(d->writer.app, "tessel");
    std::strcpy(d->writer.platform, "linux");
    std::strcpy(d->writer.version, "0.1");
    std::strcpy(d->writer.instance, "0123456789abcdef");
    d->writer.at = 1e9 + 0.25;
    return d;
}

TEST(RigEncode, MembersAreWrittenCompactlyInTheirFixedOrder)
{
    Doc d = known_doc();
    auto scene = [](int n, const char* glyph, const char* extra, const char* master, const char* gain,
                    const char* pan) {
        return std::string("{\"id\":\"S") + std::to_string(n) + "\",\"name\":\"scene " + std::to_string(n) +
               "\",\"glyph\":\"" + glyph + "\"" + extra + ",\"masterGain\":" + master +
               ",\"updatedAt\":100.5,\"author\":\"tessel\",\"channels\":[{\"id\":\"I" + std::to_string(n) +
               "\",\"kind\":{\"input\":{\"channel\":0}},\"label\":\"\",\"gain\":" + gain + ",\"pan\":" + pan +
               ",\"muted\":false,\"link\":false}]}";
    };
    std::string want = R"({"format":"tidecoil.rig","version":1,"rev":3,"key":"jack:Desk",)"
                       R"("device":{"api":"jack","name":"Desk","channels":1,"channelNames":["In 1"]},)"
                       R"("activeScene":0,"appScenes":{"tessel":{"scene":0,"at":100.5}},"scenes":[)" +
                       scene(1, "♗", "", "3.9810717", "0.1", "-0.25") + "," + scene(2, "❦", ",\"fresh\":true", "1", "1", "0") +
                       "," + scene(3, "♨", ",\"fresh\":true", "1", "1", "0") + "," +
                       scene(4, "☯", ",\"fresh\":true", "1", "1", "0") +
                       R"(],"writer":{"app":"tessel","platform":"linux","version":"0.1",)"
                       R"("instance":"0123456789abcdef","at":1000000000.25}})";
    EXPECT_EQ(encode(d.get()), want);

    // Channel names run to the last one given, past the device's count.
    std::strcpy(d->device.channel_names[2], "Aux");
    EXPECT_NE(encode(d.get()).find(R"("channelNames":["In 1","","Aux"]})"), std::string::npos);
}

TEST(RigEncode, ShortBuffersGetTheNeededLengthAndAnEmptyText)
{
    Doc d = known_doc();
    std::string whole = encode(d.get());
    char small[16];
    std::memset(small, 'x', sizeof small);
    EXPECT_EQ(rig_encode(d.get(), small, sizeof small), whole.size());
    EXPECT_STREQ(small, "");
    std::vector<char> exact(whole.size());
    EXPECT_EQ(rig_encode(d.get(), exact.data(), exact.size()), whole.size());
    EXPECT_EQ(exact[0], '\0');
    EXPECT_EQ(rig_encode(nullptr, small, sizeof small), 0u);
}

TEST(RigEncode, UnknownMembersSurviveInTheirPlacesAndOrder)
{
    std::string t = replaced(kBase, R"("rev":4,)", R"("rev":4,"zeta":{"a":[1,{"b":null}]},)");
    t = replaced(t, R"("writer":)", R"("alpha" : [ 1 , 2 ],"writer":)");
    t = replaced(t, R"("channelNames":["L","R"])", R"("serial":"X1","channelNames":["L","R"],"clock":48000)");
    t = replaced(t, R"("author":"x",)", R"("author":"x","colour":"#ff0","tempo":1.50,)");
    t = replaced(t, R"("label":"b",)", R"("label":"b","phase":true,"mic":"\u00e9\ud83d\ude00",)");
    t = replaced(t, R"("instance":"00000000000000ff",)", R"("instance":"00000000000000ff","host":"pc",)");
    t = replaced(t, R"({"id":"D"}])", R"({"id":"D"},{"id":"E"},[5]])");
    Doc d = new_doc();
    Decoded r = decode(t, d.get());
    ASSERT_EQ(r.result, RIG_DECODE_CLEAN) << r.msg;
    std::string out = encode(d.get());
    // Known members first, the kept ones after them as they were written.
    EXPECT_NE(out.find(R"("channelNames":["L","R"],"serial":"X1","clock":48000})"), std::string::npos) << out;
    EXPECT_NE(out.find(R"("channels":[]},{"id":"E"},[5]],"writer")"), std::string::npos) << out;
    EXPECT_NE(out.find(R"("link":false,"phase":true,"mic":"\u00e9\ud83d\ude00"})"), std::string::npos) << out;
    EXPECT_NE(out.find(R"(,"colour":"#ff0","tempo":1.50})"), std::string::npos) << out;
    EXPECT_NE(out.find(R"("at":5},"zeta":{"a":[1,{"b":null}]},"alpha":[ 1 , 2 ]})"), std::string::npos) << out;
    // The writer block describes whoever writes next: its unknown members go.
    EXPECT_EQ(out.find("host"), std::string::npos);

    // Round trip: the second decode gives the same document and the same text.
    Doc again = new_doc();
    ASSERT_EQ(decode(out, again.get()).result, RIG_DECODE_CLEAN);
    EXPECT_EQ(encode(again.get()), out);
}

TEST(RigEncode, EditedDocumentsRoundTripExactly)
{
    Doc d = new_doc();
    rig_doc_init_for_device(d.get(), "wasapi:Speakers (USB)", "wasapi", "Speakers (USB)", 8, nullptr, "tessel", 7.125);
    std::mt19937 rng(7);
    for (RigScene& s : d->scenes)
        for (int i = 0; i < s.channels; i++) {
            s.inputs[i].gain = RIG_GAIN_MAX * (float)(rng() % 100000) / 100000.0f;
            s.inputs[i].pan = (float)(rng() % 2001) / 1000.0f - 1.0f;
            std::snprintf(s.inputs[i].label, sizeof s.inputs[i].label, "in \"%d\"\t\xE2\x82\xAC", i);
        }
    d->scenes[2].updated_at = 1.0 / 3.0;
    rig_doc_set_app_scene(d.get(), "quill", 2, 1e-300);
    std::string first = encode(d.get());
    Doc back = new_doc();
    ASSERT_EQ(decode(first, back.get()).result, RIG_DECODE_CLEAN);
    EXPECT_EQ(encode(back.get()), first);
    RigEditMask diff;
    rig_doc_diff_mask(d.get(), back.get(), &diff);
    EXPECT_FALSE(diff.any);
}

// ---- Hostile files -----------------------------------------------------------------

TEST(RigHostile, DeepNestingIsKeptUpToTheReadersLimit)
{
    std::string deep = std::string(62, '[') + "1" + std::string(62, ']');   // 63 levels with the root
    Doc d = new_doc();
    std::string t = replaced(kBase, R"("rev":4,)", "\"rev\":4,\"deep\":" + deep + ",");
    ASSERT_EQ(decode(t, d.get()).result, RIG_DECODE_CLEAN);
    EXPECT_NE(encode(d.get()).find(deep), std::string::npos);

    t = replaced(kBase, R"("rev":4,)", "\"rev\":4,\"deep\":" + std::string(100000, '[') + ",");
    Decoded r = decode(t, d.get());
    EXPECT_EQ(r.result, RIG_DECODE_NO_TEXT);
    EXPECT_EQ(r.msg.rfind("not JSON: nested deeper than 64 at byte ", 0), 0u) << r.msg;
}

TEST(RigHostile, InvalidUtf8NeverEntersTheDocument)
{
    // Invalid bytes, a lone surrogate, an escaped NUL and a cut 4-byte sequence.
    std::string bad = "\xFF\xC3(\xED\xA0\x80\\ud800\\u0000\xF0\x9F\x98";
    std::string t = kBase;
    for (const char* field : {"key", "name", "label", "author", "app"})
        t = replaced(t, std::string("\"") + field + "\":\"", std::string("\"") + field + "\":\"" + bad);
    t = replaced(t, R"("tessel":{)", "\"" + bad + "\":{");
    Doc d = new_doc();
    Decoded r = decode(t, d.get());
    ASSERT_EQ(r.result, RIG_DECODE_REPAIRED);
    EXPECT_EQ(r.msg, "the rig: key had invalid text (replaced)");
    EXPECT_FALSE(rig_doc_clamp(d.get()));
    const std::string fffd = "\xEF\xBF\xBD";
    std::string want = fffd + fffd + "(" + fffd + fffd + fffd + fffd + fffd + fffd;
    EXPECT_EQ(std::string(d->device.name), want + "Mic");
    EXPECT_EQ(std::string(d->scenes[0].inputs[0].label), want + "a");
    EXPECT_EQ(std::string(d->app_scenes[0].app), want);
    EXPECT_EQ(std::string(d->writer.app), want + "tessel");
}

TEST(RigHostile, MessagesAreCutAtWholeCharacters)
{
    std::string app = "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC";
    std::string t = replaced(kBase, R"("tessel":{"scene":1,"at":3})", "\"" + app + "\":7");
    Doc d = new_doc();
    // "appScenes "€€€" is not..." cut within 18 bytes: the 17 bytes up to the second €.
    Decoded r = decode(t, d.get(), 18);
    EXPECT_EQ(r.msg, "appScenes \"\xE2\x82\xAC\xE2\x82\xAC");
    r = decode(t, d.get(), 17);
    EXPECT_EQ(r.msg, "appScenes \"\xE2\x82\xAC");
}

// A random value of any kind, often the wrong one.
std::string junk_value(std::mt19937& rng)
{
    static const char* const kValues[] = {
        "null", "true", "false", "0", "-1", "7", "65", "1e400", "-1e400", "0.5", "3.5", "-0",
        "\"\"", "\"text\"", "\"\xFF\xFE\"", "\"\\ud800x\"", "[]", "{}", "[1,{\"a\":2}]", "{\"input\":{\"channel\":2}}",
        "\"\xE2\x99\x97\xEF\xB8\x8F\"", "18446744073709551616", "9223372036854775807",
    };
    if (rng() % 12 == 0)
        return "\"" + std::string(rng() % 300, 'w') + "\xC3\xA9\"";
    return kValues[rng() % (sizeof kValues / sizeof kValues[0])];
}

// An object of the given members, each right, wrong, missing or repeated at random,
// in a random order, with unknown members mixed in.
std::string junk_object(std::mt19937& rng, std::vector<std::pair<std::string, std::string>> members)
{
    std::vector<std::string> parts;
    for (auto& m : members) {
        int roll = (int)(rng() % 20);
        if (roll == 0)
            continue;
        parts.push_back("\"" + m.first + "\":" + (roll < 3 ? junk_value(rng) : m.second));
        if (roll == 3)
            parts.push_back("\"" + m.first + "\":" + junk_value(rng));
    }
    if (rng() % 3 == 0)
        parts.push_back("\"extra" + std::to_string(rng() % 5) + "\":" + junk_value(rng));
    std::shuffle(parts.begin() + (parts.empty() ? 0 : 1), parts.end(), rng);
    std::string out = "{";
    for (size_t i = 0; i < parts.size(); i++)
        out += (i ? "," : "") + parts[i];
    return out + "}";
}

std::string junk_rig(std::mt19937& rng)
{
    auto num = [&](int lo, int hi) { return std::to_string(lo + (int)(rng() % (unsigned)(hi - lo + 1))); };
    std::string scenes = "[";
    int nscenes = (int)(rng() % 7);
    for (int s = 0; s < nscenes; s++) {
        std::string channels = "[";
        int n = (int)(rng() % 70);
        for (int i = 0; i < n; i++) {
            std::string kind = "{\"input\":{\"channel\":" + num(-2, 80) + "}}";
            channels += (i ? "," : "") + junk_object(rng, {{"kind", kind}, {"id", "\"id" + num(0, 9) + "\""},
                                                           {"label", "\"l\""}, {"gain", "0." + num(0, 9)},
                                                           {"pan", "-0." + num(0, 9)}, {"muted", "true"},
                                                           {"link", "true"}});
        }
        channels += "]";
        scenes += (s ? "," : "") + junk_object(rng, {{"id", "\"s\""}, {"name", "\"n\""}, {"glyph", "\"\xE2\x99\xA0\""},
                                                     {"fresh", "true"}, {"masterGain", "2"},
                                                     {"updatedAt", "12.5"}, {"author", "\"a\""},
                                                     {"channels", channels}});
    }
    scenes += "]";
    std::string apps = "{";
    int napps = (int)(rng() % 20);
    for (int i = 0; i < napps; i++)
        apps += (i ? ",\"app" : "\"app") + num(0, 19) + "\":" +
                junk_object(rng, {{"scene", num(0, 3)}, {"at", num(0, 50)}});
    apps += "}";
    std::string device = junk_object(rng, {{"api", "\"wasapi\""}, {"name", "\"Mic\""}, {"channels", num(0, 66)},
                                           {"channelNames", "[\"a\",\"b\"]"}});
    std::string writer = junk_object(rng, {{"app", "\"t\""}, {"at", "1"}, {"instance", "\"0123\""}});
    return junk_object(rng, {{"format", "\"tidecoil.rig\""}, {"version", num(0, 2)}, {"rev", num(-1, 9)},
                             {"key", "\"wasapi:Mic\""}, {"device", device}, {"activeScene", num(-1, 4)},
                             {"appScenes", apps}, {"scenes", scenes}, {"writer", writer}});
}

TEST(RigHostile, WrongTypesEverywhereGiveARepairedDocumentThatWritesStably)
{
    std::mt19937 rng(20250611);
    int results[6] = {};
    Doc d = new_doc(), again = new_doc();
    for (int round = 0; round < 400; round++) {
        std::string text = junk_rig(rng);
        Decoded r = decode(text, d.get());
        ASSERT_GE(r.result, 0);
        ASSERT_LE(r.result, 5);
        results[r.result]++;
        if (r.result >= RIG_DECODE_NOT_A_RIG) {
            EXPECT_TRUE(no_raw_texts(d.get()));
            continue;
        }
        EXPECT_EQ(r.result != RIG_DECODE_CLEAN, !r.msg.empty()) << text;
        ASSERT_FALSE(rig_doc_clamp(d.get())) << text;
        std::string out = encode(d.get());
        ASSERT_TRUE(json_parse(out.data(), out.size(), nullptr, nullptr, 0)) << out;
        Decoded r2 = decode(out, again.get());
        ASSERT_LE(r2.result, RIG_DECODE_NEWER) << out;
        ASSERT_EQ(encode(again.get()), out) << text;
    }
    // The generator reaches every outcome a well-formed text can have.
    EXPECT_GT(results[RIG_DECODE_REPAIRED], 100);
    EXPECT_GT(results[RIG_DECODE_NEWER], 10);
    EXPECT_GT(results[RIG_DECODE_NOT_A_RIG], 5);
}

// (bench_rigs times the decode of such a file.)
TEST(RigHostile, AFileOfAMegabyteOfEntriesDecodesWhole)
{
    std::string entry = R"({"kind":{"bus":{"n":1}}})";
    std::string entries;
    while (entries.size() < RIG_FILE_MAX - kBase.size() - 64)
        entries += entry + ",";
    entries.pop_back();
    std::string t = replaced(kBase, R"({"id":"B"})", "{\"id\":\"B\",\"channels\":[" + entries + "]}");
    Doc d = new_doc();
    ASSERT_EQ(decode(t, d.get()).result, RIG_DECODE_CLEAN);
    EXPECT_EQ(std::strlen(d->scenes[1].raw_channels), entries.size());
    EXPECT_NE(encode(d.get()).find("[" + entries + "]"), std::string::npos);
}

TEST(RigHostile, RunningOutOfMemoryAnywhereLeavesAResetDocument)
{
    std::string t = replaced(kBase, R"("rev":4,)", R"("rev":4,"keep":[1],)");
    t = replaced(t, R"("label":"b",)", R"("label":"b","x":1,)");
    t = replaced(t, R"(,{"id":"C"},{"id":"D"}])", "]");   // two scenes made by a fresh rig
    Doc d = new_doc();
    int failures = 0;
    for (int after = 0; after < 50; after++) {
        rig_doc_test_fail_allocs(after);
        Decoded r = decode(t, d.get());
        rig_doc_test_fail_allocs(-1);
        if (r.result == RIG_DECODE_NO_MEMORY) {
            failures++;
            EXPECT_EQ(r.msg, "out of memory");
            EXPECT_TRUE(no_raw_texts(d.get()));
            EXPECT_STREQ(d->key, "");
        } else {
            EXPECT_EQ(r.result, RIG_DECODE_REPAIRED) << after;
            EXPECT_NE(d->raw_top, nullptr);
        }
    }
    EXPECT_GE(failures, 3);   // each kept text and the fresh rig
}

}  // namespace
