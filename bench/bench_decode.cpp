// decode_bench - decoding 5 minutes of stereo MP3 and FLAC into a SampleBuffer, timed
// beside the ffmpeg command-line tool decoding the same file to nowhere. Prints one
// line per file: decode FILE ours=SECONDS ffmpeg=SECONDS ratio=R (medians of 5 runs).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "audio/audiofile.h"
#include "audio/sample_buffer.h"

static const int kRuns = 5;

static double seconds_since(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

static double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

static int run(const std::string& cmd)
{
    return std::system((cmd + " >/dev/null 2>&1").c_str());
}

int main()
{
    std::random_device rd;
    std::string dir = (std::filesystem::temp_directory_path() / ("tessel-bench-" + std::to_string(rd()))).string();
    std::filesystem::create_directories(dir);
    // Two independent pink noises, 5 minutes at 48 kHz.
    const std::string noise =
        "ffmpeg -v error -y -filter_complex "
        "'anoisesrc=c=pink:r=48000:a=0.3:s=1[a];anoisesrc=c=pink:r=48000:a=0.3:s=2[b];"
        "[a][b]amerge=inputs=2' -t 300 ";
    struct File { const char* name; const char* codec; } files[] = {
        {"noise.mp3", "-c:a libmp3lame -b:a 192k"}, {"noise.flac", "-c:a flac"}};
    int status = 0;
    for (const File& f : files) {
        std::string path = dir + "/" + f.name;
        if (run(noise + f.codec + " " + path) != 0) {
            fprintf(stderr, "decode_bench: cannot make %s\n", f.name);
            status = 1;
            continue;
        }
        std::vector<double> ours, theirs;
        int64_t frames = 0;
        for (int i = 0; i < kRuns; i++) {
            SampleBuffer b;
            char err[64];
            auto t0 = std::chrono::steady_clock::now();
            int r = audiofile_load_into(path.c_str(), &b, nullptr, err, sizeof err);
            ours.push_back(seconds_since(t0));
            frames = b.frames;
            sample_buffer_free(&b);
            if (r != 0) {
                fprintf(stderr, "decode_bench: %s: %s\n", f.name, err);
                status = 1;
                break;
            }
            t0 = std::chrono::steady_clock::now();
            run("ffmpeg -v error -i " + path + " -f f32le -y /dev/null");
            theirs.push_back(seconds_since(t0));
        }
        if (ours.size() != (size_t)kRuns)
            continue;
        double a = median(ours), b = median(theirs);
        printf("decode %s ours=%.3f ffmpeg=%.3f ratio=%.2f\n", f.name, a, b, a / b);
        fflush(stdout);
        if (frames < 300 * 48000)
            status = 1;
    }
    std::filesystem::remove_all(dir);
    return status;
}
