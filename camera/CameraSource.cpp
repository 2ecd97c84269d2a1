// The camera list (V4L2 capture nodes, then the cameras only PipeWire serves, or
// VISTRELCV_CAMERAS) and opening a camera by index.
#include "capture/CameraSource.h"

#include "capture/CameraEntry.h"
#include "capture/PipeWireCameraSource.h"
#include "capture/PipeWireCameras.h"
#include "capture/StillImageSource.h"
#include "capture/TestPatternSource.h"
#include "capture/V4l2Devices.h"
#include "capture/V4l2Source.h"
#include "capture/VideoCaptureSource.h"

#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <opencv2/imgcodecs.hpp>

#include <mutex>

#include <linux/videodev2.h>

namespace {

thread_local CameraOpenFailure t_openFailure = CameraOpenFailure::None;
// Stored identities beyond this many cameras are not numbers anyone uses.
constexpr int kMaxCameraIndex = 64;

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

CameraInfo InfoOf(const V4l2Node& node) {
    return CameraInfo{node.path, node.card, V4l2IdentityText(IdentityOf(node)),
                      ListV4l2Modes(node.path)};
}

// A device named in VISTRELCV_CAMERAS: the capture node of the scan it is, found again by its
// identity after a replug like any scanned camera; else the path alone.
CameraInfo DeviceEntryInfo(const QString& path) {
    const QString node = QFileInfo(path).canonicalFilePath();
    for (const V4l2Node& scanned : SelectCaptureNodes(ScanV4l2Nodes())) {
        if (!node.isEmpty() && QFileInfo(scanned.path).canonicalFilePath() == node)
            return InfoOf(scanned);
    }
    return CameraInfo{path, path, {}, ListV4l2Modes(path)};
}

// The identity text a PipeWire camera is stored by ("pipewire", its node name or object path).
QString PipeWireIdText(const QString& identity) {
    return QStringLiteral("pipewire\t") + identity;
}

// A PipeWire camera's raw modes as sizes and rates (all its formats are raw; the one to open in
// is found again by size, PipeWireModeFor).
QList<CameraMode> ModesOf(const PipeWireCamera& camera) {
    QList<CameraMode> modes;
    for (const PipeWireMode& mode : camera.modes)
        modes << CameraMode{V4L2_PIX_FMT_YUYV, QSize(mode.width, mode.height), mode.Fps()};
    return modes;
}

PipeWireMode PipeWireModeFor(const PipeWireCamera& camera, const std::optional<CameraMode>& mode) {
    PipeWireMode best;
    for (const PipeWireMode& candidate : camera.modes) {
        if (mode && QSize(candidate.width, candidate.height) == mode->size &&
            candidate.Fps() > best.Fps())
            best = candidate;
    }
    return best;
}

CameraInfo InfoOf(const PipeWireCamera& camera) {
    const QString identity = PipeWireCameraIdentity(camera);
    return CameraInfo{kPipeWireLocationPrefix + identity, camera.description,
                      PipeWireIdText(identity), ModesOf(camera)};
}

// The attached camera a stored identity names: a V4L2 camera among the first nodes.size()
// cameras, a PipeWire camera by its exact identity; -1 when it is not attached.
int MatchStored(const QString& stored, const QList<V4l2Node>& nodes,
                const QList<CameraInfo>& attached) {
    if (stored.startsWith(QLatin1String("pipewire\t"))) {
        for (int i = 0; i < attached.size(); ++i) {
            if (attached[i].id == stored)
                return i;
        }
        return -1;
    }
    return MatchV4l2Identity(ParseV4l2Identity(stored), nodes);
}

// Camera numbers for the attached cameras (the V4L2 capture nodes, then the cameras only PipeWire
// serves): a stored identity keeps its number wherever its camera now is; the other cameras take
// the numbers left over, in list order.
QList<CameraInfo> AssignCameras(const QList<V4l2Node>& nodes, const QList<CameraInfo>& attached,
                                const StoredCameraIds& stored) {
    QMap<int, int> cameraOf; // camera index -> attached index
    QList<bool> claimed(attached.size(), false);
    for (auto it = stored.begin(); it != stored.end(); ++it) {
        const int camera = MatchStored(it.value(), nodes, attached);
        if (camera >= 0 && !claimed[camera] && it.key() >= 0 && it.key() < kMaxCameraIndex) {
            cameraOf.insert(it.key(), camera);
            claimed[camera] = true;
        }
    }
    int next = 0;
    for (int index = 0; next < attached.size(); ++index) {
        if (cameraOf.contains(index))
            continue;
        while (next < attached.size() && claimed[next])
            ++next;
        if (next < attached.size())
            cameraOf.insert(index, next++);
    }
    QList<CameraInfo> cameras;
    const int count = cameraOf.isEmpty() ? 0 : cameraOf.lastKey() + 1;
    for (int index = 0; index < count; ++index)
        cameras << (cameraOf.contains(index) ? attached[cameraOf[index]] : CameraInfo{});
    return cameras;
}

// Opens a V4L2 camera found by its identity, in its chosen mode; after a start refused for lack
// of bandwidth, the next call tries the next smaller mode.
class CV4l2Opener {
public:
    CV4l2Opener(const CameraInfo& camera, std::optional<QSize> size)
        : m_identity(ParseV4l2Identity(camera.id)), m_path(camera.location),
          m_mode(ChooseCameraMode(camera.modes, size)), m_modes(camera.modes) {}

    std::unique_ptr<CCameraSource> operator()() {
        std::lock_guard lock(m_mutex); // copies of the opener may run on two threads
        const QString path = FindPath();
        if (path.isEmpty()) {
            NoteOpenFailure(CameraOpenFailure::NotFound);
            return nullptr;
        }
        CameraOpenFailure failure = CameraOpenFailure::NotFound;
        std::unique_ptr<CCameraSource> source = CV4l2Source::Open(path, m_mode, &failure);
        if (!source && failure == CameraOpenFailure::Bandwidth && m_mode) {
            if (std::optional<CameraMode> smaller = SmallerCameraMode(m_modes, *m_mode))
                m_mode = smaller;
        }
        if (!source)
            NoteOpenFailure(failure);
        return source;
    }

private:
    QString FindPath() const {
        const QList<V4l2Node> nodes = SelectCaptureNodes(ScanV4l2Nodes());
        const int node = MatchV4l2Identity(m_identity, nodes);
        if (node >= 0)
            return nodes[node].path;
        // A node that answered nothing when listed has no identity: open it by its path.
        const bool anonymous = m_identity.card.isEmpty() && m_identity.busInfo.isEmpty();
        return anonymous ? m_path : QString();
    }

    std::mutex m_mutex;
    V4l2Identity m_identity;
    QString m_path;
    std::optional<CameraMode> m_mode;
    QList<CameraMode> m_modes;
};

} // namespace

void CCameraSource::SetDecodeSize(cv::Size) {}

void NoteOpenFailure(CameraOpenFailure failure) {
    t_openFailure = failure;
}

CameraOpenFailure TakeOpenFailure() {
    return std::exchange(t_openFailure, CameraOpenFailure::None);
}

QList<CameraInfo> ListCameras(const StoredCameraIds& stored) {
    QList<CameraInfo> cameras;
    if (qEnvironmentVariableIsSet("VISTRELCV_CAMERAS")) {
        for (const QString& text : SplitCameraList(qEnvironmentVariable("VISTRELCV_CAMERAS"))) {
            const CameraEntry entry = ParseCameraEntry(text);
            CameraInfo info{text, DescribeEntry(entry), {}, {}};
            if (text.startsWith(kPipeWireLocationPrefix)) {
                const QList<PipeWireCamera> listed = ListPipeWireCameras();
                if (const PipeWireCamera* camera =
                        FindPipeWireCamera(listed, text.mid(kPipeWireLocationPrefix.size())))
                    info = InfoOf(*camera);
            }
            if (entry.kind == CameraEntry::Kind::Device)
                info = DeviceEntryInfo(text);
            cameras << info;
        }
        return cameras;
    }
    const QList<V4l2Node> scanned = ScanV4l2Nodes();
    const QList<V4l2Node> nodes = SelectCaptureNodes(scanned);
    QList<CameraInfo> attached;
    for (const V4l2Node& node : nodes)
        attached << InfoOf(node);
    // What PipeWire takes from a node the program reaches itself is that camera, or a node it
    // left out on purpose (metadata, raw Bayer): only the cameras no node here gives are added.
    QStringList v4l2Paths;
    for (const V4l2Node& node : scanned)
        v4l2Paths << node.path << QFileInfo(node.path).canonicalFilePath();
    for (const PipeWireCamera& camera : PipeWireOnlyCameras(ListPipeWireCameras(), v4l2Paths))
        attached << InfoOf(camera);
    return AssignCameras(nodes, attached, stored);
}

CameraOpener CameraOpenerFor(int index, const StoredCameraIds& stored, std::optional<QSize> size) {
    const QList<CameraInfo> cameras = ListCameras(stored);
    if (index < 0 || index >= cameras.size() || cameras[index].location.isEmpty())
        return {};
    return CameraOpenerFor(cameras[index], size);
}

CameraOpener CameraOpenerFor(const CameraInfo& camera, std::optional<QSize> size) {
    if (camera.location.isEmpty())
        return {};
    if (camera.location.startsWith(kPipeWireLocationPrefix)) {
        const QString identity = camera.location.mid(kPipeWireLocationPrefix.size());
        const std::optional<CameraMode> mode = ChooseCameraMode(camera.modes, size);
        return [identity, mode] {
            const QList<PipeWireCamera> now = ListPipeWireCameras();
            const PipeWireCamera* found = FindPipeWireCamera(now, identity);
            std::unique_ptr<CCameraSource> source =
                found ? OpenPipeWireCamera(identity, PipeWireModeFor(*found, mode)) : nullptr;
            if (!source)
                NoteOpenFailure(CameraOpenFailure::NotFound);
            return source;
        };
    }
    CameraEntry entry = ParseCameraEntry(camera.location);
    // A node of the device scan is a V4L2 camera wherever the device folder is.
    if (camera.id.startsWith(QLatin1String("v4l2\t")))
        entry.kind = CameraEntry::Kind::Device;
    if (entry.kind != CameraEntry::Kind::Device)
        return [entry] {
            std::unique_ptr<CCameraSource> source = OpenEntry(entry);
            if (!source)
                NoteOpenFailure(CameraOpenFailure::NotFound);
            return source;
        };
    return [opener = std::make_shared<CV4l2Opener>(camera, size)] { return (*opener)(); };
}

std::unique_ptr<CCameraSource> OpenCameraSource(int index, const StoredCameraIds& stored) {
    const CameraOpener opener = CameraOpenerFor(index, stored);
    return opener ? opener() : nullptr;
}
