// colour.h - colour arithmetic on RGBA floats: relative luminance and contrast.
// Threads: any (plain functions).
// Depends on: nothing.
#pragma once

// Relative luminance of an RGB colour (channels clamped to 0..1 and linearised).
float colour_luminance(const float* rgb);
// (L_light + 0.05) / (L_dark + 0.05).
float colour_contrast(const float* a, const float* b);
