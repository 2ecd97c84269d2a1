// Movie recording end to end: real worker, real FFmpeg writer, every movie checked by ffprobe.
#include "CaptureTestSupport.h"

#include "capture/FrameQueue.h"
#include "capture/Shutter.h"
#include "output_files/ImgFileMgr.h"
#include "output_files/MediaKind.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <csignal>

using namespace capturetest;

namespace {

// What the test pattern's moving marker tells about a movie of a 320 x 240 test camera. The
// marker steps 5 pixels a camera frame and starts over every 60 frames, so it numbers the
// camera frames (modulo 60) in the movie itself: start-up, the sound cues and closing, which
// take machine-dependent time around the first and after the last frame, do not count.
struct MarkerFacts {
    int frames = 0;  // movie frames
    int span = 0;    // camera frames from the first movie frame to the last
    int maxStep = 0; // the most camera frames between two movie frames
    int last = -1;   // the last movie frame's camera frame, modulo 60
};

MarkerFacts ReadMarkers(const QString& movie) {
    MarkerFacts facts;
    for (const cv::Mat& frame : DecodeMovie(movie)) {
        cv::Mat green; // the red marker is the only thing without green in its band
        cv::extractChannel(frame(cv::Rect(0, 184, 320, 12)), green, 1);
        const cv::Moments m = cv::moments(green < 40, true);
        const int mark = m.m00 > 0 ? int(std::lround((m.m10 / m.m00 - 9.5) / 5)) % 60 : -1;
        if (facts.frames++ > 0) {
            const int step = (mark - facts.last + 60) % 60;
            facts.span += step;
            facts.maxStep = std::max(facts.maxStep, step);
        }
        facts.last = mark;
    }
    return facts;
}

class RecordingTest : public CaptureTest {
protected:
    void SetUp() override {
        CaptureTest::SetUp();
        folder = testenv::NewFolder("movies");
        movies = testenv::PathManager(CAMMODE_MOV, folder);
    }
    QString Movie(int number) const {
        return folder + QString("/mov%1.mpg").arg(number, 5, 10, QLatin1Char('0'));
    }
    int Start() { return StartMovie(*movies, *controller); }
    void Stop() { controller->RecordMovie(false, QString(), 0); }
    // Runs the capture-state events posted so far and returns every one received.
    States Delivered() {
        QCoreApplication::sendPostedEvents(&view);
        return view.states;
    }
    // Refreshes the view as fast as it can (Perform 0) for `ms`, or until the recording gave up,
    // switching the live view's mirroring each time (a movie keeps the setting it started with).
    void Refresh(qint64 ms) {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < ms && !controller->RecordingGaveUp()) {
            controller->SetMirror(!controller->Mirror());
            controller->GrabFrame(0, 0, 160, 120);
            QThread::msleep(10);
        }
    }

    QString folder;
    std::unique_ptr<CImgFileMgr> movies;
};

TEST_F(RecordingTest, StartsAndStopsOnceAndDestroyingTheControllerClosesTheMovie) {
    Open("testsrc");
    ASSERT_EQ(Start(), 0);
    EXPECT_EQ(Start(), 0); // a second start starts nothing
    controller->RecordMovie(true, folder + "/other.mpg", 0);
    EXPECT_TRUE(controller->IsRecording());
    Stop(); // at once: still a movie
    EXPECT_FALSE(controller->IsRecording());
    ExpectValidMovie(ProbeMovie(Movie(1)));

    ASSERT_EQ(Start(), 0);
    QThread::msleep(1000);
    controller.reset();
    const MovieFacts movie = ProbeMovie(Movie(2));
    ExpectValidMovie(movie);
    EXPECT_GE(movie.decodedFrames, 20);
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{"mov00001.mpg", "mov00002.mpg"}));
    EXPECT_EQ(g_UserDefault.GetInt("MovNum", -1), 3);
    EXPECT_EQ(Delivered(), (States{{1, 1}, {1, 0}, {1, 1}, {1, 0}}));
}

// While the view refreshes as fast as it can, every camera frame reaches the movie in order,
// each for its time on the 30 fps time base: the movie lasts from its first frame to the stop
// whatever the camera's rate. (A 30 fps camera may lose a frame to timing.)
TEST_F(RecordingTest, MovieHoldsEveryCameraFrameForItsTimeWhateverTheRate) {
    for (const int fps : {15, 30}) {
        SCOPED_TRACE(fps);
        Open(QString("testsrc:320x240@%1").arg(fps));
        const int number = movies->SerialNumber();
        QElapsedTimer clock;
        clock.start();
        ASSERT_EQ(Start(), 0);
        Refresh(3000);
        const double ran = clock.nsecsElapsed() / 1e9;
        Stop();
        const MovieFacts movie = ProbeMovie(Movie(number));
        ExpectValidMovie(movie);
        EXPECT_NEAR(movie.duration, movie.decodedFrames / 30.0, 0.1);
        EXPECT_LE(movie.decodedFrames / 30.0, ran + 0.1); // nothing from before the start
        const MarkerFacts marks = ReadMarkers(Movie(number));
        EXPECT_EQ(marks.frames, movie.decodedFrames);
        EXPECT_GT(marks.span, fps * 2);
        EXPECT_LE(marks.maxStep, fps == 15 ? 1 : 2);
        // Each camera frame holds 30 / fps movie frames; the last one until the stop.
        EXPECT_NEAR(marks.frames, marks.span * 30.0 / fps, 30.0 / fps + 3);
    }
}

// A movie started mirrored stays mirrored while the live view is switched back and forth. (One
// started plain stays plain: the marker tests read its marker moving left to right.)
TEST_F(RecordingTest, MovieKeepsTheMirroringItStartedWith) {
    Open("testsrc:320x240@30");
    controller->SetMirror(true);
    ASSERT_EQ(Start(), 0);
    for (int i = 0; i < 6; ++i) {
        controller->SetMirror(i % 2 == 1); // the live view follows every change, the movie none
        controller->GrabFrame(0, 0, 160, 120);
        QThread::msleep(200);
    }
    Stop();
    const QList<cv::Mat> frames = DecodeMovie(Movie(1));
    ASSERT_GT(frames.size(), 20);
    // The test picture has a white block at its top-left corner.
    for (int i = 0; i < frames.size(); ++i) {
        EXPECT_GT(cv::mean(frames[i](cv::Rect(296, 4, 20, 20)))[0], 200) << "frame " << i;
        EXPECT_LT(cv::mean(frames[i](cv::Rect(4, 4, 20, 20)))[0], 200) << "frame " << i;
    }
}

TEST_F(RecordingTest, WorkerThatGivesUpIsNoticedAndLeavesNothing) {
    const struct {
        const char* camera;
        const char* path; // null: the next numbered movie
        bool cameraLost;  // the cause to tell the user is the camera, not the folder
    } cases[] = {{"/nowhere/missing.mp4", nullptr, false},
                 {"testsrc", "/gone/mov.mpg", false},
                 {"testsrc,stop=0", nullptr, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.camera);
        Open(c.camera);
        if (c.path)
            controller->RecordMovie(true, folder + c.path, 0);
        else
            ASSERT_EQ(Start(), 0);
        for (int waitedMs = 0; !controller->RecordingGaveUp() && waitedMs < 20000; waitedMs += 10)
            QThread::msleep(10);
        ASSERT_TRUE(controller->RecordingGaveUp());
        EXPECT_EQ(controller->RecordingLostCamera(), c.cameraLost);
        EXPECT_TRUE(controller->IsRecording()); // until the user-interface thread runs the stop
        Stop();
        EXPECT_FALSE(controller->IsRecording() || controller->RecordingGaveUp());
        EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty()); // the probe file is gone
    }
}

// A recording whose camera fails or hangs 2 s after opening ends by itself within about 2 s of
// the loss, holding every frame until then and no padding after; a stop while the camera hangs
// ends at once; closing with a hung camera completes; no recording starts again when the camera
// comes back.
TEST_F(RecordingTest, CameraLossEndsTheRecordingWithEveryFrameUntilThen) {
    const struct {
        const char* camera;
        int stopAtMs; // the user stops then; 0: waits for the recording to end by itself
    } cases[] = {{"testsrc:320x240@30,stop=2", 0},
                 {"testsrc:320x240@30,hang=2", 0},
                 {"testsrc:320x240@30,hang=1", 1500}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.camera);
        Open(c.camera);
        const int number = movies->SerialNumber();
        QElapsedTimer clock; // the test source's own clock started with Open
        clock.start();
        ASSERT_EQ(Start(), 0);
        Refresh(c.stopAtMs ? c.stopAtMs : 15000);
        EXPECT_EQ(controller->RecordingLostCamera(), !c.stopAtMs);
        if (!c.stopAtMs) {
            EXPECT_LT(clock.elapsed(), 2000 + 2000 + 3000); // loss (a hang is seen 2 s on) + 2 s
        }
        clock.restart();
        Stop();
        EXPECT_LT(clock.elapsed(), 6000);
        ExpectValidMovie(ProbeMovie(Movie(number)));
        const MarkerFacts marks = ReadMarkers(Movie(number));
        EXPECT_LE(marks.maxStep, 2);
        if (!c.stopAtMs) {
            EXPECT_LE(std::abs(marks.last - 59), 2) << "the last frame before the loss, at 2 s";
            EXPECT_LE(marks.frames, marks.span + 3) << "padding beyond the loss";
        }
        QThread::msleep(c.stopAtMs ? 0 : 1500); // a failed camera comes back meanwhile
        EXPECT_FALSE(controller->IsRecording());
        clock.restart();
        controller.reset(); // a hung reader is left behind
        EXPECT_LT(clock.elapsed(), 6000);
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 3);
    EXPECT_EQ(Delivered().size(), 2 * 3); // each recording: started, stopped
}

// An encoder that falls behind: the queue keeps the oldest frames in order, counts what it
// refuses (by number or by bytes), and after the camera is lost still hands out what it holds.
TEST(FrameQueueTest, FullQueueCountsWhatItDropsAndEndsAfterItsFrames) {
    CFrameQueue queue(3);
    for (uint64_t n = 1; n <= 5; ++n)
        queue.Push(StampedFrame{cv::Mat(), {}, n});
    queue.End();
    EXPECT_EQ(queue.Dropped(), 2u);
    StampedFrame frame;
    for (uint64_t n = 1; n <= 3; ++n) {
        ASSERT_EQ(queue.Pop(frame, std::chrono::milliseconds(0)), CFrameQueue::PopResult::Frame);
        EXPECT_EQ(frame.number, n);
    }
    EXPECT_EQ(queue.Pop(frame, std::chrono::milliseconds(0)), CFrameQueue::PopResult::Ended);
    CFrameQueue bounded(60, 2 * 640 * 480 * 3); // room for two 640 x 480 pictures
    for (uint64_t n = 1; n <= 3; ++n)
        bounded.Push(StampedFrame{cv::Mat(480, 640, CV_8UC3), {}, n});
    EXPECT_EQ(bounded.Dropped(), 1u);
}

TEST_F(RecordingTest, KilledRecordingKeepsAlmostAllOfItsMovie) {
    QProcess helper;
    helper.start(RECORDING_HELPER, {"testsrc", Movie(1), "60"});
    ASSERT_TRUE(helper.waitForReadyRead(20000));
    QThread::msleep(5000);
    ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
    ASSERT_TRUE(helper.waitForFinished(20000));
    EXPECT_EQ(helper.exitStatus(), QProcess::CrashExit);
    const MovieFacts movie = ProbeMovie(Movie(1));
    EXPECT_TRUE(movie.format.contains("mpeg1video")) << movie.format.toStdString();
    EXPECT_GE(movie.decodedFrames, 4 * 30) << "at least 4 of the 5 seconds can be played";
}

TEST_F(RecordingTest, FullDiskEndsTheRecordingAndKeepsWhatWasWritten) {
    QProcess helper;
    // Room for about a second of movie, then every write fails as on a full disk.
    helper.start(RECORDING_HELPER, {"testsrc", Movie(1), "60", "150000"});
    ASSERT_TRUE(helper.waitForFinished(60000));
    EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(helper.exitCode(), 3) << "the recording noticed the failure and gave up";
    const MovieFacts movie = ProbeMovie(Movie(1));
    EXPECT_TRUE(movie.format.contains("mpeg1video")) << movie.format.toStdString();
    EXPECT_GT(movie.decodedFrames, 5);
    EXPECT_LE(QFileInfo(Movie(1)).size(), 150000);
}

} // namespace
