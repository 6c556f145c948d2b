// screenshot.h - the renderer's current picture as a BMP file, read back before the
// frame is presented and written through a private temporary file that is renamed
// over the target, so a link planted at the target's name is replaced, not followed.
// Threads: UI thread only (the renderer's thread).
// Depends on: SDL2 renderer and BMP writer, platform/plat_file.h.
#pragma once

struct SDL_Renderer;

// Saves the renderer's output (its full output size, 32-bit) to path and prints
// "screenshot: <path>" on standard error; on failure prints "screenshot: can't write
// <path>" and leaves no temporary file. False when nothing was written.
bool screenshot_save(SDL_Renderer* renderer, const char* path);

// Whether a screenshot was asked for through the request file: true when it is a
// regular file (not a link) and could be deleted.
bool screenshot_take_request(const char* request_path);
