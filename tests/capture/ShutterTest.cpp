// Stills through the shutter: numbering, never overwriting, reporting failures, and a full disk
// for stills and movies.
#include "CaptureTestSupport.h"

#include "capture/Shutter.h"
#include "imaging/FramePath.h"
#include "output_files/ImgFileMgr.h"
#include "output_files/MediaKind.h"
#include "output_files/PathChecks.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <sys/mount.h>

using namespace capturetest;

namespace {

class ShutterTest : public CaptureTest {
protected:
    void SetUp() override {
        CaptureTest::SetUp();
        folder = testenv::NewFolder("stills");
        stills = LoadImgFileMgr(CAMMODE_PICT, folder);
        Open("testsrc:320x240@60");
    }
    QString Still(int number) const {
        return folder + QString("/pict%1.jpg").arg(number, 5, 10, QLatin1Char('0'));
    }
    int Shoot() { return ShootStill(*stills, *controller); }
    static int StoredSerial() { return g_UserDefault.GetInt("PictNum", -1); }

    QString folder;
    std::unique_ptr<CImgFileMgr> stills;
};

// The still is the picture shown (mirrored, at the view's size). Files already there, a dangling
// link and a file of the other still type among them, are stepped over and never touched, also
// across the wrap of the serial number, which is then stored past the number taken.
TEST_F(ShutterTest, StillIsThePictureShownAndNeverReplacesAFile) {
    controller->SetMirror(true);
    ASSERT_TRUE(controller->GrabFrame(0, 0, 200, 150));
    stills->SetSerialNumber(65535);
    for (const int n : {65535, 1})
        ASSERT_TRUE(testenv::WriteFile(Still(n), "mine"));
    ASSERT_TRUE(QFile::link(folder + "/nowhere", Still(2)));
    ASSERT_TRUE(testenv::WriteFile(folder + "/pict00003.png", "mine"));
    EXPECT_EQ(Shoot(), 0);
    for (const int n : {65535, 1})
        EXPECT_EQ(testenv::ReadFile(Still(n)), "mine");
    EXPECT_FALSE(QFileInfo::exists(folder + "/nowhere"));
    EXPECT_EQ(QDir(folder).entryList(QDir::Hidden | QDir::Files).size(), 4); // no temporary file
    EXPECT_EQ(StoredSerial(), 5);
    const cv::Mat saved = DisplayImageToBgr(QImage(Still(4)));
    // JPEG is lossy: the white block at the picture's top-left sits at the top-right.
    ASSERT_EQ(saved.size(), cv::Size(200, 150));
    EXPECT_GT(cv::mean(saved(cv::Rect(182, 2, 16, 16)))[0], 230);

    // At the camera's size, a PNG still is the camera's frame, mirrored, to the last bit.
    g_UserDefault.WriteString("PictFiletype", "png");
    stills = LoadImgFileMgr(CAMMODE_PICT, folder);
    EXPECT_EQ(ShootStill(*stills, *controller, true), 0);
    const cv::Mat whole = DisplayImageToBgr(QImage(folder + "/pict00005.png"));
    ASSERT_EQ(whole.size(), cv::Size(320, 240));
    EXPECT_EQ(cv::countNonZero(whole(cv::Rect(280, 0, 40, 40)).reshape(1) != 255), 0);
}

// A still that cannot be taken is reported with the message that names its cause, and leaves
// neither a file nor a changed serial number.
TEST_F(ShutterTest, FailedStillIsReportedAndLeavesNothing) {
    ASSERT_TRUE(controller->GrabFrame(0, 0, 64, 48));
    // Tests may run as root, for whom permissions do not apply: the folder cannot be there.
    stills->SetFoldername(folder + "/missing");
    EXPECT_EQ(Shoot(), IDS_CANNOT_SAVE_STILL);
    EXPECT_FALSE(QFileInfo::exists(folder + "/missing")); // a chosen folder is never made
    stills->SetFoldername(folder);
    Open("testsrc,stop=0").GrabFrame(0, 0, 64, 48); // no picture ever comes
    EXPECT_EQ(Shoot(), IDS_NO_PICTURE_YET);
    EXPECT_TRUE(QDir(folder).isEmpty());
    EXPECT_EQ(StoredSerial(), -1); // unchanged, not even written

    // The default folder is made when it is missing (a fresh account).
    ASSERT_TRUE(Open("testsrc:320x240@60").GrabFrame(0, 0, 64, 48));
    QDir(GetDefaultPictFolder()).removeRecursively();
    stills->SetFoldername(GetDefaultPictFolder());
    EXPECT_EQ(Shoot(), 0);
    EXPECT_TRUE(QFileInfo::exists(GetDefaultPictFolder() + "/pict00001.jpg"));
}

// A small file system of its own, filled to the last block, so writes fail with ENOSPC as on a
// full disk. Mounting needs root (as the tests run in CI).
TEST_F(ShutterTest, AFullDiskLeavesNoFileAndKeepsTheSerialNumber) {
    const QString full = testenv::NewFolder("full");
    const QByteArray mountPoint = QFile::encodeName(full);
    if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs: " << std::strerror(errno);
    const std::shared_ptr<void> unmount(
        nullptr, [&](void*) { ::umount2(mountPoint.constData(), MNT_DETACH); });
    QFile filler(full + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    while (filler.write(QByteArray(4096, 'x')) == 4096) {
    }
    const auto files = [&] {
        return QDir(full).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
    };
    ASSERT_TRUE(controller->GrabFrame(0, 0, 320, 240));
    stills->SetFoldername(full);
    EXPECT_EQ(Shoot(), IDS_CANNOT_SAVE_STILL);
    EXPECT_EQ(StoredSerial(), -1); // never advanced
    EXPECT_EQ(files(), QStringList{"filler"});

    // A movie starts (its worker runs), then gives up on its first flush with nothing on disk.
    auto movies = LoadImgFileMgr(CAMMODE_MOV, full);
    MovieClaim claim;
    ASSERT_EQ(StartMovie(*movies, *controller, &claim), 0);
    for (int waitedMs = 0; !controller->RecordingGaveUp() && waitedMs < 20000; waitedMs += 20)
        QThread::msleep(20);
    ASSERT_TRUE(controller->RecordingGaveUp());
    EXPECT_FALSE(controller->RecordingLostCamera()); // the user is told of the folder
    controller->RecordMovie(false, QString(), 0);
    EXPECT_TRUE(TakeBackEmptyMovie(*movies, claim));
    EXPECT_EQ(g_UserDefault.GetInt("MovNum", -1), 1);
    EXPECT_EQ(files(), QStringList{"filler"});
}

} // namespace
