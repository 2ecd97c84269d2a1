// MJPEG frames into 8-bit BGR pictures through libjpeg-turbo, at the smallest of its scales
// (1/8, 1/4, 1/2, 1) that still covers the size the picture is wanted at. Frames are taken as
// cameras send them: stray bytes before markers, padding after the end marker and missing Huffman
// tables (libjpeg-turbo supplies the standard ones) only make the decoder warn, and such a frame
// is whole. A frame is refused when it is cut short, its header cannot be read, it declares
// another size than the stream's, or its data ran out before the picture did.
#pragma once

#include "camera/CameraSource.h"

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>

class CJpegDecoder {
public:
    CJpegDecoder();
    ~CJpegDecoder();
    CJpegDecoder(const CJpegDecoder&) = delete;
    CJpegDecoder& operator=(const CJpegDecoder&) = delete;

    // Whether `data` looks whole by its markers and header alone (nothing is decoded): an
    // end-of-image marker, a readable header, and the size `expected` (any size when empty).
    FrameDamage Check(const uint8_t* data, size_t size, cv::Size expected = {});
    // Check, then decodes `data` into `out`, scaled down as far as `cover` allows (an empty
    // `cover` decodes at full size). FrameDamage::None when the picture is whole.
    FrameDamage Decode(const uint8_t* data, size_t size, cv::Size cover, cv::Mat& out,
                       cv::Size expected = {});

private:
    // A new handle: after an error libjpeg-turbo 2.1's handle fails every later frame.
    void Reset();

    void* m_handle;
};

// Whether JPEG data holds its end-of-image marker, followed by nothing but padding up to the
// buffer's end (cameras that send fixed-size payloads pad them).
bool HasJpegEnd(const uint8_t* data, size_t size);
// The decoded size of a `full`-sized picture for `cover`, by the scales libjpeg-turbo offers.
cv::Size JpegScaledSize(cv::Size full, cv::Size cover);
