// plat_media_decode.cpp - FFmpeg audio decoding: demux, decode, convert to packed float.
// Only the first audio stream is read; corrupt packets are skipped as players do, and
// only read errors end a decode early.
#include "platform/plat_media_decode.h"

#include <climits>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/plat_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libswresample/swresample.h>
}

// Demuxers a file with one of the supported audio extensions may need. Playlists and
// other demuxers that open further files or URLs are never probed.
static const char* kFormats = "wav,w64,mp3,mov,mp4,m4a,3gp,3g2,mj2,aac,flac,asf,ogg";

static const int kMaxBadFramesInARow = 1000;

struct PlatMediaDecoder {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* codec = nullptr;
    SwrContext* swr = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    const std::atomic<int32_t>* cancel = nullptr;
    int stream = -1;
    int channels = 0;
    int rate = 0;
    int swr_format = -1;         // input sample format the converter is set up for
    bool pending = false;        // frame holds a block not yet taken
    bool first = true;           // the block decoded by open has not been handed out
    bool draining = false;
    bool packet_held = false;    // packet waits to be sent again
    int bad_frames = 0;          // damaged frames reported in a row
};

static void media_quiet_logging(void)
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

static bool media_cancelled(const PlatMediaDecoder* d)
{
    return d->cancel && d->cancel->load(std::memory_order_acquire) != 0;
}

static int media_interrupt(void* ctx)
{
    const std::atomic<int32_t>* cancel = (const std::atomic<int32_t>*)ctx;
    return cancel && cancel->load(std::memory_order_acquire) != 0;
}

void plat_media_decode_close(PlatMediaDecoder* d)
{
    if (!d)
        return;
    av_frame_free(&d->frame);
    av_packet_free(&d->packet);
    swr_free(&d->swr);
    avcodec_free_context(&d->codec);
    avformat_close_input(&d->fmt);
    delete d;
}

// Claimed length in frames at the given rate: the stream's duration, else the
// container's; -1 when neither is given or the value is not plausible.
static int64_t media_expected_frames(const AVFormatContext* fmt, const AVStream* st, int rate)
{
    double seconds = -1.0;
    if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        seconds = (double)st->duration * av_q2d(st->time_base);
    else if (fmt->duration != AV_NOPTS_VALUE && fmt->duration > 0)
        seconds = (double)fmt->duration / AV_TIME_BASE;
    double frames = seconds * rate;
    if (!std::isfinite(frames) || frames < 1.0 || frames > 9.0e15)
        return -1;
    return (int64_t)frames;
}

// Pulls packets through the decoder until a frame with samples arrives.
static int media_decode_frame(PlatMediaDecoder* d)
{
    if (d->pending) {
        av_frame_unref(d->frame);
        d->pending = false;
    }
    for (;;) {
        if (media_cancelled(d))
            return PLAT_MEDIA_CANCELLED;
        int r = avcodec_receive_frame(d->codec, d->frame);
        if (r == 0) {
            d->bad_frames = 0;
            if (d->frame->nb_samples <= 0) {
                av_frame_unref(d->frame);
                continue;
            }
            d->pending = true;
            return PLAT_MEDIA_BLOCK;
        }
        if (r == AVERROR_EOF)
            return PLAT_MEDIA_END;
        // A damaged frame is skipped, but a decoder that only ever reports damage
        // without taking input would never end.
        if (r == AVERROR_INVALIDDATA && ++d->bad_frames < kMaxBadFramesInARow)
            continue;
        if (r != AVERROR(EAGAIN))
            return r == AVERROR(ENOMEM) ? PLAT_MEDIA_NO_MEMORY : PLAT_MEDIA_FAILED;
        if (d->draining)
            return PLAT_MEDIA_END;

        if (!d->packet_held) {
            r = av_read_frame(d->fmt, d->packet);
            if (r < 0) {
                if (media_cancelled(d) || r == AVERROR_EXIT)
                    return PLAT_MEDIA_CANCELLED;
                // A demuxer that meets the end of a cut file may report the half packet
                // as an error; at the end of the input that is the end of the stream.
                if (r != AVERROR_EOF && !(d->fmt->pb && avio_feof(d->fmt->pb)))
                    return r == AVERROR(ENOMEM) ? PLAT_MEDIA_NO_MEMORY : PLAT_MEDIA_FAILED;
                d->draining = true;
                r = avcodec_send_packet(d->codec, nullptr);
                if (r < 0 && r != AVERROR_EOF)
                    return PLAT_MEDIA_END;
                continue;
            }
            if (d->packet->stream_index != d->stream) {
                av_packet_unref(d->packet);
                continue;
            }
        }
        bool was_held = d->packet_held;
        r = avcodec_send_packet(d->codec, d->packet);
        // Not taken until the output is read: kept and sent again after that (a
        // decoder that refuses it twice with no output between would spin).
        d->packet_held = r == AVERROR(EAGAIN);
        if (d->packet_held) {
            if (was_held)
                return PLAT_MEDIA_FAILED;
            continue;
        }
        av_packet_unref(d->packet);
        if (r < 0 && r != AVERROR_INVALIDDATA)
            return r == AVERROR(ENOMEM) ? PLAT_MEDIA_NO_MEMORY : PLAT_MEDIA_FAILED;
    }
}

static PlatMediaDecoder* media_fail(PlatMediaDecoder* d, int* status, int code)
{
    if (status)
        *status = code;
    plat_media_decode_close(d);
    return nullptr;
}

PlatMediaDecoder* plat_media_decode_open(const char* path, const std::atomic<int32_t>* cancel,
                                         int threads, PlatMediaInfo* info, int* status)
{
    media_quiet_logging();
    if (status)
        *status = PLAT_MEDIA_FAILED;
    if (info)
        *info = PlatMediaInfo{0, 0.0, -1};
    // FFmpeg's open would block on a FIFO: only regular files get that far.
    if (!path || !plat_file_is_regular(path))
        return nullptr;
    PlatMediaDecoder* d = new (std::nothrow) PlatMediaDecoder();
    if (!d)
        return media_fail(d, status, PLAT_MEDIA_NO_MEMORY);
    d->cancel = cancel;
    d->fmt = avformat_alloc_context();
    if (!d->fmt)
        return media_fail(d, status, PLAT_MEDIA_NO_MEMORY);
    d->fmt->interrupt_callback.callback = media_interrupt;
    d->fmt->interrupt_callback.opaque = (void*)cancel;

    // "file:" keeps a name such as "a:b.mp3" from being read as a protocol.
    size_t len = strlen(path);
    char* url = (char*)av_malloc(len + 6);
    if (!url)
        return media_fail(d, status, PLAT_MEDIA_NO_MEMORY);
    memcpy(url, "file:", 5);
    memcpy(url + 5, path, len + 1);
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
    av_dict_set(&opts, "format_whitelist", kFormats, 0);
    int r = avformat_open_input(&d->fmt, url, nullptr, &opts);
    av_dict_free(&opts);
    av_free(url);
    if (r < 0)
        return media_fail(d, status, media_cancelled(d) ? PLAT_MEDIA_CANCELLED : PLAT_MEDIA_FAILED);
    if (avformat_find_stream_info(d->fmt, nullptr) < 0)
        return media_fail(d, status, media_cancelled(d) ? PLAT_MEDIA_CANCELLED : PLAT_MEDIA_FAILED);

    for (unsigned i = 0; i < d->fmt->nb_streams; i++) {
        AVStream* st = d->fmt->streams[i];
        if (d->stream < 0 && st->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            d->stream = (int)i;
        else
            st->discard = AVDISCARD_ALL;
    }
    if (d->stream < 0)
        return media_fail(d, status, PLAT_MEDIA_FAILED);
    AVStream* st = d->fmt->streams[d->stream];
    const AVCodec* dec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!dec)
        return media_fail(d, status, PLAT_MEDIA_FAILED);
    d->codec = avcodec_alloc_context3(dec);
    if (!d->codec)
        return media_fail(d, status, PLAT_MEDIA_NO_MEMORY);
    if (avcodec_parameters_to_context(d->codec, st->codecpar) < 0)
        return media_fail(d, status, PLAT_MEDIA_FAILED);
    d->codec->pkt_timebase = st->time_base;
    d->codec->thread_count = threads < 0 ? 1 : threads;
    if (avcodec_open2(d->codec, dec, nullptr) < 0)
        return media_fail(d, status, PLAT_MEDIA_FAILED);
    d->packet = av_packet_alloc();
    d->frame = av_frame_alloc();
    if (!d->packet || !d->frame)
        return media_fail(d, status, PLAT_MEDIA_NO_MEMORY);

    // The first block tells the format for certain (stream headers may not).
    r = media_decode_frame(d);
    if (r != PLAT_MEDIA_BLOCK)
        return media_fail(d, status, r == PLAT_MEDIA_END ? PLAT_MEDIA_FAILED : r);
    d->channels = d->frame->ch_layout.nb_channels;
    d->rate = d->frame->sample_rate;
    if (d->channels < 1 || d->rate < 1)
        return media_fail(d, status, PLAT_MEDIA_FAILED);
    if (info)
        *info = PlatMediaInfo{d->channels, (double)d->rate, media_expected_frames(d->fmt, st, d->rate)};
    if (status)
        *status = PLAT_MEDIA_BLOCK;
    return d;
}

int plat_media_decode_next(PlatMediaDecoder* d, int64_t* frames)
{
    if (frames)
        *frames = 0;
    if (!d)
        return PLAT_MEDIA_FAILED;
    int r;
    if (d->first) {
        d->first = false;
        r = media_cancelled(d) ? PLAT_MEDIA_CANCELLED : PLAT_MEDIA_BLOCK;
    } else {
        r = media_decode_frame(d);
    }
    if (r != PLAT_MEDIA_BLOCK)
        return r;
    if (d->frame->sample_rate != d->rate || d->frame->ch_layout.nb_channels != d->channels)
        return PLAT_MEDIA_FAILED;
    if (frames)
        *frames = d->frame->nb_samples;
    return PLAT_MEDIA_BLOCK;
}

// Sets the converter up for the frame's sample format: same layout and rate on both
// sides, so it only interleaves and changes the sample type.
static bool media_converter_for(PlatMediaDecoder* d, int format)
{
    if (d->swr && d->swr_format == format)
        return true;
    swr_free(&d->swr);
    d->swr_format = -1;
    AVChannelLayout layout;
    av_channel_layout_default(&layout, d->channels);
    int r = swr_alloc_set_opts2(&d->swr, &layout, AV_SAMPLE_FMT_FLT, d->rate, &layout,
                                (AVSampleFormat)format, d->rate, 0, nullptr);
    av_channel_layout_uninit(&layout);
    if (r < 0 || swr_init(d->swr) < 0) {
        swr_free(&d->swr);
        return false;
    }
    d->swr_format = format;
    return true;
}

int64_t plat_media_decode_take(PlatMediaDecoder* d, float* dst)
{
    if (!d || !dst || !d->pending)
        return -1;
    AVFrame* f = d->frame;
    int n = f->nb_samples;
    int64_t got = -1;
    if (f->format == AV_SAMPLE_FMT_FLT) {
        memcpy(dst, f->data[0], sizeof(float) * (size_t)n * (size_t)d->channels);
        got = n;
    } else if (media_converter_for(d, f->format)) {
        uint8_t* out[1] = {(uint8_t*)dst};
        int w = swr_convert(d->swr, out, n, (const uint8_t**)f->extended_data, n);
        got = w < 0 ? -1 : w;
    }
    av_frame_unref(f);
    d->pending = false;
    return got;
}
