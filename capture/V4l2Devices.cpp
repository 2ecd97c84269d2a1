// Enumerates V4L2 nodes with VIDIOC_QUERYCAP.
#include "capture/V4l2Devices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

bool QueryNode(V4l2Node& node) {
    const int fd =
        ::open(QFile::encodeName(node.path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    v4l2_capability cap{};
    const bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    ::close(fd);
    if (!ok)
        return false;
    node.deviceCaps =
        (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
    node.card = QString::fromUtf8(
        reinterpret_cast<const char*>(cap.card),
        qsizetype(strnlen(reinterpret_cast<const char*>(cap.card), sizeof cap.card)));
    node.busInfo = QString::fromUtf8(
        reinterpret_cast<const char*>(cap.bus_info),
        qsizetype(strnlen(reinterpret_cast<const char*>(cap.bus_info), sizeof cap.bus_info)));
    return true;
}

} // namespace

QList<V4l2Node> SelectCaptureNodes(QList<V4l2Node> nodes) {
    constexpr uint32_t kCaptures = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE;
    nodes.removeIf([](const V4l2Node& node) { return (node.deviceCaps & kCaptures) == 0; });
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const V4l2Node& a, const V4l2Node& b) { return a.number < b.number; });
    return nodes;
}

QList<V4l2Node> ScanV4l2Nodes() {
    QList<V4l2Node> nodes;
    const QStringList names =
        QDir(QStringLiteral("/dev")).entryList({QStringLiteral("video*")}, QDir::System);
    for (const QString& name : names) {
        bool numeric = false;
        V4l2Node node;
        node.number = name.mid(5).toInt(&numeric);
        if (!numeric)
            continue;
        node.path = QLatin1String("/dev/") + name;
        if (QueryNode(node))
            nodes << node;
    }
    return nodes;
}

V4l2Identity IdentifyV4l2Device(const QString& path, const QString& byIdFolder) {
    V4l2Identity identity;
    const QString node = QFileInfo(path).canonicalFilePath();
    const QDir links(byIdFolder);
    for (const QString& name : links.entryList(QDir::System | QDir::Files, QDir::Name)) {
        const QString link = links.filePath(name);
        if (!node.isEmpty() && QFileInfo(link).canonicalFilePath() == node) {
            identity.byId = link;
            break;
        }
    }
    V4l2Node queried;
    queried.path = path;
    if (QueryNode(queried)) {
        identity.busInfo = queried.busInfo;
        identity.card = queried.card;
    }
    return identity;
}

QString MatchV4l2Device(const V4l2Identity& identity, const QString& path,
                        const QList<V4l2Node>& nodes) {
    if (!identity.byId.isEmpty())
        return QFileInfo(identity.byId).canonicalFilePath(); // empty while it is unplugged
    if (identity.busInfo.isEmpty() && identity.card.isEmpty())
        return path;
    for (const V4l2Node& node : SelectCaptureNodes(nodes)) {
        if (node.busInfo == identity.busInfo && node.card == identity.card)
            return node.path;
    }
    return {};
}

QString FindV4l2Device(const V4l2Identity& identity, const QString& path) {
    return MatchV4l2Device(identity, path,
                           identity.byId.isEmpty() ? ScanV4l2Nodes() : QList<V4l2Node>{});
}
