// The V4L2 video nodes of the machine and which of them are cameras. Most webcams add a second
// node that carries only metadata, and laptop sensors add nodes that give only raw Bayer data
// (they need an image processor the program does not have); neither counts as a camera.
#pragma once

#include <QList>
#include <QString>

#include <cstdint>

// ioctl on a V4L2 node, asked again when a signal interrupted it.
int V4l2Ioctl(int fd, unsigned long request, void* argument);

struct V4l2Node {
    QString path;              // "/dev/video3"
    int number = 0;            // 3: the device order
    uint32_t deviceCaps = 0;   // V4L2_CAP_* of this node (device_caps, else capabilities)
    bool usableFormat = false; // lists a pixel format the program decodes
    QString card;              // the driver's card name
    QString busInfo;           // where the device is attached ("usb-0000:00:14.0-2")
    QString byId;              // the name of the by-id link that points here, empty when none
};

// What makes a V4L2 camera the same camera after it was unplugged and came back under another
// node number: its by-id name (vendor, model, serial), its bus and its card name.
struct V4l2Identity {
    QString byId; // the link's name in the by-id folder, empty when the device has none
    QString busInfo;
    QString card;
    bool operator==(const V4l2Identity&) const = default;
};

// The device folder: /dev, or VISTRELCV_DEVICE_ROOT where tests put devices of their own.
QString V4l2DeviceRoot();
// The folder of the by-id links, inside the device folder.
QString V4l2ByIdFolder();

// The nodes that capture video in a format the program decodes, in device order.
QList<V4l2Node> SelectCaptureNodes(QList<V4l2Node> nodes);
// Every videoN node of the device folder that answers VIDIOC_QUERYCAP, with its by-id name.
QList<V4l2Node> ScanV4l2Nodes();
// The node the by-id link `byId` points to, queried alone (no other node is opened); empty when
// the link is not there or the node does not answer.
QList<V4l2Node> QueryLinkedNode(const QString& byId);
// What the device folder's videoN nodes and by-id links are now, from their names, inodes and
// change times, without opening any node: while it is the same, a scan finds what the last found.
QByteArray V4l2NodesStamp();

V4l2Identity IdentityOf(const V4l2Node& node);
// The stored text of an identity ("v4l2", by-id name, bus, card; tab-separated) and back; an
// empty identity for text of another kind.
QString V4l2IdentityText(const V4l2Identity& identity);
V4l2Identity ParseV4l2Identity(const QString& text);

// The node among `nodes` that is the camera `identity`: the target of its by-id link when that
// reports the same card name; where several attached cameras of that card may share the by-id
// name (cameras without a serial number), the one on the same USB port; else the node with its
// bus and card name. -1 when it is not attached.
int MatchV4l2Identity(const V4l2Identity& identity, const QList<V4l2Node>& nodes);
