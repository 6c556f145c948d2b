// wav_capture.h - reads a capture (jack_rec's output, an export) into de-interleaved
// floats through the program's own WAV reader.
#pragma once
#include <string>
#include <vector>

// Reads a WAV file; false when it cannot be read. channels gets its channel count and
// samples its interleaved samples.
bool wav_capture_read(const std::string& path, int* channels, std::vector<float>* samples);
// Reads a stereo WAV file into its two sides; false unless it is a stereo file.
bool wav_capture_read_stereo(const std::string& path, std::vector<float>* left, std::vector<float>* right);
