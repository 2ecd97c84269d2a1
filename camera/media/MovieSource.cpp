// Demuxes and decodes one video stream of a file or URL; a frame is converted to BGR (libswscale)
// only when it is taken. Network waits are bounded by libavformat's interrupt callback, which
// every protocol polls.
#include "camera/media/MovieSource.h"

#include <QFile>
#include <QFileInfo>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

#include <opencv2/core.hpp>

std::unique_ptr<CMovieSource> CMovieSource::Open(const CameraEntry& entry) {
    const bool isFile = entry.kind == CameraEntry::Kind::VideoFile;
    if (isFile && !QFileInfo::exists(entry.location))
        return nullptr;
    if (!isFile && entry.kind != CameraEntry::Kind::Stream)
        return nullptr;
    std::unique_ptr<CMovieSource> source(new CMovieSource);
    if (!source->Open(entry.location, isFile))
        return nullptr;
    return source;
}

std::unique_ptr<CMovieSource> CMovieSource::ReadThrough(const QString& path) {
    std::unique_ptr<CMovieSource> source(new CMovieSource);
    if (!source->Open(path, false))
        return nullptr;
    return source;
}

int CMovieSource::Interrupted(void* self) {
    return std::chrono::steady_clock::now() > static_cast<CMovieSource*>(self)->m_deadline ? 1 : 0;
}

bool CMovieSource::Open(const QString& location, bool isFile) {
    m_format = avformat_alloc_context();
    if (!m_format)
        return false;
    m_format->interrupt_callback = {&CMovieSource::Interrupted, this};
    m_deadline = std::chrono::steady_clock::now() + kOpenLimit;
    // On failure avformat_open_input frees the context and clears the pointer.
    if (avformat_open_input(&m_format, QFile::encodeName(location).constData(), nullptr, nullptr) <
            0 ||
        avformat_find_stream_info(m_format, nullptr) < 0)
        return false;
    const AVCodec* decoder = nullptr;
    m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (m_stream < 0 || !decoder)
        return false;
    AVStream* stream = m_format->streams[m_stream];
    m_codec = avcodec_alloc_context3(decoder);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_codec || !m_frame || !m_packet ||
        avcodec_parameters_to_context(m_codec, stream->codecpar) < 0 ||
        avcodec_open2(m_codec, decoder, nullptr) < 0)
        return false;
    if (isFile) {
        const AVRational rate = av_guess_frame_rate(m_format, stream, nullptr);
        const double fps = rate.den > 0 ? av_q2d(rate) : 0.0;
        m_pacer.emplace(fps >= 1.0 && fps <= 240.0 ? fps : 30.0);
        m_loop = true;
    }
    return true;
}

CMovieSource::~CMovieSource() {
    sws_freeContext(m_scaler);
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
}

bool CMovieSource::DecodeNext() {
    for (;;) {
        const int received = avcodec_receive_frame(m_codec, m_frame);
        if (received == 0)
            return true;
        if (received != AVERROR(EAGAIN) || m_draining)
            return false;
        m_deadline = std::chrono::steady_clock::now() + kReadLimit;
        const int read = av_read_frame(m_format, m_packet);
        if (read < 0) {
            // The end, or a network that gave up: what the decoder holds still comes out.
            m_draining = true;
            avcodec_send_packet(m_codec, nullptr);
            continue;
        }
        if (m_packet->stream_index == m_stream)
            avcodec_send_packet(m_codec, m_packet); // a damaged packet is skipped, as players do
        av_packet_unref(m_packet);
    }
}

bool CMovieSource::Rewind() {
    m_deadline = std::chrono::steady_clock::now() + kReadLimit;
    if (av_seek_frame(m_format, m_stream, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
        avformat_seek_file(m_format, -1, INT64_MIN, 0, INT64_MAX, 0) < 0)
        return false;
    avcodec_flush_buffers(m_codec);
    m_draining = false;
    return true;
}

bool CMovieSource::Grab() {
    if (m_pacer)
        m_pacer->WaitNextFrame();
    if (DecodeNext())
        return true;
    // The end of a video file: start again, like a camera that never stops.
    return m_loop && Rewind() && DecodeNext();
}

bool CMovieSource::Retrieve(cv::Mat& frame) {
    if (m_frame->width <= 0 || m_frame->height <= 0)
        return false;
    m_scaler = sws_getCachedContext(m_scaler, m_frame->width, m_frame->height,
                                    AVPixelFormat(m_frame->format), m_frame->width, m_frame->height,
                                    AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!m_scaler)
        return false;
    frame.create(m_frame->height, m_frame->width, CV_8UC3);
    uint8_t* planes[4] = {frame.data, nullptr, nullptr, nullptr};
    const int strides[4] = {int(frame.step[0]), 0, 0, 0};
    return sws_scale(m_scaler, m_frame->data, m_frame->linesize, 0, m_frame->height, planes,
                     strides) == m_frame->height;
}
