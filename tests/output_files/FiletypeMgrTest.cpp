#include "output_files/FiletypeMgr.h"

#include <gtest/gtest.h>

namespace {

TEST(FiletypeMgrTest, TablesHoldOneEntryEach) {
    FillFiletypeTables();
    FillFiletypeTables(); // a second fill adds nothing
    EXPECT_EQ(g_PictFiletypeMgr.GetCount(), 1);
    EXPECT_EQ(g_MovFiletypeMgr.GetCount(), 1);
    EXPECT_EQ(kCodecMpeg1, 0x314D4950u);

    QString description, extension;
    EXPECT_TRUE(g_PictFiletypeMgr.GetFiletype(0, &description, &extension));
    EXPECT_EQ(description, QStringLiteral("JPEG(*.jpg)"));
    EXPECT_EQ(extension, QStringLiteral("jpg"));

    uint32_t codec = 1;
    EXPECT_TRUE(g_MovFiletypeMgr.GetFiletypeWithCodec(0, nullptr, &extension, codec));
    EXPECT_EQ(codec, kCodecMpeg1);
    EXPECT_EQ(extension, QStringLiteral("mpg"));
    EXPECT_TRUE(g_PictFiletypeMgr.GetFiletypeWithCodec(0, nullptr, nullptr, codec));
    EXPECT_EQ(codec, 0u); // the still table has no codecs
}

TEST(FiletypeMgrTest, IndexOutOfRange) {
    CFiletypeMgr table;
    table.AddFiletype(QStringLiteral("JPEG(*.jpg)"), QStringLiteral("jpg"));
    for (int index : {1, -1}) {
        QString description = QStringLiteral("x"), extension = QStringLiteral("y");
        EXPECT_FALSE(table.GetFiletype(index, &description, &extension));
        EXPECT_TRUE(description.isEmpty());
        EXPECT_TRUE(extension.isEmpty());
    }
    uint32_t codec = 99;
    EXPECT_TRUE(table.GetFiletypeWithCodec(7, nullptr, nullptr, codec)); // no text requested
    EXPECT_EQ(codec, 0u);

    QString extension = QStringLiteral("untouched"), description;
    EXPECT_TRUE(table.GetFiletype(0, &description, nullptr));
    EXPECT_EQ(extension, QStringLiteral("untouched"));
}

class UnevenTable : public CFiletypeMgr {
public:
    void AddDescriptionOnly(const QString& text) { m_arrDescription.append(text); }
};

TEST(FiletypeMgrTest, CountOfInconsistentAndEmptyTables) {
    UnevenTable table;
    table.AddFiletypeWithCodec(QStringLiteral("MPEG-1(*.mpg)"), QStringLiteral("mpg"), kCodecMpeg1);
    table.AddDescriptionOnly(QStringLiteral("odd"));
    EXPECT_EQ(table.GetCount(), -1);
    table.RemoveAll();
    EXPECT_EQ(table.GetCount(), 0);
    uint32_t codec = 5;
    table.GetFiletypeWithCodec(0, nullptr, nullptr, codec);
    EXPECT_EQ(codec, 0u);
}

} // namespace
