// The FFmpeg writer alone: that it says when it cannot. What it writes is checked by ffprobe on
// every movie of the recording tests.
#include "capture/MovieWriter.h"
#include "output_files/FiletypeMgr.h"
#include "support/TestEnvironment.h"

#include <QFileInfo>
#include <gtest/gtest.h>

TEST(MovieWriterTest, ReportsWhatItCannotDo) {
    const QString folder = testenv::NewFolder("writer-bad");
    CMovieWriter writer;
    EXPECT_FALSE(writer.Open(folder + "/no/such/dir.mpg", kCodecMpeg1, {320, 240}, 30));
    EXPECT_FALSE(writer.Error().isEmpty());
    EXPECT_FALSE(writer.IsOpen());
    EXPECT_FALSE(writer.Open(folder + "/x.mpg", MakeFourCC('N', 'O', 'P', 'E'), {320, 240}, 30));
    EXPECT_FALSE(QFileInfo::exists(folder + "/x.mpg"));

    ASSERT_TRUE(writer.Open(folder + "/ok.mpg", 0, {320, 240}, 30));
    EXPECT_FALSE(writer.WriteFrame(cv::Mat(100, 100, CV_8UC3, cv::Scalar::all(0))));
    EXPECT_FALSE(writer.Error().isEmpty());
    EXPECT_FALSE(writer.Close()); // the failure is not forgotten at the end
}
