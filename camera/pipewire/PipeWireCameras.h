// The video sources of the desktop's PipeWire daemon: libcamera cameras, virtual cameras and the
// V4L2 cameras PipeWire itself serves. They are listed through PipeWire's registry, on the
// program's one connection (PipeWireConnection.h), which a camera's stream shares.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>

class CPipeWireConnection;

// A way a PipeWire camera delivers pictures: a format, a size and its best rate. Only formats the
// program decodes are listed (PipeWireFormats.h): MJPEG, which a webcam needs for its large sizes
// when a sandbox reaches it only through PipeWire, and the raw formats.
struct PipeWireMode {
    QString format; // PipeWire's name of the format ("YUY2", "NV12", "MJPG")
    int width = 0;
    int height = 0;
    int rateNum = 0; // the highest frame rate at this format and size, as a fraction
    int rateDen = 1;
    double Fps() const { return rateDen > 0 ? double(rateNum) / rateDen : 0.0; }
};

struct PipeWireCamera {
    uint32_t id = 0;           // the node's id in this daemon (reused after the node goes)
    QString serial;            // object.serial: never reused while the daemon runs
    QString nodeName;          // node.name: what the camera is opened by and known again by
    QString description;       // node.description: the name shown to the user
    QString objectPath;        // object.path ("v4l2:/dev/video0", "libcamera:...")
    QString v4l2Path;          // the V4L2 node PipeWire takes the camera from, empty when none
    QList<PipeWireMode> modes; // from the node's EnumFormat, in its order; may be empty
};

// How long a listing waits for the daemon's answer before giving up with what it has.
inline constexpr std::chrono::milliseconds kPipeWireListLimit{1500};

// The Video/Source nodes of the daemon `connection` reaches. Empty, at once, when no daemon runs.
QList<PipeWireCamera> ListPipeWireCameras(CPipeWireConnection& connection);
// The same on the program's connection: through the portal when the program goes through it,
// none when the portal refused or has no camera, else to the user's own daemon.
QList<PipeWireCamera> ListPipeWireCameras();
// The identity a PipeWire camera is known again by: its node.name, else its object.path.
QString PipeWireCameraIdentity(const PipeWireCamera& camera);
// The camera with `identity` in `cameras`; null when it is not there.
const PipeWireCamera* FindPipeWireCamera(const QList<PipeWireCamera>& cameras,
                                         const QString& identity);
// The cameras that are not the V4L2 nodes `v4l2Paths` (which the program reaches itself), in
// order.
QList<PipeWireCamera> PipeWireOnlyCameras(const QList<PipeWireCamera>& cameras,
                                          const QStringList& v4l2Paths);

// A PipeWire camera in the camera list (and in VISTRELCV_CAMERAS): "pipewire:" and its identity.
inline const QString kPipeWireLocationPrefix = QStringLiteral("pipewire:");
