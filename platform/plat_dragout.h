// plat_dragout.h - files dragged out of the program's window into another program or
// a folder: an XDND source on X11 carrying a text/uri-list of the files. The call is
// modal: it returns when the files were dropped or the drag was cancelled (the audio
// goes on meanwhile).
// Threads: UI thread only (the thread that runs SDL's events).
// Depends on: SDL2 (the window's X11 display and window), Xlib.
#pragma once
#include <cstddef>

struct SDL_Window;

// 1 dropped (the target reported success), 0 cancelled, refused, dropped on nothing
// or no drag source here (another video driver, no X display), -1 failure (no paths,
// a grab refused, no answer from the target within 10 s).
int dragout_files(SDL_Window* window, const char* const* paths, int count);

// The drag in the export's tests is replaced by a fake answering like dragout_files.
typedef int (*DragoutFn)(SDL_Window* window, const char* const* paths, int count);
void dragout_set_override(DragoutFn fn);     // null: the real drag

// "file://" + path percent-encoded (every byte but unreserved ones and '/') + CRLF per
// path, into out; false when it does not fit.
bool dragout_uri_list(const char* const* paths, int count, char* out, size_t cap);
