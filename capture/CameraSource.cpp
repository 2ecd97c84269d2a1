// The camera list (V4L2 capture nodes, then the cameras only PipeWire serves, or
// VISTRELCV_CAMERAS) and opening a camera by index.
#include "capture/CameraSource.h"

#include "capture/CameraEntry.h"
#include "capture/PipeWireCameraSource.h"
#include "capture/PipeWireCameras.h"
#include "capture/StillImageSource.h"
#include "capture/TestPatternSource.h"
#include "capture/V4l2Devices.h"
#include "capture/VideoCaptureSource.h"

#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <opencv2/imgcodecs.hpp>

namespace {

QString DescribeEntry(const CameraEntry& entry) {
    if (entry.kind == CameraEntry::Kind::TestPattern)
        return QStringLiteral("testsrc %1 x %2, %3 fps")
            .arg(entry.width)
            .arg(entry.height)
            .arg(entry.fps);
    return entry.location;
}

std::unique_ptr<CCameraSource> OpenImageFile(const QString& path) {
    cv::Mat image;
    if (!QFileInfo(path).isFile())
        return nullptr;
    try {
        image = cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_COLOR);
    } catch (const cv::Exception&) {
    }
    if (image.empty())
        return nullptr;
    return std::make_unique<CStillImageSource>(std::move(image));
}

} // namespace

QList<CameraInfo> ListCameras() {
    QList<CameraInfo> cameras;
    if (qEnvironmentVariableIsSet("VISTRELCV_CAMERAS")) {
        for (const QString& text : SplitCameraList(qEnvironmentVariable("VISTRELCV_CAMERAS")))
            cameras << CameraInfo{text, DescribeEntry(ParseCameraEntry(text))};
        return cameras;
    }
    QStringList v4l2Paths;
    for (const V4l2Node& node : SelectCaptureNodes(ScanV4l2Nodes())) {
        cameras << CameraInfo{node.path, node.card};
        v4l2Paths << node.path;
    }
    for (const PipeWireCamera& camera : PipeWireOnlyCameras(ListPipeWireCameras(), v4l2Paths))
        cameras << CameraInfo{kPipeWireLocationPrefix + PipeWireCameraIdentity(camera),
                              camera.description};
    return cameras;
}

namespace {

std::unique_ptr<CCameraSource> OpenEntry(const CameraEntry& entry) {
    switch (entry.kind) {
    case CameraEntry::Kind::TestPattern:
        if (!entry.valid) {
            qWarning("VISTRELCV_CAMERAS: \"%s\" is not a test source; write testsrc or "
                     "testsrc:WIDTHxHEIGHT@FPS (16x16 to 7680x4320, 1 to 240 fps), optionally "
                     "followed by ,stop=S ,stall=S+S or ,hang=S",
                     qUtf8Printable(entry.location));
            return nullptr;
        }
        return std::make_unique<CTestPatternSource>(entry);
    case CameraEntry::Kind::ImageFile:
        return OpenImageFile(entry.location);
    default:
        return CVideoCaptureSource::Open(entry);
    }
}

} // namespace

std::unique_ptr<CCameraSource> OpenCameraSource(int index) {
    const CameraOpener opener = CameraOpenerFor(index);
    return opener ? opener() : nullptr;
}

CameraOpener CameraOpenerFor(int index) {
    const QList<CameraInfo> cameras = ListCameras();
    if (index < 0 || index >= cameras.size())
        return {};
    const QString& location = cameras[index].location;
    if (location.startsWith(kPipeWireLocationPrefix))
        return [identity = location.mid(kPipeWireLocationPrefix.size())] {
            return OpenPipeWireCamera(identity);
        };
    const CameraEntry entry = ParseCameraEntry(location);
    if (entry.kind != CameraEntry::Kind::Device)
        return [entry] { return OpenEntry(entry); };
    const V4l2Identity identity = IdentifyV4l2Device(entry.location);
    return [entry, identity]() -> std::unique_ptr<CCameraSource> {
        CameraEntry now = entry;
        now.location = FindV4l2Device(identity, entry.location);
        return now.location.isEmpty() ? nullptr : OpenEntry(now);
    };
}
