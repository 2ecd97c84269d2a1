// The display and movie scaling: mirrored pictures equal cv::resize of the flipped source.
#include "capture/FramePath.h"
#include "capture/MovieTimeline.h"

#include <QImage>
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

namespace {

cv::Mat RandomFrame(cv::Size size) {
    cv::Mat frame(size, CV_8UC3);
    cv::randu(frame, 0, 256);
    return frame;
}

cv::Mat Reference(const cv::Mat& frame, bool mirror, cv::Size size) {
    cv::Mat source, scaled;
    if (mirror)
        cv::flip(frame, source, 1);
    else
        source = frame;
    cv::resize(source, scaled, size, 0, 0, cv::INTER_CUBIC);
    return scaled;
}

cv::Mat Bgr(const QImage& image) {
    return DisplayImageToBgr(image);
}

} // namespace

TEST(FramePathTest, MatchesResizeOfTheFlippedSource) {
    const struct {
        cv::Size from, to;
    } sizes[] = {{{640, 480}, {800, 600}}, {{1920, 1080}, {1280, 720}}, {{640, 480}, {321, 239}},
                 {{640, 480}, {640, 480}}, {{320, 240}, {1, 1}},        {{64, 48}, {333, 777}}};
    for (const auto& s : sizes) {
        const cv::Mat frame = RandomFrame(s.from);
        for (const bool mirror : {false, true}) {
            SCOPED_TRACE(testing::Message() << s.from << " -> " << s.to << " mirror " << mirror);
            const cv::Mat expected = Reference(frame, mirror, s.to);
            cv::Mat out, flipped;
            ScaleFrame(frame, mirror, s.to, out, flipped);
            EXPECT_EQ(cv::norm(out, expected, cv::NORM_INF), 0.0);

            QImage image;
            FrameScratch scratch;
            ScaleToDisplay(frame, mirror, s.to, image, scratch);
            EXPECT_EQ(image.format(), QImage::Format_RGB32);
            ASSERT_EQ(image.size(), QSize(s.to.width, s.to.height));
            EXPECT_EQ(cv::norm(Bgr(image), expected, cv::NORM_INF), 0.0);
            EXPECT_EQ(qAlpha(image.pixel(0, 0)), 255);
        }
    }
}

TEST(FramePathTest, DisplayImageIsReusedAtTheSameSizeOnly) {
    const cv::Mat frame = RandomFrame({64, 48});
    QImage image;
    FrameScratch scratch;
    ScaleToDisplay(frame, false, {32, 24}, image, scratch);
    const uchar* bits = image.constBits();
    ScaleToDisplay(frame, true, {32, 24}, image, scratch);
    EXPECT_EQ(image.constBits(), bits);
    // A copy held elsewhere (a paint in progress) keeps its pixels.
    const QImage held = image;
    ScaleToDisplay(frame, false, {32, 24}, image, scratch);
    EXPECT_EQ(cv::norm(Bgr(held), Reference(frame, true, {32, 24}), cv::NORM_INF), 0.0);
    EXPECT_EQ(cv::norm(Bgr(image), Reference(frame, false, {32, 24}), cv::NORM_INF), 0.0);
    ScaleToDisplay(frame, false, {40, 30}, image, scratch);
    EXPECT_EQ(image.size(), QSize(40, 30));
}

TEST(MovieTimelineTest, PlacesFramesByCaptureTime) {
    struct Case {
        const char* name;
        double fps;           // camera rate
        int frames;           // frames delivered
        int64_t expectFrames; // movie frames after the last one
    };
    const Case cases[] = {
        {"as fast as the movie", 30, 90, 90},
        {"half as fast: each frame twice", 15, 45, 89},
        {"twice as fast: every other frame", 60, 179, 90},
        {"slow camera", 5, 15, 85},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CMovieTimeline timeline(30);
        int64_t written = 0;
        for (int i = 0; i < c.frames; ++i) {
            const CMovieTimeline::Placement p = timeline.Place(i / c.fps);
            written += p.write ? p.repeats + 1 : 0;
        }
        EXPECT_EQ(written, c.expectFrames);
        EXPECT_EQ(timeline.Frames(), written);
        // Stopped 3 s after the first frame: the movie lasts 3 s.
        written += timeline.FillUntil(3.0);
        EXPECT_EQ(written, 90);
    }
}

TEST(MovieTimelineTest, EdgeCases) {
    CMovieTimeline timeline(30);
    EXPECT_EQ(timeline.FillUntil(5.0), 0); // nothing to repeat before the first frame
    auto p = timeline.Place(0.0);
    EXPECT_TRUE(p.write);
    EXPECT_EQ(p.repeats, 0);
    p = timeline.Place(0.001); // the same slot: dropped
    EXPECT_FALSE(p.write);
    p = timeline.Place(2.0); // a two-second stall: the last picture fills it
    EXPECT_TRUE(p.write);
    EXPECT_EQ(p.repeats, 59);
    EXPECT_EQ(timeline.FillUntil(1.0), 0); // a stop before the last slot adds nothing
    EXPECT_EQ(timeline.Frames(), 61);
}
