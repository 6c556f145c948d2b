// theme.cpp - the palette table, fixed at compile time.
#include "ui/theme.h"

#include <cstdint>
#include <cstring>

static constexpr uint8_t THEME_RGB[THEME_COLOURS][3] = {
    {12, 12, 13},    {24, 24, 26},    {190, 193, 198}, {226, 229, 233},
    {246, 247, 249}, {62, 63, 66},    {122, 124, 128}, {242, 242, 242},
    {235, 235, 235}, {235, 66, 77},   {242, 122, 31},  {92, 158, 235},
};

static constexpr ThemePalette theme_build(void)
{
    ThemePalette p{};
    for (int i = 0; i < THEME_COLOURS; ++i) {
        for (int c = 0; c < 3; ++c)
            p.colours[i][c] = THEME_RGB[i][c] / 255.0f;
        p.colours[i][3] = 1;
    }
    return p;
}

static constexpr ThemePalette THEME = theme_build();

const ThemePalette* theme_palette(void)
{
    return &THEME;
}

void theme_colours(float (*out)[4], const int* slots, int count)
{
    for (int i = 0; i < count; ++i)
        std::memcpy(out[i], THEME.colours[slots[i]], sizeof out[i]);
}
