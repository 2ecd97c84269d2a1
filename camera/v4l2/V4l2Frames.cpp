// The layouts of the raw formats, as the V4L2 documentation gives them.
#include "camera/v4l2/V4l2Frames.h"

#include "camera/CameraMode.h"

#include <opencv2/imgproc.hpp>

#include <linux/videodev2.h>

namespace {

// 4:2:0 planes: a full-size luma plane, then chroma at half width and half height.
bool IsYuv420(uint32_t fourcc) {
    return fourcc == V4L2_PIX_FMT_NV12 || fourcc == V4L2_PIX_FMT_NV21 ||
           fourcc == V4L2_PIX_FMT_YUV420 || fourcc == V4L2_PIX_FMT_YVU420;
}

// The three-plane formats as OpenCV reads them: chroma lines at half the luma's width, packed.
// A driver that pads the lines gets them copied together first.
cv::Mat PackedPlanes(const uint8_t* data, cv::Size size, size_t stride) {
    auto* bytes = const_cast<uint8_t*>(data);
    if (stride == size_t(size.width))
        return cv::Mat(size.height * 3 / 2, size.width, CV_8UC1, bytes);
    cv::Mat packed(size.height * 3 / 2, size.width, CV_8UC1);
    cv::Mat(size, CV_8UC1, bytes, stride).copyTo(packed.rowRange(0, size.height));
    cv::Mat chroma(size.height, size.width / 2, CV_8UC1, packed.ptr(size.height));
    cv::Mat(size.height, size.width / 2, CV_8UC1, bytes + stride * size_t(size.height), stride / 2)
        .copyTo(chroma);
    return packed;
}

} // namespace

size_t MinimumLineBytes(uint32_t fourcc, int width) {
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
    case V4L2_PIX_FMT_Y16:
        return size_t(width) * 2;
    case V4L2_PIX_FMT_RGB24:
    case V4L2_PIX_FMT_BGR24:
        return size_t(width) * 3;
    default:
        return size_t(width);
    }
}

size_t RawFrameBytes(uint32_t fourcc, cv::Size size, size_t stride) {
    if (!IsRawFormat(fourcc))
        return 0;
    return stride * size_t(size.height) * (IsYuv420(fourcc) ? 3 : 2) / 2;
}

bool ConvertRawFrame(uint32_t fourcc, const uint8_t* data, cv::Size size, size_t stride,
                     cv::Mat& bgr) {
    auto* bytes = const_cast<uint8_t*>(data);
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV:
    case V4L2_PIX_FMT_UYVY:
        cv::cvtColor(cv::Mat(size, CV_8UC2, bytes, stride), bgr,
                     fourcc == V4L2_PIX_FMT_YUYV ? cv::COLOR_YUV2BGR_YUYV : cv::COLOR_YUV2BGR_UYVY);
        return true;
    case V4L2_PIX_FMT_NV12:
    case V4L2_PIX_FMT_NV21:
        cv::cvtColor(cv::Mat(size.height * 3 / 2, size.width, CV_8UC1, bytes, stride), bgr,
                     fourcc == V4L2_PIX_FMT_NV12 ? cv::COLOR_YUV2BGR_NV12 : cv::COLOR_YUV2BGR_NV21);
        return true;
    case V4L2_PIX_FMT_YUV420:
    case V4L2_PIX_FMT_YVU420:
        cv::cvtColor(PackedPlanes(data, size, stride), bgr,
                     fourcc == V4L2_PIX_FMT_YUV420 ? cv::COLOR_YUV2BGR_I420
                                                   : cv::COLOR_YUV2BGR_YV12);
        return true;
    case V4L2_PIX_FMT_GREY:
        cv::cvtColor(cv::Mat(size, CV_8UC1, bytes, stride), bgr, cv::COLOR_GRAY2BGR);
        return true;
    case V4L2_PIX_FMT_Y16: { // little-endian, as the machine
        cv::Mat grey;
        cv::Mat(size, CV_16UC1, bytes, stride).convertTo(grey, CV_8U, 1.0 / 256);
        cv::cvtColor(grey, bgr, cv::COLOR_GRAY2BGR);
        return true;
    }
    case V4L2_PIX_FMT_RGB24:
        cv::cvtColor(cv::Mat(size, CV_8UC3, bytes, stride), bgr, cv::COLOR_RGB2BGR);
        return true;
    case V4L2_PIX_FMT_BGR24:
        cv::Mat(size, CV_8UC3, bytes, stride).copyTo(bgr);
        return true;
    default:
        return false;
    }
}
