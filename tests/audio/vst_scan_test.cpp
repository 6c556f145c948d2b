// The folder scan lists ".so" files in any case, skips dot names, stops three folder
// levels down and at the list's size, starts with TESSEL_VST_PATH, and never lists a
// path it would have to cut.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "audio/vst.h"

namespace fs = std::filesystem;

namespace {

struct TempTree {
    fs::path root;
    TempTree()
    {
        std::random_device rd;
        root = fs::temp_directory_path() / ("tessel-vst-scan-" + std::to_string(rd()));
        fs::create_directories(root);
    }
    ~TempTree()
    {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void file(const fs::path& rel)
    {
        fs::create_directories((root / rel).parent_path());
        std::ofstream(root / rel) << "x";
    }
};

std::set<std::string> relative_paths(const std::vector<VstPickerEntry>& entries, int count, const fs::path& root)
{
    std::set<std::string> out;
    for (int i = 0; i < count; i++)
        out.insert(fs::path(entries[(size_t)i].path).lexically_relative(root).string() + " = " +
                   entries[(size_t)i].name);
    return out;
}

}   // namespace

TEST(VstScan, ListsLibrariesInAnyCaseDownToThreeLevels)
{
    TempTree t;
    for (const char* f : {"Alpha.so", "beta.SO", "Gamma.So", "x.so", "plugin.dll", "notes.txt", "so", ".so",
                          ".hidden.so", ".cache/inside.so", "d1/one.so", "d1/d2/two.so", "d1/d2/d3/three.so",
                          "d1/d2/d3/d4/four.so", "Bundle.vst/Bundle.so"})
        t.file(f);
    // A FIFO, and a link to it, are never listed: loading one would wait for a writer.
    ASSERT_EQ(mkfifo((t.root / "pipe.so").c_str(), 0600), 0);
    fs::create_symlink(t.root / "pipe.so", t.root / "link.so");
    std::vector<VstPickerEntry> entries(VST_PICKER_MAX);
    int count = 0;
    vst_scan_folder(t.root.c_str(), 0, entries.data(), VST_PICKER_MAX, &count);
    std::set<std::string> want = {"Alpha.so = Alpha",   "beta.SO = beta",           "Gamma.So = Gamma",
                                  "x.so = x",           "d1/one.so = one",          "d1/d2/two.so = two",
                                  "d1/d2/d3/three.so = three", "Bundle.vst/Bundle.so = Bundle"};
    EXPECT_EQ(relative_paths(entries, count, t.root), want);
    EXPECT_EQ(count, (int)want.size());
}

TEST(VstScan, StopsAtTheListsSizeAndEndsOnLinkLoops)
{
    TempTree t;
    for (int i = 0; i < 300; i++)
        t.file("many/p" + std::to_string(i) + ".so");
    std::vector<VstPickerEntry> entries(VST_PICKER_MAX);
    int count = 0;
    vst_scan_folder(t.root.c_str(), 0, entries.data(), VST_PICKER_MAX, &count);
    EXPECT_EQ(count, VST_PICKER_MAX);
    vst_scan_folder(t.root.c_str(), 0, entries.data(), VST_PICKER_MAX, &count);
    EXPECT_EQ(count, VST_PICKER_MAX);

    // Links back to their own folder or to a parent: every folder is visited once,
    // so each plug-in is listed once and the walk ends at once.
    TempTree loop;
    loop.file("one.so");
    loop.file("sub/two.so");
    for (int i = 0; i < 50; i++)
        fs::create_directory_symlink(loop.root, loop.root / ("again" + std::to_string(i)));
    fs::create_directory_symlink(loop.root, loop.root / "sub" / "up");
    count = 0;
    vst_scan_folder(loop.root.c_str(), 0, entries.data(), VST_PICKER_MAX, &count);
    EXPECT_EQ(relative_paths(entries, count, loop.root),
              (std::set<std::string>{"one.so = one", "sub/two.so = two"}));
    EXPECT_EQ(count, 2);

    // A link three levels down reaches "z" before the walk gets to it at the top: "z"
    // is listed there at its last level, and from the top its subfolder is reached too.
    TempTree deep;
    deep.file("z/top.so");
    deep.file("z/sub/low.so");
    fs::create_directories(deep.root / "a" / "b");
    fs::create_directory_symlink(deep.root / "z", deep.root / "a" / "b" / "link");
    count = 0;
    vst_scan_folder(deep.root.c_str(), 0, entries.data(), VST_PICKER_MAX, &count);
    EXPECT_EQ(relative_paths(entries, count, deep.root),
              (std::set<std::string>{"a/b/link/top.so = top", "z/sub/low.so = low"}));
    EXPECT_EQ(count, 2);
}

TEST(VstScan, TheCustomFolderComesFirstAndPathsTooLongAreLeftOut)
{
    TempTree home;   // an empty home: no ~/.vst or ~/.lxvst
    TempTree t;
    auto make_deep = [&](size_t length) {
        fs::path p = t.root / std::to_string(length);
        while (p.string().size() < length) {
            size_t room = length - p.string().size() - 1;
            p /= std::string(room > 250 ? 250 : room, 'd');
        }
        fs::create_directories(p);
        std::ofstream(p / "deep.so") << "x";
        return p.string();
    };
    std::string fits = make_deep(400);
    std::string too_long = make_deep(505);   // its file's path needs 513 characters
    ASSERT_EQ(too_long.size(), 505u);

    const char* old_home = getenv("HOME");
    std::string saved_home = old_home ? old_home : "";
    setenv("HOME", home.root.c_str(), 1);
    std::vector<VstPickerEntry> entries(VST_PICKER_MAX);

    setenv("TESSEL_VST_PATH", fits.c_str(), 1);
    int count = vst_scan_folders(entries.data(), VST_PICKER_MAX);
    ASSERT_GE(count, 1);
    EXPECT_EQ(std::string(entries[0].path), fits + "/deep.so");
    EXPECT_STREQ(entries[0].name, "deep");

    setenv("TESSEL_VST_PATH", t.root.c_str(), 1);
    count = vst_scan_folders(entries.data(), VST_PICKER_MAX);
    int from_tree = 0;
    for (int i = 0; i < count; i++) {
        EXPECT_LT(strlen(entries[(size_t)i].path), sizeof entries[0].path);
        from_tree += std::string(entries[(size_t)i].path).rfind(t.root.string(), 0) == 0;
    }
    EXPECT_EQ(from_tree, 1);

    unsetenv("TESSEL_VST_PATH");
    setenv("HOME", saved_home.c_str(), 1);
    EXPECT_EQ(vst_scan_folders(nullptr, 10), 0);
}
