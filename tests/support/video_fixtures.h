// video_fixtures.h - the video files the video tests play (made by
// tests/app/make_video_fixtures.sh into the build tree) and the reading of the frame
// number each frame carries in its top strip of 16 luma cells.
// Threads: any.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// The folder of the fixtures, made on first use; empty when they cannot be made
// (no ffmpeg). with_hd also makes the 1080p file.
std::string video_fixture_dir(bool with_hd = false);
// A pixel's mean of R, G, B at a position of the picture (x right, y down).
using VideoMeanAt = std::function<double(double x, double y)>;
// The frame number read from a strip whose bit i is centred at origin + (i + 0.5) x
// step_per_bit (both in the picture's positions); -1 when a cell is neither clearly
// dark nor clearly light.
int32_t video_strip_read(const VideoMeanAt& mean, double origin_x, double origin_y, double step_x,
                         double step_y);
// The same from a BGR0 frame of the player (cells C = width / 16 square on top).
int32_t video_strip_read_frame(const uint8_t* bgr0, int32_t width, int32_t height);
// The strip of a fw x fh frame as the video panel shows it on a screen of one unit per
// pixel: turned q quarter turns clockwise and fitted into the picture area (650, 56,
// 500, 903). screen_mean gives the mean of R, G, B at a screen position.
int32_t video_strip_read_panel(const VideoMeanAt& screen_mean, int32_t fw, int32_t fh, int q);
