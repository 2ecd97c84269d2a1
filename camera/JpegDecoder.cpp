// libjpeg-turbo's TurboJPEG interface behind a small class.
#include "camera/JpegDecoder.h"

#include <turbojpeg.h>

#include <cstring>

namespace {

// The scales tried, smallest first.
constexpr tjscalingfactor kScales[] = {{1, 8}, {1, 4}, {1, 2}, {1, 1}};

// What libjpeg's warning says of the picture. Stray bytes before a marker lose nothing; the data
// ending before the picture (a cut-short frame with an end marker after the gap) or codes that
// do not decode leave part of it grey or smeared. TurboJPEG keeps only the first warning.
FrameDamage Warning(const char* message) {
    if (strcasestr(message, "premature end"))
        return FrameDamage::CutShort;
    if (strstr(message, "instead of RST")) // the data of a restart interval went missing
        return FrameDamage::CutShort;
    if (strstr(message, "bad Huffman code"))
        return FrameDamage::Undecodable;
    return FrameDamage::None;
}

} // namespace

bool HasJpegEnd(const uint8_t* data, size_t size) {
    // Inside the coded data 0xFF is always followed by 0x00 or a restart marker, so the last end
    // marker in the buffer is the picture's.
    for (size_t n = size; n >= 2;) {
        const void* last = memrchr(data, 0xFF, n - 1); // the padding may be long: look fast
        if (!last)
            return false;
        n = size_t(static_cast<const uint8_t*>(last) - data);
        if (data[n + 1] == 0xD9)
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

void CJpegDecoder::Reset() {
    if (m_handle)
        tjDestroy(m_handle);
    m_handle = tjInitDecompress();
}

FrameDamage CJpegDecoder::Check(const uint8_t* data, size_t size, cv::Size expected) {
    if (size < 4 || data[0] != 0xFF || data[1] != 0xD8 || !HasJpegEnd(data, size))
        return FrameDamage::CutShort;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    auto* bytes = const_cast<unsigned char*>(data); // the 2.1 interface is not const-correct
    if (!m_handle || tjDecompressHeader3(m_handle, bytes, static_cast<unsigned long>(size), &width,
                                         &height, &subsampling, &colorspace) != 0) {
        Reset();
        return FrameDamage::Undecodable;
    }
    if (!expected.empty() && cv::Size(width, height) != expected)
        return FrameDamage::WrongSize;
    return FrameDamage::None;
}

FrameDamage CJpegDecoder::Decode(const uint8_t* data, size_t size, cv::Size cover, cv::Mat& out,
                                 cv::Size expected) {
    if (const FrameDamage damage = Check(data, size, expected); damage != FrameDamage::None)
        return damage;
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    auto* bytes = const_cast<unsigned char*>(data);
    tjDecompressHeader3(m_handle, bytes, static_cast<unsigned long>(size), &width, &height,
                        &subsampling, &colorspace);
    const cv::Size scaled = JpegScaledSize(cv::Size(width, height), cover);
    out.create(scaled, CV_8UC3);
    if (tjDecompress2(m_handle, bytes, static_cast<unsigned long>(size), out.data, scaled.width,
                      int(out.step), scaled.height, TJPF_BGR, 0) == 0)
        return FrameDamage::None;
    if (tjGetErrorCode(m_handle) != TJERR_WARNING) {
        Reset();
        return FrameDamage::Undecodable;
    }
    return Warning(tjGetErrorStr2(m_handle));
}
