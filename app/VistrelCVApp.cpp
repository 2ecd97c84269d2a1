#include "app/VistrelCVApp.h"

#include "app/CommandLineInfoEx.h"
#include "app/FramePlacement.h"
#include "app/MainFrame.h"
#include "camera/CameraControlBoard.h"
#include "camera/CameraList.h"
#include "capture/CameraReader.h"
#include "dialogs/AboutDlg.h"
#include "dialogs/PrefDlg.h"
#include "dialogs/SelCamDlg.h"
#include "dialogs/SlpDlg.h"
#include "dialogs/VistrelMessageBox.h"
#include "platform/StringTable.h"
#include "settings/AppProfile.h"
#include "settings/SettingsKeys.h"
#include "settings/UserDefault.h"
#include "view/VistrelCVView.h"

#include <QCoreApplication>

#include <chrono>
#include <thread>

CVistrelCVApp theApp;

namespace {

constexpr int kSearchedCameras = 5;
constexpr int IDS_CAM_NUMBER_CHANGED = 32774;
constexpr int IDS_CAM_NOT_FOUND = 32775;
constexpr int IDS_CAM_ACCESS_REFUSED = 32805;
constexpr int IDS_GST_ELEMENT_MISSING = 32807;

// Cancel in the camera chooser ends start-up at once, without a message.
struct CStartupAbort {
    int code = 41211;
};

void ShowStartupMessage(int stringId, const char* fallback, int number) {
    const QString text = FormatNumber(LoadStringOr(stringId, QLatin1String(fallback)), number);
    CVistrelMessageBox box(text, 0);
    box.exec();
}

// The camera identities every camera section stores, by camera index.
StoredCameraIds StoredIds() {
    return GetEveryCameraString(QLatin1String(kCameraId.key));
}

// Runs the event loop (the notice paints, a signal ends the program) until `done` or `limit`.
template <typename Done> void WaitTurningEvents(Done done, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// The 1-based camera number in the start-up messages; a negative one counts as 0.
int MessageNumber(int base, int camera) {
    return base + qMax(0, camera + 1);
}

} // namespace

unsigned char AlphaFromSetting(int value) {
    const auto low = static_cast<unsigned char>(value & 0xFF);
    return low <= 32 ? 32 : low;
}

CMainFrame* CVistrelCVApp::Frame() const {
    return m_pFrame;
}

void CVistrelCVApp::SetAlpha(int value) {
    m_nAlpha = AlphaFromSetting(value);
}

void CVistrelCVApp::ApplySettings() {
    SetAlpha(g_UserDefault.GetInt(kAlphaValue.key, kAlphaValue.intDefault));
    if (!m_pFrame)
        return;
    if (m_pFrame->View())
        m_pFrame->View()->LoadSettings();
    m_pFrame->ApplyAlpha();
}

bool CVistrelCVApp::InitInstance(const QStringList& arguments) {
    CCommandLineInfoEx commandLine;
    commandLine.Parse(arguments);

    bool found = false;
    try {
        found = SelectCamera(commandLine);
    } catch (const CStartupAbort&) {
        return false;
    }

    g_UserDefault.SetIndex(m_nCamera);
    g_UserDefault.SetSection(QLatin1String(kSectionBase));

    // Another instance serves this camera number.
    if (!found && m_bNumberTaken) {
        ShowStartupMessage(IDS_CAM_NUMBER_CHANGED,
                           "Cam Number may be changed during VistrelCV running.\n"
                           "Restart every VistrelCV application.(%d)",
                           MessageNumber(2000, m_nCamera));
        return false;
    }
    // A camera that does not open, or that another program streams from.
    if (!found) {
        ShowCameraNotFound();
        if (g_UserDefault.LockInstance())
            OnPreferences();
        return false;
    }
    // The probe took the camera's lock. A camera keeps its number: its identity is stored the
    // first time it opens.
    if (!m_strCameraId.isEmpty() && g_UserDefault.GetString(kCameraId.key, QString()).isEmpty())
        g_UserDefault.WriteString(kCameraId.key, m_strCameraId);
    SetAlpha(g_UserDefault.GetInt(kAlphaValue.key, kAlphaValue.intDefault));

    m_pFrame = new CMainFrame(*this);
    m_pFrame->setAttribute(Qt::WA_DeleteOnClose);
    m_pFrame->Create(m_nCamera, std::move(m_pProbed));
    m_pFrame->show();
    m_pFrame->activateWindow();
    return true;
}

// A GStreamer pipeline that names an element no plugin provides is not a camera that is missing
// or busy: the message names the elements instead.
void CVistrelCVApp::ShowCameraNotFound() const {
    if (CameraAccessRefused()) { // the camera portal said no: no camera could be reached
        ShowStartupMessage(IDS_CAM_ACCESS_REFUSED, "Camera access refused.", 0);
        return;
    }
    const QStringList missing = MissingGstElementsOfCamera(m_nCamera);
    if (missing.isEmpty()) {
        ShowStartupMessage(IDS_CAM_NOT_FOUND, "Cam not found.(%d)", MessageNumber(1000, m_nCamera));
        return;
    }
    QString text = LoadStringOr(IDS_GST_ELEMENT_MISSING,
                                QStringLiteral("GStreamer element not installed: %s"));
    CVistrelMessageBox box(text.replace(QLatin1String("%s"), missing.join(QLatin1String(", "))), 0);
    box.exec();
}

bool CVistrelCVApp::SelectCamera(const CCommandLineInfoEx& commandLine) {
    if (!commandLine.m_arrCamera.isEmpty()) {
        m_nCamera = qMax(0, commandLine.m_arrCamera.first() - 1);
        return ProbeCamera();
    }
    if (GetProfileInt(QLatin1String(kSharedSection), kSelCamAtLaunch.key,
                      kSelCamAtLaunch.intDefault)) {
        const std::optional<int> chosen = CSelCamDlg::Choose();
        if (!chosen)
            throw CStartupAbort{};
        if (*chosen >= 0) {
            m_nCamera = *chosen;
            return ProbeCamera();
        }
    }
    return FindCamera();
}

// A camera another instance serves is passed over; when no other opens, it is the camera in use.
bool CVistrelCVApp::FindCamera() {
    CSlpDlg notice;
    const QList<CameraInfo> cameras = ListCameras(StoredIds());
    int taken = -1;
    for (int i = 0; i < kSearchedCameras; ++i) {
        const Probe probe = ProbeIndex(i, cameras);
        if (probe == Probe::Opened) {
            m_nCamera = i;
            return true;
        }
        if (probe == Probe::Taken && taken < 0)
            taken = i;
    }
    m_bNumberTaken = taken >= 0;
    m_nCamera = m_bNumberTaken ? taken : m_nCamera;
    return false;
}

bool CVistrelCVApp::ProbeCamera() {
    CSlpDlg notice;
    const Probe probe = ProbeIndex(m_nCamera, ListCameras(StoredIds()));
    m_bNumberTaken = probe == Probe::Taken;
    return probe == Probe::Opened;
}

// Opens camera `index` on the reader the view will go on with, waits for the open (bounded,
// whatever the source does) and then for the first picture, whose proportions the window takes.
// A camera that opens but cannot start for lack of USB bandwidth counts as found: its reader
// goes on trying smaller modes while the window says why there is no picture.
// The camera's lock is taken before the camera is opened, so that of instances started together
// for one camera only one opens it, and given up at once when the camera does not open.
CVistrelCVApp::Probe CVistrelCVApp::ProbeIndex(int index, const QList<CameraInfo>& cameras) {
    using namespace std::chrono_literals;
    if (index < 0 || index >= cameras.size() || cameras[index].location.isEmpty())
        return Probe::Failed;
    g_UserDefault.SetIndex(index);
    if (!g_UserDefault.LockInstance())
        return Probe::Taken;
    const QString section = QLatin1String(kSectionBase) + QString::number(index);
    const std::optional<QSize> size =
        ParseCaptureSize(GetProfileString(section, QLatin1String(kCaptureSize.key), QString()));
    // The controls the user set for this camera are written whenever it opens, this first time too.
    const auto controls = std::make_shared<CCameraControlBoard>(ReadStoredControlValues(
        GetProfileString(section, QLatin1String(kControls.key), QString())));
    auto reader = std::make_shared<CCameraReader>(CameraOpenerFor(cameras[index], size, controls),
                                                  cameras[index], controls);
    WaitTurningEvents([&] { return reader->FirstOpen().has_value(); }, kOpenTimeLimit + 1s);
    const bool opened = reader->FirstOpen().value_or(false);
    if (!opened && reader->FirstOpenFailure() != CameraOpenFailure::Bandwidth) {
        if (reader->FirstOpenFailure() == CameraOpenFailure::Busy)
            qWarning("Camera %d is in use by another program", index + 1);
        reader.reset();
        g_UserDefault.UnlockInstance();
        return Probe::Failed;
    }
    StampedFrame first;
    if (opened)
        WaitTurningEvents([&] { return reader->WaitFirstFrame(0ms, first); }, kThreadWaitLimit);
    if (first.number > 0)
        m_sizeFrame = ProbedFrameSize(QSize(first.image.cols, first.image.rows));
    m_pProbed = std::move(reader);
    m_strCameraId = cameras[index].id;
    return Probe::Opened;
}

void CVistrelCVApp::OnPreferences() {
    CPrefDlg dialog(m_pFrame, m_sizeFrame);
    if (dialog.exec() == IDOK)
        ApplySettings();
}

void CVistrelCVApp::OnAbout() {
    CAboutDlg dialog;
    dialog.exec();
}
