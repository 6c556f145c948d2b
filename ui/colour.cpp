// colour.cpp - relative luminance by the sRGB transfer curve.
#include "ui/colour.h"

#include <cmath>

static float linear(float c)
{
    c = c < 0.0f ? 0.0f : c > 1.0f ? 1.0f : c;
    return c <= 0.04045f ? c / 12.92f : std::pow((c + 0.055f) / 1.055f, 2.4f);
}

float colour_luminance(const float* rgb)
{
    return 0.2126f * linear(rgb[0]) + 0.7152f * linear(rgb[1]) + 0.0722f * linear(rgb[2]);
}

float colour_contrast(const float* a, const float* b)
{
    float la = colour_luminance(a), lb = colour_luminance(b);
    float hi = la > lb ? la : lb, lo = la > lb ? lb : la;
    return (hi + 0.05f) / (lo + 0.05f);
}
