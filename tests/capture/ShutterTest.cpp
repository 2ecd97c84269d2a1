// Stills through the shutter: numbering, never overwriting, reporting failures, file names.
#include "CaptureTestSupport.h"

#include "capture/CVController.h"
#include "capture/Shutter.h"
#include "output_files/FiletypeMgr.h"
#include "output_files/ImgFileMgr.h"
#include "output_files/PathChecks.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

using namespace capturetest;

namespace {

class ShutterTest : public ::testing::Test {
protected:
    void SetUp() override {
        testenv::ClearSettings();
        g_UserDefault.SetSection(QStringLiteral("UserDefault"));
        g_UserDefault.SetIndex(0);
        FillFiletypeTables();
        m_folder = testenv::NewFolder(QStringLiteral("stills"));
        m_stills = std::make_unique<CImgFileMgr>(&g_PictFiletypeMgr, QStringLiteral("PictNum"));
        m_stills->LoadFilename(QStringLiteral("PictFilename"), QStringLiteral("pict"));
        m_stills->LoadFoldername(QStringLiteral("PictFoldername"), m_folder);
        m_controller.OpenCamera(0);
    }
    QString Still(int number) const {
        return m_folder + QStringLiteral("/pict%1.jpg").arg(number, 5, 10, QLatin1Char('0'));
    }
    static int StoredSerial() { return g_UserDefault.GetInt(QStringLiteral("PictNum"), -1); }
    static void WriteText(const QString& path, const QByteArray& text) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    static QByteArray ReadAll(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    CCameraList m_cameras{QStringLiteral("testsrc:320x240@60")};
    QString m_folder;
    std::unique_ptr<CImgFileMgr> m_stills;
    CStateRecorder m_view;
    CCVController m_controller{&m_view};
};

} // namespace

TEST_F(ShutterTest, TwoStillsGetConsecutiveNumbersAtTheDisplaySize) {
    ASSERT_TRUE(m_controller.GrabFrame(0, 0, 200, 150));
    EXPECT_EQ(ShootStill(*m_stills, m_controller), 0);
    ASSERT_TRUE(m_controller.GrabFrame(0, 0, 200, 150));
    EXPECT_EQ(ShootStill(*m_stills, m_controller), 0);
    for (const int n : {1, 2}) {
        const cv::Mat saved = cv::imread(Still(n).toStdString());
        ASSERT_FALSE(saved.empty()) << n;
        EXPECT_EQ(saved.size(), cv::Size(200, 150));
    }
    EXPECT_FALSE(QFileInfo::exists(Still(3)));
    EXPECT_EQ(StoredSerial(), 3);
}

TEST_F(ShutterTest, MirroredStillIsTheMirroredDisplayImage) {
    m_controller.SetMirror(true);
    ASSERT_TRUE(m_controller.GrabFrame(0, 0, 320, 240));
    ASSERT_EQ(ShootStill(*m_stills, m_controller), 0);
    const cv::Mat saved = cv::imread(Still(1).toStdString());
    ASSERT_FALSE(saved.empty());
    // JPEG is lossy: compare the regions that tell mirroring apart. The test picture has a
    // white block at its top-left, so mirrored it sits at the top-right.
    const cv::Rect topLeft(2, 2, 16, 16), topRight(320 - 18, 2, 16, 16);
    EXPECT_GT(cv::mean(saved(topRight))[0], 230);
    EXPECT_LT(cv::mean(saved(topLeft))[0], 200);
}

TEST_F(ShutterTest, ExistingFilesAreNeverTouched) {
    ASSERT_TRUE(m_controller.GrabFrame(0, 0, 64, 48));
    WriteText(Still(1), "mine");
    WriteText(Still(2), "mine too");
    EXPECT_EQ(ShootStill(*m_stills, m_controller), 0);
    EXPECT_EQ(ReadAll(Still(1)), QByteArray("mine"));
    EXPECT_EQ(ReadAll(Still(2)), QByteArray("mine too"));
    EXPECT_FALSE(cv::imread(Still(3).toStdString()).empty());
    EXPECT_EQ(StoredSerial(), 4); // the stored number follows past the taken ones
}

TEST_F(ShutterTest, WrapPastTheLastNumberSkipsTakenFiles) {
    ASSERT_TRUE(m_controller.GrabFrame(0, 0, 64, 48));
    m_stills->SetSerialNumber(65535);
    WriteText(Still(65535), "old");
    WriteText(Still(1), "old");
    EXPECT_EQ(ShootStill(*m_stills, m_controller), 0);
    EXPECT_FALSE(cv::imread(Still(2).toStdString()).empty());
    EXPECT_EQ(ReadAll(Still(65535)), QByteArray("old"));
    EXPECT_EQ(StoredSerial(), 3);
}

TEST_F(ShutterTest, UnwritableFolderIsReportedAndLeavesNothing) {
    ASSERT_TRUE(m_controller.GrabFrame(0, 0, 64, 48));
    // Tests may run as root, for whom permissions do not apply: use folders that cannot hold
    // files at all (one that is missing, and one under a plain file).
    WriteText(m_folder + "/plainfile", "x");
    for (const QString& folder : QStringList{m_folder + "/missing", m_folder + "/plainfile/sub"}) {
        SCOPED_TRACE(folder.toStdString());
        m_stills->SetFoldername(folder);
        m_view.states.clear();
        EXPECT_EQ(ShootStill(*m_stills, m_controller), IDS_CANNOT_SAVE_STILL);
        EXPECT_EQ(StoredSerial(), 1);         // unchanged
        EXPECT_TRUE(m_view.states.isEmpty()); // nothing started
    }
    EXPECT_EQ(QDir(m_folder).entryList(QDir::Files), QStringList{"plainfile"});
}

TEST_F(ShutterTest, MissingDefaultFolderIsMadeButAChosenOneIsNot) {
    ASSERT_TRUE(m_controller.GrabFrame(0, 0, 64, 48));
    const QString pictures = GetDefaultPictFolder();
    QDir(pictures).removeRecursively();
    m_stills->SetFoldername(pictures);
    EXPECT_EQ(ShootStill(*m_stills, m_controller), 0);
    EXPECT_TRUE(QFileInfo::exists(pictures + QLatin1String("/pict00001.jpg")));

    const QString chosen = m_folder + QLatin1String("/chosen");
    m_stills->SetFoldername(chosen);
    EXPECT_EQ(ShootStill(*m_stills, m_controller), IDS_CANNOT_SAVE_STILL);
    EXPECT_FALSE(QFileInfo::exists(chosen));
}

TEST_F(ShutterTest, StillWithoutAPictureIsReportedAndLeavesNothing) {
    // No grab yet: there is no display image to save.
    EXPECT_EQ(ShootStill(*m_stills, m_controller), IDS_CANNOT_SAVE_STILL);
    EXPECT_TRUE(QDir(m_folder).entryList(QDir::Files).isEmpty());
    QCoreApplication::sendPostedEvents(&m_view);
    // The panel got its busy state and is back to idle.
    EXPECT_EQ(m_view.states, (QList<QPair<int, int>>{{0, 1}, {0, 0}}));
}

TEST_F(ShutterTest, AnyFileNameTheFileSystemTakesWorks) {
    ASSERT_TRUE(m_controller.GrabFrame(0, 0, 64, 48));
    // Characters outside any legacy code page, and a path far beyond 2047 bytes.
    QString folder = m_folder + QStringLiteral("/写真 📷 Ünïcødé");
    for (int i = 0; i < 12; ++i)
        folder += QLatin1Char('/') + QString(200, QChar(u'あ' + i)).left(80); // 240 bytes each
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_GT(QFile::encodeName(folder).size(), 2047);
    m_stills->SetFoldername(folder);
    m_stills->SetFilename(QStringLiteral("猫_%Y"));
    EXPECT_EQ(ShootStill(*m_stills, m_controller), 0);
    const QStringList files = QDir(folder).entryList(QDir::Files);
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files[0].startsWith(QStringLiteral("猫_")));
    QImage saved(folder + QLatin1Char('/') + files[0]);
    EXPECT_EQ(saved.size(), QSize(64, 48));
}

TEST(TestCreateFileTest, CreatesOnlyWhatIsNotThere) {
    const QString folder = testenv::NewFolder(QStringLiteral("probe"));
    const QString path = folder + QStringLiteral("/a.jpg");
    EXPECT_TRUE(TestCreateFile(path));
    EXPECT_EQ(QFileInfo(path).size(), 0);
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("keep");
    file.close();
    EXPECT_FALSE(TestCreateFile(path)); // exists: neither truncated nor reported as created
    EXPECT_EQ(QFileInfo(path).size(), 4);
    EXPECT_FALSE(TestCreateFile(folder + QStringLiteral("/no/such/folder.jpg")));
    EXPECT_FALSE(TestCreateFile(QString()));
    ASSERT_TRUE(
        QFile::link(folder + QStringLiteral("/nowhere"), folder + QStringLiteral("/l.jpg")));
    EXPECT_FALSE(TestCreateFile(folder + QStringLiteral("/l.jpg"))); // no write through a link
    EXPECT_FALSE(QFileInfo::exists(folder + QStringLiteral("/nowhere")));
}
