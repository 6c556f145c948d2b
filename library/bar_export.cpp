// bar_export.cpp - a segment of the loaded take written as a 32-bit float WAV into the
// loops folder and dragged out of the window as a file.
#include <SDL.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "audio/preview.h"
#include "audio/wav_write.h"
#include "library/bar_export.h"
#include "library/library.h"
#include "platform/plat_dir.h"
#include "platform/plat_dragout.h"
#include "platform/plat_file.h"
#include "platform/plat_folders.h"

bool loops_folder_path(char* out, size_t cap)
{
    char music[512];
    if (!out || cap == 0)
        return false;
    out[0] = '\0';
    if (plat_music_folder(music, sizeof music) != PLAT_PATH_OK)
        return false;
    int n = snprintf(out, cap, "%s/TideCoil/Loops", music);
    if (n < 0 || (size_t)n >= cap) {
        out[0] = '\0';
        return false;
    }
    return true;
}

bool loops_folder(char* out, size_t cap)
{
    if (!loops_folder_path(out, cap))
        return false;
    if (!plat_dir_make(out)) {
        out[0] = '\0';
        return false;
    }
    return true;
}

// A cut of at most max bytes that ends on a whole UTF-8 character.
static size_t utf8_cut(const char* s, size_t max)
{
    size_t n = std::strlen(s);
    if (n <= max)
        return n;
    while (max > 0 && ((unsigned char)s[max] & 0xC0) == 0x80)
        max--;
    return max;
}

void bar_export_take_name(const char* item_name, char* out, size_t cap)
{
    if (!out || cap == 0)
        return;
    size_t n = utf8_cut(item_name ? item_name : "", std::min<size_t>(199, cap - 1));
    std::memcpy(out, item_name, n);
    out[n] = '\0';
    char* dot = std::strrchr(out, '.');
    if (dot && dot != out && std::strlen(dot) < 6)
        *dot = '\0';
    for (char* p = out; *p; p++)
        if ((unsigned char)*p < 0x20 || std::strchr("<>:\"/\\|?*", *p))
            *p = '_';
}

bool bar_export_file_name(const char* folder, const char* take, const LibrarySegment* seg, int32_t index,
                          int32_t copy, char* out, size_t cap)
{
    char label[32];
    if (seg->partial)
        snprintf(label, sizeof label, "%.1f beats", seg->length / (60.0 / seg->bpm));
    else
        snprintf(label, sizeof label, "%d bar%s", seg->bars_per_segment, seg->bars_per_segment == 1 ? "" : "s");
    char suffix[16] = "";
    if (copy > 1)
        snprintf(suffix, sizeof suffix, " (%d)", copy);
    int n;
    if (seg->partial)
        n = snprintf(out, cap, "%s/%s  end  %s  %.0f bpm%s.wav", folder, take, label, seg->bpm, suffix);
    else
        n = snprintf(out, cap, "%s/%s  bar %d  %s  %.0f bpm%s.wav", folder, take, index + 1, label, seg->bpm,
                     suffix);
    return n > 0 && (size_t)n < cap;
}

struct BarWrite {
    const float* data;
    int32_t channels;
    int64_t frames;
    double rate;
};

static bool bar_write(void* ctx, FILE* f)
{
    const BarWrite* w = (const BarWrite*)ctx;
    return wav_write_float_to(f, w->data, w->channels, w->frames, w->rate);
}

// Writes the segment under the first name no file holds yet: a second loop of the same
// name gets " (2)", " (3)" ... so an export never replaces another. The file is made
// under a temporary name and renamed into place only when whole and only while the
// name is still free, so a kill leaves no torn loop and a link planted meanwhile is
// neither followed nor replaced. path receives the name written.
static bool write_free_name(const char* folder, const char* take, const LibrarySegment* seg, int32_t index,
                            const BarWrite* w, char* path, size_t cap)
{
    for (int32_t copy = 1; copy < 1000; copy++) {
        if (!bar_export_file_name(folder, take, seg, index, copy, path, cap))
            return false;
        if (plat_path_exists(path))
            continue;
        int err = plat_file_write_via_temp(path, false, bar_write, (void*)w);
        if (err != EEXIST)
            return err == 0;
    }
    return false;
}

static SDL_Window* focused_window(void)
{
    SDL_Window* w = SDL_GetKeyboardFocus();
    return w ? w : SDL_GetMouseFocus();
}

void library_export_bar(Library* lib, int32_t index, double now)
{
    if (!lib)
        return;
    LibraryTake* t = &lib->take;
    t->segment_press = -1;
    const SampleBuffer* b = lib->player ? lib->player->current.load(std::memory_order_acquire) : nullptr;
    if (b != t->buffer)
        b = lib->player ? lib->player->pending.load(std::memory_order_acquire) : nullptr;
    LibrarySegment seg;
    if (!b || b != t->buffer || !library_segment(lib, index, &seg) || !seg.item)
        return;
    char folder[600];
    if (!loops_folder(folder, sizeof folder)) {
        library_take_status(lib, "NO LOOPS FOLDER", now);
        return;
    }
    int32_t channels = b->channels >= 2 ? 2 : 1;
    int64_t first = std::max<int64_t>(0, (int64_t)std::floor(b->sample_rate * seg.start));
    int64_t frames = (int64_t)std::floor(b->sample_rate * seg.length + 0.5);
    frames = std::min(frames, b->frames - first);
    if (frames < 1)
        return;
    float* data = (float*)std::malloc(sizeof(float) * (size_t)(frames * channels));
    if (!data)
        return;
    for (int64_t f = 0; f < frames; f++)
        for (int32_t c = 0; c < channels; c++)
            data[f * channels + c] = b->samples[(first + f) * b->channels + c] * lib->volume;
    char take[200], path[900];
    bar_export_take_name(seg.item->name, take, sizeof take);
    BarWrite w = {data, channels, frames, b->sample_rate};
    bool written = write_free_name(folder, take, &seg, index, &w, path, sizeof path);
    std::free(data);
    if (!written) {
        library_take_status(lib, "CAN'T WRITE THE LOOP", now);
        return;
    }
    const char* paths[1] = {path};
    int dropped = dragout_files(focused_window(), paths, 1);
    library_take_status(lib, dropped < 0 ? "CAN'T DRAG OUT" : "SAVED  Music/TideCoil/Loops", now);
}
