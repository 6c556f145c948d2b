// click_tracks.cpp - the click tracks of click_tracks.h.
#include "support/click_tracks.h"

#include <cstdio>
#include <cstdlib>

static bool sox(const std::string& folder, const std::string& args)
{
    return std::system(("cd '" + folder + "' && sox " + args + " 2>/dev/null").c_str()) == 0;
}

std::string click_track_c120(const std::string& folder)
{
    bool ok = sox(folder, "-n -r 48000 -c 2 -b 16 c120.wav synth 0.02 sine 1000 vol 0.5 fade 0 0.02 0.015 "
                          "pad 0 0.48 repeat 39");
    return ok ? folder + "/c120.wav" : "";
}

std::string click_track_c97(const std::string& folder)
{
    char pad[32];
    snprintf(pad, sizeof pad, "%.6f", CLICK_BEAT_97 - 0.02);
    std::string p = pad;
    bool ok = sox(folder, "-n -r 48000 -c 2 -b 16 lo.wav synth 0.02 sine 1000 vol 0.5 fade 0 0.02 0.015 pad 0 " + p) &&
              sox(folder, "-n -r 48000 -c 2 -b 16 hi.wav synth 0.02 sine 1500 vol 0.7 fade 0 0.02 0.015 pad 0 " + p) &&
              sox(folder, "-n -r 48000 -c 2 -b 16 sil.wav trim 0 0.30");
    std::string parts = "sil.wav lo.wav lo.wav";
    for (int i = 0; i < 8; i++)
        parts += " hi.wav lo.wav lo.wav lo.wav";
    ok = ok && sox(folder, parts + " c97.wav");
    return ok ? folder + "/c97.wav" : "";
}
