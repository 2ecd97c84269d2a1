#include "output_files/ImgFileMgr.h"
#include "output_files/FiletypeMgr.h"
#include "output_files/PathChecks.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QDate>
#include <gtest/gtest.h>

namespace {

class ImgFileMgrTest : public ::testing::Test {
protected:
    void SetUp() override {
        testenv::ClearSettings();
        g_UserDefault.SetSection(QStringLiteral("UserDefault"));
        g_UserDefault.SetIndex(0);
        FillFiletypeTables();
    }
    // A still manager configured as the live view configures it.
    static std::unique_ptr<CImgFileMgr> StillManager() {
        auto mgr = std::make_unique<CImgFileMgr>(&g_PictFiletypeMgr, QStringLiteral("PictNum"));
        mgr->LoadFilename(QStringLiteral("PictFilename"), QStringLiteral("pict"));
        mgr->LoadFoldername(QStringLiteral("PictFoldername"), GetDefaultPictFolder());
        return mgr;
    }
    static int Stored(const char* key) { return g_UserDefault.GetInt(QLatin1String(key), -99); }
};

TEST_F(ImgFileMgrTest, FirstPathWithDefaultSettings) {
    auto mgr = StillManager();
    EXPECT_EQ(mgr->MakeFilePath(true), GetDefaultPictFolder() + QLatin1String("/pict00001.jpg"));
    EXPECT_EQ(Stored("PictNum"), 2);
    EXPECT_EQ(mgr->GetSerialNumberText(), QStringLiteral("00002"));
}

TEST_F(ImgFileMgrTest, NoAdvanceRepeatsThePathButStillWrites) {
    auto mgr = StillManager();
    mgr->SetFoldername(QStringLiteral("/tmp/x"));
    EXPECT_EQ(Stored("PictNum"), -99);
    const QString first = mgr->MakeFilePath(false);
    EXPECT_EQ(Stored("PictNum"), 1); // written even without advancing
    EXPECT_EQ(mgr->MakeFilePath(false), first);
    EXPECT_EQ(mgr->SerialNumber(), 1);
}

TEST_F(ImgFileMgrTest, SerialNumbersWrapAndReset) {
    g_UserDefault.WriteInt(QStringLiteral("PictNum"), 65535);
    auto mgr = StillManager();
    mgr->SetFoldername(QStringLiteral("/f"));
    EXPECT_EQ(mgr->MakeFilePath(true), QStringLiteral("/f/pict65535.jpg"));
    EXPECT_EQ(Stored("PictNum"), 1);
    EXPECT_EQ(mgr->MakeFilePath(true), QStringLiteral("/f/pict00001.jpg"));

    mgr->ResetSerialNumber();
    EXPECT_EQ(Stored("PictNum"), 1);
    EXPECT_EQ(mgr->MakeFilePath(false), QStringLiteral("/f/pict00001.jpg"));

    // A number written from outside with more digits is used as it is; the next is 1.
    mgr->SetSerialNumber(1234567);
    EXPECT_EQ(mgr->MakeFilePath(true), QStringLiteral("/f/pict1234567.jpg"));
    EXPECT_EQ(Stored("PictNum"), 1);
}

TEST_F(ImgFileMgrTest, BaseNameTemplatesAndFolders) {
    auto movies = std::make_unique<CImgFileMgr>(&g_MovFiletypeMgr, QStringLiteral("MovNum"));
    movies->LoadFilename(QStringLiteral("MovFilename"), QStringLiteral("mov"));
    movies->LoadFoldername(QStringLiteral("MovFoldername"), QStringLiteral("/videos"));
    EXPECT_EQ(movies->MakeFilePath(false), QStringLiteral("/videos/mov00001.mpg"));

    movies->SetFilename(QStringLiteral("%Y"));
    const QString year = QString::number(QDate::currentDate().year());
    EXPECT_EQ(movies->MakeFilePath(false), QStringLiteral("/videos/") + year + "00001.mpg");

    movies->SetFilename(QStringLiteral("%Y").repeated(40)); // expands past 127 characters
    EXPECT_EQ(movies->MakeFilePath(false), QStringLiteral("/videos/00001.mpg"));

    movies->SetFilename(QStringLiteral("%D_")); // the date with slashes stays in the folder
    EXPECT_EQ(movies->MakeFilePath(false).count(QLatin1Char('/')), 2);

    movies->SetFilename(QStringLiteral("mov"));
    movies->SetFoldername(QStringLiteral("/videos/"));
    EXPECT_EQ(movies->MakeFilePath(false), QStringLiteral("/videos//mov00001.mpg"));
    movies->SetFoldername(QString());
    EXPECT_EQ(movies->MakeFilePath(false), QStringLiteral("/mov00001.mpg"));
}

TEST_F(ImgFileMgrTest, NamesAndFoldersPersistOnlyWhenSaved) {
    auto mgr = StillManager();
    mgr->SetFilename(QStringLiteral("shot"));
    mgr->SetFoldername(QStringLiteral("/data"));
    EXPECT_EQ(StillManager()->GetFilename(), QStringLiteral("pict"));
    mgr->SaveFilename();
    mgr->SaveFoldername();
    auto reloaded = StillManager();
    EXPECT_EQ(reloaded->GetFilename(), QStringLiteral("shot"));
    EXPECT_EQ(reloaded->GetFoldername(), QStringLiteral("/data"));
}

TEST_F(ImgFileMgrTest, MissingTableOrEntry) {
    CImgFileMgr none(nullptr, QStringLiteral("PictNum"));
    EXPECT_EQ(none.MakeFilePath(true), QString());
    EXPECT_EQ(Stored("PictNum"), -99); // nothing written

    auto mgr = StillManager();
    mgr->SetFoldername(QStringLiteral("/f"));
    mgr->SetFiletypeIndex(3);
    EXPECT_EQ(mgr->MakeFilePath(false), QStringLiteral("/f/pict00001."));
}

TEST_F(ImgFileMgrTest, CamerasKeepTheirOwnSerialNumbers) {
    StillManager()->MakeFilePath(true);
    StillManager()->MakeFilePath(true);
    g_UserDefault.SetIndex(1);
    EXPECT_EQ(StillManager()->GetSerialNumberText(), QStringLiteral("00001"));
    g_UserDefault.SetIndex(0);
    EXPECT_EQ(StillManager()->GetSerialNumberText(), QStringLiteral("00003"));
}

} // namespace
