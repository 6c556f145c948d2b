// video_fixtures.cpp - making the video fixtures once per build tree, reading strips.
#include "support/video_fixtures.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "app/app_state.h"
#include "app/video_player.h"

std::string video_fixture_dir()
{
    std::string dir = std::string(TESSEL_SHOTS_DIR) + "/../video-fixtures";
    std::string cmd = std::string(TESSEL_SOURCE_ROOT) + "/tests/app/make_video_fixtures.sh '" + dir + "' >/dev/null";
    return std::system(cmd.c_str()) == 0 ? std::filesystem::canonical(dir).string() : std::string();
}

int32_t video_strip_read(const VideoMeanAt& mean, int32_t fw)
{
    double c = std::floor(fw / 16.0);
    int32_t n = 0;
    for (int i = 0; i < 16; i++) {
        double m = mean((i + 0.5) * c, c / 2);
        if (m > 85.0 && m <= 170.0)
            return -1;
        n |= (m > 170.0) << i;
    }
    return n;
}

int32_t video_strip_read_frame(const uint8_t* bgr0, int32_t width, int32_t height)
{
    if (!bgr0 || width < 16 || height < width / 16)
        return -1;
    return video_strip_read([&](double x, double y) {
        const uint8_t* p = bgr0 + ((size_t)y * width + (size_t)x) * 4;
        return (p[0] + p[1] + p[2]) / 3.0;
    }, width);
}

int32_t video_strip_read_panel(const VideoMeanAt& screen_mean, int32_t fw, int32_t fh, int q)
{
    double w = q & 1 ? fh : fw, h = q & 1 ? fw : fh;
    double s = std::min(500.0 / w, 903.0 / h);
    double qx = 650 + (500 - s * w) / 2, qy = 56 + (903 - s * h) / 2;
    // A frame point (u, v of 0..1) lands at (X, Y) of the turned picture.
    return video_strip_read([&](double px, double py) {
        double u = px / fw, v = py / fh;
        double X = q == 0 ? u : q == 1 ? 1 - v : q == 2 ? 1 - u : v;
        double Y = q == 0 ? v : q == 1 ? u : q == 2 ? 1 - v : 1 - u;
        return screen_mean(std::floor(qx + X * s * w), std::floor(qy + Y * s * h));
    }, fw);
}

bool video_panel_wait_served(const AppState* app, const std::function<void()>& frame, std::string* why)
{
    double target = -1.0, shown = -1.0;
    uint32_t serial = 0, first = 0;
    bool delivered = false;
    for (Uint64 until = SDL_GetTicks64() + 60000;; SDL_Delay(2)) {
        bool failed = video_player_state(app->video_player) == VIDEO_FAILED;
        frame();   // a failure is drawn before the wait ends
        if (failed) {
            *why = "the player failed";
            return false;
        }
        // The first frame delivered for the shown time; any later one is for it too,
        // until the shown time moves (as it does once the player is ready).
        bool served = video_player_served(app->video_player, &target, &serial);
        if (delivered && shown != app->video_shown_time)
            delivered = false;
        if (!delivered && served && app->video_ready && target == app->video_shown_time) {
            delivered = true;
            first = serial;
            shown = target;
        }
        if (delivered && app->video_ready && app->video_texture_fresh && (int32_t)(app->video_texture_serial - first) >= 0)
            return true;
        if (SDL_GetTicks64() >= until) {
            *why = "no picture for " + std::to_string(app->video_shown_time) + " s within a minute (" +
                   (delivered ? "its frame " + std::to_string(first) + " was delivered"
                              : "the player last delivered " +
                                    (served ? "frame " + std::to_string(serial) + " for " + std::to_string(target) + " s"
                                            : std::string("nothing"))) +
                   "; the texture holds frame " + std::to_string(app->video_texture_serial) + ")";
            return false;
        }
    }
}
