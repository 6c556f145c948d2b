// video_fixtures.h - the video files the video tests play (made once per build tree by
// tests/app/make_video_fixtures.sh), the frame number each frame carries in a strip of
// 16 luma cells across its top (cell side C = width / 16, bit 0 leftmost), and the wait
// for the panel's picture to be the player's answer.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// The fixtures' folder; empty when they cannot be made (no ffmpeg).
std::string video_fixture_dir();
// The mean of R, G, B at a point given in the frame's own pixels.
using VideoMeanAt = std::function<double(double x, double y)>;
// The number in a fw-wide frame's strip; -1 when a cell is neither dark nor light.
int32_t video_strip_read(const VideoMeanAt& mean, int32_t fw);
int32_t video_strip_read_frame(const uint8_t* bgr0, int32_t width, int32_t height);
// The same read from a screen of one unit per pixel where the video panel shows the
// frame turned q quarter turns clockwise and fitted into its picture area.
int32_t video_strip_read_panel(const VideoMeanAt& screen_mean, int32_t fw, int32_t fh, int q);

struct AppState;
// Calls frame() (which draws the video panel) until the player has delivered the frame
// for the shown time and the texture holds it, a minute at most. False, with why, when
// that does not come or the player fails.
bool video_panel_wait_served(const AppState* app, const std::function<void()>& frame, std::string* why);
