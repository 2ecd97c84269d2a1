// PipeWire cameras in the camera list, and opening one by its identity.
#include "camera/pipewire/PipeWireOpener.h"

#include "camera/pipewire/PipeWireCameraSource.h"
#include "camera/pipewire/PipeWireConnection.h"
#include "camera/pipewire/PipeWireFormats.h"

#include <mutex>

#include <linux/videodev2.h>

namespace {

// The identity text a PipeWire camera is stored by ("pipewire", its node name or object path).
QString PipeWireIdText(const QString& identity) {
    return QStringLiteral("pipewire\t") + identity;
}

// A PipeWire camera's modes for the rules of CameraMode, which know raw and MJPEG: MJPEG stands
// as itself and every raw format as YUYV, and the PipeWire mode to open in is found again by size
// and kind (PipeWireModeFor).
QList<CameraMode> ModesOf(const PipeWireCamera& camera) {
    QList<CameraMode> modes;
    for (const PipeWireMode& mode : camera.modes)
        modes << CameraMode{mode.format == kPipeWireMjpeg ? V4L2_PIX_FMT_MJPEG : V4L2_PIX_FMT_YUYV,
                            QSize(mode.width, mode.height), mode.Fps()};
    return modes;
}

// The fastest of the camera's modes of that size and kind; of equally fast raw ones, the one the
// camera lists first. Empty without a mode: PipeWire negotiates.
PipeWireMode PipeWireModeFor(const PipeWireCamera& camera, const std::optional<CameraMode>& mode) {
    PipeWireMode best;
    for (const PipeWireMode& candidate : camera.modes) {
        if (mode && QSize(candidate.width, candidate.height) == mode->size &&
            (candidate.format == kPipeWireMjpeg) == IsMjpegFormat(mode->fourcc) &&
            candidate.Fps() > best.Fps())
            best = candidate;
    }
    return best;
}

} // namespace

CameraInfo PipeWireCameraInfo(const PipeWireCamera& camera) {
    const QString identity = PipeWireCameraIdentity(camera);
    return CameraInfo{kPipeWireLocationPrefix + identity, camera.description,
                      PipeWireIdText(identity), ModesOf(camera)};
}

bool IsPipeWireLocation(const QString& location) {
    return location.startsWith(kPipeWireLocationPrefix);
}

bool IsPipeWireIdentity(const CameraIdentity& id) {
    return id.startsWith(QLatin1String("pipewire\t"));
}

// After a mode that gave nothing but damaged frames, the next open takes the next mode down, as
// for a V4L2 camera. Copies of the opener share it and may run on two threads.
struct PipeWireOpenerState {
    std::mutex mutex;
    std::optional<CameraMode> mode;
    QList<CameraMode> modes;
    std::shared_ptr<std::atomic<bool>> avoided = std::make_shared<std::atomic<bool>>(false);

    std::optional<CameraMode> NextMode() {
        std::lock_guard lock(mutex);
        if (avoided->exchange(false))
            StepPastDamagedMode(modes, mode);
        return mode;
    }
};

CameraOpener PipeWireCameraOpener(const CameraInfo& camera, std::optional<QSize> size) {
    const QString identity = camera.location.mid(kPipeWireLocationPrefix.size());
    auto state = std::make_shared<PipeWireOpenerState>();
    state->mode = ChooseCameraMode(camera.modes, size);
    state->modes = camera.modes;
    return [identity, state] {
        const std::optional<CameraMode> mode = state->NextMode();
        const QList<PipeWireCamera> now = ListPipeWireCameras();
        const PipeWireCamera* found = FindPipeWireCamera(now, identity);
        std::unique_ptr<CCameraSource> source =
            found ? CPipeWireCameraSource::Open(*found, ProgramPipeWire(),
                                                PipeWireModeFor(*found, mode))
                  : nullptr;
        if (source)
            source->ShareModeAvoided(state->avoided);
        else
            NoteOpenFailure(CameraOpenFailure::NotFound);
        return source;
    };
}
