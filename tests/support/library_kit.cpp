// library_kit.cpp - scratch folders, generated WAV files and the frame pump.
#include "support/library_kit.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <thread>

#include "audio/sample_buffer.h"
#include "audio/wav_write.h"
#include "library/library.h"

LibraryKit::LibraryKit()
{
    std::random_device rd;
    auto base = std::filesystem::temp_directory_path();
    dir_ = (base / ("tessel-library-" + std::to_string(rd()) + std::to_string(rd()))).string();
    std::filesystem::create_directories(dir_);
    if (const char* old = std::getenv("APPDATA")) {
        had_appdata_ = true;
        old_appdata_ = old;
    }
    setenv("APPDATA", (dir_ + "/data").c_str(), 1);
}

LibraryKit::~LibraryKit()
{
    if (had_appdata_)
        setenv("APPDATA", old_appdata_.c_str(), 1);
    else
        unsetenv("APPDATA");
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

std::string LibraryKit::wav(const std::string& name, int frames, int channels, double rate, float peak) const
{
    std::vector<float> s((size_t)frames * (size_t)channels);
    for (int f = 0; f < frames; f++)
        for (int c = 0; c < channels; c++)
            s[(size_t)f * channels + c] = peak * (float)std::sin(2.0 * M_PI * 440.0 * f / rate);
    return wav_samples(name, s, channels, rate);
}

std::string LibraryKit::wav_samples(const std::string& name, const std::vector<float>& interleaved, int channels,
                                    double rate) const
{
    std::string p = path(name);
    int64_t frames = channels > 0 ? (int64_t)interleaved.size() / channels : 0;
    if (!wav_write_float(p.c_str(), interleaved.data(), channels, frames, rate))
        return "";
    return p;
}

std::string LibraryKit::text(const std::string& name, const std::string& content) const
{
    std::string p = path(name);
    FILE* f = std::fopen(p.c_str(), "wb");
    if (!f)
        return "";
    std::fwrite(content.data(), 1, content.size(), f);
    std::fclose(f);
    return p;
}

LibraryWithPlayer::LibraryWithPlayer()
{
    preview_init(&player);
    lib = library_create();
    library_set_player(lib, &player);
}

LibraryWithPlayer::~LibraryWithPlayer()
{
    library_destroy(lib);
    SampleBuffer* current = nullptr;
    SampleBuffer* retired = nullptr;
    preview_detach_buffers(&player, &current, &retired);
    sample_buffer_destroy(current);
    sample_buffer_destroy(retired);
}

bool library_kit_pump(Library* lib, const std::function<bool()>& done, double timeout_s)
{
    auto start = std::chrono::steady_clock::now();
    static double now = 1.0;
    while (!done()) {
        if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() > timeout_s)
            return false;
        now += 1.0 / 60.0;
        library_update(lib, now, 1.0f / 60.0f);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}
