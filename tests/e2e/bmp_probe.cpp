// bmp_probe FILE [X Y ...] - prints a BMP picture's size, then the colour of each
// given pixel as "R G B", one line each. Exit 1 when the file is not a BMP picture.
// bmp_probe FILE count X Y W H R G B TOL - prints the size, then how many pixels of
// the rectangle lie within TOL (per channel) of the colour R G B.
// The whole-program tests look at the program's screenshots with it.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

// Pixels of the rectangle (clipped to the picture) close to the colour.
static long count_near(const SDL_Surface* s, char** a)
{
    int x0 = atoi(a[0]), y0 = atoi(a[1]), w = atoi(a[2]), h = atoi(a[3]);
    int r = atoi(a[4]), g = atoi(a[5]), b = atoi(a[6]), tol = atoi(a[7]);
    long n = 0;
    for (int y = y0 < 0 ? 0 : y0; y < y0 + h && y < s->h; y++)
        for (int x = x0 < 0 ? 0 : x0; x < x0 + w && x < s->w; x++) {
            Uint32 p = ((const Uint32*)((const Uint8*)s->pixels + y * s->pitch))[x];
            int dr = (int)(p >> 16 & 0xFF) - r, dg = (int)(p >> 8 & 0xFF) - g, db = (int)(p & 0xFF) - b;
            n += abs(dr) <= tol && abs(dg) <= tol && abs(db) <= tol;
        }
    return n;
}

int main(int argc, char** argv)
{
    bool counting = argc == 11 && !strcmp(argv[2], "count");
    if (argc < 2 || (argc % 2 != 0 && !counting)) {
        fprintf(stderr, "usage: bmp_probe FILE [X Y ...] | FILE count X Y W H R G B TOL\n");
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
    if (counting) {
        printf("%ld\n", count_near(s, argv + 3));
        SDL_FreeSurface(s);
        return 0;
    }
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
