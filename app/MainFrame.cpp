#include "app/MainFrame.h"

#include "dialogs/PanelFollowEvent.h"
#include "platform/WindowShape.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "view/ContextMenu.h"
#include "view/VistrelCVView.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QStyleHints>
#include <QVBoxLayout>
#include <QWindow>

namespace {

constexpr int kFrameInset = 3;

bool IsShutterKey(const QKeyEvent* event) {
    const int key = event->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space;
}

QList<QRect> AvailableScreenAreas() {
    QList<QRect> areas;
    for (const QScreen* screen : QGuiApplication::screens())
        areas << screen->availableGeometry();
    return areas;
}

} // namespace

CMainFrame::CMainFrame(CFrameHost& host)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_host(host) {
    setWindowTitle(QStringLiteral("VistrelCV"));
    setObjectName(QStringLiteral("MainFrame"));
    setMinimumSize(kMinimumFrameSize);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true); // the cursor shows the sizing zones

    const QSize picture = m_host.GetFrameSize();
    const QRect placement =
        ResolvePlacement(g_UserDefault.GetInt(kWndX.key, kWndX.intDefault),
                         g_UserDefault.GetInt(kWndY.key, kWndY.intDefault),
                         g_UserDefault.GetInt(kWndWidth.key, picture.width()),
                         g_UserDefault.GetInt(kWndHeight.key, picture.height()), picture);
    setGeometry(FitToScreens(placement, AvailableScreenAreas()));
    if (StayOnTopSupported())
        setWindowFlag(Qt::WindowStaysOnTopHint,
                      g_UserDefault.GetInt(kStayOnTop.key, kStayOnTop.intDefault) != 0);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::Create(int camera, std::shared_ptr<CCameraReader> opened) {
    SetWindowAlpha(m_host.GetAlpha());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_pView = new CVistrelCVView(this);
    m_pView->setObjectName(QStringLiteral("VistrelCVView"));
    layout->addWidget(m_pView);
    m_pView->setMouseTracking(true); // its mouse moves come on to us for the cursor
    connect(m_pView, &CVistrelCVView::menuCommand, this, &CMainFrame::OnCommand);
    // The corner keeps the proportions of the frames the camera sends now.
    connect(m_pView, &CVistrelCVView::frameProportionsChanged, this, [this](QSize frame) {
        if (ProbedFrameSize(frame) != ProbedFrameSize(m_host.GetFrameSize()))
            m_host.SetFrameSize(ProbedFrameSize(frame));
    });
    m_pView->Create(camera, std::move(opened));
    SetRoundedRegion(this, kFrameInset);
}

void CMainFrame::ApplyAlpha() {
    SetWindowAlpha(m_host.GetAlpha());
}

void CMainFrame::SetWindowAlpha(unsigned char alpha) {
    ApplyWindowOpacity(this, alpha);
    SetRoundedRegion(this, kFrameInset);
    if (m_pView)
        m_pView->update();
}

void CMainFrame::SavePlacement() {
    const QRect r = frameGeometry();
    // A Wayland client is never told where its window stands (Qt says 0,0): the place stored
    // from a window system that knows it stays as it was.
    if (PlatformKnowsWindowPosition(QGuiApplication::platformName())) {
        g_UserDefault.WriteInt(kWndX.key, r.x());
        g_UserDefault.WriteInt(kWndY.key, r.y());
    }
    g_UserDefault.WriteInt(kWndWidth.key, r.width());
    g_UserDefault.WriteInt(kWndHeight.key, r.height());
}

void CMainFrame::Minimize() {
    showMinimized(); // changeEvent saves the placement
}

void CMainFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::WindowStateChange) {
        const auto* change = static_cast<QWindowStateChangeEvent*>(event);
        if (isMinimized() && !(change->oldState() & Qt::WindowMinimized))
            SavePlacement(); // a minimised window still reports its normal rectangle
    }
    QWidget::changeEvent(event);
}

void CMainFrame::OnCommand(int commandId) {
    switch (commandId) {
    case ID_PREFERENCES:
        m_host.OnPreferences();
        break;
    case ID_SHOW_REC_CTRL:
        if (m_pView)
            m_pView->ShowRecCtrlDlg();
        break;
    case ID_APP_ABOUT:
        m_host.OnAbout();
        break;
    case ID_MINIMIZE:
        Minimize();
        break;
    case ID_OPEN_FOLDER:
        if (m_pView)
            m_pView->OpenOutputFolder();
        break;
    case ID_CAMERA_CONTROLS:
        if (m_pView)
            m_pView->ShowControlsDlg();
        break;
    case ID_STAY_ON_TOP:
        SetStayOnTop(!IsStayOnTop());
        break;
    case ID_APP_EXIT:
        close();
        break;
    default:
        break;
    }
}

void CMainFrame::SetStayOnTop(bool on) {
    g_UserDefault.WriteInt(kStayOnTop.key, on ? 1 : 0);
    const bool shown = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, on);
    if (shown)
        show(); // a window whose flags change is hidden until shown again
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (!isMinimized())
        SavePlacement();
    if (m_pView)
        m_pView->Destroy(); // finishes a recording and closes its file
    event->accept();
}

void CMainFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    SetRoundedRegion(this, kFrameInset);
}

void CMainFrame::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    if (m_pView)
        QCoreApplication::postEvent(m_pView, NewPanelFollowEvent());
}

void CMainFrame::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    const QPoint global = event->globalPosition().toPoint();
    m_drag = {true, false, HitZone(frameGeometry(), global), global, frameGeometry()};
    event->accept();
}

// The window system's own move and resize work everywhere it offers them, Wayland included.
// The bottom-right corner keeps the picture's proportions, which only our own resize can do.
bool CMainFrame::StartSystemGesture(FrameZone zone) {
    QWindow* handle = windowHandle();
    if (!handle)
        return false;
    switch (zone) {
    case FrameZone::Caption:
        return handle->startSystemMove();
    case FrameZone::Right:
        return handle->startSystemResize(Qt::RightEdge);
    case FrameZone::Bottom:
        return handle->startSystemResize(Qt::BottomEdge);
    case FrameZone::BottomRight:
        return false;
    }
    return false;
}

void CMainFrame::mouseMoveEvent(QMouseEvent* event) {
    if (!m_drag.active) {
        setCursor(CursorForZone(HitZone(frameGeometry(), event->globalPosition().toPoint())));
        return QWidget::mouseMoveEvent(event);
    }
    const QPoint delta = event->globalPosition().toPoint() - m_drag.pressGlobal;
    if (!m_drag.manual) {
        // Wait for a real drag, so that a double click still reaches us.
        if (delta.manhattanLength() < QApplication::startDragDistance())
            return;
        if (StartSystemGesture(m_drag.zone)) {
            m_drag.active = false;
            return;
        }
        m_drag.manual = true;
    }
    const QRect start = m_drag.startGeometry;
    switch (m_drag.zone) {
    case FrameZone::Caption:
        move(start.topLeft() + delta);
        break;
    case FrameZone::Right:
        resize(start.width() + delta.x(), start.height());
        break;
    case FrameZone::Bottom:
        resize(start.width(), start.height() + delta.y());
        break;
    case FrameZone::BottomRight: {
        const int width = qMax(kMinimumFrameSize.width(), start.width() + delta.x());
        resize(width, AspectHeight(width, m_host.GetFrameSize()));
        break;
    }
    }
}

void CMainFrame::mouseReleaseEvent(QMouseEvent* event) {
    m_drag.active = false;
    QWidget::mouseReleaseEvent(event);
}

void CMainFrame::mouseDoubleClickEvent(QMouseEvent* event) {
    m_drag.active = false;
    if (event->button() == Qt::LeftButton && m_pView)
        m_pView->ShowRecCtrlDlg();
}

void CMainFrame::keyPressEvent(QKeyEvent* event) {
    if (!IsShutterKey(event))
        return QWidget::keyPressEvent(event);
    if (!event->isAutoRepeat())
        m_nShutterKeyDown = event->key();
    event->accept();
}

void CMainFrame::keyReleaseEvent(QKeyEvent* event) {
    if (!IsShutterKey(event) || event->isAutoRepeat())
        return QWidget::keyReleaseEvent(event);
    const bool pressedHere = m_nShutterKeyDown == event->key();
    m_nShutterKeyDown = 0;
    if (pressedHere && m_pView)
        m_pView->ToggleShoot();
    event->accept();
}

void CMainFrame::focusOutEvent(QFocusEvent* event) {
    m_nShutterKeyDown = 0; // its release will arrive elsewhere, or after another window's press
    QWidget::focusOutEvent(event);
}

void CMainFrame::contextMenuEvent(QContextMenuEvent* event) {
    const CaptureSizeChoices sizes = m_pView ? m_pView->SizeChoices() : CaptureSizeChoices{};
    const int command = ShowContextMenu(event->globalPos(), *this, sizes);
    std::optional<QSize> size;
    if (m_pView && CaptureSizeCommand(command, sizes, size))
        m_pView->ChooseCaptureSize(size);
    else
        OnCommand(command);
}
