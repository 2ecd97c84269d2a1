// Movie recording end to end: real worker, real FFmpeg writer, every movie checked by ffprobe.
#include "CaptureTestSupport.h"
#include "SoundSync.h"

#include "capture/Shutter.h"
#include "output_files/FiletypeMgr.h"
#include "output_files/ImgFileMgr.h"
#include "output_files/MediaKind.h"
#include "recording/FrameFeed.h"
#include "recording/FrameQueue.h"
#include "recording/MovieOutput.h"
#include "recording/Mp4Writer.h"
#include "recording/RecordingWorker.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <csignal>
#include <mutex>
#include <random>

#include <sys/resource.h>

using namespace capturetest;
using namespace std::chrono_literals;

namespace {

// What the test pattern's moving marker tells about a movie of a 320 x 240 test camera, flipped
// back first when it was recorded mirrored. The marker steps 5 pixels a camera frame and starts
// over every 60 frames, so it numbers the camera frames (modulo 60) in the movie itself:
// start-up, the sound cues and closing, which take machine-dependent time around the first and
// after the last frame, do not count. A movie mirrored when it should not be, or the other way
// round, shows its marker running backwards.
struct MarkerFacts {
    int frames = 0;  // movie frames
    int span = 0;    // camera frames from the first movie frame to the last
    int maxStep = 0; // the most camera frames between two movie frames
    int last = -1;   // the last movie frame's camera frame, modulo 60
};

MarkerFacts ReadMarkers(const QString& movie, bool mirrored = false) {
    MarkerFacts facts;
    const auto reader = CMovieSource::ReadThrough(movie);
    for (cv::Mat frame; reader && reader->Read(frame);) {
        if (mirrored)
            cv::flip(frame, frame, 1);
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
        movies = LoadImgFileMgr(CAMMODE_MOV, folder);
    }
    QString Movie(int number, const char* type = "mpg") const {
        return folder + QString("/mov%1.%2").arg(number, 5, 10, QLatin1Char('0')).arg(type);
    }
    // Movies of the type with `extension` from now on.
    void Choose(const char* extension) {
        g_UserDefault.WriteString(kMovFiletype.key, extension);
        movies = LoadImgFileMgr(CAMMODE_MOV, folder);
    }
    int Start() { return StartMovie(*movies, *controller); }
    void Stop() { controller->RecordMovie(false, QString(), 0); }
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

// While the view refreshes as fast as it can and switches its mirroring, every camera frame
// reaches the movie in order, mirrored as when the recording started: in MPEG-1 each for its time
// on the 30 fps time base, in MP4 each once at its own time, at the camera's size. A movie the
// user stops lasts until the stop whatever the camera's rate; a camera that fails or hangs 2 s
// after opening ends the recording by itself within about 2 s, the movie holding every frame
// until the loss and no padding after. A stop, and closing, with a hung camera complete in
// bounded time; a stop at once still waits for the first frame, so every started recording
// leaves a movie. (A 30 fps camera may lose a frame to timing.)
TEST_F(RecordingTest, MovieHoldsEveryCameraFrameUntilTheStopOrTheLoss) {
    const struct {
        int fps;
        const char* fault; // of the test camera
        int stopAtMs;      // the user stops then (at once when negative); 0: it ends by itself
        bool mirror;
        const char* type = "mpg";
    } cases[] = {{15, "", 3000, false},           {30, "", 3000, true},
                 {30, ",stop=2", 0, false},       {30, ",hang=2", 0, false},
                 {30, ",hang=1", 1500, false},    {30, "", -1, false},
                 {15, "", 3000, true, "mp4"},     {30, "", 3000, false, "mp4"},
                 {30, ",stop=2", 0, false, "mp4"}};
    for (const auto& c : cases) {
        const QString camera = QString("testsrc:320x240@%1%2").arg(c.fps).arg(c.fault);
        SCOPED_TRACE(camera.toStdString() + " " + c.type);
        Choose(c.type);
        Open(camera).SetMirror(c.mirror);
        const int number = movies->SerialNumber();
        QElapsedTimer clock; // the test source's own clock started with Open
        clock.start();
        ASSERT_EQ(Start(), 0);
        Refresh(c.stopAtMs ? c.stopAtMs : 15000);
        const double ran = clock.nsecsElapsed() / 1e9;
        EXPECT_EQ(controller->RecordingLostCamera(), !c.stopAtMs);
        clock.restart();
        Stop();
        EXPECT_LT(clock.elapsed(), 4000);
        clock.restart();
        controller.reset(); // a hung reader is left behind
        EXPECT_LT(clock.elapsed(), 4000);
        const QString movie = Movie(number, c.type);
        const MovieFacts facts = ProbeMovie(movie);
        const bool mp4 = QString(c.type) == "mp4";
        // Movie frames per camera frame: 30 / fps on MPEG-1's time base, one in MP4.
        const double perFrame = mp4 ? 1.0 : 30.0 / c.fps;
        EXPECT_LE(facts.duration, ran + 0.1); // nothing from before the start
        EXPECT_EQ(facts.size, QSize(320, 240));
        const MarkerFacts marks = ReadMarkers(movie, c.mirror);
        EXPECT_LE(marks.maxStep, c.fps == 15 ? 1 : 2);
        if (c.stopAtMs == 3000) {
            // (Where the camera hung, the muxer packs the tiny repeated frames under one
            // timestamp, and the container's duration stops short of them.)
            EXPECT_NEAR(facts.duration, mp4 ? 3.0 : facts.frames / 30.0, 0.1);
            EXPECT_GT(marks.span, c.fps * 2);
            // Each camera frame holds its movie frames; the last one until the stop.
            EXPECT_NEAR(marks.frames, marks.span * perFrame, perFrame + 3);
        } else if (!c.stopAtMs) {
            EXPECT_LT(ran, 2 + 2 + 3); // loss (a hang is seen 2 s on) + 2 s
            EXPECT_LE(std::abs(marks.last - 59), 2) << "the last frame before the loss, at 2 s";
            EXPECT_LE(marks.frames, marks.span + 3) << "padding beyond the loss";
        }
    }
}

// The movie libraries (with theirs, about ninety) are loaded by the first recording, not by a
// camera that is only shown.
TEST_F(RecordingTest, MovieLibrariesLoadWithTheFirstRecording) {
    const auto mapped = [] {
        QFile maps("/proc/self/maps");
        return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("/libavcodec.so");
    };
    Open("testsrc:320x240@30");
    const int number = movies->SerialNumber();
    Refresh(300);
    EXPECT_FALSE(mapped());
    ASSERT_EQ(Start(), 0);
    Refresh(500);
    Stop();
    EXPECT_TRUE(mapped());
    EXPECT_GT(ProbeMovie(Movie(number)).frames, 0);
}

// An MP4 movie takes the camera's size up to 1920 x 1080 (a larger camera is scaled to fit),
// mirrored as shown.
TEST_F(RecordingTest, Mp4MovieTakesTheCamerasSize) {
    Choose("mp4");
    for (const auto& [camera, size] : {std::pair("testsrc:1920x1080@10", QSize(1920, 1080)),
                                       std::pair("testsrc:2560x1440@5", QSize(1920, 1080))}) {
        Open(camera).SetMirror(true);
        const int number = movies->SerialNumber();
        ASSERT_EQ(Start(), 0);
        QThread::msleep(2000);
        Stop();
        EXPECT_EQ(ProbeMovie(Movie(number, "mp4")).size, size) << camera;
        const auto reader = CMovieSource::ReadThrough(Movie(number, "mp4"));
        cv::Mat frame;
        ASSERT_TRUE(reader && reader->Read(frame));
        // The white block at the picture's top-left sits at the top-right.
        EXPECT_GT(cv::mean(frame(cv::Rect(size.width() - 40, 8, 32, 32)))[0], 230) << camera;
    }
}

// An MP4 encoder that falls behind moves to faster settings twice within the movie, which keeps
// every frame at its time and decodes without a fault across the changes, even where the camera
// stalls at a change (the faster encoder's first decoding times then fall before the slower's
// last). With no faster setting left, the next movie is made at half size; one of those that
// keeps up brings back the full size.
TEST_F(RecordingTest, BehindEncoderSpeedsUpWithinTheMovieThenTheNextIsSmaller) {
    const auto record = [this](int number, bool behind) {
        RecThreadParam param;
        param.path = Movie(number, "mp4");
        const std::unique_ptr<CMovieOutput> movie = MakeMovieOutput(kCodecH264);
        cv::Mat picture(360, 640, CV_8UC3);
        cv::randu(picture, 0, 255);
        const StampedFrame frame{picture, {}, 1};
        EXPECT_TRUE(movie->Open(param, frame));
        for (int i = 1; i < 90; ++i) {
            cv::rectangle(picture, cv::Rect(i * 6, 100, 40, 40), cv::Scalar(0, 0, 255), -1);
            if (behind && i % 30 == 0) {
                EXPECT_TRUE(movie->SpeedUp()) << i;
            }
            EXPECT_TRUE(movie->Take(frame, i / 30.0 + 0.25 * (i / 30))); // a stall at each step
        }
        if (behind) {
            EXPECT_EQ(movie->Pace(), "ultrafast");
            EXPECT_FALSE(movie->SpeedUp());
        }
        EXPECT_TRUE(movie->LastUntil(3.5) && movie->Close());
        return ProbeMovie(param.path);
    };
    const MovieFacts behind = record(1, true);
    EXPECT_EQ(behind.frames, 90);
    EXPECT_NEAR(behind.duration, 3.5, 0.05);
    QProcess decode;
    decode.start("ffmpeg", {"-v", "error", "-i", Movie(1, "mp4"), "-f", "null", "-"});
    ASSERT_TRUE(decode.waitForFinished(60000));
    EXPECT_EQ(decode.readAllStandardError(), "");
    EXPECT_EQ(MovieCover(kCodecH264), cv::Size(960, 540));
    EXPECT_EQ(record(2, false).size, QSize(320, 180));
    EXPECT_EQ(record(3, false).size, QSize(640, 360));
}

// A recording whose frames reach the encoder 1.2 s after their capture, as when it is that far
// behind and does not catch up: the recording moves the encoder to a faster setting every 3 s
// until it has none left, which makes the next movie small.
TEST_F(RecordingTest, RecordingThatStaysBehindUsesEveryFasterSetting) {
    struct CLateFeed : CFrameFeed {
        void Attach(std::shared_ptr<CFrameQueue> queue) override {
            const std::lock_guard lock(mutex);
            attached = std::move(queue);
        }
        void Detach(const std::shared_ptr<CFrameQueue>&) override { Attach(nullptr); }
        std::chrono::steady_clock::duration SilenceLimit() const override { return 2s; }
        std::mutex mutex;
        std::shared_ptr<CFrameQueue> attached;
    };
    const auto feed = std::make_shared<CLateFeed>();
    auto param = std::make_unique<RecThreadParam>();
    param->feed = feed;
    param->path = Movie(1, "mp4");
    param->codec = kCodecH264;
    g_bStopRecording.store(false);
    const auto worker = CRecordingWorker::Start(std::move(param));
    const cv::Mat picture(360, 640, CV_8UC3, cv::Scalar(40, 90, 160));
    const auto start = std::chrono::steady_clock::now();
    // Three steps 3 s apart: about 10 s, however slow the machine.
    for (uint64_t n = 1;
         MovieCover(kCodecH264).empty() && std::chrono::steady_clock::now() - start < 60s; ++n) {
        if (const std::lock_guard lock(feed->mutex); feed->attached)
            feed->attached->Push({picture, std::chrono::steady_clock::now() - 1200ms, n});
        QThread::msleep(33);
    }
    g_bStopRecording.store(true);
    worker->Wait(std::chrono::steady_clock::now() + 10s);
    ASSERT_TRUE(worker->Finished());
    EXPECT_EQ(worker->Result(), kRecordingStopped);
    EXPECT_GT(ProbeMovie(Movie(1, "mp4")).frames, 200);
    ASSERT_EQ(MovieCover(kCodecH264), cv::Size(960, 540));
    // A movie that keeps up brings back the full size, for the tests that follow.
    RecThreadParam keepsUp;
    keepsUp.path = Movie(2, "mp4");
    const auto next = MakeMovieOutput(kCodecH264);
    EXPECT_TRUE(next->Open(keepsUp, {picture, {}, 1}) && next->Close());
    EXPECT_EQ(MovieCover(kCodecH264), cv::Size());
}

// A camera open again after a loss but without a frame yet is waited for: a recording started
// then keeps its frames. (One that never gives a picture is the view test's.) Each opening here
// waits 1.5 s before its first frame and delivers until 2 s after it opened; the reader opens it
// again 1 s after a loss.
TEST_F(RecordingTest, RecordingWaitsForTheFirstPictureOfACameraOpenAgain) {
    Open("testsrc:320x240@30,stall=0+1.5,stop=2");
    for (int waitedMs = 0; !controller->CameraLost() && waitedMs < 20000; waitedMs += 10)
        QThread::msleep(10);
    QThread::msleep(1250); // open again, its first frame not yet there
    ASSERT_EQ(Start(), 0);
    for (int waitedMs = 0; !controller->RecordingGaveUp() && waitedMs < 20000; waitedMs += 10)
        QThread::msleep(10);
    EXPECT_TRUE(controller->RecordingLostCamera());
    Stop();
    EXPECT_GT(ProbeMovie(Movie(1)).frames, 5);
}

// An encoder that falls behind: the queue refuses frames beyond its room, in frames and in bytes
// (so large pictures cannot exhaust memory), counts them, and after the camera is lost still
// hands out, in order, what it holds.
TEST(FrameQueueTest, FullQueueRefusesAndCountsNewFramesAndEndsAfterItsFrames) {
    CFrameQueue byCount(2), byBytes(60, 2 * 640 * 480 * 3); // room for two 640 x 480 pictures
    for (CFrameQueue* queue : {&byCount, &byBytes}) {
        for (uint64_t n = 1; n <= 4; ++n)
            queue->Push(StampedFrame{cv::Mat(480, 640, CV_8UC3), {}, n});
        queue->End();
        EXPECT_EQ(queue->Dropped(), 2u);
        StampedFrame frame;
        for (uint64_t n = 1; n <= 2; ++n) {
            ASSERT_EQ(queue->Pop(frame, {}), CFrameQueue::PopResult::Frame);
            EXPECT_EQ(frame.number, n);
        }
        EXPECT_EQ(queue->Pop(frame, {}), CFrameQueue::PopResult::Ended);
    }
}

// The recording runs in a helper process, killed outright 5 s in: at least 3 of its 5 seconds
// play (MPEG-1 keeps 4).
TEST_F(RecordingTest, KilledRecordingKeepsAlmostAllOfItsMovie) {
    for (const auto& [type, seconds] : {std::pair("mpg", 4.0), std::pair("mp4", 3.0)}) {
        QProcess helper;
        helper.start(RECORDING_HELPER, {"testsrc", Movie(1, type)});
        ASSERT_TRUE(helper.waitForReadyRead(20000));
        QThread::msleep(5000);
        ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
        ASSERT_TRUE(helper.waitForFinished(20000));
        const MovieFacts facts = ProbeMovie(Movie(1, type));
        EXPECT_GE(facts.frames, seconds * 30) << type;
        EXPECT_GE(facts.duration, seconds) << type;
    }
}

TEST_F(RecordingTest, FullDiskEndsTheRecordingAndKeepsWhatWasWritten) {
    QProcess helper;
    // Room for about a second of movie, then every write fails with EFBIG as on a full disk.
    helper.setChildProcessModifier([] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{150000, 150000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    });
    helper.start(RECORDING_HELPER, {"testsrc", Movie(1)});
    ASSERT_TRUE(helper.waitForFinished(60000));
    EXPECT_EQ(helper.exitCode(), 3) << "the recording noticed the failure and gave up";
    EXPECT_GT(ProbeMovie(Movie(1)).frames, 5);
}

// A microphone whose clock runs 0.3 % fast or slow against the steady clock, its chunks stamped
// with a few milliseconds of wobble, as the sound server's loop thread gets to them: after two
// minutes (the drift of ten minutes at 0.06 %) the sound still keeps to its stamps, each click,
// made at a whole second, within a frame period of that second. Counting samples at the nominal
// rate would put the last one 0.36 s off. So does sound from a server that loses 30 ms of it now
// and then (as on a machine too busy for the microphone's client), late stamps among the rest.
TEST_F(RecordingTest, SoundKeepsToItsStampsWhenTheMicrophoneClockRunsOff) {
    constexpr int kSeconds = 120, kChunk = 480;
    for (const auto& [rate, lossy] :
         {std::pair(48144.0, false), std::pair(47856.0, false), std::pair(48000.0, true)}) {
        SCOPED_TRACE(rate);
        CMp4Writer writer;
        writer.SetSound(true);
        ASSERT_TRUE(writer.Open(Movie(1, "mp4"), cv::Size(64, 64), "ultrafast", false));
        std::mt19937 random(7);
        std::uniform_int_distribution<int> wobble(-3000, 3000); // microseconds
        std::vector<float> chunk(kChunk);
        int64_t nextFrameUs = 0;
        for (int64_t first = 0; first < int64_t(kSeconds * rate); first += kChunk) {
            for (int i = 0; i < kChunk; ++i) {
                const double at = double(first + i) / rate; // on the steady clock
                chunk[size_t(i)] = at - std::floor(at) < 0.001 ? 0.9f : 0.0f;
            }
            int64_t stampUs = std::llround(double(first) / rate * 1e6) + wobble(random);
            for (; nextFrameUs <= stampUs; nextFrameUs += 100000)
                ASSERT_TRUE(
                    writer.WriteFrame(cv::Mat(64, 64, CV_8UC3, cv::Scalar::all(90)), nextFrameUs));
            const int64_t n = first / kChunk; // 10 ms each, a click in every hundredth
            const bool lost = lossy && n % 70 < 3 && n % 100 != 0;
            if (lossy && n % 70 == 40)
                stampUs += 30000; // the server's loop thread came late
            if (!lost) {
                ASSERT_TRUE(writer.WriteSound(chunk.data(), kChunk, stampUs));
            }
        }
        ASSERT_TRUE(writer.Close(int64_t(kSeconds) * 1000000));
        EXPECT_EQ(ProbeMovie(Movie(1, "mp4")).audio, "aac/48000");
        const QList<double> clicks = Clicks(Movie(1, "mp4"));
        ASSERT_EQ(clicks.size(), kSeconds - 1); // the one at 0 s starts the track
        for (qsizetype i = 0; i < clicks.size(); ++i)
            EXPECT_NEAR(clicks[i], double(i + 1), 1.0 / 30) << "click " << i + 1;
    }
}

} // namespace
