// vst_picker_test.cpp - the plug-in picker over a folder of mock plug-ins
// (TESSEL_VST_PATH) and a data folder of its own: kinds found and cached, tabs and
// search, choices into the instrument and the slots, and a damaged, growing or
// half-written kind cache.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "app/toast.h"
#include "app/vst_kinds.h"
#include "app/vst_picker.h"
#include "audio/engine_retire.h"
#include "tests/app/app_test.h"
#include "tests/audio/vst_test_support.h"

namespace fs = std::filesystem;

class VstPickerTest : public AppTest {
protected:
    fs::path root, plugins, data;
    std::string saved_vst_path;
    bool had_vst_path = false;

    void SetUp() override
    {
        AppTest::SetUp();
        char tmpl[] = "/tmp/tessel-picker-XXXXXX";
        ASSERT_NE(mkdtemp(tmpl), nullptr);
        root = tmpl;
        plugins = root / "plugins";
        data = root / "data";
        fs::create_directories(plugins);
        fs::create_directories(data);
        const char* old = getenv("TESSEL_VST_PATH");
        had_vst_path = old != nullptr;
        saved_vst_path = old ? old : "";
        setenv("TESSEL_VST_PATH", plugins.c_str(), 1);
        snprintf(app->data_folder, sizeof app->data_folder, "%s", data.c_str());
    }
    void TearDown() override
    {
        engine_retire_plugin(e, &e->instrument);
        for (FxSlot& s : e->slots)
            engine_retire_plugin(e, &s.plugin);
        if (had_vst_path)
            setenv("TESSEL_VST_PATH", saved_vst_path.c_str(), 1);
        else
            unsetenv("TESSEL_VST_PATH");
        fs::remove_all(root);
        AppTest::TearDown();
    }

    // Copies a mock library into the plug-in folder (or below it) under name.
    std::string add(const std::string& name, const char* mock = "vst_mock.so")
    {
        fs::path to = plugins / name;
        fs::create_directories(to.parent_path());
        fs::copy_file(vst_mock_path(mock), to, fs::copy_options::overwrite_existing);
        return to.string();
    }
    // Opens the picker and keeps only the entries of the test's folder (listed first),
    // so no installed plug-in is ever identified.
    void open(int32_t target)
    {
        vst_picker_open(app, target);
        int32_t mine = 0;
        while (mine < app->picker.count && !strncmp(app->picker.entries[mine].path, plugins.c_str(),
                                                     strlen(plugins.c_str())))
            mine++;
        app->picker.count = mine;
        vst_picker_filter(app);
    }
    int32_t entry(const std::string& path) const
    {
        for (int32_t i = 0; i < app->picker.count; i++)
            if (path == app->picker.entries[i].path)
                return i;
        return -1;
    }
    std::vector<std::string> listed() const
    {
        std::vector<std::string> names;
        for (int32_t r = 0; r < app->picker.filtered_count; r++)
            names.push_back(app->picker.entries[app->picker.filtered[r]].name);
        return names;
    }
    void identify_all()
    {
        app->picker.identifying = 1;
        app->picker.identify_next = 0;
        for (int i = 0; i < 50 && app->picker.identifying; i++)
            vst_picker_identify_step(app);
    }
    fs::path cache() const { return data / "vst-kinds.txt"; }
    std::string cache_text() const
    {
        std::ifstream in(cache(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    void write_cache(const std::string& text) const
    {
        std::ofstream out(cache(), std::ios::binary | std::ios::trunc);
        out << text;
    }
    std::string line(int kind, const std::string& path, const char* label = "L") const
    {
        return std::to_string(kind) + "|" + std::to_string(fs::file_size(path)) + "|" + label + "|" + path + "\n";
    }
};

TEST_F(VstPickerTest, IdentificationFindsEachKindOncePerStepAndTheCacheRestoresThemWithoutLoading)
{
    std::string fx = add("Alpha.so");
    std::string synth = add("Beta.so");
    std::string broken = add("Gamma.so", "vst_mock_noentry.so");
    VstMockLib beta(synth.c_str());
    ASSERT_NE(beta.state, nullptr);
    beta.config().flags |= VST_FLAG_IS_SYNTH;
    snprintf(beta.config().name, sizeof beta.config().name, "Mock | Synth");

    open(-1);
    ASSERT_EQ(app->picker.count, 3);
    EXPECT_EQ(app->picker.tab, 2);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Alpha", "Beta", "Gamma"}));   // unknown: every tab
    EXPECT_EQ(app->picker.size[entry(fx)], (int64_t)fs::file_size(fx));

    app->picker.identifying = 1;
    vst_picker_identify_step(app);
    EXPECT_STREQ(app->picker.identify_status, "Alpha");
    EXPECT_EQ(app->picker.kind[entry(fx)], VST_KIND_EFFECT);
    EXPECT_EQ(app->picker.kind[entry(synth)], VST_KIND_UNKNOWN);   // one file per step
    EXPECT_EQ(listed(), (std::vector<std::string>{"Beta", "Gamma"}));
    vst_picker_identify_step(app);
    vst_picker_identify_step(app);
    EXPECT_EQ(app->picker.identifying, 1);
    vst_picker_identify_step(app);   // none left
    EXPECT_EQ(app->picker.identifying, 0);
    EXPECT_STREQ(app->picker.identify_status, "");
    EXPECT_EQ(app->picker.kind[entry(synth)], VST_KIND_INSTRUMENT);
    EXPECT_STREQ(app->picker.label[entry(synth)], "Mock | Synth");
    EXPECT_EQ(app->picker.kind[entry(broken)], VST_KIND_FAILED);
    EXPECT_EQ(beta.stats().alive.load(), 0);   // identified plug-ins are unloaded at once
    EXPECT_EQ(e->instrument.load(), nullptr);
    // Each load is announced before it starts and its result follows; "|" never
    // reaches the file inside a label.
    EXPECT_EQ(cache_text(), line(0, fx, "Alpha") + line(1, fx, "Mock Effect") + line(0, synth, "Beta") +
                                line(2, synth, "Mock   Synth") + line(0, broken, "Gamma") +
                                line(3, broken, "Gamma"));

    int opens = beta.calls(VST_EFF_OPEN);
    open(0);
    EXPECT_EQ(beta.calls(VST_EFF_OPEN), opens);   // read from the cache, not loaded
    EXPECT_EQ(app->picker.tab, 1);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Alpha"}));
    EXPECT_STREQ(app->picker.label[entry(fx)], "Mock Effect");
    app->picker.tab = 2;
    vst_picker_filter(app);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Beta"}));
    app->picker.tab = 0;
    vst_picker_filter(app);
    EXPECT_EQ(listed().size(), 3u);

    // Another build of another size is unknown again until it is loaded.
    fs::path other = root / "other.so";
    fs::copy_file(vst_mock_path("vst_mock.so"), other);
    std::ofstream(other, std::ios::binary | std::ios::app) << "longer";
    fs::rename(other, fx);
    open(0);
    EXPECT_EQ(app->picker.kind[entry(fx)], VST_KIND_UNKNOWN);
    EXPECT_EQ(app->picker.kind[entry(synth)], VST_KIND_INSTRUMENT);
}

TEST_F(VstPickerTest, ChoosingInstallsInTheTargetOrExplainsWhyNot)
{
    std::string fx = add("Alpha.so");
    std::string fx2 = add("Delta.so");
    std::string synth = add("Beta.so");
    std::string broken = add("Gamma.so", "vst_mock_noentry.so");
    VstMockLib beta(synth.c_str()), delta(fx2.c_str());
    beta.config().flags |= VST_FLAG_IS_SYNTH;
    snprintf(beta.config().name, sizeof beta.config().name, "Mock Synth");

    open(-1);
    app->picker.tab = 0;
    vst_picker_filter(app);
    vst_picker_choose(app, entry(fx));
    EXPECT_STREQ(app->picker.status, "Alpha is not an instrument");
    EXPECT_EQ(app->picker.open, 1);
    EXPECT_EQ(e->instrument.load(), nullptr);
    EXPECT_EQ(app->picker.kind[entry(fx)], VST_KIND_EFFECT);

    vst_picker_choose(app, entry(broken));
    EXPECT_STREQ(app->picker.status, "Gamma: not a VST2 plugin (no VSTPluginMain)");
    EXPECT_EQ(app->picker.kind[entry(broken)], VST_KIND_FAILED);
    EXPECT_EQ(app->picker.open, 1);

    vst_picker_choose(app, entry(synth));
    EXPECT_EQ(app->picker.open, 0);
    ASSERT_NE(e->instrument.load(), nullptr);
    EXPECT_STREQ(vst_path(e->instrument.load()), synth.c_str());
    EXPECT_EQ(app->musical_typing, 1);
    EXPECT_STREQ(app->toasts[0].text, "Mock Synth");   // shown as the plug-in names itself
    EXPECT_EQ(app->toasts[0].colour, TOAST_LIGHT_TEAL);
    EXPECT_EQ(cache_text(), line(1, fx, "Mock Effect") + line(3, broken, "Gamma") + line(2, synth, "Mock Synth"));

    // Patch A's slot, then a replacement that retires the first plug-in.
    open(1);
    vst_picker_choose(app, entry(fx2));
    EXPECT_EQ(app->picker.open, 0);
    EXPECT_EQ(app->toasts[1].colour, TOAST_PURPLE);
    EXPECT_EQ(delta.stats().alive.load(), 1);
    open(1);
    vst_picker_choose(app, entry(fx));
    EXPECT_EQ(delta.stats().alive.load(), 0);
    EXPECT_STREQ(vst_path(e->slots[1].plugin.load()), fx.c_str());
    open(2);
    vst_picker_choose(app, entry(fx2));
    EXPECT_EQ(app->toasts[3].colour, TOAST_LIGHT_TEAL);
    EXPECT_NE(e->slots[2].plugin.load(), nullptr);
}

TEST_F(VstPickerTest, SearchWordsMustAllMatchAndTheSelectionFollowsItsEntryAcrossTabs)
{
    add("Alpha.so");
    std::string synth = add("Beta.so");
    add("Gamma.so");
    open(-1);
    app->picker.kind[entry(synth)] = VST_KIND_INSTRUMENT;
    snprintf(app->picker.label[entry(synth)], 40, "Warm Pad");
    app->picker.tab = 0;
    vst_picker_filter(app);

    snprintf(app->picker.search, sizeof app->picker.search, "WARM  beta");
    vst_picker_filter(app);
    EXPECT_EQ(listed(), (std::vector<std::string>{"Beta"}));
    snprintf(app->picker.search, sizeof app->picker.search, "plugins .so");   // the path counts
    vst_picker_filter(app);
    EXPECT_EQ(listed().size(), 3u);
    snprintf(app->picker.search, sizeof app->picker.search, "alpha beta");
    vst_picker_filter(app);
    EXPECT_TRUE(listed().empty());

    app->picker.search[0] = '\0';
    vst_picker_filter(app);
    app->picker.selection = 1;   // Beta
    app->picker.tab = 2;
    vst_picker_filter(app);
    EXPECT_EQ(app->picker.filtered[app->picker.selection], entry(synth));
    app->picker.tab = 1;   // Beta is not listed there: the first row
    vst_picker_filter(app);
    EXPECT_EQ(app->picker.selection, 0);
}

// A plug-in whose load ends the program (a crash, or a hang the user ends) is found
// failed at the next start and never loaded again.
TEST_F(VstPickerTest, APluginThatEndsTheProgramWhileIdentifiedIsNotTriedAgain)
{
    add("Alpha.so");
    fs::copy_file(TESSEL_PICKER_CRASH_LIB, plugins / "Crash.so");
    std::string crash = (plugins / "Crash.so").string();
    add("Zeta.so");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        open(0);
        identify_all();
        _exit(0);   // not reached: Crash.so kills the process
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_NE(cache_text().find(line(0, crash, "Crash")), std::string::npos);

    open(0);
    EXPECT_EQ(app->picker.kind[entry(crash)], VST_KIND_FAILED);
    identify_all();   // survives: the crashing file is skipped
    EXPECT_EQ(app->picker.kind[entry((plugins / "Zeta.so").string())], VST_KIND_EFFECT);
}

TEST_F(VstPickerTest, DamagedCacheLinesAreSkippedWholeAndATornLastLineIsClosedBeforeAppending)
{
    std::string fx = add("Alpha.so");
    std::string synth = add("Beta.so");
    std::string size = std::to_string(fs::file_size(fx));
    std::string damage;
    damage += std::string(1000, 'x') + "2|" + size + "|Fake|" + fx + "\n";   // over-long; its tail looks valid
    damage += "2|" + size + "|Nul\0|" + fx + "\n";
    damage.insert(damage.size() - fx.size() - 6, 1, '\0');
    damage += "9|" + size + "|Bad kind|" + fx + "\n";
    damage += "2|12x|Bad size|" + fx + "\n";
    damage += "2|99999999999999999999999|Overflow|" + fx + "\n";
    damage += "2|" + size + "|No path|\n";
    damage += "2" + size + "|No bar|" + fx + "\n";
    damage += "\xff\xfe\x01\n\n";
    damage += line(2, synth, "Good");
    damage += "1|" + size + "|Torn|" + fx.substr(0, 10);   // the program ended mid-line
    write_cache(damage);

    open(0);
    EXPECT_EQ(app->picker.kind[entry(fx)], VST_KIND_UNKNOWN);
    EXPECT_EQ(app->picker.kind[entry(synth)], VST_KIND_INSTRUMENT);
    EXPECT_STREQ(app->picker.label[entry(synth)], "Good");

    vst_picker_choose(app, entry(fx));   // appends after the torn line, on a line of its own
    open(0);
    EXPECT_EQ(app->picker.kind[entry(fx)], VST_KIND_EFFECT);

    // A cache that is not a regular file is neither read nor written, and never blocks.
    fs::remove(cache());
    ASSERT_EQ(mkfifo(cache().c_str(), 0600), 0);
    open(1);
    vst_picker_choose(app, entry(synth));
    EXPECT_EQ(app->picker.kind[entry(synth)], VST_KIND_EFFECT);   // loaded: a plain mock
    EXPECT_TRUE(fs::is_fifo(cache()));
}

TEST_F(VstPickerTest, AGrownCacheIsRewrittenWithTheNewestLinePerFileAndSize)
{
    std::string fx = add("Alpha.so");
    std::string synth = add("Beta.so");
    std::string text = line(2, synth, "Old but only") + line(3, fx, "Superseded");
    for (int i = 0; text.size() <= VST_KINDS_COMPACT_BYTES; i++)
        text += "1|" + std::to_string(i) + "|Gone|/nowhere/" + std::string(100, 'p') + std::to_string(i % 3000) + ".so\n";
    text += line(1, fx, "Newest");
    write_cache(text);

    open(0);
    EXPECT_EQ(app->picker.kind[entry(fx)], VST_KIND_EFFECT);
    uintmax_t bytes = fs::file_size(cache());
    EXPECT_LT(bytes, (uintmax_t)VST_KINDS_COMPACT_BYTES);
    std::string after = cache_text();
    EXPECT_EQ(std::count(after.begin(), after.end(), '\n'), VST_KINDS_KEEP);
    EXPECT_EQ(after.find("Superseded"), std::string::npos);
    EXPECT_NE(after.find(line(1, fx, "Newest")), std::string::npos);

    // The rewrite reads back as the file did (apart from the oldest lines it dropped).
    open(0);
    EXPECT_EQ(app->picker.kind[entry(fx)], VST_KIND_EFFECT);
    EXPECT_STREQ(app->picker.label[entry(fx)], "Newest");
    EXPECT_EQ(fs::file_size(cache()), bytes);
}

TEST_F(VstPickerTest, LongPathsAndOddLabelsRoundTripWholeAndALineFeedInAPathWritesNothing)
{
    // A path near the entry's 511 bytes, with "|" in a folder name.
    std::string deep = std::string(150, 'a') + "|x/" + std::string(150, 'b') + "/";
    size_t room = 511 - (plugins.string().size() + 1 + deep.size()) - 3;
    std::string fx = add(deep + std::string(room, 'c') + ".so");
    ASSERT_EQ(fx.size(), 511u);
    std::string odd = add("odd\nname.so");
    VstMockLib lib(fx.c_str());
    snprintf(lib.config().name, sizeof lib.config().name, "%s", "Name\nwith|breaks and more than thirty-nine bytes");

    open(0);
    ASSERT_GE(entry(fx), 0);
    ASSERT_GE(entry(odd), 0);
    identify_all();
    EXPECT_EQ(app->picker.kind[entry(odd)], VST_KIND_EFFECT);
    std::string text = cache_text();
    EXPECT_EQ(text.find("odd"), std::string::npos);
    EXPECT_NE(text.find(line(1, fx, "Name with breaks and more than thirty-n")), std::string::npos);

    open(0);
    EXPECT_EQ(app->picker.kind[entry(fx)], VST_KIND_EFFECT);
    EXPECT_EQ(app->picker.kind[entry(odd)], VST_KIND_UNKNOWN);
}
