// Enumerates V4L2 nodes with VIDIOC_QUERYCAP.
#include "capture/V4l2Devices.h"

#include <QDir>
#include <QFile>

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
