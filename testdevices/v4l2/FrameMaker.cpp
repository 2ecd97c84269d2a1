// The test device's frames: the test camera's picture as YUYV, MJPEG or a Bayer mosaic. A
// module of its own, loaded when the first stream starts, because it brings OpenCV. Frames are
// made once per mode and marker position (the picture repeats every 60 frames, its counter shows
// the frame number modulo 60) and kept, so a fast stream costs the program under test little.
#include "camera/testsrc/TestPattern.h"

#include <linux/videodev2.h>
#include <opencv2/imgproc.hpp>
#include <turbojpeg.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <tuple>
#include <vector>

namespace {

constexpr int kRepeat = 60;
constexpr size_t kMaxCached = size_t(256) << 20;

// BT.601 in limited range, as webcams send YUYV and as decoders (OpenCV's too) read it.
std::vector<uchar> ToYuyv(const cv::Mat& bgr) {
    const cv::Matx34f toYCbCr(24.966f, 128.553f, 65.481f, 16 * 255.f, //
                              112.f, -74.203f, -37.797f, 128 * 255.f, //
                              -18.214f, -93.786f, 112.f, 128 * 255.f);
    cv::Mat ycc;
    cv::transform(bgr, ycc, toYCbCr * (1 / 255.f));
    std::vector<uchar> out;
    out.reserve(ycc.total() * 2);
    for (int y = 0; y < ycc.rows; ++y)
        for (int x = 0; x + 1 < ycc.cols; x += 2) {
            const cv::Vec3b a = ycc.at<cv::Vec3b>(y, x), b = ycc.at<cv::Vec3b>(y, x + 1);
            out.insert(out.end(),
                       {a[0], uchar((a[1] + b[1] + 1) / 2), b[0], uchar((a[2] + b[2] + 1) / 2)});
        }
    return out;
}

// SBGGR8: blue and green on even lines, green and red on odd ones.
std::vector<uchar> ToBayer(const cv::Mat& bgr) {
    std::vector<uchar> out;
    out.reserve(bgr.total());
    for (int y = 0; y < bgr.rows; ++y)
        for (int x = 0; x < bgr.cols; ++x)
            out.push_back(bgr.at<cv::Vec3b>(y, x)[(y % 2) + (x % 2)]);
    return out;
}

// The test camera's picture; its background, the costly part, is drawn once per size.
cv::Mat Picture(cv::Size size, int number) {
    static std::map<std::pair<int, int>, cv::Mat> backgrounds;
    cv::Mat& background = backgrounds[{size.width, size.height}];
    if (background.empty())
        background = DrawBackground(size);
    cv::Mat picture = background.clone();
    DrawFrameMarks(picture, number);
    return picture;
}

// Baseline JPEG, 4:2:0, quality 80: what uvcvideo cameras send.
std::vector<uchar> ToJpeg(const cv::Mat& bgr) {
    std::vector<uchar> out;
    tjhandle handle = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    if (handle && tjCompress2(handle, bgr.data, bgr.cols, int(bgr.step[0]), bgr.rows, TJPF_BGR,
                              &jpeg, &size, TJSAMP_420, 80, 0) == 0)
        out.assign(jpeg, jpeg + size);
    tjFree(jpeg);
    if (handle)
        tjDestroy(handle);
    return out;
}

std::vector<uchar> Encode(uint32_t format, const cv::Mat& bgr) {
    std::vector<uchar> out;
    if (format == V4L2_PIX_FMT_MJPEG)
        out = ToJpeg(bgr);
    else if (format == V4L2_PIX_FMT_YUYV)
        out = ToYuyv(bgr);
    else if (format == V4L2_PIX_FMT_SBGGR8)
        out = ToBayer(bgr);
    return out;
}

// Every n-th frame is damaged as USB cameras damage them, alternately cut short (lost packets:
// no end-of-image marker) and with a run of its coded data overwritten (markers kept, so a
// decoder warns rather than refuses).
size_t Damage(uchar* jpeg, size_t size, int64_t number, int every) {
    if (every <= 0 || (number + 1) % every != 0)
        return size;
    if ((number + 1) / every % 2 == 1)
        return size * 6 / 10;
    const uchar sos[] = {0xFF, 0xDA};
    const uchar* scan = std::search(jpeg, jpeg + size, sos, sos + 2);
    if (scan + 4 > jpeg + size)
        return size;
    const size_t start = size_t(scan - jpeg) + 2 + (scan[2] << 8 | scan[3]);
    if (start + 64 >= size)
        return size;
    size_t from = start + (size - start) / 3;
    while (jpeg[from - 1] == 0xFF) // would make a marker of the first byte written
        ++from;
    for (size_t i = from; i < std::min(size - 2, from + (size - start) / 8); ++i)
        jpeg[i] = uchar(i * 37 % 127); // never 0xFF
    return size;
}

} // namespace

// Writes frame `number` of a mode to `out` (at most `capacity` bytes); returns its size, 0 for
// an unknown format.
extern "C" __attribute__((visibility("default"))) size_t
fakev4l2_make_frame(uint32_t format, int width, int height, int64_t number, int damage,
                    unsigned char* out, size_t capacity) {
    static std::mutex mutex;
    static std::map<std::tuple<uint32_t, int, int, int>, std::vector<uchar>> cache;
    static size_t cached = 0;
    std::lock_guard lock(mutex);
    const auto key = std::make_tuple(format, width, height, int(number % kRepeat));
    auto it = cache.find(key);
    if (it == cache.end()) {
        std::vector<uchar> frame =
            Encode(format, Picture(cv::Size(width, height), int(number % kRepeat)));
        if (cached + frame.size() > kMaxCached)
            cache.clear(), cached = 0;
        cached += frame.size();
        it = cache.emplace(key, std::move(frame)).first;
    }
    const size_t size = std::min(it->second.size(), capacity);
    std::memcpy(out, it->second.data(), size);
    return format == V4L2_PIX_FMT_MJPEG ? Damage(out, size, number, damage) : size;
}
