// libavcodec's H264 decoder without frame threads, so that each frame's picture comes out as the
// frame goes in.
#include "camera/H264Decoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

CH264Decoder::CH264Decoder() {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    m_context = codec ? avcodec_alloc_context3(codec) : nullptr;
    if (!m_context)
        return;
    m_context->thread_count = 1;
    m_context->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (avcodec_open2(m_context, codec, nullptr) < 0)
        avcodec_free_context(&m_context);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
}

CH264Decoder::~CH264Decoder() {
    sws_freeContext(m_scaler);
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    avcodec_free_context(&m_context);
}

FrameDamage CH264Decoder::Decode(const uint8_t* data, size_t size, cv::Size expected) {
    m_hasPicture = false;
    if (!m_context || !m_frame || !m_packet)
        return FrameDamage::Undecodable;
    m_padded.assign(data, data + size);
    m_padded.resize(size + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    m_packet->data = m_padded.data();
    m_packet->size = int(size);
    if (avcodec_send_packet(m_context, m_packet) < 0 ||
        avcodec_receive_frame(m_context, m_frame) < 0)
        return FrameDamage::Undecodable;
    if (m_frame->decode_error_flags || (m_frame->flags & AV_FRAME_FLAG_CORRUPT))
        return FrameDamage::Undecodable;
    if (cv::Size(m_frame->width, m_frame->height) != expected)
        return FrameDamage::WrongSize;
    m_hasPicture = true;
    return FrameDamage::None;
}

bool CH264Decoder::Picture(cv::Mat& bgr) {
    if (!m_hasPicture)
        return false;
    const int width = m_frame->width, height = m_frame->height;
    m_scaler =
        sws_getCachedContext(m_scaler, width, height, AVPixelFormat(m_frame->format), width, height,
                             AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!m_scaler)
        return false;
    bgr.create(height, width, CV_8UC3);
    uint8_t* planes[] = {bgr.data};
    const int strides[] = {int(bgr.step)};
    sws_scale(m_scaler, m_frame->data, m_frame->linesize, 0, height, planes, strides);
    return true;
}
