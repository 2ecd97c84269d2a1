// The output path manager: serial numbers, base-name templates, folders and missing tables.
#include "output_files/ImgFileMgr.h"
#include "output_files/MediaKind.h"
#include "output_files/PathChecks.h"
#include "settings/UserDefault.h"
#include "support/TestEnvironment.h"

#include <QDate>
#include <gtest/gtest.h>

namespace {

int Stored(const char* key) {
    return g_UserDefault.GetInt(key, -99);
}

TEST(ImgFileMgrTest, SerialNumbersAreWrittenOnEveryCallAndWrap) {
    testenv::FreshSettings();
    CImgFileMgr none(nullptr, "PictNum");
    EXPECT_EQ(none.MakeFilePath(true), QString());
    EXPECT_EQ(Stored("PictNum"), -99); // nothing written without a table

    auto mgr = testenv::PathManager(CAMMODE_PICT, GetDefaultPictFolder());
    EXPECT_EQ(mgr->MakeFilePath(false), GetDefaultPictFolder() + "/pict00001.jpg");
    EXPECT_EQ(Stored("PictNum"), 1); // written even without advancing
    EXPECT_EQ(mgr->MakeFilePath(true), GetDefaultPictFolder() + "/pict00001.jpg");
    EXPECT_EQ(Stored("PictNum"), 2);
    EXPECT_EQ(mgr->GetSerialNumberText(), "00002");

    g_UserDefault.WriteInt("PictNum", 65535);
    mgr = testenv::PathManager(CAMMODE_PICT, "/f");
    EXPECT_EQ(mgr->MakeFilePath(true), "/f/pict65535.jpg");
    EXPECT_EQ(Stored("PictNum"), 1);
    EXPECT_EQ(mgr->MakeFilePath(true), "/f/pict00001.jpg");
    mgr->ResetSerialNumber();
    EXPECT_EQ(Stored("PictNum"), 1);
    EXPECT_EQ(mgr->MakeFilePath(false), "/f/pict00001.jpg");
    // A number written from outside with more digits is used as it is; the next is 1.
    mgr->SetSerialNumber(1234567);
    EXPECT_EQ(mgr->MakeFilePath(true), "/f/pict1234567.jpg");
    EXPECT_EQ(Stored("PictNum"), 1);
}

TEST(ImgFileMgrTest, BaseNameTemplatesAndFolders) {
    testenv::FreshSettings();
    auto movies = testenv::PathManager(CAMMODE_MOV, "/videos");
    const QDate today = QDate::currentDate();
    const struct {
        QString name, folder, path;
    } cases[] = {
        {"mov", "/videos", "/videos/mov00001.mpg"},
        {"%Y", "/v", "/v/" + QString::number(today.year()) + "00001.mpg"},
        {QString("%Y").repeated(40), "/v", "/v/00001.mpg"}, // expands past 127 characters
        {"%D_", "/v", "/v/" + today.toString("MM-dd-yy") + "_00001.mpg"}, // no "/" from a date
        {"mov", "/videos/", "/videos//mov00001.mpg"},
        {"mov", "", "/mov00001.mpg"},
    };
    for (const auto& c : cases) {
        movies->SetFilename(c.name);
        movies->SetFoldername(c.folder);
        EXPECT_EQ(movies->MakeFilePath(false), c.path) << c.name.toStdString();
    }
    movies->SetFiletypeIndex(3); // no such entry: no extension
    EXPECT_EQ(movies->MakeFilePath(false), "/mov00001.");
}

} // namespace
