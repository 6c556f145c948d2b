// bmp_probe FILE [X Y ...] - prints a BMP picture's size, then the colour of each
// given pixel as "R G B", one line each. Exit 1 when the file is not a BMP picture.
// bmp_probe FILE --count R G B TOL X Y W H - prints the size, then how many pixels of
// the rectangle (cut to the picture) are within TOL of the colour in every channel.
// The whole-program tests look at the program's screenshots with it.
#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <string>

static Uint32 pixel_at(const SDL_Surface* s, int x, int y)
{
    return ((const Uint32*)((const Uint8*)s->pixels + y * s->pitch))[x];
}

static int count_colour(const SDL_Surface* s, char** a)
{
    int r = atoi(a[0]), g = atoi(a[1]), b = atoi(a[2]), tol = atoi(a[3]);
    int x0 = atoi(a[4]), y0 = atoi(a[5]), x1 = x0 + atoi(a[6]), y1 = y0 + atoi(a[7]);
    int n = 0;
    for (int y = y0 < 0 ? 0 : y0; y < y1 && y < s->h; y++)
        for (int x = x0 < 0 ? 0 : x0; x < x1 && x < s->w; x++) {
            Uint32 p = pixel_at(s, x, y);
            if (abs((int)(p >> 16 & 0xFF) - r) <= tol && abs((int)(p >> 8 & 0xFF) - g) <= tol &&
                abs((int)(p & 0xFF) - b) <= tol)
                n++;
        }
    return n;
}

int main(int argc, char** argv)
{
    bool count = argc >= 3 && std::string(argv[2]) == "--count";
    if (count ? argc != 11 : argc < 2 || argc % 2 != 0) {
        fprintf(stderr, "usage: bmp_probe FILE [X Y ...] | FILE --count R G B TOL X Y W H\n");
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
    if (count) {
        printf("%d\n", count_colour(s, argv + 3));
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
        Uint32 p = pixel_at(s, x, y);
        printf("%u %u %u\n", (unsigned)(p >> 16 & 0xFF), (unsigned)(p >> 8 & 0xFF), (unsigned)(p & 0xFF));
    }
    SDL_FreeSurface(s);
    return status;
}
