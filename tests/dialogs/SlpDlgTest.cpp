// The connecting notice: on the screen and painted when its constructor returns, gone with the
// object, and Enter or Escape take it away early.
#include "dialogs/SlpDlg.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
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
        if (event->type() == QEvent::Paint && watched->objectName() == QLatin1String("SlpDlg"))
            ++paints;
        return false;
    }
};

} // namespace

TEST(SlpDlg, IsShownAndPaintedBeforeTheConstructorReturns) {
    PaintCounter counter;
    qApp->installEventFilter(&counter);
    QPointer<CSlpDlg> alive;
    {
        CSlpDlg notice;
        alive = &notice;
        EXPECT_GT(counter.paints, 0);
        EXPECT_TRUE(notice.isVisible());
        ASSERT_NE(notice.windowHandle(), nullptr);
        EXPECT_TRUE(notice.windowHandle()->isExposed());
        const auto* label = notice.findChild<QLabel*>(QStringLiteral("static_1009"));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QStringLiteral("カメラに接続中..."));
        EXPECT_FALSE(notice.isModal());
    }
    qApp->removeEventFilter(&counter);
    EXPECT_TRUE(alive.isNull());
    for (QWidget* window : QApplication::topLevelWidgets())
        EXPECT_NE(window->objectName(), QStringLiteral("SlpDlg"));
}

TEST(SlpDlg, EnterOrEscapeTakesItAwayEarly) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        CSlpDlg notice;
        QTest::keyClick(&notice, key);
        EXPECT_FALSE(notice.isVisible()) << key;
    }
}
