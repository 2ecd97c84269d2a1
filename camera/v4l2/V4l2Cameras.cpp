// V4L2 cameras in the camera list, and opening one by its identity.
#include "camera/v4l2/V4l2Cameras.h"

#include "camera/CameraControlBoard.h"
#include "camera/v4l2/V4l2Source.h"

#include <QFileInfo>

#include <mutex>

namespace {

// Opens a V4L2 camera found by its identity, in its chosen mode; after a start refused for lack
// of bandwidth, the next call tries the next smaller mode, and after a mode that gave nothing but
// damaged frames, the next mode down.
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
        if (m_modeAvoided->exchange(false))
            StepPastDamagedMode(m_modes, m_mode);
        CameraOpenFailure failure = CameraOpenFailure::NotFound;
        std::unique_ptr<CV4l2Source> source = CV4l2Source::Open(
            path, m_mode, &failure, m_controls ? m_controls->Stored() : CameraControlValues());
        if (!source && failure == CameraOpenFailure::Bandwidth && m_mode) {
            if (std::optional<CameraMode> smaller = SmallerCameraMode(m_modes, *m_mode))
                m_mode = smaller;
        }
        if (!source)
            NoteOpenFailure(failure);
        else
            source->ShareModeAvoided(m_modeAvoided);
        return source;
    }

private:
    // While the camera is lost this runs about once a second, and touches no other camera: a
    // camera with a by-id link is looked for at the link's node alone (no link, not attached).
    // The other nodes are listed again only for a camera without a link, or whose link names its
    // twin on another port, and only when the device folder changed since they were last listed.
    QString FindPath() {
        if (!m_identity.byId.isEmpty() && QFileInfo(V4l2ByIdFolder()).isDir()) {
            const QList<V4l2Node> linked = SelectCaptureNodes(QueryLinkedNode(m_identity.byId));
            if (linked.isEmpty())
                return {};
            if (IdentityOf(linked[0]) == m_identity)
                return linked[0].path;
        }
        const QByteArray stamp = V4l2NodesStamp();
        if (stamp != m_stamp)
            m_nodes = SelectCaptureNodes(ScanV4l2Nodes());
        m_stamp = stamp;
        const int node = MatchV4l2Identity(m_identity, m_nodes);
        if (node >= 0)
            return m_nodes[node].path;
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
    std::shared_ptr<std::atomic<bool>> m_modeAvoided = std::make_shared<std::atomic<bool>>(false);
    QByteArray m_stamp;      // of the device folder when m_nodes were listed
    QList<V4l2Node> m_nodes; // the capture nodes then
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
