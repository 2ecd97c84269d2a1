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

#include <cmath>
#include <csignal>

using namespace capturetest;

namespace {

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

    QString folder;
    std::unique_ptr<CImgFileMgr> movies;
};

TEST_F(RecordingTest, StartAndStopAtOnceAndASecondStartStartsNothing) {
    Open("testsrc");
    ASSERT_EQ(Start(), 0);
    EXPECT_TRUE(controller->IsRecording());
    Stop();
    EXPECT_FALSE(controller->IsRecording());
    ExpectValidMovie(ProbeMovie(Movie(1)));
    EXPECT_EQ(Delivered(), (States{{1, 1}, {1, 0}}));

    ASSERT_EQ(Start(), 0);
    EXPECT_EQ(Start(), 0);
    controller->RecordMovie(true, folder + "/other.mpg", 0);
    QThread::msleep(300);
    Stop();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{"mov00001.mpg", "mov00002.mpg"}));
    EXPECT_EQ(g_UserDefault.GetInt("MovNum", -1), 3);
    EXPECT_EQ(Delivered(), (States{{1, 1}, {1, 0}, {1, 1}, {1, 0}}));
    ExpectValidMovie(ProbeMovie(Movie(2)));
}

TEST_F(RecordingTest, MovieLastsAsLongAsTheRecordingWhateverTheCameraRate) {
    for (const char* camera : {"testsrc:640x480@15", "testsrc:640x480@30"}) {
        SCOPED_TRACE(camera);
        Open(camera);
        const int number = movies->SerialNumber();
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(Start(), 0);
        QThread::msleep(3000);
        Stop();
        const double wall = clock.nsecsElapsed() / 1e9;
        const MovieFacts movie = ProbeMovie(Movie(number));
        ExpectValidMovie(movie);
        EXPECT_NEAR(movie.decodedFrames / 30.0, wall, 0.05 * wall);
        EXPECT_NEAR(movie.duration, wall, 0.05 * wall);
    }
}

TEST_F(RecordingTest, MovieKeepsTheMirroringItStartedWith) {
    for (const bool mirrored : {false, true}) {
        SCOPED_TRACE(mirrored ? "mirrored" : "plain");
        Open("testsrc:320x240@30");
        controller->SetMirror(mirrored);
        const int number = movies->SerialNumber();
        ASSERT_EQ(Start(), 0);
        for (int i = 0; i < 6; ++i) {
            // The live view follows every change, the movie none.
            controller->SetMirror((i % 2 == 0) != mirrored);
            controller->GrabFrame(0, 0, 160, 120);
            QThread::msleep(200);
        }
        Stop();
        const QList<cv::Mat> frames = DecodeMovie(Movie(number));
        ASSERT_GT(frames.size(), 20);
        // The test picture has a white block at its top-left corner.
        const cv::Rect left(4, 4, 20, 20), right(296, 4, 20, 20);
        for (int i = 0; i < frames.size(); ++i) {
            EXPECT_GT(cv::mean(frames[i](mirrored ? right : left))[0], 200) << "frame " << i;
            EXPECT_LT(cv::mean(frames[i](mirrored ? left : right))[0], 200) << "frame " << i;
        }
    }
}

TEST_F(RecordingTest, DestroyingTheControllerClosesAPlayableMovie) {
    Open("testsrc");
    ASSERT_EQ(Start(), 0);
    QThread::msleep(1000);
    controller.reset();
    const MovieFacts movie = ProbeMovie(Movie(1));
    ExpectValidMovie(movie);
    EXPECT_GE(movie.decodedFrames, 20);
    EXPECT_EQ(Delivered(), (States{{1, 1}, {1, 0}}));
}

TEST_F(RecordingTest, WorkerThatGivesUpIsNoticedAndLeavesNothing) {
    const struct {
        const char* why;
        const char* camera;
        bool cameraLost; // the cause to tell the user is the camera, not the folder
    } cases[] = {{"no camera", "/nowhere/missing.mp4", false},
                 {"no writer", "testsrc", false},
                 {"camera lost before the start", "testsrc,stop=0", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        Open(c.camera);
        if (QString(c.why) == "no writer")
            controller->RecordMovie(true, folder + "/gone/mov.mpg", 0);
        else
            ASSERT_EQ(Start(), 0);
        QElapsedTimer clock;
        clock.start();
        while (!controller->RecordingGaveUp() && clock.elapsed() < 20000)
            QThread::msleep(10);
        ASSERT_TRUE(controller->RecordingGaveUp());
        EXPECT_EQ(controller->RecordingLostCamera(), c.cameraLost);
        EXPECT_TRUE(controller->IsRecording()); // until the user-interface thread runs the stop
        Stop();
        EXPECT_FALSE(controller->IsRecording());
        EXPECT_FALSE(controller->RecordingGaveUp());
        EXPECT_TRUE(QDir(folder).entryList(QDir::Files).isEmpty()); // the probe file is gone
    }
}

// The view refreshing as fast as it can (Perform 0) takes no frame away from the movie: each
// frame of a 15 fps clip (told apart by its colour) follows the one before, shown for its two
// 1/30 s slots, none skipped.
TEST_F(RecordingTest, EveryCameraFrameReachesTheMovieWhileTheViewRefreshes) {
    const QString clip = testenv::NewFolder("clip") + "/clip.avi";
    constexpr int kClipFrames = 20;
    ASSERT_TRUE(WriteTestVideo(clip, {320, 240}, kClipFrames, 15.0));
    Open(clip);
    ASSERT_EQ(Start(), 0);
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < 3000) {
        controller->GrabFrame(0, 0, 160, 120);
        QThread::msleep(10);
    }
    Stop();
    ExpectValidMovie(ProbeMovie(Movie(1)));
    QList<int> shown; // the clip's frame number in each movie frame
    for (const cv::Mat& frame : DecodeMovie(Movie(1))) // WriteTestVideo: red = 200 - 10 x number
        shown << int(std::lround((200 - cv::mean(frame(cv::Rect(200, 150, 60, 60)))[2]) / 10));
    ASSERT_GT(shown.size(), 60);
    int distinct = 1;
    for (int i = 1; i < shown.size(); ++i) {
        const int step = (shown[i] - shown[i - 1] + kClipFrames) % kClipFrames;
        EXPECT_LE(step, 1) << "movie frame " << i << ": clip frame " << shown[i - 1] << " then "
                           << shown[i];
        distinct += step;
    }
    EXPECT_GE(distinct, shown.size() / 2 - 3);
}

// A recording whose camera fails or hangs ends by itself within about 2 s of the loss, keeping
// every frame until then and no padding after; a stop while the camera hangs ends at once; and
// no recording starts again when the camera comes back.
TEST_F(RecordingTest, CameraLossEndsTheRecordingWithEveryFrameUntilThen) {
    const struct {
        const char* camera;
        int stopAtMs; // the user stops then; 0: waits for the recording to end by itself
    } cases[] = {{"testsrc:320x240@30,stop=2", 0},
                 {"testsrc:320x240@30,hang=2", 0},
                 {"testsrc:320x240@30,hang=1", 1500}};
    int recorded = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.camera);
        Open(c.camera);
        const int number = movies->SerialNumber();
        QElapsedTimer clock; // the test source's own clock started with Open
        clock.start();
        ASSERT_EQ(Start(), 0);
        ++recorded;
        const int limitMs = c.stopAtMs ? c.stopAtMs : 15000;
        while (!controller->RecordingGaveUp() && clock.elapsed() < limitMs) {
            controller->GrabFrame(0, 0, 64, 48);
            QThread::msleep(10);
        }
        if (c.stopAtMs) {
            EXPECT_FALSE(controller->RecordingGaveUp());
        } else {
            ASSERT_TRUE(controller->RecordingLostCamera());
            EXPECT_LT(clock.elapsed(), 2000 + 2000 + 3000); // loss (a hang is seen 2 s on) + 2 s
        }
        clock.restart();
        Stop();
        EXPECT_LT(clock.elapsed(), 6000);
        EXPECT_FALSE(controller->IsRecording());
        const MovieFacts movie = ProbeMovie(Movie(number));
        ExpectValidMovie(movie);
        const double realSeconds = c.stopAtMs ? c.stopAtMs / 1000.0 : 2.0;
        EXPECT_GE(movie.decodedFrames, 30 * (realSeconds - 1));
        EXPECT_LE(movie.decodedFrames, 30 * (realSeconds + 0.5)) << "padding beyond the loss";
        QThread::msleep(c.stopAtMs ? 0 : 1500); // a failed camera comes back meanwhile
        EXPECT_FALSE(controller->IsRecording());
        clock.restart();
        controller.reset(); // the hung reader is left behind
        EXPECT_LT(clock.elapsed(), 6000);
    }
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), recorded);
    EXPECT_EQ(Delivered().size(), 2 * recorded); // each recording: started, stopped
}

// An encoder that falls behind: the queue keeps the oldest frames in order, counts what it
// refuses, and after the camera is lost still hands out what it holds before saying so.
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
    EXPECT_EQ(bounded.Pop(frame, std::chrono::milliseconds(20)), CFrameQueue::PopResult::Frame);
    bounded.Push(StampedFrame{cv::Mat(480, 640, CV_8UC3), {}, 4}); // room again
    EXPECT_EQ(bounded.Dropped(), 1u);
    CFrameQueue quiet(3);
    EXPECT_EQ(quiet.Pop(frame, std::chrono::milliseconds(20)), CFrameQueue::PopResult::Empty);
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
    EXPECT_EQ(movie.codec, "mpeg1video");
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
    EXPECT_EQ(movie.codec, "mpeg1video");
    EXPECT_GT(movie.decodedFrames, 5);
    EXPECT_LE(QFileInfo(Movie(1)).size(), 150000);
}

} // namespace
