// The library model: adding files, summaries from the reader, the loaded take in the
// player, order and filter, tree picks, deletion and the take's window.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>
#include <sys/stat.h>

#include "audio/preview.h"
#include "library/library.h"
#include "support/library_kit.h"

namespace {

namespace fs = std::filesystem;

class LibraryTest : public ::testing::Test {
protected:
    LibraryKit kit;
    LibraryWithPlayer with;
    Library* lib = with.lib;
    PreviewPlayer& player = with.player;

    void SetUp() override { ASSERT_NE(lib, nullptr); }
    bool settle()
    {
        return library_kit_pump(lib, [&] { return lib->queued == 0 && !lib->loading; });
    }
    LibraryItem* item(const std::string& path)
    {
        int32_t i = library_find_item(lib, path.c_str());
        return i >= 0 ? &lib->items[i] : nullptr;
    }
    void set_time(const std::string& path, int seconds_ago)
    {
        fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::seconds(seconds_ago));
    }
};

TEST_F(LibraryTest, OnlyRegularAudioFilesAreAddedAndNamedFromTheirPath)
{
    std::string wav = kit.wav("Take One.WAV", 480);
    EXPECT_FALSE(library_add_file(lib, kit.text("rig.json", "{}").c_str(), false));
    EXPECT_FALSE(library_add_file(lib, kit.text("cover.png", "x").c_str(), false));
    EXPECT_FALSE(library_add_file(lib, kit.text("README", "x").c_str(), false));
    EXPECT_FALSE(library_add_file(lib, kit.path("missing.wav").c_str(), false));
    EXPECT_FALSE(library_add_file(lib, "", false));
    fs::create_directory(kit.path("folder.wav"));
    EXPECT_FALSE(library_add_file(lib, kit.path("folder.wav").c_str(), false));
    // A FIFO is refused at once: nothing ever opens it.
    ASSERT_EQ(mkfifo(kit.path("pipe.wav").c_str(), 0600), 0);
    EXPECT_FALSE(library_add_file(lib, kit.path("pipe.wav").c_str(), false));
    EXPECT_EQ(lib->count, 0);

    ASSERT_TRUE(library_add_file(lib, wav.c_str(), false));
    ASSERT_EQ(lib->count, 1);
    const LibraryItem& it = lib->items[0];
    EXPECT_EQ(it.kind, LIBRARY_KIND_LOCAL);
    EXPECT_STREQ(it.name, "Take One");
    EXPECT_STREQ(it.ext, "WAV");
    EXPECT_STREQ(it.folder, fs::path(kit.dir()).filename().c_str());
    EXPECT_STREQ(it.path, wav.c_str());
    EXPECT_EQ(it.size, fs::file_size(wav));
    EXPECT_GT(it.time, 1.6e12);
    EXPECT_FALSE(it.has_marks);
    EXPECT_EQ(it.mark_out, 1.0f);
    EXPECT_EQ(lib->local_count, 1);
    EXPECT_EQ(lib->selected, 0);
    EXPECT_STREQ(lib->state.selected_path, wav.c_str());

    // The same path again keeps one item and selects it.
    lib->selected = -1;
    ASSERT_TRUE(library_add_file(lib, wav.c_str(), false));
    EXPECT_EQ(lib->count, 1);
    EXPECT_EQ(lib->selected, 0);

    // A dot that opens the name is the name; a root-level path has no folder.
    std::string dotted = kit.wav(".wav", 48);
    ASSERT_TRUE(library_add_file(lib, dotted.c_str(), false));
    EXPECT_STREQ(item(dotted)->name, ".wav");
}

TEST_F(LibraryTest, APathTooLongForTheItemIsRefusedNotCut)
{
    std::string folder = kit.dir();
    for (int i = 0; i < 3; i++) {
        folder += "/" + std::string(200, (char)('a' + i));
        fs::create_directory(folder);
    }
    std::string name = folder + "/take.wav";
    ASSERT_GE(name.size(), (size_t)LIBRARY_PATH);
    fs::copy_file(kit.wav("take.wav", 48), name);
    EXPECT_FALSE(library_add_file(lib, name.c_str(), true));
    EXPECT_EQ(lib->count, 0);
    EXPECT_EQ(lib->loaded_path[0], '\0');
}

TEST_F(LibraryTest, SummariesArriveNormalisedWithTheDurationAndProgressResets)
{
    // Loud first half, quiet second half; odd channels kept silent.
    std::vector<float> s(48000 * 2, 0.0f);
    for (int f = 0; f < 48000; f++)
        s[(size_t)f * 2] = f < 24000 ? (f % 2 ? 0.8f : -0.8f) : 0.2f;
    std::string a = kit.wav_samples("a.wav", s, 2);
    std::string b = kit.wav("b.wav", 4800, 1, 8000.0);
    ASSERT_TRUE(library_add_file(lib, a.c_str(), false));
    ASSERT_TRUE(library_add_file(lib, b.c_str(), false));
    EXPECT_EQ(lib->queued, 2);
    ASSERT_TRUE(settle());
    EXPECT_EQ(lib->done, 0);

    const LibraryItem* ia = item(a);
    ASSERT_TRUE(ia->ready);
    EXPECT_FALSE(ia->failed);
    EXPECT_NEAR(ia->duration, 1.0, 1e-9);
    for (int i = 0; i < 40; i++)
        EXPECT_NEAR(ia->summary[i], 1.0f, 1e-6) << i;
    for (int i = 40; i < 80; i++)
        EXPECT_NEAR(ia->summary[i], 0.25f, 1e-6) << i;
    EXPECT_NEAR(item(b)->duration, 0.6, 1e-9);
}

TEST_F(LibraryTest, HostileFilesFailTheirItemAndTheReaderGoesOn)
{
    std::string garbage = kit.text("garbage.wav", std::string(5000, 'x'));
    std::string header_only = kit.text("short.wav", std::string("RIFF\x24\0\0\0WAVEfmt ", 16));
    std::string not_mp3 = kit.text("noise.mp3", std::string(3000, '\x01'));
    std::vector<uint8_t> no_channels = {'R', 'I', 'F', 'F', 36, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ',
                                        16, 0, 0, 0, 1, 0, 0, 0, 0x80, 0xBB, 0, 0, 0, 0, 0, 0, 4, 0, 16, 0,
                                        'd', 'a', 't', 'a', 0, 0, 0, 0};
    std::string zero = kit.text("zero-channels.wav", std::string(no_channels.begin(), no_channels.end()));
    std::string good = kit.wav("good.wav", 480);
    std::string vanishing = kit.wav("vanishing.wav", 480);
    for (const std::string& p : {garbage, header_only, not_mp3, zero, good, vanishing})
        ASSERT_TRUE(library_add_file(lib, p.c_str(), false)) << p;
    // Swapped for a FIFO after it was added: the reader must not wait for a writer.
    fs::remove(vanishing);
    ASSERT_EQ(mkfifo(vanishing.c_str(), 0600), 0);
    ASSERT_TRUE(settle());

    for (const std::string& p : {garbage, header_only, not_mp3, zero}) {
        EXPECT_TRUE(item(p)->failed) << p;
        EXPECT_FALSE(item(p)->ready) << p;
    }
    // The reader may have read the file before the swap; either way it never waits
    // on the FIFO, and the item ends in one state or the other.
    EXPECT_NE(item(vanishing)->failed, item(vanishing)->ready);
    EXPECT_TRUE(item(good)->ready);
    // A failed item cannot be played.
    library_play_item(lib, item(garbage));
    EXPECT_EQ(lib->loaded_path[0], '\0');
}

TEST_F(LibraryTest, ALoadedTakePlaysWithItsMarksAsTheRegionAndTogglesOnPlay)
{
    std::string a = kit.wav("a.wav", 48000, 2);
    LibraryItem probe = {};
    std::strcpy(probe.path, a.c_str());
    library_set_marks(lib, &probe, 0.25f, 0.75f);
    ASSERT_TRUE(library_add_file(lib, a.c_str(), true));
    EXPECT_TRUE(lib->loading);
    EXPECT_FALSE(lib->waveform_ready);
    ASSERT_TRUE(settle());
    EXPECT_EQ(library_loaded_item(lib), item(a));
    EXPECT_TRUE(lib->waveform_ready);
    EXPECT_NEAR(lib->take_waveform[0], 1.0f, 0.01f);
    ASSERT_NE(player.pending.load(), nullptr);
    EXPECT_EQ(player.pending.load()->frames, 48000);
    EXPECT_TRUE(preview_is_playing(&player));
    EXPECT_TRUE(preview_region_active(&player));
    EXPECT_EQ(player.region_start.load(), 12000);
    EXPECT_EQ(player.region_end.load(), 36000);
    EXPECT_NEAR(preview_position(&player), 0.25, 1e-6);

    // Adding the loaded take again with load does not read it again.
    int32_t generation = player.generation.load();
    ASSERT_TRUE(library_add_file(lib, a.c_str(), true));
    EXPECT_FALSE(lib->loading);
    EXPECT_EQ(player.generation.load(), generation);

    library_play_item(lib, item(a));
    EXPECT_FALSE(preview_is_playing(&player));
    library_play_item(lib, item(a));
    EXPECT_TRUE(preview_is_playing(&player));
    library_stop(lib);
    EXPECT_FALSE(preview_is_playing(&player));
    EXPECT_EQ(library_loaded_item(lib), nullptr);
}

TEST_F(LibraryTest, TheTakesWaveformReadsEveryFrameOfALongTake)
{
    // 175 s, 8192 frames a column: a lone click on an odd right-channel frame is the loudest column.
    std::vector<float> s((size_t)1024 * 8192 * 2, 0.0f);
    s[(size_t)(700 * 8192 + 4095) * 2 + 1] = 0.9f;
    ASSERT_TRUE(library_add_file(lib, kit.wav_samples("long.wav", s, 2).c_str(), true));
    ASSERT_TRUE(settle());
    EXPECT_FLOAT_EQ(lib->take_waveform[700], 1.0f);
}

TEST_F(LibraryTest, OnlyTheLastPickedTakeReachesThePlayer)
{
    std::string a = kit.wav("a.wav", 4800);
    std::string b = kit.wav("b.wav", 2400);
    ASSERT_TRUE(library_add_file(lib, a.c_str(), true));
    ASSERT_TRUE(library_add_file(lib, b.c_str(), true));
    ASSERT_TRUE(settle());
    EXPECT_STREQ(lib->loaded_path, b.c_str());
    ASSERT_NE(player.pending.load(), nullptr);
    EXPECT_EQ(player.pending.load()->frames, 2400);
    EXPECT_EQ(player.generation.load(), 1);   // a's buffer never reached the player
}

TEST_F(LibraryTest, AFailedOrOversizedLoadUnloadsTheTake)
{
    std::string bad = kit.text("bad.wav", "RIFF....WAVEjunk");
    ASSERT_TRUE(library_add_file(lib, bad.c_str(), true));
    ASSERT_TRUE(settle());
    EXPECT_EQ(lib->loaded_path[0], '\0');
    EXPECT_TRUE(item(bad)->failed);

    // Longer than the playback limit: the load fails before it takes the memory; the
    // summary, which keeps no samples, still arrives.
    library_reader_set_load_limit(lib->reader, 2 * 1000);
    std::string big = kit.wav("big.wav", 4800);
    ASSERT_TRUE(library_add_file(lib, big.c_str(), false));
    ASSERT_TRUE(settle());
    EXPECT_TRUE(item(big)->ready);
    library_play_item(lib, item(big));
    ASSERT_TRUE(settle());
    EXPECT_EQ(library_loaded_item(lib), nullptr);
    EXPECT_EQ(player.pending.load(), nullptr);
    EXPECT_TRUE(item(big)->failed);
}

// A 44-byte PCM header: channels, bits and the data size it claims.
std::string wav_header(int channels, int bits, uint32_t data_bytes)
{
    auto le = [](std::string& s, uint32_t v, int n) {
        for (int i = 0; i < n; i++)
            s.push_back((char)(v >> (8 * i) & 0xFF));
    };
    uint32_t align = (uint32_t)(channels * bits / 8);
    std::string h = "RIFF";
    le(h, data_bytes + 36, 4);
    h += "WAVEfmt ";
    le(h, 16, 4);
    le(h, 1, 2);
    le(h, (uint32_t)channels, 2);
    le(h, 48000, 4);
    le(h, 48000 * align, 4);
    le(h, align, 2);
    le(h, (uint32_t)bits, 2);
    h += "data";
    le(h, data_bytes, 4);
    return h;
}

TEST_F(LibraryTest, ATakeThatCannotBePlayedIsCountedAndThePlayerKeepsTheTakeItHad)
{
    std::string good = kit.wav("good.wav", 4800);
    ASSERT_TRUE(library_add_file(lib, good.c_str(), true));
    ASSERT_TRUE(settle());
    ASSERT_STREQ(lib->loaded_path, good.c_str());
    // Nothing renders the player here: the take waits as its pending buffer.
    SampleBuffer* held = player.pending.load();
    ASSERT_NE(held, nullptr);

    std::string noise(4000, '\x5a');
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty.wav", ""},
        {"cut.wav", wav_header(2, 16, 1 << 20).substr(0, 30)},
        {"noise.wav", noise},
        {"noise.mp3", noise},
        {"huge.wav", wav_header(2, 16, 0xFFFFFFF0u) + "ab"},
        {"no-channels.wav", wav_header(0, 16, 4000) + noise},
        {"four-bit.wav", wav_header(2, 4, 4000) + noise},
    };
    uint32_t failures = lib->load_failures;
    for (const Case& c : cases) {
        std::string path = kit.text(c.name, c.bytes);
        ASSERT_TRUE(library_add_file(lib, path.c_str(), true)) << c.name;
        ASSERT_TRUE(settle()) << c.name;
        EXPECT_EQ(lib->load_failures, ++failures) << c.name;
        EXPECT_STREQ(lib->loaded_path, good.c_str()) << c.name;
        EXPECT_EQ(player.pending.load(), held) << c.name;
        // Asked for again, the failed file is counted again and nothing moves.
        ASSERT_TRUE(library_add_file(lib, path.c_str(), true)) << c.name;
        EXPECT_EQ(lib->load_failures, ++failures) << c.name;
        EXPECT_STREQ(lib->loaded_path, good.c_str()) << c.name;
    }
    // The kept take still plays.
    library_play_item(lib, library_loaded_item(lib));
    EXPECT_TRUE(preview_is_playing(&player));
}

TEST_F(LibraryTest, TheNewTakeShowsTheReferenceLength)
{
    std::string forty = kit.wav("forty.wav", 40 * 800, 1, 800.0);
    std::string tenth = kit.wav("tenth.wav", 80, 1, 800.0);
    library_set_reference_length(lib, 10.0f);
    ASSERT_TRUE(library_add_file(lib, forty.c_str(), true));
    ASSERT_TRUE(settle());
    EXPECT_FLOAT_EQ(lib->zoom, 0.25f);
    ASSERT_TRUE(library_add_file(lib, tenth.c_str(), true));
    ASSERT_TRUE(settle());
    EXPECT_FLOAT_EQ(lib->zoom, 1.0f);
    library_set_reference_length(lib, -3.0f);
    EXPECT_EQ(library_reference_length(lib), 0.0f);
    ASSERT_TRUE(library_add_file(lib, forty.c_str(), true));
    ASSERT_TRUE(settle());
    EXPECT_FLOAT_EQ(lib->zoom, 0.54f);
}

TEST_F(LibraryTest, TheViewOrdersByTimeThenNameAndFiltersBySource)
{
    std::string old_b = kit.wav("b.wav", 48);
    std::string old_a = kit.wav("a.wav", 48);
    fs::create_directory(kit.path("Drums"));
    std::string newest = kit.path("Drums/kick.flac");
    fs::copy_file(kit.wav("kick.wav", 48), newest);
    set_time(old_a, 100);
    set_time(old_b, 100);
    fs::last_write_time(old_b, fs::last_write_time(old_a));
    set_time(newest, 10);
    for (const std::string& p : {old_b, old_a, newest})
        ASSERT_TRUE(library_add_file(lib, p.c_str(), false));
    // The last added is selected, and the selection follows its item through the sort.
    library_rebuild_view(lib);
    ASSERT_EQ(lib->view_count, 3);
    EXPECT_STREQ(lib->items[lib->view[0]].name, "kick");
    EXPECT_STREQ(lib->items[lib->view[1]].name, "a");
    EXPECT_STREQ(lib->items[lib->view[2]].name, "b");
    EXPECT_STREQ(lib->items[lib->selected].path, newest.c_str());

    LibraryViewState st = library_get_view_state(lib);
    std::strcpy(st.filter, "wav");
    library_set_view_state(lib, &st);
    library_rebuild_view(lib);
    EXPECT_EQ(lib->view_count, 2);
    EXPECT_EQ(lib->selected, -1);       // the selection was filtered out
    EXPECT_EQ(lib->state.selected_path[0], '\0');

    std::strcpy(st.filter, "dRuM");      // the folder, in any case
    st.selected_path[0] = '\0';
    library_set_view_state(lib, &st);
    library_rebuild_view(lib);
    ASSERT_EQ(lib->view_count, 1);
    EXPECT_STREQ(lib->items[lib->view[0]].name, "kick");

    st.filter[0] = '\0';
    for (uint32_t source : {LIBRARY_SOURCE_LOCAL, LIBRARY_SOURCE_CLOUD, LIBRARY_SOURCE_BROWSE}) {
        st.source = source;
        library_set_view_state(lib, &st);
        library_rebuild_view(lib);
        EXPECT_EQ(lib->view_count, source == LIBRARY_SOURCE_LOCAL ? 3 : 0) << source;
    }
    EXPECT_TRUE(library_filter_match("", ""));
    EXPECT_FALSE(library_filter_match("a", ""));
}

TEST_F(LibraryTest, ViewStateIsStoredWholeAndBrowseOffReturnsToAll)
{
    LibraryViewState st = {};
    st.source = LIBRARY_SOURCE_BROWSE;
    std::memset(st.filter, 'k', sizeof st.filter);    // not terminated
    st.scroll = 192.0f;
    lib->dirty = 0;
    library_set_view_state(lib, &st);
    LibraryViewState back = library_get_view_state(lib);
    EXPECT_EQ(back.source, LIBRARY_SOURCE_BROWSE);
    EXPECT_EQ(std::strlen(back.filter), sizeof st.filter - 1);
    EXPECT_EQ(lib->scroll_target, 192.0f);
    EXPECT_TRUE(lib->dirty);
    // The scroll eases to its target.
    lib->scroll_target = 0.0f;
    library_update(lib, 1.0, 1.0f / 60.0f);
    EXPECT_NEAR(lib->state.scroll, 192.0f * 0.7f, 1e-3);

    library_enable_browse(lib, true);
    EXPECT_TRUE(lib->browse_enabled);
    EXPECT_NE(lib->browse_root[0], '\0');
    library_enable_browse(lib, false);
    EXPECT_EQ(lib->state.source, LIBRARY_SOURCE_ALL);
}

TEST_F(LibraryTest, TreePicksKeepOnlyTheLastLookedAtFile)
{
    std::string kept = kit.wav("kept.wav", 480);
    ASSERT_TRUE(library_add_file(lib, kept.c_str(), false));
    std::string picks[3] = {kit.wav("p1.wav", 480), kit.wav("p2.wav", 480), kit.wav("p3.wav", 480)};
    for (const std::string& p : picks) {
        library_on_tree_select(lib, p.c_str(), false);
        // Nothing opens before the pick has rested 0.15 s.
        library_update(lib, 10.0, 0.016f);
        library_update(lib, 10.1, 0.016f);
        EXPECT_EQ(library_find_item(lib, p.c_str()), -1);
        library_update(lib, 10.2, 0.016f);
        EXPECT_GE(library_find_item(lib, p.c_str()), 0);
    }
    EXPECT_EQ(lib->count, 2);
    EXPECT_GE(library_find_item(lib, kept.c_str()), 0);
    EXPECT_STREQ(lib->transient_path, picks[2].c_str());
    EXPECT_STREQ(lib->loaded_path, picks[2].c_str());

    // A kept item opened from the tree stays when the next pick comes.
    library_open_with_shell(lib, kept.c_str());
    library_open_with_shell(lib, picks[0].c_str());
    EXPECT_GE(library_find_item(lib, kept.c_str()), 0);
    EXPECT_EQ(library_find_item(lib, picks[2].c_str()), -1);

    // Folders, other files and the loaded take clear a waiting pick.
    library_on_tree_select(lib, picks[1].c_str(), false);
    library_on_tree_select(lib, kit.dir().c_str(), true);
    EXPECT_EQ(lib->pending_pick[0], '\0');
    library_on_tree_select(lib, lib->loaded_path, false);
    EXPECT_EQ(lib->pending_pick[0], '\0');

    library_remove_pending(lib);
    EXPECT_EQ(lib->count, 1);
    EXPECT_EQ(library_loaded_item(lib), nullptr);   // the removed take was stopped
    EXPECT_EQ(lib->transient_path[0], '\0');
}

TEST_F(LibraryTest, DeletingMovesTheFileToTheTrashAndKeepsTheSelection)
{
    setenv("XDG_DATA_HOME", kit.path("share").c_str(), 1);
    struct Seen {
        int calls = 0;
        std::string name;
        bool kept = false;
    } seen;
    lib->hook_ctx = &seen;
    lib->on_deleted = [](void* ctx, const char* name, bool kept) {
        Seen* s = (Seen*)ctx;
        s->calls++;
        s->name = name;
        s->kept = kept;
    };
    std::string a = kit.wav("a.wav", 480), b = kit.wav("b.wav", 480), c = kit.wav("c.wav", 480);
    for (const std::string& p : {a, b, c})
        ASSERT_TRUE(library_add_file(lib, p.c_str(), false));
    ASSERT_TRUE(library_add_file(lib, a.c_str(), true));   // a: loaded and selected
    library_add_file(lib, c.c_str(), false);               // c selected
    library_delete_item(lib, library_find_item(lib, a.c_str()));
    EXPECT_FALSE(fs::exists(a));
    EXPECT_TRUE(fs::exists(kit.path("share/Trash/files/a.wav")));
    EXPECT_TRUE(fs::exists(kit.path("share/Trash/info/a.wav.trashinfo")));
    EXPECT_EQ(seen.calls, 1);
    EXPECT_EQ(seen.name, "a");
    EXPECT_FALSE(seen.kept);
    EXPECT_EQ(lib->count, 2);
    EXPECT_EQ(lib->local_count, 2);
    EXPECT_STREQ(lib->items[lib->selected].path, c.c_str());
    EXPECT_EQ(lib->loaded_path[0], '\0');

    // A trash that cannot be made: the file stays, and so does its item.
    setenv("XDG_DATA_HOME", kit.text("not-a-folder", "x").c_str(), 1);
    EXPECT_FALSE(library_delete_item(lib, library_find_item(lib, b.c_str())));
    EXPECT_TRUE(fs::exists(b));
    EXPECT_TRUE(seen.kept);
    EXPECT_EQ(lib->count, 2);
    unsetenv("XDG_DATA_HOME");
}

TEST_F(LibraryTest, VolumeAndColoursFollowTheirRules)
{
    library_set_volume(lib, 1.7f);
    EXPECT_EQ(library_get_volume(lib), 1.0f);
    library_set_volume(lib, 0.3f);
    EXPECT_FLOAT_EQ(player.gain.load(), 0.3f);
    EXPECT_EQ(library_get_volume(nullptr), 1.0f);

    // FNV-1a of the empty text is the offset basis: 2166136261 mod 6 = 1 (0x8C2EBF).
    float c[4];
    library_item_colour("", c);
    EXPECT_FLOAT_EQ(c[0], 0x8C / 255.0f);
    EXPECT_FLOAT_EQ(c[1], 0x2E / 255.0f);
    EXPECT_FLOAT_EQ(c[2], 0xBF / 255.0f);
    EXPECT_FLOAT_EQ(c[3], 1.0f);
}

} // namespace
