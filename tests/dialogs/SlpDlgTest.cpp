// The connecting notice: on the screen and painted when its constructor returns, and Enter or
// Escape take it away early.
#include "dialogs/SlpDlg.h"

#include <QApplication>
#include <QTest>
#include <QWindow>
#include <gtest/gtest.h>

namespace {

// Counts paint events of the notice, which arrive while its constructor still runs.
class PaintCounter : public QObject {
public:
    int paints = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        paints += event->type() == QEvent::Paint && watched->objectName() == "SlpDlg";
        return false;
    }
};

TEST(SlpDlg, IsShownAndPaintedBeforeTheConstructorReturns) {
    PaintCounter counter;
    qApp->installEventFilter(&counter);
    CSlpDlg notice;
    qApp->removeEventFilter(&counter);
    EXPECT_GT(counter.paints, 0);
    ASSERT_NE(notice.windowHandle(), nullptr);
    EXPECT_TRUE(notice.windowHandle()->isExposed());
    EXPECT_FALSE(notice.isModal());
}

TEST(SlpDlg, EnterOrEscapeTakesItAwayEarly) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        CSlpDlg notice;
        EXPECT_TRUE(notice.isVisible());
        QTest::keyClick(&notice, key);
        EXPECT_FALSE(notice.isVisible()) << key;
    }
}

} // namespace
