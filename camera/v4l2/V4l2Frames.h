// Raw V4L2 frames (YUV 4:2:2 and 4:2:0, grey, RGB) into 8-bit BGR pictures through OpenCV's
// colour conversions, and the bytes a whole frame of each format takes.
#pragma once

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>

// The bytes a line of `fourcc` takes at least at `width` (of the first plane for planar formats).
size_t MinimumLineBytes(uint32_t fourcc, int width);
// The bytes of a whole frame with lines of `stride` bytes; 0 for formats that are not raw.
size_t RawFrameBytes(uint32_t fourcc, cv::Size size, size_t stride);
// Converts a whole raw frame into `bgr`; false for a format that is not raw. Grey pictures stay
// grey; 16-bit grey keeps its upper 8 bits.
bool ConvertRawFrame(uint32_t fourcc, const uint8_t* data, cv::Size size, size_t stride,
                     cv::Mat& bgr);
