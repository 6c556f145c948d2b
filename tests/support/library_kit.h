// library_kit.h - a scratch folder for tests that make a Library: small generated WAV
// files and the data folder (APPDATA) pointed inside it, so marks and bars never touch
// the user's own; and a frame pump that waits for the reader.
// Threads: the test's own thread.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "audio/preview.h"

struct Library;

class LibraryKit {
public:
    LibraryKit();                     // makes the folder, points APPDATA at <folder>/data
    ~LibraryKit();                    // removes everything, restores APPDATA
    LibraryKit(const LibraryKit&) = delete;
    LibraryKit& operator=(const LibraryKit&) = delete;

    const std::string& dir() const { return dir_; }
    std::string path(const std::string& name) const { return dir_ + "/" + name; }
    std::string data_dir() const { return dir_ + "/data/TideCoil"; }
    // A float WAV of frames x channels: a sine of the given peak, or the caller's samples.
    std::string wav(const std::string& name, int frames, int channels = 2, double rate = 48000.0,
                    float peak = 0.5f) const;
    std::string wav_samples(const std::string& name, const std::vector<float>& interleaved, int channels,
                            double rate = 48000.0) const;
    std::string text(const std::string& name, const std::string& content) const;   // any bytes

private:
    std::string dir_;
    std::string old_appdata_;
    bool had_appdata_ = false;
};

// A library with a preview player attached (nothing renders the player). Made after
// a LibraryKit, so its marks live in the kit's folder; frees the library, then every
// buffer the player holds.
struct LibraryWithPlayer {
    Library* lib;
    PreviewPlayer player;
    LibraryWithPlayer();
    ~LibraryWithPlayer();
    LibraryWithPlayer(const LibraryWithPlayer&) = delete;
    LibraryWithPlayer& operator=(const LibraryWithPlayer&) = delete;
};

// Runs library_update at 60 frames a second of a simulated clock, sleeping 2 ms of real
// time between frames, until done() or timeout_s of real time; returns done().
bool library_kit_pump(Library* lib, const std::function<bool()>& done, double timeout_s = 20.0);
