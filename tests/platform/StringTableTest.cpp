// The string table: its text wins over the fallback, numbers, and Qt's own texts in Japanese.
#include "platform/StringTable.h"

#include <QCoreApplication>
#include <QLocale>
#include <gtest/gtest.h>

TEST(StringTableTest, TableTextWinsOverTheFallback) {
    EXPECT_EQ(LoadStringOr(57344, "x"), "VistrelCV");
    EXPECT_EQ(LoadStringOr(12345, "fallback"), "fallback");
    EXPECT_TRUE(LoadTableString(32786).isEmpty());
    EXPECT_TRUE(FormatNumber(LoadTableString(32774), 2001).endsWith("(2001)"));
    EXPECT_EQ(MenuText(32771), "環境設定(&P)...");
}

TEST(StringTableTest, QtsOwnTextsAreJapaneseWhateverTheLocale) {
    const QLocale before;
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ASSERT_TRUE(InstallQtTranslations()); // needs qt6-translations-l10n
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "キャンセル");
    QLocale::setDefault(before);
}
