// plat_file.h - files for readers and writers: regular-file-only opening, checked
// writing with removal of a partial file, and replacement through a temporary name.
// Threads: any.
// Depends on: the OS file calls.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Opens path for binary reading only when it is a regular file: a FIFO, a device or a
// folder is refused without blocking. Close-on-exec. Null on any failure.
FILE* plat_file_open_read(const char* path);
bool plat_file_is_regular(const char* path);          // follows links
int64_t plat_file_size(FILE* f);                      // -1 when unknown
bool plat_file_seek(FILE* f, int64_t offset, int whence);   // whence: SEEK_SET / SEEK_CUR
int64_t plat_file_tell(FILE* f);                      // -1 on failure

// Opens path for appending in binary (made 0644 when absent, close-on-exec). Null when
// it cannot be opened or is not a regular file (a FIFO never blocks the caller).
FILE* plat_file_open_append(const char* path);

// Creates or truncates path for binary writing (close-on-exec); null on failure.
FILE* plat_file_create(const char* path);
// Creates path as a new file for binary writing, readable and writable by the owner
// only (0600), close-on-exec. Null when anything, even a link, already has the name:
// a link planted in a shared folder is never followed.
FILE* plat_file_create_new(const char* path);
// Flushes, syncs (regular files) and closes f; false when any step failed. Always
// closes; on failure removes path as plat_file_discard does (path may be null).
bool plat_file_finish(FILE* f, const char* path);
// Closes f after a failed write and removes path, but only when f was a regular file
// (a writer handed a device or a link to one must not delete it).
void plat_file_discard(FILE* f, const char* path);

// Replacement through a temporary file: write "<final>.tmp.<pid>", finish it, then
// rename it over the target, so readers see the old file or the whole new one.
bool plat_file_temp_path(const char* final_path, char* out, size_t out_size);
bool plat_file_replace(const char* temp_path, const char* final_path);
bool plat_file_remove_regular(const char* path);     // unlinks only a regular file
// The whole replacement: plat_file_write_via_temp (below) over path, with a private
// (0600) temporary. False, with no temporary file left and the old file whole, when
// any step fails.
bool plat_file_write_replacing(const char* path, bool (*write)(void* ctx, FILE* f), void* ctx);

// The whole replacement for big files: "<path>.tmp.<pid>" made anew (never through a
// link or onto a FIFO, 0644 before the umask) and locked (flock) until it is in
// place; filled by write (false: failed), synced, then renamed onto path: over an
// existing file with replace, else only while nothing has the name (EEXIST). 0, or an
// errno; on failure no temporary file is left. The temporary file's name is
// plat_file_temp_path's, so a caller can watch the write grow.
int plat_file_write_via_temp(const char* path, bool replace, bool (*write)(void* ctx, FILE* f), void* ctx);
// What a gate decides once the temporary is whole and synced.
enum PlatGateAnswer {
    PLAT_GATE_REPLACE = 0,     // over path
    PLAT_GATE_REFUSE = 1,      // kept out of place: ESTALE, no temporary left
    PLAT_GATE_ELSEWHERE = 2,   // under the path the gate wrote to elsewhere, replacing
                               // nothing; a name taken meanwhile asks the gate again
};
// The same, with gate asked last, once the temporary is whole and synced. What the
// gate begins (a lock taken to compare and move as one step) the caller ends after
// the return.
int plat_file_write_via_temp_gated(const char* path, bool (*write)(void* ctx, FILE* f),
                                   PlatGateAnswer (*gate)(void* ctx, char* elsewhere, size_t cap), void* ctx);
// A temporary "<final>.tmp.<pid>" that a writer which has ended left behind.
struct PlatStaleTemp {
    const char* name;          // the temporary's own name
    const char* final_name;    // the name it was to become
    const char* path;          // folder/name
    FILE* f;                   // open for reading at its first byte, closed after the visit
    int64_t size;              // bytes
    double mtime_ms;           // last write, milliseconds since 1970-01-01 UTC
};
// Hands visit each temporary "<final>.tmp.<pid>" in folder whose writer is no other
// running process: only regular files (opened without blocking, never through a
// link), each locked (flock) while visit runs, so no writer takes it up meanwhile.
// visit may read it and rename or remove it by its path. Other names, a plain
// "<final>.tmp" too, are never handed on, nor a number no process of ours can have
// had (0, a leading zero, past the system's highest process id). Returns how many were.
int plat_file_stale_temps(const char* folder, void (*visit)(void* ctx, const PlatStaleTemp* t), void* ctx);
// Test fake of the system's process-id ceiling: while path is set (not null), the
// temporaries' numbers are judged by the limit read from that file instead of
// /proc/sys/kernel/pid_max. The caller keeps the text until it lifts the fake (null).
void plat_file_fake_pid_max(const char* path);
// Removes, in folder, the stale temporaries (as plat_file_stale_temps finds them)
// whose final name own accepts. Returns how many went.
int plat_file_sweep_temps(const char* folder, bool (*own)(const char* final_name, void* ctx), void* ctx);

// True when something (a file, a folder, a link, even a dangling one) has this name.
bool plat_path_exists(const char* path);

// What a name refers to (links followed): its kind, size and last-write time.
struct PlatFileInfo {
    bool is_regular;
    bool is_dir;
    int64_t size;          // bytes
    double mtime_ms;       // last write, milliseconds since 1970-01-01 UTC
};
// False (out zeroed) when nothing can be examined under the name.
bool plat_file_info(const char* path, PlatFileInfo* out);

// Test fake of a full disk: from now on no file of this process may grow beyond
// bytes, and writes past that fail as they would on a full disk. A negative value
// lifts the limit. False when the limit cannot be set.
bool plat_file_fake_size_limit(int64_t bytes);

// ---- Replacing with reasons ----------------------------------------------------------

// Which step of a replacing write failed, with its errno.
enum PlatWriteStep {
    PLAT_WRITE_OK = 0,
    PLAT_WRITE_TEMP = 1,       // making, writing, syncing or closing the temporary file
    PLAT_WRITE_RENAME = 2,     // putting it in place
};
struct PlatWriteResult {
    int step;                  // PlatWriteStep
    int err;                   // errno of the failed step, 0 on success
};
// plat_file_write_replacing for a byte block, telling what failed: "<path>.tmp.<pid>"
// made anew, written, synced and closed; before_rename (may be null) then runs with
// the temporary path; then the rename. On any failure the temporary file is removed.
PlatWriteResult plat_file_write_bytes_replacing(const char* path, const void* data, size_t len,
                                                void (*before_rename)(void* ctx, const char* temp_path),
                                                void* ctx);
// Reads a whole regular file into a new NUL-terminated block (free with free()).
// 0, or an errno: ENOENT / ENOTDIR when missing, EFBIG when it is larger than max
// bytes (*len then holds its size), ENOMEM, or the failing call's errno.
int plat_file_read_whole(const char* path, size_t max, char** out, size_t* len);
// What tells one version of a file from another: device, inode, size and the last
// write time in nanoseconds. Equal identities denote the same unchanged file.
struct PlatFileIdentity {
    uint8_t valid;
    uint64_t device;
    uint64_t inode;
    uint64_t size;
    int64_t mtime_ns;
};
// 0 (out filled), or an errno (out invalid).
int plat_file_identity(const char* path, PlatFileIdentity* out);
bool plat_file_identity_equal(const PlatFileIdentity* a, const PlatFileIdentity* b);
// Renames without replacing: EEXIST when the new name is taken. Where the file system
// refuses the no-replace rename (EINVAL, ENOSYS, EOPNOTSUPP), a hard link to the new
// name and the removal of the old one do the same; where links are refused as well,
// the new name is reserved by making it anew (EEXIST when taken) and the file renamed
// over that reservation, which goes again when the rename fails. 0 or an errno (the
// failing step's; on failure nothing is left under the new name).
int plat_file_rename_noreplace(const char* from, const char* to);

// Test fakes: while set (not 0), replacing writes fail at their temporary file with
// this errno (the temporary file is made and removed again), and whole reads fail with
// the read errno. 0 lifts each.
void plat_file_fake_write_errno(int err);
void plat_file_fake_read_errno(int err);
// Test fake of a file system without no-replace renames: while rename_err is set (not
// 0), the no-replace rename is refused with it, while link_err is set, the hard link
// that stands in for it is refused with that, and while reserved_err is set, the rename
// over a reservation fails with that once the reservation is made. 0 lifts each.
void plat_file_fake_rename_refusals(int rename_err, int link_err, int reserved_err = 0);
