// bmp_probe FILE [X Y ...] - prints a BMP picture's size, then the colour of each
// given pixel as "R G B", one line each. Exit 1 when the file is not a BMP picture.
// The whole-program tests look at the program's screenshots with it.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2 || argc % 2 != 0) {
        fprintf(stderr, "usage: bmp_probe FILE [X Y ...]\n");
        return 2;
    }
    SDL_Surface* loaded = SDL_LoadBMP(argv[1]);
    if (!loaded) {
        fprintf(stderr, "bmp_probe: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Surface* s = SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_ARGB8888, 0);
    SDL_FreeSurface(loaded);
    if (!s) {
        fprintf(stderr, "bmp_probe: %s\n", SDL_GetError());
        return 1;
    }
    printf("%d %d\n", s->w, s->h);
    int status = 0;
    for (int i = 2; i + 1 < argc; i += 2) {
        int x = atoi(argv[i]), y = atoi(argv[i + 1]);
        if (x < 0 || y < 0 || x >= s->w || y >= s->h) {
            fprintf(stderr, "bmp_probe: %d,%d lies outside the picture\n", x, y);
            status = 1;
            continue;
        }
        Uint32 p = ((const Uint32*)((const Uint8*)s->pixels + y * s->pitch))[x];
        printf("%u %u %u\n", (unsigned)(p >> 16 & 0xFF), (unsigned)(p >> 8 & 0xFF), (unsigned)(p & 0xFF));
    }
    SDL_FreeSurface(s);
    return status;
}
