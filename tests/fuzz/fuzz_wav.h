// fuzz_wav.h - reading a fuzz input as a WAV file into a buffer, for the targets that
// compare other readers with the WAV reader.
#pragma once
#include <string>

#include "audio/sample_buffer.h"

// wav_read of the file at path into b (cleared first); returns its result code.
int fuzz_wav_read(const std::string& path, SampleBuffer* b);
