// The plug-in kind cache from any bytes, against a plain reading of its line format
// ("kind|size|label|path", kind 0..3, size in decimal digits below 2^63, a label
// without "|", a path that is not empty; lines longer than the limit or holding a NUL
// are damage): every picker entry takes the kind and label of the last line of its path
// and size. Compacting the file changes nothing a reading gives, and a line appended
// for an entry is what the next reading gives it.
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/vst_kinds.h"
#include "fuzz_kit.h"
#include "rig/rig_device.h"

namespace {

struct Line {
    int kind;
    int64_t size;
    std::string label, path;
};

bool parse(const std::string& s, Line* out)
{
    if (s.size() < 2 || s[0] < '0' || s[0] > '3' || s[1] != '|')
        return false;
    size_t bar = s.find('|', 2);
    if (bar == std::string::npos || bar == 2)
        return false;
    int64_t size = 0;
    for (size_t i = 2; i < bar; i++) {
        if (s[i] < '0' || s[i] > '9' || size > (INT64_MAX - 9) / 10)
            return false;
        size = size * 10 + (s[i] - '0');
    }
    size_t bar2 = s.find('|', bar + 1);
    if (bar2 == std::string::npos || bar2 + 1 == s.size())
        return false;
    *out = Line{s[0] - '0', size, s.substr(bar + 1, bar2 - bar - 1), s.substr(bar2 + 1)};
    return true;
}

std::vector<Line> expected(const std::string& file)
{
    std::vector<Line> out;
    size_t start = 0;
    while (start < file.size()) {
        size_t lf = file.find('\n', start);
        size_t end = lf == std::string::npos ? file.size() : lf;
        std::string s = file.substr(start, end - start);
        Line l;
        if (s.size() <= VST_KINDS_LINE_MAX && s.find('\0') == std::string::npos && parse(s, &l))
            out.push_back(l);
        start = end + 1;
    }
    return out;
}

struct Picked {
    std::vector<uint8_t> kind;
    std::vector<std::string> label;
};

Picked read_into(AppState* app, const std::vector<std::pair<std::string, int64_t>>& entries)
{
    AppPicker& p = app->picker;
    p.count = (int32_t)entries.size();
    for (size_t i = 0; i < entries.size(); i++) {
        std::snprintf(p.entries[i].path, sizeof p.entries[i].path, "%s", entries[i].first.c_str());
        p.size[i] = entries[i].second;
        p.kind[i] = 0;
        std::strcpy(p.label[i], "-");
    }
    vst_kinds_read(app);
    Picked r;
    for (size_t i = 0; i < entries.size(); i++) {
        r.kind.push_back(p.kind[i]);
        r.label.emplace_back(p.label[i]);
    }
    return r;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static AppState* app = [] {
        AppState* a = (AppState*)std::calloc(1, sizeof(AppState));
        std::snprintf(a->data_folder, sizeof a->data_folder, "%s", fuzz_fresh_folder("data").c_str());
        return a;
    }();
    FuzzCursor c{data, size};
    uint8_t choice = c.u8();
    std::string file = c.bytes(c.size);
    fuzz_write_file("data/vst-kinds.txt", file.data(), file.size());
    std::vector<Line> lines = expected(file);

    // Entries: each distinct path of the file that fits an entry, with the size of one
    // of its lines (or one no line has), at most 16.
    std::vector<std::pair<std::string, int64_t>> entries;
    for (size_t i = 0; i < lines.size() && entries.size() < 16; i++) {
        const Line& l = lines[i];
        bool seen = false;
        for (auto& e : entries)
            seen = seen || e.first == l.path;
        if (seen || l.path.size() >= sizeof(VstPickerEntry::path) || l.path.find('\0') != std::string::npos)
            continue;
        entries.emplace_back(l.path, (choice + i) % 5 == 0 ? l.size + 1 : l.size);
    }
    Picked got = read_into(app, entries);
    for (size_t i = 0; i < entries.size(); i++) {
        uint8_t kind = 0;
        std::string label = "-";
        for (const Line& l : lines) {
            if (l.path != entries[i].first || l.size != entries[i].second)
                continue;
            kind = (uint8_t)(l.kind == VST_KIND_UNKNOWN ? (int)VST_KIND_FAILED : l.kind);
            char cut[40];
            rig_utf8_copy(cut, sizeof cut, l.label.c_str());
            label = cut;
        }
        FUZZ_CHECK(got.kind[i] == kind && got.label[i] == label);
    }

    std::string path = fuzz_scratch() + "/data/vst-kinds.txt";
    FUZZ_CHECK(vst_kinds_compact(path.c_str()));
    Picked compacted = read_into(app, entries);
    FUZZ_CHECK(compacted.kind == got.kind && compacted.label == got.label);

    if (!entries.empty()) {
        int32_t e = (int32_t)(choice % entries.size());
        std::string label = file.substr(0, choice % 48);
        FUZZ_CHECK(vst_kinds_append(app, e, choice % 4, label.c_str()) == (entries[(size_t)e].first.find('\n') == std::string::npos));
        Picked after = read_into(app, entries);
        char clean[VST_KINDS_LABEL_MAX + 1];
        rig_utf8_copy(clean, sizeof clean, label.c_str());
        for (char* p = clean; *p; p++)
            if (*p == '|' || *p == '\n' || *p == '\r')
                *p = ' ';
        FUZZ_CHECK(after.kind[(size_t)e] == (choice % 4 == 0 ? VST_KIND_FAILED : choice % 4));
        FUZZ_CHECK(after.label[(size_t)e] == clean);
    }
    return 0;
}
