// plat_trash.h - moving a file to the desktop's trash (the freedesktop Trash of the
// user's data folder), from which the file manager can restore it.
// Threads: any.
// Depends on: the OS file calls, $XDG_DATA_HOME or $HOME.
#pragma once

// Moves the file (or link) at path into $XDG_DATA_HOME/Trash (else
// ~/.local/share/Trash): the file under "files/" with a free name, its original path
// and time in "info/<name>.trashinfo". False when it cannot be moved there (no trash
// folder, another file system, no such file): the file then stays where it was.
// Nothing is ever deleted instead.
bool plat_trash_move(const char* path);
