// The about box: its texts come from the version record the build writes.
#include "dialogs/AboutDlg.h"

#include "DialogTestUtils.h"

#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

using namespace dialogtest;

TEST(AboutDlg, ShowsDescriptionVersionAndLegalNoticeOfTheBuild) {
    const QString legal = VersionRecordValue("LegalCopyright");
    EXPECT_FALSE(legal.isEmpty() || legal.contains('\n'));
    CAboutDlg dialog;
    EXPECT_EQ(Child<QLabel>(dialog, "staticVersion_1007")->text(), "VistrelCV v" VISTRELCV_VERSION);
    EXPECT_EQ(Child<QLabel>(dialog, "staticCopyright_1008")->text(), legal);
    EXPECT_EQ(ExecWith(dialog, [&] { Click(Child<QPushButton>(dialog, "btnOK_1")); }), IDOK);
}
