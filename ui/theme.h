// theme.h - the twelve fixed colours every widget and panel derives its colours from.
// Threads: any (constant data).
// Depends on: nothing.
#pragma once

enum ThemeSlot {
    THEME_BACKGROUND = 0,   // background; text on a selected pill
    THEME_SURFACE,          // pill idle fill, list-button background, label-chip fill
    THEME_SECONDARY,        // selected pill fill, label-chip text, plain list-button accent
    THEME_LIGHT_GREY,       // inputs panel
    THEME_NEAR_WHITE,
    THEME_DARK_GREY,        // folder tree, favourites
    THEME_TERTIARY,         // list-button separator and value text
    THEME_PRIMARY,          // pill text, list-button caption
    THEME_LIGHT,            // folder tree, favourites
    THEME_RED,              // accented list buttons
    THEME_ORANGE,           // keyboard, inputs panel
    THEME_BLUE,             // library
    THEME_COLOURS
};

struct ThemePalette {
    float colours[THEME_COLOURS][4];   // RGBA 0..1, alpha 1
};

const ThemePalette* theme_palette(void);
// out[i] = the colour of slots[i] (a ThemeSlot) for each i below count.
void theme_colours(float (*out)[4], const int* slots, int count);
