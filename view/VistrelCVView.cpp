#include "view/VistrelCVView.h"

#include "camera/CameraControlBoard.h"
#include "capture/CVController.h"
#include "capture/CaptureStateEvent.h"
#include "capture/Shutter.h"
#include "dialogs/CameraControlsDlg.h"
#include "dialogs/PanelFollowEvent.h"
#include "dialogs/RecCtrlDlg.h"
#include "dialogs/VistrelMessageBox.h"
#include "output_files/FiletypeMgr.h"
#include "output_files/ImgFileMgr.h"
#include "output_files/MediaKind.h"
#include "output_files/PathChecks.h"
#include "platform/StringTable.h"
#include "platform/WindowShape.h"
#include "settings/AppProfile.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "view/CameraLostNotice.h"
#include "view/ContextMenu.h"
#include "view/NoSoundNotice.h"
#include "view/PendingInput.h"
#include "view/RefreshIntervals.h"
#include "view/ViewTimer.h"

#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QLoggingCategory>
#include <QPainter>
#include <QUrl>

#include <cmath>

namespace {

constexpr int IDS_USB_BANDWIDTH = 32803;
constexpr int kFirstPictureIntervalMs = 15;
// Start-up measurements: QT_LOGGING_RULES="vistrelcv.timing=true" says when the first picture
// is painted.
Q_LOGGING_CATEGORY(lcViewTiming, "vistrelcv.timing", QtWarningMsg)

} // namespace

CVistrelCVView::CVistrelCVView(QWidget* parent)
    : QWidget(parent), m_pController(std::make_unique<CCVController>(this)),
      m_pTimer(std::make_unique<CViewTimer>(this)) {
    FillFiletypeTables();
    m_pPictFileMgr = LoadImgFileMgr(CAMMODE_PICT, GetDefaultPictFolder());
    m_pMovFileMgr = LoadImgFileMgr(CAMMODE_MOV, GetDefaultMovFolder());
    // The picture is painted over the previous one; nothing is ever cleared first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
}

CVistrelCVView::~CVistrelCVView() {
    Destroy();
}

void CVistrelCVView::Create(int camera, std::shared_ptr<CCameraReader> opened) {
    setWindowTitle(QStringLiteral("jp.quenbor.VistrelCVView"));
    const std::optional<QSize> size =
        ParseCaptureSize(g_UserDefault.GetString(kCaptureSize.key, QString()));
    if (opened) {
        m_pController->AdoptCamera(std::move(opened), camera, size);
    } else {
        m_pController->CameraControls()->SetStored(
            ReadStoredControlValues(g_UserDefault.GetString(kControls.key, QString())));
        m_pController->StartCamera(camera, GetEveryCameraString(QLatin1String(kCameraId.key)),
                                   size);
    }
    LoadSettings();
    m_pPending = std::make_unique<CPendingInput>();
    // The first tick comes at once, so the first picture shows as soon as it is there.
    m_pTimer->Start(0);
    if (g_UserDefault.GetInt(kRecCtrlDlg.key, kRecCtrlDlg.intDefault))
        ShowRecCtrlDlg();
}

void CVistrelCVView::Destroy() {
    if (m_pTimer)
        m_pTimer->Stop();
    m_pPending.reset();
    m_pController.reset(); // finishes a running recording before the camera is released
    // The panel goes with the view and leaves its stored visibility alone: quitting closes every
    // window still open, and the panel would take that close for the user hiding it and stay
    // hidden at the next start. It is deleted from the event loop, since a signal may end the
    // program while the panel's own save-settings dialog runs on the stack.
    delete m_pControlsDlg; // stores what it has not stored yet
    if (m_pRecCtrlDlg) {
        m_pRecCtrlDlg->hide();
        m_pRecCtrlDlg->deleteLater();
        m_pRecCtrlDlg = nullptr;
    }
}

void CVistrelCVView::LoadSettings() {
    if (m_pController)
        m_pController->SetMirror(g_UserDefault.GetInt(kMirrorImage.key, kMirrorImage.intDefault));
    LoadPerformance();
    m_nCamMode = g_UserDefault.GetInt(kCamMode.key, kCamMode.intDefault);
}

void CVistrelCVView::LoadPerformance() {
    const RefreshIntervals intervals =
        ComputeIntervals(g_UserDefault.GetInt(kPerform.key, kPerform.intDefault), IsRecording());
    m_nIntervalQuiet = intervals.quiet;
    m_nIntervalActive = intervals.active;
    m_nIntervalBusy = intervals.busy;
}

unsigned CVistrelCVView::CurrentInterval() const {
    return m_pTimer ? m_pTimer->GetInterval() : kTimerStopped;
}

CImgFileMgr* CVistrelCVView::FileMgr(int kind) const {
    return IsMovieKind(kind) ? m_pMovFileMgr.get() : m_pPictFileMgr.get();
}

void CVistrelCVView::Shoot(int action) {
    if (!m_pController)
        return;
    const bool movie = IsMovieKind(m_nCamMode);
    if (action == SHOOT_TAKE && movie) {
        if (const int failure = StartMovie(*m_pMovFileMgr, *m_pController, &m_movieClaim))
            ShowCannotSave(failure);
    } else if (action == SHOOT_TAKE) {
        if (const int failure = ShootStill(*m_pPictFileMgr, *m_pController, GetStillFullSize()))
            ShowCannotSave(failure);
    } else if (action == SHOOT_STOP && movie) {
        m_pController->RecordMovie(false, QString(), 0);
    }
}

void CVistrelCVView::ShowCannotSave(int stringId) {
    QString fallback = QStringLiteral("Cannot save image file.");
    if (stringId == IDS_RECORDING_CAMERA_LOST)
        fallback = QStringLiteral("The camera stopped sending pictures, so the recording was "
                                  "ended. Everything recorded until then is saved.");
    else if (stringId == IDS_RECORDING_NO_PICTURE)
        fallback = QStringLiteral("No picture came from the camera, so the recording could not "
                                  "start.");
    else if (stringId == IDS_NO_PICTURE_YET)
        fallback = QStringLiteral("No picture has come from the camera yet; the still was not "
                                  "saved.");
    CVistrelMessageBox box(stringId, fallback, 0);
    box.exec();
}

bool CVistrelCVView::IsRecording() const {
    return m_pController && m_pController->IsRecording();
}

void CVistrelCVView::SetCamMode(int mode) {
    m_nCamMode = mode;
    g_UserDefault.WriteInt(kCamMode.key, mode);
}

void CVistrelCVView::ResetSerialNumber(int kind) {
    FileMgr(kind)->ResetSerialNumber();
}

QString CVistrelCVView::GetFilename(int kind) const {
    return FileMgr(kind)->GetFilename();
}

void CVistrelCVView::SetFilename(QString name, int kind) {
    if (name.isEmpty())
        name =
            QLatin1String(IsMovieKind(kind) ? kMovFilename.textDefault : kPictFilename.textDefault);
    FileMgr(kind)->SetFilename(name);
    FileMgr(kind)->SaveFilename();
}

QString CVistrelCVView::GetFoldername(int kind) const {
    return FileMgr(kind)->GetFoldername();
}

void CVistrelCVView::SetFoldername(QString folder, int kind) {
    if (folder.isEmpty())
        folder = GetDefaultFolder(kind);
    FileMgr(kind)->SetFoldername(folder);
    FileMgr(kind)->SaveFoldername();
}

CFiletypeMgr* CVistrelCVView::GetFiletypeMgr(int kind) const {
    return IsMovieKind(kind) ? &g_MovFiletypeMgr : &g_PictFiletypeMgr;
}

int CVistrelCVView::GetFiletypeIndex(int kind) const {
    return FileMgr(kind)->GetFiletypeIndex();
}

void CVistrelCVView::SetFiletypeIndex(int index, int kind) {
    const int count = GetFiletypeMgr(kind)->GetCount();
    FileMgr(kind)->SetFiletypeIndex(index >= 0 && index < count ? index : 0);
    FileMgr(kind)->SaveFiletypeIndex();
}

bool CVistrelCVView::GetStillFullSize() const {
    return g_UserDefault.GetInt(kPictFullSize.key, kPictFullSize.intDefault) == 1;
}

void CVistrelCVView::SetStillFullSize(bool fullSize) {
    g_UserDefault.WriteInt(kPictFullSize.key, fullSize ? 1 : 0);
}

bool CVistrelCVView::GetMovieAudio() const {
    return g_UserDefault.GetInt(kMovAudio.key, kMovAudio.intDefault) == 1;
}

void CVistrelCVView::SetMovieAudio(bool on) {
    g_UserDefault.WriteInt(kMovAudio.key, on ? 1 : 0);
}

QString CVistrelCVView::GetMovieAudioSource() const {
    return g_UserDefault.GetString(kMovAudioSource.key, kMovAudioSource.textDefault);
}

void CVistrelCVView::SetMovieAudioSource(const QString& name) {
    g_UserDefault.WriteString(kMovAudioSource.key, name);
}

// A sound server that does not answer holds the dialog back at most this long.
QList<MicrophoneInfo> CVistrelCVView::Microphones() const {
    return CMicrophone::List(std::chrono::milliseconds(1000));
}

QString CVistrelCVView::GetSerialNumberText(int kind) const {
    return FileMgr(kind)->GetSerialNumberText();
}

void CVistrelCVView::ToggleShoot() {
    Shoot(IsRecording() ? SHOOT_STOP : SHOOT_TAKE);
}

CRecCtrlDlg* CVistrelCVView::RecCtrlDlg() const {
    return m_pRecCtrlDlg;
}

bool CVistrelCVView::IsRecCtrlDlgVisible() const {
    return m_pRecCtrlDlg && m_pRecCtrlDlg->isVisible();
}

void CVistrelCVView::ShowRecCtrlDlg() {
    if (!m_pRecCtrlDlg)
        m_pRecCtrlDlg = new CRecCtrlDlg(this, this);
    m_pRecCtrlDlg->ShowPanel(true);
}

bool CVistrelCVView::OpenOutputFolder() {
    const QString folder = GetFoldername(m_nCamMode);
    CreateDefaultFolderIfMissing(folder, m_nCamMode);
    // Qt hands the folder to xdg-open (xdg-utils), or says it found no program to open it with.
    if (QDesktopServices::openUrl(QUrl::fromLocalFile(folder)))
        return true;
    QString text =
        LoadStringOr(IDS_CANNOT_OPEN_FOLDER, QStringLiteral("Cannot open the save folder.\n%s"));
    CVistrelMessageBox box(text.replace(QLatin1String("%s"), folder), MB_OK, window());
    box.exec();
    return false;
}

CaptureSizeChoices CVistrelCVView::SizeChoices() const {
    if (!m_pController)
        return {};
    return {m_pController->CameraSizes(), m_pController->CaptureSize(), !IsRecording(),
            !m_pController->CameraControls()->Controls().isEmpty()};
}

void CVistrelCVView::ShowControlsDlg() {
    if (!m_pController || m_pController->CameraControls()->Controls().isEmpty())
        return;
    if (!m_pControlsDlg)
        m_pControlsDlg = new CCameraControlsDlg(this, m_pController->CameraControls());
    m_pControlsDlg->show();
    m_pControlsDlg->raise();
    m_pControlsDlg->activateWindow();
}

CCameraControlsDlg* CVistrelCVView::ControlsDlg() const {
    return m_pControlsDlg;
}

void CVistrelCVView::ChooseCaptureSize(std::optional<QSize> size) {
    if (!m_pController || IsRecording())
        return;
    g_UserDefault.WriteString(QLatin1String(kCaptureSize.key), CaptureSizeText(size));
    m_pController->ReopenCamera(size);
}

// The first frame, or one of other proportions than the one before (the camera opened in
// another mode).
void CVistrelCVView::NoteShownFrame() {
    const QSize frame = m_pController->ShownFrameSize();
    const auto ratio = [](QSize s) { return double(s.width()) / s.height(); };
    if (frame.isEmpty())
        return;
    const bool changed =
        m_shownFrameSize.isEmpty() || std::abs(ratio(frame) - ratio(m_shownFrameSize)) > 0.01;
    m_shownFrameSize = frame;
    if (changed)
        Q_EMIT frameProportionsChanged(frame);
}

// Told once per shortage, after the tick that found it: a message run from the tick itself
// would hold the ticks up while it is open.
void CVistrelCVView::CheckBandwidth() {
    const bool shortNow = m_pController->CameraBandwidthShort();
    if (!shortNow || m_bBandwidthTold) {
        m_bBandwidthTold = shortNow && m_bBandwidthTold;
        return;
    }
    m_bBandwidthTold = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            CVistrelMessageBox box(
                IDS_USB_BANDWIDTH,
                QStringLiteral("The camera cannot start its picture for lack of USB bandwidth. "
                               "Choose a lower resolution or plug it into another USB port."),
                0);
            box.exec();
        },
        Qt::QueuedConnection);
}

bool CVistrelCVView::IsMainWindowMinimized() const {
    return window()->isMinimized();
}

// A worker that gave up (no frames, the writer failed, the disk filled) or whose camera was lost
// ends by itself. Run the normal stop so the panel returns to idle, and say why it ended. The
// message waits for the event loop: run inside the tick, it would keep the refresh timer from
// firing until it is closed, and the picture and the lost-camera notice would stand still.
void CVistrelCVView::CheckRecordingWorker() {
    if (!m_pController || !m_pController->RecordingGaveUp())
        return;
    int message = IDS_CANNOT_SAVE_MOVIE;
    if (m_pController->RecordingGotNoPicture())
        message = IDS_RECORDING_NO_PICTURE;
    else if (m_pController->RecordingLostCamera())
        message = IDS_RECORDING_CAMERA_LOST;
    m_pController->RecordMovie(false, QString(), 0);
    TakeBackEmptyMovie(*m_pMovFileMgr, m_movieClaim);
    QMetaObject::invokeMethod(
        this, [this, message] { ShowCannotSave(message); }, Qt::QueuedConnection);
}

// The worker marks a recording that goes on without the sound it was asked for; the window says
// so once per recording, for a few seconds, over the picture.
void CVistrelCVView::CheckRecordingSound() {
    const auto now = std::chrono::steady_clock::now();
    if (!m_pController || !m_pController->IsRecording()) {
        m_bNoSoundSaid = false;
    } else if (!m_bNoSoundSaid && m_pController->RecordingWithoutSound()) {
        m_bNoSoundSaid = true;
        m_noSoundUntil = now + kNoSoundNoticeTime;
        qInfo("%s", qUtf8Printable(NoSoundNoticeText()));
        update();
        return;
    }
    if (m_noSoundUntil != std::chrono::steady_clock::time_point() && now >= m_noSoundUntil) {
        m_noSoundUntil = {};
        update(); // the notice goes
    }
}

void CVistrelCVView::OnTick() {
    CheckRecordingWorker();
    CheckRecordingSound();
    if (!m_pController || !m_pPending)
        return;
    CheckBandwidth();
    // A camera that sends only damaged frames shows no picture either: the same notice says so.
    if ((m_pController->CameraLost() || m_pController->CameraPictureDamaged()) != m_bCameraLost) {
        m_bCameraLost = !m_bCameraLost;
        update(); // the notice comes or goes
    }
    if (IsMainWindowMinimized()) {
        m_pTimer->SetInterval(unsigned(m_nIntervalActive));
        return;
    }
    const bool pendingBefore = m_pPending->Probe(kPendingAll);
    // Start-up's own events would put the first picture off: it is shown as soon as it is there.
    if (!pendingBefore || m_pController->DisplayImage().isNull()) {
        // The picture is scaled once, to the device pixels the window covers on its screen.
        const qreal ratio = devicePixelRatioF();
        const QSize device = (QSizeF(size()) * ratio).toSize();
        if (m_pController->GrabFrame(0, 0, device.width(), device.height(), ratio)) {
            NoteShownFrame();
            update();
        }
    }
    const bool pendingAfter = m_pPending->Probe(kPendingAllButPaint);
    const RefreshIntervals intervals{m_nIntervalQuiet, m_nIntervalActive, m_nIntervalBusy};
    int interval = TickInterval(intervals, pendingBefore, pendingAfter);
    // Until the first picture is there, look for it often: it shows the moment it arrives.
    if (m_pController->DisplayImage().isNull())
        interval = std::min(interval, kFirstPictureIntervalMs);
    m_pTimer->SetInterval(unsigned(interval));
}

void CVistrelCVView::timerEvent(QTimerEvent*) {
    OnTick();
}

void CVistrelCVView::paintEvent(QPaintEvent*) {
    if (!m_pController)
        return;
    const bool pendingBefore = m_pPending && m_pPending->Probe(kPendingAll);
    QPainter painter(this);
    painter.setOpacity(PaintOpacity(window()));
    if (painter.opacity() < 1.0) {
        // A translucent window with no window-system opacity: the picture itself carries it.
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    }
    m_pController->DrawFrame(painter);
    if (!m_bFirstPicturePainted && !m_pController->DisplayImage().isNull()) {
        m_bFirstPicturePainted = true;
        qCInfo(lcViewTiming, "first picture painted");
    }
    if (m_bCameraLost)
        PaintCameraLostNotice(painter, rect());
    else if (std::chrono::steady_clock::now() < m_noSoundUntil)
        PaintNoSoundNotice(painter, rect());
    if (!m_pPending)
        return;
    const bool mouseAfter = m_pPending->Probe(kPendingMouse);
    const RefreshIntervals intervals{m_nIntervalQuiet, m_nIntervalActive, m_nIntervalBusy};
    const int interval = PaintInterval(intervals, pendingBefore, mouseAfter);
    if (interval >= 0 &&
        !m_pController->DisplayImage().isNull()) // the first picture is not put off
        m_pTimer->SetInterval(unsigned(interval));
}

bool CVistrelCVView::event(QEvent* event) {
    if (event->type() == QEvent::Type(WM_CAPTURE_STATE)) {
        const auto* state = static_cast<CCaptureStateEvent*>(event);
        if (m_pRecCtrlDlg)
            m_pRecCtrlDlg->SetCaptureState(state->WParam(), state->LParam());
        LoadPerformance();
        return true;
    }
    if (event->type() == QEvent::Type(WM_PANEL_FOLLOW)) {
        if (m_pRecCtrlDlg)
            QCoreApplication::postEvent(m_pRecCtrlDlg, NewPanelFollowEvent());
        return true;
    }
    return QWidget::event(event);
}

void CVistrelCVView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (m_pRecCtrlDlg)
        QCoreApplication::postEvent(m_pRecCtrlDlg, NewPanelFollowEvent());
}

void CVistrelCVView::contextMenuEvent(QContextMenuEvent* event) {
    const CaptureSizeChoices sizes = SizeChoices();
    const int command = ShowContextMenu(event->globalPos(), *window(), sizes);
    std::optional<QSize> size;
    if (CaptureSizeCommand(command, sizes, size))
        ChooseCaptureSize(size);
    else if (command == ID_SHOW_REC_CTRL)
        ShowRecCtrlDlg();
    else if (command != 0)
        Q_EMIT menuCommand(command);
}

// The picture is the window's caption: a plain left press goes on to the main window, which
// moves or resizes. Holding Ctrl or Shift (or another button) keeps the mouse in the view.
void CVistrelCVView::mousePressEvent(QMouseEvent* event) {
    const bool keep = event->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier) ||
                      event->buttons() & (Qt::RightButton | Qt::MiddleButton);
    event->setAccepted(keep);
}

void CVistrelCVView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        ShowRecCtrlDlg();
}
