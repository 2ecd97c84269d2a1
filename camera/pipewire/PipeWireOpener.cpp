// PipeWire cameras in the camera list, and opening one by its identity.
#include "camera/pipewire/PipeWireOpener.h"

#include "camera/pipewire/PipeWireCameraSource.h"
#include "camera/pipewire/PipeWireConnection.h"
#include "camera/pipewire/PipeWireFormats.h"

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

CameraOpener PipeWireCameraOpener(const CameraInfo& camera, std::optional<QSize> size) {
    const QString identity = camera.location.mid(kPipeWireLocationPrefix.size());
    const std::optional<CameraMode> mode = ChooseCameraMode(camera.modes, size);
    return [identity, mode] {
        const QList<PipeWireCamera> now = ListPipeWireCameras();
        const PipeWireCamera* found = FindPipeWireCamera(now, identity);
        std::unique_ptr<CCameraSource> source =
            found ? CPipeWireCameraSource::Open(*found, ProgramPipeWire(),
                                                PipeWireModeFor(*found, mode))
                  : nullptr;
        if (!source)
            NoteOpenFailure(CameraOpenFailure::NotFound);
        return source;
    };
}
