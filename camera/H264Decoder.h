// H264 frames, one access unit per buffer as cameras send them, through libavcodec. Every frame
// is decoded as it comes, since the next ones refer to it; only the pictures someone takes are
// converted to BGR (libswscale).
#pragma once

#include "camera/CameraSource.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

class CH264Decoder {
public:
    CH264Decoder();
    ~CH264Decoder();
    CH264Decoder(const CH264Decoder&) = delete;
    CH264Decoder& operator=(const CH264Decoder&) = delete;

    // Decodes one frame's data: FrameDamage::None when it gave a picture of size `expected`.
    FrameDamage Decode(const uint8_t* data, size_t size, cv::Size expected);
    // The last picture decoded, in BGR; false when there is none.
    bool Picture(cv::Mat& bgr);

private:
    AVCodecContext* m_context = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    SwsContext* m_scaler = nullptr;
    std::vector<uint8_t> m_padded; // libavcodec reads a little past the data
    bool m_hasPicture = false;
};
