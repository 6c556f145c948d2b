// Rig documents in memory: a device's fresh rig, deep copies, grown inputs, repair,
// edit masks and the merge of marked fields, each program's scene choice, linked
// pairs and live inputs, glyphs, and the identifiers (UUIDs, instance ids, file names).
#include "rig/rigdoc.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

struct DocFree {
    void operator()(RigDocument* d) const { rig_doc_free(d); }
};
using Doc = std::unique_ptr<RigDocument, DocFree>;

Doc fresh(const char* api = "wasapi", int channels = 4)
{
    Doc d(rig_doc_new());
    std::string key = std::string(api) + ":Mic";
    rig_doc_init_for_device(d.get(), key.c_str(), api, "Mic", channels, nullptr, "tessel", 10.0);
    return d;
}

char* dup(const char* s) { return strdup(s); }

// ---- A device's fresh rig ----------------------------------------------------------

TEST(RigDocInit, FreshRigLinksTheFirstPairUnlessInputsAreSeparate)
{
    struct Case {
        const char* api;
        int channels;
        bool linked;
    } cases[] = {{"wasapi", 2, true}, {"alsa", 8, true}, {"wasapi", 1, false},
                 {"asio", 4, false},  {"jack", 4, false}, {"ASIO", 4, true}};
    for (const Case& c : cases) {
        Doc d = fresh(c.api, c.channels);
        for (int s = 0; s < RIG_SCENES; s++) {
            const RigScene& sc = d->scenes[s];
            EXPECT_EQ(sc.channels, c.channels);
            EXPECT_EQ(sc.inputs[0].link, c.linked) << c.api << " " << c.channels;
            EXPECT_EQ(sc.fresh, s > 0);
            EXPECT_EQ(sc.updated_at, 10.0);
            EXPECT_STREQ(sc.author, "tessel");
            for (int i = 0; i < c.channels; i++) {
                EXPECT_EQ(sc.inputs[i].muted, i >= 2);
                EXPECT_EQ(sc.inputs[i].gain, 1.0f);
            }
        }
    }

}

TEST(RigDocInit, GrowingGivesMissingInputsDefaults)
{
    Doc d = fresh("wasapi", 2);
    d->scenes[1].inputs[1].gain = 0.5f;
    d->scenes[2].channels = 0;
    EXPECT_TRUE(rig_doc_grow_inputs(d.get(), 6));
    EXPECT_EQ(d->scenes[1].channels, 6);
    EXPECT_EQ(d->scenes[1].inputs[1].gain, 0.5f);   // existing inputs are left alone
    EXPECT_EQ(d->scenes[1].inputs[5].muted, 1);
    EXPECT_EQ(d->scenes[2].inputs[0].link, 1);      // a new first input is linked as a fresh one is
    EXPECT_FALSE(rig_doc_grow_inputs(d.get(), 6));
    EXPECT_TRUE(rig_doc_grow_inputs(d.get(), 100));
    EXPECT_EQ(d->scenes[0].channels, 64);
}

// ---- Copies ------------------------------------------------------------------------

void give_raw_texts(RigDocument* d)
{
    d->raw_top = dup("\"a\":1");
    d->raw_device = dup("\"b\":2");
    d->raw_scenes = dup("{}");
    d->scenes[3].raw_members = dup("\"c\":3");
    d->scenes[3].raw_channels = dup("4");
    d->scenes[3].inputs[3].raw = dup("\"d\":5");
}

TEST(RigDocCopy, AssignCopiesDeeplyAndFailsWhole)
{
    Doc a = fresh();
    give_raw_texts(a.get());
    Doc b = fresh("jack", 2);
    b->raw_top = dup("\"old\":0");
    ASSERT_TRUE(rig_doc_assign(b.get(), a.get()));
    EXPECT_NE(b->raw_top, a->raw_top);
    EXPECT_STREQ(b->raw_top, "\"a\":1");
    EXPECT_STREQ(b->scenes[3].inputs[3].raw, "\"d\":5");
    EXPECT_STREQ(b->scenes[1].id, a->scenes[1].id);
    EXPECT_TRUE(rig_doc_assign(b.get(), b.get()));
    EXPECT_STREQ(b->raw_device, "\"b\":2");

    // Out of memory half way: nothing of the copy survives, and src is untouched.
    for (int after = 0; after < 6; after++) {
        rig_doc_test_fail_allocs(after);
        bool ok = rig_doc_assign(b.get(), a.get());
        rig_doc_test_fail_allocs(-1);
        EXPECT_FALSE(ok);
        EXPECT_EQ(b->raw_top, nullptr);
        EXPECT_EQ(b->scenes[3].inputs[3].raw, nullptr);
        EXPECT_STREQ(b->key, "");
        EXPECT_STREQ(a->scenes[3].inputs[3].raw, "\"d\":5");
    }
    EXPECT_FALSE(rig_doc_assign(b.get(), nullptr));
}

// ---- Repair ------------------------------------------------------------------------

TEST(RigDocRepair, ClampPutsEveryFieldBackInRange)
{
    Doc d = fresh("wasapi", 2);
    EXPECT_FALSE(rig_doc_clamp(d.get()));
    d->version = 0;
    d->rev = -3;
    d->active_scene = 9;
    d->device.channels = 0;
    d->scenes[1].channels = 80;
    d->scenes[0].master_gain = INFINITY;
    d->scenes[0].updated_at = NAN;
    d->scenes[0].inputs[0].gain = NAN;
    d->scenes[0].inputs[1].gain = -1.0f;
    d->scenes[0].inputs[1].pan = NAN;
    d->scenes[0].inputs[1].link = 1;
    d->scenes[0].inputs[0].id[0] = '\0';
    std::strcpy(d->scenes[2].glyph, "\xE2\x99\xA0\xEF\xB8\x8F");   // spade and a selector
    std::memset(d->scenes[0].name, 'z', sizeof d->scenes[0].name);  // no NUL at all
    std::strcpy(d->device.name, "M\xC3");                           // cut inside a character
    d->app_scene_count = 40;
    d->writer.at = -INFINITY;
    EXPECT_TRUE(rig_doc_clamp(d.get()));
    EXPECT_EQ(d->version + d->rev + d->active_scene, 1);
    EXPECT_EQ(d->scenes[1].channels, 64);
    EXPECT_EQ(d->device.channels, 64);   // the largest scene
    EXPECT_EQ(d->scenes[0].master_gain, 1.0f);
    EXPECT_EQ(d->scenes[0].inputs[0].gain, 1.0f);
    EXPECT_EQ(d->scenes[0].inputs[1].gain, 0.0f);
    EXPECT_EQ(d->scenes[0].inputs[1].pan, 0.0f);
    EXPECT_EQ(d->scenes[0].inputs[1].link, 0);
    EXPECT_EQ(std::strlen(d->scenes[0].inputs[0].id), 36u);
    EXPECT_STREQ(d->scenes[2].glyph, "\xE2\x99\xA0");
    EXPECT_EQ(rig_glyph_index("\xE2\x99\xA0\xEF\xB8\x8F"), 11);   // selectors are no part of a glyph
    EXPECT_EQ(rig_glyph_index("\xE2\x99\xA0\xE2\x99\xA0"), -1);
    EXPECT_EQ(std::string(d->scenes[0].name), std::string(63, 'z'));
    EXPECT_STREQ(d->device.name, "M\xEF\xBF\xBD");
    EXPECT_EQ(d->app_scene_count, 1);   // sixteen entries of no name, merged into one
    EXPECT_EQ(d->scenes[0].updated_at + d->writer.at, 0.0);
    EXPECT_FALSE(rig_doc_clamp(d.get()));

    // A newer version is kept and marks the document read only, which is no repair.
    d->version = 5;
    EXPECT_FALSE(rig_doc_clamp(d.get()));
    EXPECT_EQ(d->read_only, 1);
}

TEST(RigDocRepair, TextRepairReportsEveryChange)
{
    char field[8] = "abc";
    EXPECT_FALSE(rig_text_repair(field, sizeof field));
    std::memcpy(field, "abcdefgh", 8);
    EXPECT_TRUE(rig_text_repair(field, sizeof field));
    EXPECT_STREQ(field, "abcdefg");
    std::strcpy(field, "ab\xE2\x82");
    EXPECT_TRUE(rig_text_repair(field, sizeof field));
    EXPECT_STREQ(field, "ab\xEF\xBF\xBD");
    // A field too large to re-copy is still terminated, and says so.
    std::vector<char> big(300, 'x');
    EXPECT_TRUE(rig_text_repair(big.data(), (int)big.size()));
    EXPECT_EQ(big[299], '\0');
    EXPECT_FALSE(rig_text_repair(big.data(), (int)big.size()));
    EXPECT_FALSE(rig_text_repair(nullptr, 8));
}

// ---- Edit masks --------------------------------------------------------------------

TEST(RigDocMask, DiffNamesEachChangedField)
{
    Doc a = fresh("wasapi", 4), b(rig_doc_new());
    ASSERT_TRUE(rig_doc_assign(b.get(), a.get()));
    RigEditMask m;
    rig_doc_diff_mask(a.get(), b.get(), &m);
    EXPECT_FALSE(m.any);

    b->scenes[0].inputs[1].gain = 0.5f;
    b->scenes[0].inputs[1].link = 1;
    std::strcpy(b->scenes[1].inputs[0].label, "vox");
    b->scenes[2].channels = 6;
    b->scenes[3].master_gain = 2.0f;
    b->scenes[3].fresh = 0;
    std::strcpy(b->scenes[3].glyph, "\xE2\x98\x84");
    a->scenes[0].inputs[2].gain = NAN;   // two NaNs are no change
    b->scenes[0].inputs[2].gain = NAN;
    rig_doc_diff_mask(a.get(), b.get(), &m);
    EXPECT_EQ(m.inputs[0][1], RIG_EDIT_GAIN | RIG_EDIT_LINK);
    EXPECT_EQ(m.inputs[0][2], 0);
    EXPECT_EQ(m.inputs[1][0], RIG_EDIT_LABEL);
    EXPECT_EQ(m.inputs[2][3], 0);
    EXPECT_EQ(m.inputs[2][4], RIG_EDIT_INPUT_ALL);
    EXPECT_EQ(m.scenes[3], RIG_EDIT_MASTER | RIG_EDIT_FRESH | RIG_EDIT_GLYPH);
    EXPECT_FALSE(m.device);
    EXPECT_TRUE(m.any);

    ASSERT_TRUE(rig_doc_assign(b.get(), a.get()));
    std::strcpy(b->device.channel_names[9], "Aux");
    b->active_scene = 2;
    rig_doc_diff_mask(a.get(), b.get(), &m);
    EXPECT_TRUE(m.device && m.active_scene && m.any);
}

TEST(RigDocMask, CopyTakesOnlyMarkedFieldsAndKeepsTheRest)
{
    Doc disk = fresh("wasapi", 2), mine = fresh("wasapi", 4);
    mine->scenes[0].inputs[0].gain = 0.5f;     // marked
    mine->scenes[0].inputs[0].pan = -0.5f;     // not marked
    mine->scenes[0].inputs[3].raw = dup("\"x\":1");
    mine->scenes[0].updated_at = 99.0;
    std::strcpy(mine->scenes[0].author, "me");
    mine->scenes[1].master_gain = 0.25f;
    mine->scenes[1].inputs[1].muted = 1;
    mine->scenes[2].name[0] = 'N';
    mine->active_scene = 3;
    disk->scenes[0].inputs[0].pan = 0.75f;     // another writer's change
    disk->raw_top = dup("\"theirs\":1");
    RigEditMask m;
    rig_edit_mask_clear(&m);
    m.inputs[0][0] = RIG_EDIT_GAIN;
    m.scenes[1] = RIG_EDIT_WHOLE_SCENE;
    m.any = 1;

    EXPECT_TRUE(rig_doc_copy_fields(disk.get(), mine.get(), &m));
    const RigScene& s0 = disk->scenes[0];
    EXPECT_EQ(s0.inputs[0].gain, 0.5f);
    EXPECT_EQ(s0.inputs[0].pan, 0.75f);
    EXPECT_EQ(s0.updated_at, 99.0);
    EXPECT_STREQ(s0.author, "me");
    // Inputs the other document lacked come whole, with their kept members.
    EXPECT_EQ(s0.channels, 4);
    ASSERT_NE(s0.inputs[3].raw, nullptr);
    EXPECT_NE(s0.inputs[3].raw, mine->scenes[0].inputs[3].raw);
    EXPECT_STREQ(s0.inputs[3].raw, "\"x\":1");
    EXPECT_EQ(disk->scenes[1].master_gain, 0.25f);
    EXPECT_EQ(disk->scenes[1].inputs[1].muted, 1);
    EXPECT_EQ(disk->scenes[1].fresh, mine->scenes[1].fresh);
    EXPECT_STREQ(disk->scenes[2].name, "scene 3");   // unmarked
    EXPECT_EQ(disk->scenes[2].updated_at, 10.0);
    EXPECT_EQ(disk->active_scene, 0);
    EXPECT_STREQ(disk->raw_top, "\"theirs\":1");

    // A raw text that cannot be copied is reported rather than silently lost.
    Doc other = fresh("wasapi", 2);
    rig_doc_test_fail_allocs(0);
    bool ok = rig_doc_copy_fields(other.get(), mine.get(), nullptr);
    rig_doc_test_fail_allocs(-1);
    EXPECT_FALSE(ok);
    EXPECT_EQ(other->scenes[0].channels, 4);
    EXPECT_EQ(other->scenes[0].inputs[0].gain, 1.0f);   // no mask: only the missing inputs
}

// ---- App scenes --------------------------------------------------------------------

TEST(RigAppScenes, EachProgramKeepsItsLastChoice)
{
    Doc d = fresh();
    EXPECT_EQ(rig_doc_app_scene(d.get(), "tessel"), 0);
    rig_doc_set_app_scene(d.get(), "tessel", 2, 5.0);
    rig_doc_set_app_scene(d.get(), "quill", 7, NAN);
    EXPECT_EQ(d->active_scene, 3);
    EXPECT_EQ(rig_doc_app_scene(d.get(), "tessel"), 2);
    EXPECT_EQ(rig_doc_app_scene(d.get(), "quill"), 3);
    EXPECT_EQ(d->app_scenes[1].at, 0.0);
    EXPECT_EQ(rig_doc_app_scene(d.get(), "other"), 3);
    rig_doc_set_app_scene(d.get(), "", 1, 9.0);   // no program: only the active scene
    EXPECT_EQ(d->app_scene_count, 2);
    EXPECT_EQ(d->active_scene, 1);
    // Names are compared as cut to 47 bytes at a whole character.
    std::string longer = std::string(45, 'q') + "\xC3\xA9" + "tail";
    rig_doc_set_app_scene(d.get(), longer.c_str(), 1, 1.0);
    EXPECT_EQ(std::string(d->app_scenes[2].app), std::string(45, 'q') + "\xC3\xA9");
    EXPECT_EQ(rig_app_scene_find(d.get(), (std::string(45, 'q') + "\xC3\xA9" + "other").c_str()), 2);

    // Sixteen held: the oldest (the first of equals) gives way.
    for (int i = 0; i < 20; i++)
        rig_doc_set_app_scene(d.get(), ("app" + std::to_string(i)).c_str(), 1, 100.0 + i);
    EXPECT_EQ(d->app_scene_count, 16);
    EXPECT_EQ(rig_app_scene_find(d.get(), "tessel"), -1);
    EXPECT_EQ(rig_app_scene_find(d.get(), "app3"), -1);
    EXPECT_EQ(rig_app_scene_find(d.get(), "app4"), 0);
    EXPECT_EQ(rig_app_scene_find(d.get(), "app19"), 15);
}

TEST(RigAppScenes, MergeTakesNewerChoices)
{
    Doc dst = fresh(), src = fresh();
    rig_doc_set_app_scene(dst.get(), "a", 1, 10.0);
    rig_doc_set_app_scene(dst.get(), "b", 1, 10.0);
    rig_doc_set_app_scene(src.get(), "a", 2, 20.0);
    rig_doc_set_app_scene(src.get(), "b", 3, 5.0);
    rig_doc_set_app_scene(src.get(), "c", 3, 1.0);
    rig_app_scenes_merge(dst.get(), src.get());
    EXPECT_EQ(rig_doc_app_scene(dst.get(), "a"), 2);
    EXPECT_EQ(rig_doc_app_scene(dst.get(), "b"), 1);
    EXPECT_EQ(rig_doc_app_scene(dst.get(), "c"), 3);

    // When full, only a choice newer than the oldest held gets in.
    for (int i = 0; i < 13; i++)
        rig_doc_set_app_scene(dst.get(), ("f" + std::to_string(i)).c_str(), 0, 50.0 + i);
    ASSERT_EQ(dst->app_scene_count, 16);
    Doc late = fresh();
    rig_doc_set_app_scene(late.get(), "old", 2, 0.5);
    rig_doc_set_app_scene(late.get(), "new", 2, 99.0);
    rig_app_scenes_merge(dst.get(), late.get());
    EXPECT_EQ(rig_app_scene_find(dst.get(), "old"), -1);
    EXPECT_EQ(rig_app_scene_find(dst.get(), "new"), 15);
    EXPECT_EQ(rig_app_scene_find(dst.get(), "c"), -1);   // at 1.0 was the oldest
}

// ---- Scenes ------------------------------------------------------------------------

TEST(RigScenes, LinkedPairsAndLiveInputs)
{
    Doc d = fresh("wasapi", 6);
    RigScene* s = &d->scenes[0];
    // Input 0 and 1 linked; 2..5 muted.
    EXPECT_EQ(rig_link_partner(s, 1, 6), 0);
    EXPECT_EQ(rig_link_partner(s, 0, 6), 0);
    EXPECT_EQ(rig_link_partner(s, 3, 6), 3);
    EXPECT_EQ(rig_link_partner(s, 1, 1), 1);   // the partner's channel is not open
    EXPECT_EQ(rig_scene_live_count(s, 6), 2);
    EXPECT_EQ(rig_scene_live_count(s, 1), 1);   // only the first of the pair is open
    s->inputs[4].muted = 0;
    s->inputs[5].muted = 0;
    s->inputs[5].gain = 0.0f;
    s->inputs[1].muted = 0;
    s->inputs[1].gain = 0.0f;                   // the follower's own settings do not count
    EXPECT_EQ(rig_scene_live_count(s, 6), 3);
    s->inputs[0].gain = NAN;
    EXPECT_EQ(rig_scene_live_count(s, 6), 1);
    s->channels = 4;                            // inputs past the scene are not heard
    EXPECT_EQ(rig_scene_live_count(s, 6), 0);
    EXPECT_EQ(rig_scene_live_count(nullptr, 6), 0);
    EXPECT_EQ(rig_link_partner(nullptr, 1, 6), 1);
}

// ---- Identifiers -------------------------------------------------------------------

TEST(RigIds, UuidsAreVersionFourAndDistinct)
{
    std::set<std::string> seen;
    for (int i = 0; i < 2000; i++) {
        char id[37];
        rig_uuid_new(id);
        ASSERT_EQ(std::strspn(id, "0123456789ABCDEF-"), 36u) << id;
        ASSERT_EQ(id[36], '\0');
        ASSERT_TRUE(id[8] == '-' && id[13] == '-' && id[18] == '-' && id[23] == '-') << id;
        ASSERT_TRUE(id[14] == '4' && std::strchr("89AB", id[19])) << id;
        seen.insert(id);
    }
    EXPECT_EQ(seen.size(), 2000u);

    char inst[17];
    rig_instance_id(inst);
    EXPECT_EQ(std::strlen(inst), 16u);
    EXPECT_EQ(std::strspn(inst, "0123456789abcdef"), 16u);
}

TEST(RigIds, SeedGivesTheSplitMixSequence)
{
    rig_random_seed(0);
    // SplitMix64 from state 0: its well-known first outputs.
    EXPECT_EQ(rig_random_u64(), 0xe220a8397b1dcdafull);
    EXPECT_EQ(rig_random_u64(), 0x6e789e6aa1b965f4ull);
    rig_random_seed(0);
    char id[37];
    rig_uuid_new(id);
    EXPECT_STREQ(id, "E220A839-7B1D-4DAF-AE78-9E6AA1B965F4");
}

TEST(RigIds, FileNamesAreASlugAndTheKeyHash)
{
    char out[128];
    std::string key = "wasapi:Speakers (USB Audio)";
    int n = rig_file_name(key.c_str(), out, sizeof out);
    char hash[16];
    std::snprintf(hash, sizeof hash, "%08x", (unsigned)rig_fnv1a32(key.c_str()));
    EXPECT_EQ(std::string(out), std::string("wasapi-speakers-usb-audio-") + hash + ".json");
    EXPECT_EQ(n, (int)std::strlen(out));

    // Only non-ASCII letters: an empty slug.
    n = rig_file_name("\xD0\x9C\xD0\xB8\xD0\xBA", out, sizeof out);
    std::snprintf(hash, sizeof hash, "%08x", (unsigned)rig_fnv1a32("\xD0\x9C\xD0\xB8\xD0\xBA"));
    EXPECT_EQ(std::string(out), std::string("-") + hash + ".json");
    EXPECT_EQ(n, 14);

    // Forty characters at most; a run that falls on the fortieth ends the slug with '-'.
    rig_file_name((std::string(39, 'a') + "::b").c_str(), out, sizeof out);
    EXPECT_EQ(std::string(out).substr(0, 41), std::string(39, 'a') + "--");
    rig_file_name(std::string(50, 'B').c_str(), out, sizeof out);
    EXPECT_EQ(std::string(out).substr(0, 41), std::string(40, 'b') + "-");

    // Too small for the name and its NUL: -1 and an empty output.
    n = rig_file_name("ab", out, 16);
    EXPECT_EQ(n, -1);
    EXPECT_STREQ(out, "");
    EXPECT_EQ(rig_file_name("ab", out, 17), 16);
    EXPECT_EQ(rig_file_name("ab", nullptr, 0), -1);
}

}  // namespace
