// The file-type tables: the two filled tables and the range rules of a lookup.
#include "output_files/FiletypeMgr.h"

#include <gtest/gtest.h>

namespace {

TEST(FiletypeMgrTest, FilledTablesHoldOneEntryEach) {
    FillFiletypeTables();
    FillFiletypeTables(); // a second fill adds nothing
    EXPECT_EQ(g_PictFiletypeMgr.GetCount(), 1);
    EXPECT_EQ(g_MovFiletypeMgr.GetCount(), 1);
    QString description, extension;
    uint32_t codec = 1;
    EXPECT_TRUE(g_PictFiletypeMgr.GetFiletypeWithCodec(0, &description, &extension, codec));
    EXPECT_EQ(description, "JPEG(*.jpg)");
    EXPECT_EQ(extension, "jpg");
    EXPECT_EQ(codec, 0u); // the still table has no codecs
    EXPECT_TRUE(g_MovFiletypeMgr.GetFiletypeWithCodec(0, nullptr, &extension, codec));
    EXPECT_EQ(extension, "mpg");
    EXPECT_EQ(codec, 0x314D4950u); // "PIM1", its first character in the lowest byte
}

class UnevenTable : public CFiletypeMgr {
public:
    void AddDescriptionOnly(const QString& text) { m_arrDescription.append(text); }
};

TEST(FiletypeMgrTest, OutOfRangeAndUnevenTables) {
    UnevenTable table;
    table.AddFiletype("JPEG(*.jpg)", "jpg");
    for (int index : {1, -1}) {
        QString description = "x", extension = "y";
        EXPECT_FALSE(table.GetFiletype(index, &description, &extension));
        EXPECT_TRUE(description.isEmpty() && extension.isEmpty()) << index;
    }
    uint32_t codec = 99;
    EXPECT_TRUE(table.GetFiletypeWithCodec(7, nullptr, nullptr, codec)); // no text requested
    EXPECT_EQ(codec, 0u);
    table.AddDescriptionOnly("odd");
    EXPECT_EQ(table.GetCount(), -1);
    table.RemoveAll();
    EXPECT_EQ(table.GetCount(), 0);
}

} // namespace
