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
};

// The nodes that capture video, in device order.
QList<V4l2Node> SelectCaptureNodes(QList<V4l2Node> nodes);
// Every /dev/videoN node that answers VIDIOC_QUERYCAP.
QList<V4l2Node> ScanV4l2Nodes();
