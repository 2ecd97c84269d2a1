// The FFmpeg writer alone: what it writes, and that it says when it cannot.
#include "CaptureTestSupport.h"

#include "capture/MovieWriter.h"
#include "output_files/FiletypeMgr.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>
#include <gtest/gtest.h>

using namespace capturetest;

TEST(MovieWriterTest, WritesMpeg1InAProgramStream) {
    const QString path = testenv::NewFolder(QStringLiteral("writer")) + QStringLiteral("/動画.mpg");
    CMovieWriter writer;
    ASSERT_TRUE(writer.Open(path, kCodecMpeg1, {320, 240}, 30)) << writer.Error().toStdString();
    for (int i = 0; i < 45; ++i) {
        cv::Mat frame(240, 320, CV_8UC3, cv::Scalar(i * 5, 100, 255 - i * 5));
        ASSERT_TRUE(writer.WriteFrame(frame));
    }
    EXPECT_EQ(writer.FramesWritten(), 45);
    ASSERT_TRUE(writer.Close());
    EXPECT_TRUE(writer.Close()); // twice is harmless
    const MovieFacts movie = ProbeMovie(path);
    EXPECT_TRUE(movie.ok) << movie.errors.toStdString();
    EXPECT_EQ(movie.container, "mpeg");
    EXPECT_EQ(movie.codec, "mpeg1video");
    EXPECT_EQ(movie.frameRate, "30/1");
    EXPECT_EQ(movie.decodedFrames, 45);
    EXPECT_NEAR(movie.duration, 1.5, 0.05);
}

TEST(MovieWriterTest, ReportsWhatItCannotDo) {
    const QString folder = testenv::NewFolder(QStringLiteral("writer-bad"));
    CMovieWriter writer;
    EXPECT_FALSE(
        writer.Open(folder + QStringLiteral("/no/such/dir.mpg"), kCodecMpeg1, {320, 240}, 30));
    EXPECT_FALSE(writer.Error().isEmpty());
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(writer.Open(folder + QStringLiteral("/x.mpg"), MakeFourCC('N', 'O', 'P', 'E'),
                             {320, 240}, 30));
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/x.mpg")));

    ASSERT_TRUE(writer.Open(folder + QStringLiteral("/ok.mpg"), 0, {320, 240}, 30));
    EXPECT_FALSE(writer.WriteFrame(cv::Mat(100, 100, CV_8UC3, cv::Scalar::all(0))));
    EXPECT_FALSE(writer.Error().isEmpty());
    EXPECT_FALSE(writer.Close()); // the failure is not forgotten at the end
}

TEST(MovieWriterTest, FlushedMovieIsReadableWhileStillOpen) {
    const QString path =
        testenv::NewFolder(QStringLiteral("writer-flush")) + QStringLiteral("/m.mpg");
    CMovieWriter writer;
    ASSERT_TRUE(writer.Open(path, kCodecMpeg1, {320, 240}, 30));
    for (int i = 0; i < 60; ++i)
        ASSERT_TRUE(writer.WriteFrame(cv::Mat(240, 320, CV_8UC3, cv::Scalar(i * 4, 50, 50))));
    ASSERT_TRUE(writer.Flush());
    // What a crash at this moment would leave behind.
    EXPECT_GE(ProbeMovie(path).decodedFrames, 45);
    EXPECT_TRUE(writer.Close());
}
