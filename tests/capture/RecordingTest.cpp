// Movie recording end to end: real worker, real FFmpeg writer, every movie checked by ffprobe.
#include "CaptureTestSupport.h"

#include "capture/CVController.h"
#include "capture/Shutter.h"
#include "output_files/FiletypeMgr.h"
#include "output_files/ImgFileMgr.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QThread>
#include <gtest/gtest.h>

#include <csignal>

using namespace capturetest;
using States = QList<QPair<int, int>>;

namespace {

void ExpectValidMovie(const MovieFacts& movie) {
    EXPECT_TRUE(movie.ok) << movie.errors.toStdString();
    EXPECT_EQ(movie.container, "mpeg");
    EXPECT_EQ(movie.codec, "mpeg1video");
    EXPECT_EQ(movie.width, 320);
    EXPECT_EQ(movie.height, 240);
    EXPECT_EQ(movie.frameRate, "30/1");
    EXPECT_GT(movie.decodedFrames, 0);
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 20000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QThread::msleep(10);
    }
    return true;
}

class RecordingTest : public ::testing::Test {
protected:
    void SetUp() override {
        testenv::ClearSettings();
        g_UserDefault.SetSection(QStringLiteral("UserDefault"));
        g_UserDefault.SetIndex(0);
        FillFiletypeTables();
        m_folder = testenv::NewFolder(QStringLiteral("movies"));
        m_movies = std::make_unique<CImgFileMgr>(&g_MovFiletypeMgr, QStringLiteral("MovNum"));
        m_movies->LoadFilename(QStringLiteral("MovFilename"), QStringLiteral("mov"));
        m_movies->LoadFoldername(QStringLiteral("MovFoldername"), m_folder);
    }
    QString Movie(int number) const {
        return m_folder + QStringLiteral("/mov%1.mpg").arg(number, 5, 10, QLatin1Char('0'));
    }
    // Records for `seconds` and returns the wall time between start and stop.
    double Record(CCVController& controller, double seconds) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(StartMovie(*m_movies, controller), 0);
        QThread::msleep(static_cast<unsigned long>(seconds * 1000));
        controller.RecordMovie(false, QString(), 0);
        return clock.nsecsElapsed() / 1e9;
    }

    QString m_folder;
    std::unique_ptr<CImgFileMgr> m_movies;
    CStateRecorder m_view;
};

} // namespace

TEST_F(RecordingTest, StartAndStopAtOnceGivesAValidMovie) {
    CCameraList list(QStringLiteral("testsrc"));
    CCVController controller(&m_view);
    controller.OpenCamera(0);
    ASSERT_EQ(StartMovie(*m_movies, controller), 0);
    EXPECT_TRUE(controller.IsRecording());
    controller.RecordMovie(false, QString(), 0);
    EXPECT_FALSE(controller.IsRecording());
    ExpectValidMovie(ProbeMovie(Movie(1)));
    QCoreApplication::sendPostedEvents(&m_view);
    EXPECT_EQ(m_view.states, (States{{1, 1}, {1, 0}}));
}

TEST_F(RecordingTest, MovieLastsAsLongAsTheRecordingWhateverTheCameraRate) {
    for (const char* camera : {"testsrc:640x480@15", "testsrc:640x480@30"}) {
        SCOPED_TRACE(camera);
        CCameraList list(QString::fromLatin1(camera));
        CCVController controller(&m_view);
        controller.OpenCamera(0);
        const int number = m_movies->SerialNumber();
        const double wall = Record(controller, 3.0);
        const MovieFacts movie = ProbeMovie(Movie(number));
        ExpectValidMovie(movie);
        EXPECT_NEAR(movie.decodedFrames / 30.0, wall, 0.05 * wall);
        EXPECT_NEAR(movie.duration, wall, 0.05 * wall);
    }
}

TEST_F(RecordingTest, TogglingMirrorDuringARecordingLeavesTheMovieAlone) {
    CCameraList list(QStringLiteral("testsrc:320x240@30"));
    CCVController controller(&m_view);
    controller.OpenCamera(0);
    ASSERT_EQ(StartMovie(*m_movies, controller), 0);
    for (int i = 0; i < 6; ++i) {
        controller.SetMirror(i % 2 == 0); // the live view follows, the movie does not
        ASSERT_TRUE(controller.GrabFrame(0, 0, 160, 120));
        QThread::msleep(200);
    }
    controller.RecordMovie(false, QString(), 0);
    const QList<cv::Mat> frames = DecodeMovie(Movie(1));
    ASSERT_GT(frames.size(), 20);
    // The test picture has a white block at its top-left corner.
    for (int i = 0; i < frames.size(); ++i) {
        EXPECT_GT(cv::mean(frames[i](cv::Rect(4, 4, 20, 20)))[0], 200) << "frame " << i;
        EXPECT_LT(cv::mean(frames[i](cv::Rect(296, 4, 20, 20)))[0], 200) << "frame " << i;
    }
}

TEST_F(RecordingTest, SecondStartWhileRecordingStartsNothing) {
    CCameraList list(QStringLiteral("testsrc"));
    CCVController controller(&m_view);
    controller.OpenCamera(0);
    ASSERT_EQ(StartMovie(*m_movies, controller), 0);
    EXPECT_EQ(StartMovie(*m_movies, controller), 0);
    controller.RecordMovie(true, m_folder + QStringLiteral("/other.mpg"), 0);
    QThread::msleep(300);
    controller.RecordMovie(false, QString(), 0);
    EXPECT_EQ(QDir(m_folder).entryList(QDir::Files), QStringList{"mov00001.mpg"});
    EXPECT_EQ(g_UserDefault.GetInt(QStringLiteral("MovNum"), -1), 2);
    QCoreApplication::sendPostedEvents(&m_view);
    EXPECT_EQ(m_view.states, (States{{1, 1}, {1, 0}}));
    ExpectValidMovie(ProbeMovie(Movie(1)));
}

TEST_F(RecordingTest, DestroyingTheControllerClosesAPlayableMovie) {
    {
        CCameraList list(QStringLiteral("testsrc"));
        CCVController controller(&m_view);
        controller.OpenCamera(0);
        ASSERT_EQ(StartMovie(*m_movies, controller), 0);
        QThread::msleep(1000);
    }
    const MovieFacts movie = ProbeMovie(Movie(1));
    ExpectValidMovie(movie);
    EXPECT_GE(movie.decodedFrames, 20);
    QCoreApplication::sendPostedEvents(&m_view);
    EXPECT_EQ(m_view.states, (States{{1, 1}, {1, 0}}));
}

TEST_F(RecordingTest, WorkerThatGivesUpIsNoticedAndLeavesNothing) {
    CCameraList list(QStringLiteral("/nowhere/missing.mp4"));
    CCVController controller(&m_view);
    controller.OpenCamera(0); // no camera
    ASSERT_EQ(StartMovie(*m_movies, controller), 0);
    ASSERT_TRUE(WaitFor([&] { return controller.RecordingGaveUp(); }));
    EXPECT_TRUE(controller.IsRecording()); // until the user-interface thread runs the stop
    controller.RecordMovie(false, QString(), 0);
    EXPECT_FALSE(controller.IsRecording());
    EXPECT_FALSE(controller.RecordingGaveUp());
    EXPECT_TRUE(QDir(m_folder).entryList(QDir::Files).isEmpty()); // the probe file is gone
}

TEST_F(RecordingTest, WriterThatCannotBeCreatedGivesUp) {
    CCameraList list(QStringLiteral("testsrc"));
    CCVController controller(&m_view);
    controller.OpenCamera(0);
    controller.RecordMovie(true, m_folder + QStringLiteral("/gone/mov.mpg"), 0);
    ASSERT_TRUE(controller.IsRecording());
    ASSERT_TRUE(WaitFor([&] { return controller.RecordingGaveUp(); }));
    controller.RecordMovie(false, QString(), 0);
    EXPECT_FALSE(controller.IsRecording());
}

TEST_F(RecordingTest, FolderThatCannotHoldTheMovieIsReported) {
    CCameraList list(QStringLiteral("testsrc"));
    CCVController controller(&m_view);
    controller.OpenCamera(0);
    m_movies->SetFoldername(m_folder + QStringLiteral("/missing"));
    EXPECT_EQ(StartMovie(*m_movies, controller), IDS_CANNOT_SAVE_MOVIE);
    EXPECT_FALSE(controller.IsRecording());
    EXPECT_EQ(m_movies->SerialNumber(), 1);
}

TEST_F(RecordingTest, KilledRecordingKeepsAlmostAllOfItsMovie) {
    const QString path = Movie(1);
    QProcess helper;
    helper.start(QStringLiteral(RECORDING_HELPER), {"testsrc", path, "60"});
    ASSERT_TRUE(helper.waitForReadyRead(20000));
    QThread::msleep(5000);
    ::kill(static_cast<pid_t>(helper.processId()), SIGKILL);
    ASSERT_TRUE(helper.waitForFinished(20000));
    EXPECT_EQ(helper.exitStatus(), QProcess::CrashExit);
    const MovieFacts movie = ProbeMovie(path);
    EXPECT_EQ(movie.codec, "mpeg1video");
    EXPECT_GE(movie.decodedFrames, 4 * 30) << "at least 4 of the 5 seconds can be played";
}

TEST_F(RecordingTest, FullDiskEndsTheRecordingAndKeepsWhatWasWritten) {
    const QString path = Movie(1);
    QProcess helper;
    // Room for about a second of movie, then every write fails as on a full disk.
    helper.start(QStringLiteral(RECORDING_HELPER), {"testsrc", path, "60", "150000"});
    ASSERT_TRUE(helper.waitForFinished(60000));
    EXPECT_EQ(helper.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(helper.exitCode(), 3) << "the recording noticed the failure and gave up";
    const MovieFacts movie = ProbeMovie(path);
    EXPECT_EQ(movie.codec, "mpeg1video");
    EXPECT_GT(movie.decodedFrames, 5);
    EXPECT_LE(QFileInfo(path).size(), 150000);
}
