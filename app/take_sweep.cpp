// take_sweep.cpp - the takes folder's stale temporaries (see take_sweep.h).
#include "app/take_sweep.h"

#include <cerrno>
#include <cstring>

#include "app/take_names.h"
#include "audio/wav_read.h"
#include "platform/plat_file.h"
#include "platform/plat_file_stamp.h"
#include "platform/plat_named_lock.h"

static const char kExportPrefix[] = "tessel-loop-";
static const int kMaxSameName = 99;
// How long the sweep waits for a running copy to finish putting a take in place.
static const int kTakeLockWaitMs = 2000;

// The folder swept, and whether it is the loops folder: every file there is an export,
// and a second one of a name is "<name> (2).wav" rather than "<name>-2.wav".
struct SweepFolder {
    const char* path;
    bool loops;
    const char* lock_folder;   // where the takes' lock lies; null in the loops folder
};

TakeTempAction take_temp_action(const TakeTempFacts* t)
{
    if (!t || !t->whole)
        return TAKE_TEMP_REMOVE;
    return !t->is_export && t->locked && t->as_expected ? TAKE_TEMP_REPLACE : TAKE_TEMP_RENAME;
}

static uint32_t le32(const uint8_t* p)
{
    return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

bool take_temp_is_whole(FILE* f, int64_t size)
{
    uint8_t riff[12];
    if (!f || size < 12 || !plat_file_seek(f, 0, SEEK_SET) || fread(riff, 1, sizeof riff, f) != sizeof riff ||
        (int64_t)le32(riff + 4) + 8 != size || !plat_file_seek(f, 0, SEEK_SET))
        return false;
    WavFormat h;
    if (wav_read_header(f, &h, nullptr) != 0)
        return false;
    int64_t data_start = plat_file_tell(f);
    return data_start > 0 && data_start + (int64_t)h.data_declared == size;
}

// Puts an export in place under its own name, or the first "<base>-n.wav" (in the
// loops folder "<base> (n).wav") that nothing holds. The name it got goes to out; 0 or
// an errno.
static int rename_to_free_name(const SweepFolder* folder, const PlatStaleTemp* t, char* out, size_t cap)
{
    size_t base_len = strlen(t->final_name) - 4;   // without ".wav"
    int err = 0;
    for (int n = 1; n <= kMaxSameName; n++) {
        char path[1100];
        int len = n == 1          ? snprintf(out, cap, "%s", t->final_name)
                  : folder->loops ? snprintf(out, cap, "%.*s (%d).wav", (int)base_len, t->final_name, n)
                                  : snprintf(out, cap, "%.*s-%d.wav", (int)base_len, t->final_name, n);
        if (len < 0 || (size_t)len >= cap)
            return ENAMETOOLONG;
        len = snprintf(path, sizeof path, "%s/%s", folder->path, out);
        if (len < 0 || (size_t)len >= sizeof path)
            return ENAMETOOLONG;
        err = plat_file_rename_noreplace(t->path, path);
        if (err != EEXIST)
            return err;
    }
    return err;
}

static void settle_temp(void* ctx, const PlatStaleTemp* t)
{
    const SweepFolder* folder = (const SweepFolder*)ctx;
    size_t len = strlen(t->final_name);
    char final_path[1100], name[600];
    int n = snprintf(final_path, sizeof final_path, "%s/%s", folder->path, t->final_name);
    if (len < 5 || strcmp(t->final_name + len - 4, ".wav") != 0 || n < 0 || (size_t)n >= sizeof final_path)
        return;
    TakeTempFacts facts{take_temp_is_whole(t->f, t->size),
                        folder->loops || strncmp(t->final_name, kExportPrefix, sizeof kExportPrefix - 1) == 0,
                        false, false};
    // The file under the name is compared with the one the writer noted, and replaced,
    // under the lock every running copy takes to put a take in place.
    PlatNamedLock lock{-1};
    if (facts.whole && !facts.is_export && folder->lock_folder)
        facts.locked = plat_named_lock_take(folder->lock_folder, TAKE_LOCK_NAME, kTakeLockWaitMs, &lock, nullptr) ==
                       PLAT_LOCK_TAKEN;
    PlatFileStamp expected, now;
    if (facts.locked && plat_file_stamp_noted(t->f, &expected)) {
        plat_file_stamp(final_path, &now);
        facts.as_expected = plat_file_stamp_equal(&now, &expected);
    }
    snprintf(name, sizeof name, "%s", t->final_name);
    TakeTempAction action = take_temp_action(&facts);
    int err = 0;
    if (action == TAKE_TEMP_REMOVE)
        err = plat_file_remove_regular(t->path) ? 0 : errno;
    else if (action == TAKE_TEMP_REPLACE)
        err = plat_file_replace(t->path, final_path) ? 0 : errno;
    else
        err = rename_to_free_name(folder, t, name, sizeof name);
    plat_named_lock_release(&lock);
    if (err)
        fprintf(stderr, "tessel: kept %s: %s\n", t->name, strerror(err));
    else if (action == TAKE_TEMP_REMOVE)
        fprintf(stderr, "tessel: removed %s, no whole take\n", t->name);
    else if (action == TAKE_TEMP_RENAME && !facts.is_export && strcmp(name, t->final_name) != 0)
        fprintf(stderr, "tessel: put back %s as %s, whole from a write that never ended; %s may be another copy's\n",
                t->name, name, t->final_name);
    else
        fprintf(stderr, "tessel: put back %s as %s, whole from a write that never ended\n", t->name, name);
}

int take_sweep_temps(const char* folder, const char* lock_folder)
{
    SweepFolder f{folder, false, lock_folder && lock_folder[0] ? lock_folder : folder};
    return plat_file_stale_temps(folder, settle_temp, &f);
}

int take_sweep_loops(const char* folder)
{
    SweepFolder f{folder, true, nullptr};
    return plat_file_stale_temps(folder, settle_temp, &f);
}
