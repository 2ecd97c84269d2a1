// The FFmpeg side of movie writing.
#include "recording/MovieWriter.h"

#include "recording/LibavError.h"
#include "recording/LibavOutput.h"

#include <QFile>

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

namespace {

// Enough for a clean 320 x 240 picture; the VBV buffer is sized for it so the encoder and the
// multiplexer have nothing to guess (and nothing to warn about).
constexpr int64_t kBitRate = 1'500'000;

AVCodecID CodecForFourcc(const AVOutputFormat* format, uint32_t fourcc) {
    if (fourcc == 0)
        return format->video_codec;
    const AVCodecTag* const tables[] = {avformat_get_riff_video_tags(), nullptr};
    return av_codec_get_id(tables, fourcc);
}

} // namespace

CMovieWriter::~CMovieWriter() {
    Close();
}

bool CMovieWriter::Fail(const char* what, int code) {
    m_error = LibavErrorText(what, code);
    m_failed = true;
    return false;
}

bool CMovieWriter::Open(const QString& path, uint32_t fourcc, cv::Size size, int fps) {
    Close();
    m_failed = false;
    m_error.clear();
    m_size = size;
    m_nextPts = 0;
    if (!Create(QFile::encodeName(path), fourcc, fps)) {
        Release();
        return false;
    }
    return Flush();
}

bool CMovieWriter::Create(const QByteArray& file, uint32_t fourcc, int fps) {
    int rc = avformat_alloc_output_context2(&m_format, nullptr, "mpeg", file.constData());
    if (rc < 0 || !m_format)
        return Fail("no MPEG program stream muxer", rc);
    const AVCodecID codecId = CodecForFourcc(m_format->oformat, fourcc);
    const AVCodec* codec = codecId == AV_CODEC_ID_NONE ? nullptr : avcodec_find_encoder(codecId);
    if (!codec)
        return Fail("no encoder for the movie's codec", AVERROR_ENCODER_NOT_FOUND);
    m_stream = avformat_new_stream(m_format, nullptr);
    m_codec = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_stream || !m_codec || !m_frame || !m_packet)
        return Fail("out of memory", AVERROR(ENOMEM));
    SetUpEncoder(fps);
    if ((rc = avcodec_open2(m_codec, codec, nullptr)) < 0)
        return Fail("cannot open the encoder", rc);
    if ((rc = avcodec_parameters_from_context(m_stream->codecpar, m_codec)) < 0)
        return Fail("cannot set up the stream", rc);
    // The multiplexer sizes its buffers from the encoder's buffer properties.
    for (int i = 0; i < m_codec->nb_coded_side_data; ++i) {
        const AVPacketSideData& side = m_codec->coded_side_data[i];
        uint8_t* copy = av_stream_new_side_data(m_stream, side.type, side.size);
        if (!copy)
            return Fail("out of memory", AVERROR(ENOMEM));
        memcpy(copy, side.data, side.size);
    }
    m_stream->time_base = m_codec->time_base;
    m_frame->format = m_codec->pix_fmt;
    m_frame->width = m_size.width;
    m_frame->height = m_size.height;
    if ((rc = av_frame_get_buffer(m_frame, 0)) < 0)
        return Fail("out of memory", rc);
    m_sws =
        sws_getContext(m_size.width, m_size.height, AV_PIX_FMT_BGR24, m_size.width, m_size.height,
                       AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!m_sws)
        return Fail("cannot set up colour conversion", AVERROR(ENOMEM));
    if ((rc = avio_open(&m_format->pb, file.constData(), AVIO_FLAG_WRITE)) < 0)
        return Fail("cannot create the file", rc);
    if ((rc = avformat_write_header(m_format, nullptr)) < 0)
        return Fail("cannot write the movie header", rc);
    return true;
}

void CMovieWriter::SetUpEncoder(int fps) {
    m_codec->width = m_size.width;
    m_codec->height = m_size.height;
    m_codec->time_base = AVRational{1, fps};
    m_codec->framerate = AVRational{fps, 1};
    m_codec->pix_fmt = AV_PIX_FMT_YUV420P;
    m_codec->bit_rate = kBitRate;
    m_codec->rc_max_rate = 2 * kBitRate;
    m_codec->rc_buffer_size = int(kBitRate); // about 0.7 s at the peak rate
    m_codec->gop_size = fps / 2;             // a picture that decodes alone every half second
    if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
        m_codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
}

bool CMovieWriter::SendFrame(AVFrame* frame) {
    int rc = avcodec_send_frame(m_codec, frame);
    if (rc < 0)
        return Fail("cannot encode a frame", rc);
    while ((rc = avcodec_receive_packet(m_codec, m_packet)) >= 0) {
        av_packet_rescale_ts(m_packet, m_codec->time_base, m_stream->time_base);
        m_packet->stream_index = m_stream->index;
        rc = av_interleaved_write_frame(m_format, m_packet); // takes the packet's data
        if (rc < 0)
            return Fail("cannot write to the file", rc);
        if (m_format->pb->error < 0)
            return Fail("cannot write to the file", m_format->pb->error);
    }
    if (rc != AVERROR(EAGAIN) && rc != AVERROR_EOF)
        return Fail("cannot encode a frame", rc);
    return true;
}

bool CMovieWriter::WriteFrame(const cv::Mat& bgr) {
    if (!m_format || m_failed)
        return false;
    if (bgr.type() != CV_8UC3 || bgr.size() != m_size)
        return Fail("a frame of the wrong size or type", AVERROR(EINVAL));
    int rc = av_frame_make_writable(m_frame);
    if (rc < 0)
        return Fail("out of memory", rc);
    const uint8_t* const source[] = {bgr.data};
    const int stride[] = {int(bgr.step[0])};
    sws_scale(m_sws, source, stride, 0, bgr.rows, m_frame->data, m_frame->linesize);
    m_frame->pts = m_nextPts;
    if (!SendFrame(m_frame))
        return false;
    ++m_nextPts;
    return true;
}

bool CMovieWriter::Flush() {
    if (!m_format || m_failed)
        return false;
    avio_flush(m_format->pb);
    if (m_format->pb->error < 0)
        return Fail("cannot write to the file", m_format->pb->error);
    return true;
}

bool CMovieWriter::Close() {
    if (!m_format)
        return !m_failed;
    // After a failed write the trailer is still tried: what reached the disk stays playable
    // either way, and the stream may end cleanly if the space came back.
    bool ok = !m_failed;
    ok = SendFrame(nullptr) && ok;
    if (const LibavFailure failure = FinishOutput(m_format); failure.what)
        ok = Fail(failure.what, failure.code);
    Release();
    return ok;
}

void CMovieWriter::Release() {
    FreeOutput(m_format);
    m_stream = nullptr;
    avcodec_free_context(&m_codec);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
    sws_freeContext(m_sws);
    m_sws = nullptr;
}
