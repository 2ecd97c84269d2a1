#include "platform/StringTable.h"

#include <gtest/gtest.h>

namespace {

TEST(StringTableTest, TableTextWinsOverTheFallback) {
    EXPECT_EQ(
        LoadStringOr(32792, QStringLiteral("Cannot save image file.")),
        QStringLiteral("静止画を保存できません。保存先フォルダが存在しないか、書込み不可です。"));
    EXPECT_EQ(LoadStringOr(57344, QStringLiteral("x")), QStringLiteral("VistrelCV"));
    EXPECT_EQ(LoadStringOr(32776, QStringLiteral("Auto")), QStringLiteral("自動"));
    EXPECT_EQ(LoadStringOr(12345, QStringLiteral("fallback")), QStringLiteral("fallback"));
    EXPECT_TRUE(LoadTableString(32786).isEmpty());
}

TEST(StringTableTest, LineBreaksAndNumbers) {
    const QString text = FormatNumber(LoadTableString(32774), 2001);
    EXPECT_TRUE(text.contains(QLatin1Char('\n')));
    EXPECT_TRUE(text.endsWith(QLatin1String("(2001)")));
    EXPECT_EQ(FormatNumber(QStringLiteral("Cam not found.(%d)"), 1003),
              QStringLiteral("Cam not found.(1003)"));
}

TEST(StringTableTest, MenuTexts) {
    EXPECT_EQ(MenuText(32771), QStringLiteral("環境設定(&P)..."));
    EXPECT_EQ(MenuText(57665), QStringLiteral("アプリケーションの終了(&X)"));
    EXPECT_EQ(MenuText(128), QStringLiteral("ファイル(&F)"));
}

} // namespace
