// The string table: its text wins over the fallback, line breaks, numbers and menu texts.
#include "platform/StringTable.h"

#include <QCoreApplication>
#include <QLocale>
#include <gtest/gtest.h>

TEST(StringTableTest, TableTextWinsOverTheFallback) {
    EXPECT_EQ(LoadStringOr(32792, "Cannot save image file."),
              "静止画を保存できません。保存先フォルダが存在しないか、書込み不可です。");
    EXPECT_EQ(LoadStringOr(57344, "x"), "VistrelCV");
    EXPECT_EQ(LoadStringOr(12345, "fallback"), "fallback");
    EXPECT_TRUE(LoadTableString(32786).isEmpty());
    const QString text = FormatNumber(LoadTableString(32774), 2001);
    EXPECT_TRUE(text.contains('\n'));
    EXPECT_TRUE(text.endsWith("(2001)"));
    EXPECT_EQ(MenuText(32771), "環境設定(&P)...");
    EXPECT_EQ(MenuText(128), "ファイル(&F)");
}

TEST(StringTableTest, QtsOwnTextsAreJapaneseWhateverTheLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ASSERT_TRUE(InstallQtTranslations()); // needs qt6-translations-l10n
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "キャンセル");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:"), "アドレス:");
    QLocale::setDefault(before);
}
