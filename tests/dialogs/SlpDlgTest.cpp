// The connecting notice: on the screen and painted when its constructor returns (the camera open
// that follows blocks), and Enter or Escape take it away early.
#include "dialogs/SlpDlg.h"

#include <QApplication>
#include <QTest>
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

TEST(SlpDlg, IsPaintedBeforeTheConstructorReturnsAndEnterOrEscapeTakeItAway) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        PaintCounter counter;
        qApp->installEventFilter(&counter);
        CSlpDlg notice;
        qApp->removeEventFilter(&counter);
        EXPECT_GT(counter.paints, 0);
        QTest::keyClick(&notice, key);
        EXPECT_FALSE(notice.isVisible()) << key;
    }
}

} // namespace
