// MJPEG frames into 8-bit BGR pictures through libjpeg-turbo, at the smallest of its scales
// (1/8, 1/4, 1/2, 1) that still covers the size the picture is wanted at. A frame the decoder
// finds damaged, even only enough to warn about, is refused: a camera's cut-short or garbled
// frame would otherwise show as a smeared picture.
#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>

class CJpegDecoder {
public:
    CJpegDecoder();
    ~CJpegDecoder();
    CJpegDecoder(const CJpegDecoder&) = delete;
    CJpegDecoder& operator=(const CJpegDecoder&) = delete;

    // Decodes `data` into `out`, scaled down as far as `cover` allows (an empty `cover` decodes
    // at full size). False when the data is not a whole, sound JPEG picture.
    bool Decode(const uint8_t* data, size_t size, cv::Size cover, cv::Mat& out);

private:
    void* m_handle;
};

// Whether JPEG data ends with its end-of-image marker (cameras may pad a few bytes after it).
bool HasJpegEnd(const uint8_t* data, size_t size);
// The decoded size of a `full`-sized picture for `cover`, by the scales libjpeg-turbo offers.
cv::Size JpegScaledSize(cv::Size full, cv::Size cover);
