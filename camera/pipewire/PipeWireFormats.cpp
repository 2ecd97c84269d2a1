// Raw PipeWire frames into BGR through OpenCV's colour conversions.
#include "camera/pipewire/PipeWireFormats.h"

#include <opencv2/imgproc.hpp>

#include <array>

namespace {

enum class Layout { Packed, Planar420 };

struct RawFormat {
    const char* name;
    Layout layout;
    int bytesPerPixel;        // of a packed format; the luma plane's for a planar one
    int conversion;           // OpenCV's code; -1: the channels are picked (packed RGB)
    std::array<int, 3> bgr{}; // for picking: the byte of blue, green and red in a pixel
};

constexpr RawFormat kRawFormats[] = {
    {"YUY2", Layout::Packed, 2, cv::COLOR_YUV2BGR_YUY2},
    {"UYVY", Layout::Packed, 2, cv::COLOR_YUV2BGR_UYVY},
    {"YVYU", Layout::Packed, 2, cv::COLOR_YUV2BGR_YVYU},
    {"NV12", Layout::Planar420, 1, cv::COLOR_YUV2BGR_NV12},
    {"NV21", Layout::Planar420, 1, cv::COLOR_YUV2BGR_NV21},
    {"I420", Layout::Planar420, 1, cv::COLOR_YUV2BGR_I420},
    {"YV12", Layout::Planar420, 1, cv::COLOR_YUV2BGR_YV12},
    {"GRAY8", Layout::Packed, 1, cv::COLOR_GRAY2BGR},
    {"BGR", Layout::Packed, 3, -1, {0, 1, 2}},
    {"RGB", Layout::Packed, 3, -1, {2, 1, 0}},
    {"BGRx", Layout::Packed, 4, -1, {0, 1, 2}},
    {"BGRA", Layout::Packed, 4, -1, {0, 1, 2}},
    {"RGBx", Layout::Packed, 4, -1, {2, 1, 0}},
    {"RGBA", Layout::Packed, 4, -1, {2, 1, 0}},
    {"xRGB", Layout::Packed, 4, -1, {3, 2, 1}},
    {"ARGB", Layout::Packed, 4, -1, {3, 2, 1}},
    {"xBGR", Layout::Packed, 4, -1, {1, 2, 3}},
    {"ABGR", Layout::Packed, 4, -1, {1, 2, 3}},
};

const RawFormat* Find(const QString& name) {
    for (const RawFormat& format : kRawFormats)
        if (name == QLatin1String(format.name))
            return &format;
    return nullptr;
}

size_t RowBytes(const RawFormat& format, cv::Size size, size_t stride) {
    return stride > 0 ? stride : size_t(size.width) * size_t(format.bytesPerPixel);
}

} // namespace

bool IsDecodedPipeWireFormat(const QString& format) {
    return format == kPipeWireMjpeg || Find(format) != nullptr;
}

size_t PipeWireFrameBytes(const QString& name, cv::Size size, size_t stride) {
    const RawFormat* format = Find(name);
    if (!format || size.width <= 0 || size.height <= 0)
        return 0;
    const bool subsampled = format->layout == Layout::Planar420 ||
                            (format->conversion >= 0 && format->bytesPerPixel == 2);
    if (subsampled && (size.width % 2 || (format->layout == Layout::Planar420 && size.height % 2)))
        return 0; // chroma shared by pixel pairs: a YUV picture has even sides
    const size_t row = RowBytes(*format, size, stride);
    if (row < size_t(size.width) * size_t(format->bytesPerPixel))
        return 0;
    // 4:2:0: the chroma of two rows follows the luma plane in half its rows (NV12's interleaved
    // plane, or I420's two planes of half the stride).
    return format->layout == Layout::Planar420 ? row * size_t(size.height) * 3 / 2
                                               : row * size_t(size.height);
}

bool PipeWireRawToBgr(const QString& name, cv::Size size, const uint8_t* data, size_t bytes,
                      size_t stride, cv::Mat& out) {
    const RawFormat* format = Find(name);
    const size_t needed = PipeWireFrameBytes(name, size, stride);
    if (!format || needed == 0 || bytes < needed)
        return false;
    const size_t row = RowBytes(*format, size, stride);
    auto* pixels = const_cast<uint8_t*>(data); // only read
    if (format->layout == Layout::Planar420) {
        cv::cvtColor(cv::Mat(size.height * 3 / 2, size.width, CV_8UC1, pixels, row), out,
                     format->conversion);
        return true;
    }
    const int type = CV_8UC(format->bytesPerPixel);
    const cv::Mat in(size, type, pixels, row);
    if (format->conversion >= 0) {
        cv::cvtColor(in, out, format->conversion);
        return true;
    }
    out.create(size, CV_8UC3);
    const int pairs[] = {format->bgr[0], 0, format->bgr[1], 1, format->bgr[2], 2};
    cv::mixChannels(&in, 1, &out, 1, pairs, 3);
    return true;
}
