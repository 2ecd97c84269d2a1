// The V4L2 video nodes of the machine and which of them are cameras. Most webcams add a second
// node that carries only metadata; camera i is the i-th node that captures video, in device
// order, so those extra nodes must not count.
#pragma once

#include <QList>
#include <QString>

#include <cstdint>

struct V4l2Node {
    QString path;            // "/dev/video3"
    int number = 0;          // 3: the device order
    uint32_t deviceCaps = 0; // V4L2_CAP_* of this node (device_caps, else capabilities)
    QString card;            // the driver's card name
    QString busInfo;         // where the device is attached ("usb-0000:00:14.0-2")
};

// What makes a V4L2 camera the same camera after it was unplugged and came back under another
// node number: its /dev/v4l/by-id link (vendor, model, serial), else its bus and card name.
struct V4l2Identity {
    QString byId; // the link's path, empty when the device has none
    QString busInfo;
    QString card;
};

inline const QString kV4l2ByIdFolder = QStringLiteral("/dev/v4l/by-id");

// The nodes that capture video, in device order.
QList<V4l2Node> SelectCaptureNodes(QList<V4l2Node> nodes);
// Every /dev/videoN node that answers VIDIOC_QUERYCAP.
QList<V4l2Node> ScanV4l2Nodes();

// The identity of the node at `path`, as the system names it now.
V4l2Identity IdentifyV4l2Device(const QString& path, const QString& byIdFolder = kV4l2ByIdFolder);
// The capture node that is the camera `identity` among `nodes`: where its by-id link points, else
// the node with its bus and card name. Empty when it is not there. Without any identity (a node
// that answered nothing), `path` itself.
QString MatchV4l2Device(const V4l2Identity& identity, const QString& path,
                        const QList<V4l2Node>& nodes);
// MatchV4l2Device over the nodes of the machine now.
QString FindV4l2Device(const V4l2Identity& identity, const QString& path);
