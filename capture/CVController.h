// The capture controller: owns the instance's one camera (through its reader thread), takes the
// newest frame scaled to the view (mirrored on request) into the display image, paints it, saves
// stills and runs the movie-recording worker. Capture-state events go to the view object given
// at construction. Nothing here waits on the camera but OpenCamera, which waits (bounded) for the
// first frame.
#pragma once

#include "camera/CameraSource.h"
#include "recording/RecordingWorker.h" // g_bStopRecording

#include <QImage>
#include <QSize>
#include <QString>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QObject;
class QPainter;
class CCameraReader;
class CCameraControlBoard;
class CRecordingWorker;
struct FrameScratch;
struct StampedFrame;

class CCVController {
public:
    // `view` receives the capture-state events; it may be null (no events then).
    explicit CCVController(QObject* view);
    virtual ~CCVController();
    CCVController(const CCVController&) = delete;
    CCVController& operator=(const CCVController&) = delete;

    // Opens camera `index` (0-based) and starts its reader; the size of its first frame, 640 x 480
    // when none came within kThreadWaitLimit.
    virtual QSize OpenCamera(int index);
    // Starts a reader that opens camera `index` (found by its stored identity, in the mode of
    // `size` or its best mode) on its own thread and keeps trying; returns at once.
    void StartCamera(int index, const StoredCameraIds& stored = {},
                     std::optional<QSize> size = std::nullopt);
    // Goes on with a reader of camera `index` that start-up opened, instead of opening it again.
    void AdoptCamera(std::shared_ptr<CCameraReader> reader, int index,
                     std::optional<QSize> size = std::nullopt);
    // Opens the camera shown again, in the mode of `size` (its best mode when nothing): the same
    // camera, whatever camera its number would find now.
    void ReopenCamera(std::optional<QSize> size);
    // The sizes the camera shown offers, largest first, each with its best rate; empty for
    // cameras that list no modes.
    const QList<CameraMode>& CameraSizes() const { return m_cameraSizes; }
    // The size asked for at the last start; nothing for the camera's best mode.
    std::optional<QSize> CaptureSize() const { return m_captureSize; }
    int CameraIndex() const { return m_nCamera; }
    // True while the camera cannot start for lack of USB bandwidth.
    bool CameraBandwidthShort() const;
    // The camera's controls: the same board across every start of the camera (a new size), so
    // the user's values set on it before a start are written at its opens.
    const std::shared_ptr<CCameraControlBoard>& CameraControls();
    // True while the camera sends nothing but damaged frames (see CCameraReader::OnlyDamaged).
    bool CameraPictureDamaged() const;
    // The size of the newest frame shown (a scaled-down decode keeps the camera's proportions).
    QSize ShownFrameSize() const;
    // Paints the display image 1:1 at the top-left; nothing before the first grab.
    virtual void DrawFrame(QPainter& painter) const;
    // Takes the newest frame scaled to the rectangle, in device pixels, without waiting; false
    // (display image kept) when the rectangle is empty or inverted, there is no camera, or no
    // frame came since the last grab. A new size or mirror setting scales the last frame again.
    // The display image takes `devicePixelRatio`, so a high-density screen paints it 1:1 without
    // scaling again.
    virtual bool GrabFrame(int left, int top, int right, int bottom, qreal devicePixelRatio = 1.0);
    // Encodes the display image by `extension` ("jpg": JPEG, "png": PNG) and hands it to
    // `store`, which puts it into its file, with the shutter sound and the (0,1)/(0,0) events.
    // With `fullSize`, the picture is the camera's next frame decoded whole, mirrored as shown,
    // instead. False when nothing could be stored (the caller reports it).
    virtual bool SaveStill(const QString& extension,
                           const std::function<bool(const QByteArray& encoded)>& store,
                           bool fullSize = false);
    // Starts (`start`) or stops the recording into `path`; `fileType` indexes the movie table.
    virtual void RecordMovie(bool start, const QString& path, int fileType);
    // True from a successful start until the next stop.
    virtual bool IsRecording() const;
    // The microphone the next MP4 recordings take their sound from ("" the desktop's default);
    // none: they are silent.
    void SetMicrophone(std::optional<QString> microphone) { m_microphone = std::move(microphone); }
    // True while the running recording goes on without the sound it was asked for.
    bool RecordingWithoutSound() const;

    // True when a recording worker is held but has ended by itself (it gave up: no frames, the
    // writer failed, the disk is full). The caller then runs the normal stop and reports it.
    bool RecordingGaveUp() const;
    // True when the recording that gave up ended because the camera was lost: the movie holds
    // every frame until then.
    bool RecordingLostCamera() const;
    // True when the recording that gave up never got a frame from the camera (nothing is saved).
    bool RecordingGotNoPicture() const;
    // True while the camera is lost (failed, or silent for its silence limit); its reader is
    // reopening it.
    bool CameraLost() const;

    void SetMirror(bool mirror) { m_bMirror = mirror; }
    bool Mirror() const { return m_bMirror; }
    bool HasCamera() const;
    // The display image (Format_RGB32, the view's client size at the last grab); null before
    // the first grab.
    const QImage& DisplayImage() const { return m_dispImage; }
    // When the frame in the display image came off the camera.
    std::chrono::steady_clock::time_point DisplayCapturedAt() const;

private:
    void PostCaptureState(int wParam, int lParam) const;
    // The camera's next frame at its own size, mirrored as the view shows it; empty when none
    // comes.
    cv::Mat FullSizeStill() const;
    // Sets the stop flag and waits for the worker until `deadline` at most.
    void StopRecording(std::chrono::steady_clock::time_point deadline);

    QImage m_dispImage;
    std::unique_ptr<FrameScratch> m_pScratch; // scaling buffers, reused
    std::unique_ptr<StampedFrame> m_pShown;   // the frame in the display image
    bool m_bShownMirror = false;
    std::shared_ptr<CCameraReader> m_pCapture;
    std::shared_ptr<CCameraControlBoard> m_pControls;
    int m_nCamera = -1;
    QList<CameraMode> m_cameraSizes;
    std::optional<QSize> m_captureSize;
    bool m_bMirror = false;
    std::unique_ptr<CRecordingWorker> m_pRecThread;
    std::optional<QString> m_microphone;
    QObject* m_pView;
};
