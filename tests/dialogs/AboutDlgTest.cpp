// The about box: its texts come from the version record the build writes.
#include "dialogs/AboutDlg.h"

#include "DialogTestUtils.h"

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

TEST(VersionRecord, CarriesTheBuildsVersionAndNames) {
    EXPECT_EQ(VersionRecordValue("FileDescription"), QStringLiteral("VistrelCV"));
    EXPECT_EQ(VersionRecordValue("ProductName"), QStringLiteral("VistrelCV"));
    EXPECT_EQ(VersionRecordValue("FileVersion"), QStringLiteral(VISTRELCV_VERSION));
    EXPECT_EQ(VersionRecordValue("FileVersion").split(QLatin1Char('.')).size(), 3);
    EXPECT_FALSE(VersionRecordValue("LegalCopyright").isEmpty());
    EXPECT_FALSE(VersionRecordValue("LegalCopyright").contains(QLatin1Char('\n')));
    EXPECT_TRUE(VersionRecordValue("Comments").isEmpty());
}

TEST(AboutDlg, ShowsDescriptionVersionAndLegalNotice) {
    CAboutDlg dialog;
    const auto* name = dialog.findChild<QLabel*>(QStringLiteral("staticVersion_1007"));
    const auto* legal = dialog.findChild<QLabel*>(QStringLiteral("staticCopyright_1008"));
    const auto* icon = dialog.findChild<QLabel*>(QStringLiteral("staticIcon_128"));
    ASSERT_TRUE(name && legal && icon);
    EXPECT_EQ(name->text(), QStringLiteral("VistrelCV v" VISTRELCV_VERSION));
    EXPECT_EQ(name->text(),
              VersionRecordValue("FileDescription") + " v" + VersionRecordValue("FileVersion"));
    EXPECT_EQ(legal->text(), VersionRecordValue("LegalCopyright"));
    EXPECT_FALSE(icon->pixmap().isNull());
}

TEST(AboutDlg, OkAndEscapeCloseIt) {
    CAboutDlg dialog;
    EXPECT_EQ(dialogtest::ExecWith(dialog,
                                   [&] {
                                       QTest::mouseClick(dialog.findChild<QPushButton*>(
                                                             QStringLiteral("btnOK_1")),
                                                         Qt::LeftButton);
                                   }),
              IDOK);
    EXPECT_EQ(dialogtest::ExecWith(dialog, [&] { QTest::keyClick(&dialog, Qt::Key_Escape); }),
              IDCANCEL);
}
