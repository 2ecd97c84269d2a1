// The camera list (V4L2 capture nodes, then the cameras only PipeWire serves, or
// VISTRELCV_CAMERAS) and the choice of the way a camera is reached; each way opens its cameras
// itself.
#include "camera/CameraList.h"

#include "camera/CameraEntry.h"
#include "camera/CameraNumbers.h"
#include "camera/media/GstElements.h"
#include "camera/media/MovieSource.h"
#include "camera/media/PipelineSource.h"
#include "camera/media/StillImageSource.h"
#include "camera/pipewire/PipeWireOpener.h"
#include "camera/testsrc/TestPatternSource.h"
#include "camera/v4l2/V4l2Cameras.h"

#include <QFileInfo>
#include <QtGlobal>

namespace {

QString DescribeEntry(const CameraEntry& entry) {
    if (entry.kind == CameraEntry::Kind::TestPattern)
        return QStringLiteral("testsrc %1 x %2, %3 fps")
            .arg(entry.width)
            .arg(entry.height)
            .arg(entry.fps);
    return entry.location;
}

std::unique_ptr<CCameraSource> OpenEntry(const CameraEntry& entry) {
    switch (entry.kind) {
    case CameraEntry::Kind::TestPattern:
        return CTestPatternSource::Open(entry);
    case CameraEntry::Kind::ImageFile:
        return CStillImageSource::Open(entry.location);
    case CameraEntry::Kind::Pipeline:
        return CPipelineSource::Open(entry.location);
    default:
        return CMovieSource::Open(entry);
    }
}

QList<CameraInfo> ListNamedCameras(const QString& list) {
    QList<CameraInfo> cameras;
    for (const QString& text : SplitCameraList(list)) {
        const CameraEntry entry = ParseCameraEntry(text);
        CameraInfo info{text, DescribeEntry(entry), {}, {}};
        if (IsPipeWireLocation(text)) {
            const QList<PipeWireCamera> listed = ListPipeWireCameras();
            if (const PipeWireCamera* camera =
                    FindPipeWireCamera(listed, text.mid(kPipeWireLocationPrefix.size())))
                info = PipeWireCameraInfo(*camera);
        }
        if (entry.kind == CameraEntry::Kind::Device)
            info = V4l2DeviceEntryInfo(text);
        cameras << info;
    }
    return cameras;
}

} // namespace

QList<CameraInfo> ListCameras(const StoredCameraIds& stored) {
    if (qEnvironmentVariableIsSet("VISTRELCV_CAMERAS"))
        return ListNamedCameras(qEnvironmentVariable("VISTRELCV_CAMERAS"));
    const QList<V4l2Node> scanned = ScanV4l2Nodes();
    const QList<V4l2Node> nodes = SelectCaptureNodes(scanned);
    QList<CameraInfo> attached;
    for (const V4l2Node& node : nodes)
        attached << V4l2CameraInfo(node);
    // What PipeWire takes from a node the program reaches itself is that camera, or a node it
    // left out on purpose (metadata, raw Bayer): only the cameras no node here gives are added.
    QStringList v4l2Paths;
    for (const V4l2Node& node : scanned)
        v4l2Paths << node.path << QFileInfo(node.path).canonicalFilePath();
    for (const PipeWireCamera& camera : PipeWireOnlyCameras(ListPipeWireCameras(), v4l2Paths))
        attached << PipeWireCameraInfo(camera);
    // A V4L2 camera among the capture nodes (they come first), a PipeWire camera by its exact
    // identity.
    const auto match = [&](const CameraIdentity& id) {
        if (!IsPipeWireIdentity(id))
            return MatchStoredV4l2Camera(id, nodes);
        for (int i = 0; i < attached.size(); ++i) {
            if (attached[i].id == id)
                return i;
        }
        return -1;
    };
    return AssignCameraNumbers(attached, stored, match);
}

CameraOpener CameraOpenerFor(int index, const StoredCameraIds& stored, std::optional<QSize> size,
                             std::shared_ptr<const CCameraControlBoard> controls) {
    const QList<CameraInfo> cameras = ListCameras(stored);
    if (index < 0 || index >= cameras.size() || cameras[index].location.isEmpty())
        return {};
    return CameraOpenerFor(cameras[index], size, std::move(controls));
}

CameraOpener CameraOpenerFor(const CameraInfo& camera, std::optional<QSize> size,
                             std::shared_ptr<const CCameraControlBoard> controls) {
    if (camera.location.isEmpty())
        return {};
    if (IsPipeWireLocation(camera.location))
        return PipeWireCameraOpener(camera, size);
    const CameraEntry entry = ParseCameraEntry(camera.location);
    // A node of the device scan is a V4L2 camera wherever the device folder is.
    if (IsV4l2Identity(camera.id) || entry.kind == CameraEntry::Kind::Device)
        return V4l2CameraOpener(camera, size, std::move(controls));
    return [entry] {
        std::unique_ptr<CCameraSource> source = OpenEntry(entry);
        if (!source)
            NoteOpenFailure(CameraOpenFailure::NotFound);
        return source;
    };
}

std::unique_ptr<CCameraSource> OpenCameraSource(int index, const StoredCameraIds& stored) {
    const CameraOpener opener = CameraOpenerFor(index, stored);
    return opener ? opener() : nullptr;
}

QStringList MissingGstElementsOfCamera(int index) {
    const QList<CameraInfo> cameras = ListCameras();
    if (index < 0 || index >= cameras.size())
        return {};
    const CameraEntry entry = ParseCameraEntry(cameras[index].location);
    return entry.kind == CameraEntry::Kind::Pipeline ? MissingGstElements(entry.location)
                                                     : QStringList();
}
