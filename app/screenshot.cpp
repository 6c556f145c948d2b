// screenshot.cpp - pixels read back into a surface, written as BMP to a new private
// temporary file and renamed over the target.
#include "app/screenshot.h"

#include <SDL.h>

#include <cstdio>

#include "platform/plat_file.h"

static bool screenshot_write_bmp(void* ctx, FILE* f)
{
    SDL_RWops* rw = SDL_RWFromFP(f, SDL_FALSE);
    return rw && SDL_SaveBMP_RW((SDL_Surface*)ctx, rw, 1) == 0;   // frees rw, leaves f open
}

// Writes the surface through a new private temporary file; false (temporary file
// removed) when any step fails.
static bool screenshot_write(SDL_Surface* s, const char* path)
{
    return plat_file_write_replacing(path, screenshot_write_bmp, s);
}

bool screenshot_save(SDL_Renderer* renderer, const char* path)
{
    if (!renderer || !path || !path[0])
        return false;
    int w = 0, h = 0;
    if (SDL_GetRendererOutputSize(renderer, &w, &h) != 0 || w < 1 || h < 1)
        return false;
    SDL_Surface* s = SDL_CreateRGBSurface(0, w, h, 32, 0x00FF0000u, 0x0000FF00u, 0x000000FFu, 0xFF000000u);
    if (!s)
        return false;
    // Read in the surface's own format, so the colours land in the right channels.
    bool ok = SDL_RenderReadPixels(renderer, nullptr, s->format->format, s->pixels, s->pitch) == 0 &&
              screenshot_write(s, path);
    SDL_FreeSurface(s);
    if (ok)
        fprintf(stderr, "screenshot: %s\n", path);
    else
        fprintf(stderr, "screenshot: can't write %s\n", path);
    return ok;
}

bool screenshot_take_request(const char* request_path)
{
    // Only a regular file counts, and only one that could be deleted: a request that
    // stayed would ask again every 16th frame.
    return plat_file_remove_regular(request_path);
}
