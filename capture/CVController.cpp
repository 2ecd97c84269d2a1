// The capture controller: camera, display image, stills and the start and stop of recordings.
#include "capture/CVController.h"

#include "camera/CameraControlBoard.h"
#include "camera/CameraList.h"
#include "capture/CameraReader.h"
#include "capture/CaptureStateEvent.h"
#include "imaging/FramePath.h"
#include "imaging/StillEncoder.h"
#include "output_files/FiletypeMgr.h"
#include "platform/SoundCue.h"
#include "recording/RecordingWorker.h"

#include <QCoreApplication>
#include <QPainter>

namespace {

// How long a still at the camera's size waits for the camera's next frame.
constexpr std::chrono::seconds kFullFrameWait{2};

} // namespace

CCVController::CCVController(QObject* view)
    : m_pScratch(std::make_unique<FrameScratch>()), m_pShown(std::make_unique<StampedFrame>()),
      m_pView(view) {}

CCVController::~CCVController() {
    // A recording in progress is finished and its file closed before the camera goes. Both
    // threads share one time limit, so closing never waits longer than one of them may take.
    const auto deadline = std::chrono::steady_clock::now() + kThreadWaitLimit;
    StopRecording(deadline);
    if (m_pCapture)
        m_pCapture->Stop(deadline);
    m_pCapture.reset();
}

void CCVController::PostCaptureState(int wParam, int lParam) const {
    if (m_pView)
        QCoreApplication::postEvent(m_pView, new CCaptureStateEvent(wParam, lParam));
}

bool CCVController::HasCamera() const {
    return m_pCapture != nullptr;
}

bool CCVController::CameraLost() const {
    return m_pCapture && m_pCapture->IsLost();
}

std::chrono::steady_clock::time_point CCVController::DisplayCapturedAt() const {
    return m_pShown->capturedAt;
}

QSize CCVController::OpenCamera(int index) {
    StartCamera(index);
    QSize size(640, 480);
    StampedFrame first;
    if (m_pCapture->WaitFirstFrame(kOpenTimeLimit + kThreadWaitLimit, first))
        size = QSize(first.image.cols, first.image.rows);
    return size;
}

void CCVController::StartCamera(int index, const StoredCameraIds& stored,
                                std::optional<QSize> size) {
    const CameraInfo camera = ListCameras(stored).value(index);
    const std::shared_ptr<CCameraControlBoard>& controls = CameraControls();
    AdoptCamera(
        std::make_shared<CCameraReader>(CameraOpenerFor(camera, size, controls), camera, controls),
        index, size);
}

void CCVController::ReopenCamera(std::optional<QSize> size) {
    if (m_pCapture)
        m_pCapture->Stop(); // the camera is free before the new reader opens it
    const CameraInfo camera = m_pCapture ? m_pCapture->Camera() : CameraInfo();
    // The same board: the user's values and an open controls window carry over to the new size.
    const std::shared_ptr<CCameraControlBoard>& controls = CameraControls();
    AdoptCamera(
        std::make_shared<CCameraReader>(CameraOpenerFor(camera, size, controls), camera, controls),
        m_nCamera, size);
}

void CCVController::AdoptCamera(std::shared_ptr<CCameraReader> reader, int index,
                                std::optional<QSize> size) {
    if (m_pCapture && m_pCapture != reader)
        m_pCapture->Stop();
    m_pCapture = std::move(reader);
    m_pControls = m_pCapture->Controls();
    // A new reader counts its frames from 1: the picture shown stays until its first one.
    m_pShown->number = 0;
    m_nCamera = index;
    m_captureSize = size;
    m_cameraSizes = ::CameraSizes(m_pCapture->Camera().modes);
}

const std::shared_ptr<CCameraControlBoard>& CCVController::CameraControls() {
    if (!m_pControls)
        m_pControls = std::make_shared<CCameraControlBoard>();
    return m_pControls;
}

bool CCVController::CameraBandwidthShort() const {
    return m_pCapture && m_pCapture->BandwidthShort();
}

bool CCVController::CameraPictureDamaged() const {
    return m_pCapture && m_pCapture->OnlyDamaged();
}

QSize CCVController::ShownFrameSize() const {
    return QSize(m_pShown->image.cols, m_pShown->image.rows);
}

bool CCVController::GrabFrame(int left, int top, int right, int bottom, qreal devicePixelRatio) {
    if (!m_pCapture || left >= right || top >= bottom)
        return false;
    const cv::Size size(right - left, bottom - top);
    StampedFrame frame;
    if (!m_pCapture->TakeNewest(m_pShown->number, frame, size)) {
        const bool same =
            QSize(size.width, size.height) == m_dispImage.size() && m_bMirror == m_bShownMirror;
        if (m_pShown->image.empty() || same)
            return false;
        frame = *m_pShown;
    }
    ScaleToDisplay(frame.image, m_bMirror, size, m_dispImage, *m_pScratch);
    *m_pShown = std::move(frame);
    m_bShownMirror = m_bMirror;
    m_dispImage.setDevicePixelRatio(devicePixelRatio);
    return true;
}

void CCVController::DrawFrame(QPainter& painter) const {
    if (!m_dispImage.isNull())
        painter.drawImage(0, 0, m_dispImage);
}

cv::Mat CCVController::FullSizeStill() const {
    StampedFrame frame;
    if (!m_pCapture || !m_pCapture->TakeFullFrame(kFullFrameWait, frame))
        return {};
    cv::Mat still;
    if (m_bMirror)
        cv::flip(frame.image, still, 1);
    else
        still = frame.image;
    return still;
}

bool CCVController::SaveStill(const QString& extension,
                              const std::function<bool(const QByteArray& encoded)>& store,
                              bool fullSize) {
    if (m_pView) {
        CCaptureStateEvent busy(0, 1);
        QCoreApplication::sendEvent(m_pView, &busy);
    }
    const QByteArray encoded =
        EncodeStill(fullSize ? FullSizeStill() : DisplayImageToBgr(m_dispImage), extension);
    const bool saved = !encoded.isEmpty() && store(encoded);
    if (saved)
        PlaySoundCue(QStringLiteral("rel.wav"));
    PostCaptureState(0, 0);
    return saved;
}

void CCVController::StopRecording(std::chrono::steady_clock::time_point deadline) {
    g_bStopRecording.store(true);
    if (m_pRecThread) {
        m_pRecThread->Wait(deadline);
        PostCaptureState(1, 0);
    }
    m_pRecThread.reset();
}

void CCVController::RecordMovie(bool start, const QString& path, int fileType) {
    if (!start) {
        StopRecording(std::chrono::steady_clock::now() + kThreadWaitLimit);
        return;
    }
    if (m_pRecThread)
        return;
    g_bStopRecording.store(false);
    if (path.isEmpty())
        return;
    auto param = std::make_unique<RecThreadParam>();
    param->feed = m_pCapture;
    param->path = path;
    param->mirror = m_bMirror;
    param->microphone = m_microphone;
    uint32_t codec = 0;
    if (g_MovFiletypeMgr.GetFiletypeWithCodec(fileType, nullptr, nullptr, codec))
        param->codec = codec;
    m_pRecThread = CRecordingWorker::Start(std::move(param));
    if (m_pRecThread)
        PostCaptureState(1, 1);
}

bool CCVController::IsRecording() const {
    return m_pRecThread != nullptr;
}

bool CCVController::RecordingWithoutSound() const {
    return m_pRecThread && m_pRecThread->WithoutSound();
}

bool CCVController::RecordingGaveUp() const {
    return m_pRecThread && m_pRecThread->Finished();
}

bool CCVController::RecordingLostCamera() const {
    return RecordingGaveUp() && m_pRecThread->Result() == kRecordingCameraLost;
}

bool CCVController::RecordingGotNoPicture() const {
    return RecordingGaveUp() && m_pRecThread->Result() == kRecordingNoPicture;
}
