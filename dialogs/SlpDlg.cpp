// The connecting notice: shown, and painted at once, for as long as the object lives.
#include "dialogs/SlpDlg.h"

#include "ui_SlpDlg.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QKeyEvent>
#include <QTimer>
#include <QWindow>

namespace {

// How long to wait for the window system to map the notice. A window system that never maps it
// (a hidden session) must not hold up the camera open for longer than this.
constexpr int kMapWaitMs = 1000;
constexpr int kWakeMs = 10;

} // namespace

CSlpDlg::CSlpDlg(QWidget* parent) : CVistrelDialog(parent), m_ui(std::make_unique<Ui::SlpDlg>()) {
    m_ui->setupUi(this);
    ApplyTemplate(kShellDlg8);
    ShowNow();
}

CSlpDlg::~CSlpDlg() = default;

void CSlpDlg::accept() {
    hide();
}

void CSlpDlg::reject() {
    hide();
}

void CSlpDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        hide();
        event->accept();
        return;
    default:
        CVistrelDialog::keyPressEvent(event);
    }
}

void CSlpDlg::ShowNow() {
    show();
    raise();
    // The window system maps the window asynchronously; until it is exposed nothing painted
    // would reach the screen. Only the window system's own events run here, no user input.
    const QDeadlineTimer deadline(kMapWaitMs);
    while (windowHandle() && !windowHandle()->isExposed() && !deadline.hasExpired()) {
        QTimer::singleShot(kWakeMs, this, [] {}); // bounds the wait below
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                        QEventLoop::WaitForMoreEvents);
    }
    repaint();
    // Delivers the painted picture to the window system before the caller blocks.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
