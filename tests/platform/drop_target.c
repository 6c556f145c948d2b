/* drop_target.c - an SDL2 window that prints each file dropped on it ("drop PATH").
 * Usage: drop_target X Y (its top-left corner). */
#include <SDL.h>
#include <stdio.h>
#include <stdlib.h>

int main(int argc, char** argv)
{
    if (argc < 3 || SDL_Init(SDL_INIT_VIDEO) != 0)
        return 2;
    SDL_Window* w = SDL_CreateWindow("drop target", atoi(argv[1]), atoi(argv[2]), 300, 300, 0);
    if (!w)
        return 2;
    SDL_EventState(SDL_DROPFILE, SDL_ENABLE);
    printf("ready\n");
    fflush(stdout);
    SDL_Event e;
    while (SDL_WaitEvent(&e) && e.type != SDL_QUIT) {
        if (e.type == SDL_DROPFILE) {
            printf("drop %s\n", e.drop.file);
            fflush(stdout);
            SDL_free(e.drop.file);
        }
    }
    SDL_Quit();
    return 0;
}
