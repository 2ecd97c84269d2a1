// The test device's frames: the test camera's picture as YUYV, NV12, grey, RGB, MJPEG, H264 or a
// Bayer mosaic. A module of its own, loaded when the first stream starts, because it brings OpenCV
// and libavcodec. Frames are
// made once per mode and marker position (the picture repeats every 60 frames, its counter shows
// the frame number modulo 60) and kept, so a fast stream costs the program under test little.
#include "camera/testsrc/TestPattern.h"
#include "testdevices/v4l2/CameraJpeg.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}
#include <linux/videodev2.h>
#include <opencv2/imgproc.hpp>

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

// MJPEG as a popular kind of webcam sends it: a restart marker every 64 blocks, each after two
// stray bytes (libjpeg: "Corrupt JPEG data: N extraneous bytes before marker 0xdN").
std::vector<uchar> Mjpeg(const cv::Mat& bgr, bool stray) {
    const std::vector<uchar> jpeg = EncodeCameraJpeg(bgr, 80, stray ? 64 : 0);
    std::vector<uchar> out;
    for (size_t i = 0; i < jpeg.size(); ++i) {
        if (stray && jpeg[i] == 0xFF && i + 1 < jpeg.size() && (jpeg[i + 1] & 0xF8) == 0xD0)
            out.insert(out.end(), {0x00, 0x00});
        out.push_back(jpeg[i]);
    }
    return out;
}

// H264 as webcams that encode it send it: an access unit per buffer (Annex B), the parameter
// sets with each key frame, a key frame at the start of the picture's loop and no B frames.
std::vector<std::vector<uchar>> H264Loop(cv::Size size) {
    std::vector<std::vector<uchar>> frames;
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    AVCodecContext* context = codec ? avcodec_alloc_context3(codec) : nullptr;
    AVFrame* frame = av_frame_alloc();
    AVPacket* packet = av_packet_alloc();
    if (context) {
        context->width = size.width, context->height = size.height;
        context->time_base = {1, 30}, context->pix_fmt = AV_PIX_FMT_YUV420P;
        context->gop_size = kRepeat, context->max_b_frames = 0;
        av_opt_set(context->priv_data, "preset", "ultrafast", 0);
        av_opt_set(context->priv_data, "tune", "zerolatency", 0);
        av_opt_set(context->priv_data, "x264-params", "log=-1", 0); // quiet in the test's output
        frame->format = AV_PIX_FMT_YUV420P, frame->width = size.width, frame->height = size.height;
    }
    if (context && avcodec_open2(context, codec, nullptr) == 0 &&
        av_frame_get_buffer(frame, 0) == 0)
        for (int n = 0; n < kRepeat; ++n) {
            cv::Mat i420;
            cv::cvtColor(Picture(size, n), i420, cv::COLOR_BGR2YUV_I420);
            const int w = size.width, h = size.height;
            cv::Mat(h, w, CV_8UC1, i420.data)
                .copyTo(cv::Mat(h, w, CV_8UC1, frame->data[0], frame->linesize[0]));
            for (int plane = 1; plane <= 2; ++plane)
                cv::Mat(h / 2, w / 2, CV_8UC1, i420.data + w * h + (plane - 1) * w * h / 4)
                    .copyTo(
                        cv::Mat(h / 2, w / 2, CV_8UC1, frame->data[plane], frame->linesize[plane]));
            frame->pts = n;
            avcodec_send_frame(context, frame);
            while (avcodec_receive_packet(context, packet) == 0) {
                frames.emplace_back(packet->data, packet->data + packet->size);
                av_packet_unref(packet);
            }
        }
    av_packet_free(&packet);
    av_frame_free(&frame);
    avcodec_free_context(&context);
    return frames;
}

std::vector<uchar> Encode(uint32_t format, const cv::Mat& bgr, bool stray) {
    std::vector<uchar> out;
    if (format == V4L2_PIX_FMT_MJPEG)
        out = Mjpeg(bgr, stray);
    else if (format == V4L2_PIX_FMT_YUYV)
        out = ToYuyv(bgr);
    else if (format == V4L2_PIX_FMT_SBGGR8)
        out = ToBayer(bgr);
    else if (format == V4L2_PIX_FMT_GREY || format == V4L2_PIX_FMT_RGB24) {
        cv::Mat converted;
        cv::cvtColor(bgr, converted,
                     format == V4L2_PIX_FMT_GREY ? cv::COLOR_BGR2GRAY : cv::COLOR_BGR2RGB);
        out.assign(converted.datastart, converted.dataend);
    } else if (format == V4L2_PIX_FMT_NV12) { // I420 with its two chroma planes interleaved
        cv::Mat i420, uv;
        cv::cvtColor(bgr, i420, cv::COLOR_BGR2YUV_I420);
        const int luma = bgr.cols * bgr.rows, quarter = luma / 4;
        cv::merge(std::vector<cv::Mat>{cv::Mat(1, quarter, CV_8UC1, i420.data + luma),
                                       cv::Mat(1, quarter, CV_8UC1, i420.data + luma + quarter)},
                  uv);
        out.assign(i420.data, i420.data + luma);
        out.insert(out.end(), uv.datastart, uv.dataend);
    }
    return out;
}

// Damage as uvcvideo passes it on (see FakeStream.cpp): 1 cuts the frame short, 2 writes bytes
// over the header's tables, from the first quantisation table to the start of the scan.
size_t Damage(uchar* jpeg, size_t size, int64_t number, int damage) {
    if (damage == 1)
        return size * 6 / 10;
    const uchar dqt[] = {0xFF, 0xDB}, sos[] = {0xFF, 0xDA};
    uchar* from = std::search(jpeg, jpeg + size, dqt, dqt + 2) + 4;
    uchar* to = std::search(jpeg, jpeg + size, sos, sos + 2);
    for (uchar* p = from; damage == 2 && p < to; ++p)
        *p = uchar((p - jpeg) * 37 + number * 101) % 251; // never 0xFF
    return size;
}

} // namespace

// Writes frame `number` of a mode to `out` (at most `capacity` bytes); returns its size, 0 for
// an unknown format. `style`: 1 or 2 damages an MJPEG frame (see Damage); 4 makes it with stray
// bytes and pads it with zeros to the buffer's end, as cameras that send fixed-size payloads.
extern "C" __attribute__((visibility("default"))) size_t
fakev4l2_make_frame(uint32_t format, int width, int height, int64_t number, int style,
                    unsigned char* out, size_t capacity) {
    static std::mutex mutex;
    static std::map<std::tuple<uint32_t, int, int, int, bool>, std::vector<uchar>> cache;
    static size_t cached = 0;
    std::lock_guard lock(mutex);
    const bool stray = style & 4;
    const auto key = [&](int n) { return std::make_tuple(format, width, height, n, stray); };
    if (!cache.count(key(int(number % kRepeat)))) {
        if (cached > kMaxCached)
            cache.clear(), cached = 0;
        std::vector<std::vector<uchar>>
            frames; // an H264 loop is made in one go: its frames refer back
        if (format == V4L2_PIX_FMT_H264)
            frames = H264Loop(cv::Size(width, height));
        else
            frames.push_back(
                Encode(format, Picture(cv::Size(width, height), int(number % kRepeat)), stray));
        for (size_t i = 0; i < frames.size(); ++i) {
            cached += frames[i].size();
            cache[key(frames.size() == 1 ? int(number % kRepeat) : int(i))] = std::move(frames[i]);
        }
    }
    const std::vector<uchar>& frame = cache[key(int(number % kRepeat))];
    size_t size = std::min(frame.size(), capacity);
    std::memcpy(out, frame.data(), size);
    if (format != V4L2_PIX_FMT_MJPEG)
        return size;
    size = Damage(out, size, number, style & 3);
    if (stray)
        std::memset(out + size, 0, capacity - size);
    return stray ? capacity : size;
}
