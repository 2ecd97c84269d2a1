// Enumerates V4L2 nodes with VIDIOC_QUERYCAP and tells cameras apart by their identity.
#include "camera/v4l2/V4l2Devices.h"

#include "camera/v4l2/V4l2Source.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString FixedText(const __u8* text, size_t size) {
    const auto* chars = reinterpret_cast<const char*>(text);
    return QString::fromUtf8(chars, qsizetype(strnlen(chars, size)));
}

// Says once per node and reason why a node is no camera (a scan runs every time the list is
// needed, and once a second while a camera is lost).
void LogLeftOut(const QString& path, const QString& why) {
    static std::mutex mutex;
    static QSet<QString> told;
    std::lock_guard lock(mutex);
    if (!told.contains(path + why)) {
        told.insert(path + why);
        qWarning("%s is not listed as a camera: %s", qUtf8Printable(path), qUtf8Printable(why));
    }
}

bool QueryNode(V4l2Node& node) {
    const int fd =
        ::open(QFile::encodeName(node.path).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        LogLeftOut(node.path, QStringLiteral("it does not open (%1)").arg(strerror(errno)));
        return false;
    }
    v4l2_capability cap{};
    const bool ok = ::ioctl(fd, VIDIOC_QUERYCAP, &cap) == 0;
    if (ok) {
        node.deviceCaps =
            (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
        node.card = FixedText(cap.card, sizeof cap.card);
        node.busInfo = FixedText(cap.bus_info, sizeof cap.bus_info);
        node.usableFormat = HasUsableV4l2Format(fd);
        constexpr uint32_t kCaptures = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE;
        if ((node.deviceCaps & kCaptures) && !node.usableFormat)
            LogLeftOut(node.path, QStringLiteral("%1 captures only formats the program cannot "
                                                 "read (%2)")
                                      .arg(node.card, V4l2FormatNames(fd)));
    }
    ::close(fd);
    return ok;
}

// By-id link names by the canonical path of the node each points to.
QMap<QString, QString> ByIdLinks() {
    QMap<QString, QString> links;
    const QDir folder(V4l2ByIdFolder());
    for (const QString& name : folder.entryList(QDir::System | QDir::Files, QDir::Name)) {
        const QString target = QFileInfo(folder.filePath(name)).canonicalFilePath();
        if (!target.isEmpty())
            links.insert(target, name);
    }
    return links;
}

QString CanonicalByIdTarget(const QString& byId) {
    return QFileInfo(QDir(V4l2ByIdFolder()).filePath(byId)).canonicalFilePath();
}

QStringList NodeNames(const QString& root) {
    return QDir(root).entryList({QStringLiteral("video*")}, QDir::System | QDir::Files);
}

} // namespace

QString V4l2DeviceRoot() {
    const QString root = qEnvironmentVariable("VISTRELCV_DEVICE_ROOT");
    return root.isEmpty() ? QStringLiteral("/dev") : root;
}

QString V4l2ByIdFolder() {
    return V4l2DeviceRoot() + QStringLiteral("/v4l/by-id");
}

QList<V4l2Node> SelectCaptureNodes(QList<V4l2Node> nodes) {
    constexpr uint32_t kCaptures = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_CAPTURE_MPLANE;
    nodes.removeIf([](const V4l2Node& node) {
        return (node.deviceCaps & kCaptures) == 0 || !node.usableFormat;
    });
    std::stable_sort(nodes.begin(), nodes.end(),
                     [](const V4l2Node& a, const V4l2Node& b) { return a.number < b.number; });
    return nodes;
}

QList<V4l2Node> ScanV4l2Nodes() {
    QList<V4l2Node> nodes;
    const QString root = V4l2DeviceRoot();
    const QMap<QString, QString> links = ByIdLinks();
    for (const QString& name : NodeNames(root)) {
        bool numeric = false;
        V4l2Node node;
        node.number = name.mid(5).toInt(&numeric);
        if (!numeric)
            continue;
        node.path = root + QLatin1Char('/') + name;
        node.byId = links.value(QFileInfo(node.path).canonicalFilePath());
        if (QueryNode(node))
            nodes << node;
    }
    return nodes;
}

QList<V4l2Node> QueryLinkedNode(const QString& byId) {
    V4l2Node node;
    node.path = CanonicalByIdTarget(byId);
    node.number = QFileInfo(node.path).fileName().mid(5).toInt();
    node.byId = byId;
    if (node.path.isEmpty() || !QueryNode(node))
        return {};
    return {node};
}

QByteArray V4l2NodesStamp() {
    const QString root = V4l2DeviceRoot();
    QStringList paths{V4l2ByIdFolder()}; // a link made or removed changes its folder
    for (const QString& name : NodeNames(root))
        paths << root + QLatin1Char('/') + name;
    QByteArray stamp;
    for (const QString& path : paths) {
        struct stat status {};
        if (::stat(QFile::encodeName(path).constData(), &status) == 0)
            stamp += QFile::encodeName(path) + ' ' + QByteArray::number(quint64(status.st_ino)) +
                     ' ' + QByteArray::number(qint64(status.st_ctim.tv_sec)) + '.' +
                     QByteArray::number(qint64(status.st_ctim.tv_nsec)) + '\n';
    }
    return stamp;
}

V4l2Identity IdentityOf(const V4l2Node& node) {
    return {node.byId, node.busInfo, node.card};
}

QString V4l2IdentityText(const V4l2Identity& identity) {
    return QStringList{QStringLiteral("v4l2"), identity.byId, identity.busInfo, identity.card}.join(
        QLatin1Char('\t'));
}

V4l2Identity ParseV4l2Identity(const QString& text) {
    const QStringList parts = text.split(QLatin1Char('\t'));
    if (parts.size() != 4 || parts[0] != QLatin1String("v4l2"))
        return {};
    return {parts[1], parts[2], parts[3]};
}

int MatchV4l2Identity(const V4l2Identity& identity, const QList<V4l2Node>& nodes) {
    if (identity.card.isEmpty() && identity.busInfo.isEmpty() && identity.byId.isEmpty())
        return -1;
    const auto sameCard = [&](const V4l2Node& node) { return node.card == identity.card; };
    const auto samePort = [&](const V4l2Node& node) {
        return sameCard(node) && node.busInfo == identity.busInfo;
    };
    if (!identity.byId.isEmpty()) {
        const QString target = CanonicalByIdTarget(identity.byId);
        int linked = -1;
        for (int i = 0; i < nodes.size(); ++i) {
            if (!target.isEmpty() && QFileInfo(nodes[i].path).canonicalFilePath() == target &&
                sameCard(nodes[i]))
                linked = i;
        }
        if (linked >= 0) {
            // udev keeps one link per name: a twin without a link of its own may be the camera.
            for (int i = 0; i < nodes.size(); ++i) {
                if (samePort(nodes[i]) && (i == linked || nodes[i].byId.isEmpty()))
                    return i;
            }
            return linked;
        }
    }
    for (int i = 0; i < nodes.size(); ++i) {
        if (samePort(nodes[i]))
            return i;
    }
    return -1;
}

int V4l2Ioctl(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}
