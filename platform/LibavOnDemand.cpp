// libavformat, libavcodec, libavutil, libswscale and libswresample, loaded the first time the
// program calls into them (a movie recorded, a file or stream camera opened, an H.264 camera
// decoded) rather than at start-up: with their own dependencies they are about ninety libraries,
// and a program that only shows a webcam has no use for them. The program is built against their
// headers but not linked to them: each libav function it calls is defined here and forwarded to the
// library's own. A new call into libav fails to link until its line is added below (the function's
// prototype from the header, and the names of its parameters).
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/version.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/hwcontext.h>
#include <libavutil/macros.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswresample/version.h>
#include <libswscale/swscale.h>
#include <libswscale/version.h>
}

#include <QtGlobal>

#include <cerrno>
#include <mutex>
#include <type_traits>

#include <dlfcn.h>

namespace {

// libavformat brings libavcodec and libavutil with it: a symbol is looked for in its tree.
constexpr const char* kLibraries[] = {
    "libavformat.so." AV_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
    "libswscale.so." AV_STRINGIFY(LIBSWSCALE_VERSION_MAJOR),
    "libswresample.so." AV_STRINGIFY(LIBSWRESAMPLE_VERSION_MAJOR),
};

std::once_flag g_loadOnce;
void* g_handles[std::size(kLibraries)] = {};

void Load() {
    for (size_t i = 0; i < std::size(kLibraries); ++i) {
        g_handles[i] = ::dlopen(kLibraries[i], RTLD_NOW | RTLD_LOCAL);
        if (!g_handles[i])
            qWarning("Movies and files cannot be used: %s", ::dlerror());
    }
}

void* Resolve(const char* name) {
    std::call_once(g_loadOnce, Load);
    for (void* handle : g_handles) {
        if (void* symbol = handle ? ::dlsym(handle, name) : nullptr)
            return symbol;
    }
    qWarning("libav has no %s", name);
    return nullptr;
}

// What a call returns when its library could not be loaded: no object, or an error code.
template <typename R> R Unavailable() {
    if constexpr (std::is_void_v<R>)
        return;
    else if constexpr (std::is_pointer_v<R>)
        return nullptr;
    else if constexpr (std::is_arithmetic_v<R> || std::is_enum_v<R>)
        return static_cast<R>(AVERROR(ENOSYS));
    else
        return R{};
}

} // namespace

#define LIBAV_FORWARD(ret, name, params, args)                                                     \
    extern "C" ret name params {                                                                   \
        static const auto real = reinterpret_cast<decltype(&name)>(Resolve(#name));                \
        if (!real)                                                                                 \
            return Unavailable<ret>();                                                             \
        return real args;                                                                          \
    }

// clang-format off
LIBAV_FORWARD(AVAudioFifo *, av_audio_fifo_alloc, (enum AVSampleFormat sample_fmt, int channels, int nb_samples), (sample_fmt, channels, nb_samples))
LIBAV_FORWARD(void, av_audio_fifo_free, (AVAudioFifo *af), (af))
LIBAV_FORWARD(int, av_audio_fifo_read, (AVAudioFifo *af, void **data, int nb_samples), (af, data, nb_samples))
LIBAV_FORWARD(int, av_audio_fifo_size, (AVAudioFifo *af), (af))
LIBAV_FORWARD(int, av_audio_fifo_write, (AVAudioFifo *af, void **data, int nb_samples), (af, data, nb_samples))
LIBAV_FORWARD(void, av_buffer_unref, (AVBufferRef **buf), (buf))
LIBAV_FORWARD(int, av_channel_layout_copy, (AVChannelLayout *dst, const AVChannelLayout *src), (dst, src))
LIBAV_FORWARD(enum AVCodecID, av_codec_get_id, (const struct AVCodecTag * const *tags, unsigned int tag), (tags, tag))
LIBAV_FORWARD(void, av_dict_free, (AVDictionary **m), (m))
LIBAV_FORWARD(int, av_dict_set, (AVDictionary **pm, const char *key, const char *value, int flags), (pm, key, value, flags))
LIBAV_FORWARD(int, av_find_best_stream, (AVFormatContext *ic, enum AVMediaType type, int wanted_stream_nb, int related_stream, const AVCodec **decoder_ret, int flags), (ic, type, wanted_stream_nb, related_stream, decoder_ret, flags))
LIBAV_FORWARD(AVFrame *, av_frame_alloc, (void), ())
LIBAV_FORWARD(void, av_frame_free, (AVFrame **frame), (frame))
LIBAV_FORWARD(int, av_frame_get_buffer, (AVFrame *frame, int align), (frame, align))
LIBAV_FORWARD(int, av_frame_make_writable, (AVFrame *frame), (frame))
LIBAV_FORWARD(void, av_frame_unref, (AVFrame *frame), (frame))
LIBAV_FORWARD(AVRational, av_guess_frame_rate, (AVFormatContext *ctx, AVStream *stream, AVFrame *frame), (ctx, stream, frame))
LIBAV_FORWARD(int, av_hwdevice_ctx_create, (AVBufferRef **device_ctx, enum AVHWDeviceType type, const char *device, AVDictionary *opts, int flags), (device_ctx, type, device, opts, flags))
LIBAV_FORWARD(AVBufferRef *, av_hwframe_ctx_alloc, (AVBufferRef *device_ctx), (device_ctx))
LIBAV_FORWARD(int, av_hwframe_ctx_init, (AVBufferRef *ref), (ref))
LIBAV_FORWARD(int, av_hwframe_get_buffer, (AVBufferRef *hwframe_ctx, AVFrame *frame, int flags), (hwframe_ctx, frame, flags))
LIBAV_FORWARD(int, av_hwframe_transfer_data, (AVFrame *dst, const AVFrame *src, int flags), (dst, src, flags))
LIBAV_FORWARD(int, av_interleaved_write_frame, (AVFormatContext *s, AVPacket *pkt), (s, pkt))
LIBAV_FORWARD(int, av_log_get_level, (void), ())
LIBAV_FORWARD(void, av_log_set_level, (int level), (level))
LIBAV_FORWARD(int, av_opt_set_double, (void *obj, const char *name, double val, int search_flags), (obj, name, val, search_flags))
LIBAV_FORWARD(int, av_opt_set_int, (void *obj, const char *name, int64_t val, int search_flags), (obj, name, val, search_flags))
LIBAV_FORWARD(AVPacket *, av_packet_alloc, (void), ())
LIBAV_FORWARD(void, av_packet_free, (AVPacket **pkt), (pkt))
LIBAV_FORWARD(void, av_packet_rescale_ts, (AVPacket *pkt, AVRational tb_src, AVRational tb_dst), (pkt, tb_src, tb_dst))
LIBAV_FORWARD(void, av_packet_unref, (AVPacket *pkt), (pkt))
LIBAV_FORWARD(int, av_read_frame, (AVFormatContext *s, AVPacket *pkt), (s, pkt))
LIBAV_FORWARD(int64_t, av_rescale, (int64_t a, int64_t b, int64_t c), (a, b, c))
LIBAV_FORWARD(int, av_seek_frame, (AVFormatContext *s, int stream_index, int64_t timestamp, int flags), (s, stream_index, timestamp, flags))
LIBAV_FORWARD(uint8_t *, av_stream_new_side_data, (AVStream *stream, enum AVPacketSideDataType type, size_t size), (stream, type, size))
LIBAV_FORWARD(int, av_strerror, (int errnum, char *errbuf, size_t errbuf_size), (errnum, errbuf, errbuf_size))
LIBAV_FORWARD(int, av_write_frame, (AVFormatContext *s, AVPacket *pkt), (s, pkt))
LIBAV_FORWARD(int, av_write_trailer, (AVFormatContext *s), (s))
LIBAV_FORWARD(AVCodecContext *, avcodec_alloc_context3, (const AVCodec *codec), (codec))
LIBAV_FORWARD(const AVCodec *, avcodec_find_decoder, (enum AVCodecID id), (id))
LIBAV_FORWARD(const AVCodec *, avcodec_find_encoder, (enum AVCodecID id), (id))
LIBAV_FORWARD(const AVCodec *, avcodec_find_encoder_by_name, (const char *name), (name))
LIBAV_FORWARD(void, avcodec_flush_buffers, (AVCodecContext *avctx), (avctx))
LIBAV_FORWARD(void, avcodec_free_context, (AVCodecContext **avctx), (avctx))
LIBAV_FORWARD(int, avcodec_open2, (AVCodecContext *avctx, const AVCodec *codec, AVDictionary **options), (avctx, codec, options))
LIBAV_FORWARD(int, avcodec_parameters_from_context, (AVCodecParameters *par, const AVCodecContext *codec), (par, codec))
LIBAV_FORWARD(int, avcodec_parameters_to_context, (AVCodecContext *codec, const AVCodecParameters *par), (codec, par))
LIBAV_FORWARD(int, avcodec_receive_frame, (AVCodecContext *avctx, AVFrame *frame), (avctx, frame))
LIBAV_FORWARD(int, avcodec_receive_packet, (AVCodecContext *avctx, AVPacket *avpkt), (avctx, avpkt))
LIBAV_FORWARD(int, avcodec_send_frame, (AVCodecContext *avctx, const AVFrame *frame), (avctx, frame))
LIBAV_FORWARD(int, avcodec_send_packet, (AVCodecContext *avctx, const AVPacket *avpkt), (avctx, avpkt))
LIBAV_FORWARD(AVFormatContext *, avformat_alloc_context, (void), ())
LIBAV_FORWARD(int, avformat_alloc_output_context2, (AVFormatContext **ctx, const AVOutputFormat *oformat, const char *format_name, const char *filename), (ctx, oformat, format_name, filename))
LIBAV_FORWARD(void, avformat_close_input, (AVFormatContext **s), (s))
LIBAV_FORWARD(int, avformat_find_stream_info, (AVFormatContext *ic, AVDictionary **options), (ic, options))
LIBAV_FORWARD(void, avformat_free_context, (AVFormatContext *s), (s))
LIBAV_FORWARD(const struct AVCodecTag *, avformat_get_riff_video_tags, (void), ())
LIBAV_FORWARD(AVStream *, avformat_new_stream, (AVFormatContext *s, const AVCodec *c), (s, c))
LIBAV_FORWARD(int, avformat_open_input, (AVFormatContext **ps, const char *url, const AVInputFormat *fmt, AVDictionary **options), (ps, url, fmt, options))
LIBAV_FORWARD(int, avformat_seek_file, (AVFormatContext *s, int stream_index, int64_t min_ts, int64_t ts, int64_t max_ts, int flags), (s, stream_index, min_ts, ts, max_ts, flags))
LIBAV_FORWARD(int, avformat_write_header, (AVFormatContext *s, AVDictionary **options), (s, options))
LIBAV_FORWARD(int, avio_closep, (AVIOContext **s), (s))
LIBAV_FORWARD(void, avio_flush, (AVIOContext *s), (s))
LIBAV_FORWARD(int, avio_open, (AVIOContext **s, const char *url, int flags), (s, url, flags))
LIBAV_FORWARD(void, sws_freeContext, (struct SwsContext *swsContext), (swsContext))
LIBAV_FORWARD(struct SwsContext *, sws_getCachedContext, (struct SwsContext *context, int srcW, int srcH, enum AVPixelFormat srcFormat, int dstW, int dstH, enum AVPixelFormat dstFormat, int flags, SwsFilter *srcFilter, SwsFilter *dstFilter, const double *param), (context, srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags, srcFilter, dstFilter, param))
LIBAV_FORWARD(struct SwsContext *, sws_getContext, (int srcW, int srcH, enum AVPixelFormat srcFormat, int dstW, int dstH, enum AVPixelFormat dstFormat, int flags, SwsFilter *srcFilter, SwsFilter *dstFilter, const double *param), (srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags, srcFilter, dstFilter, param))
LIBAV_FORWARD(int, sws_scale, (struct SwsContext *c, const uint8_t *const srcSlice[], const int srcStride[], int srcSliceY, int srcSliceH, uint8_t *const dst[], const int dstStride[]), (c, srcSlice, srcStride, srcSliceY, srcSliceH, dst, dstStride))
LIBAV_FORWARD(int, swr_alloc_set_opts2, (struct SwrContext **ps, AVChannelLayout *out_ch_layout, enum AVSampleFormat out_sample_fmt, int out_sample_rate, AVChannelLayout *in_ch_layout, enum AVSampleFormat in_sample_fmt, int in_sample_rate, int log_offset, void *log_ctx), (ps, out_ch_layout, out_sample_fmt, out_sample_rate, in_ch_layout, in_sample_fmt, in_sample_rate, log_offset, log_ctx))
LIBAV_FORWARD(int, swr_convert, (struct SwrContext *s, uint8_t **out, int out_count, const uint8_t **in, int in_count), (s, out, out_count, in, in_count))
LIBAV_FORWARD(void, swr_free, (struct SwrContext **s), (s))
LIBAV_FORWARD(int, swr_get_out_samples, (struct SwrContext *s, int in_samples), (s, in_samples))
LIBAV_FORWARD(int, swr_init, (struct SwrContext *s), (s))
LIBAV_FORWARD(int64_t, swr_next_pts, (struct SwrContext *s, int64_t pts), (s, pts))
// clang-format on
