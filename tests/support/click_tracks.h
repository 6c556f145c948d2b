// click_tracks.h - click tracks made by sox for the beat grid's tests: c120, a 20 ms
// 1 kHz click every 0.5 s from 0 for 20 s; c97, 0.30 s of silence, two clicks, then
// eight bars whose first click is a louder 1.5 kHz one, 29,691 frames a beat (48 kHz).
// Threads: the test's own thread. Needs sox on PATH.
#pragma once
#include <string>

constexpr double CLICK_BEAT_97 = 29691.0 / 48000.0;

// Each writes its file into folder and returns its path; "" when sox failed.
std::string click_track_c120(const std::string& folder);
std::string click_track_c97(const std::string& folder);
