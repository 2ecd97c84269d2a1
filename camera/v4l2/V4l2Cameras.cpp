// V4L2 cameras in the camera list, and opening one by its identity.
#include "camera/v4l2/V4l2Cameras.h"

#include "camera/CameraControlBoard.h"
#include "camera/v4l2/V4l2Source.h"

#include <QFileInfo>

#include <mutex>

namespace {

// Opens a V4L2 camera found by its identity, in its chosen mode; after a start refused for lack
// of bandwidth, the next call tries the next smaller mode.
class CV4l2Opener {
public:
    CV4l2Opener(const CameraInfo& camera, std::optional<QSize> size,
                std::shared_ptr<const CCameraControlBoard> controls)
        : m_identity(ParseV4l2Identity(camera.id)), m_path(camera.location),
          m_mode(ChooseCameraMode(camera.modes, size)), m_modes(camera.modes),
          m_controls(std::move(controls)) {}

    std::unique_ptr<CCameraSource> operator()() {
        std::lock_guard lock(m_mutex); // copies of the opener may run on two threads
        const QString path = FindPath();
        if (path.isEmpty()) {
            NoteOpenFailure(CameraOpenFailure::NotFound);
            return nullptr;
        }
        CameraOpenFailure failure = CameraOpenFailure::NotFound;
        std::unique_ptr<CCameraSource> source = CV4l2Source::Open(
            path, m_mode, &failure, m_controls ? m_controls->Stored() : CameraControlValues());
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
    std::shared_ptr<const CCameraControlBoard> m_controls;
};

} // namespace

CameraInfo V4l2CameraInfo(const V4l2Node& node) {
    return CameraInfo{node.path, node.card, V4l2IdentityText(IdentityOf(node)),
                      ListV4l2Modes(node.path)};
}

CameraInfo V4l2DeviceEntryInfo(const QString& path) {
    const QString node = QFileInfo(path).canonicalFilePath();
    for (const V4l2Node& scanned : SelectCaptureNodes(ScanV4l2Nodes())) {
        if (!node.isEmpty() && QFileInfo(scanned.path).canonicalFilePath() == node)
            return V4l2CameraInfo(scanned);
    }
    return CameraInfo{path, path, {}, ListV4l2Modes(path)};
}

bool IsV4l2Identity(const CameraIdentity& id) {
    return id.startsWith(QLatin1String("v4l2\t"));
}

int MatchStoredV4l2Camera(const CameraIdentity& id, const QList<V4l2Node>& nodes) {
    return MatchV4l2Identity(ParseV4l2Identity(id), nodes);
}

CameraOpener V4l2CameraOpener(const CameraInfo& camera, std::optional<QSize> size,
                              std::shared_ptr<const CCameraControlBoard> controls) {
    return [opener = std::make_shared<CV4l2Opener>(camera, size, std::move(controls))] {
        return (*opener)();
    };
}
