// The FFmpeg side of MP4 movies: encoder choice, frame times and the fragmented file.
#include "recording/Mp4Writer.h"

#include "recording/LibavError.h"
#include "recording/LibavOutput.h"

#include <QDir>
#include <QFile>

#include <cstring>
#include <iterator>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/hwcontext.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

// The encoder's clock: the usual one of video in MP4.
constexpr int kTimeBase = 90000;
// A picture that decodes alone every second: each starts a fragment of the file, so a crash
// loses at most about a second (and what the encoder still holds).
constexpr int64_t kKeyframeInterval = kTimeBase;
// For rate control and the level only; the frames keep their own times.
constexpr int kNominalFps = 30;

// libx264's settings from the usual to the fastest, for an encoder that falls behind. A movie
// changes setting mid-way, so every step must give the same sequence and picture parameters as
// the first (the file holds one set for the whole movie): the fastest preset alone would drop
// CABAC, 8x8 transforms, B-frames and weighted prediction, which change them, so it keeps them.
struct X264Step {
    const char* preset;
    const char* params;
};
constexpr X264Step kX264Steps[] = {
    {"veryfast", ""},
    {"superfast", ""},
    {"ultrafast", "cabac=1:8x8dct=1:bframes=3:weightp=1:weightb=1"},
};

// What either H.264 encoder is told: the size, the clock, keyframes by time (SendPending), and
// the colours of the conversion from BGR (BT.601's matrix, in limited range).
void SetUpEncoder(AVCodecContext* context, cv::Size size) {
    context->width = size.width;
    context->height = size.height;
    context->time_base = AVRational{1, kTimeBase};
    context->framerate = AVRational{kNominalFps, 1};
    context->gop_size = 10 * kNominalFps;
    context->colorspace = AVCOL_SPC_SMPTE170M;
    context->color_range = AVCOL_RANGE_MPEG;
    context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

// The render node a VA-API driver would use; without one there is nothing to try (and no time
// to lose finding that out).
QString RenderNode() {
    const QStringList nodes =
        QDir(QStringLiteral("/dev/dri")).entryList({QStringLiteral("renderD*")}, QDir::System);
    return nodes.isEmpty() ? QString() : QStringLiteral("/dev/dri/") + nodes.first();
}

} // namespace

CMp4Writer::~CMp4Writer() {
    Close();
}

bool CMp4Writer::Fail(const char* what, int code) {
    m_error = LibavErrorText(what, code);
    m_failed = true;
    return false;
}

bool CMp4Writer::Open(const QString& path, cv::Size size, const char* preset, bool vaapi) {
    Close();
    // libx264 reports its statistics at every close; only warnings belong in the log (unless
    // someone asked FFmpeg for more).
    if (av_log_get_level() == AV_LOG_INFO)
        av_log_set_level(AV_LOG_WARNING);
    m_failed = false;
    m_error.clear();
    m_size = size;
    m_nFrames = 0;
    m_pendingPts = m_lastKeyPts = -1;
    m_lastDts = AV_NOPTS_VALUE;
    m_durations.clear();
    if (!Create(QFile::encodeName(path), preset, vaapi)) {
        Release();
        return false;
    }
    return Flush();
}

bool CMp4Writer::Create(const QByteArray& file, const char* preset, bool vaapi) {
    int rc = avformat_alloc_output_context2(&m_format, nullptr, "mp4", file.constData());
    if (rc < 0 || !m_format)
        return Fail("no MP4 muxer", rc);
    m_packet = av_packet_alloc();
    m_pending = av_frame_alloc();
    if (!m_packet || !m_pending)
        return Fail("out of memory", AVERROR(ENOMEM));
    if (!OpenEncoder(preset, vaapi))
        return Fail("cannot open an H.264 encoder", AVERROR_ENCODER_NOT_FOUND);
    if (!(m_stream = avformat_new_stream(m_format, nullptr)))
        return Fail("out of memory", AVERROR(ENOMEM));
    if ((rc = avcodec_parameters_from_context(m_stream->codecpar, m_codec)) < 0)
        return Fail("cannot set up the stream", rc);
    m_stream->time_base = m_codec->time_base;
    // A movie is never lost for its sound: without an AAC encoder it is made silent.
    m_hasSound = m_withSound && m_sound.Add(m_format);
    if (m_withSound && !m_hasSound)
        qWarning("The movie is made without sound: %s", qUtf8Printable(m_sound.Error()));
    m_sws =
        sws_getContext(m_size.width, m_size.height, AV_PIX_FMT_BGR24, m_size.width, m_size.height,
                       AVPixelFormat(m_pending->format), SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_sws)
        return Fail("cannot set up colour conversion", AVERROR(ENOMEM));
    if ((rc = avio_open(&m_format->pb, file.constData(), AVIO_FLAG_WRITE)) < 0)
        return Fail("cannot create the file", rc);
    AVDictionary* options = nullptr;
    // An empty index up front and a fragment per keyframe: the file is whole at every fragment.
    av_dict_set(&options, "movflags", "frag_keyframe+empty_moov+default_base_moof", 0);
    rc = avformat_write_header(m_format, &options);
    av_dict_free(&options);
    return rc >= 0 || Fail("cannot write the movie header", rc);
}

bool CMp4Writer::OpenEncoder(const char* preset, bool vaapi) {
    if (vaapi && OpenVaapi())
        return true;
    // Whatever the VA-API attempt left goes before libx264 sets up its own.
    avcodec_free_context(&m_codec);
    av_buffer_unref(&m_hwDevice);
    av_frame_free(&m_upload);
    av_frame_unref(m_pending);
    return OpenX264(preset);
}

AVCodecContext* CMp4Writer::NewX264(const char* preset, const char* params) const {
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!context)
        return nullptr;
    SetUpEncoder(context, m_size);
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "preset", preset, 0);
    av_dict_set(&options, "crf", "23", 0);
    // High profile, the level worked out from the size: what phones and browsers decode.
    av_dict_set(&options, "profile", "high", 0);
    av_dict_set(&options, "forced-idr", "1", 0);
    if (*params)
        av_dict_set(&options, "x264-params", params, 0);
    const int rc = avcodec_open2(context, codec, &options);
    av_dict_free(&options);
    if (rc < 0)
        avcodec_free_context(&context);
    return context;
}

bool CMp4Writer::OpenX264(const char* preset) {
    // A movie starts on a preset as libx264 has it; only one whose stream parameters are those
    // of the steps after it can move on to them.
    m_step = -1;
    for (size_t i = 0; i < std::size(kX264Steps); ++i) {
        if (std::strcmp(preset, kX264Steps[i].preset) == 0 && !*kX264Steps[i].params)
            m_step = int(i);
    }
    if (!(m_codec = NewX264(preset, "")))
        return false;
    m_pending->format = AV_PIX_FMT_YUV420P;
    m_pending->width = m_size.width;
    m_pending->height = m_size.height;
    m_encoderName = QStringLiteral("libx264");
    m_pace = QString::fromLatin1(preset);
    return av_frame_get_buffer(m_pending, 0) >= 0;
}

// VA-API takes frames on the graphics device: each is converted to NV12 in memory and uploaded.
// A machine without a render node, or whose driver refuses, falls back to libx264 at once.
bool CMp4Writer::OpenVaapi() {
    const QString node = RenderNode();
    const AVCodec* codec = avcodec_find_encoder_by_name("h264_vaapi");
    if (node.isEmpty() || !codec ||
        av_hwdevice_ctx_create(&m_hwDevice, AV_HWDEVICE_TYPE_VAAPI,
                               QFile::encodeName(node).constData(), nullptr, 0) < 0)
        return false;
    AVBufferRef* frames = av_hwframe_ctx_alloc(m_hwDevice);
    if (!frames)
        return false;
    auto* context = reinterpret_cast<AVHWFramesContext*>(frames->data);
    context->format = AV_PIX_FMT_VAAPI;
    context->sw_format = AV_PIX_FMT_NV12;
    context->width = m_size.width;
    context->height = m_size.height;
    context->initial_pool_size = 20;
    if (av_hwframe_ctx_init(frames) < 0 || !(m_codec = avcodec_alloc_context3(codec))) {
        av_buffer_unref(&frames);
        return false;
    }
    SetUpEncoder(m_codec, m_size);
    m_codec->pix_fmt = AV_PIX_FMT_VAAPI;
    m_codec->hw_frames_ctx = frames; // the context owns it now
    m_codec->global_quality = 23;
    m_codec->profile = FF_PROFILE_H264_HIGH;
    if (avcodec_open2(m_codec, codec, nullptr) < 0 || !(m_upload = av_frame_alloc()))
        return false;
    m_pending->format = AV_PIX_FMT_NV12;
    m_pending->width = m_size.width;
    m_pending->height = m_size.height;
    m_encoderName = QStringLiteral("h264_vaapi");
    m_step = -1;
    m_pace.clear();
    return av_frame_get_buffer(m_pending, 0) >= 0;
}

bool CMp4Writer::SendFrame(AVFrame* frame) {
    int rc = avcodec_send_frame(m_codec, frame);
    if (rc < 0)
        return Fail("cannot encode a frame", rc);
    while ((rc = avcodec_receive_packet(m_codec, m_packet)) >= 0) {
        // The encoder does not carry frame durations; the last frame's sets the movie's end.
        if (const auto duration = m_durations.find(m_packet->pts); duration != m_durations.end()) {
            m_packet->duration = duration->second;
            m_durations.erase(duration);
        }
        // An encoder that took over mid-movie starts its decoding times a little before its first
        // picture, which may be before the last one of the encoder it followed.
        if (m_lastDts != AV_NOPTS_VALUE && m_packet->dts <= m_lastDts)
            m_packet->dts = std::min(m_lastDts + 1, m_packet->pts);
        m_lastDts = m_packet->dts;
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        // With sound, through the muxer's interleaving queue: the first packet written sets the
        // shift that keeps every time in the file from being negative, so it must be the earliest
        // of both tracks. Without (or after) sound, straight to the file.
        rc = m_hasSound ? av_interleaved_write_frame(m_format, m_packet)
                        : av_write_frame(m_format, m_packet);
        av_packet_unref(m_packet);
        if (rc < 0 || m_format->pb->error < 0)
            return Fail("cannot write to the file", rc < 0 ? rc : m_format->pb->error);
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF)
        return Fail("cannot encode a frame", rc);
    return true;
}

bool CMp4Writer::SendPending(int64_t nextPts) {
    if (m_pendingPts < 0)
        return true;
    m_pending->pts = m_pendingPts;
    const bool key = m_lastKeyPts < 0 || m_pendingPts - m_lastKeyPts >= kKeyframeInterval;
    m_pending->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (key)
        m_lastKeyPts = m_pendingPts;
    m_durations[m_pendingPts] = std::max<int64_t>(1, nextPts - m_pendingPts);
    m_pendingPts = -1;
    AVFrame* frame = m_pending;
    if (m_upload) {
        av_frame_unref(m_upload);
        int rc = av_hwframe_get_buffer(m_codec->hw_frames_ctx, m_upload, 0);
        if (rc < 0 || (rc = av_hwframe_transfer_data(m_upload, m_pending, 0)) < 0)
            return Fail("cannot upload a frame", rc);
        m_upload->pts = m_pending->pts;
        m_upload->pict_type = m_pending->pict_type;
        frame = m_upload;
    }
    if (!SendFrame(frame))
        return false;
    ++m_nFrames;
    return true;
}

bool CMp4Writer::WriteFrame(const cv::Mat& bgr, int64_t atUs) {
    if (!m_format || m_failed)
        return false;
    if (bgr.type() != CV_8UC3 || bgr.size() != m_size)
        return Fail("a frame of the wrong size or type", AVERROR(EINVAL));
    int64_t pts = av_rescale(atUs, kTimeBase, 1000000);
    if (m_pendingPts >= 0)
        pts = std::max(pts, m_pendingPts + 1);
    if (!SendPending(pts))
        return false;
    const int rc = av_frame_make_writable(m_pending);
    if (rc < 0)
        return Fail("out of memory", rc);
    const uint8_t* const source[] = {bgr.data};
    const int stride[] = {int(bgr.step[0])};
    sws_scale(m_sws, source, stride, 0, bgr.rows, m_pending->data, m_pending->linesize);
    m_pendingPts = pts;
    return true;
}

bool CMp4Writer::SpeedUp() {
    if (!m_format || m_failed || m_step < 0 || m_step + 1 >= int(std::size(kX264Steps)))
        return false;
    const X264Step& next = kX264Steps[m_step + 1];
    AVCodecContext* faster = NewX264(next.preset, next.params);
    const auto same = [](const AVCodecContext* a, const AVCodecParameters* b) {
        return a->extradata_size == b->extradata_size &&
               std::memcmp(a->extradata, b->extradata, size_t(b->extradata_size)) == 0;
    };
    if (!faster || !same(faster, m_stream->codecpar)) {
        qWarning("The %s preset would change the movie's stream parameters; the encoder keeps %s",
                 next.preset, qUtf8Printable(m_pace));
        avcodec_free_context(&faster);
        m_step = -1; // no step is tried again
        return false;
    }
    // Everything sent so far is encoded and written by the encoder it was sent to; the held
    // frame goes to the faster one, which starts with a keyframe.
    if (!SendFrame(nullptr)) {
        avcodec_free_context(&faster);
        return false;
    }
    avcodec_free_context(&m_codec);
    m_codec = faster;
    m_lastKeyPts = -1;
    ++m_step;
    m_pace = QString::fromLatin1(next.preset);
    return true;
}

bool CMp4Writer::WriteSound(const float* samples, int count, int64_t atUs) {
    if (!m_format || m_failed || !m_hasSound)
        return false;
    if (m_sound.Write(samples, count, atUs))
        return true;
    qWarning("The movie's sound ends here: %s", qUtf8Printable(m_sound.Error()));
    EndSound();
    return false;
}

void CMp4Writer::EndSound() {
    if (!m_format || !m_hasSound)
        return;
    if (!m_sound.Finish())
        qWarning("The movie's sound ends early: %s", qUtf8Printable(m_sound.Error()));
    // The queue would otherwise hold the picture back, waiting for sound that never comes.
    const int rc = av_interleaved_write_frame(m_format, nullptr);
    if (rc < 0)
        Fail("cannot write to the file", rc);
    m_hasSound = false;
}

bool CMp4Writer::Flush() {
    if (!m_format || m_failed)
        return false;
    avio_flush(m_format->pb);
    if (m_format->pb->error < 0)
        return Fail("cannot write to the file", m_format->pb->error);
    return true;
}

bool CMp4Writer::Close(int64_t endUs) {
    if (!m_format)
        return !m_failed;
    // After a failed write the end is still tried: the fragments on disk play either way.
    bool ok = !m_failed;
    const int64_t end =
        endUs < 0 ? m_pendingPts + kTimeBase / kNominalFps : av_rescale(endUs, kTimeBase, 1000000);
    ok = SendPending(end) && ok;
    ok = SendFrame(nullptr) && ok;
    EndSound();
    if (const LibavFailure failure = FinishOutput(m_format); failure.what)
        ok = Fail(failure.what, failure.code);
    Release();
    return ok;
}

void CMp4Writer::Release() {
    m_sound.Release();
    m_hasSound = false;
    FreeOutput(m_format);
    m_stream = nullptr;
    avcodec_free_context(&m_codec);
    av_buffer_unref(&m_hwDevice);
    av_frame_free(&m_pending);
    av_frame_free(&m_upload);
    av_packet_free(&m_packet);
    sws_freeContext(m_sws);
    m_sws = nullptr;
}
