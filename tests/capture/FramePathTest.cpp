// The display and movie scaling: pictures equal cv::resize of the (flipped) source, mirrored ones
// within one level, as the mirror is applied after scaling; movie frames between black bands; and
// the placing of frames on the movie's time base.
#include "imaging/FramePath.h"
#include "camera/JpegDecoder.h"
#include "camera/testsrc/TestPattern.h"
#include "camera/v4l2/V4l2Frames.h"
#include "imaging/StillEncoder.h"
#include "recording/MovieTimeline.h"
#include "testdevices/v4l2/CameraJpeg.h"

#include <QImage>
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

#include <linux/videodev2.h>

namespace {

// The bicubic cv::resize of `frame`, flipped left to right first when `mirror`.
cv::Mat ScaledReference(const cv::Mat& frame, bool mirror, cv::Size size) {
    cv::Mat source, scaled;
    if (mirror)
        cv::flip(frame, source, 1);
    else
        source = frame;
    cv::resize(source, scaled, size, 0, 0, cv::INTER_CUBIC);
    return scaled;
}

} // namespace

TEST(FramePathTest, MatchesResizeOfTheFlippedSource) {
    const struct {
        cv::Size from, to;
    } sizes[] = {{{640, 480}, {800, 600}}, {{1920, 1080}, {1280, 720}}, {{640, 480}, {321, 239}},
                 {{640, 480}, {640, 480}}, {{320, 240}, {1, 1}},        {{64, 48}, {333, 777}}};
    for (const auto& s : sizes) {
        cv::Mat frame(s.from, CV_8UC3), out;
        cv::randu(frame, 0, 256);
        for (const bool mirror : {false, true}) {
            SCOPED_TRACE(testing::Message() << s.from << " -> " << s.to << " mirror " << mirror);
            const cv::Mat expected = ScaledReference(frame, mirror, s.to);
            const double tolerance = mirror ? 1.0 : 0.0;
            ScaleFrame(frame, mirror, s.to, out);
            EXPECT_LE(cv::norm(out, expected, cv::NORM_INF), tolerance);

            QImage image;
            FrameScratch scratch;
            ScaleToDisplay(frame, mirror, s.to, image, scratch);
            EXPECT_LE(cv::norm(DisplayImageToBgr(image), expected, cv::NORM_INF), tolerance);
        }
    }
}

// A movie frame keeps the picture's proportions: as large as fits, centred, black bands around.
TEST(FramePathTest, FramesOfOtherProportionsFitInsideBetweenBlackBands) {
    const cv::Size movie(320, 240);
    const struct {
        cv::Size frame;
        cv::Rect inside;
    } cases[] = {{{1920, 1080}, {0, 30, 320, 180}}, {{640, 480}, {0, 0, 320, 240}},
                 {{2592, 1944}, {0, 0, 320, 240}},  {{480, 640}, {70, 0, 180, 240}},
                 {{352, 288}, {13, 0, 293, 240}},   {{1, 1000}, {159, 0, 1, 240}},
                 {{0, 0}, {0, 0, 320, 240}}};
    for (const auto& c : cases)
        EXPECT_EQ(FitInside(c.frame, movie), c.inside) << c.frame;
    cv::Mat out(movie, CV_8UC3, cv::Scalar::all(99)); // a buffer reused: its bands made black
    ScaleFrameBoxed(cv::Mat(1080, 1920, CV_8UC3, cv::Scalar::all(255)), true, movie, out);
    EXPECT_EQ(cv::countNonZero(out.reshape(1)), 320 * 180 * 3);
}

// The display image is scaled into in place, unless a copy of it is held elsewhere (a paint in
// progress): that copy keeps its pixels.
TEST(FramePathTest, HeldCopyOfTheDisplayImageKeepsItsPixels) {
    cv::Mat frame(48, 64, CV_8UC3);
    cv::randu(frame, 0, 256);
    QImage image;
    FrameScratch scratch;
    ScaleToDisplay(frame, true, {32, 24}, image, scratch);
    const QImage held = image;
    const cv::Mat before = DisplayImageToBgr(held);
    ScaleToDisplay(frame, false, {32, 24}, image, scratch);
    EXPECT_EQ(cv::norm(DisplayImageToBgr(held), before, cv::NORM_INF), 0.0);
}

TEST(MovieTimelineTest, PlacesFramesByCaptureTime) {
    const struct {
        double fps;                           // camera rate
        int frames;                           // frames delivered
        int64_t expectFrames;                 // movie frames after the last one
    } cases[] = {{60, 179, 90}, {5, 15, 85}}; // every other frame; each frame six times
    for (const auto& c : cases) {
        CMovieTimeline timeline(30);
        int64_t written = 0;
        for (int i = 0; i < c.frames; ++i) {
            const CMovieTimeline::Placement p = timeline.Place(i / c.fps);
            written += p.write ? p.repeats + 1 : 0;
        }
        EXPECT_EQ(written, c.expectFrames) << c.fps;
        // Stopped 3 s after the first frame: the movie lasts 3 s.
        EXPECT_EQ(written + timeline.FillUntil(3.0), 90);
    }
    CMovieTimeline timeline(30);
    EXPECT_EQ(timeline.FillUntil(5.0), 0); // nothing to repeat before the first frame
    timeline.Place(0.0);
    EXPECT_EQ(timeline.Place(2.0).repeats, 59); // a two-second stall: the last picture fills it
    EXPECT_EQ(timeline.FillUntil(1.0), 0);      // a stop before the last slot adds nothing
}

// An MJPEG frame decoded at the smallest scale that covers the movie's or a window's size looks,
// once scaled, like the full decode scaled.
TEST(JpegDecoderTest, ReducedDecodeKeepsThePicture) {
    const cv::Mat picture = DrawTestPattern(cv::Size(1920, 1080), 17);
    const QByteArray encoded = EncodeJpeg(picture, 80);
    ASSERT_FALSE(encoded.isEmpty());
    const std::vector<uchar> jpeg(encoded.begin(), encoded.end());
    CJpegDecoder decoder;
    cv::Mat full, reduced, a, b;
    ASSERT_EQ(decoder.Decode(jpeg.data(), jpeg.size(), {}, full), FrameDamage::None);
    for (const cv::Size target : {cv::Size(320, 240), cv::Size(800, 450), cv::Size(900, 500)}) {
        ASSERT_EQ(decoder.Decode(jpeg.data(), jpeg.size(), target, reduced), FrameDamage::None);
        EXPECT_GE(reduced.cols, target.width);
        EXPECT_GE(reduced.rows, target.height);
        EXPECT_LT(reduced.cols, full.cols) << target; // smaller than the camera's picture
        cv::resize(full, a, target, 0, 0, cv::INTER_CUBIC);
        cv::resize(reduced, b, target, 0, 0, cv::INTER_CUBIC);
        cv::Mat difference;
        cv::absdiff(a, b, difference);
        EXPECT_LE(cv::mean(difference)[0], 2.0) << target;
    }
    EXPECT_EQ(JpegScaledSize({1920, 1080}, {1920, 1080}), cv::Size(1920, 1080));
}

// MJPEG as cameras send it: what only makes libjpeg warn gives the clean picture; a frame cut
// short (even with an end marker after the gap), with garbage over its tables, or of another
// size than the stream's is refused.
TEST(JpegDecoderTest, FramesAsCamerasSendThem) {
    const std::vector<uchar> jpeg =
        EncodeCameraJpeg(DrawTestPattern(cv::Size(640, 480), 5), 95, 40);
    ASSERT_FALSE(jpeg.empty());
    const auto at = [](const std::vector<uchar>& frame, uchar marker) { // the first such marker
        for (size_t i = 0; i + 1 < frame.size(); ++i)
            if (frame[i] == 0xFF && frame[i + 1] == marker)
                return i;
        return frame.size();
    };
    std::vector<uchar> stray, noTables(jpeg), garbled(jpeg);
    std::vector<uchar> cut(jpeg.begin(), jpeg.begin() + long(at(jpeg, 0xD3)));
    for (size_t i = 0; i < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] & 0xF8) == 0xD0)
            stray.insert(stray.end(), {0x00, 0x00});
        stray.push_back(jpeg[i]);
    }
    for (size_t dht; (dht = at(noTables, 0xC4)) < at(noTables, 0xDA);) // each Huffman segment
        noTables.erase(noTables.begin() + long(dht),
                       noTables.begin() +
                           long(dht + 2 + (noTables[dht + 2] << 8 | noTables[dht + 3])));
    for (size_t i = at(jpeg, 0xDB) + 4; i < at(jpeg, 0xDA); ++i)
        garbled[i] = uchar(i * 37 % 251);
    std::vector<uchar> padded(jpeg), cutWithEnd(cut);
    padded.resize(jpeg.size() + 4000, 0);
    cutWithEnd.insert(cutWithEnd.end(), {0xFF, 0xD9});
    const struct {
        const char* name;
        const std::vector<uchar>& frame;
        cv::Size size;
        FrameDamage expected;
    } cases[] = {{"clean", jpeg, {640, 480}, FrameDamage::None},
                 {"stray bytes before restart markers", stray, {640, 480}, FrameDamage::None},
                 {"padding after the end marker", padded, {640, 480}, FrameDamage::None},
                 {"no Huffman tables", noTables, {640, 480}, FrameDamage::None},
                 {"cut short", cut, {640, 480}, FrameDamage::CutShort},
                 {"cut short, end marker after the gap", cutWithEnd, {}, FrameDamage::CutShort},
                 {"garbled tables", garbled, {640, 480}, FrameDamage::Undecodable},
                 // After a refused frame the decoder reads the next as before.
                 {"another size than the stream's", jpeg, {1280, 720}, FrameDamage::WrongSize}};
    CJpegDecoder decoder;
    cv::Mat clean, out;
    ASSERT_EQ(decoder.Decode(jpeg.data(), jpeg.size(), {}, clean), FrameDamage::None);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(decoder.Decode(c.frame.data(), c.frame.size(), {}, out, c.size), c.expected);
        if (c.expected == FrameDamage::None) {
            EXPECT_EQ(cv::norm(out, clean, cv::NORM_INF), 0.0);
        }
    }
}

// Every raw format a V4L2 camera may send comes out as the picture it carries, with the lines
// padded as drivers do (bytesperline beyond the width; 4:2:0 chroma lines at half of it). A grey
// camera shows grey.
TEST(V4l2FramesTest, RawFramesComeOutAsTheirPicture) {
    const cv::Size size(64, 48);
    const int pad = 16; // bytes after each luma or packed line; half of it after a chroma line
    const cv::Mat bgr = DrawTestPattern(size, 0);
    cv::Mat grey, i420, yv12, rgb;
    cv::cvtColor(bgr, grey, cv::COLOR_BGR2GRAY);
    cv::cvtColor(bgr, i420, cv::COLOR_BGR2YUV_I420);
    cv::cvtColor(bgr, yv12, cv::COLOR_BGR2YUV_YV12);
    cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
    const size_t lumaBytes = size_t(size.area()), chromaBytes = lumaBytes / 4;
    // 4:2:2 packed in the byte order `order` gives ("YUYV": Y0 U Y1 V), its chroma the 4:2:0's.
    const auto packed422 = [&](const char* order) {
        cv::Mat out(size.height, size.width * 2, CV_8UC1);
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width * 2; ++x) {
                const size_t chroma = lumaBytes + size_t(y / 2 * size.width / 2 + x / 4);
                const char c = order[x % 4];
                out.at<uint8_t>(y, x) = c == 'U'   ? i420.data[chroma]
                                        : c == 'V' ? i420.data[chroma + chromaBytes]
                                                   : i420.at<uint8_t>(y, x / 2);
            }
        }
        return out;
    };
    // Semi-planar 4:2:0: the luma plane, then U and V interleaved (V first when `vFirst`).
    const auto semiPlanar = [&](bool vFirst) {
        cv::Mat out(size.height * 3 / 2, size.width, CV_8UC1);
        std::copy_n(i420.data, lumaBytes, out.data);
        for (size_t i = 0; i < chromaBytes; ++i) {
            out.data[lumaBytes + 2 * i + (vFirst ? 1 : 0)] = i420.data[lumaBytes + i];
            out.data[lumaBytes + 2 * i + (vFirst ? 0 : 1)] = i420.data[lumaBytes + chromaBytes + i];
        }
        return out;
    };
    cv::Mat y16;
    grey.convertTo(y16, CV_16U, 256);
    const struct {
        uint32_t fourcc;
        cv::Mat frame; // unpadded: `lines` lines of `width` bytes, chroma lines after the luma
        bool threePlanes = false, isGrey = false;
    } cases[] = {{V4L2_PIX_FMT_YUYV, packed422("YUYV")},
                 {V4L2_PIX_FMT_UYVY, packed422("UYVY")},
                 {V4L2_PIX_FMT_NV12, semiPlanar(false)},
                 {V4L2_PIX_FMT_NV21, semiPlanar(true)},
                 {V4L2_PIX_FMT_YUV420, i420, true},
                 {V4L2_PIX_FMT_YVU420, yv12, true},
                 {V4L2_PIX_FMT_GREY, grey, false, true},
                 {V4L2_PIX_FMT_Y16, y16.reshape(1, size.height), false, true},
                 {V4L2_PIX_FMT_RGB24, rgb.reshape(1, size.height)},
                 {V4L2_PIX_FMT_BGR24, bgr.reshape(1, size.height)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fourcc);
        const cv::Mat source = c.frame.isContinuous() ? c.frame : c.frame.clone();
        const size_t line = MinimumLineBytes(c.fourcc, size.width), stride = line + pad;
        std::vector<uint8_t> bytes(RawFrameBytes(c.fourcc, size, stride));
        ASSERT_EQ(bytes.size(), source.total() * source.elemSize() / line * stride);
        const size_t lumaLines = size_t(size.height);
        const uint8_t* from = source.data;
        for (size_t row = 0, at = 0; from < source.dataend; ++row) {
            const bool chroma = c.threePlanes && row >= lumaLines;
            const size_t width = chroma ? line / 2 : line;
            std::copy_n(from, width, bytes.data() + at);
            from += width;
            at += chroma ? stride / 2 : stride;
        }
        cv::Mat out;
        ASSERT_TRUE(ConvertRawFrame(c.fourcc, bytes.data(), size, stride, out));
        cv::Mat expected = bgr;
        if (c.isGrey)
            cv::cvtColor(grey, expected = cv::Mat(), cv::COLOR_GRAY2BGR);
        const cv::Scalar difference = cv::mean(cv::abs(out - expected));
        EXPECT_LT(difference[0] + difference[1] + difference[2], 3 * 8);
    }
}
