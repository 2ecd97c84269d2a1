// libjpeg-turbo's TurboJPEG interface behind a small class.
#include "camera/JpegDecoder.h"

#include <turbojpeg.h>

namespace {

// The scales tried, smallest first.
constexpr tjscalingfactor kScales[] = {{1, 8}, {1, 4}, {1, 2}, {1, 1}};

} // namespace

bool HasJpegEnd(const uint8_t* data, size_t size) {
    // UVC cameras pad the payload up to a few bytes past the marker, sometimes with zeros.
    constexpr size_t kPaddingLimit = 64;
    for (size_t i = size; i >= 2 && size - i <= kPaddingLimit; --i) {
        if (data[i - 2] == 0xFF && data[i - 1] == 0xD9)
            return true;
    }
    return false;
}

cv::Size JpegScaledSize(cv::Size full, cv::Size cover) {
    if (cover.width <= 0 || cover.height <= 0)
        return full;
    for (const tjscalingfactor& scale : kScales) {
        const cv::Size scaled(TJSCALED(full.width, scale), TJSCALED(full.height, scale));
        if (scaled.width >= cover.width && scaled.height >= cover.height)
            return scaled;
    }
    return full;
}

CJpegDecoder::CJpegDecoder() : m_handle(tjInitDecompress()) {}

CJpegDecoder::~CJpegDecoder() {
    if (m_handle)
        tjDestroy(m_handle);
}

bool CJpegDecoder::Decode(const uint8_t* data, size_t size, cv::Size cover, cv::Mat& out) {
    if (!m_handle || size < 4 || data[0] != 0xFF || data[1] != 0xD8 || !HasJpegEnd(data, size))
        return false;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    auto* bytes = const_cast<unsigned char*>(data); // the 2.1 interface is not const-correct
    if (tjDecompressHeader3(m_handle, bytes, static_cast<unsigned long>(size), &width, &height,
                            &subsampling, &colorspace) != 0)
        return false;
    const cv::Size scaled = JpegScaledSize(cv::Size(width, height), cover);
    out.create(scaled, CV_8UC3);
    return tjDecompress2(m_handle, bytes, static_cast<unsigned long>(size), out.data, scaled.width,
                         int(out.step), scaled.height, TJPF_BGR, TJFLAG_STOPONWARNING) == 0;
}
