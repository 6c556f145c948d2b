// plat_video_decode.cpp - FFmpeg video reading: demux, decode, seek, convert to BGR0.
// Only the first video stream is read; damaged packets are skipped as players do.
#include "platform/plat_video_decode.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/plat_file.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libswscale/swscale.h>
}

// These four demuxers open every video file name the program accepts (.mp4, .mov,
// .m4v, .3gp, .mkv, .webm, .avi, .wmv); nothing that opens further files or URLs.
static const char* kFormats = "mov,matroska,avi,asf";
static const int kMaxBadFramesInARow = 1000;
static const int kDecoderThreads = 2;

struct PlatVideoReader {
    AVFormatContext* fmt = nullptr;
    AVCodecContext* codec = nullptr;
    SwsContext* sws = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    PlatVideoInterrupt interrupt = nullptr;
    void* ctx = nullptr;
    int stream = -1;
    AVRational time_base{0, 1};
    int64_t start = 0;           // the stream's start time in its time base
    double frame_duration = 1.0 / 30.0;
    double last_time = -1.0;
    bool have_frame = false;
    bool draining = false;
    bool packet_held = false;
    int bad_frames = 0;
    // The converter's input and output, to tell when a frame needs a new one.
    int sws_w = 0, sws_h = 0, sws_fmt = -1, sws_out_w = 0, sws_out_h = 0;
};

static void video_quiet_logging(void)
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_FATAL); });
}

static bool video_interrupted(const PlatVideoReader* r)
{
    return r->interrupt && r->interrupt(r->ctx) != 0;
}

static int video_interrupt_cb(void* opaque)
{
    return video_interrupted((const PlatVideoReader*)opaque) ? 1 : 0;
}

void plat_video_close(PlatVideoReader* r)
{
    if (!r)
        return;
    av_frame_free(&r->frame);
    av_packet_free(&r->packet);
    sws_freeContext(r->sws);
    avcodec_free_context(&r->codec);
    avformat_close_input(&r->fmt);
    delete r;
}

static PlatVideoReader* video_fail(PlatVideoReader* r)
{
    plat_video_close(r);
    return nullptr;
}

// Clockwise degrees to turn the picture for display, from the stream's display matrix.
static int32_t video_rotation(const AVStream* st)
{
    size_t size = 0;
    const uint8_t* m = av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!m || size < 9 * sizeof(int32_t))
        return 0;
    double theta = -std::round(av_display_rotation_get((const int32_t*)m));
    if (!std::isfinite(theta))
        return 0;
    double q = std::round(theta / 90.0);
    int32_t turns = (int32_t)std::fmod(q, 4.0);
    if (turns < 0)
        turns += 4;
    return turns * 90;
}

PlatVideoReader* plat_video_open(const char* path, PlatVideoInterrupt interrupt, void* ctx, PlatVideoInfo* info)
{
    video_quiet_logging();
    if (info)
        *info = PlatVideoInfo{0, 0, 0, 1.0 / 30.0, 0.0};
    // FFmpeg's open would block on a FIFO: only regular files get that far.
    if (!path || !plat_file_is_regular(path))
        return nullptr;
    PlatVideoReader* r = new (std::nothrow) PlatVideoReader();
    if (!r)
        return nullptr;
    r->interrupt = interrupt;
    r->ctx = ctx;
    r->fmt = avformat_alloc_context();
    if (!r->fmt)
        return video_fail(r);
    r->fmt->interrupt_callback.callback = video_interrupt_cb;
    r->fmt->interrupt_callback.opaque = r;

    // "file:" keeps a name such as "a:b.mp4" from being read as a protocol.
    size_t len = strlen(path);
    char* url = (char*)av_malloc(len + 6);
    if (!url)
        return video_fail(r);
    memcpy(url, "file:", 5);
    memcpy(url + 5, path, len + 1);
    AVDictionary* opts = nullptr;
    av_dict_set(&opts, "protocol_whitelist", "file", 0);
    av_dict_set(&opts, "format_whitelist", kFormats, 0);
    int e = avformat_open_input(&r->fmt, url, nullptr, &opts);
    av_dict_free(&opts);
    av_free(url);
    if (e < 0 || avformat_find_stream_info(r->fmt, nullptr) < 0)
        return video_fail(r);

    for (unsigned i = 0; i < r->fmt->nb_streams; i++) {
        AVStream* st = r->fmt->streams[i];
        if (r->stream < 0 && st->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            !(st->disposition & AV_DISPOSITION_ATTACHED_PIC))
            r->stream = (int)i;
        else
            st->discard = AVDISCARD_ALL;
    }
    if (r->stream < 0)
        return video_fail(r);
    AVStream* st = r->fmt->streams[r->stream];
    int32_t w = st->codecpar->width, h = st->codecpar->height;
    // The header's size decides the decoder's allocations: refuse absurd ones first.
    if (w <= 0 || h <= 0 || w > PLAT_VIDEO_MAX_SIDE || h > PLAT_VIDEO_MAX_SIDE)
        return video_fail(r);
    const AVCodec* dec = avcodec_find_decoder(st->codecpar->codec_id);
    if (!dec)
        return video_fail(r);
    r->codec = avcodec_alloc_context3(dec);
    if (!r->codec || avcodec_parameters_to_context(r->codec, st->codecpar) < 0)
        return video_fail(r);
    r->codec->pkt_timebase = st->time_base;
    r->codec->thread_count = kDecoderThreads;
    if (avcodec_open2(r->codec, dec, nullptr) < 0)
        return video_fail(r);
    r->packet = av_packet_alloc();
    r->frame = av_frame_alloc();
    if (!r->packet || !r->frame)
        return video_fail(r);

    r->time_base = st->time_base;
    if (st->start_time != AV_NOPTS_VALUE)
        r->start = st->start_time;
    AVRational rate = av_guess_frame_rate(r->fmt, st, nullptr);
    if (rate.num > 0 && rate.den > 0)
        r->frame_duration = (double)rate.den / rate.num;
    double duration = 0.0;
    if (r->fmt->duration != AV_NOPTS_VALUE && r->fmt->duration > 0)
        duration = (double)r->fmt->duration / AV_TIME_BASE;
    else if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
        duration = (double)st->duration * av_q2d(st->time_base);
    if (!std::isfinite(duration) || duration < 0.0)
        duration = 0.0;
    if (info)
        *info = PlatVideoInfo{w, h, video_rotation(st), r->frame_duration, duration};
    return r;
}

bool plat_video_seek(PlatVideoReader* r, double seconds)
{
    if (!r)
        return false;
    double tb = av_q2d(r->time_base);
    if (!(tb > 0.0))
        return false;
    double ticks = std::max(seconds, 0.0) / tb;
    int64_t ts = (ticks < 9.0e18 ? (int64_t)ticks : INT64_MAX / 2) + r->start;
    int e = av_seek_frame(r->fmt, r->stream, ts, AVSEEK_FLAG_BACKWARD);
    if (e < 0)
        e = av_seek_frame(r->fmt, r->stream, ts, AVSEEK_FLAG_ANY);
    if (e < 0)
        return false;
    avcodec_flush_buffers(r->codec);
    if (r->packet_held)
        av_packet_unref(r->packet);
    r->packet_held = false;
    r->draining = false;
    r->have_frame = false;
    r->last_time = -1.0;
    return true;
}

// The frame's time in seconds from the stream's start; a frame without a timestamp
// follows the one before it.
static double video_frame_time(PlatVideoReader* r)
{
    int64_t pts = r->frame->best_effort_timestamp;
    double t;
    if (pts == AV_NOPTS_VALUE)
        t = r->last_time < 0.0 ? 0.0 : r->last_time + r->frame_duration;
    else
        t = (double)(pts - r->start) * av_q2d(r->time_base);
    r->last_time = t;
    return t;
}

int plat_video_next(PlatVideoReader* r, double* time)
{
    if (!r)
        return PLAT_VIDEO_FAILED;
    r->have_frame = false;
    for (;;) {
        if (video_interrupted(r))
            return PLAT_VIDEO_CANCELLED;
        int e = avcodec_receive_frame(r->codec, r->frame);
        if (e == 0) {
            r->bad_frames = 0;
            if (r->frame->width <= 0 || r->frame->height <= 0) {
                av_frame_unref(r->frame);
                continue;
            }
            r->have_frame = true;
            double t = video_frame_time(r);
            if (time)
                *time = t;
            return PLAT_VIDEO_FRAME;
        }
        if (e == AVERROR_EOF)
            return PLAT_VIDEO_END;
        // A damaged frame is skipped, but a decoder that only ever reports damage
        // without taking input would never end.
        if (e == AVERROR_INVALIDDATA && ++r->bad_frames < kMaxBadFramesInARow)
            continue;
        if (e != AVERROR(EAGAIN))
            return PLAT_VIDEO_FAILED;
        if (r->draining)
            return PLAT_VIDEO_END;

        if (!r->packet_held) {
            e = av_read_frame(r->fmt, r->packet);
            if (e < 0) {
                if (video_interrupted(r) || e == AVERROR_EXIT)
                    return PLAT_VIDEO_CANCELLED;
                // The end of a cut file may come as an error on its half packet.
                if (e != AVERROR_EOF && !(r->fmt->pb && avio_feof(r->fmt->pb)))
                    return PLAT_VIDEO_FAILED;
                r->draining = true;
                avcodec_send_packet(r->codec, nullptr);
                continue;
            }
            if (r->packet->stream_index != r->stream) {
                av_packet_unref(r->packet);
                continue;
            }
        }
        bool was_held = r->packet_held;
        e = avcodec_send_packet(r->codec, r->packet);
        // Not taken until the output is read: kept and sent again after that.
        r->packet_held = e == AVERROR(EAGAIN);
        if (r->packet_held) {
            if (was_held)
                return PLAT_VIDEO_FAILED;
            continue;
        }
        av_packet_unref(r->packet);
        if (e < 0 && e != AVERROR_INVALIDDATA)
            return PLAT_VIDEO_FAILED;
    }
}

bool plat_video_out_size(const PlatVideoReader* r, int32_t* width, int32_t* height)
{
    if (!r || !r->have_frame)
        return false;
    int32_t w = r->frame->width, h = r->frame->height;
    int32_t longer = std::max(w, h);
    if (longer > PLAT_VIDEO_OUT_SIDE) {
        double s = (double)PLAT_VIDEO_OUT_SIDE / longer;
        w = std::max(1, (int32_t)std::lround(w * s));
        h = std::max(1, (int32_t)std::lround(h * s));
    }
    if (width)
        *width = w;
    if (height)
        *height = h;
    return true;
}

bool plat_video_convert(PlatVideoReader* r, uint8_t* dst, int32_t width, int32_t height)
{
    if (!r || !r->have_frame || !dst || width <= 0 || height <= 0)
        return false;
    const AVFrame* f = r->frame;
    // A frame of another size or format than the last (a changed media type) needs
    // a new converter.
    if (!r->sws || f->width != r->sws_w || f->height != r->sws_h || f->format != r->sws_fmt ||
        width != r->sws_out_w || height != r->sws_out_h) {
        sws_freeContext(r->sws);
        r->sws = sws_getContext(f->width, f->height, (AVPixelFormat)f->format, width, height, AV_PIX_FMT_BGR0,
                                SWS_BICUBIC, nullptr, nullptr, nullptr);
        if (!r->sws) {
            r->sws_fmt = -1;
            return false;
        }
        r->sws_w = f->width;
        r->sws_h = f->height;
        r->sws_fmt = f->format;
        r->sws_out_w = width;
        r->sws_out_h = height;
    }
    uint8_t* planes[4] = {dst, nullptr, nullptr, nullptr};
    int strides[4] = {width * 4, 0, 0, 0};
    return sws_scale(r->sws, f->data, f->linesize, 0, f->height, planes, strides) == height;
}
