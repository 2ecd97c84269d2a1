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

    auto mgr = LoadImgFileMgr(CAMMODE_PICT, GetDefaultPictFolder());
    EXPECT_EQ(mgr->MakeFilePath(false), GetDefaultPictFolder() + "/pict00001.jpg");
    EXPECT_EQ(Stored("PictNum"), 1); // written even without advancing
    EXPECT_EQ(mgr->MakeFilePath(true), GetDefaultPictFolder() + "/pict00001.jpg");
    EXPECT_EQ(Stored("PictNum"), 2);

    g_UserDefault.WriteInt("PictNum", 65535);
    mgr = LoadImgFileMgr(CAMMODE_PICT, "/f");
    EXPECT_EQ(mgr->MakeFilePath(true), "/f/pict65535.jpg");
    EXPECT_EQ(Stored("PictNum"), 1);
    EXPECT_EQ(mgr->MakeFilePath(true), "/f/pict00001.jpg");
    mgr->ResetSerialNumber();
    EXPECT_EQ(Stored("PictNum"), 1);
    EXPECT_EQ(mgr->MakeFilePath(false), "/f/pict00001.jpg");
    // A stored number the program never writes (edited by hand) reads as the wrap would have it.
    for (const int stored : {-1, 0, 65536, 2147483647}) {
        g_UserDefault.WriteInt("PictNum", stored);
        EXPECT_EQ(LoadImgFileMgr(CAMMODE_PICT, "/f")->MakeFilePath(false), "/f/pict00001.jpg");
    }
}

TEST(ImgFileMgrTest, BaseNameTemplatesAndFolders) {
    testenv::FreshSettings();
    auto movies = LoadImgFileMgr(CAMMODE_MOV, "/videos");
    EXPECT_EQ(movies->MakeFilePath(false), "/videos/mov00001.mpg");
    // A stored name the save-settings dialog refuses (too long, a forbidden character, too long
    // for a file name once expanded) reads as the default.
    for (const QString& stored : {QString(10000, 'a'), QString("a:b"), QString(90, u'あ')}) {
        g_UserDefault.WriteString("MovFilename", stored);
        EXPECT_EQ(LoadImgFileMgr(CAMMODE_MOV, "/v")->MakeFilePath(false), "/v/mov00001.mpg");
    }
    movies->SetFoldername("");
    // The template is expanded at the time of the call; the date read on both sides of it
    // settles a call across midnight.
    movies->SetFilename("%Y%m%d_");
    const QString before = QDate::currentDate().toString("/yyyyMMdd_00001.mpg");
    const QString path = movies->MakeFilePath(false);
    const QString after = QDate::currentDate().toString("/yyyyMMdd_00001.mpg");
    EXPECT_TRUE(path == before || path == after) << path.toStdString();
    movies->SetFilename("mov");
    movies->SetFiletypeIndex(3); // no such entry: no extension
    EXPECT_EQ(movies->MakeFilePath(false), "/mov00001.");
}

// The file type of each kind is stored per camera as its extension; one the program does not
// offer (or another kind's) reads as the kind's first.
TEST(ImgFileMgrTest, FileTypeIsStoredPerCameraAsItsExtension) {
    testenv::FreshSettings(0);
    const struct {
        int camera, kind, chosen;
        const char* stored;
        const char* path;
    } cases[] = {{1, CAMMODE_MOV, 1, "mp4", "/f/mov00001.mp4"},
                 {1, CAMMODE_PICT, 1, "png", "/f/pict00001.png"},
                 {2, CAMMODE_MOV, 0, "mpg", "/f/mov00001.mpg"}};
    for (const auto& c : cases) {
        g_UserDefault.SetIndex(c.camera);
        auto mgr = LoadImgFileMgr(c.kind, "/f");
        mgr->SetFiletypeIndex(c.chosen);
        mgr->SaveFiletypeIndex();
    }
    for (const auto& c : cases) {
        g_UserDefault.SetIndex(c.camera);
        const char* key = IsMovieKind(c.kind) ? "MovFiletype" : "PictFiletype";
        EXPECT_EQ(g_UserDefault.GetString(key, ""), c.stored);
        EXPECT_EQ(LoadImgFileMgr(c.kind, "/f")->MakeFilePath(false), c.path);
    }
    g_UserDefault.SetIndex(0);
    for (const char* stored : {"", "avi", "png", "MP4"}) {
        g_UserDefault.WriteString("MovFiletype", stored);
        EXPECT_EQ(LoadImgFileMgr(CAMMODE_MOV, "/f")->MakeFilePath(false), "/f/mov00001.mpg");
    }
}

} // namespace
