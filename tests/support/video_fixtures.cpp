// video_fixtures.cpp - making the video fixtures once per build tree, reading strips.
#include "support/video_fixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

std::string video_fixture_dir(bool with_hd)
{
    std::string dir = std::string(TESSEL_SHOTS_DIR) + "/../video-fixtures";
    std::string cmd = std::string("\"") + TESSEL_SOURCE_ROOT + "/tests/app/make_video_fixtures.sh\" \"" + dir +
                      "\"" + (with_hd ? " --hd" : "") + " >/dev/null";
    if (std::system(cmd.c_str()) != 0)
        return std::string();
    return std::filesystem::canonical(dir).string();
}

int32_t video_strip_read(const VideoMeanAt& mean, double origin_x, double origin_y, double step_x, double step_y)
{
    int32_t n = 0;
    for (int i = 0; i < 16; i++) {
        double m = mean(origin_x + (i + 0.5) * step_x, origin_y + (i + 0.5) * step_y);
        if (m > 170.0)
            n |= 1 << i;
        else if (m > 85.0)
            return -1;
    }
    return n;
}

int32_t video_strip_read_frame(const uint8_t* bgr0, int32_t width, int32_t height)
{
    if (!bgr0 || width < 16 || height < 1)
        return -1;
    double c = std::floor(width / 16.0);
    auto mean = [&](double x, double y) {
        const uint8_t* p = bgr0 + ((size_t)y * width + (size_t)x) * 4;
        return (p[0] + p[1] + p[2]) / 3.0;
    };
    return video_strip_read(mean, 0.0, c / 2, c, 0.0);
}

int32_t video_strip_read_panel(const VideoMeanAt& screen_mean, int32_t fw, int32_t fh, int q)
{
    double w = q & 1 ? fh : fw, h = q & 1 ? fw : fh;
    double s = std::min(500.0 / w, 903.0 / h);
    double qx = 650 + (500 - s * w) / 2, qy = 56 + (903 - s * h) / 2;
    // A point of the frame (u, v in 0..1) lands at (X, Y) of the turned picture.
    auto mean = [&](double px, double py) {
        double u = px / fw, v = py / fh, X = u, Y = v;
        if (q == 1)
            X = 1 - v, Y = u;
        else if (q == 2)
            X = 1 - u, Y = 1 - v;
        else if (q == 3)
            X = v, Y = 1 - u;
        return screen_mean(std::floor(qx + X * s * w), std::floor(qy + Y * s * h));
    };
    double c = std::floor(fw / 16.0);
    return video_strip_read(mean, 0, c / 2, c, 0);
}
