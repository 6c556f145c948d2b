// plat_folders.h - the folders the program settles at start-up on Linux: its own
// folder, the base of the per-user data folder, the XDG music folder, the home folder
// and the temporary folder. Each answer says whether it fits the caller's buffer.
// Threads: any (reads the environment and one small file; sets nothing).
// Depends on: the OS (readlink of /proc/self/exe, the environment), plat_file.h.
#pragma once
#include <cstddef>

enum PlatPathResult {
    PLAT_PATH_OK = 0,
    PLAT_PATH_NONE,        // cannot be formed: what it is made from is missing
    PLAT_PATH_TOO_LONG,    // does not fit the caller's buffer
};

// On anything but PLAT_PATH_OK the output is the empty string.

// The folder of the running program (of /proc/self/exe), without a trailing slash.
PlatPathResult plat_program_folder(char* out, size_t cap);
// The folder the data folder goes in: APPDATA when set and not empty, else
// XDG_CONFIG_HOME when it is an absolute path, else "$HOME/.config".
PlatPathResult plat_config_folder(char* out, size_t cap);
// The XDG music folder: XDG_MUSIC_DIR of "user-dirs.dirs" in the configuration folder
// ("$HOME" expanded), else "$HOME/Music".
PlatPathResult plat_music_folder(char* out, size_t cap);
// Any XDG user folder by its key ("DESKTOP", "DOCUMENTS", "DOWNLOAD", "MUSIC"), else
// "$HOME/<fallback>".
PlatPathResult plat_user_folder(const char* key, const char* fallback, char* out, size_t cap);
// HOME when it is set and an absolute path.
PlatPathResult plat_home_folder(char* out, size_t cap);
// TMPDIR when set and not empty, else "/tmp".
PlatPathResult plat_temp_folder(char* out, size_t cap);
