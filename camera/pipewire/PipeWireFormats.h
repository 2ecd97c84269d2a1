// The picture formats the program takes from PipeWire cameras, by the names PipeWire gives them
// ("YUY2", "NV12", "MJPG"), and the conversion of a raw frame into 8-bit BGR. Pure functions, so
// they can be tested alone.
#pragma once

#include <QString>

#include <opencv2/core.hpp>

#include <cstddef>
#include <cstdint>

// PipeWire's name of motion JPEG (a format of its own media subtype).
inline const QString kPipeWireMjpeg = QStringLiteral("MJPG");

// True for MJPEG and the raw formats PipeWireRawToBgr converts: the YUV 4:2:2 and 4:2:0 layouts
// cameras send (YUY2, UYVY, YVYU, NV12, NV21, I420, YV12), GRAY8 and the packed RGB formats.
bool IsDecodedPipeWireFormat(const QString& format);
// The bytes a whole raw frame of `format` at `size` needs with rows `stride` bytes apart (0: the
// format's own row length); 0 for a format that is not raw or not decoded.
size_t PipeWireFrameBytes(const QString& format, cv::Size size, size_t stride);
// Converts a raw frame into `out`; false when the format is not decoded or `bytes` is short.
bool PipeWireRawToBgr(const QString& format, cv::Size size, const uint8_t* data, size_t bytes,
                      size_t stride, cv::Mat& out);
