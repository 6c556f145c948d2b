// wav_capture.cpp - capture reading over wav_read.
#include "support/wav_capture.h"

#include "audio/audiofile_sink.h"
#include "audio/sample_buffer.h"
#include "audio/wav_read.h"

bool wav_capture_read(const std::string& path, int* channels, std::vector<float>* samples)
{
    SampleBuffer buf;
    AudioSink sink = audiofile_buffer_sink(&buf);
    char err[64] = {};
    int rc = wav_read(path.c_str(), &sink, nullptr, err, sizeof err);
    audiofile_sink_release(&sink);
    if (rc != WAV_OK) {
        sample_buffer_free(&buf);
        return false;
    }
    *channels = buf.channels;
    samples->assign(buf.samples, buf.samples + buf.frames * buf.channels);
    sample_buffer_free(&buf);
    return true;
}

bool wav_capture_read_stereo(const std::string& path, std::vector<float>* left, std::vector<float>* right)
{
    int channels = 0;
    std::vector<float> pcm;
    if (!wav_capture_read(path, &channels, &pcm) || channels != 2)
        return false;
    left->clear();
    right->clear();
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        left->push_back(pcm[i]);
        right->push_back(pcm[i + 1]);
    }
    return true;
}
